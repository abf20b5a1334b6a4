// SPDX-License-Identifier: MIT
// The QR engine stage by stage: bit stream, version choice, codewords, format and version
// information, function patterns and the mask score.
#include "qr/QRJam.h"
#include "qr/QrEncoder.h"
#include "qr/QrMatrix.h"
#include "qr/QrTables.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace qr_internal {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

TEST(QrEncoder, WorkedExample01234567)
{
    // ISO/IEC 18004 Annex I: "01234567" in numeric mode at 1-M.
    const std::vector<BitEntry> stream = BuildBitStream(DataMode::Numeric, B("01234567"));
    EXPECT_EQ(ChooseVersion(DataMode::Numeric, stream, 1, 0), 1);
    EXPECT_EQ(QRCodeGet8BitData(DataMode::Numeric, stream, 1, 1),
              (Bytes{0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11}));
}

TEST(QrEncoder, ByteModeStreamAndPadding)
{
    const std::vector<BitEntry> stream = BuildBitStream(DataMode::Byte, B("AB"));
    ASSERT_EQ(stream.size(), 4u);
    EXPECT_EQ(stream[0].value, 4u);
    EXPECT_EQ(stream[1].length, 8);
    // 0100 00000010 01000001 01000010 0000 then pads, at 1-H (9 data codewords).
    EXPECT_EQ(QRCodeGet8BitData(DataMode::Byte, stream, 1, 3),
              (Bytes{0x40, 0x24, 0x14, 0x20, 0xEC, 0x11, 0xEC, 0x11, 0xEC}));
    // From version 10 the count takes 16 bits.
    const Bytes v10 = QRCodeGet8BitData(DataMode::Byte, stream, 10, 0);
    EXPECT_EQ(v10[0], 0x40);
    EXPECT_EQ(v10[1], 0x00);
    EXPECT_EQ(v10[2], 0x24);
}

TEST(QrEncoder, NumericModeNeedsDigits)
{
    EXPECT_EQ(ChooseDataMode("N", B("0123456789")), DataMode::Numeric);
    EXPECT_EQ(ChooseDataMode("N", B("12A4")), DataMode::Byte);
    EXPECT_EQ(ChooseDataMode("N", B("12 4")), DataMode::Byte);
    EXPECT_EQ(ChooseDataMode("N", Bytes{'1', 0x00}), DataMode::Byte);
    EXPECT_EQ(ChooseDataMode("B", B("123")), DataMode::Byte);
    EXPECT_EQ(ChooseDataMode("A", B("123")), DataMode::Byte);
    EXPECT_EQ(ChooseDataMode("K", B("123")), DataMode::Byte);
}

TEST(QrEncoder, VersionChoice)
{
    const auto version = [](size_t bytes, int level, int requested) {
        return ChooseVersion(DataMode::Byte, BuildBitStream(DataMode::Byte, Bytes(bytes, 'x')), level, requested);
    };
    // 100 bytes at M: 812 bits against 688 in version 5 and 864 in version 6.
    EXPECT_EQ(version(100, 1, 0), 6);
    EXPECT_EQ(version(100, 1, 2), 6);   // too small a request is replaced
    EXPECT_EQ(version(100, 1, 12), 12); // a larger one is kept
    EXPECT_EQ(version(1, 3, 40), 40);
    EXPECT_EQ(version(2953, 0, 0), 40);
    try {
        version(2954, 0, 0);
        FAIL() << "2954 bytes at L fit";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Data too long for QR Code. Data requires more capacity than Version 40 can provide. "
                               "Reduce data length or use a lower error correction level.");
    }
    // The count field grows at version 10: 271 bytes at L need 4 + 16 + 2168 bits.
    EXPECT_EQ(version(271, 0, 0), 10);
    EXPECT_EQ(InquireBits("N", 8), 8 * 8 + 27);
    EXPECT_EQ(InquireBits("A", 3), 3 * 8 + 17);
    EXPECT_EQ(InquireBits("B", 3), 24);
}

