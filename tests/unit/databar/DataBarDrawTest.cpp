// SPDX-License-Identifier: MIT
#include "barcode_lumeo.h"
#include "databar/GS1DataBar14.h"
#include "databar/GS1DataBarLimited.h"
#include "unit/databar/DataBarTestUtil.h"
#include "unit/linear/LinearTestUtil.h"

#include <cstring>
#include <gtest/gtest.h>
#include <thread>

using testsupport::Handle;

namespace {

// PNG bytes of a type 12 or 13 symbol drawn through the C interface, or the PNG of its SVG.
std::vector<std::uint8_t> Draw(int type, const char* kind, const char* text, int width, int height, bool svg)
{
    Handle h(type);
    barcode_set_output_format(h.h, svg ? "svg" : "png");
    barcode_set_symbol_type_14(h.h, kind);
    if (!barcode_draw_1d(h.h, text, width, height)) {
        return {};
    }
    return svg ? testsupport::RasteriseSvg(barcode_get_svg(h.h)) : testsupport::ImageBytes(h.h);
}

// Exposes the stack height rule.
struct Probe : GS1DataBar14
{
    Probe() : GS1DataBar14("png") {}

    using DataBarSymbol::StackHeights;
};

} // namespace

TEST(DataBar14Draw, OmnidirectionalRoundTripThroughZxing)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }

    const struct
    {
        const char* text;
        const char* gtin;
        int width, height;
    } rows[] = {
        {"2001234567890", "20012345678909", 400, 150}, {"", "00000000000000", 300, 80},
        {"123456789012", "01234567890128", 200, 60},   {"9999999999999", "99999999999997", 500, 220},
        {"0614141999996", "06141419999968", 97, 40},
    };

    for (const auto& row : rows) {
        for (bool svg : {false, true}) {
            if (svg && !testsupport::HaveSvgRasteriser()) {
                continue;
            }
            const auto png = Draw(12, "OMNIDIRECTIONAL", row.text, row.width, row.height, svg);
            ASSERT_FALSE(png.empty()) << row.text;
            const testsupport::Decoded d = testsupport::DecodePngBytes(png, "DataBar");
            EXPECT_EQ(d.text, row.gtin) << row.text << (svg ? " svg " : " png ") << d.error;
        }
    }
}

TEST(DataBar14Draw, EveryLayoutRoundTripsThroughZbar)
{
    if (!databartest::HaveZbar()) {
        GTEST_SKIP() << "zbarimg not available";
    }

    const struct
    {
        const char* text;
        const char* gtin;
        int width, height;
    } rows[] = {
        {"2001234567890", "20012345678909", 400, 150},
        {"4512345678906", "45123456789060", 250, 120},
        {"7", "00000000000079", 300, 300},
    };

    for (const char* kind : {"OMNIDIRECTIONAL", "STACKED", "STACKED_OMNIDIRECTIONAL"}) {
        for (const auto& row : rows) {
            for (bool svg : {false, true}) {
                if (svg && !testsupport::HaveSvgRasteriser()) {
                    continue;
                }
                const auto png = Draw(12, kind, row.text, row.width, row.height, svg);
                ASSERT_FALSE(png.empty()) << kind << " " << row.text;
                EXPECT_EQ(databartest::ZbarRead(png), std::string("DataBar:01") + row.gtin)
                    << kind << " " << row.text << (svg ? " svg" : " png");
            }
        }
    }
}

// Height 100: text band 20, gap 3, so 77 pixels for the rows.
TEST(DataBar14Draw, StackRowHeights)
{
    Probe probe;
    const std::vector<float> stacked = probe.StackHeights({5, 1, 7}, 100, 2.0f);
    ASSERT_EQ(stacked.size(), 3u);
    EXPECT_FLOAT_EQ(stacked[0], 77.0f / 13 * 5);
    EXPECT_FLOAT_EQ(stacked[1], 77.0f / 13);
    EXPECT_FLOAT_EQ(stacked[2], 77.0f / 13 * 7);
    EXPECT_EQ(probe.StackHeights({-1, 1, 1, 1, -1}, 100, 2.0f), (std::vector<float>{35.5f, 2, 2, 2, 35.5f}));
    // The text band is kept free even without text; a box too low keeps 10 pixels.
    probe.SetShowText(false);
    EXPECT_EQ(probe.StackHeights({-1, 1, -1}, 12, 1.0f), (std::vector<float>{4.5f, 1, 4.5f}));
}

