// SPDX-License-Identifier: MIT
// The retail symbols drawn in both styles: read back by an independent decoder, digits placed
// around the guards, failures reported with the class tag.
#include "barcode_lumeo.h"
#include "eanupc/Jan13.h"
#include "eanupc/UpcE.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <vector>

namespace {

using testsupport::CapturedOutput;

constexpr int kJan8 = 7;
constexpr int kJan13 = 8;
constexpr int kUpcA = 9;
constexpr int kUpcE = 10;

struct Options
{
    bool extended = true;
    bool showText = true;
    bool evenSpacing = true;
};

class Handle
{
public:
    Handle(int type, const Options& options) : m_h(barcode_create(type))
    {
        barcode_set_extended_guard(m_h, options.extended ? 1 : 0);
        barcode_set_show_text(m_h, options.showText ? 1 : 0);
        barcode_set_text_even_spacing(m_h, options.evenSpacing ? 1 : 0);
    }

    ~Handle() { barcode_destroy(m_h); }

    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    void* get() const { return m_h; }

private:
    void* m_h;
};

std::vector<std::uint8_t> DrawPng(int type, const std::string& text, int width, int height, const Options& options)
{
    Handle h(type, options);
    if (!barcode_draw_1d(h.get(), text.c_str(), width, height)) {
        return {};
    }
    int size = 0;
    const unsigned char* data = barcode_get_image_data(h.get(), &size);
    return data != nullptr ? std::vector<std::uint8_t>(data, data + size) : std::vector<std::uint8_t>();
}

std::string DrawSvg(int type, const std::string& text, int width, int height, const Options& options)
{
    Handle h(type, options);
    barcode_set_output_format(h.get(), "svg");
    if (!barcode_draw_1d(h.get(), text.c_str(), width, height)) {
        return {};
    }
    const std::string svg = barcode_get_svg(h.get());
    EXPECT_TRUE(testsupport::IsWellFormedXml(svg));
    return svg;
}

struct Rect
{
    float x, y, w, h;
};

struct Text
{
    float x, y;
    std::string anchor;
    std::string text;
};

// The bar rectangles of a document (the background rectangle, first, left out).
std::vector<Rect> Bars(const std::string& svg)
{
    static const std::regex rect(R"re(<rect x="([-0-9.]+)" y="([-0-9.]+)" width="([-0-9.]+)" height="([-0-9.]+)")re");
    std::vector<Rect> out;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), rect); it != std::sregex_iterator(); ++it) {
        out.push_back({std::stof((*it)[1]), std::stof((*it)[2]), std::stof((*it)[3]), std::stof((*it)[4])});
    }
    if (!out.empty()) {
        out.erase(out.begin());
    }
    return out;
}

std::vector<Text> Texts(const std::string& svg)
{
    static const std::regex text(
        R"re(<text x="([-0-9.]+)" y="([-0-9.]+)"[^>]*text-anchor="(\w+)"[^>]*>([^<]*)</text>)re");
    std::vector<Text> out;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), text); it != std::sregex_iterator(); ++it) {
        out.push_back({std::stof((*it)[1]), std::stof((*it)[2]), (*it)[3], (*it)[4]});
    }
    return out;
}

std::string Joined(const std::vector<Text>& texts)
{
    std::string s;
    for (const Text& t : texts) {
        s += t.text;
    }
    return s;
}

struct Symbol
{
    const char* name;
    int type;
    const char* text;
    const char* format;  // the decoder's format name
    const char* decoded; // what the decoder reads: every digit with the check digit
};

const Symbol kSymbols[] = {
    {"Jan13", kJan13, "490123456789", "EAN13", "4901234567894"},
    {"Jan8", kJan8, "4901234", "EAN8", "49012347"},
    {"UpcA", kUpcA, "03600029145", "UPCA", "036000291452"},
    {"UpcE", kUpcE, "425261", "UPCE", "04252614"},
};

struct Box
{
    int width;
    int height;
};

