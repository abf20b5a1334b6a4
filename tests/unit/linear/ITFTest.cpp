// SPDX-License-Identifier: MIT
#include "linear/ITF.h"
#include "linear/ITFEncoder.h"
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
        linear::EncodeITF(text);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(accepted)";
}

} // namespace

TEST(ITF, PairInterleavesBarsAndSpaces)
{
    // Bars from "1" = 10001, spaces from "2" = 01001.
    const std::vector<int> widths = linear::EncodeITF("12");
    EXPECT_EQ(Digits(widths), "1111" "3113111133" "311");
    EXPECT_EQ(widths.size(), 17u);
    EXPECT_EQ(Sum(widths), 27);
}

TEST(ITF, OddCountGetsLeadingZero)
{
    EXPECT_EQ(linear::EncodeITF("123"), linear::EncodeITF("0123"));
    EXPECT_EQ(lineartest::SvgTexts(lineartest::DrawSvg<ITF>("123", 300, 100)), "123");
    for (const std::string& text : std::vector<std::string>{"00", "4711", "14901234567891", std::string(40, '9')}) {
        const std::vector<int> widths = linear::EncodeITF(text);
        const size_t pairs = text.size() / 2;
        EXPECT_EQ(widths.size(), 10 * pairs + 7) << text;
        EXPECT_EQ(Sum(widths), static_cast<long long>(18 * pairs + 9)) << text;
    }
}

TEST(ITF, FailureMessages)
{
    struct Row
    {
        const char* text;
        const char* message;
    };
    const Row rows[] = {
        {"", "Empty string"},
        {"12a4", "ITF barcode requires numeric digits only"},
        {"-12", "ITF barcode requires numeric digits only"},
        {"12 34", "ITF barcode requires numeric digits only"},
        {"\xEF\xBC\x91\xEF\xBC\x92", "ITF barcode requires numeric digits only"}, // full-width digits
    };
    for (const Row& row : rows) {
        EXPECT_EQ(EncodeError(row.text), row.message) << row.text;
        EXPECT_EQ(lineartest::FailureLine<ITF>(row.text), std::string("[ITF] ") + row.message + "\n");
    }
}

TEST(ITF, RoundTripEvenAndOddDigitCounts)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    // zxing-cpp 1.4 reads ITF of six digits or more, so shorter texts are left to the width tests.
    struct Row
    {
        const char* text;
        const char* decoded;
        const char* why;
    };
    const Row rows[] = {
        {"123456", "123456", "shortest symbol zxing reads"},
        {"12345", "012345", "odd: a leading zero"},
        {"14901234567891", "14901234567891", "ITF-14 case code"},
        {"1234567", "01234567", "odd, seven digits"},
        {"0000000000", "0000000000", "zeros"},
        {"98765432109876543", "098765432109876543", "odd, long"},
    };
    for (const Row& row : rows) {
        ITF symbol("png");
        const auto png = lineartest::DrawPng(symbol, row.text, 600, 120);
        ASSERT_FALSE(png.empty()) << row.why;
        const testsupport::Decoded d = testsupport::DecodePngBytes(png, "ITF");
        EXPECT_EQ(d.text, row.decoded) << row.why << ": " << d.error;
    }
}

TEST(ITF, SvgAndCApi)
{
    void* h = barcode_create(11);
    ASSERT_NE(h, nullptr);
    barcode_set_output_format(h, "svg");
    ASSERT_TRUE(barcode_draw_1d(h, "4901234567894", 500, 120));
    const std::string svg = barcode_get_svg(h);
    barcode_destroy(h);
    EXPECT_TRUE(testsupport::IsWellFormedXml(svg));
    // Background, 2 + 7 x 5 + 2 bars.
    EXPECT_EQ(lineartest::Count(svg, "<rect "), 1u + 39u);
    if (!testsupport::HaveDecoder() || !testsupport::HaveSvgRasteriser()) {
        GTEST_SKIP() << "decoder or SVG rasteriser not available";
    }
    const testsupport::Decoded d = testsupport::DecodePngBytes(testsupport::RasteriseSvg(svg), "ITF");
    EXPECT_EQ(d.text, "04901234567894") << d.error;
}
