// SPDX-License-Identifier: MIT
#include "databar/DataBar14Encoder.h"
#include "databar/DataBarCommon.h"
#include "databar/DataBarLimitedEncoder.h"
#include "unit/databar/DataBarTestUtil.h"
#include "unit/linear/LinearTestUtil.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>

using databar::Layout14;
using databartest::ErrorOf;
using databartest::Modules;
using lineartest::Digits;
using lineartest::Sum;

TEST(DataBarWidths, CombinationsAndSmallestWidthSets)
{
    EXPECT_EQ(databar::Combinations(4, 2), 6);
    EXPECT_EQ(databar::Combinations(7, 0), 1);
    EXPECT_EQ(databar::Combinations(7, 7), 1);
    EXPECT_EQ(databar::Combinations(18, 6), 18564);
    EXPECT_EQ(Digits(databar::Widths(0, 12, 4, 8, true)), "1128");
    EXPECT_EQ(Digits(databar::Widths(0, 4, 4, 1, false)), "1111");
}

// Every sub-value of every character group gives its own admissible width set.
TEST(DataBarWidths, EverySubValueOfEveryGroupIsADistinctAdmissibleSet)
{
    const struct
    {
        int modules, elements, widest;
        bool noNarrow;
        int count; // sub-values in the group
    } rows[] = {
        // clang-format off
        // DataBar Omnidirectional: outside groups 0-4 (odd, even), inside groups 5-8 (odd, even).
        {12, 4, 8, true, 161}, {4, 4, 1, false, 1}, {10, 4, 6, true, 80}, {6, 4, 3, false, 10},
        {8, 4, 4, true, 31}, {8, 4, 5, false, 34}, {6, 4, 3, true, 10}, {10, 4, 6, false, 70},
        {4, 4, 1, true, 1}, {12, 4, 8, false, 126}, {5, 4, 2, false, 4}, {10, 4, 7, true, 84},
        {7, 4, 4, false, 20}, {8, 4, 5, true, 35}, {9, 4, 6, false, 48}, {6, 4, 3, true, 10},
        {11, 4, 8, false, 81}, {4, 4, 1, true, 1},
        // DataBar Limited: groups 0-6 (odd, even).
        {17, 7, 6, true, 6538}, {9, 7, 3, false, 28}, {13, 7, 5, true, 875}, {13, 7, 4, false, 728},
        {9, 7, 3, true, 28}, {17, 7, 6, false, 6454}, {15, 7, 5, true, 2415}, {11, 7, 4, false, 203},
        {11, 7, 4, true, 203}, {15, 7, 5, false, 2408}, {19, 7, 8, true, 17094}, {7, 7, 1, false, 1},
        {7, 7, 1, true, 1}, {19, 7, 8, false, 16632},
        // clang-format on
    };

    for (const auto& row : rows) {
        std::set<std::vector<int>> seen;
        for (int v = 0; v < row.count; ++v) {
            const std::vector<int> w = databar::Widths(v, row.modules, row.elements, row.widest, row.noNarrow);
            ASSERT_EQ(w.size(), static_cast<size_t>(row.elements));
            EXPECT_EQ(Sum(w), row.modules) << v;
            EXPECT_LE(*std::max_element(w.begin(), w.end()), row.widest) << v;
            EXPECT_GE(*std::min_element(w.begin(), w.end()), 1) << v;
            EXPECT_TRUE(row.noNarrow || *std::min_element(w.begin(), w.end()) == 1) << v;
            seen.insert(w);
        }
        EXPECT_EQ(seen.size(), static_cast<size_t>(row.count)) << row.modules << "/" << row.elements;
    }
}

TEST(DataBarLimited, CheckPatternTableHas89DistinctRowsOf18Modules)
{
    std::set<std::vector<int>> rows;
    for (int c = 0; c < 89; ++c) {
        const std::vector<int> p = databar::LimitedCheckPattern(c);
        ASSERT_EQ(p.size(), 14u) << c;
        int odd = 0;
        for (size_t i = 0; i < p.size(); i += 2) {
            odd += p[i];
        }
        EXPECT_EQ(Sum(p), 18) << c;
        EXPECT_EQ(odd, 9) << c;
        rows.insert(p);
    }
    EXPECT_EQ(rows.size(), 89u);
}

