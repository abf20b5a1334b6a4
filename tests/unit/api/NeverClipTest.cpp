// SPDX-License-Identifier: MIT
// Awkward geometries through the C interface, for every type: a box exactly the symbol's width at
// one pixel a module, one pixel short of it, a black widening of one pixel in a box that fits the
// widened symbol exactly, and fit width at one to two pixels a module. Every draw either returns
// true with a symbol that reads back exactly (zxing-cpp, and zbar where it reads the symbology;
// the codes no installable decoder reads are read back module by module) or returns false with
// the width it needs: none returns a cut symbol. Text wider than the box shrinks into it.
#include "barcode_lumeo.h"
#include "databar/DataBarLimitedEncoder.h"
#include "linear/TwoOfFiveEncoder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace {

using testsupport::CapturedOutput;
using testsupport::GreyImage;

enum class Call
{
    OneD,
    Rect,
    Stacked,
    Convenience
};

struct Kind
{
    const char* name;
    int type;
    Call call;
    const char* text;
    const char* zxingFormat; // "" when zxing-cpp does not read it
    const char* zxingText;
    const char* zbarText;            // nullptr when zbar does not read it
    std::vector<int> (*modules)();   // bar-first element widths, for codes read module by module
    void (*options)(void*);
    int height;
};

std::vector<int> Matrix2of5()
{
    return linear::EncodeTwoOfFive("20240415", linear::kMatrix2of5);
}

std::vector<int> Nec2of5()
{
    return linear::EncodeTwoOfFive("20240415", linear::kNEC2of5);
}

std::vector<int> Limited()
{
    const std::vector<int> widths = databar::EncodeDataBarLimited("0123456789012").widths;
    return std::vector<int>(widths.begin() + 1, widths.end()); // the row starts with a space
}

void Stacked14(void* h)
{
    barcode_set_symbol_type_14(h, "STACKED");
}

void StackedExpanded(void* h)
{
    barcode_set_no_of_columns(h, 2);
}

constexpr char kGs1[] = "{FNC1}11940605{FNC1}4143445446397487";
constexpr char kGs1Read[] = "11940605\x1d" "4143445446397487";
constexpr char kPayment[] = "9191234500012345678901234567810261231000150";
constexpr char kPaymentRead[] = "91912345000123456789012345678102612310001505";
constexpr char kUrl[] = "https://example.jp/track?id=00815";
constexpr char kDm[] = "Data Matrix payload 0123456789";
constexpr char kPdf[] = "PDF417 fit width test 0123456789";

