// SPDX-License-Identifier: MIT
// Code 39: element widths, messages, pixel geometry and round trips through zxing-cpp.
#include "linear/Code39.h"
#include "linear/Code39Encoder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

using testsupport::CapturedOutput;

int Sum(const std::vector<int>& v)
{
    return std::accumulate(v.begin(), v.end(), 0);
}

std::string Joined(const std::vector<int>& v)
{
    std::string s;
    for (int w : v) {
        s += static_cast<char>('0' + w);
    }
    return s;
}

TEST(Code39Encoder, PinnedWidths)
{
    // Start/stop "*" (0x94 = 010010100) frames every symbol, with narrow gaps between characters.
    const std::string star = "131131311";
    struct Row
    {
        const char* text;
        const char* pattern;
        const char* source;
    };
    const Row rows[] = {
        {"A", "311113113", "A = 0x109"},
        {"1", "311311113", "1 = 0x121"},
        {"-", "131111313", "dash = 0x85"},
        {" ", "133111311", "space = 0xC4"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.source);
        const std::vector<int> w = linear::EncodeCode39(r.text);
        EXPECT_EQ(Joined(w), star + "1" + r.pattern + "1" + star);
        EXPECT_EQ(w.size(), 29u);
        EXPECT_EQ(Sum(w), 47);
    }
}

TEST(Code39Encoder, SizesFollowTheCharacterCount)
{
    for (size_t n = 1; n <= 40; ++n) {
        const std::string text(n, 'Z');
        const std::vector<int> w = linear::EncodeCode39(text);
        EXPECT_EQ(w.size(), 10 * n + 19);
        EXPECT_EQ(Sum(w), static_cast<int>(16 * (n + 2) - 1));
    }
}

TEST(Code39Encoder, LowerCaseReadsAsUpperCase)
{
    EXPECT_EQ(linear::EncodeCode39("a1"), linear::EncodeCode39("A1"));
    EXPECT_EQ(linear::EncodeCode39("lumeo-39 $/+%."), linear::EncodeCode39("LUMEO-39 $/+%."));
}

TEST(Code39Encoder, FailureMessages)
{
    struct Row
    {
        std::string text;
        std::string message;
    };
    const Row rows[] = {
        {"", "Empty string"},
        {"A*B", "Invalid character in CODE39: '*' is reserved for start/stop code"},
        {"*", "Invalid character in CODE39: '*' is reserved for start/stop code"},
        {"AB#", "Invalid character in CODE39: #"},
        {"ab_", "Invalid character in CODE39: _"},
        {"\xE9", "Invalid character in CODE39: \xE9"},
        {std::string("A\0B", 3), std::string("Invalid character in CODE39: \0", 30)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.message);
        try {
            linear::EncodeCode39(r.text);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), r.message.c_str());
        }
    }
}

TEST(Code39, DrawPrintsTheTaggedMessage)
{
    for (const char* format : {"png", "svg"}) {
        Code39 c(format);
        CapturedOutput out;
        EXPECT_FALSE(c.Draw("#", 0, 0, 200, 80));
        EXPECT_FALSE(c.Draw("", 0, 0, 200, 80));
        EXPECT_FALSE(c.Draw("*", 0, 0, 200, 80));
        out.Finish();
        EXPECT_EQ(out.Err(), "[Code39] Invalid character in CODE39: #\n"
                             "[Code39] Empty string\n"
                             "[Code39] Invalid character in CODE39: '*' is reserved for start/stop code\n");
    }
}

// Left edges and widths of the dark runs on row y.
std::vector<std::pair<int, int>> DarkRuns(const testsupport::RgbaImage& img, int y)
{
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < img.width;) {
        const bool dark = img.pixels[(static_cast<size_t>(y) * img.width + x) * 4] < 128;
        int end = x;
        while (end < img.width && (img.pixels[(static_cast<size_t>(y) * img.width + end) * 4] < 128) == dark) {
            ++end;
        }
        if (dark) {
            runs.emplace_back(x, end - x);
        }
        x = end;
    }
    return runs;
}

