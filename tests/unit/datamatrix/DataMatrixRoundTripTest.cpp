// SPDX-License-Identifier: MIT
// Data Matrix through the C interface: every size with every scheme, short and long texts, read
// back by zxing-cpp and libdmtx from PNG (and by zxing-cpp from SVG), the drawn geometry, and the failures.
#include "barcode_lumeo.h"
#include "core/BarcodeBase2D.h"
#include "datamatrix/DataMatrix.h"
#include "datamatrix/DxEncode.h"
#include "support/DmtxDecode.h"
#include "support/TestSupport.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using internal::DxScheme;
using testsupport::CapturedOutput;
using testsupport::Handle;

constexpr int kPitch = 3;
// 144x144: libdmtx lays this size out its own way and reads only that, not the standard's layout
// (which zint draws module for module like this library; LargestSizeIsZintsLayout).
constexpr int kLargest = 23;
const char* const kSchemeNames[] = {"ASCII", "C40", "TEXT", "X12", "EDIFACT", "BASE256", "AUTO"};

// `length` bytes of text that the scheme of kSchemeNames[scheme] can carry (no NUL).
std::string Sample(int scheme, size_t length)
{
    static const std::string kTexts[] = {
        "Lumeo 2024-06-01 #42 order:1234567890 (ok)",
        "PART 4711-0815/REV b LOT 42 \xC3\xA9",
        "lumeo data matrix 12345 ABC \xC3\xA9!",
        "ABC 123*XYZ>789\r",
        "UNH+1+ORDERS:D:96A:UN'BGM+220+4711'",
        "",
        // digits, upper and lower case, punctuation, Shift-JIS kanji and half-width kana
        "Lumeo 2024-06-01 ABCdef !?#;: \x93\x8C\x8B\x9E\xB1\xB2 0123456789 \x82\xA0\x82\xA2 NO.4711",
    };
    std::string s;
    for (size_t i = 0; i < length; ++i) {
        s += kTexts[scheme].empty() ? static_cast<char>((i * 37 + 11) % 255 + 1)
                                    : kTexts[scheme][i % kTexts[scheme].size()];
    }
    return s;
}

std::vector<std::uint8_t> Encode(int scheme, int size, const std::string& text)
{
    const std::vector<std::uint8_t> bytes(text.begin(), text.end());
    return scheme == 6 ? internal::EncodeAutoBest(bytes, size)
                       : internal::EncodeSingleScheme(bytes, static_cast<DxScheme>(scheme), size);
}

bool Fits(int scheme, int size, size_t length)
{
    const size_t words = Encode(scheme, size, Sample(scheme, length)).size();
    return words > 0 && words <= static_cast<size_t>(internal::DxSize(size).dataWords);
}

// The longest sample that fits the size.
size_t LongestFit(int scheme, int size)
{
    size_t lo = 0;
    size_t hi = 2 * internal::DxSize(size).dataWords + 2;
    while (lo + 1 < hi) {
        const size_t mid = (lo + hi) / 2;
        (Fits(scheme, size, mid) ? lo : hi) = mid;
    }
    return lo;
}

std::string SizeName(int size)
{
    return std::to_string(internal::DxSize(size).rows) + "x" + std::to_string(internal::DxSize(size).cols);
}

// Draws through the C interface at kPitch pixels per module; PNG bytes or an SVG document.
std::string Draw(const std::string& text, int scheme, int size, bool svg, bool* drawn)
{
    Handle h(17);
    barcode_set_output_format(h.h, svg ? "svg" : "png");
    barcode_set_code_size(h.h, SizeName(size).c_str());
    barcode_set_encode_scheme(h.h, kSchemeNames[scheme]);
    // Text in either encoding passes unchanged when its name is given.
    barcode_set_string_encoding(h.h, BarcodeBase2D::IsValidUtf8(text) ? "utf-8" : "shift-jis");
    *drawn =
        barcode_draw_1d(h.h, text.c_str(), kPitch * internal::DxSize(size).cols, kPitch * internal::DxSize(size).rows);
    if (svg) {
        return barcode_get_svg(h.h);
    }
    const std::vector<std::uint8_t> png = testsupport::ImageBytes(h.h);
    return std::string(png.begin(), png.end());
}

