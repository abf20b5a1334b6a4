// SPDX-License-Identifier: MIT
// PDF417 symbols drawn through the C interface and read back with zxing-cpp, from PNG and from
// SVG; failures through the C interface; separate handles on separate threads.
#include "barcode_lumeo.h"
#include "pdf417/PDF417.h"
#include "pdf417/Pdf417Encoder.h"
#include "support/TestSupport.h"

#ifdef BARCODE_HAVE_ZXING
#include <ZXing/ReadBarcode.h>
#endif

#include <algorithm>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::Decoded;
using testsupport::Handle;
using Bytes = std::vector<std::uint8_t>;

Bytes B(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

std::string Digits(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += static_cast<char>('0' + (i * 7 + 3) % 10);
    }
    return s;
}

std::string HighBytes(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += static_cast<char>(0x80 + (i * 37) % 128);
    }
    return s;
}

// 東京都千代田区丸の内１丁目 (Marunouchi 1-chome, Chiyoda, Tokyo).
const std::string kJapaneseUtf8 = "\xE6\x9D\xB1\xE4\xBA\xAC\xE9\x83\xBD\xE5\x8D\x83\xE4\xBB\xA3\xE7\x94\xB0\xE5\x8C\xBA"
                                  "\xE4\xB8\xB8\xE3\x81\xAE\xE5\x86\x85\xEF\xBC\x91\xE4\xB8\x81\xE7\x9B\xAE";
const Bytes kJapaneseSjis = {0x93, 0x8C, 0x8B, 0x9E, 0x93, 0x73, 0x90, 0xE7, 0x91, 0xE3, 0x93, 0x63, 0x8B,
                             0xE6, 0x8A, 0xDB, 0x82, 0xCC, 0x93, 0xE0, 0x82, 0x50, 0x92, 0x9A, 0x96, 0xDA};

struct Case
{
    const char* what;
    std::string text;
    Bytes expected; // the bytes in the symbol; the text itself when empty
    double aspectRatio = 0.5;
    int yHeight = 3;
    const char* encoding = "utf-8";
};

std::vector<Case> Cases()
{
    return {
        {"upper", "HELLO WORLD", {}},
        {"lower, mixed, shifts and latches", "Invoice No. 42: Total=$1,234.50 (incl. tax) #7 AbCDE aBc", {}, 2.0, 4},
        {"punctuation latch and shift", "[x]{y}<z>@\"quote\" ';' `~!?|_\\ A;<>B a;b", {}, 0.2, 2},
        {"controls", "Line 1\r\nLine 2\tTabbed\n", {}, 1.0, 3},
        {"twelve digits stay text", "123456789012", {}},
        {"thirteen digits", "1234567890123", {}, 0.5, 1},
        {"44 digits", Digits(44), {}, 5.0, 3},
        {"45 digits after text", "No " + Digits(45), {}},
        {"300 digits", Digits(300), {}, 0.1, 5},
        {"6 high bytes", HighBytes(6), {}},
        {"7 high bytes", HighBytes(7), {}, 3.0, 2},
        {"120 high bytes", HighBytes(120), {}},
        {"125 high bytes", HighBytes(125), {}, 0.05, 4},
        {"lone byte in text",
         "AB\xA9"
         "CD and more",
         {}},
        {"lone byte after an odd count",
         "ABC\xA9"
         "DEF ghi",
         {}},
        {"lone byte in punctuation",
         ";<>\xA9"
         ";<>xyz",
         {}},
        {"mixed",
         "Lot A7-" + Digits(60) + " \xC3\xA9\xE2\x82\xAC\x01\xFE end. Next: " + Digits(13) + " done",
         {},
         1.5,
         3},
        {"Japanese UTF-8", kJapaneseUtf8, {}},
        {"Japanese Shift-JIS", kJapaneseUtf8, kJapaneseSjis, 0.5, 3, "shift-jis"},
        {"largest text", std::string(1850, 'Q'), {}, 1.0, 2},
        {"largest digits", Digits(2710), {}, 1.0, 2},
        {"largest bytes", HighBytes(1108), {}, 1.0, 2},
    };
}

// The drawn symbol's size, for a pitch of three pixels.
internal_pdf417::Pdf417Symbol Symbol(const Bytes& data, double aspectRatio, int yHeight)
{
    internal_pdf417::LayoutSettings settings;
    settings.aspectRatio = aspectRatio;
    settings.yHeight = yHeight;
    return internal_pdf417::Encode(data, settings);
}

