// SPDX-License-Identifier: MIT
#include "qr/QRJam.h"

#include "qr/QrEncoder.h"
#include "qr/QrMatrix.h"

#include <algorithm>

namespace qr_internal {

std::vector<std::vector<std::uint8_t>> QRJam::QRGetData(const std::vector<std::uint8_t>& data)
{
    const DataMode mode = ChooseDataMode(m_mode, data);
    const std::vector<BitEntry> stream = BuildBitStream(mode, data);
    try {
        m_version = ChooseVersion(mode, stream, m_level, m_requestedVersion);
    } catch (...) {
        m_version = 0;
        throw;
    }
    const std::vector<std::uint8_t> codewords =
        QRCodeGetTotalData(QRCodeGet8BitData(mode, stream, m_version, m_level), m_version, m_level);
    const ModuleMatrix symbol = BuildSymbol(codewords, m_version, m_level, -1, &m_mask);
    std::vector<std::vector<std::uint8_t>> rows(static_cast<size_t>(symbol.height));
    for (int y = 0; y < symbol.height; ++y) {
        rows[static_cast<size_t>(y)].resize(static_cast<size_t>(symbol.width));
        for (int x = 0; x < symbol.width; ++x) {
            rows[static_cast<size_t>(y)][static_cast<size_t>(x)] = symbol.get(x, y) ? 1 : 0;
        }
    }
    return rows;
}

void QRJam::qrcode_write_barcode(const std::vector<std::uint8_t>& data, int left, int top, int right, int bottom)
{
    m_modules = ModuleMatrix();
    if (data.empty()) {
        return;
    }
    const std::vector<std::vector<std::uint8_t>> rows = QRGetData(data);
    const int side = static_cast<int>(rows.size());
    // The window (left, top)-(right, bottom) in hundredths of the side; clamped to the symbol.
    const auto scale = [side](int percent) { return std::clamp(side * std::clamp(percent, 0, 100) / 100, 0, side); };
    const int x0 = scale(left);
    const int y0 = scale(top);
    const int x1 = std::max(scale(right), x0);
    const int y1 = std::max(scale(bottom), y0);
    m_modules = ModuleMatrix(x1 - x0, y1 - y0);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            m_modules.set(x - x0, y - y0, rows[static_cast<size_t>(y)][static_cast<size_t>(x)] != 0);
        }
    }
}

long long QRJam::QRCodeInquireBits(const std::vector<std::uint8_t>& data) const
{
    return InquireBits(m_mode, data.size());
}

} // namespace qr_internal
