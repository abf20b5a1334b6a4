// SPDX-License-Identifier: MIT
#pragma once

#include "core/BarcodeBase2D.h"

#include <cstdint>
#include <string>
#include <vector>

// 0 L (7 %), 1 M (15 %), 2 Q (25 %), 3 H (30 %) of codewords recoverable.
enum class QRErrorCorrectionLevel : std::uint32_t
{
    L = 0,
    M = 1,
    Q = 2,
    H = 3
};
// The letters "N", "A", "B", "K"; numeric data are encoded in numeric mode, all else as bytes.
enum class QREncodeMode
{
    Numeric = 0,
    Alphanumeric = 1,
    Binary = 2,
    Kanji = 3
};

// QR Code Model 2 (ISO/IEC 18004) in numeric or byte mode, one segment, versions 1 to 40.
class QR : public BarcodeBase2D
{
public:
    explicit QR(SDL_Renderer* renderer);
    explicit QR(const std::string& outputFormat);

    // Stored as given; values of 4 and more draw as M.
    void SetErrorCorrectionLevel(QRErrorCorrectionLevel level) { m_level = level; }

    QRErrorCorrectionLevel GetErrorCorrectionLevel() const { return m_level; }

    // 0 = automatic, 1..40 = smallest version; anything else stores 0 with a warning.
    void SetVersion(int version);

    int GetVersion() const { return m_version; }

    // One of "A", "B", "N", "K" in either case; anything else stores "B" with a warning.
    void SetEncodeMode(const std::string& mode);
    void SetEncodeMode(QREncodeMode mode);

    std::string GetEncodeMode() const { return m_encodeMode; }

private:
    // The whole draw on either output (every Draw form ends here). Capacity overflow (more than
    // version 40 holds) leaves as std::runtime_error; empty data (or a failed conversion) draws
    // nothing and returns false.
    bool DrawSymbol(Target target, const std::vector<std::uint8_t>& data, int x, int y, int width, int height) override;
    ModuleMatrix Encode(const std::vector<std::uint8_t>& data) const;

    QRErrorCorrectionLevel m_level = QRErrorCorrectionLevel::M;
    int m_version = 0;
    std::string m_encodeMode = "B";
};