TEST(Pdf417RoundTrip, PngAndSvgAcrossContentAspectRatiosAndRowHeights)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    const bool svg = testsupport::HaveSvgRasteriser();
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.what);
        const Bytes expected = c.expected.empty() ? B(c.text) : c.expected;
        const internal_pdf417::Pdf417Symbol s = Symbol(expected, c.aspectRatio, c.yHeight);
        for (const char* format : {"png", "svg"}) {
            if (std::string(format) == "svg" && !svg) {
                continue;
            }
            SCOPED_TRACE(format);
            Handle h(18);
            barcode_set_output_format(h.h, format);
            // Bytes that are not UTF-8 pass unchanged in Shift-JIS mode.
            barcode_set_string_encoding(h.h, BarcodeBase2D::IsValidUtf8(c.text) ? c.encoding : "shift-jis");
            barcode_set_aspect_ratio(h.h, c.aspectRatio);
            barcode_set_y_height(h.h, c.yHeight);
            // A square request takes the natural width: three pixels a module.
            ASSERT_TRUE(barcode_draw_2d(h.h, c.text.c_str(), 3 * c.yHeight * s.rows));
            const Bytes png = std::string(format) == "png" ? testsupport::ImageBytes(h.h)
                                                           : testsupport::RasteriseSvg(barcode_get_svg(h.h));
            const testsupport::RgbaImage image = testsupport::DecodePng(png);
            EXPECT_EQ(image.width, 3 * s.modules.width);
            EXPECT_EQ(image.height, 3 * c.yHeight * s.rows);
            const Decoded d = testsupport::DecodePngBytes(png, "PDF417", 12);
            EXPECT_TRUE(d.valid) << d.error;
            EXPECT_EQ(d.bytes, expected);
        }
    }
}

// At one unit a module the SVG document, rasterised by rsvg-convert, reads back and paints the
// same pixels as the PNG of the same draw: one rectangle per dark run, none wider than its
// modules (bars half a unit wider spilled grey into the next space and often failed to read).
TEST(Pdf417RoundTrip, SvgAtOneUnitAModule)
{
    if (!testsupport::HaveDecoder() || !testsupport::HaveSvgRasteriser()) {
        GTEST_SKIP() << "zxing-cpp or rsvg-convert not available";
    }
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.what);
        const Bytes expected = c.expected.empty() ? B(c.text) : c.expected;
        const internal_pdf417::Pdf417Symbol s = Symbol(expected, c.aspectRatio, c.yHeight);
        Bytes outputs[2];
        for (int svg = 0; svg < 2; ++svg) {
            Handle h(18);
            barcode_set_output_format(h.h, svg ? "svg" : "png");
            barcode_set_string_encoding(h.h, BarcodeBase2D::IsValidUtf8(c.text) ? c.encoding : "shift-jis");
            barcode_set_aspect_ratio(h.h, c.aspectRatio);
            barcode_set_y_height(h.h, c.yHeight);
            // A square request of y-height units a row: one unit a module.
            ASSERT_TRUE(barcode_draw_2d(h.h, c.text.c_str(), c.yHeight * s.rows));
            outputs[svg] = svg ? testsupport::RasteriseSvg(barcode_get_svg(h.h)) : testsupport::ImageBytes(h.h);
        }
        const testsupport::GreyImage png = testsupport::ToGrey(testsupport::DecodePng(outputs[0]), 0);
        const testsupport::GreyImage svg = testsupport::ToGrey(testsupport::DecodePng(outputs[1]), 0);
        ASSERT_EQ(svg.width, s.modules.width);
        ASSERT_EQ(svg.height, c.yHeight * s.rows);
        ASSERT_EQ(png.width, svg.width);
        ASSERT_EQ(png.height, svg.height);
        int differing = 0;
        for (size_t i = 0; i < png.pixels.size(); ++i) {
            differing += (png.pixels[i] < 128) != (svg.pixels[i] < 128) ? 1 : 0;
        }
        EXPECT_EQ(differing, 0);
        const Decoded d = testsupport::DecodePngBytes(outputs[1], "PDF417", 12);
        EXPECT_TRUE(d.valid) << d.error;
        EXPECT_EQ(d.bytes, expected);
    }
}

