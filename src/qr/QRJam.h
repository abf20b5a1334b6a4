// SPDX-License-Identifier: MIT
#pragma once

#include "core/ModuleMatrix.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qr_internal {

// The QR Code engine of one draw: settings in, module matrix out.
class QRJam
{
public:
    // "N" selects numeric mode for all-digit data; every other letter selects byte mode.
    void SetEncodeMode(const std::string& mode) { m_mode = mode; }

    // 0 = automatic, 1..40 = smallest version to use; other values mean automatic.
    void SetVersion(int version) { m_requestedVersion = version; }

    // 0 L, 1 M, 2 Q, 3 H; other values mean M.
    void SetLevel(int level) { m_level = (level >= 0 && level <= 3) ? level : 1; }

    // Encodes `data` into the module matrix; empty data leaves the matrix empty. The four
    // numbers select the part of the symbol copied into the matrix: (0, 0, 100, 100) is the
    // whole symbol, the only use made of them. Throws std::runtime_error when the data do not
    // fit version 40 at the level (the chosen version is reset to 0 then).
    void qrcode_write_barcode(const std::vector<std::uint8_t>& data, int left, int top, int right, int bottom);

    // The finished symbol as rows of module bytes (1 = dark), side x side.
    std::vector<std::vector<std::uint8_t>> QRGetData(const std::vector<std::uint8_t>& data);
    // Bits of the data part for `n` characters in the current mode (informational).
    long long QRCodeInquireBits(const std::vector<std::uint8_t>& data) const;

    const ModuleMatrix& Modules() const { return m_modules; }

    int ChosenVersion() const { return m_version; }

    int Side() const { return m_version > 0 ? 4 * m_version + 17 : 0; }

    int Mask() const { return m_mask; }

private:
    std::string m_mode = "B";
    int m_requestedVersion = 0;
    int m_level = 1;
    int m_version = 0;
    int m_mask = -1;
    ModuleMatrix m_modules;
};

} // namespace qr_internal
