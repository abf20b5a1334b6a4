// SPDX-License-Identifier: MIT
// Symbols drawn through the C interface and read back with zxing-cpp.
#include "Code128TestUtil.h"

#include <gtest/gtest.h>
#include <random>

namespace {

using code128test::DrawPng;
using code128test::DrawSvg;
using code128test::ReadCode128;

struct Code128Row
{
    const char* name;
    const char* mode; // barcode_set_code_mode string
    std::string text;
};

const Code128Row kCode128Rows[] = {
    {"set A upper case", "A", "HELLO WORLD"},
    {"set A control characters", "A", std::string("LINE1\rLINE2\tEND")},
    {"set B mixed case", "B", "Barcode Lumeo 2024!"},
    {"set C digit pairs", "C", "0123456789"},
    {"auto upper case", "AUTO", "ABC-123"},
    {"auto lower case", "AUTO", "abcdefghij"},
    {"auto long digit run", "AUTO", "12345678901234567890123456789012"},
    {"auto odd digit count", "AUTO", "1234567"},
    {"auto odd digits inside text", "AUTO", "INV12345X678"},
    {"auto lower then digits", "AUTO", "ab12345678"},
    {"auto control then lower case", "AUTO",
     std::string("A\x01"
                 "b\x02"
                 "c\x1f"
                 "d")},
    {"auto punctuation", "AUTO", "~{|}`^_ @#$%&*()"},
    {"auto single character", "AUTO", "Z"},
    {"auto tab", "AUTO", std::string("A\t")},
};

TEST(Code128RoundTrip, DecodesToTheEncodedText)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    for (const Code128Row& row : kCode128Rows) {
        const auto png = DrawPng(2, row.text, 600, 120, [&](void* h) { barcode_set_code_mode(h, row.mode); });
        ASSERT_FALSE(png.empty()) << row.name;
        const code128test::Reading r = ReadCode128(png);
        EXPECT_TRUE(r.valid) << row.name << ": " << r.error;
        EXPECT_EQ(r.text, row.text) << row.name;
        EXPECT_EQ(r.symbologyIdentifier, "]C0") << row.name;
    }
}

TEST(Code128RoundTrip, RandomPrintableTextsDecode)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> length(1, 18);
    std::uniform_int_distribution<int> printable(32, 126);
    std::uniform_int_distribution<int> digit('0', '9');
    for (int i = 0; i < 30; ++i) {
        std::string text(static_cast<size_t>(length(rng)), ' ');
        for (char& c : text) {
            c = static_cast<char>(i % 3 == 0 ? digit(rng) : printable(rng));
        }
        const code128test::Reading r = ReadCode128(DrawPng(2, text, 720, 100));
        EXPECT_TRUE(r.valid) << text << ": " << r.error;
        EXPECT_EQ(r.text, text);
    }
}

TEST(Code128RoundTrip, SvgRasterisesToTheSameText)
{
    if (!testsupport::HaveDecoder() || !testsupport::HaveSvgRasteriser()) {
        GTEST_SKIP() << "zxing-cpp or rsvg-convert not available";
    }
    const std::string text = "ab12345678 Lumeo";
    const std::string svg = DrawSvg(2, text, 500, 120);
    ASSERT_FALSE(svg.empty());
    EXPECT_TRUE(testsupport::IsWellFormedXml(svg));
    const code128test::Reading r = ReadCode128(testsupport::RasteriseSvg(svg));
    EXPECT_TRUE(r.valid) << r.error;
    EXPECT_EQ(r.text, text);
}

// The text a reader returns for a GS1-128 element string: the first FNC1 becomes the "]C1"
// identifier, later FNC1 characters become GS (0x1D) separators, "{AI}" marks vanish.
std::string ExpectedGs1Text(const std::string& text)
{
    std::string out;
    for (size_t p = 0; p < text.size();) {
        if (text.compare(p, 6, "{FNC1}") == 0) {
            if (p != 0) {
                out += '\x1d';
            }
            p += 6;
        } else if (text.compare(p, 4, "{AI}") == 0) {
            p += 4;
        } else {
            out += text[p++];
        }
    }
    return out;
}