TEST(Pdf417RoundTrip, FitWidthAndFixedBoxes)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    const std::string text = "PDF417 in a fixed box 2024-06-01";
    for (int fit : {0, 1}) {
        for (int width : {500, 733}) {
            SCOPED_TRACE("fit " + std::to_string(fit) + " width " + std::to_string(width));
            Handle h(18);
            barcode_set_fit_width(h.h, fit);
            barcode_set_aspect_ratio(h.h, 3.0);
            ASSERT_TRUE(barcode_draw_2d_rect(h.h, text.c_str(), width, 160));
            const Bytes png = testsupport::ImageBytes(h.h);
            EXPECT_EQ(testsupport::DecodePng(png).width, width);
            const Decoded d = testsupport::DecodePngBytes(png, "PDF417", 12);
            EXPECT_TRUE(d.valid) << d.error;
            EXPECT_EQ(d.text, text);
        }
    }
}

TEST(Pdf417Draw, NaturalWidthAndSvgGeometry)
{
    // Four columns (137 modules) and ten rows at y-height 3: a 200-pixel square request is drawn
    // round(200 x 137 / 30) = 913 wide.
    PDF417 pdf("png");
    pdf.SetSizeMode(PDF417SizeMode::Columns);
    pdf.SetColumns(4);
    const Bytes text(58, 'A');
    ASSERT_TRUE(pdf.Draw(text, 0, 0, 200));
    ASSERT_EQ(pdf.CalPDF417(text).height, 10);
    const testsupport::RgbaImage image = testsupport::DecodePng(pdf.GetImageMemory());
    EXPECT_EQ(image.width, 913);
    EXPECT_EQ(image.height, 200);

    // SVG: the pitch is 913 / 137 = 6 by 200 / 10 = 20; a run of dark modules is one rectangle
    // exactly as wide as its modules (the start pattern's bar: 8 modules, then single modules).
    pdf.SetOutputFormat("svg");
    ASSERT_TRUE(pdf.Draw(text, 0, 0, 200));
    const std::string svg = pdf.GetSvg();
    EXPECT_NE(svg.find("width=\"913\" height=\"200\" viewBox=\"0 0 913 200\""), std::string::npos);
    EXPECT_NE(svg.find("<rect x=\"0.00\" y=\"0.00\" width=\"48.00\" height=\"20.00\" fill=\"rgb(0,0,0)\"/>\n"
                       "  <rect x=\"54.00\" y=\"0.00\" width=\"6.00\" height=\"20.00\" fill=\"rgb(0,0,0)\"/>"),
              std::string::npos);
    EXPECT_EQ(svg.find(".50\""), std::string::npos);
}

// The grid of a PDF417 image as a reader sees it, from the pixels alone: the start pattern's
// leading bar is 8 modules wide, so it gives the module width, the symbol's width in modules gives
// the data columns (17 modules each, 69 for the start, stop and row indicators), and every code
// row differs from the next (another cluster), so the runs of equal pixel rows count the rows.
struct Grid
{
    int columns = 0;
    int rows = 0;
};

Grid MeasureGrid(const Bytes& png)
{
    const testsupport::GreyImage g = testsupport::ToGrey(testsupport::DecodePng(png), 0);
    const auto dark = [&g](int x, int y) { return g.at(x, y) < 128; };
    int top = -1;
    int bottom = -1;
    int left = g.width;
    int right = -1;
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            if (dark(x, y)) {
                top = top < 0 ? y : top;
                bottom = y;
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    Grid grid;
    if (top < 0) {
        return grid;
    }
    int bar = 0;
    while (left + bar < g.width && dark(left + bar, top)) {
        ++bar;
    }
    const int pitch = bar / 8;
    if (pitch == 0 || (right - left + 1) % pitch != 0) {
        return grid;
    }
    grid.columns = ((right - left + 1) / pitch - 69) / 17;
    std::string previous;
    for (int y = top; y <= bottom; ++y) {
        std::string row;
        for (int x = left + pitch / 2; x <= right; x += pitch) {
            row += dark(x, y) ? '1' : '0';
        }
        grid.rows += row != previous ? 1 : 0;
        previous = row;
    }
    return grid;
}

// The error correction level a reader finds in the symbol ("" when it cannot tell).
std::string ReadLevel(const Bytes& png)
{
#ifdef BARCODE_HAVE_ZXING
    const testsupport::GreyImage g = testsupport::ToGrey(testsupport::DecodePng(png), 12);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::PDF417);
    const ZXing::Result r =
        ZXing::ReadBarcode(ZXing::ImageView(g.pixels.data(), g.width, g.height, ZXing::ImageFormat::Lum), hints);
    return r.isValid() ? r.ecLevel() : "";
#else
    (void)png;
    return "";
#endif
}

