// SPDX-License-Identifier: MIT
#include "qr/QR.h"

#include "core/Log.h"
#include "core/Ascii.h"
#include "qr/QRJam.h"

#include <algorithm>
#include <cstdio>

namespace {

using barcode_log::Stream;

constexpr char kTag[] = "[QR] ";

} // namespace

QR::QR(SDL_Renderer* renderer) : BarcodeBase2D(renderer) {}

QR::QR(const std::string& outputFormat) : BarcodeBase2D(outputFormat) {}

void QR::SetVersion(int version)
{
    if (static_cast<unsigned>(version) > 40u) {
        char line[96];
        std::snprintf(line, sizeof(line), "Warning: Invalid QR Code version (%d). Setting to auto.", version);
        barcode_log::Warning(Stream::Out, line);
        m_version = 0;
        return;
    }
    m_version = version;
}

void QR::SetEncodeMode(const std::string& mode)
{
    std::string upper = mode;
    for (char& c : upper) {
        c = ascii::Upper(c);
    }
    if (upper == "A" || upper == "B" || upper == "N" || upper == "K") {
        m_encodeMode = upper;
        return;
    }
    m_encodeMode = "B";
    barcode_log::Warning(Stream::Out,
                         "Warning: Invalid QR Code encode mode ('" + mode + "'). Setting to Binary ('B').");
}

void QR::SetEncodeMode(QREncodeMode mode)
{
    switch (mode) {
    case QREncodeMode::Numeric: SetEncodeMode(std::string("N")); break;
    case QREncodeMode::Alphanumeric: SetEncodeMode(std::string("A")); break;
    case QREncodeMode::Kanji: SetEncodeMode(std::string("K")); break;
    default: SetEncodeMode(std::string("B")); break;
    }
}

ModuleMatrix QR::Encode(const std::vector<std::uint8_t>& data) const
{
    qr_internal::QRJam jam;
    jam.SetEncodeMode(m_encodeMode);
    if (m_version < 41) {
        jam.SetVersion(m_version);
    }
    const auto level = static_cast<std::uint32_t>(m_level);
    jam.SetLevel(level < 4 ? static_cast<int>(level) : 1);
    jam.qrcode_write_barcode(data, 0, 0, 100, 100);
    return jam.Modules();
}

bool QR::DrawSymbol(Target target, const std::vector<std::uint8_t>& data, int x, int y, int width, int height)
{
    const bool verbose = barcode_log::Verbose() && target == Target::Raster;
    if (verbose) {
        barcode_log::Progress(Stream::Out, "--- QR::Draw 開始 ---");
    }
    // The raster canvas comes first, so that a failed encoding leaves a blank canvas rather
    // than the previous symbol; an SVG document is only started once the encoding succeeded.
    Box box{x, y, width, height};
    if (target == Target::Raster) {
        if (verbose) {
            barcode_log::Progress(Stream::Out, "[ステップ1] 描画コンテキストを準備します...");
        }
        if (!BeginRaster2D(Box{x, y, width, height}, &box)) {
            return false;
        }
    } else if (width <= 0 || height <= 0) {
        barcode_log::Error(Stream::Err, std::string(kTag) + "Invalid canvas size " + std::to_string(width) + "x"
                                            + std::to_string(height));
        return false;
    }
    if (verbose) {
        barcode_log::Progress(Stream::Out, "[ステップ2] QRコードをエンコードします...");
    }
    const ModuleMatrix modules = Encode(data);
    if (modules.empty()) {
        barcode_log::Error(Stream::Err, std::string(kTag) + "No data to encode (empty text or failed conversion)");
        return false;
    }

    // Module pitch: whole pixels (at least one) unless fit width keeps the fraction.
    const int n = modules.width;
    float sx = 1.0f;
    float sy = 1.0f;
    int offsetX = 0;
    int offsetY = 0;
    if (n >= 1) {
        if (m_fitWidth) {
            bool centredX = false;
            bool centredY = false;
            sx = FitPitch(target, static_cast<float>(box.width) / static_cast<float>(n), &centredX);
            sy = FitPitch(target, static_cast<float>(box.height) / static_cast<float>(n), &centredY);
            offsetX = centredX ? CentringOffset(box.width, sx * static_cast<float>(n)) : 0;
            offsetY = centredY ? CentringOffset(box.height, sy * static_cast<float>(n)) : 0;
        } else {
            sx = static_cast<float>(std::max(box.width / n, 1));
            sy = static_cast<float>(std::max(box.height / n, 1));
        }
    }
    ModuleLayout layout;
    layout.xEdges = Edges(target, box.x + offsetX, sx, n);
    layout.yEdges = Edges(target, box.y + offsetY, sy, n);
    layout.extraWidth = static_cast<float>(m_pxAdjustBlack);
    layout.extraHeight = static_cast<float>(m_pxAdjustBlack);
    // Never a cut symbol: its modules (widened by the adjustment) must lie inside the box.
    if (!AdjustmentKeepsModules(target, kTag, layout)) {
        return false;
    }
    const float widen = std::max(layout.extraWidth, 0.0f);
    const int boxX = target == Target::Svg ? 0 : box.x;
    const int boxY = target == Target::Svg ? 0 : box.y;
    if (!SymbolFits(target, kTag, layout.xEdges.front(), layout.xEdges.back() + widen, boxX, box.width, true)
        || !SymbolFits(target, kTag, layout.yEdges.front(), layout.yEdges.back() + widen, boxY, box.height, false)) {
        return false;
    }

    if (verbose) {
        barcode_log::Progress(Stream::Out, "[ステップ3] モジュールを描画します... (" + std::to_string(n) + "x"
                                               + std::to_string(n) + ")");
        barcode_log::Debug(Stream::Out, "【Debug: QRコードのビットパターン出力】");
        DebugRows(modules);
        barcode_log::Debug(Stream::Out, "【Debug: 出力終了】");
    }
    BeginModules(target, box);
    PaintModules(target, modules, layout);
    EndModules(target);
    if (verbose) {
        barcode_log::Progress(Stream::Out, "--- QR::Draw 終了 (成功) ---");
    }
    return true;
}
