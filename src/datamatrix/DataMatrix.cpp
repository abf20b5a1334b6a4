// SPDX-License-Identifier: MIT
#include "datamatrix/DataMatrix.h"

#include "core/Log.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

using barcode_log::Stream;

constexpr char kTag[] = "[DataMatrix] ";
constexpr char kFnc1Token[] = "{FNC1}";
constexpr std::uint8_t kFnc1 = 232;
// Drawn sizes beyond this many pixels are refused rather than converted out of range.
constexpr float kMaxDrawnSide = 1.0e9f;

// The lumeo_last_error_code() of an encoding failure, whose message does not tell the causes
// apart: no data, bytes that the chosen scheme cannot carry (X12 and EDIFACT have small
// character sets), or more data than any symbol (or the chosen size) holds.
const char* FailureCode(const std::vector<std::uint8_t>& data, internal::DxScheme scheme, const char* what)
{
    if (data.empty()) {
        return barcode_log::code::kBadText;
    }
    if (std::strstr(what, "Failed to encode") == nullptr) {
        return nullptr; // the message tells
    }
    const bool smallSet = scheme == internal::DxScheme::X12 || scheme == internal::DxScheme::Edifact;
    return smallSet ? barcode_log::code::kBadText : barcode_log::code::kTooLong;
}

} // namespace

DataMatrix::DataMatrix(SDL_Renderer* renderer) : BarcodeBase2D(renderer) {}

DataMatrix::DataMatrix(const std::string& outputFormat) : BarcodeBase2D(outputFormat) {}

internal::DxImageEncoderOptions DataMatrix::Options() const
{
    internal::DxImageEncoderOptions options;
    options.scheme = m_scheme;
    options.sizeIdx = m_codeSize;
    options.encoding = m_stringEncoding;
    return options;
}

ModuleMatrix DataMatrix::CalDataMatrix(const std::vector<std::uint8_t>& bytes) const
{
    internal::DxEncode encoder;
    encoder.EncodeDataMatrix(bytes, Options());
    return encoder.PrintPatternRaw();
}

ModuleMatrix DataMatrix::CalDataMatrix(const std::string& text)
{
    internal::DxImageEncoderOptions options = Options();
    const std::vector<std::uint8_t> bytes = GetRawDataAndSetEncoding(text, options);
    internal::DxEncode encoder;
    encoder.EncodeDataMatrix(bytes, options);
    return encoder.PrintPatternRaw();
}

std::vector<std::uint8_t> DataMatrix::GetRawDataAndSetEncoding(const std::string& text,
                                                               internal::DxImageEncoderOptions& options)
{
    const std::string token = kFnc1Token;
    if (text.compare(0, token.size(), token) == 0) {
        // Each token becomes a tab, which every supported encoding keeps as the byte 9.
        std::string tabbed;
        for (size_t i = 0; i < text.size();) {
            const bool isToken = text.compare(i, token.size(), token) == 0;
            tabbed += isToken ? '\t' : text[i];
            i += isToken ? token.size() : 1;
        }
        std::vector<std::uint8_t> bytes = ConvertStringToBytes(tabbed, options.encoding);
        std::replace(bytes.begin(), bytes.end(), std::uint8_t{'\t'}, kFnc1);
        options.scheme = internal::DxScheme::Ascii;
        options.gs1 = true;
        return bytes;
    }
    std::vector<std::uint8_t> bytes = ConvertStringToBytes(text, options.encoding);
    if (options.scheme == internal::DxScheme::AsciiGs1) {
        bytes.insert(bytes.begin(), kFnc1);
        options.scheme = internal::DxScheme::Ascii;
        options.gs1 = true;
    }
    return bytes;
}