// Level, columns and rows set through the C interface reach the symbol: a level is kept as set
// (raised only where the grid has room for more error correction), columns, rows or both
// choose the size mode that keeps them; 0 columns and rows and a negative level return to the
// automatic choices. 34 data codewords; a level L needs 34 + 2 << L of the grid.
TEST(Pdf417CApi, LevelColumnsAndRowsShapeTheSymbol)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    const std::string text = "Invoice 2024-06-01 No. 4711: 3 items, total 1,234.50 EUR";
    ASSERT_EQ(internal_pdf417::DataCodewords(B(text)).size(), 34u);

    struct Row
    {
        const char* what;
        std::function<void(void*)> set;
        int columns;
        int rows;
        int level;
    };

    const Row rows[] = {
        // Aspect ratio 0.5 and y-height 3 with level 2: need 42, 2 columns of 21 rows.
        {"defaults", [](void*) {}, 2, 21, 2},
        {"level 0: need 36, 2 x 18", [](void* h) { barcode_set_error_level(h, 0); }, 2, 18, 0},
        {"level 5: need 98, 4 x 25", [](void* h) { barcode_set_error_level(h, 5); }, 4, 25, 5},
        {"level 8: need 546, 12 x 46", [](void* h) { barcode_set_error_level(h, 8); }, 12, 46, 8},
        {"3 columns: 14 rows", [](void* h) { barcode_set_columns(h, 3); }, 3, 14, 2},
        {"12 columns: 4 rows, 14 spare codewords keep level 2", [](void* h) { barcode_set_columns(h, 12); }, 12, 4, 2},
        {"20 rows: 3 columns, 26 spare raise the level to 3", [](void* h) { barcode_set_rows(h, 20); }, 3, 20, 3},
        {"4 rows: 11 columns", [](void* h) { barcode_set_rows(h, 4); }, 11, 4, 2},
        {"4 columns and 12 rows hold 42",
         [](void* h) {
             barcode_set_rows(h, 12);
             barcode_set_columns(h, 4);
         },
         4, 12, 2},
        {"10 columns and 3 rows are too small: the rows grow",
         [](void* h) {
             barcode_set_columns(h, 10);
             barcode_set_rows(h, 3);
         },
         10, 5, 3},
        {"5 columns at level 4: need 66, 14 rows",
         [](void* h) {
             barcode_set_columns(h, 5);
             barcode_set_error_level(h, 4);
         },
         5, 14, 4},
        {"columns back to 0 keep the rows' mode",
         [](void* h) {
             barcode_set_columns(h, 10);
             barcode_set_rows(h, 4);
             barcode_set_columns(h, 0);
         },
         11, 4, 2},
        {"both back to 0 and a negative level: the defaults",
         [](void* h) {
             barcode_set_columns(h, 10);
             barcode_set_rows(h, 4);
             barcode_set_error_level(h, 8);
             barcode_set_rows(h, 0);
             barcode_set_columns(h, 0);
             barcode_set_error_level(h, -1);
         },
         2, 21, 2},
        {"out of range values are ignored",
         [](void* h) {
             barcode_set_error_level(h, 9);
             barcode_set_columns(h, 31);
             barcode_set_rows(h, 91);
             barcode_set_columns(h, -3);
         },
         2, 21, 2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Handle h(18);
        r.set(h.h);
        ASSERT_TRUE(barcode_draw_2d(h.h, text.c_str(), 300));
        const Bytes png = testsupport::ImageBytes(h.h);
        const Grid grid = MeasureGrid(png);
        EXPECT_EQ(grid.columns, r.columns);
        EXPECT_EQ(grid.rows, r.rows);
        const Decoded d = testsupport::DecodePngBytes(png, "PDF417", 12);
        EXPECT_TRUE(d.valid) << d.error;
        EXPECT_EQ(d.text, text);
        EXPECT_EQ(ReadLevel(png), std::to_string(r.level));
    }
}