TEST(QrEncoder, CapacityTables)
{
    struct Row
    {
        int version;
        int bits[4];
        int total;
    };

    for (const Row& row : {Row{1, {152, 128, 104, 72}, 26}, Row{40, {23648, 18672, 13328, 10208}, 3706}}) {
        for (int level = 0; level < 4; ++level) {
            EXPECT_EQ(DataCapacityBits(level, row.version), row.bits[level]);
        }
        EXPECT_EQ(TotalCodewords(row.version), row.total);
    }
    EXPECT_EQ(TotalCodewords(2), 44);
    EXPECT_EQ(TotalCodewords(3), 70);
    const int remainder[] = {0, 0, 7, 7, 7, 7, 7, 0, 0, 0, 0, 0, 0, 0, 3, 3, 3, 3, 3, 3, 3,
                             4, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3, 3, 3, 0, 0, 0, 0, 0, 0};
    for (int v = 1; v <= 40; ++v) {
        EXPECT_EQ(RemainderBits(v), remainder[v]) << v;
        EXPECT_EQ(NumericCountExtraBits(v), v < 10 ? 0 : v < 27 ? 2 : 4);
        EXPECT_EQ(ByteCountExtraBits(v), v < 10 ? 0 : 8);
    }

    // Block structure spot values: short block data / long blocks / ECC per block / blocks.
    struct Block
    {
        int version, level, shortData, longBlocks, ecc, blocks;
    };

    for (const Block& b : {Block{1, 0, 19, 0, 7, 1}, Block{5, 2, 15, 2, 18, 4}, Block{10, 0, 68, 2, 18, 4},
                           Block{40, 3, 15, 61, 30, 81}}) {
        EXPECT_EQ(ShortBlockDataCodewords(b.level, b.version), b.shortData);
        EXPECT_EQ(LongBlockCount(b.level, b.version), b.longBlocks);
        EXPECT_EQ(EccCodewordsPerBlock(b.level, b.version), b.ecc);
        EXPECT_EQ(BlockCount(b.level, b.version), b.blocks);
    }
}

TEST(QrMatrix, FormatInformationFromThePublishedTable)
{
    // ISO/IEC 18004 Annex C, table of valid format information bit sequences.
    const char* table[4][8] = {
        {"111011111000100", "111001011110011", "111110110101010", "111100010011101", "110011000101111",
         "110001100011000", "110110001000001", "110100101110110"},
        {"101010000010010", "101000100100101", "101111001111100", "101101101001011", "100010111111001",
         "100000011001110", "100111110010111", "100101010100000"},
        {"011010101011111", "011000001101000", "011111100110001", "011101000000110", "010010010110100",
         "010000110000011", "010111011011010", "010101111101101"},
        {"001011010001001", "001001110111110", "001110011100111", "001100111010000", "000011101100010",
         "000001001010101", "000110100001100", "000100000111011"},
    };
    for (int level = 0; level < 4; ++level) {
        for (int mask = 0; mask < 8; ++mask) {
            EXPECT_EQ(FormatInformation(level, mask), table[level][mask]) << level << "/" << mask;
        }
    }
}

TEST(QrMatrix, VersionInformationFromThePublishedTable)
{
    // ISO/IEC 18004 Annex D.
    EXPECT_EQ(VersionInformation(7), 0x07C94u);
    EXPECT_EQ(VersionInformation(8), 0x085BCu);
    EXPECT_EQ(VersionInformation(21), 0x15683u);
    EXPECT_EQ(VersionInformation(40), 0x28C69u);
}

std::string FormatBitsOf(const ModuleMatrix& m, bool secondCopy)
{
    const int n = m.width;
    const int a[15] = {0, 1, 2, 3, 4, 5, 7, 8, 8, 8, 8, 8, 8, 8, 8};
    const int b[15] = {8, 8, 8, 8, 8, 8, 8, 8, 7, 5, 4, 3, 2, 1, 0};
    std::string bits;
    for (int i = 0; i < 15; ++i) {
        const bool dark = secondCopy ? (i < 7 ? m.get(8, n - 1 - i) : m.get(n - 15 + i, 8)) : m.get(a[i], b[i]);
        bits += dark ? '1' : '0';
    }
    return bits;
}

