// SPDX-License-Identifier: MIT
// The linear frame: bar height, text geometry (raster and SVG), absurd text options.
#include "core/BarcodeBase1D.h"
#include "core/text/EmbeddedFont.h"
#include "linear/Code39.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <regex>

namespace {

using testsupport::CapturedOutput;

struct TextElement
{
    float x;
    float y;
    int fontSize;
    std::string text;
};

std::vector<TextElement> TextElements(const std::string& svg)
{
    std::vector<TextElement> out;
    const std::regex re("<text x=\"([0-9.-]+)\" y=\"([0-9.-]+)\"[^>]*font-size=\"([0-9]+)\"[^>]*>([^<]*)</text>");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), re); it != std::sregex_iterator(); ++it) {
        out.push_back({std::stof((*it)[1]), std::stof((*it)[2]), std::stoi((*it)[3]), (*it)[4]});
    }
    return out;
}

// Heights of the bar rectangles (every rect but the background).
std::vector<float> BarHeights(const std::string& svg)
{
    std::vector<float> out;
    const std::regex re("<rect x=\"[0-9.-]+\" y=\"[0-9.-]+\" width=\"[0-9.-]+\" height=\"([0-9.-]+)\" fill=\"rgb\\(0,0,0\\)\"");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), re); it != std::sregex_iterator(); ++it) {
        out.push_back(std::stof((*it)[1]));
    }
    return out;
}

// Lays out human-readable text alone, without bars.
class TextProbe : public Code39
{
public:
    TextProbe() : Code39("svg") {}
    std::string Text(const std::string& text, int width, int height)
    {
        SvgBegin(width, height);
        RenderTextSvg(text, 0, 0, width, height);
        SvgEnd();
        return GetSvg();
    }
};

TEST(LinearFrame, BarHeightFigures)
{
    struct Row
    {
        const char* name;
        int height;
        bool showText;
        float expected;
    };
    const Row rows[] = {
        {"height 100: 100 - 5 - 20", 100, true, 75},
        {"height 40: gap raised to 2", 40, true, 28},
        {"height 10: raised to 1", 10, true, 1},
        {"no text: full height", 100, false, 100},
        {"height 300: 300 - 21 - 45", 300, true, 234},
        {"height 50: 50 - 2 - 10", 50, true, 38},
        // The steps of the gap and font factors fall between these heights.
        {"height 49: 49 - 2 - 12 (gap 0.03, font 0.25)", 49, true, 35},
        {"height 200: 200 - 10 - 40 (gap 0.05, font 0.2)", 200, true, 150},
        {"height 201: 201 - 14 - 30 (gap 0.07, font 0.15)", 201, true, 157},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Code39 c("svg");
        c.SetShowText(r.showText);
        c.InitLinerBarcode(300, r.height, 1);
        EXPECT_EQ(c.GetBarHeight(), r.expected);
    }
    Code39 stacked("svg");
    stacked.InitLinerBarcode(300, 100, 2); // k = -4: 100 - 5 - 4 x 20
    EXPECT_EQ(stacked.GetBarHeight(), 15);
}

TEST(LinearFrame, EvenSpacingCentres)
{
    // Width 300, 10 characters, height 100: margin 15, pitch 30, start 15.
    TextProbe probe;
    const std::vector<TextElement> texts = TextElements(probe.Text("0123456789", 300, 100));
    ASSERT_EQ(texts.size(), 10u);
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_FLOAT_EQ(texts[i].x, 15.0f + 30.0f * static_cast<float>(i));
        EXPECT_FLOAT_EQ(texts[i].y, 94.4f); // text top at y + 100 - 20, baseline 0.72 x 20 below it
        EXPECT_EQ(texts[i].fontSize, 20);
        EXPECT_EQ(texts[i].text, std::string(1, static_cast<char>('0' + i)));
    }
    Code39 c("svg");
    ASSERT_TRUE(c.Draw("0123456789", 0, 0, 300, 100));
    for (float h : BarHeights(c.GetSvg())) {
        EXPECT_EQ(h, 75.0f);
    }
}

TEST(LinearFrame, OneCharacterAndCentredText)
{
    Code39 one("svg");
    one.SetShowStartStop(false);
    one.SetFitWidth(true);
    ASSERT_TRUE(one.Draw("A", 0, 0, 200, 100));
    auto texts = TextElements(one.GetSvg());
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_FLOAT_EQ(texts[0].x, 100.0f);

    Code39 whole("svg");
    whole.SetTextEvenSpacing(false);
    whole.SetFitWidth(true);
    ASSERT_TRUE(whole.Draw("AB", 0, 0, 301, 100));
    texts = TextElements(whole.GetSvg());
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "*AB*");
    EXPECT_FLOAT_EQ(texts[0].x, 150.0f); // 301 / 2 in integers
}

TEST(LinearFrame, EvenSpacingStepsByCodePoint)
{
    // Code 39 cannot carry these characters, so lay the text out directly.
    TextProbe p;
    const std::string svg = p.Text("\xE3\x81\x82" "A\xFF", 300, 100);
    const auto texts = TextElements(svg);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].text, "\xE3\x81\x82");
    EXPECT_EQ(texts[1].text, "A");
    EXPECT_EQ(texts[2].text, "\xEF\xBF\xBD");
    EXPECT_TRUE(testsupport::IsWellFormedXml(svg));
}