TEST(EanUpcDraw, RasterRoundTripBothStylesWithAndWithoutText)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "no decoder";
    }
    const Box boxes[] = {{300, 100}, {220, 60}, {480, 240}};
    for (const Symbol& s : kSymbols) {
        for (bool extended : {true, false}) {
            for (bool showText : {true, false}) {
                for (const Box& box : boxes) {
                    const Options options{extended, showText, true};
                    const auto png = DrawPng(s.type, s.text, box.width, box.height, options);
                    ASSERT_FALSE(png.empty()) << s.name;
                    const testsupport::Decoded d = testsupport::DecodePngBytes(png, s.format);
                    EXPECT_TRUE(d.valid) << s.name << " extended=" << extended << " text=" << showText << " "
                                         << box.width << "x" << box.height << ": " << d.error;
                    EXPECT_EQ(d.text, s.decoded) << s.name << " extended=" << extended << " text=" << showText;
                }
            }
        }
    }
}

TEST(EanUpcDraw, FullTextsAndOtherSamplesRoundTrip)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "no decoder";
    }
    const Symbol samples[] = {
        {"Jan13 13 digits", kJan13, "4901234567894", "EAN13", "4901234567894"},
        {"Jan13 ISBN", kJan13, "978030640615", "EAN13", "9780306406157"},
        {"Jan8 8 digits", kJan8, "96385074", "EAN8", "96385074"},
        {"UpcA 12 digits", kUpcA, "712345678904", "UPCA", "712345678904"},
        {"UpcE 7 digits", kUpcE, "0123456", "UPCE", "01234565"},
        {"UpcE 8 digits", kUpcE, "06543217", "UPCE", "06543217"},
        {"UpcE d6 = 3", kUpcE, "0123453", "UPCE", "01234531"},
    };
    for (const Symbol& s : samples) {
        const auto png = DrawPng(s.type, s.text, 320, 110, Options{});
        const testsupport::Decoded d = testsupport::DecodePngBytes(png, s.format);
        EXPECT_EQ(d.text, s.decoded) << s.name << ": " << d.error;
    }
}

TEST(EanUpcDraw, SvgRoundTripBothStyles)
{
    if (!testsupport::HaveDecoder() || !testsupport::HaveSvgRasteriser()) {
        GTEST_SKIP() << "no decoder or SVG rasteriser";
    }
    for (const Symbol& s : kSymbols) {
        for (bool extended : {true, false}) {
            const std::string svg = DrawSvg(s.type, s.text, 300, 100, Options{extended, true, true});
            ASSERT_FALSE(svg.empty()) << s.name;
            const testsupport::Decoded d = testsupport::DecodePngBytes(testsupport::RasteriseSvg(svg), s.format);
            EXPECT_EQ(d.text, s.decoded) << s.name << " extended=" << extended << ": " << d.error;
        }
    }
}

// Digits and guards of the extended style, read from the SVG coordinates.
struct ExtendedLayoutRow
{
    const char* name;
    int type;
    const char* text;
    const char* leading;               // "" when none
    std::vector<std::string> groups;   // digits between the guards, left to right
    const char* trailing;              // "" when none
    size_t guardBars;                  // bars as long as the guards
    std::vector<size_t> groupBoundary; // group k lies between long bars [2k] and [2k + 1]
};