// A square request keeps the height and takes the natural width (rows of y-height modules),
// but never less than one pixel a module: the whole symbol is on the canvas, also where the
// height allows less than y-height pixels a row (the natural width would cut it on the right).
TEST(Pdf417Draw, SquareRequestCanvasHoldsTheSymbol)
{
    std::string longText;
    for (int i = 0; i < 20; ++i) {
        longText += "PDF417 long text 0123456789 ";
    }

    struct Row
    {
        std::string text;
        int size;
        int width; // of the canvas; the height is the size
        Grid grid;
    };

    const Row rows[] = {
        {"A", 300, 860, {1, 10}},       // 86 modules, 10 rows: 300 x 86 / 30, ten pixels a module
        {"A", 20, 86, {1, 10}},         // natural 57
        {longText, 150, 306, {10, 39}}, // 239 modules, 39 rows: 150 x 239 / 117
        {longText, 100, 239, {10, 39}}, // natural 204
        {longText, 60, 239, {10, 39}},  // natural 123, one pixel a row
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text.substr(0, 8) + " at " + std::to_string(r.size));
        Handle h(18);
        ASSERT_TRUE(barcode_draw_2d(h.h, r.text.c_str(), r.size));
        const Bytes png = testsupport::ImageBytes(h.h);
        const testsupport::RgbaImage image = testsupport::DecodePng(png);
        EXPECT_EQ(image.width, r.width);
        EXPECT_EQ(image.height, r.size);
        const Grid grid = MeasureGrid(png);
        EXPECT_EQ(grid.columns, r.grid.columns);
        EXPECT_EQ(grid.rows, r.grid.rows);
        if (testsupport::HaveDecoder()) {
            EXPECT_EQ(testsupport::DecodePngBytes(png, "PDF417", 12).text, r.text);
        }
        barcode_set_output_format(h.h, "svg");
        ASSERT_TRUE(barcode_draw_2d(h.h, r.text.c_str(), r.size));
        const std::string size = "width=\"" + std::to_string(r.width) + "\" height=\"" + std::to_string(r.size) + "\"";
        EXPECT_NE(std::string(barcode_get_svg(h.h)).find(size), std::string::npos);
    }
}

TEST(Pdf417CApi, EmptyAndTooBigFail)
{
    Handle h(18);
    testsupport::CapturedOutput out;
    EXPECT_FALSE(barcode_draw_2d(h.h, "", 200));
    EXPECT_FALSE(barcode_draw_2d_rect(h.h, std::string(1851, 'Q').c_str(), 600, 300));
    EXPECT_FALSE(barcode_draw_1d(h.h, Digits(2711).c_str(), 600, 300));
    EXPECT_FALSE(barcode_draw_2d(h.h, std::string(5421, 'x').c_str(), 300));
    out.Finish();
    EXPECT_NE(out.Out().find("Text cannot be null.\n"), std::string::npos);
    EXPECT_NE(out.Out().find("The text is too big.\n"), std::string::npos);
    // The handle still draws afterwards; other types' setters change nothing, the PDF417 ones do.
    ASSERT_TRUE(barcode_draw_2d(h.h, "still fine", 120));
    const Bytes before = testsupport::ImageBytes(h.h);
    barcode_set_version(h.h, 40);
    barcode_set_code_size(h.h, "10x10");
    ASSERT_TRUE(barcode_draw_2d(h.h, "still fine", 120));
    EXPECT_EQ(testsupport::ImageBytes(h.h), before);
    barcode_set_columns(h.h, 7);
    barcode_set_rows(h.h, 20);
    barcode_set_error_level(h.h, 8);
    ASSERT_TRUE(barcode_draw_2d(h.h, "still fine", 120));
    EXPECT_NE(testsupport::ImageBytes(h.h), before);
    Handle qr(16);
    barcode_set_columns(qr.h, 3);
    EXPECT_TRUE(barcode_draw_2d(qr.h, "QR", 100));
}

TEST(Pdf417Concurrency, SeparateHandlesOnSeparateThreads)
{
    struct Job
    {
        std::string text;
        double aspectRatio;
        int yHeight;
    };

    const Job jobs[] = {{"thread one " + Digits(50), 2.0, 3}, {HighBytes(40) + "thread two", 0.3, 2}};
    const auto draw = [](const Job& job) {
        Handle h(18);
        barcode_set_string_encoding(h.h, "shift-jis"); // the high bytes pass unchanged
        barcode_set_aspect_ratio(h.h, job.aspectRatio);
        barcode_set_y_height(h.h, job.yHeight);
        return barcode_draw_2d_rect(h.h, job.text.c_str(), 400, 150) ? testsupport::ImageBytes(h.h) : Bytes{};
    };
    std::vector<Bytes> reference;
    for (const Job& job : jobs) {
        reference.push_back(draw(job));
        ASSERT_FALSE(reference.back().empty());
    }
    ASSERT_NE(reference[0], reference[1]);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (size_t t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                if (draw(jobs[t]) != reference[t]) {
                    ++mismatches;
                }
            }
        });
    }
    for (std::thread& th : threads) {
        th.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