const std::vector<Kind>& Kinds()
{
    static const std::vector<Kind> kinds = {
        {"Code 39", 0, Call::OneD, "CODE39 FIT", "Code39", "CODE39 FIT", "CODE39 FIT", nullptr, nullptr, 60},
        {"Code 93", 1, Call::OneD, "CODE93 FIT", "Code93", "CODE93 FIT", "CODE93 FIT", nullptr, nullptr, 60},
        {"Code 128", 2, Call::OneD, "Code128 fit", "Code128", "Code128 fit", "Code128 fit", nullptr, nullptr, 60},
        {"GS1-128", 3, Call::OneD, kGs1, "Code128", kGs1Read, kGs1Read, nullptr, nullptr, 60},
        {"NW-7", 4, Call::OneD, "A0123-4567B", "Codabar", "0123-4567", "A0123-4567B", nullptr, nullptr, 60},
        {"Matrix 2 of 5", 5, Call::OneD, "20240415", "", "", nullptr, Matrix2of5, nullptr, 60},
        {"NEC 2 of 5", 6, Call::OneD, "20240415", "", "", nullptr, Nec2of5, nullptr, 60},
        {"JAN-8", 7, Call::OneD, "4901234", "EAN8", "49012347", "49012347", nullptr, nullptr, 60},
        {"JAN-13", 8, Call::OneD, "490123456789", "EAN13", "4901234567894", "4901234567894", nullptr, nullptr, 60},
        {"UPC-A", 9, Call::OneD, "03600029145", "UPCA", "036000291452", "0036000291452", nullptr, nullptr, 60},
        {"UPC-E", 10, Call::OneD, "425261", "UPCE", "04252614", "0042100005264", nullptr, nullptr, 60},
        {"ITF", 11, Call::OneD, "14901234567891", "ITF", "14901234567891", "14901234567891", nullptr, nullptr, 60},
        {"DataBar", 12, Call::OneD, "0123456789012", "DataBar", "01234567890128", "0101234567890128", nullptr,
         nullptr, 60},
        {"DataBar stacked", 12, Call::OneD, "0123456789012", "", "", "0101234567890128", nullptr, Stacked14, 120},
        {"DataBar Limited", 13, Call::OneD, "0123456789012", "", "", nullptr, Limited, nullptr, 60},
        {"DataBar Expanded", 14, Call::OneD, "0195012345678903{AI}10ABC123", "DataBarExpanded",
         "(01)95012345678903(10)ABC123", "019501234567890310ABC123", nullptr, nullptr, 60},
        {"DataBar Expanded stacked", 14, Call::Stacked, "0195012345678903{AI}10ABC123", "DataBarExpanded",
         "(01)95012345678903(10)ABC123", nullptr, nullptr, StackedExpanded, 200},
        {"payment", 3, Call::Convenience, kPayment, "Code128", kPaymentRead, kPaymentRead, nullptr, nullptr, 160},
        {"QR Code", 16, Call::Rect, kUrl, "QRCode", kUrl, kUrl, nullptr, nullptr, 0},
        {"Data Matrix", 17, Call::Rect, kDm, "DataMatrix", kDm, nullptr, nullptr, nullptr, 0},
        {"PDF417", 18, Call::Rect, kPdf, "PDF417", kPdf, nullptr, nullptr, nullptr, 170},
    };
    return kinds;
}

struct Result
{
    bool drawn = false;
    std::string err;
    std::vector<std::uint8_t> png;
    std::string svg;
};

// Draws the kind into a box `width` wide (QR Code and Data Matrix: square) without text.
Result Draw(const Kind& k, int width, bool fit, int black, const char* format = "png")
{
    testsupport::Handle h(k.type);
    barcode_set_output_format(h.h, format);
    barcode_set_show_text(h.h, 0);
    barcode_set_fit_width(h.h, fit ? 1 : 0);
    barcode_set_px_adjust_black(h.h, black);
    if (k.options != nullptr) {
        k.options(h.h);
    }
    const int height = k.height > 0 ? k.height : width;
    Result r;
    CapturedOutput captured;
    switch (k.call) {
    case Call::OneD: r.drawn = barcode_draw_1d(h.h, k.text, width, height); break;
    case Call::Rect: r.drawn = barcode_draw_2d_rect(h.h, k.text, width, height); break;
    case Call::Stacked: r.drawn = barcode_draw_stacked(h.h, k.text, width, height); break;
    case Call::Convenience: r.drawn = barcode_draw_convenience(h.h, k.text, width, height); break;
    }
    captured.Finish();
    r.err = captured.Err();
    if (r.drawn && format[0] == 's') {
        r.svg = barcode_get_svg(h.h);
    } else if (r.drawn) {
        r.png = testsupport::ImageBytes(h.h);
    }
    return r;
}

// The width in the reason of a draw that did not fit: "... needs N pixels; the box is W wide".
int NeededWidth(const std::string& err)
{
    static const std::regex re("The symbol needs ([0-9]+) pixels; the box is [0-9]+ wide");
    std::smatch m;
    return std::regex_search(err, m, re) ? std::stoi(m[1]) : -1;
}

std::string Reason(const Kind& /*k*/, int needed, int width)
{
    return "The symbol needs " + std::to_string(needed) + " pixels; the box is " + std::to_string(width) + " wide";
}

