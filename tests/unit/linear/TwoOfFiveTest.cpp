// SPDX-License-Identifier: MIT
#include "linear/TwoOfFive.h"
#include "linear/TwoOfFiveEncoder.h"
#include "unit/linear/LinearTestUtil.h"

#include "barcode_lumeo.h"

#include <gtest/gtest.h>

#include <stdexcept>

using lineartest::Digits;
using lineartest::Sum;

namespace {

std::string EncodeError(const std::string& text, const linear::TwoOfFiveVariant& variant)
{
    try {
        linear::EncodeTwoOfFive(text, variant);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(accepted)";
}

} // namespace

// No installable decoder reads these codes, so the element widths are pinned.
TEST(TwoOfFive, DigitElementsPinned)
{
    // bar, space, bar, space, bar; the bits weigh 7, 4, 2, 1, 0.
    const char* const expected[] = {
        "33111", // 0 = 7 + 4
        "11133", // 1 = 1 + 0
        "11313", // 2 = 2 + 0
        "11331", // 3 = 2 + 1
        "13113", // 4 = 4 + 0
        "13131", // 5 = 4 + 1
        "13311", // 6 = 4 + 2
        "31113", // 7 = 7 + 0
        "31131", // 8 = 7 + 1
        "31311", // 9 = 7 + 2
    };
    for (int d = 0; d < 10; ++d) {
        const std::vector<int> widths = linear::EncodeTwoOfFive(std::to_string(d), linear::kMatrix2of5);
        ASSERT_EQ(widths.size(), 12u);
        EXPECT_EQ(Digits(widths), std::string("3131") + expected[d] + "133") << d;
        EXPECT_EQ(Sum(std::vector<int>(widths.begin() + 4, widths.begin() + 9)), 9) << d;
    }
}

TEST(TwoOfFive, DigitsSeparatedByNarrowSpace)
{
    EXPECT_EQ(Digits(linear::EncodeTwoOfFive("12", linear::kMatrix2of5)), "3131" "11133" "1" "11313" "133");
    EXPECT_EQ(Digits(linear::EncodeTwoOfFive("14", linear::kNEC2of5)), "3131" "11133" "1" "13113" "133");
    for (const std::string& text : std::vector<std::string>{"5", "20240415", "0123456789", std::string(50, '7')}) {
        const std::vector<int> widths = linear::EncodeTwoOfFive(text, linear::kNEC2of5);
        EXPECT_EQ(widths.size(), 6 * text.size() + 6) << text;
        EXPECT_EQ(Sum(widths), static_cast<long long>(8 + 10 * text.size() - 1 + 7)) << text;
        EXPECT_EQ(widths, Matrix2of5("svg").EncodeMatrix2of5(text));
        EXPECT_EQ(widths, NEC2of5("svg").EncodeNEC2of5(text));
    }
}

TEST(TwoOfFive, FailureMessages)
{
    struct Row
    {
        const char* text;
        const char* matrix;
        const char* nec;
    };
    const Row rows[] = {
        {"", "Empty string", "Empty string"},
        {"1 2", "Matrix 2 of 5 barcode requires numeric digits only", "NEC 2 of 5 barcode requires numeric digits only"},
        {"12A", "Matrix 2 of 5 barcode requires numeric digits only", "NEC 2 of 5 barcode requires numeric digits only"},
        {"+1", "Matrix 2 of 5 barcode requires numeric digits only", "NEC 2 of 5 barcode requires numeric digits only"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(EncodeError(row.text, linear::kMatrix2of5), row.matrix);
        EXPECT_EQ(EncodeError(row.text, linear::kNEC2of5), row.nec);
        EXPECT_EQ(lineartest::FailureLine<Matrix2of5>(row.text), std::string("[Matrix2of5] ") + row.matrix + "\n");
        EXPECT_EQ(lineartest::FailureLine<NEC2of5>(row.text), std::string("[NEC2of5] ") + row.nec + "\n");
    }
}

TEST(TwoOfFive, MatrixAndNecDrawAlike)
{
    for (const char* text : {"1", "20240415"}) {
        Matrix2of5 matrix("png");
        NEC2of5 nec("png");
        const auto a = lineartest::DrawPng(matrix, text, 400, 120);
        ASSERT_FALSE(a.empty());
        EXPECT_EQ(a, lineartest::DrawPng(nec, text, 400, 120)) << text;
        const std::string svg = lineartest::DrawSvg<Matrix2of5>(text, 400, 120);
        EXPECT_TRUE(testsupport::IsWellFormedXml(svg));
        EXPECT_EQ(svg, lineartest::DrawSvg<NEC2of5>(text, 400, 120));
        EXPECT_EQ(lineartest::SvgTexts(svg), text);
    }
}

// The bars on the image: "1" is 3 1 3 1 | 1 1 1 3 3 | 1 3 3 = 24 modules; at width 48 a module is
// 2 pixels and the final wide space is white.
TEST(TwoOfFive, BarsOnTheImage)
{
    for (int type : {5, 6}) {
        void* h = barcode_create(type);
        ASSERT_NE(h, nullptr);
        barcode_set_show_text(h, 0);
        ASSERT_TRUE(barcode_draw_1d(h, "1", 50, 10));
        int size = 0;
        const unsigned char* png = barcode_get_image_data(h, &size);
        const testsupport::GreyImage grey = testsupport::ToGrey(testsupport::DecodePng(png, size), 0);
        barcode_destroy(h);
        ASSERT_EQ(grey.width, 50);
        std::string row;
        for (int x = 0; x < grey.width; ++x) {
            row += grey.at(x, 5) < 128 ? '#' : '.';
        }
        EXPECT_EQ(row, std::string("######..######..") + "##..##......" + "######..######......" + "..") << type;
    }
}
