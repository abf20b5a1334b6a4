// SPDX-License-Identifier: MIT
#include "linear/NW7.h"
#include "linear/NW7Encoder.h"
#include "unit/linear/LinearTestUtil.h"

#include "barcode_lumeo.h"

#include <gtest/gtest.h>

#ifdef BARCODE_HAVE_ZXING
#include <ZXing/ReadBarcode.h>
#endif

#include <algorithm>
#include <stdexcept>

using lineartest::Digits;
using lineartest::Sum;

namespace {

std::string EncodeError(const std::string& text)
{
    try {
        linear::EncodeNW7(text);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(accepted)";
}

// Reads a Codabar symbol keeping its start and stop characters, which the shared decoder
// helper strips.
std::string DecodeWithStartStop(const std::vector<std::uint8_t>& png)
{
#ifdef BARCODE_HAVE_ZXING
    const testsupport::GreyImage grey = testsupport::ToGrey(testsupport::DecodePng(png), 40);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::Codabar);
    hints.setTryRotate(false);
    hints.setReturnCodabarStartEnd(true);
    const ZXing::ImageView view(grey.pixels.data(), grey.width, grey.height, ZXing::ImageFormat::Lum);
    const ZXing::Result r = ZXing::ReadBarcode(view, hints);
    return r.isValid() ? r.text() : "(unreadable: " + ZXing::ToString(r.error()) + ")";
#else
    (void)png;
    return {};
#endif
}

} // namespace

TEST(NW7, DefaultFrameIsC)
{
    const std::vector<int> widths = linear::EncodeNW7("123");
    EXPECT_EQ(widths.size(), 39u); // 5 characters x 7 elements + 4 gaps
    EXPECT_EQ(widths, linear::EncodeNW7("C123C"));
    // C (0x0B), gap, 1 (0x06), gap.
    EXPECT_EQ(Digits(std::vector<int>(widths.begin(), widths.begin() + 16)), "1113133" "2" "1111331" "2");
    EXPECT_EQ(widths[7], 2); // two-module inter-character gap
}

TEST(NW7, PatternsOfEveryCharacter)
{
    // Each character: 7 elements, 2 or 3 of them wide (EN 798).
    const std::string set = "0123456789-$:/.+";
    for (char c : set) {
        const std::vector<int> widths = linear::EncodeNW7(std::string("A") + c + "B");
        ASSERT_EQ(widths.size(), 23u);
        const std::vector<int> middle(widths.begin() + 8, widths.begin() + 15);
        const long long wide = std::count(middle.begin(), middle.end(), 3);
        EXPECT_TRUE(wide == 2 || wide == 3) << c;
    }
    // Digits "0" (0x03) and "7" (0x24).
    const std::vector<int> zero = linear::EncodeNW7("A0B");
    EXPECT_EQ(Digits(std::vector<int>(zero.begin() + 8, zero.begin() + 15)), "1111133");
    const std::vector<int> seven = linear::EncodeNW7("A7B");
    EXPECT_EQ(Digits(std::vector<int>(seven.begin() + 8, seven.begin() + 15)), "1311311");
}

TEST(NW7, GivenStartStopKeptAndLowerCaseAccepted)
{
    EXPECT_EQ(linear::EncodeNW7("a123b"), linear::EncodeNW7("A123B"));
    EXPECT_NE(linear::EncodeNW7("A123B"), linear::EncodeNW7("123"));
    EXPECT_EQ(Sum(linear::EncodeNW7("A1B")), Sum(linear::EncodeNW7("D1A")));
}