TEST(DataBarDraw, SvgDocumentsAndFailureLines)
{
    const struct
    {
        int type;
        const char* kind;
        const char* text;
        size_t bars;
        const char* printed;
    } rows[] = {
        {12, "OMNIDIRECTIONAL", "2001234567890", 23, "(01)20012345678909"},
        {12, "STACKED", "2001234567890", 0, "(01)20012345678909"},
        {13, "", "1501234567890", 23, "(01)15012345678907"},
    };

    for (const auto& row : rows) {
        Handle h(row.type);
        barcode_set_output_format(h.h, "svg");
        barcode_set_symbol_type_14(h.h, row.kind);
        barcode_set_text_even_spacing(h.h, 0);
        ASSERT_TRUE(barcode_draw_1d(h.h, row.text, 296, 100));
        const std::string svg = barcode_get_svg(h.h);
        EXPECT_TRUE(testsupport::IsWellFormedXml(svg));
        EXPECT_EQ(lineartest::SvgTexts(svg), row.printed);
        if (row.bars != 0) {
            EXPECT_EQ(lineartest::Count(svg, "<rect "), row.bars + 1);
        }
    }
    EXPECT_EQ(lineartest::FailureLine<GS1DataBar14>("12345678901234"),
              "[GS1 DataBar] Input too long (max 13 digits)\n");
    EXPECT_EQ(lineartest::FailureLine<GS1DataBarLimited>("1234567"),
              "[GS1 DataBar Limited] Input must be 8-13 digits\n");
    EXPECT_EQ(lineartest::FailureLine<GS1DataBarLimited>("2000000000000"),
              "[GS1 DataBar Limited] GS1 DataBar Limited requires leading digit 0 or 1 after padding\n");
}

// 74 modules at width 148: two pixels a module, the last bar ending at the right edge.
TEST(DataBarDraw, LimitedFillsTwoPixelModules)
{
    GS1DataBarLimited symbol("png");
    symbol.SetShowText(false);
    const testsupport::RgbaImage image = testsupport::DecodePng(lineartest::DrawPng(symbol, "1501234567890", 148, 50));
    ASSERT_EQ(image.width, 148);
    std::string row;
    for (int x = 0; x < image.width; x += 2) {
        row += image.pixels[static_cast<size_t>(x) * 4] < 128 ? '1' : '0';
    }
    EXPECT_EQ(row, databartest::Modules(symbol.Encoded().symbol.rows[0]));
}

TEST(DataBarCApi, Options14AndCheckDigit)
{
    Handle h(12);
    EXPECT_STREQ(barcode_get_symbol_type_14(h.h), "OMNIDIRECTIONAL");
    for (const char* kind : {"STACKED", "stacked", "STACKED_OMNIDIRECTIONAL", "", "OMNIDIRECTIONAL"}) {
        const std::string before = barcode_get_symbol_type_14(h.h);
        barcode_set_symbol_type_14(h.h, kind);
        const bool known = std::strcmp(kind, "stacked") != 0 && kind[0] != '\0';
        EXPECT_EQ(barcode_get_symbol_type_14(h.h), known ? std::string(kind) : before) << kind;
    }
    Handle other(13);
    barcode_set_symbol_type_14(other.h, "STACKED");
    EXPECT_STREQ(barcode_get_symbol_type_14(other.h), "");
    EXPECT_STREQ(barcode_get_symbol_type_14(nullptr), "");

    EXPECT_TRUE(barcode_encode_14(h.h, "2001234567890"));
    EXPECT_FALSE(barcode_encode_14(h.h, "12A"));
    EXPECT_FALSE(barcode_encode_14(other.h, "2001234567890"));
    EXPECT_FALSE(barcode_encode_14(h.h, nullptr));

    const char* first = barcode_calculate_check_digit_14("2001234567890");
    EXPECT_STREQ(first, "9");
    const char* second = barcode_calculate_check_digit_14("0000000000001");
    EXPECT_EQ(first, second);
    EXPECT_STREQ(second, "7");
    for (const char* bad : {"123", "12345678901234", "200123456789A", static_cast<const char*>(nullptr)}) {
        EXPECT_STREQ(barcode_calculate_check_digit_14(bad), "");
    }
    // Each thread has its own result.
    std::string fromThread;
    std::thread([&] { fromThread = barcode_calculate_check_digit_14("2001234567890"); }).join();
    EXPECT_EQ(fromThread, "9");
    EXPECT_STREQ(second, "7");
}
