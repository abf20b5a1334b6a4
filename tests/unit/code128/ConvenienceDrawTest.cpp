// SPDX-License-Identifier: MIT
#include "Code128TestUtil.h"
#include "api/Handle.h"
#include "code128/Code128.h"
#include "code128/GS1_128.h"

#include <gtest/gtest.h>

namespace {

const std::string kDigits43 = "9191234500000000000000000000000000000000000";
const std::string kDigits44 = kDigits43 + "8";

bool DrawConvenience(void* h, const char* text, int w, int hgt)
{
    return barcode_draw_convenience(h, text, w, hgt);
}

int SampleWidth(int size)
{
    TTF_Font* font = BarcodeBase1D::OpenFont(size);
    int w = -1;
    int h = 0;
    if (font != nullptr) {
        TTF_SizeUTF8(font, gs1_128::kConvenienceSampleLine, &w, &h);
        BarcodeBase1D::CloseFont(font);
    }
    return w;
}

TEST(GS1_128Convenience, DecodesToItsFortyFourDigits)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    for (const std::string& text : {kDigits43, kDigits44, "{FNC1}" + kDigits43}) {
        const auto png = code128test::DrawPng(3, text, 3 * 288, 160, {}, DrawConvenience);
        ASSERT_FALSE(png.empty()) << text;
        const code128test::Reading r = code128test::ReadCode128(png);
        EXPECT_TRUE(r.valid) << r.error;
        EXPECT_EQ(r.symbologyIdentifier, "]C1");
        EXPECT_EQ(r.text, kDigits44);
    }
    if (testsupport::HaveSvgRasteriser()) {
        const std::string svg = code128test::DrawSvg(3, kDigits43, 3 * 288, 160, {}, DrawConvenience);
        EXPECT_TRUE(testsupport::IsWellFormedXml(svg));
        const code128test::Reading r = code128test::ReadCode128(testsupport::RasteriseSvg(svg));
        EXPECT_TRUE(r.valid) << r.error;
        EXPECT_EQ(r.text, kDigits44);
    }
}

TEST(GS1_128Convenience, RejectedTextsPrintTheirReason)
{
    struct Row
    {
        std::string text;
        const char* message;
    };

    const Row rows[] = {
        {kDigits43 + "0", "[GS1-128 Convenience] Check digit mismatch"},
        {kDigits43.substr(1), "[GS1-128 Convenience] Code length must be 43 or 44 digits"},
        {kDigits44 + "0", "[GS1-128 Convenience] Code length must be 43 or 44 digits"},
        {"{FNC1}" + kDigits43.substr(0, 20) + "{FNC1}" + kDigits43.substr(20),
         "[GS1-128 Convenience] Non-digit character found"},
    };
    for (const char* format : {"png", "svg"}) {
        for (const Row& row : rows) {
            GS1_128 symbol(format);
            testsupport::CapturedOutput captured;
            EXPECT_FALSE(symbol.DrawConvenience(row.text, 0, 0, 500, 160)) << row.text;
            captured.Finish();
            EXPECT_NE(captured.Err().find(row.message), std::string::npos) << captured.Err();
        }
    }
}

TEST(GS1_128Convenience, FontShrinksInStepsOfTwoUntilTheSampleFits)
{
    // Height 160: the box suggests int(0.2 * 160) = 32 points.
    for (int width : {900, 500, 300}) {
        GS1_128 symbol("png");
        ASSERT_TRUE(symbol.DrawConvenience(kDigits44, 0, 0, width, 160)) << width;
        const int size = symbol.GetConvenienceFontSize();
        EXPECT_LE(size, 32) << width;
        EXPECT_GE(size, 8) << width;
        if (size >= 10) {
            EXPECT_EQ(size % 2, 0) << width;
            EXPECT_LE(SampleWidth(size), width) << width;
        }
        if (size < 32 && size >= 10) {
            EXPECT_GT(SampleWidth(size + 2), width) << "a larger size would have fitted at " << width;
        }
    }
    // The 288 modules need 288 pixels: a narrower box is refused rather than drawn cut.
    GS1_128 narrow("png");
    testsupport::CapturedOutput captured;
    EXPECT_FALSE(narrow.DrawConvenience(kDigits44, 0, 0, 200, 160));
    captured.Finish();
    EXPECT_NE(captured.Err().find("[GS1-128 Convenience] The symbol needs 288 pixels; the box is 200 wide"),
              std::string::npos)
        << captured.Err();
}