// The dark and light runs of row y from the first dark pixel to the last.
std::vector<int> Runs(const GreyImage& g, int y)
{
    std::vector<int> runs;
    int x = 0;
    while (x < g.width && g.at(x, y) >= 128) {
        ++x;
    }
    int last = g.width - 1;
    while (last >= x && g.at(last, y) >= 128) {
        --last;
    }
    while (x <= last) {
        const bool dark = g.at(x, y) < 128;
        int n = 0;
        while (x <= last && (g.at(x, y) < 128) == dark) {
            ++n, ++x;
        }
        runs.push_back(n);
    }
    return runs;
}

// Columns of the first and last dark pixels of the image, or {-1, -1}.
std::pair<int, int> DarkColumns(const GreyImage& g, int fromRow = 0, int toRow = -1)
{
    int first = -1;
    int last = -1;
    for (int y = fromRow; y < (toRow < 0 ? g.height : toRow); ++y) {
        for (int x = 0; x < g.width; ++x) {
            if (g.at(x, y) < 128) {
                first = first < 0 ? x : std::min(first, x);
                last = std::max(last, x);
            }
        }
    }
    return {first, last};
}

// The symbol reads back exactly: through each decoder that reads the kind, or module by module.
void ExpectReadsBack(const Kind& k, const Result& r, int module, int black, const std::string& where)
{
    ASSERT_FALSE(r.png.empty()) << where;
    const testsupport::RgbaImage image = testsupport::DecodePng(r.png);
    if (k.zxingFormat[0] != '\0' && testsupport::HaveDecoder()) {
        EXPECT_EQ(testsupport::Decode(testsupport::ToGrey(image, 40), k.zxingFormat).text, k.zxingText) << where;
    }
    if (k.zbarText != nullptr && testsupport::HaveZbar()) {
        // zbar finds no symbol of one-pixel modules: it reads the same pixels enlarged.
        EXPECT_EQ(testsupport::ZbarRead(testsupport::ToGrey(image, 40), module < 2 ? 2 : 1), k.zbarText) << where;
    }
    if (k.modules != nullptr) {
        // A trailing space is not drawn.
        std::vector<int> widths = k.modules();
        if (widths.size() % 2 == 0) {
            widths.pop_back();
        }
        std::vector<int> expected;
        for (size_t i = 0; i < widths.size(); ++i) {
            expected.push_back(widths[i] * module + (i % 2 == 0 ? black : 0));
        }
        EXPECT_EQ(Runs(testsupport::ToGrey(image, 0), 1), expected) << where;
    }
}

