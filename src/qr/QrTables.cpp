// SPDX-License-Identifier: MIT
#include "qr/QrTables.h"

#include <array>

namespace qr_internal {
namespace {

using VersionRow = std::array<std::uint8_t, kMaxVersion + 1>; // entry 0 unused

// ISO/IEC 18004, table of error correction characteristics: error correction codewords per
// block and number of blocks, per level (L, M, Q, H) and version.
constexpr std::array<VersionRow, kLevelCount> kEccPerBlock = {{
    {0, 7, 10, 15, 20, 26, 18, 20, 24, 30, 18, 20, 24, 26, 30, 22, 24, 28, 30, 28, 28,
     28, 28, 30, 30, 26, 28, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30},
    {0, 10, 16, 26, 18, 24, 16, 18, 22, 22, 26, 30, 22, 22, 24, 24, 28, 28, 26, 26, 26,
     26, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28},
    {0, 13, 22, 18, 26, 18, 24, 18, 22, 20, 24, 28, 26, 24, 20, 30, 24, 28, 28, 26, 30,
     28, 30, 30, 30, 30, 28, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30},
    {0, 17, 28, 22, 16, 22, 28, 26, 26, 24, 28, 24, 28, 22, 24, 24, 30, 28, 28, 26, 28,
     30, 24, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30},
}};

constexpr std::array<VersionRow, kLevelCount> kBlocks = {{
    {0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 4, 4, 4, 4, 4, 6, 6, 6, 6, 7, 8,
     8, 9, 9, 10, 12, 12, 12, 13, 14, 15, 16, 17, 18, 19, 19, 20, 21, 22, 24, 25},
    {0, 1, 1, 1, 2, 2, 4, 4, 4, 5, 5, 5, 8, 9, 9, 10, 10, 11, 13, 14, 16,
     17, 17, 18, 20, 21, 23, 25, 26, 28, 29, 31, 33, 35, 37, 38, 40, 43, 45, 47, 49},
    {0, 1, 1, 2, 2, 4, 4, 6, 6, 8, 8, 8, 10, 12, 16, 12, 17, 16, 18, 21, 20,
     23, 23, 25, 27, 29, 34, 34, 35, 38, 40, 43, 45, 48, 51, 53, 56, 59, 62, 65, 68},
    {0, 1, 1, 2, 4, 4, 4, 5, 6, 8, 8, 11, 11, 16, 16, 18, 16, 19, 21, 25, 25,
     25, 34, 30, 32, 35, 37, 40, 42, 45, 48, 51, 54, 57, 60, 63, 66, 70, 74, 77, 81},
}};

// Modules of a version left for data and error correction: the whole square minus finder
// patterns with separators and format areas, timing patterns, alignment patterns and, from
// version 7, the version information.
constexpr int RawDataModules(int version)
{
    int modules = (16 * version + 128) * version + 64;
    if (version >= 2) {
        const int align = version / 7 + 2;
        modules -= (25 * align - 10) * align - 55;
        if (version >= 7) {
            modules -= 36;
        }
    }
    return modules;
}

static_assert(RawDataModules(1) / 8 == 26 && RawDataModules(1) % 8 == 0, "version 1: 26 codewords");
static_assert(RawDataModules(2) / 8 == 44 && RawDataModules(2) % 8 == 7, "version 2: 44 codewords");
static_assert(RawDataModules(3) / 8 == 70, "version 3: 70 codewords");
static_assert(RawDataModules(40) / 8 == 3706 && RawDataModules(40) % 8 == 0, "version 40: 3706 codewords");

// ISO/IEC 18004, table of alignment pattern row/column coordinates.
const std::vector<std::vector<int>> kAlignment = {
    {},
    {},
    {6, 18},
    {6, 22},
    {6, 26},
    {6, 30},
    {6, 34},
    {6, 22, 38},
    {6, 24, 42},
    {6, 26, 46},
    {6, 28, 50},
    {6, 30, 54},
    {6, 32, 58},
    {6, 34, 62},
    {6, 26, 46, 66},
    {6, 26, 48, 70},
    {6, 26, 50, 74},
    {6, 30, 54, 78},
    {6, 30, 56, 82},
    {6, 30, 58, 86},
    {6, 34, 62, 90},
    {6, 28, 50, 72, 94},
    {6, 26, 50, 74, 98},
    {6, 30, 54, 78, 102},
    {6, 28, 54, 80, 106},
    {6, 32, 58, 84, 110},
    {6, 30, 58, 86, 114},
    {6, 34, 62, 90, 118},
    {6, 26, 50, 74, 98, 122},
    {6, 30, 54, 78, 102, 126},
    {6, 26, 52, 78, 104, 130},
    {6, 30, 56, 82, 108, 134},
    {6, 34, 60, 86, 112, 138},
    {6, 30, 58, 86, 114, 142},
    {6, 34, 62, 90, 118, 146},
    {6, 30, 54, 78, 102, 126, 150},
    {6, 24, 50, 76, 102, 128, 154},
    {6, 28, 54, 80, 106, 132, 158},
    {6, 32, 58, 84, 110, 136, 162},
    {6, 26, 54, 82, 110, 138, 166},
    {6, 30, 58, 86, 114, 142, 170},
};

// Remainder of value * x^(generatorDegree) by a BCH generator, appended to the value.
std::uint32_t BchCode(std::uint32_t value, std::uint32_t generator, int generatorDegree)
{
    std::uint32_t rem = value << generatorDegree;
    for (int bit = 31; bit >= generatorDegree; --bit) {
        if (rem & (1u << bit)) {
            rem ^= generator << (bit - generatorDegree);
        }
    }
    return (value << generatorDegree) | rem;
}

} // namespace

int TotalCodewords(int version)
{
    return RawDataModules(version) / 8;
}

int RemainderBits(int version)
{
    return RawDataModules(version) % 8;
}

int EccCodewordsPerBlock(int level, int version)
{
    return kEccPerBlock[static_cast<size_t>(level)][static_cast<size_t>(version)];
}

int BlockCount(int level, int version)
{
    return kBlocks[static_cast<size_t>(level)][static_cast<size_t>(version)];
}

int DataCodewords(int level, int version)
{
    return TotalCodewords(version) - EccCodewordsPerBlock(level, version) * BlockCount(level, version);
}

int DataCapacityBits(int level, int version)
{
    return DataCodewords(level, version) * 8;
}

int ShortBlockDataCodewords(int level, int version)
{
    return DataCodewords(level, version) / BlockCount(level, version);
}

int LongBlockCount(int level, int version)
{
    return DataCodewords(level, version) % BlockCount(level, version);
}

int ByteCountExtraBits(int version)
{
    return version >= 10 ? 8 : 0;
}

int NumericCountExtraBits(int version)
{
    if (version >= 27) {
        return 4;
    }
    return version >= 10 ? 2 : 0;
}

const std::vector<int>& AlignmentCoordinates(int version)
{
    return kAlignment[static_cast<size_t>(version)];
}

std::string FormatInformation(int level, int mask)
{
    // Level indicators of the standard: L 01, M 00, Q 11, H 10.
    static constexpr std::uint32_t kLevelBits[kLevelCount] = {1, 0, 3, 2};
    const std::uint32_t data = (kLevelBits[level] << 3) | static_cast<std::uint32_t>(mask);
    const std::uint32_t bits = BchCode(data, 0x537, 10) ^ 0x5412;
    std::string out(15, '0');
    for (int i = 0; i < 15; ++i) {
        if (bits & (1u << (14 - i))) {
            out[static_cast<size_t>(i)] = '1';
        }
    }
    return out;
}

std::uint32_t VersionInformation(int version)
{
    return BchCode(static_cast<std::uint32_t>(version), 0x1F25, 12);
}

} // namespace qr_internal