struct Gs1Row
{
    const char* name;
    std::string text;
};

const Gs1Row kGs1Rows[] = {
    {"GTIN", "{FNC1}0104912345678904"},
    {"GTIN and expiry date", "{FNC1}0104912345678904{AI}17251231"},
    {"GTIN, production date, batch", "{FNC1}0104912345678904{AI}11240401{AI}10ABC123"},
    {"batch then serial with FNC1 separator", "{FNC1}10LOT-7a{FNC1}21SN000123"},
    {"variable weight and price", "{FNC1}0194912345678903{AI}3103001250{FNC1}3922498"},
    {"SSCC", "{FNC1}00349123451234567897"},
    {"odd digit field then lower case", "{FNC1}400PO-778x{FNC1}91abc"},
    {"count and batch", "{FNC1}3712{FNC1}10B"},
};

TEST(GS1_128RoundTrip, DecodesWithTheGs1FlagAndSeparators)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    // Whole-pixel modules: with fit width on (the default) the bar edges fall on fractional
    // pixels and the reading depends on how the rasteriser rounds them.
    for (const Gs1Row& row : kGs1Rows) {
        const auto png = DrawPng(3, row.text, 700, 120, [](void* h) { barcode_set_fit_width(h, 0); });
        ASSERT_FALSE(png.empty()) << row.name;
        const code128test::Reading r = ReadCode128(png);
        EXPECT_TRUE(r.valid) << row.name << ": " << r.error;
        EXPECT_EQ(r.symbologyIdentifier, "]C1") << row.name;
        EXPECT_TRUE(r.gs1) << row.name;
        EXPECT_EQ(r.text, ExpectedGs1Text(row.text)) << row.name;
    }
}

TEST(GS1_128RoundTrip, DefaultFitWidthStretchesToTheBox)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    // 266 modules drawn 3 pixels wide by the stretched module width.
    const std::string text = "{FNC1}0104912345678904{AI}11240401{AI}10ABC123";
    const code128test::Reading r = ReadCode128(DrawPng(3, text, 3 * 266, 120));
    EXPECT_TRUE(r.valid) << r.error;
    EXPECT_EQ(r.text, ExpectedGs1Text(text));
}

TEST(GS1_128RoundTrip, MendedTextsDecodeToTheirBytes)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    // Without a leading FNC1 these are plain Code 128 symbols; before the mend their check
    // characters were wrong.
    for (const std::string& text : {std::string("A\x01\x7f"), std::string("1234{FNC"), std::string("5678{AI"),
                                    std::string("X\x7f"
                                                "abc\x02")}) {
        const code128test::Reading r = ReadCode128(DrawPng(3, text, 500, 100));
        EXPECT_TRUE(r.valid) << r.error;
        EXPECT_EQ(r.text, text);
    }
}

TEST(GS1_128RoundTrip, SvgRasterisesToTheSameElementString)
{
    if (!testsupport::HaveDecoder() || !testsupport::HaveSvgRasteriser()) {
        GTEST_SKIP() << "zxing-cpp or rsvg-convert not available";
    }
    const std::string text = "{FNC1}0104912345678904{FNC1}10ABC123";
    const std::string svg = DrawSvg(3, text, 600, 120);
    ASSERT_FALSE(svg.empty());
    EXPECT_TRUE(testsupport::IsWellFormedXml(svg));
    EXPECT_NE(svg.find(">(<"), std::string::npos) << "display text with parentheses";
    const code128test::Reading r = ReadCode128(testsupport::RasteriseSvg(svg));
    EXPECT_TRUE(r.valid) << r.error;
    EXPECT_EQ(r.symbologyIdentifier, "]C1");
    EXPECT_EQ(r.text, ExpectedGs1Text(text));
}

} // namespace