std::vector<std::uint8_t> Bytes(const std::string& s)
{
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

// The lengths drawn at each size and scheme: texts filled to the brim and a little below it,
// where the end-of-data rules differ, and at the small squares and every rectangle short texts,
// which end before the first whole C40/Text/X12 triplet or EDIFACT group or just after it.
std::vector<size_t> Lengths(int scheme, int size)
{
    const size_t longest = LongestFit(scheme, size);
    std::vector<size_t> lengths;
    if (size <= 3 || size >= 24) {
        lengths = {1, 2, 4};
    }
    for (size_t length = longest > 2 ? longest - 2 : 1; length <= longest; ++length) {
        lengths.push_back(length);
    }
    std::vector<size_t> kept;
    for (size_t length : lengths) {
        // The end-of-data rules make some shorter texts longer.
        if (length <= longest && (kept.empty() || length > kept.back()) && Fits(scheme, size, length)) {
            kept.push_back(length);
        }
    }
    return kept;
}

TEST(DataMatrixRoundTrip, EverySizeWithEveryScheme)
{
    if (!testsupport::HaveDecoder() && !testsupport::HaveDmtx()) {
        GTEST_SKIP() << "neither zxing-cpp nor libdmtx available";
    }
    for (int size = 0; size < internal::kDxSizeCount; ++size) {
        for (int scheme = 0; scheme < 7; ++scheme) {
            const size_t longest = LongestFit(scheme, size);
            ASSERT_GT(longest, 0u) << SizeName(size) << " " << kSchemeNames[scheme];
            for (size_t length : Lengths(scheme, size)) {
                SCOPED_TRACE(SizeName(size) + " " + kSchemeNames[scheme] + " length " + std::to_string(length));
                const std::string text = Sample(scheme, length);
                bool drawn = false;
                const std::string png = Draw(text, scheme, size, false, &drawn);
                ASSERT_TRUE(drawn);
                // Both readers read every symbol back exactly.
                if (testsupport::HaveDecoder()) {
                    const testsupport::Decoded d = testsupport::DecodePngBytes(Bytes(png), "DataMatrix", 16);
                    EXPECT_TRUE(d.valid) << "zxing-cpp: " << d.error;
                    EXPECT_EQ(d.bytes, Bytes(text)) << "zxing-cpp";
                }
                if (testsupport::HaveDmtx() && size != kLargest) {
                    const testsupport::Decoded d = testsupport::DecodeDmtxPngBytes(Bytes(png));
                    EXPECT_TRUE(d.valid) << "libdmtx: " << d.error;
                    EXPECT_EQ(d.bytes, Bytes(text)) << "libdmtx";
                }
                if (length != longest || scheme != size % 7 || !testsupport::HaveSvgRasteriser()
                    || !testsupport::HaveDecoder()) {
                    continue;
                }
                // The SVG document paints the same modules.
                const std::vector<std::uint8_t> raster =
                    testsupport::RasteriseSvg(Draw(text, scheme, size, true, &drawn));
                const testsupport::GreyImage a = testsupport::ToGrey(testsupport::DecodePng(Bytes(png)), 0);
                const testsupport::GreyImage b = testsupport::ToGrey(testsupport::DecodePng(raster), 0);
                ASSERT_EQ(a.width, b.width);
                ASSERT_EQ(a.height, b.height);
                for (int y = kPitch / 2; y < a.height; y += kPitch) {
                    for (int x = kPitch / 2; x < a.width; x += kPitch) {
                        ASSERT_EQ(a.at(x, y) < 128, b.at(x, y) < 128) << "module " << x / kPitch << "," << y / kPitch;
                    }
                }
                EXPECT_EQ(testsupport::DecodePngBytes(raster, "DataMatrix", 16).bytes, Bytes(text));
            }
        }
    }
}

// The largest size, which libdmtx does not read, is the same module for module as zint's.
TEST(DataMatrixRoundTrip, LargestSizeIsZintsLayout)
{
#ifndef BARCODE_ZINT
    GTEST_SKIP() << "zint not available";
#else
    const std::string text = "Lumeo"; // ASCII, as zint encodes it too
    DataMatrix dm("png");
    dm.SetCodeSize(kLargest);
    const ModuleMatrix ours = dm.CalDataMatrix(Bytes(text));
    ASSERT_EQ(ours.width, 144);
    // zint --dump: one line of hexadecimal bytes per row, most significant bit first.
    FILE* pipe = popen((std::string(BARCODE_ZINT) + " -b 71 --vers=24 --dump -d '" + text + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string dump;
    char buffer[4096];
    for (size_t n = 0; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        dump.append(buffer, n);
    }
    pclose(pipe);
    std::istringstream lines(dump);
    std::string line;
    int row = 0;
    for (; std::getline(lines, line) && row < 144; ++row) {
        std::istringstream bytes(line);
        unsigned value = 0;
        for (int column = 0; bytes >> std::hex >> value; column += 8) {
            for (int bit = 0; bit < 8 && column + bit < 144; ++bit) {
                ASSERT_EQ(ours.get(column + bit, row), ((value >> (7 - bit)) & 1u) != 0) << row << "," << column + bit;
            }
        }
    }
    EXPECT_EQ(row, 144);
#endif
}

TEST(DataMatrixDraw, SymbolSizedOutput)
{
    struct Row
    {
        const char* size;
        int fit;
        int boxWidth;
        int boxHeight;
        int width;
        int height;
    };

    // Whole-pixel pitch min(box / modules), or the fraction with fit width; the output has the
    // symbol's size. "16X48" is no size name, so the square size is chosen.
    const Row rows[] = {{"10x10", 0, 100, 60, 60, 60},
                        {"12x26", 0, 130, 100, 130, 60},
                        {"16X48", 0, 100, 100, 100, 100},
                        {"12x26", 1, 100, 100, 100, 47}};
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.size) + " fit " + std::to_string(r.fit));
        std::string outputs[2];
        for (int svg = 0; svg < 2; ++svg) {
            Handle h(17);
            barcode_set_output_format(h.h, svg ? "svg" : "png");
            barcode_set_code_size(h.h, r.size);
            barcode_set_fit_width(h.h, r.fit);
            ASSERT_TRUE(barcode_draw_2d_rect(h.h, "420123", r.boxWidth, r.boxHeight));
            const std::vector<std::uint8_t> png = testsupport::ImageBytes(h.h);
            outputs[svg] = svg ? barcode_get_svg(h.h) : std::string(png.begin(), png.end());
        }
        const testsupport::RgbaImage image = testsupport::DecodePng(Bytes(outputs[0]));
        EXPECT_EQ(image.width, r.width);
        EXPECT_EQ(image.height, r.height);
        const std::string size = "width=\"" + std::to_string(r.width) + "\" height=\"" + std::to_string(r.height);
        EXPECT_NE(outputs[1].find(size), std::string::npos);
        if (testsupport::HaveDecoder() && testsupport::HaveSvgRasteriser()) {
            EXPECT_EQ(testsupport::DecodePngBytes(Bytes(outputs[0]), "DataMatrix").text, "420123");
            EXPECT_EQ(testsupport::DecodePngBytes(testsupport::RasteriseSvg(outputs[1]), "DataMatrix").text, "420123");
        }
    }
}