TEST(EanUpcDraw, ExtendedStyleDigitsSitAroundTheGuards)
{
    const ExtendedLayoutRow rows[] = {
        // 13 digits: the leading digit left of the start guard, two groups of six.
        {"Jan13", kJan13, "490123456789", "4", {"901234", "567894"}, "", 6, {1, 2, 3, 4}},
        {"Jan8", kJan8, "4901234", "", {"4901", "2347"}, "", 6, {1, 2, 3, 4}},
        // The number-system and check digits' bars are as long as the guards.
        {"UpcA", kUpcA, "03600029145", "0", {"36000", "29145"}, "2", 10, {3, 4, 5, 6}},
        {"UpcE", kUpcE, "425261", "0", {"425261"}, "4", 5, {1, 2}},
    };
    for (const ExtendedLayoutRow& row : rows) {
        for (bool even : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (even ? " even spacing" : " centred groups"));
            const std::string svg = DrawSvg(row.type, row.text, 400, 150, Options{true, true, even});
            const std::vector<Rect> bars = Bars(svg);
            std::vector<Text> texts = Texts(svg);
            ASSERT_FALSE(bars.empty());
            ASSERT_FALSE(texts.empty());

            const float dataHeight =
                std::min_element(bars.begin(), bars.end(), [](const Rect& a, const Rect& b) { return a.h < b.h; })->h;
            std::vector<size_t> guards;
            for (size_t i = 0; i < bars.size(); ++i) {
                if (bars[i].h > dataHeight) {
                    guards.push_back(i);
                }
            }
            ASSERT_EQ(guards.size(), row.guardBars);
            const float firstBar = bars.front().x;
            const float lastBarEnd = bars.back().x + bars.back().w;

            size_t next = 0;
            if (*row.leading != '\0') {
                EXPECT_EQ(texts[next].text, row.leading);
                EXPECT_EQ(texts[next].anchor, "start");
                EXPECT_LT(texts[next].x, firstBar) << "leading digit left of the bars";
                ++next;
            }
            for (size_t g = 0; g < row.groups.size(); ++g) {
                ASSERT_LT(row.groupBoundary[2 * g + 1], guards.size());
                const float from = bars[guards[row.groupBoundary[2 * g]]].x;
                const float to = bars[guards[row.groupBoundary[2 * g + 1]]].x;
                std::string digits;
                for (size_t k = 0; k < (even ? row.groups[g].size() : 1); ++k, ++next) {
                    ASSERT_LT(next, texts.size());
                    EXPECT_GT(texts[next].x, from) << "group " << g;
                    EXPECT_LT(texts[next].x, to) << "group " << g;
                    EXPECT_EQ(texts[next].anchor, "middle");
                    digits += texts[next].text;
                }
                EXPECT_EQ(digits, row.groups[g]);
            }
            if (*row.trailing != '\0') {
                ASSERT_LT(next, texts.size());
                EXPECT_EQ(texts[next].text, row.trailing);
                EXPECT_GT(texts[next].x, lastBarEnd) << "trailing digit right of the bars";
                ++next;
            }
            EXPECT_EQ(next, texts.size());
            for (const Text& t : texts) {
                EXPECT_GT(t.y, dataHeight) << "digits under the data bars";
            }
        }
    }
}

// Exact positions of the extended style at 300 x 100, worked out by hand: text band T = 20,
// bar height 75, SVG digit size 16 (character estimate 9.6), text top 75 + gap 3.
// Jan13: margin 0.96 T = 19.2, module 2; UPC: margins 0.8 T = 16, module 2 (UPC-A) or 5
// (UPC-E); Jan8: no margin, module 4. Guards grow by 0.275 T (EAN) or 0.495 T (UPC).
struct PinnedLayoutRow
{
    const char* name;
    int type;
    const char* text;
    float firstBar;
    float guardHeight;
    int rasterFirstBar;
    int rasterGuardHeight;
    std::vector<float> evenX;    // every digit, left to right, with even spacing
    std::vector<float> centredX; // leading digit, groups, trailing digit without it
};

