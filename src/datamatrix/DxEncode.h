// SPDX-License-Identifier: MIT
#pragma once

#include "core/ModuleMatrix.h"
#include "datamatrix/DxEncodation.h"
#include "datamatrix/DxTables.h"

#include <cstdint>
#include <string>
#include <vector>

// Data Matrix ECC 200 from bytes to the module matrix: encodation, size choice, padding,
// Reed-Solomon error correction, module placement and the borders of the data regions
// (ISO/IEC 16022). No drawing.
namespace internal {

// The settings of one encoding.
struct DxImageEncoderOptions
{
    DxScheme scheme = DxScheme::Ascii;
    int sizeIdx = kDxSizeAutoSquare; // a size index 0..29 or an automatic size (DxTables.h)
    std::string encoding = "utf-8";  // the text encoding the bytes are in
    bool gs1 = false;                // a byte 232 is the FNC1 codeword (ASCII only)
};

// Placement of codeword bits in the mapping matrix (the data regions joined, borders left out).
struct DxPlacement
{
    static constexpr int kFixedDark = -1; // the fixed pattern of an unfilled bottom-right corner
    static constexpr int kFixedLight = -2;

    int rows = 0;
    int cols = 0;
    std::vector<int> source;          // row-major: codeword * 8 + bit (0 = most significant), or a fixed value
    std::vector<std::uint8_t> visits; // times each module was assigned; 1 everywhere
};

// The ECC 200 placement: the diagonal sweep of the 8-module shape from row 4, column 0, the four
// corner shapes, and the fixed 2 x 2 pattern where the sweep leaves the bottom-right corner.
DxPlacement ModulePlacementEcc200(int rows, int cols);

// Pads data codewords up to the capacity `dataWords`: 129 first, then 129 randomised by the
// 253-state rule of its 1-based position.
void PadCodewords(std::vector<std::uint8_t>& words, int dataWords);

// The padded data codewords of a size followed by its error correction codewords: data
// codeword i belongs to block i mod B, and so does error codeword i.
std::vector<std::uint8_t> GenReedSolEcc(const std::vector<std::uint8_t>& data, int sizeIndex);

// The encoder of one symbol.
class DxEncode
{
public:
    // Encodes `bytes` with the options. Throws std::runtime_error when the data cannot be
    // encoded or do not fit the size.
    void EncodeDataMatrix(const std::vector<std::uint8_t>& bytes, const DxImageEncoderOptions& options);

    // The encodation's codewords, before padding.
    const std::vector<std::uint8_t>& DataWords() const { return m_dataWords; }

    // Padded data codewords, then error correction codewords.
    const std::vector<std::uint8_t>& Codewords() const { return m_codewords; }

    int SizeIndex() const { return m_sizeIndex; }

    // The symbol with its borders, no quiet zone.
    const ModuleMatrix& PrintPatternRaw() const { return m_modules; }

private:
    std::vector<std::uint8_t> m_dataWords;
    std::vector<std::uint8_t> m_codewords;
    int m_sizeIndex = -1;
    ModuleMatrix m_modules;
};

} // namespace internal
