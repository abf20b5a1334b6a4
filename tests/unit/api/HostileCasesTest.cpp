// SPDX-License-Identifier: MIT
// Requests that once took the process's memory or time, returned old or broken output as new,
// or failed without a word: each row runs in a child under a memory ceiling.
#include "barcode_lumeo.h"
#include "support/CappedChild.h"
#include "support/TestSupport.h"

#include <cctype>
#include <climits>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <malloc.h>
#include <ostream>
#include <string>

namespace {

using testsupport::CapturedOutput;
using testsupport::Handle;

constexpr std::size_t kCeiling = std::size_t{1} << 30;
const char kFallback[] = "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVQI12P4//8/"
                         "AAX+Av7czFnnAAAAAElFTkSuQmCC";
const char kPayment[] = "9191234500012345678901234567810261231000150";

// Complaints of one row, one per line.
struct Complaints
{
    std::string text;

    void Expect(bool ok, const std::string& what)
    {
        if (!ok) {
            text += what + "\n";
        }
    }
};

// A draw that must fail: false, `reason` (when given) among the lines on standard error, and
// nothing left to fetch.
void ExpectCleanFailure(Complaints& c, void* h, const std::function<bool()>& draw, const std::string& what,
                        const std::string& reason = "")
{
    CapturedOutput captured;
    const bool drawn = draw();
    captured.Finish();
    c.Expect(!drawn, what + ": drawn");
    c.Expect(!captured.Err().empty(), what + ": no reason printed");
    c.Expect(reason.empty() || captured.Err().find(reason) != std::string::npos,
             what + ": expected \"" + reason + "\", printed \"" + captured.Err() + "\"");
    if (h == nullptr) {
        return;
    }
    int size = -1;
    c.Expect(barcode_get_image_data(h, &size) == nullptr && size == 0, what + ": an image is left");
    c.Expect(std::string(barcode_get_svg(h)).empty(), what + ": a document is left");
    if (!barcode_is_svg_output(h)) {
        c.Expect(std::string(barcode_get_base64(h)) == kFallback, what + ": base64 is not the fallback URI");
    }
}

struct Case
{
    const char* name;
    std::function<void(Complaints&)> run;
};

const Case kCases[] = {
    {"1 tall box: text capped, canvas limited",
     [](Complaints& c) {
         Handle jan8(7);
         ExpectCleanFailure(
             c, jan8.h, [&] { return barcode_draw_1d(jan8.h, "4901234", 4, 100000); }, "4x100000",
             "Canvas of 4x100000 pixels exceeds the limit");
         // 67 pixels: the symbol at one pixel a module (a narrower box is refused).
         c.Expect(barcode_draw_1d(jan8.h, "4901234", 67, 16384), "67x16384 is within the limits");
         Handle code39(0);
         c.Expect(barcode_draw_1d(code39.h, "ABC", 300, 16384), "Code 39 300x16384");
     }},
    {"1 what a draw makes does not stay after destroy beyond the bounded caches",
     [](Complaints& c) {
         if (!testsupport::CeilingApplies()) {
             return; // the sanitizer's allocator keeps its own books
         }
         const auto inUse = [] {
             const struct mallinfo2 m = mallinfo2();
             return m.uordblks + m.hblkhd;
         };
         const auto draw = [](int type, const char* text, int w, int h) {
             Handle handle(type);
             return barcode_draw_1d(handle.h, text, w, h);
         };
         draw(7, "4901234", 300, 100);
         const std::size_t before = inUse();
         c.Expect(draw(7, "4901234", 67, 16384), "JAN-8 67x16384");
         c.Expect(draw(0, "ABC", 300, 16384), "Code 39 300x16384");
         for (int i = 0; i < 200; ++i) {
             c.Expect(draw(0, ("T" + std::to_string(i * 7919)).c_str(), 2000, 2000), "one of 200 texts");
         }
         const std::size_t after = inUse();
         c.Expect(after < before + (40u << 20), "resident after destroy: " + std::to_string(after - before));
     }},
    {"2 a failed draw leaves nothing behind",
     [](Complaints& c) {
         Handle svg(0);
         barcode_set_output_format(svg.h, "svg");
         const auto abc = [&] { c.Expect(barcode_draw_1d(svg.h, "ABC", 300, 100), "ABC"); };
         abc();
         ExpectCleanFailure(
             c, svg.h, [&] { return barcode_draw_1d(svg.h, "abc~", 300, 100); }, "bad text");
         abc();
         ExpectCleanFailure(
             c, svg.h, [&] { return barcode_draw_1d(svg.h, "ABC", 0, 100); }, "bad size");
         abc();
         ExpectCleanFailure(
             c, svg.h, [&] { return barcode_draw_1d(svg.h, nullptr, 300, 100); }, "null text", "Text is null");
         abc();
         ExpectCleanFailure(
             c, svg.h, [&] { return barcode_draw_2d(svg.h, "ABC", 300); }, "wrong function",
             "Not a drawing function of type 0");
         Handle png(0);
         c.Expect(barcode_draw_1d(png.h, "ABC", 300, 100), "ABC png");
         ExpectCleanFailure(
             c, png.h, [&] { return barcode_draw_1d(png.h, nullptr, 300, 100); }, "png null text");
         c.Expect(barcode_draw_1d(png.h, "ABC", 300, 100), "ABC png");
         ExpectCleanFailure(
             c, png.h, [&] { return barcode_draw_yubin(png.h, "ABC", 30); }, "png wrong function");
         Handle yubin(15);
         c.Expect(barcode_draw_yubin(yubin.h, "1000001", 30), "yubin");
         ExpectCleanFailure(
             c, yubin.h, [&] { return barcode_draw_yubin(yubin.h, "1000001", 0); }, "yubin height 0",
             "[YubinCustomer] Invalid height 0");
     }},
    {"3 out of memory while writing an SVG",
     [](Complaints& c) {
         if (!testsupport::CeilingApplies()) {
             return;
         }
         // The encoding fits under the ceiling, a document of 35 MB would not: a symbol of
         // 500,000 elements of at least a pixel each cannot fit 16,000 pixels, so it is refused
         // before any of the document is written.
         Handle h(11);
         barcode_set_output_format(h.h, "svg");
         barcode_set_fit_width(h.h, 1);
         const std::string digits(100000, '7');
         testsupport::LowerCeiling(24u << 20);
         ExpectCleanFailure(
             c, h.h, [&] { return barcode_draw_1d(h.h, digits.c_str(), 16000, 200); }, "svg under 24 MB",
             "[ITF] The symbol needs 500007 pixels; the box is 16000 wide");
     }},
    {"4 negative or infinite font scale on JAN/UPC",
     [](Complaints& c) {
         for (int type : {7, 8, 9, 10}) {
             for (double scale :
                  {-1.0, -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()}) {
                 for (const char* format : {"png", "svg"}) {
                     Handle h(type);
                     barcode_set_output_format(h.h, format);
                     barcode_set_text_font_scale(h.h, scale);
                     const char* texts[] = {"4901234", "490123456789", "03600029145", "425261"};
                     ExpectCleanFailure(
                         c, h.h, [&] { return barcode_draw_1d(h.h, texts[type - 7], 300, 100); },
                         "type " + std::to_string(type) + " scale " + std::to_string(scale) + " " + format);
                 }
             }
         }
     }},
    {"5 payment barcode checks its text before fitting its font",
     [](Complaints& c) {
         Handle h(3);
         barcode_set_text_font_scale(h.h, 1e9);
         ExpectCleanFailure(
             c, h.h, [&] { return barcode_draw_convenience(h.h, "12345", 16384, 100); }, "bad text",
             "[GS1-128 Convenience] Code length must be 43 or 44 digits\n");
         ExpectCleanFailure(
             c, h.h, [&] { return barcode_draw_convenience(h.h, kPayment, 100000, 100); }, "wide box",
             "Canvas of 100000x100 pixels");
         CapturedOutput captured;
         c.Expect(barcode_draw_convenience(h.h, kPayment, 16384, 100), "scale 1e9 in the widest box");
         captured.Finish();
         c.Expect(captured.Err().empty(), "font search printed: " + captured.Err().substr(0, 200));
     }},
    {"6 linear texts are bounded",
     [](Complaints& c) {
         Handle h(11);
         const std::string huge(20000000, '7');
         ExpectCleanFailure(
             c, h.h, [&] { return barcode_draw_1d(h.h, huge.c_str(), 16384, 200); }, "20 MB",
             "Text longer than the limit of 100000 bytes");
         barcode_set_output_format(h.h, "svg");
         const std::string mega(1000000, '7');
         ExpectCleanFailure(
             c, h.h, [&] { return barcode_draw_1d(h.h, mega.c_str(), 16384, 200); }, "1 MB svg");
         const std::string most(100000, '7');
         ExpectCleanFailure(
             c, h.h, [&] { return barcode_draw_1d(h.h, most.c_str(), 16384, 200); }, "100,000 digits in 16384",
             "[ITF] The symbol needs 900009 pixels; the box is 16384 wide");
         const std::string fitting(1800, '7');
         c.Expect(barcode_draw_1d(h.h, fitting.c_str(), 16384, 200), "1,800 digits");
         c.Expect(std::string(barcode_get_svg(h.h)).size() < 64u * 1024 * 1024, "document of 1,800 digits");
         // As one line of text at the suggested size (800) 1,800 digits would cover 810000x940 pixels:
         // the sizes that cannot fit are passed over without rendering them, and the line is
         // drawn in the largest size that fits.
         Handle line(11);
         barcode_set_text_even_spacing(line.h, 0);
         barcode_set_text_font_scale(line.h, 20.0);
         const std::string digits(1800, '7');
         CapturedOutput captured;
         c.Expect(barcode_draw_1d(line.h, digits.c_str(), 16384, 200), "1,800 digits as one line");
         captured.Finish();
         c.Expect(captured.Err().empty(), "one line printed: " + captured.Err());
     }},
    {"7 huge boxes fail in both modes",
     [](Complaints& c) {
         for (const char* format : {"png", "svg"}) {
             for (int type : {0, 16}) {
                 Handle h(type);
                 barcode_set_output_format(h.h, format);
                 ExpectCleanFailure(
                     c, h.h, [&] { return barcode_draw_1d(h.h, "ABC", 23000, 23000); },
                     std::string(format) + " 23000x23000", "Canvas of 23000x23000 pixels exceeds the limit");
             }
         }
     }},
    {"8 every false draw gives a reason",
     [](Complaints& c) {
         Handle qr(16);
         const std::string digits(8000, '1');
         ExpectCleanFailure(
             c, qr.h, [&] { return barcode_draw_2d(qr.h, digits.c_str(), 300); }, "QR 8000 digits",
             "Data too long for QR Code");
         ExpectCleanFailure(
             c, qr.h, [&] { return barcode_draw_2d(qr.h, nullptr, 300); }, "null text",
             "[barcode_draw_2d] Text is null");
         barcode_set_output_format(qr.h, "gif");
         ExpectCleanFailure(
             c, qr.h, [&] { return barcode_draw_2d(qr.h, "A", 300); }, "unknown format",
             "[barcode_draw_2d] Unknown output format \"gif\"");
         Handle yubin(15);
         ExpectCleanFailure(
             c, yubin.h, [&] { return barcode_draw_yubin(yubin.h, "1000001", -5); }, "height -5",
             "[YubinCustomer] Invalid height -5");
         ExpectCleanFailure(
             c, nullptr, [&] { return barcode_draw_1d(nullptr, "A", 10, 10); }, "null handle",
             "[barcode_draw_1d] Invalid handle");
     }},
    {"9 Japan Post without an encodable character or a size an int holds",
     [](Complaints& c) {
         for (const char* format : {"png", "svg"}) {
             Handle h(15);
             barcode_set_output_format(h.h, format);
             ExpectCleanFailure(
                 c, h.h, [&] { return barcode_draw_yubin(h.h, "!!!", 30); }, "!!!",
                 "[YubinCustomer] No character of the text can be encoded");
             ExpectCleanFailure(
                 c, h.h, [&] { return barcode_draw_yubin(h.h, "1000001", INT_MAX); }, "INT_MAX",
                 "[YubinCustomer] Canvas of 48318382058x2147483647 pixels exceeds the limit");
         }
     }},
};

void PrintTo(const Case& row, std::ostream* os)
{
    *os << row.name;
}

class HostileCases : public testing::TestWithParam<Case>
{
};

TEST_P(HostileCases, FailCleanlyUnderACeiling)
{
    EXPECT_EQ(testsupport::RunCapped(kCeiling,
                                     [] {
                                         Complaints c;
                                         GetParam().run(c);
                                         return c.text;
                                     }),
              "");
}

std::string RowName(const testing::TestParamInfo<Case>& info)
{
    std::string name;
    for (const char* p = info.param.name; *p != '\0' && name.size() < 40; ++p) {
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileCases, testing::ValuesIn(kCases), RowName);

} // namespace