bool DataMatrix::DrawSymbol(Target target, const std::vector<std::uint8_t>& data, int x, int y, int width, int height)
{
    ModuleMatrix modules;
    try {
        modules = CalDataMatrix(data);
    } catch (const std::exception& e) {
        barcode_log::Error(Stream::Err, std::string(kTag) + e.what(), FailureCode(data, m_scheme, e.what()));
        return false;
    }
    if (modules.empty()) {
        return false;
    }
    const int cols = modules.width;
    const int rows = modules.height;

    // Square modules: the pitch that fits both directions, whole pixels (at least one) unless
    // fit width keeps the fraction (from two pixels up on a raster). The symbol's own size is
    // what gets drawn, so whole-pixel modules need no centring.
    bool whole = false;
    const float pitch = m_fitWidth ? FitPitch(target,
                                              std::min(static_cast<float>(width) / static_cast<float>(cols),
                                                       static_cast<float>(height) / static_cast<float>(rows)),
                                              &whole)
                                   : static_cast<float>(std::max(std::min(width / cols, height / rows), 1));
    const float drawnWidth = std::ceil(pitch * static_cast<float>(cols));
    const float drawnHeight = std::ceil(pitch * static_cast<float>(rows));
    if (!(pitch > 0.0f) || drawnWidth > kMaxDrawnSide || drawnHeight > kMaxDrawnSide) {
        barcode_log::Error(Stream::Err, std::string(kTag) + "Invalid canvas size " + std::to_string(width) + "x"
                                            + std::to_string(height));
        return false;
    }
    // The black pixel adjustment widens the last column and row too: the image grows with it.
    const float widen = std::min(static_cast<float>(std::max(m_pxAdjustBlack, 0)), kMaxDrawnSide);
    // Never a cut symbol: the modules must fit the box asked for.
    const float symbolWidth = pitch * static_cast<float>(cols) + widen;
    const float symbolHeight = pitch * static_cast<float>(rows) + widen;
    if (!SymbolFits(target, kTag, static_cast<float>(x), static_cast<float>(x) + symbolWidth, x, width, true)
        || !SymbolFits(target, kTag, static_cast<float>(y), static_cast<float>(y) + symbolHeight, y, height, false)) {
        return false;
    }
    const Box drawn{x, y, static_cast<int>(drawnWidth + widen), static_cast<int>(drawnHeight + widen)};

    const bool verbose = barcode_log::Verbose() && target == Target::Raster;
    if (verbose) {
        char line[160];
        std::snprintf(line, sizeof(line), "  パターンサイズ: %d列 x %d行", cols, rows);
        barcode_log::Progress(Stream::Out, line);
        std::snprintf(line, sizeof(line), "  モジュールサイズ: %.2f", static_cast<double>(pitch));
        barcode_log::Progress(Stream::Out, line);
        std::snprintf(line, sizeof(line), "  実際の描画サイズ: %d x %d", drawn.width, drawn.height);
        barcode_log::Progress(Stream::Out, line);
        std::snprintf(line, sizeof(line), "【Debug: DataMatrixのビットパターン出力 %d列x%d行】", cols, rows);
        barcode_log::Debug(Stream::Out, line);
        DebugRows(modules);
    }

    ModuleLayout layout;
    Box background{0, 0, drawn.width, drawn.height};
    if (target == Target::Raster) {
        // An own surface has exactly the drawn size; a caller's renderer gets its whole box cleared.
        const bool callersRenderer = m_format.empty() && Canvas() != nullptr;
        Box paint;
        if (!BeginRaster2D(drawn, &paint)) {
            return false;
        }
        background = callersRenderer ? Box{x, y, width, height} : paint;
        layout.xEdges = Edges(target, paint.x, pitch, cols);
        layout.yEdges = Edges(target, paint.y, pitch, rows);
    } else {
        layout.xEdges = Edges(target, 0, drawnWidth / static_cast<float>(cols), cols);
        layout.yEdges = Edges(target, 0, drawnHeight / static_cast<float>(rows), rows);
    }
    layout.extraWidth = static_cast<float>(m_pxAdjustBlack);
    layout.extraHeight = static_cast<float>(m_pxAdjustBlack);
    if (!AdjustmentKeepsModules(target, kTag, layout)) {
        return false;
    }
    BeginModules(target, background);
    PaintModules(target, modules, layout);
    EndModules(target);
    if (verbose) {
        barcode_log::Progress(Stream::Out, "--- DataMatrix::Draw 終了 (成功) ---");
    }
    return true;
}