TEST(QrMatrix, SymbolCarriesFormatVersionAndFixedPatterns)
{
    for (int version : {1, 2, 7, 14, 40}) {
        for (int level = 0; level < 4; ++level) {
            SCOPED_TRACE("version " + std::to_string(version) + " level " + std::to_string(level));
            const Bytes data =
                QRCodeGet8BitData(DataMode::Byte, BuildBitStream(DataMode::Byte, B("Lumeo")), version, level);
            int mask = -1;
            const ModuleMatrix m = BuildSymbol(QRCodeGetTotalData(data, version, level), version, level, -1, &mask);
            const int n = SideLength(version);
            ASSERT_EQ(m.width, n);
            ASSERT_GE(mask, 0);
            EXPECT_EQ(FormatBitsOf(m, false), FormatInformation(level, mask));
            EXPECT_EQ(FormatBitsOf(m, true), FormatInformation(level, mask));
            EXPECT_TRUE(m.get(8, n - 8)); // dark module
            for (int i = 8; i < n - 8; ++i) {
                EXPECT_EQ(m.get(i, 6), i % 2 == 0);
                EXPECT_EQ(m.get(6, i), i % 2 == 0);
            }
            if (version >= 7) {
                const std::uint32_t info = VersionInformation(version);
                for (int i = 0; i < 18; ++i) {
                    EXPECT_EQ(m.get(n - 11 + i % 3, i / 3), ((info >> i) & 1u) != 0);
                    EXPECT_EQ(m.get(i / 3, n - 11 + i % 3), ((info >> i) & 1u) != 0);
                }
            }
        }
    }
}

TEST(QrMatrix, DataRegionHoldsEveryCodewordAndRemainderBit)
{
    for (int version = 1; version <= 40; ++version) {
        const FunctionPatterns p = QRCodeGetSymbolData(version);
        const std::vector<int> order = PlacementOrder(p);
        EXPECT_EQ(order.size(), static_cast<size_t>(TotalCodewords(version) * 8 + RemainderBits(version))) << version;
        std::vector<int> seen(p.function.size(), 0);
        for (int i : order) {
            ++seen[static_cast<size_t>(i)];
        }
        for (size_t i = 0; i < seen.size(); ++i) {
            ASSERT_EQ(seen[i] + p.function[i], 1) << "version " << version << " module " << i;
        }
    }
}

TEST(QrMatrix, MaskPenalty)
{
    // A 7 x 7 grid whose only data cell row reads 1011101 under mask 0 and light elsewhere.
    const int side = 7;
    std::vector<std::uint8_t> cells(side * side, 0);
    const int pattern[7] = {1, 0, 1, 1, 1, 0, 1};
    for (int x = 0; x < 7; ++x) {
        cells[static_cast<size_t>(3 * side + x)] = pattern[x] ? 0x01 : 0x00;
    }
    const auto scores = MaskPenalties(cells, side, 7);
    // Masks 1..7 see an all-light grid: rows and columns of 7 light modules score 3 + 1 + 1
    // each (14 lines), 36 light 2 x 2 blocks, and no dark module: balance 90.
    EXPECT_EQ(scores[1], 14 * 5 + 36 * 3 + 90);
    // Mask 0: one 1011101 (+40); row 3 has no run; the columns through dark cells break their
    // runs; 24 light blocks remain; 5 of 7 data modules dark: trunc(100 / 7) = 14 -> 40.
    EXPECT_EQ(scores[0], 40 + 6 * 5 + 2 * 5 + 5 * 0 + 24 * 3 + 40);
    EXPECT_EQ(QRCodeChooseMaskNumber(cells, side, 7), 0);

    // Dark under masks 1..7, light under mask 0: the seven tie and the lowest of them wins.
    const std::vector<std::uint8_t> dark(side * side, 0xFE);
    const auto tied = MaskPenalties(dark, side, 98); // 49 of 98 dark: balance 0
    EXPECT_EQ(tied[0], 14 * 5 + 36 * 3 + 90);
    for (int k = 1; k < 8; ++k) {
        EXPECT_EQ(tied[static_cast<size_t>(k)], 14 * 5 + 36 * 3) << k;
    }
    EXPECT_EQ(QRCodeChooseMaskNumber(dark, side, 98), 1);
    // A data region entirely dark scores 90 for balance.
    EXPECT_EQ(MaskPenalties(dark, side, 49)[1], 14 * 5 + 36 * 3 + 90);
}

TEST(QrJam, EmptyDataLeavesTheMatrixEmpty)
{
    QRJam jam;
    jam.qrcode_write_barcode(Bytes{}, 0, 0, 100, 100);
    EXPECT_TRUE(jam.Modules().empty());
    jam.SetLevel(0);
    EXPECT_THROW(jam.qrcode_write_barcode(Bytes(2954, 'x'), 0, 0, 100, 100), std::runtime_error);
    EXPECT_EQ(jam.ChosenVersion(), 0);
    jam.qrcode_write_barcode(Bytes(2953, 'x'), 0, 0, 100, 100);
    EXPECT_EQ(jam.ChosenVersion(), 40);
    EXPECT_EQ(jam.Modules().width, 177);
    EXPECT_EQ(jam.QRGetData(B("1")).size(), 21u);
}

} // namespace
} // namespace qr_internal
