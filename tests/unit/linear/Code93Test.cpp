// SPDX-License-Identifier: MIT
#include "linear/Code93.h"
#include "linear/Code93Encoder.h"
#include "unit/linear/LinearTestUtil.h"

#include "barcode_lumeo.h"

#include <gtest/gtest.h>

#include <stdexcept>

using lineartest::Digits;
using lineartest::Sum;

namespace {

std::string EncodeError(const std::string& text)
{
    try {
        linear::EncodeCode93(text);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(accepted)";
}

} // namespace

// "TEST93" carries the check characters "+" (41) and "6" in the AIM USS-93 worked example.
TEST(Code93, CheckCharactersOfTheWorkedExample)
{
    EXPECT_EQ(linear::GetModulus47("TEST93", 20), 41);
    EXPECT_EQ(linear::GetModulus47("TEST93+", 15), 6);
    EXPECT_EQ(Code93::GetModulus47("TEST93", 20), 41);
}

TEST(Code93, WidthsOfTheWorkedExample)
{
    const std::vector<int> widths = linear::EncodeCode93("TEST93");
    EXPECT_EQ(widths.size(), 61u);
    EXPECT_EQ(Sum(widths), 91);
    EXPECT_EQ(Digits(widths), std::string("111141")  // start
                                  + "211221"     // T
                                  + "221211"     // E
                                  + "211122"     // S
                                  + "211221"     // T
                                  + "141111"     // 9
                                  + "111411"     // 3
                                  + "113121"     // C = "+"
                                  + "121311"     // K = "6"
                                  + "1111411");  // stop and termination bar
}

TEST(Code93, WeightsWrapAfterTwentyAndFifteen)
{
    // 21 characters: the leftmost C weight wraps back to 1, so it counts like the rightmost.
    const std::string data = "B00000000000000000000";
    EXPECT_EQ(linear::GetModulus47(data, 20), 11); // "B" (11) with weight 1
    EXPECT_EQ(linear::GetModulus47("1" + std::string(15, '0'), 15), 1);
    EXPECT_EQ(linear::GetModulus47("1" + std::string(14, '0'), 15), 15);
}

TEST(Code93, LowerCaseAndShiftCharacters)
{
    EXPECT_EQ(linear::EncodeCode93("abc"), linear::EncodeCode93("ABC"));
    // "<" is the ($) shift character, value 43.
    const std::vector<int> widths = linear::EncodeCode93("A<B");
    EXPECT_EQ(Digits(std::vector<int>(widths.begin() + 12, widths.begin() + 18)), "121221");
    const std::string svg = lineartest::DrawSvg<Code93>("abc", 300, 100);
    EXPECT_EQ(lineartest::SvgTexts(svg), "ABC"); // the text the bars carry
}

TEST(Code93, SizesFollowTheCharacterCount)
{
    for (const std::string text : {"A", "HELLO WORLD", "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%"}) {
        const std::vector<int> widths = linear::EncodeCode93(text);
        EXPECT_EQ(widths.size(), 6 * (text.size() + 3) + 7) << text;
        EXPECT_EQ(Sum(widths), static_cast<long long>(9 * (text.size() + 4) + 1)) << text;
    }
}

TEST(Code93, FailureMessages)
{
    struct Row
    {
        const char* text;
        const char* message;
        const char* printed = nullptr; // the line on standard error, when it differs (escapes)
    };
    const Row rows[] = {
        {"", "Empty string"},
        {"#", "Invalid character in CODE93: #"},
        {"ab#c", "Invalid character in CODE93: #"},
        {"a*", "Invalid character in CODE93: *"},
        {"x\ty", "Invalid character in CODE93: \t", "Invalid character in CODE93: \\x09"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(EncodeError(row.text), row.message) << row.text;
        EXPECT_EQ(lineartest::FailureLine<Code93>(row.text),
                  std::string("[Code93] ") + (row.printed != nullptr ? row.printed : row.message) + "\n");
    }
    EXPECT_EQ(EncodeError("\xC3\xA9"), "Invalid character in CODE93: \xC3");
    EXPECT_THROW(linear::GetModulus47("a", 20), std::runtime_error);
}

// zxing-cpp checks both modulo-47 characters when it reads Code 93.
TEST(Code93, RoundTripThroughDecoder)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    struct Row
    {
        const char* text;
        const char* expected;
        const char* why;
    };
    const Row rows[] = {
        {"TEST93", "TEST93", "worked example"},
        {"CODE 93", "CODE 93", "space"},
        {"PN-4711/B.2", "PN-4711/B.2", "symbols"},
        {"abc123", "ABC123", "lower case reads as upper case"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "C and K weights both wrap"},
        {"$25.00 +10%", "$25.00 +10%", "every plain symbol"},
        {"A!B", "Ab", "(+) shift: lower-case b"},
        {"9", "9", "one character"},
    };
    for (const Row& row : rows) {
        Code93 symbol("png");
        const auto png = lineartest::DrawPng(symbol, row.text, 600, 120);
        ASSERT_FALSE(png.empty()) << row.why;
        const testsupport::Decoded d = testsupport::DecodePngBytes(png, "Code93");
        EXPECT_TRUE(d.valid) << row.why << ": " << d.error;
        EXPECT_EQ(d.text, row.expected) << row.why;
    }
}

TEST(Code93, SvgRoundTripAndCApi)
{
    void* h = barcode_create(1);
    ASSERT_NE(h, nullptr);
    barcode_set_output_format(h, "svg");
    barcode_set_show_start_stop(h, 0); // not a Code 93 option: no effect
    ASSERT_TRUE(barcode_draw_1d(h, "LUMEO93", 400, 100));
    const std::string svg = barcode_get_svg(h);
    EXPECT_TRUE(testsupport::IsWellFormedXml(svg));
    EXPECT_EQ(lineartest::SvgTexts(svg), "LUMEO93");
    EXPECT_FALSE(barcode_draw_1d(h, "lumeo#93", 400, 100));
    barcode_destroy(h);
    if (!testsupport::HaveDecoder() || !testsupport::HaveSvgRasteriser()) {
        GTEST_SKIP() << "decoder or SVG rasteriser not available";
    }
    const testsupport::Decoded d = testsupport::DecodePngBytes(testsupport::RasteriseSvg(svg), "Code93");
    EXPECT_EQ(d.text, "LUMEO93") << d.error;
}