TEST(EanUpcDraw, ExtendedStylePinnedCoordinates)
{
    const PinnedLayoutRow rows[] = {
        // Groups from 25.2 to 109.2 and 119.2 to 203.2: step (84 - 19.2) / 5 = 12.96.
        {"Jan13", kJan13, "490123456789", 19.2f, 80.5f, 19, 80,
         {2.88f, 34.8f, 47.76f, 60.72f, 73.68f, 86.64f, 99.6f, 128.8f, 141.76f, 154.72f, 167.68f, 180.64f, 193.6f},
         {2.88f, 67.2f, 161.2f}},
        // Groups from 12 to 124 and 144 to 256: step (112 - 19.2) / 3.
        {"Jan8", kJan8, "4901234", 0.0f, 80.5f, 0, 80,
         {21.6f, 52.53f, 83.47f, 114.4f, 153.6f, 184.53f, 215.47f, 246.4f},
         {68.0f, 200.0f}},
        // Groups from 36 to 108 and 114 to 186: step (72 - 19.2) / 4 = 13.2; bars end at 206.
        {"UpcA", kUpcA, "03600029145", 16.0f, 84.9f, 16, 84,
         {2.88f, 45.6f, 58.8f, 72.0f, 85.2f, 98.4f, 123.6f, 136.8f, 150.0f, 163.2f, 176.4f, 212.72f},
         {2.88f, 72.0f, 150.0f, 212.72f}},
        // Group from 31 + 0.4 T = 39 to 241 - 0.4 T = 233: step (194 - 19.2) / 5; bars end at 271.
        {"UpcE", kUpcE, "425261", 16.0f, 84.9f, 16, 84,
         {2.88f, 48.6f, 83.56f, 118.52f, 153.48f, 188.44f, 223.4f, 277.72f},
         {2.88f, 136.0f, 277.72f}},
    };
    for (const PinnedLayoutRow& row : rows) {
        SCOPED_TRACE(row.name);
        for (bool even : {true, false}) {
            const std::string svg = DrawSvg(row.type, row.text, 300, 100, Options{true, true, even});
            const std::vector<Rect> bars = Bars(svg);
            ASSERT_FALSE(bars.empty());
            EXPECT_NEAR(bars.front().x, row.firstBar, 0.005f);
            EXPECT_NEAR(bars.front().h, row.guardHeight, 0.005f);
            EXPECT_NEAR(bars[4].h, 75.0f, 0.005f) << "a data bar";
            const std::vector<Text> texts = Texts(svg);
            const std::vector<float>& expected = even ? row.evenX : row.centredX;
            ASSERT_EQ(texts.size(), expected.size()) << "even=" << even;
            for (size_t i = 0; i < texts.size(); ++i) {
                EXPECT_NEAR(texts[i].x, expected[i], 0.005f) << "text " << i << " even=" << even;
                EXPECT_NEAR(texts[i].y, 78.0f + 0.72f * 16.0f, 0.005f); // the baseline under a top at 78
            }
            EXPECT_NE(svg.find("font-size=\"16\""), std::string::npos);
        }

        // Raster: the first bar starts on a whole pixel and the guard bars reach
        // 75 + trunc(T x 0.275) or 75 + trunc(T x 0.495) rows.
        const auto grey = testsupport::ToGrey(
            testsupport::DecodePng(DrawPng(row.type, row.text, 300, 100, Options{true, true, true})), 0);
        ASSERT_EQ(grey.width, 300);
        int first = -1;
        for (int x = 0; x < grey.width && first < 0; ++x) {
            if (grey.at(x, 0) < 128) {
                first = x;
            }
        }
        EXPECT_EQ(first, row.rasterFirstBar);
        ASSERT_GE(first, 0);
        int rowsDark = 0;
        while (rowsDark < grey.height && grey.at(first, rowsDark) < 128) {
            ++rowsDark;
        }
        EXPECT_EQ(rowsDark, row.rasterGuardHeight);
    }
}

