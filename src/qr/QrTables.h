// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The per-version tables of QR Code Model 2 (ISO/IEC 18004): symbol capacities, error
// correction block structure, alignment pattern centres, format and version information.
// Versions are 1..40; levels are 0 L, 1 M, 2 Q, 3 H. Arguments outside those ranges are
// undefined (callers validate first).
namespace qr_internal {

constexpr int kMinVersion = 1;
constexpr int kMaxVersion = 40;
constexpr int kLevelCount = 4;

// Side length in modules: 4 * version + 17.
constexpr int SideLength(int version)
{
    return 4 * version + 17;
}

// All codewords of the symbol (data and error correction): 26 for version 1, 3706 for 40.
int TotalCodewords(int version);
// Modules left over after the last codeword: 0, 3, 4 or 7.
int RemainderBits(int version);
// Error correction codewords of each block.
int EccCodewordsPerBlock(int level, int version);
// Number of blocks, short and long.
int BlockCount(int level, int version);
// Data codewords of the symbol (total minus error correction).
int DataCodewords(int level, int version);
// Data capacity in bits (data codewords x 8).
int DataCapacityBits(int level, int version);
// Data codewords of a short block; long blocks hold one more.
int ShortBlockDataCodewords(int level, int version);
// Blocks holding one more data codeword than the short ones.
int LongBlockCount(int level, int version);

// Bits added to the character count field from version 10 on: byte mode (8 -> 16 bits) and
// numeric mode (10 -> 12 from version 10, 14 from version 27).
int ByteCountExtraBits(int version);
int NumericCountExtraBits(int version);

// Row/column coordinates of the alignment pattern centres; empty for version 1.
const std::vector<int>& AlignmentCoordinates(int version);

// The 15 format information bits of a level and mask 0..7 (BCH(15,5) code, masked with
// 101010000010010), as a string of '0'/'1', most significant bit first.
std::string FormatInformation(int level, int mask);
// The 18 version information bits (BCH(18,6) code) of versions 7..40, most significant first
// in bit 17.
std::uint32_t VersionInformation(int version);

} // namespace qr_internal