TEST(NW7, DisplayText)
{
    struct Row
    {
        const char* text;
        bool show;
        const char* printed;
    };
    const Row rows[] = {
        {"123", true, "123"},   {"123", false, "123"},       {"a123b", true, "a123b"},
        {"a123b", false, "123"}, {"D30-45:17D", false, "30-45:17"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(linear::NW7DisplayText(row.text, row.show), row.printed) << row.text;
    }
    void* h = barcode_create(4);
    ASSERT_NE(h, nullptr);
    barcode_set_output_format(h, "svg");
    barcode_set_show_start_stop(h, 0);
    ASSERT_TRUE(barcode_draw_1d(h, "a123b", 300, 100));
    const std::string svg = barcode_get_svg(h);
    EXPECT_TRUE(testsupport::IsWellFormedXml(svg));
    EXPECT_EQ(lineartest::SvgTexts(svg), "123");
    barcode_set_show_start_stop(h, 1);
    ASSERT_TRUE(barcode_draw_1d(h, "a123b", 300, 100));
    EXPECT_EQ(lineartest::SvgTexts(barcode_get_svg(h)), "a123b");
    barcode_destroy(h);
}

TEST(NW7, FailureMessages)
{
    struct Row
    {
        const char* text;
        const char* message;
        const char* why;
    };
    const Row rows[] = {
        {"", "Empty string", "empty"},
        {"A123", "Invalid start/stop character combination in NW7: A123", "start only"},
        {"123d", "Invalid start/stop character combination in NW7: 123D", "stop only, upper-cased"},
        {"12E4", "Invalid character in NW7: E", "outside the set"},
        {"A12*4B", "Invalid character in NW7: *", "outside the set between given start/stop"},
        {"1A2", "Invalid character in NW7: A", "start/stop letter inside the data"},
        {"A1b2C", "Invalid character in NW7: B", "start/stop letter inside, upper-cased"},
        {"ABCD", "Invalid character in NW7: B", "only start/stop letters"},
        {"A", "Invalid start/stop character combination in NW7: A", "lone start/stop letter"},
        {"d", "Invalid start/stop character combination in NW7: D", "lone start/stop letter, lower case"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(EncodeError(row.text), row.message) << row.why;
        EXPECT_EQ(lineartest::FailureLine<NW7>(row.text), std::string("[NW7] ") + row.message + "\n") << row.why;
    }
}

TEST(NW7, RoundTripEveryStartStopPair)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    const std::string letters = "ABCD";
    for (char start : letters) {
        for (char stop : letters) {
            const std::string text = start + std::string("40156-7:8/9.0$+") + stop;
            NW7 symbol("png");
            const auto png = lineartest::DrawPng(symbol, text, 600, 120);
            ASSERT_FALSE(png.empty()) << text;
            EXPECT_EQ(DecodeWithStartStop(png), text);
            const testsupport::Decoded d = testsupport::DecodePngBytes(png, "Codabar");
            EXPECT_EQ(d.text, "40156-7:8/9.0$+") << text << ": " << d.error;
        }
    }
}

TEST(NW7, RoundTripDefaultFrameAndLowerCase)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    struct Row
    {
        const char* text;
        const char* decoded;
    };
    const Row rows[] = {{"0123456789", "C0123456789C"}, {"b12345d", "B12345D"}, {"12", "C12C"}};
    // zxing-cpp reads Codabar of four characters or more (start and stop included), so the
    // shortest symbol here has two data characters.
    for (const Row& row : rows) {
        NW7 symbol("png");
        const auto png = lineartest::DrawPng(symbol, row.text, 400, 100);
        ASSERT_FALSE(png.empty()) << row.text;
        EXPECT_EQ(DecodeWithStartStop(png), row.decoded);
    }
    if (!testsupport::HaveSvgRasteriser()) {
        return;
    }
    const std::string svg = lineartest::DrawSvg<NW7>("A0123-4567-89B", 500, 100);
    EXPECT_EQ(DecodeWithStartStop(testsupport::RasteriseSvg(svg)), "A0123-4567-89B");
}

// "C123C" is 59 modules of characters and four gaps of 2: 67 modules, so a 134-pixel box gives
// a 2-pixel module and the gap after the start character is 4 pixels wide.
TEST(NW7, GapIsTwoModulesOnTheCanvas)
{
    const std::string svg = lineartest::DrawSvg<NW7>("123", 134, 60, false);
    ASSERT_TRUE(testsupport::IsWellFormedXml(svg));
    const std::string lastStartBar = "<rect x=\"20.00\" y=\"0.00\" width=\"6.00\" height=\"60.00\"";
    const size_t at = svg.find(lastStartBar);
    ASSERT_NE(at, std::string::npos) << svg;
    const size_t next = svg.find("<rect x=\"", at + 1);
    ASSERT_NE(next, std::string::npos);
    EXPECT_EQ(svg.compare(next, 15, "<rect x=\"30.00\""), 0) << svg.substr(next, 40);
}