// Even spacing in a box far too narrow for the digits: JAN-13 leaves its groups out, UPC-E
// still draws its six digits, on top of one another. A box narrower than the margins and bars
// is refused.
TEST(EanUpcDraw, CrowdedGroupsDisappearExceptUpcE)
{
    // Height 200: T = 40, font 40, bar height 150, guards 161 rows, module 1 pixel. JAN-13
    // needs its 38-pixel margin and 95 modules (133 pixels); UPC-E 32 + 51 + 32 (115 pixels).
    const auto inkBelowGuards = [](int type, const char* text, int width, int from, int to) {
        const auto grey =
            testsupport::ToGrey(testsupport::DecodePng(DrawPng(type, text, width, 200, Options{true, true, true})), 0);
        EXPECT_EQ(grey.height, 200);
        for (int y = 162; y < grey.height; ++y) {
            for (int x = from; x < to; ++x) {
                if (grey.at(x, y) < 128) {
                    return true;
                }
            }
        }
        return false;
    };
    // Jan13: first bar at trunc(38.4) = 38, left group from 41 to 83, right group from 88 on.
    EXPECT_FALSE(inkBelowGuards(kJan13, "490123456789", 133, 41, 133));
    // UpcE: first bar at 32, group from trunc(35 + 16) = 51 to trunc(77 - 16) = 61.
    EXPECT_TRUE(inkBelowGuards(kUpcE, "425261", 115, 41, 75));

    const struct
    {
        int type;
        const char* text;
        const char* reason;
    } narrow[] = {
        {kJan13, "490123456789", "[Jan13] The symbol needs 133 pixels; the box is 100 wide\n"},
        {kUpcE, "425261", "[UpcE] The text needs 115 pixels even at font size 6; the box is 100 wide\n"},
    };
    for (const auto& row : narrow) {
        testsupport::CapturedOutput captured;
        EXPECT_TRUE(DrawPng(row.type, row.text, 100, 200, Options{true, true, true}).empty()) << row.reason;
        captured.Finish();
        EXPECT_EQ(captured.Err(), row.reason);
    }
}

TEST(EanUpcDraw, ExtendedStyleWithoutTextHasNoMarginAndLongerGuards)
{
    const std::string svg = DrawSvg(kJan13, "490123456789", 300, 100, Options{true, false, true});
    const std::vector<Rect> bars = Bars(svg);
    ASSERT_EQ(bars.size(), 30u);
    EXPECT_FLOAT_EQ(bars.front().x, 0.0f);
    EXPECT_FLOAT_EQ(bars.front().h, 105.0f); // bar height 100 x 1.05
    EXPECT_FLOAT_EQ(bars[2].h, 100.0f);
    EXPECT_TRUE(Texts(svg).empty());
}

TEST(EanUpcDraw, UniformStyleHasOneBarHeightAndTheWholeNumber)
{
    for (const Symbol& s : kSymbols) {
        const std::string svg = DrawSvg(s.type, s.text, 300, 100, Options{false, true, true});
        const std::vector<Rect> bars = Bars(svg);
        ASSERT_FALSE(bars.empty()) << s.name;
        EXPECT_EQ(bars.front().x, 0.0f) << s.name;
        for (const Rect& r : bars) {
            EXPECT_FLOAT_EQ(r.h, 75.0f) << s.name; // 100 - gap 5 - font 20
        }
        EXPECT_EQ(Joined(Texts(svg)), s.decoded) << s.name;

        const std::string centred = DrawSvg(s.type, s.text, 300, 100, Options{false, true, false});
        const std::vector<Text> one = Texts(centred);
        ASSERT_EQ(one.size(), 1u) << s.name;
        EXPECT_EQ(one[0].text, s.decoded);
    }
}

// The raster image: the leading digit left of the first bar, the UPC trailing digit right of
// the last, nothing outside the bars when the text is off.
TEST(EanUpcDraw, RasterDigitsOutsideTheBars)
{
    const struct
    {
        const char* name;
        int type;
        const char* text;
        bool leading;
        bool trailing;
    } rows[] = {
        {"Jan13", kJan13, "490123456789", true, false},
        {"Jan8", kJan8, "4901234", false, false},
        {"UpcA", kUpcA, "03600029145", true, true},
        {"UpcE", kUpcE, "425261", true, true},
    };

    for (const auto& row : rows) {
        for (bool showText : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (showText ? " with text" : " without text"));
            const auto grey = testsupport::ToGrey(
                testsupport::DecodePng(DrawPng(row.type, row.text, 400, 150, Options{true, showText, true})), 0);
            ASSERT_EQ(grey.width, 400);
            int first = -1;
            int last = -1;
            for (int x = 0; x < grey.width; ++x) {
                if (grey.at(x, 1) < 128) {
                    first = first < 0 ? x : first;
                    last = x;
                }
            }
            ASSERT_GE(first, 0);
            const auto darkIn = [&](int x0, int x1) {
                for (int y = 0; y < grey.height; ++y) {
                    for (int x = std::max(x0, 0); x < std::min(x1, grey.width); ++x) {
                        if (grey.at(x, y) < 128) {
                            return true;
                        }
                    }
                }
                return false;
            };
            EXPECT_EQ(darkIn(0, first), showText && row.leading) << "left of the bars";
            EXPECT_EQ(darkIn(last + 1, grey.width), showText && row.trailing) << "right of the bars";
        }
    }
}