TEST(Code39, ModuleWidthRules)
{
    struct Row
    {
        const char* name;
        int width;
        bool fit;
        int adjustBlack;
        int expectedRight; // right edge of the last bar
        int narrowBar;     // width of the first (narrow) bar
    };
    const Row rows[] = {
        {"floor(100 / 47) = 2", 100, false, 0, 94, 2},
        {"fit width: exactly the box", 100, true, 0, 100, 2},
        {"bars lose pixels but keep one", 100, false, -5, 0, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Code39 c("png");
        c.SetShowText(false);
        c.SetFitWidth(r.fit);
        c.SetPxAdjustBlack(r.adjustBlack);
        ASSERT_TRUE(c.Draw("A", 0, 0, r.width, 20));
        const auto img = testsupport::DecodePng(c.GetImageMemory());
        const auto runs = DarkRuns(img, 10);
        ASSERT_FALSE(runs.empty());
        EXPECT_EQ(runs.front().first, 0);
        EXPECT_EQ(runs.front().second, r.narrowBar);
        if (r.expectedRight > 0) {
            // Fractional modules accumulate to just under the box edge.
            EXPECT_NEAR(runs.back().first + runs.back().second, std::min(r.expectedRight, r.width), r.fit ? 1 : 0);
        }
    }
    // A box narrower than the symbol at one pixel a module: refused, with the width it needs,
    // rather than drawn past the box.
    Code39 narrow("png");
    narrow.SetShowText(false);
    CapturedOutput out;
    EXPECT_FALSE(narrow.Draw("A", 0, 0, 30, 20));
    out.Finish();
    EXPECT_EQ(out.Err(), "[Code39] The symbol needs 47 pixels; the box is 30 wide\n");
}

TEST(Code39, SvgBarsMatchTheRasterImage)
{
    Code39 png("png");
    Code39 svg("svg");
    for (Code39* c : {&png, &svg}) {
        c->SetShowText(false);
        c->SetPxAdjustWhite(1);
        ASSERT_TRUE(c->Draw("LUMEO", 0, 0, 400, 40));
    }
    const auto runs = DarkRuns(testsupport::DecodePng(png.GetImageMemory()), 20);
    const std::string doc = svg.GetSvg();
    std::vector<std::pair<int, int>> rects;
    // The first rectangle is the background.
    for (size_t pos = doc.find("<rect", doc.find("<rect") + 1); pos != std::string::npos; pos = doc.find("<rect", pos + 1)) {
        const float x = std::stof(doc.substr(doc.find("x=\"", pos) + 3));
        const float w = std::stof(doc.substr(doc.find("width=\"", pos) + 7));
        rects.emplace_back(static_cast<int>(x), static_cast<int>(w));
    }
    EXPECT_EQ(rects, runs);
}

struct RoundTrip
{
    const char* name;
    const char* text;
    const char* expected;
    int width;
    int height;
    bool fit;
    SDL_Color fg;
    SDL_Color bg;
};

const RoundTrip kRoundTrips[] = {
    {"short", "A", "A", 200, 80, false, {0, 0, 0, 255}, {255, 255, 255, 255}},
    {"digits", "0123456789", "0123456789", 400, 100, false, {0, 0, 0, 255}, {255, 255, 255, 255}},
    {"full set", "ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%", "ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%", 900, 120, false,
     {0, 0, 0, 255}, {255, 255, 255, 255}},
    {"lower case", "lumeo-39", "LUMEO-39", 400, 100, false, {0, 0, 0, 255}, {255, 255, 255, 255}},
    {"fit width", "FIT123", "FIT123", 333, 90, true, {0, 0, 0, 255}, {255, 255, 255, 255}},
    {"module of one pixel", "NARROW", "NARROW", 130, 60, false, {0, 0, 0, 255}, {255, 255, 255, 255}},
    {"tall box", "TALL", "TALL", 300, 400, false, {0, 0, 0, 255}, {255, 255, 255, 255}},
    {"colours", "COLOUR", "COLOUR", 400, 100, false, {0, 0, 128, 255}, {255, 255, 200, 255}},
    {"no text", "NOTEXT", "NOTEXT", 300, 60, false, {0, 0, 0, 255}, {255, 255, 255, 255}},
};

void PrintTo(const RoundTrip& r, std::ostream* os)
{
    *os << r.name;
}

class Code39RoundTrip : public testing::TestWithParam<RoundTrip>
{
};

TEST_P(Code39RoundTrip, DecodesFromPngAndSvg)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    const RoundTrip& r = GetParam();
    for (const char* format : {"png", "svg"}) {
        SCOPED_TRACE(format);
        Code39 c(format);
        c.SetFitWidth(r.fit);
        c.SetShowText(std::string(r.name) != "no text");
        c.SetForegroundColor(r.fg.r, r.fg.g, r.fg.b, r.fg.a);
        c.SetBackgroundColor(r.bg.r, r.bg.g, r.bg.b, r.bg.a);
        ASSERT_TRUE(c.Draw(r.text, 0, 0, r.width, r.height));
        std::vector<std::uint8_t> png;
        if (std::string(format) == "svg") {
            ASSERT_TRUE(testsupport::IsWellFormedXml(c.GetSvg()));
            if (!testsupport::HaveSvgRasteriser()) {
                continue;
            }
            png = testsupport::RasteriseSvg(c.GetSvg());
        } else {
            png = c.GetImageMemory();
        }
        const testsupport::Decoded d = testsupport::DecodePngBytes(png, "Code39");
        ASSERT_TRUE(d.valid) << d.error;
        EXPECT_EQ(d.text, r.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Code39RoundTrip, testing::ValuesIn(kRoundTrips),
                         [](const testing::TestParamInfo<RoundTrip>& i) {
                             std::string n = i.param.name;
                             for (char& ch : n) {
                                 ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             }
                             return n;
                         });

} // namespace