TEST(NeverClip, AwkwardBoxesReadBackOrFailWithTheWidthTheyNeed)
{
    for (const Kind& k : Kinds()) {
        SCOPED_TRACE(k.name);
        // The width the symbol needs at one pixel a module, as the refusal of a one-pixel box says.
        const Result tiny = Draw(k, 1, false, 0);
        ASSERT_FALSE(tiny.drawn);
        const int n = NeededWidth(tiny.err);
        ASSERT_GT(n, 20) << tiny.err;
        EXPECT_NE(tiny.err.find(Reason(k, n, 1)), std::string::npos) << tiny.err;

        // Box exactly the symbol, and one pixel short.
        ExpectReadsBack(k, Draw(k, n, false, 0), 1, 0, "exact box " + std::to_string(n));
        const Result shortBox = Draw(k, n - 1, false, 0);
        EXPECT_FALSE(shortBox.drawn);
        EXPECT_NE(shortBox.err.find(Reason(k, n, n - 1)), std::string::npos) << shortBox.err;

        // Bars (dark modules) one pixel wider at three pixels a module: the widened symbol needs
        // a wider box; in exactly that box it reads, one pixel less is refused. (PDF417 leaves the
        // adjustment out.) A linear box gives three pixels a module from three times its modules,
        // which may end in a few of trailing space that n leaves out.
        const int black = k.type == 18 ? 0 : 1;
        const int start = k.call == Call::Rect ? 3 * n : 3 * (n + 4);
        const Result three = Draw(k, start, false, black);
        int widened = start;
        if (!three.drawn) {
            widened = NeededWidth(three.err);
            ASSERT_GT(widened, start) << three.err;
        }
        ExpectReadsBack(k, Draw(k, widened, false, black), 3, black, "widened in " + std::to_string(widened));
        if (widened > start) {
            const Result tight = Draw(k, widened - 1, false, black);
            EXPECT_FALSE(tight.drawn);
            EXPECT_NE(tight.err.find(Reason(k, widened, widened - 1)), std::string::npos) << tight.err;
        }

        // Fit width below two pixels a module: whole one-pixel modules, centred in the box.
        for (double share : {1.0, 1.25, 1.5, 1.75, 1.95}) {
            const int width = static_cast<int>(std::floor(share * n));
            const std::string where = "fit width " + std::to_string(width);
            const Result fit = Draw(k, width, true, 0);
            ExpectReadsBack(k, fit, 1, 0, where);
            if (k.type != 17 && !fit.png.empty()) {
                // Data Matrix images have the symbol's own size; the others keep the box and
                // centre the symbol (a light edge module may sit on either side).
                const GreyImage g = testsupport::ToGrey(testsupport::DecodePng(fit.png), 0);
                ASSERT_EQ(g.width, width) << where;
                const auto dark = DarkColumns(g);
                EXPECT_LE(std::abs(dark.first - (g.width - 1 - dark.second)), 2) << where;
            }
            // The SVG keeps the exact share: its modules span the box (up to a trailing space of
            // a few modules), where whole pixels would leave up to half of it.
            const Result svg = Draw(k, width, true, 0, "svg");
            ASSERT_TRUE(svg.drawn) << where;
            float right = 0.0f;
            const std::regex rect("<rect x=\"([0-9.]+)\" y=\"[0-9.]+\" width=\"([0-9.]+)\"");
            for (auto it = std::sregex_iterator(svg.svg.begin(), svg.svg.end(), rect); it != std::sregex_iterator();
                 ++it) {
                if (it->position() > 0 && std::stof((*it)[1]) > 0.0f) {
                    right = std::max(right, std::stof((*it)[1]) + std::stof((*it)[2]));
                }
            }
            // (PDF417 rectangles reach half a module further, to hide seams between neighbours.)
            EXPECT_LE(right, static_cast<float>(width) + (k.type == 18 ? 0.51f : 0.01f)) << where;
            EXPECT_GE(right, static_cast<float>(width) * 0.96f) << where;
        }
        // Below one pixel a module not even whole pixels fit: refused with the width needed.
        const int under = static_cast<int>(std::floor(0.9 * n));
        const Result below = Draw(k, under, true, 0);
        EXPECT_FALSE(below.drawn);
        EXPECT_NE(below.err.find(Reason(k, n, under)), std::string::npos) << below.err;
    }
}

// The call of the report: GS1-128 draws with fit width by default, here at 1.43 pixels a module.
TEST(NeverClip, Gs1128FitWidthByDefaultReads)
{
    for (const bool text : {true, false}) {
        testsupport::Handle h(3);
        barcode_set_show_text(h.h, text ? 1 : 0);
        ASSERT_TRUE(barcode_draw_1d(h.h, kGs1, 270, 41));
        const testsupport::RgbaImage image = testsupport::DecodePng(testsupport::ImageBytes(h.h));
        if (testsupport::HaveDecoder()) {
            EXPECT_EQ(testsupport::Decode(testsupport::ToGrey(image, 40), "Code128").text, kGs1Read);
        }
        if (testsupport::HaveZbar()) {
            EXPECT_EQ(testsupport::ZbarRead(testsupport::ToGrey(image, 40), 2), kGs1Read);
        }
    }
}

