// SPDX-License-Identifier: MIT
#include "datamatrix/DxTables.h"

#include <iterator>

namespace internal {
namespace {

// ISO/IEC 16022, table 7: symbol attributes of ECC 200, square sizes first.
// clang-format off
static const DxSymbolSize kSizes[] = {
    // rows, cols, region rows, region cols, regions across, blocks, error words per block, data words
    { 10,  10,  8,  8, 1,  1,  5, 3},
    { 12,  12, 10, 10, 1,  1,  7, 5},
    { 14,  14, 12, 12, 1,  1, 10, 8},
    { 16,  16, 14, 14, 1,  1, 12, 12},
    { 18,  18, 16, 16, 1,  1, 14, 18},
    { 20,  20, 18, 18, 1,  1, 18, 22},
    { 22,  22, 20, 20, 1,  1, 20, 30},
    { 24,  24, 22, 22, 1,  1, 24, 36},
    { 26,  26, 24, 24, 1,  1, 28, 44},
    { 32,  32, 14, 14, 2,  1, 36, 62},
    { 36,  36, 16, 16, 2,  1, 42, 86},
    { 40,  40, 18, 18, 2,  1, 48, 114},
    { 44,  44, 20, 20, 2,  1, 56, 144},
    { 48,  48, 22, 22, 2,  1, 68, 174},
    { 52,  52, 24, 24, 2,  2, 42, 204},
    { 64,  64, 14, 14, 4,  2, 56, 280},
    { 72,  72, 16, 16, 4,  4, 36, 368},
    { 80,  80, 18, 18, 4,  4, 48, 456},
    { 88,  88, 20, 20, 4,  4, 56, 576},
    { 96,  96, 22, 22, 4,  4, 68, 696},
    {104, 104, 24, 24, 4,  6, 56, 816},
    {120, 120, 18, 18, 6,  6, 68, 1050},
    {132, 132, 20, 20, 6,  8, 62, 1304},
    {144, 144, 22, 22, 6, 10, 62, kDxMaxDataWords},
    {  8,  18,  6, 16, 1,  1,  7, 5},
    {  8,  32,  6, 14, 2,  1, 11, 10},
    { 12,  26, 10, 24, 1,  1, 14, 16},
    { 12,  36, 10, 16, 2,  1, 18, 22},
    { 16,  36, 14, 16, 2,  1, 24, 32},
    { 16,  48, 14, 22, 2,  1, 28, 49},
};
// clang-format on
static_assert(std::size(kSizes) == kDxSizeCount, "one row per symbol size");

} // namespace

const DxSymbolSize& DxSize(int sizeIndex)
{
    return kSizes[sizeIndex];
}

int FindSymbolSize(int words, int sizeOption)
{
    if (sizeOption >= 0 && sizeOption < kDxSizeCount) {
        return sizeOption;
    }
    if (sizeOption != kDxSizeAutoSquare && sizeOption != kDxSizeAutoRectangular) {
        return -1;
    }
    const bool square = sizeOption == kDxSizeAutoSquare;
    for (int i = square ? 0 : kDxFirstRectangular; i < (square ? kDxFirstRectangular : kDxSizeCount); ++i) {
        if (kSizes[i].dataWords >= words) {
            return i;
        }
    }
    return -1;
}

int DxSizeIndexFromName(const std::string& name)
{
    for (int i = 0; i < kDxSizeCount; ++i) {
        if (name == std::to_string(kSizes[i].rows) + "x" + std::to_string(kSizes[i].cols)) {
            return i;
        }
    }
    return kDxSizeAutoSquare;
}

} // namespace internal