// A square request gives a canvas of the symbol's size: whole-pixel modules, the largest that fit.
TEST(DataMatrixDraw, SquareRequestCanvas)
{
    struct Row
    {
        const char* text;
        int size;
        int canvas;
    };

    const Row rows[] = {
        {"HELLO", 200, 192},                                              // 12x12, 16 pixels a module
        {"Data Matrix payload of fifty characters 0123456789", 200, 192}, // 32x32, 6 pixels
        {"HELLO", 35, 24},                                                // 2 pixels, 11 to spare
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.text) + " at " + std::to_string(r.size));
        Handle h(17);
        ASSERT_TRUE(barcode_draw_2d(h.h, r.text, r.size));
        const std::vector<std::uint8_t> png = testsupport::ImageBytes(h.h);
        const testsupport::RgbaImage image = testsupport::DecodePng(png);
        EXPECT_EQ(image.width, r.canvas);
        EXPECT_EQ(image.height, r.canvas);
        if (testsupport::HaveDecoder()) {
            EXPECT_EQ(testsupport::DecodePngBytes(png, "DataMatrix", 16).text, r.text);
        }
        if (testsupport::HaveDmtx()) {
            EXPECT_EQ(testsupport::DecodeDmtxPngBytes(png).text, r.text);
        }
    }
}

TEST(DataMatrixDraw, FailuresThroughTheCInterface)
{
    const std::string generic =
        "[DataMatrix] Failed to encode data. Data may be empty or contain invalid characters.\n";

    struct Row
    {
        std::string text;
        const char* size;
        const char* scheme;
        std::string message;
    };

    const Row rows[] = {
        {"", "AUTO", "AUTO", generic},
        {std::string(3200, '7'), "AUTO", "AUTO", generic},
        {std::string(1600, 'A'), "AUTO", "ASCII", generic},
        {"lower case", "AUTO", "X12", generic},
        {"ABCD", "10x10", "ASCII",
         "[DataMatrix] Data too long for specified symbol size. Data requires 4 codewords, but symbol only supports 3 "
         "codewords. Use 'AUTO' or reduce data length.\n"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text.substr(0, 12) + " " + r.size + " " + r.scheme);
        Handle h(17);
        barcode_set_code_size(h.h, r.size);
        barcode_set_encode_scheme(h.h, r.scheme);
        CapturedOutput out;
        EXPECT_FALSE(barcode_draw_2d(h.h, r.text.c_str(), 300));
        out.Finish();
        EXPECT_EQ(out.Err(), r.message);
    }
    // Another type ignores the Data Matrix setters.
    Handle qr(16);
    barcode_set_code_size(qr.h, "10x10");
    barcode_set_encode_scheme(qr.h, "X12");
    EXPECT_TRUE(barcode_draw_2d(qr.h, "lower case", 100));
}

} // namespace
