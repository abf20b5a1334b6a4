// SPDX-License-Identifier: MIT
// PDF417 symbols drawn through the C interface and read back with zxing-cpp, from PNG and from
// SVG; failures through the C interface; separate handles on separate threads.
#include "barcode_lumeo.h"
#include "pdf417/PDF417.h"
#include "pdf417/Pdf417Encoder.h"
#include "support/TestSupport.h"

#include <atomic>
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

    // SVG: the pitch is 913 / 137 = 6 by 200 / 10 = 20; dark rectangles are 6.5 wide.
    pdf.SetOutputFormat("svg");
    ASSERT_TRUE(pdf.Draw(text, 0, 0, 200));
    const std::string svg = pdf.GetSvg();
    EXPECT_NE(svg.find("width=\"913\" height=\"200\" viewBox=\"0 0 913 200\""), std::string::npos);
    EXPECT_NE(svg.find("<rect x=\"0.00\" y=\"0.00\" width=\"6.50\" height=\"20.00\" fill=\"rgb(0,0,0)\"/>"),
              std::string::npos);
    EXPECT_EQ(svg.find("width=\"6.00\""), std::string::npos);
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
    // The handle still draws afterwards. Through the C interface the size mode stays AUTO and the
    // level automatic, so columns, rows and error level change nothing; nor do other types' setters.
    ASSERT_TRUE(barcode_draw_2d(h.h, "still fine", 120));
    const Bytes before = testsupport::ImageBytes(h.h);
    barcode_set_version(h.h, 40);
    barcode_set_columns(h.h, 7);
    barcode_set_rows(h.h, 20);
    barcode_set_error_level(h.h, 8);
    ASSERT_TRUE(barcode_draw_2d(h.h, "still fine", 120));
    EXPECT_EQ(testsupport::ImageBytes(h.h), before);
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
