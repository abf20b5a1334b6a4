// SPDX-License-Identifier: MIT
#include "databar/DataBar14Encoder.h"
#include "databar/DataBarCommon.h"
#include "databar/DataBarLimitedEncoder.h"
#include "unit/databar/DataBarTestUtil.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>
#include <set>
#include <stdexcept>

using databartest::Modules;

namespace {

std::string Digits(const std::vector<int>& widths)
{
    std::string s;
    for (int w : widths) {
        s += std::to_string(w);
    }
    return s;
}

template <class F>
std::string ErrorOf(F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(accepted)";
}

// GTINs spread over the whole range: a fixed pseudo-random walk, 13 digits each.
std::vector<std::string> SpreadGtins(size_t count, unsigned long long limit)
{
    std::vector<std::string> out;
    unsigned long long x = 88172645463325252ULL;
    for (size_t i = 0; i < count; ++i) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        const std::string digits = std::to_string(x % limit);
        out.push_back(std::string(13 - digits.size(), '0') + digits);
    }
    return out;
}

} // namespace

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
        // DataBar Omnidirectional, outside groups 0-4 (odd, even) and inside groups 5-8.
        {12, 4, 8, true, 161},
        {4, 4, 1, false, 1},
        {10, 4, 6, true, 80},
        {6, 4, 3, false, 10},
        {8, 4, 4, true, 31},
        {8, 4, 5, false, 34},
        {6, 4, 3, true, 10},
        {10, 4, 6, false, 70},
        {4, 4, 1, true, 1},
        {12, 4, 8, false, 126},
        {5, 4, 2, false, 4},
        {10, 4, 7, true, 84},
        {7, 4, 4, false, 20},
        {8, 4, 5, true, 35},
        {9, 4, 6, false, 48},
        {6, 4, 3, true, 10},
        {11, 4, 8, false, 81},
        {4, 4, 1, true, 1},
        // DataBar Limited, groups 0-6 (odd, even).
        {17, 7, 6, true, 6538},
        {9, 7, 3, false, 28},
        {13, 7, 5, true, 875},
        {13, 7, 4, false, 728},
        {9, 7, 3, true, 28},
        {17, 7, 6, false, 6454},
        {15, 7, 5, true, 2415},
        {11, 7, 4, false, 203},
        {11, 7, 4, true, 203},
        {15, 7, 5, false, 2408},
        {19, 7, 8, true, 17094},
        {7, 7, 1, false, 1},
        {7, 7, 1, true, 1},
        {19, 7, 8, false, 16632},
    };

    for (const auto& row : rows) {
        std::set<std::vector<int>> seen;
        for (int v = 0; v < row.count; ++v) {
            const std::vector<int> w = databar::Widths(v, row.modules, row.elements, row.widest, row.noNarrow);
            ASSERT_EQ(w.size(), static_cast<size_t>(row.elements));
            EXPECT_EQ(std::accumulate(w.begin(), w.end(), 0), row.modules) << v;
            EXPECT_LE(*std::max_element(w.begin(), w.end()), row.widest) << v;
            EXPECT_GE(*std::min_element(w.begin(), w.end()), 1) << v;
            if (!row.noNarrow) {
                EXPECT_EQ(*std::min_element(w.begin(), w.end()), 1) << v;
            }
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
        int even = 0;
        for (size_t i = 0; i < p.size(); ++i) {
            (i % 2 == 0 ? odd : even) += p[i];
        }
        EXPECT_EQ(odd, 9) << c;
        EXPECT_EQ(even, 9) << c;
        rows.insert(p);
    }
    EXPECT_EQ(rows.size(), 89u);
    EXPECT_EQ(Digits(databar::LimitedCheckPattern(0)), "11111111113311");
}

TEST(DataBar14, PinnedSymbolsAndTexts)
{
    // The standard's example (01)20012345678909.
    const databar::DataBar14Symbol example =
        databar::EncodeDataBar14("2001234567890", databar::Layout14::Omnidirectional);
    EXPECT_EQ(Digits(example.widths), "1111331151274111221215125121112112833212123211");
    EXPECT_EQ(example.symbol.text, "(01)20012345678909");

    const struct
    {
        const char* text;
        const char* gtin;
    } rows[] = {{"", "00000000000000"}, {"123456789012", "01234567890128"}, {"9999999999999", "99999999999997"}};

    for (const auto& row : rows) {
        for (auto layout : {databar::Layout14::Omnidirectional, databar::Layout14::Stacked,
                            databar::Layout14::StackedOmnidirectional}) {
            const databar::DataBar14Symbol s = databar::EncodeDataBar14(row.text, layout);
            EXPECT_EQ(s.gtin, row.gtin);
            EXPECT_EQ(s.widths.size(), 46u);
            EXPECT_EQ(std::accumulate(s.widths.begin(), s.widths.end(), 0), 96);
            const size_t rowCount = layout == databar::Layout14::Omnidirectional ? 1
                                    : layout == databar::Layout14::Stacked       ? 3
                                                                                 : 5;
            ASSERT_EQ(s.symbol.rows.size(), rowCount);
            for (const auto& r : s.symbol.rows) {
                EXPECT_EQ(databar::RowModules(r), rowCount == 1 ? 96 : 50) << row.text;
            }
        }
    }
    EXPECT_EQ(databar::EncodeDataBar14("1", databar::Layout14::Stacked).symbol.heights, (std::vector<int>{5, 1, 7}));
    EXPECT_EQ(databar::EncodeDataBar14("1", databar::Layout14::StackedOmnidirectional).symbol.heights,
              (std::vector<int>{-1, 1, 1, 1, -1}));
}