// Japan Post: the canvas follows the height, so only a widening can make the bars leave it or
// run into each other.
TEST(NeverClip, JapanPostBarsStayApartAndInside)
{
    const struct
    {
        int black;
        const char* reason; // "" when drawn
    } rows[] = {
        {0, ""},
        {4, ""},
        {5, "[YubinCustomer] Bars 10 pixels wide at a pitch of 10 pixels touch (height 30, black pixel adjustment 5)\n"},
    };
    for (const auto& row : rows) {
        for (const char* format : {"png", "svg"}) {
            testsupport::Handle h(15);
            barcode_set_output_format(h.h, format);
            barcode_set_px_adjust_black(h.h, row.black);
            CapturedOutput captured;
            const bool drawn = barcode_draw_yubin(h.h, "1000001 1-2-3", 30);
            captured.Finish();
            EXPECT_EQ(drawn, row.reason[0] == '\0') << row.black;
            EXPECT_EQ(captured.Err(), row.reason);
            if (drawn && format[0] == 'p') {
                const GreyImage g = testsupport::ToGrey(testsupport::DecodePng(testsupport::ImageBytes(h.h)), 0);
                const std::vector<int> runs = Runs(g, 15); // every bar crosses the middle row
                EXPECT_EQ((runs.size() + 1) / 2, 67u) << row.black;
                EXPECT_LT(DarkColumns(g).second, g.width - 1) << row.black;
            }
        }
    }
}

// Too low a box is refused like too narrow a one, with the height needed.
TEST(NeverClip, TooLowBoxesAreRefusedWithTheHeightTheyNeed)
{
    const struct
    {
        const char* name;
        std::function<bool(void*)> draw;
        int type;
        void (*options)(void*);
        const char* reason;
    } rows[] = {
        {"QR Code, one pixel a module", [](void* h) { return barcode_draw_2d_rect(h, "HELLO", 100, 10); }, 16, nullptr,
         "[QR] The symbol needs 21 pixels; the box is 10 high\n"},
        {"PDF417 rows of a pixel", [](void* h) { return barcode_draw_2d_rect(h, "PDF417 test", 400, 5); }, 18,
         nullptr, "[PDF417] The symbol needs 16 pixels; the box is 5 high\n"},
        {"DataBar stacked omnidirectional, separators of ten pixels",
         [](void* h) { return barcode_draw_1d(h, "0123456789012", 500, 30); }, 12,
         [](void* h) { barcode_set_symbol_type_14(h, "STACKED_OMNIDIRECTIONAL"); },
         "[GS1 DataBar] The symbol needs 32 pixels; the box is 30 high\n"},
        {"payment code, bars of at least ten pixels", [](void* h) { return barcode_draw_convenience(h, kPayment, 600, 8); },
         3, nullptr, "[GS1-128 Convenience] The symbol needs 10 pixels; the box is 8 high\n"},
    };
    for (const auto& row : rows) {
        for (const char* format : {"png", "svg"}) {
            testsupport::Handle h(row.type);
            barcode_set_output_format(h.h, format);
            if (row.options != nullptr) {
                row.options(h.h);
            }
            CapturedOutput captured;
            EXPECT_FALSE(row.draw(h.h)) << row.name << " " << format;
            captured.Finish();
            EXPECT_EQ(captured.Err(), row.reason) << row.name << " " << format;
        }
    }
}

// 2D modules widened by a whole module cover the light ones; narrowed by one they vanish.
TEST(NeverClip, AdjustmentsThatDestroyModulesAreRefused)
{
    const struct
    {
        int type;
        int box;
        int black;
        const char* reason;
    } rows[] = {
        {16, 29, 1, "[QR] A black pixel adjustment of 1 covers the light modules (1 pixel a module)\n"},
        {16, 87, -3, "[QR] A black pixel adjustment of -3 leaves the dark modules without a pixel (3 pixels a module)\n"},
        {17, 44, 2, "[DataMatrix] A black pixel adjustment of 2 covers the light modules (2 pixels a module)\n"},
    };
    for (const auto& row : rows) {
        testsupport::Handle h(row.type);
        barcode_set_px_adjust_black(h.h, row.black);
        CapturedOutput captured;
        EXPECT_FALSE(barcode_draw_2d(h.h, row.type == 16 ? kUrl : kDm, row.box + std::max(row.black, 0)));
        captured.Finish();
        EXPECT_EQ(captured.Err(), row.reason);
    }
}