TEST(EanUpcDraw, FailuresArePrintedWithTheClassTag)
{
    const struct
    {
        int type;
        const char* text;
        const char* line;
    } rows[] = {
        {kUpcE, "04252610", "[UpcE] Invalid check digit\n"},
        {kUpcE, "14252614", "[UpcE] Invalid check digit\n"},
        {kUpcE, "4252", "[UpcE] Invalid length (must be 6, 7 or 8 digits).\n"},
        {kUpcE, "42526x", "[UpcE] Invalid character (non-digit found).\n"},
        {kUpcE, "1425261", "[UpcE] EncodeUPCE: code must be 8 digits.\n"},
        {kJan13, "4901234567890", "[Jan13] Invalid check digit\n"},
        {kJan13, "", "[Jan13] Empty string\n"},
        {kJan8, "490123", "[Jan8] Jan8 barcode requires 7 or 8 digits\n"},
        {kUpcA, "0360002914X", "[UpcA] UPC-A barcode requires numeric digits only\n"},
    };

    for (bool extended : {true, false}) {
        for (bool svg : {false, true}) {
            for (const auto& row : rows) {
                Handle h(row.type, Options{extended, true, true});
                if (svg) {
                    barcode_set_output_format(h.get(), "svg");
                }
                CapturedOutput out;
                EXPECT_FALSE(barcode_draw_1d(h.get(), row.text, 300, 100)) << row.text;
                out.Finish();
                EXPECT_EQ(out.Err(), row.line) << "extended=" << extended << " svg=" << svg;
            }
        }
    }
}

TEST(EanUpcDraw, ExtendedGuardSetterAppliesToTheRetailTypesOnly)
{
    Jan13 direct("svg");
    EXPECT_TRUE(direct.GetExtendedGuard());

    Handle jan13(kJan13, Options{});
    barcode_set_output_format(jan13.get(), "svg");
    barcode_set_extended_guard(jan13.get(), 0);
    ASSERT_TRUE(barcode_draw_1d(jan13.get(), "490123456789", 300, 100));
    const std::vector<Rect> bars = Bars(barcode_get_svg(jan13.get()));
    ASSERT_FALSE(bars.empty());
    EXPECT_TRUE(std::all_of(bars.begin(), bars.end(), [&](const Rect& r) { return r.h == bars[0].h; }));

    void* code39 = barcode_create(0);
    barcode_set_extended_guard(code39, 0); // another type: ignored
    EXPECT_TRUE(barcode_draw_1d(code39, "ABC", 200, 80));
    barcode_destroy(code39);
    barcode_set_extended_guard(nullptr, 1);
}

TEST(EanUpcDraw, HostileBoxesAndOptionsFailOrDrawWithoutCrashing)
{
    const Box boxes[] = {{1, 1}, {10, 300}, {2000, 30}, {0, 100}, {-5, -5}};
    for (const Symbol& s : kSymbols) {
        for (bool extended : {true, false}) {
            for (const Box& box : boxes) {
                CapturedOutput quiet;
                DrawPng(s.type, s.text, box.width, box.height, Options{extended, true, true});
                DrawSvg(s.type, s.text, box.width, box.height, Options{extended, true, false});
            }
            Handle h(s.type, Options{extended, true, true});
            barcode_set_text_font_scale(h.get(), 1e30);
            CapturedOutput quiet;
            EXPECT_FALSE(barcode_draw_1d(h.get(), s.text, 300, 100));
            barcode_set_text_font_scale(h.get(), 1.0);
            barcode_set_fit_width(h.get(), 1);
            barcode_set_px_adjust_black(h.get(), -1000);
            EXPECT_TRUE(barcode_draw_1d(h.get(), s.text, 300, 100));
        }
    }
}

} // namespace