TEST(DataBar14, FailureMessages)
{
    const struct
    {
        const char* text;
        const char* message;
    } rows[] = {
        {"12345678901234", "Input too long (max 13 digits)"},
        {"1234567890123A", "GS1 DataBar requires numeric digits only"},
        {"12 3", "GS1 DataBar requires numeric digits only"},
    };

    for (const auto& row : rows) {
        EXPECT_EQ(ErrorOf([&] { databar::EncodeDataBar14(row.text, databar::Layout14::Stacked); }), row.message);
    }
    EXPECT_EQ(databar::CheckDigit14("200123456789"
                                    "0"),
              "9");
    for (const char* bad : {"123456789012", "12345678901234", "12345678901a3", ""}) {
        EXPECT_EQ(ErrorOf([&] { databar::CheckDigit14(bad); }), "CalculateCheckDigit requires exactly 13 digits")
            << bad;
    }
}

TEST(DataBarLimited, PinnedSymbolsAndFailures)
{
    // The standard's example (01)15012345678907.
    const databar::DataBarLimitedSymbol example = databar::EncodeDataBarLimited("1501234567890");
    EXPECT_EQ(Digits(example.widths), "1132223212111123112111121122112121123213222211");
    EXPECT_EQ(example.symbol.text, "(01)15012345678907");
    EXPECT_EQ(databar::EncodeDataBarLimited("12345678").gtin, "00000123456784");
    EXPECT_EQ(databar::EncodeDataBarLimited("1999999999999").gtin, "19999999999991");

    const struct
    {
        const char* text;
        const char* message;
    } rows[] = {
        {"1234567", "Input must be 8-13 digits"},
        {"", "Input must be 8-13 digits"},
        {"12345678901234", "Input must be 8-13 digits"},
        {"2000000000000", "GS1 DataBar Limited requires leading digit 0 or 1 after padding"},
        {"1234a", "GS1 DataBar Limited requires numeric digits only"},
    };

    for (const auto& row : rows) {
        EXPECT_EQ(ErrorOf([&] { databar::EncodeDataBarLimited(row.text); }), row.message) << row.text;
    }
}

// zint's modules, GTIN by GTIN, until every row of the check pattern table has been met.
TEST(DataBarLimited, AgreesWithAnIndependentEncoderForEveryCheckPattern)
{
    if (!databartest::HaveZint()) {
        GTEST_SKIP() << "zint not available";
    }
    std::set<int> checksums;
    std::vector<std::string> gtins = {"1501234567890", "00000000", "1999999999999"};
    for (const std::string& gtin : SpreadGtins(600, 2000000000000ULL)) {
        gtins.push_back(gtin);
    }
    for (size_t i = 0; i < gtins.size(); ++i) {
        const std::string& gtin = gtins[i];
        const databar::DataBarLimitedSymbol s = databar::EncodeDataBarLimited(gtin);
        if (!checksums.insert(s.checksum).second && i >= 3) {
            continue; // a check pattern already compared
        }
        const std::vector<std::string> zint = databartest::ZintRows(30, gtin, 79);
        ASSERT_EQ(zint.size(), 1u);
        EXPECT_EQ(Modules(s.symbol.rows[0]) + "00000", zint[0]) << gtin << " checksum " << s.checksum;
    }
    EXPECT_EQ(checksums.size(), 89u);
}

// The data rows; the separator rows between them are not compared (zint draws some of their
// modules differently, which readers ignore).
TEST(DataBar14, DataRowsAgreeWithAnIndependentEncoder)
{
    if (!databartest::HaveZint()) {
        GTEST_SKIP() << "zint not available";
    }

    const struct
    {
        databar::Layout14 layout;
        int symbology;
        size_t width;
    } forms[] = {{databar::Layout14::Omnidirectional, 29, 96},
                 {databar::Layout14::Stacked, 79, 50},
                 {databar::Layout14::StackedOmnidirectional, 80, 50}};

    for (const auto& form : forms) {
        std::vector<std::string> gtins = SpreadGtins(40, 10000000000000ULL);
        gtins.push_back("2001234567890");
        for (const std::string& gtin : gtins) {
            const databar::DataBar14Symbol s = databar::EncodeDataBar14(gtin, form.layout);
            const std::vector<std::string> zint = databartest::ZintRows(form.symbology, gtin, form.width);
            ASSERT_EQ(zint.size(), s.symbol.rows.size()) << gtin;
            EXPECT_EQ(Modules(s.symbol.rows.front()), zint.front()) << gtin;
            EXPECT_EQ(Modules(s.symbol.rows.back()), zint.back()) << gtin;
        }
    }
}