TEST(LinearFrame, RasterTextSitsUnderTheBars)
{
    Code39 c("png");
    c.SetFitWidth(true);
    ASSERT_TRUE(c.Draw("HELLO", 0, 0, 300, 100));
    const testsupport::RgbaImage img = testsupport::DecodePng(c.GetImageMemory());
    ASSERT_EQ(img.width, 300);
    ASSERT_EQ(img.height, 100);
    const auto darkRows = [&](int y0, int y1) {
        int dark = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = 0; x < img.width; ++x) {
                dark += img.pixels[(static_cast<size_t>(y) * img.width + x) * 4] < 128;
            }
        }
        return dark;
    };
    EXPECT_GT(darkRows(0, 75), 0);   // bars
    EXPECT_EQ(darkRows(75, 80), 0);  // the gap between bars and text
    EXPECT_GT(darkRows(80, 100), 0); // glyphs in the last fs = 20 pixels
}

TEST(LinearFrame, AbsurdTextOptionsFailCleanly)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Row
    {
        const char* name;
        float scale;
        float gap;
    };
    const Row rows[] = {{"huge scale", 1e30f, 1}, {"infinite scale", inf, 1}, {"NaN scale", nan, 1},
                        {"huge gap", 1, 1e30f},   {"NaN gap", 1, nan},        {"negative huge", -1e30f, -1e30f}};
    for (const Row& r : rows) {
        for (const char* format : {"png", "svg"}) {
            SCOPED_TRACE(std::string(r.name) + " " + format);
            Code39 c(format);
            c.SetTextFontScale(r.scale);
            c.SetTextGap(r.gap);
            CapturedOutput out;
            const bool ok = c.Draw("ABC", 0, 0, 300, 100);
            out.Finish();
            if (!ok) {
                EXPECT_EQ(out.Err(), "[Code39] Text size out of range\n");
            } else {
                // Negative values shrink the text to its minimum and draw normally.
                EXPECT_EQ(std::string(r.name), "negative huge");
            }
        }
    }
}

TEST(LinearFrame, AbsurdPixelAdjustmentsDoNotCrash)
{
    // Bars widened past any box are refused with the width they need; bars and spaces that
    // shrink to a pixel each draw a symbol whose text, laid out at the edge, moves into the box.
    const struct
    {
        int adjust;
        const char* reason; // "" when the draw succeeds
    } rows[] = {
        {INT32_MAX, "[Code39] The symbol needs "},
        {INT32_MIN, ""},
        {-5, ""},
    };
    for (const auto& row : rows) {
        for (const char* format : {"png", "svg"}) {
            Code39 c(format);
            c.SetPxAdjustBlack(row.adjust);
            c.SetPxAdjustWhite(row.adjust);
            CapturedOutput out;
            const bool drawn = c.Draw("AB", 0, 0, 300, 100);
            out.Finish();
            EXPECT_EQ(drawn, row.reason[0] == '\0') << row.adjust << " " << format;
            EXPECT_EQ(out.Err().substr(0, std::string(row.reason).size()), row.reason) << row.adjust << " " << format;
            if (!drawn) {
                EXPECT_NE(out.Err().find(" pixels; the box is 300 wide\n"), std::string::npos) << out.Err();
            }
        }
    }
}

} // namespace

namespace {

TEST(Font, CompiledInFontOpens)
{
    // The last fallback of the font search must be a usable TrueType font on its own.
    ASSERT_NE(embedded_font::Data(), nullptr);
    ASSERT_GT(embedded_font::Size(), 100000u);
    ASSERT_TRUE(BarcodeBase1D::InitFont());
    SDL_RWops* rw = SDL_RWFromConstMem(embedded_font::Data(), static_cast<int>(embedded_font::Size()));
    TTF_Font* font = TTF_OpenFontRW(rw, 1, 18);
    ASSERT_NE(font, nullptr) << SDL_GetError();
    int w = 0;
    int h = 0;
    EXPECT_EQ(TTF_SizeUTF8(font, "0123", &w, &h), 0);
    EXPECT_GT(w, 20);
    TTF_CloseFont(font);
}

TEST(Font, SearchPrefersTheModulePath)
{
    const std::string dir = std::string(BARCODE_TEST_TMPDIR) + "/module";
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "/fonts'").c_str()), 0);
    ASSERT_NE(embedded_font::Data(), nullptr);
    std::ofstream(dir + "/fonts/Roboto-Regular.ttf", std::ios::binary)
        .write(reinterpret_cast<const char*>(embedded_font::Data()), static_cast<std::streamsize>(embedded_font::Size()));
    BarcodeBase::SetModulePath(dir);
    EXPECT_EQ(BarcodeBase1D::GetFontPath(), dir + "/fonts/Roboto-Regular.ttf");
    BarcodeBase::SetModulePath("");
    EXPECT_NE(BarcodeBase1D::GetFontPath(), dir + "/fonts/Roboto-Regular.ttf");
}

} // namespace

namespace {

TEST(LinearFrame, TallBoxesKeepTheirText)
{
    // A very tall box at the default scale asks for a large font (2400 points), not an absurd
    // one; "*TALL*" at that size is far wider than the box, so it is drawn in the largest size
    // at which it stays inside it.
    Code39 c("svg");
    ASSERT_TRUE(c.Draw("TALL", 0, 0, 400, 16000));
    const std::vector<TextElement> texts = TextElements(c.GetSvg());
    ASSERT_EQ(texts.size(), 6u);
    EXPECT_GT(texts[0].fontSize, 40);
    EXPECT_LT(texts[0].fontSize, 2400);
    for (const TextElement& t : texts) {
        EXPECT_EQ(t.fontSize, texts[0].fontSize);
    }
    // The letters (about 0.6 of the size wide) lie inside the box.
    for (size_t i = 1; i + 1 < texts.size(); ++i) {
        EXPECT_GE(texts[i].x - 0.3f * static_cast<float>(texts[i].fontSize), 0.0f) << texts[i].text;
        EXPECT_LE(texts[i].x + 0.3f * static_cast<float>(texts[i].fontSize), 400.0f) << texts[i].text;
    }
}

} // namespace