TEST(GS1_128Convenience, HugeFontScaleDoesNotSearchForever)
{
    GS1_128 symbol("png");
    symbol.SetTextFontScale(1e30f);
    // A search that walked down from the suggested size would not finish: the test timeout catches it.
    ASSERT_TRUE(symbol.DrawConvenience(kDigits44, 0, 0, 400, 160));
    EXPECT_LE(SampleWidth(symbol.GetConvenienceFontSize()), 400);
    EXPECT_GE(symbol.GetBarHeight(), 10.0f);

    GS1_128 svg("svg");
    svg.SetTextFontScale(1e30f);
    ASSERT_TRUE(svg.DrawConvenience(kDigits44, 0, 0, 400, 160));
    EXPECT_TRUE(testsupport::IsWellFormedXml(svg.GetSvg()));
}

TEST(GS1_128Convenience, LowBoxKeepsTenPixelBars)
{
    // Ten-pixel bars and two lines of text below them: the lines shrink to fit a low box, and
    // a box too low even for the smallest lines is refused rather than drawn cut.
    for (const char* format : {"png", "svg"}) {
        GS1_128 symbol(format);
        ASSERT_TRUE(symbol.DrawConvenience(kDigits44, 0, 0, 400, 32)) << format;
        EXPECT_GE(symbol.GetBarHeight(), 10.0f) << format;
        EXPECT_LE(symbol.GetBarHeight(), 16.0f) << format;

        GS1_128 low(format);
        testsupport::CapturedOutput captured;
        EXPECT_FALSE(low.DrawConvenience(kDigits44, 0, 0, 400, 20)) << format;
        captured.Finish();
        EXPECT_NE(captured.Err().find("[GS1-128 Convenience] The text needs "), std::string::npos) << captured.Err();
        EXPECT_NE(captured.Err().find(" pixels even at font size 6; the box is 20 high"), std::string::npos)
            << captured.Err();
    }
}

TEST(GS1_128Convenience, SvgPrintsBothLinesSpreadOverTheWidth)
{
    GS1_128 symbol("svg");
    ASSERT_TRUE(symbol.DrawConvenience(kDigits44, 0, 0, 500, 160));
    const std::string svg = symbol.GetSvg();
    EXPECT_TRUE(testsupport::IsWellFormedXml(svg));
    // s = 32, bars 160 - 64 = 96 high; f = min(32, int(1.5 * (500 / 33))) = 22.
    EXPECT_NE(svg.find("height=\"96.00\""), std::string::npos);
    // Lines whose tops are at 99.30 and 131.30, placed by their baselines 0.72 x 22 lower.
    EXPECT_NE(svg.find("<text x=\"0.00\" y=\"115.14\" font-family=\"Arial, sans-serif\" font-size=\"22\""),
              std::string::npos);
    EXPECT_NE(svg.find("<text x=\"0.00\" y=\"147.14\""), std::string::npos) << "second line one size lower";
    EXPECT_NE(svg.find("text-anchor=\"start\">(</text>"), std::string::npos);

    symbol.SetTextEvenSpacing(false);
    ASSERT_TRUE(symbol.DrawConvenience(kDigits44, 0, 0, 500, 160));
    const std::string whole = symbol.GetSvg();
    EXPECT_NE(whole.find(">(91)912345-0000000000000000000000</text>"), std::string::npos);
    EXPECT_NE(whole.find(">000000-0-000000-8</text>"), std::string::npos);
}