TEST(DataBarEncode, PinnedSymbolsAndSizes)
{
    // The standards' examples (01)20012345678909 and (01)15012345678907.
    const databar::DataBar14Symbol omni = databar::EncodeDataBar14("2001234567890", Layout14::Omnidirectional);
    EXPECT_EQ(Digits(omni.widths), "1111331151274111221215125121112112833212123211");
    EXPECT_EQ(omni.symbol.text, "(01)20012345678909");
    const databar::DataBarLimitedSymbol limited = databar::EncodeDataBarLimited("1501234567890");
    EXPECT_EQ(Digits(limited.widths), "1132223212111123112111121122112121123213222211");
    EXPECT_EQ(limited.symbol.text, "(01)15012345678907");
    EXPECT_EQ(databar::EncodeDataBarLimited("12345678").gtin, "00000123456784");
    EXPECT_EQ(databar::EncodeDataBarLimited("1999999999999").gtin, "19999999999991");

    const struct
    {
        const char* text;
        const char* gtin;
    } rows[] = {{"", "00000000000000"}, {"123456789012", "01234567890128"}, {"9999999999999", "99999999999997"}};

    const struct
    {
        Layout14 layout;
        std::vector<int> heights;
        long long rowModules;
    } layouts[] = {{Layout14::Omnidirectional, {-1}, 96},
                   {Layout14::Stacked, {5, 1, 7}, 50},
                   {Layout14::StackedOmnidirectional, {-1, 1, 1, 1, -1}, 50}};

    for (const auto& row : rows) {
        for (const auto& l : layouts) {
            const databar::DataBar14Symbol s = databar::EncodeDataBar14(row.text, l.layout);
            EXPECT_EQ(s.gtin, row.gtin);
            EXPECT_EQ(s.widths.size(), 46u);
            EXPECT_EQ(Sum(s.widths), 96);
            EXPECT_EQ(s.symbol.heights, l.heights);
            for (const auto& r : s.symbol.rows) {
                EXPECT_EQ(databar::RowModules(r), l.rowModules) << row.text;
            }
        }
    }
}

TEST(DataBarEncode, CheckDigitRefusesAnythingButThirteenDigits)
{
    EXPECT_EQ(databar::CheckDigit14("2001234567890"), "9");
    for (const char* bad : {"123456789012", "12345678901234", "12345678901a3", ""}) {
        EXPECT_EQ(ErrorOf([&] { databar::CheckDigit14(bad); }), "CalculateCheckDigit requires exactly 13 digits");
    }
}

// zint's modules, GTIN by GTIN, until every row of the check pattern table has been met.
TEST(DataBarLimited, AgreesWithAnIndependentEncoderForEveryCheckPattern)
{
    if (!databartest::kHaveZint) {
        GTEST_SKIP() << "zint not available";
    }
    std::vector<std::string> gtins = {"1501234567890", "00000000", "1999999999999"};
    const std::vector<std::string> spread = databartest::SpreadGtins(600, 2000000000000ULL);
    gtins.insert(gtins.end(), spread.begin(), spread.end());
    std::set<int> checksums;
    for (size_t i = 0; i < gtins.size(); ++i) {
        const databar::DataBarLimitedSymbol s = databar::EncodeDataBarLimited(gtins[i]);
        if (checksums.insert(s.checksum).second || i < 3) {
            // zint adds the five light modules of the right quiet zone.
            EXPECT_EQ(databartest::ZintRows(30, gtins[i], 79),
                      std::vector<std::string>{Modules(s.symbol.rows[0]) + "00000"})
                << gtins[i] << " checksum " << s.checksum;
        }
    }
    EXPECT_EQ(checksums.size(), 89u);
}

// The data rows; the separator rows between them are not compared (zint draws some of their
// modules differently, which readers ignore).
TEST(DataBar14, DataRowsAgreeWithAnIndependentEncoder)
{
    if (!databartest::kHaveZint) {
        GTEST_SKIP() << "zint not available";
    }
    std::vector<std::string> gtins = databartest::SpreadGtins(40, 10000000000000ULL);
    gtins.push_back("2001234567890");
    for (const auto& [layout, symbology, width] :
         {std::make_tuple(Layout14::Omnidirectional, 29, 96), std::make_tuple(Layout14::Stacked, 79, 50),
          std::make_tuple(Layout14::StackedOmnidirectional, 80, 50)}) {
        for (const std::string& gtin : gtins) {
            const databar::DataBar14Symbol s = databar::EncodeDataBar14(gtin, layout);
            const std::vector<std::string> zint = databartest::ZintRows(symbology, gtin, static_cast<size_t>(width));
            ASSERT_EQ(zint.size(), s.symbol.rows.size()) << gtin;
            EXPECT_EQ(Modules(s.symbol.rows.front()), zint.front()) << gtin;
            EXPECT_EQ(Modules(s.symbol.rows.back()), zint.back()) << gtin;
        }
    }
}
