// SPDX-License-Identifier: MIT
#pragma once

#include "core/ModuleMatrix.h"

#include <array>
#include <cstdint>
#include <vector>

// Second stage of the QR Code engine (ISO/IEC 18004, 7.5 to 7.10): Reed-Solomon blocks and
// interleaving, function patterns, data placement, the mask choice by this library's penalty
// score, format and version information.
namespace qr_internal {

// The final codeword sequence: data codewords split into short then long blocks, each block's
// error correction codewords, data interleaved column by column, then error correction.
// `data` must hold DataCodewords(level, version) codewords.
std::vector<std::uint8_t> QRCodeGetTotalData(const std::vector<std::uint8_t>& data, int version, int level);

// The function patterns of a version: `function` marks finder patterns with separators,
// timing, alignment patterns, the dark module, the format areas and the version information;
// `dark` holds their colours (format areas light until written).
struct FunctionPatterns
{
    int side = 0;
    std::vector<std::uint8_t> function; // row-major, 1 = function module
    std::vector<std::uint8_t> dark;     // row-major colours of the function modules
};

FunctionPatterns QRCodeGetSymbolData(int version);

// The module positions (x + y * side) of the data region in placement order: the two-column
// zigzag from the bottom-right corner, skipping function modules and the timing column.
std::vector<int> PlacementOrder(const FunctionPatterns& patterns);

// Whether mask 0..7 inverts module (column x, row y).
bool MaskInverts(int mask, int x, int y);

// Transposes a square bit matrix of `side` lines, each `words` 64-bit words with bit x of
// word x / 64 for module x (bits past `side` clear): bit x of line y becomes bit y of line x.
void TransposeLines(const std::uint64_t* in, std::uint64_t* out, int side, int words);

// Penalty of each mask over a grid of eight-variant cells (bit k = colour under mask k; cells
// outside the data region are 0): runs of five or more, 1011101 patterns, 2 x 2 blocks and
// the dark balance against `dataModules` (data and remainder modules).
std::array<long long, 8> MaskPenalties(const std::vector<std::uint8_t>& cells, int side, int dataModules);
// The same counted without the processor's popcount instruction, whatever it has.
std::array<long long, 8> PortableMaskPenalties(const std::vector<std::uint8_t>& cells, int side, int dataModules);
// The mask with the lowest penalty; the lowest number among equals.
int QRCodeChooseMaskNumber(const std::vector<std::uint8_t>& cells, int side, int dataModules);

// The finished symbol of `codewords` (from QRCodeGetTotalData) at `version` and
// `level`. `mask` -1 lets the penalty choose; the mask used is stored in `maskUsed` if given.
ModuleMatrix BuildSymbol(const std::vector<std::uint8_t>& codewords, int version, int level, int mask = -1,
                         int* maskUsed = nullptr);

} // namespace qr_internal