// Text wider than the box at the size the box suggests: drawn smaller, never cut. The tool's
// default box is 400 x 150; texts of 17 to 24 characters used to run off both sides.
TEST(NeverClip, WideTextShrinksIntoTheBox)
{
    const std::string base = "PARCEL-2024-00815ABCDEFG";
    for (size_t length = 17; length <= base.size(); ++length) {
        const std::string text = base.substr(0, length);
        for (const bool even : {true, false}) {
            const std::string where = text + (even ? " even" : " centred");
            testsupport::Handle h(2);
            barcode_set_text_even_spacing(h.h, even ? 1 : 0);
            ASSERT_TRUE(barcode_draw_1d(h.h, text.c_str(), 400, 150)) << where;
            const GreyImage g = testsupport::ToGrey(testsupport::DecodePng(testsupport::ImageBytes(h.h)), 0);
            // The text lies below the bars: rows after the first bar's end.
            const int firstBar = DarkColumns(g, 0, 1).first;
            int barEnd = 0;
            while (barEnd < g.height && g.at(firstBar, barEnd) < 128) {
                ++barEnd;
            }
            const auto ink = DarkColumns(g, barEnd + 1);
            ASSERT_GE(ink.first, 0) << where << ": no text";
            EXPECT_GT(ink.first, 0) << where;
            EXPECT_LT(ink.second, g.width - 1) << where;
            EXPECT_GT(ink.second - ink.first, 150) << where << ": the text is still a line of characters";
            if (testsupport::HaveDecoder()) {
                EXPECT_EQ(testsupport::Decode(testsupport::ToGrey(testsupport::DecodePng(testsupport::ImageBytes(h.h)), 40),
                                              "Code128")
                              .text,
                          text)
                    << where;
            }
            if (testsupport::HaveZbar()) {
                EXPECT_EQ(testsupport::ZbarRead(testsupport::ToGrey(testsupport::DecodePng(testsupport::ImageBytes(h.h)), 40)),
                          text)
                    << where;
            }

            // The SVG text takes a smaller size than the 30 points the box suggests and stays
            // inside the box, as rsvg-convert draws it.
            testsupport::Handle s(2);
            barcode_set_output_format(s.h, "svg");
            barcode_set_text_even_spacing(s.h, even ? 1 : 0);
            ASSERT_TRUE(barcode_draw_1d(s.h, text.c_str(), 400, 150)) << where;
            const std::string svg = barcode_get_svg(s.h);
            std::smatch size;
            ASSERT_TRUE(std::regex_search(svg, size, std::regex("font-size=\"([0-9]+)\""))) << where;
            EXPECT_LT(std::stoi(size[1]), 30) << where;
            EXPECT_GE(std::stoi(size[1]), 6) << where;
            if (testsupport::HaveSvgRasteriser()) {
                const GreyImage r = testsupport::ToGrey(testsupport::DecodePng(testsupport::RasteriseSvg(svg)), 0);
                const auto svgInk = DarkColumns(r, barEnd + 1);
                ASSERT_GE(svgInk.first, 0) << where << ": no SVG text";
                EXPECT_GT(svgInk.first, 0) << where;
                EXPECT_LT(svgInk.second, r.width - 1) << where;
            }
        }
    }
}

// Text that fits no legible size is refused with the reason, not drawn cut.
TEST(NeverClip, TextThatFitsNoSizeIsRefused)
{
    for (const char* format : {"png", "svg"}) {
        testsupport::Handle h(2);
        barcode_set_output_format(h.h, format);
        CapturedOutput captured;
        // 40 characters in set B at one pixel a module (475 pixels of bars): 11 pixels each.
        const std::string text = "Lowercase text of forty characters here!";
        EXPECT_TRUE(barcode_draw_1d(h.h, text.c_str(), 480, 40)) << format;
        barcode_set_text_font_scale(h.h, 1.0);
        EXPECT_FALSE(barcode_draw_1d(h.h, text.c_str(), 480, 4)) << format;
        captured.Finish();
        EXPECT_NE(captured.Err().find("[Code128] The text needs "), std::string::npos) << captured.Err();
        EXPECT_NE(captured.Err().find(" pixels even at font size 6; the box is 4 high"), std::string::npos)
            << captured.Err();
    }
}

} // namespace