TEST(GS1_128Convenience, TextIgnoresTheHintingOtherDrawsLeaveOnTheSharedFont)
{
    GS1_128 symbol("png");
    ASSERT_TRUE(symbol.DrawConvenience(kDigits44, 0, 0, 500, 160));
    const int size = symbol.GetConvenienceFontSize();
    // The single-line text of other symbols sets mono hinting on the shared font of its size.
    const auto drawAfter = [&](int hinting) {
        {
            const auto lock = BarcodeBase1D::LockFonts();
            TTF_Font* font = BarcodeBase1D::CachedFont(size);
            if (font != nullptr) {
                BarcodeBase1D::UseHinting(font, hinting);
            }
        }
        EXPECT_TRUE(symbol.DrawConvenience(kDigits44, 0, 0, 500, 160));
        return symbol.GetImageMemory();
    };
    const std::vector<std::uint8_t> afterMono = drawAfter(TTF_HINTING_MONO);
    const std::vector<std::uint8_t> afterNormal = drawAfter(TTF_HINTING_NORMAL);
    ASSERT_FALSE(afterMono.empty());
    EXPECT_EQ(afterMono, afterNormal) << "the printed lines depend on earlier draws";
}

TEST(Code128CApi, CodeModeTable)
{
    void* h = barcode_create(2);
    ASSERT_NE(h, nullptr);
    auto* symbol = dynamic_cast<Code128*>(static_cast<BarcodeHandle*>(h)->symbol.get());
    ASSERT_NE(symbol, nullptr);
    EXPECT_EQ(symbol->GetCodeMode(), 3);

    struct Row
    {
        const char* mode;
        int stored;
    };

    const Row rows[] = {{"A", 0}, {"a", 0},  {"B", 1}, {"AUTO", 3}, {"auto", 3},
                        {"C", 2}, {"CC", 2}, {"", 2},  {"Auto", 2}};
    for (const Row& row : rows) {
        barcode_set_code_mode(h, row.mode);
        EXPECT_EQ(symbol->GetCodeMode(), row.stored) << row.mode;
    }
    barcode_set_code_mode(h, nullptr);
    EXPECT_EQ(symbol->GetCodeMode(), 2);
    EXPECT_FALSE(barcode_draw_1d(h, "12345", 300, 100)); // set C needs digit pairs
    barcode_set_code_mode(h, "AUTO");
    EXPECT_TRUE(barcode_draw_1d(h, "12345", 300, 100));
    barcode_destroy(h);

    void* gs1 = barcode_create(3);
    barcode_set_code_mode(gs1, "C"); // not a Code128 handle: ignored
    EXPECT_TRUE(barcode_draw_1d(gs1, "{FNC1}10ABC", 300, 100));
    barcode_set_code_mode(nullptr, "A");
    barcode_destroy(gs1);
}

TEST(Code128CApi, DrawConvenienceOnlyOnGs1Handles)
{
    void* code = barcode_create(2);
    EXPECT_FALSE(barcode_draw_convenience(code, kDigits44.c_str(), 500, 160));
    barcode_destroy(code);
    void* gs1 = barcode_create(3);
    EXPECT_FALSE(barcode_draw_convenience(gs1, nullptr, 500, 160));
    EXPECT_FALSE(barcode_draw_convenience(nullptr, kDigits44.c_str(), 500, 160));
    EXPECT_TRUE(barcode_draw_convenience(gs1, kDigits44.c_str(), 500, 160));
    int size = 0;
    EXPECT_NE(barcode_get_image_data(gs1, &size), nullptr);
    EXPECT_GT(size, 0);
    barcode_destroy(gs1);
}

TEST(Code128CApi, HundredThousandCharactersDrawWithoutCrashing)
{
    std::string text;
    while (text.size() < 100000) {
        text += "Order 2024-00815 qty 000012\t";
    }
    text.resize(100000);
    void* h = barcode_create(2);
    testsupport::CapturedOutput wide;
    EXPECT_FALSE(barcode_draw_1d(h, text.c_str(), 1200, 100)); // 1.1 million modules
    wide.Finish();
    EXPECT_NE(wide.Err().find("[Code128] The symbol needs 1100035 pixels; the box is 1200 wide"), std::string::npos)
        << wide.Err();
    text[50000] = '\x90';
    testsupport::CapturedOutput captured;
    EXPECT_FALSE(barcode_draw_1d(h, text.c_str(), 1200, 100));
    captured.Finish();
    EXPECT_NE(captured.Err().find("[Code128] No valid start"), std::string::npos);
    barcode_destroy(h);
}

} // namespace
