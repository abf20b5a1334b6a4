// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// The symbol sizes of Data Matrix ECC 200 (ISO/IEC 16022): 24 square sizes (index 0 to 23,
// 10x10 to 144x144) and 6 rectangular ones (index 24 to 29, 8x18 to 16x48).
namespace internal {

constexpr int kDxSizeCount = 30;
constexpr int kDxFirstRectangular = 24;
// Size options besides a size index: the smallest square or rectangular size that holds the data.
constexpr int kDxSizeAutoSquare = -2;
constexpr int kDxSizeAutoRectangular = -3;
// Data codewords of the largest symbol (144x144); no encoding may be longer.
constexpr int kDxMaxDataWords = 1558;

struct DxSymbolSize
{
    int rows;          // symbol height in modules, borders included
    int cols;          // symbol width
    int regionRows;    // data region height, without its border
    int regionCols;    // data region width
    int regionsAcross; // regions side by side; square symbols have as many down, rectangular ones one row
    int blocks;        // interleaved Reed-Solomon blocks
    int eccPerBlock;   // error correction codewords of each block
    int dataWords;     // data codewords of the symbol

    int RegionsDown() const { return rows / (regionRows + 2); }

    // The data regions joined, borders left out: the matrix the codewords are placed in.
    int MappingRows() const { return RegionsDown() * regionRows; }

    int MappingCols() const { return regionsAcross * regionCols; }

    int TotalWords() const { return dataWords + blocks * eccPerBlock; }
};

// The size of an index 0..29 (callers check the range).
const DxSymbolSize& DxSize(int sizeIndex);

// The size that carries `words` data codewords under a size option: for kDxSizeAutoSquare and
// kDxSizeAutoRectangular the smallest of that family that holds them (-1 when none does); a size
// index 0..29 is returned as it is, whether it holds them or not; any other option gives -1.
int FindSymbolSize(int words, int sizeOption);

// The size index of a name "RxC" (rows x columns, such as "10x10" or "16x48"); kDxSizeAutoSquare
// for "AUTO" and for every other string.
int DxSizeIndexFromName(const std::string& name);

} // namespace internal
