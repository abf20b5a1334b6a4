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
    std::vector<std::vector<std::uint8_t>> rows;
    rows.reserve(static_cast<size_t>(symbol.height));
    const auto width = static_cast<size_t>(symbol.width);
    for (size_t y = 0; y < static_cast<size_t>(symbol.height); ++y) {
        const auto row = symbol.cells.begin() + static_cast<long>(y * width);
        rows.emplace_back(row, row + static_cast<long>(width));
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
    // The rows hold 0 and 1 only, as the matrix does.
    for (int y = y0; y < y1; ++y) {
        std::copy(rows[static_cast<size_t>(y)].begin() + x0, rows[static_cast<size_t>(y)].begin() + x1,
                  m_modules.cells.begin() + static_cast<long>(y - y0) * (x1 - x0));
    }
}

long long QRJam::QRCodeInquireBits(const std::vector<std::uint8_t>& data) const
{
    return InquireBits(m_mode, data.size());
}

} // namespace qr_internal
