// SPDX-License-Identifier: MIT
#include "barcode_lumeo.h"
#include "databar/GS1DataBar14.h"
#include "databar/GS1DataBarLimited.h"
#include "unit/databar/DataBarTestUtil.h"
#include "unit/linear/LinearTestUtil.h"

#include <gtest/gtest.h>
#include <thread>

using testsupport::Handle;

namespace {

// Exposes the stack height rule.
struct Probe : GS1DataBar14
{
    Probe() : GS1DataBar14("png") {}

    using DataBarSymbol::StackHeights;
};

} // namespace

// Every layout, raster and SVG: zbar reads all three, zxing the omnidirectional one.
TEST(DataBar14Draw, RoundTripThroughDecoders)
{
    const struct
    {
        const char* text;
        const char* gtin;
        int width, height;
    } rows[] = {
        {"2001234567890", "20012345678909", 400, 150}, {"", "00000000000000", 300, 80},
        {"123456789012", "01234567890128", 200, 60},   {"4512345678906", "45123456789060", 250, 120},
        {"0614141999996", "06141419999968", 97, 200},
    };

    const bool zbar = databartest::HaveZbar();
    for (const char* kind : {"OMNIDIRECTIONAL", "STACKED", "STACKED_OMNIDIRECTIONAL"}) {
        for (const auto& row : rows) {
            for (const char* format : {"png", "svg"}) {
                Handle h(12);
                barcode_set_output_format(h.h, format);
                barcode_set_symbol_type_14(h.h, kind);
                ASSERT_TRUE(barcode_draw_1d(h.h, row.text, row.width, row.height));
                const bool svg = format[0] == 's';
                const auto png = svg ? testsupport::RasteriseSvg(barcode_get_svg(h.h)) : testsupport::ImageBytes(h.h);
                const std::string where = std::string(kind) + " " + format + " " + row.text;
                ASSERT_TRUE(!png.empty() || (svg && !testsupport::HaveSvgRasteriser())) << where;
                if (zbar && !png.empty()) {
                    EXPECT_EQ(databartest::ZbarRead(png), std::string("DataBar:01") + row.gtin) << where;
                }
                if (testsupport::HaveDecoder() && !png.empty() && kind[0] == 'O') {
                    EXPECT_EQ(testsupport::DecodePngBytes(png, "DataBar").text, row.gtin) << where;
                }
            }
        }
    }
}

TEST(DataBarDraw, StackRowHeights)
{
    Probe probe;
    // Height 100: a text band of 20 and a gap of 3 leave 77 pixels for the rows.
    const std::vector<float> stacked = probe.StackHeights({5, 1, 7}, 100, 2.0f);
    ASSERT_EQ(stacked.size(), 3u);
    EXPECT_FLOAT_EQ(stacked[0], 77.0f / 13 * 5);
    EXPECT_FLOAT_EQ(stacked[1], 77.0f / 13);
    EXPECT_FLOAT_EQ(stacked[2], 77.0f / 13 * 7);
    EXPECT_EQ(probe.StackHeights({-1, 1, 1, 1, -1}, 100, 2.0f), (std::vector<float>{35.5f, 2, 2, 2, 35.5f}));
    // The band stays reserved without text; a low box keeps 10 pixels for the rows.
    probe.SetShowText(false);
    EXPECT_EQ(probe.StackHeights({-1, 1, -1}, 12, 1.0f), (std::vector<float>{4.5f, 1, 4.5f}));
}

TEST(DataBarDraw, SvgDocumentsAndFailureLines)
{
    for (const auto& [type, kind, text, printed] :
         {std::make_tuple(12, "OMNIDIRECTIONAL", "2001234567890", "(01)20012345678909"),
          std::make_tuple(12, "STACKED_OMNIDIRECTIONAL", "2001234567890", "(01)20012345678909"),
          std::make_tuple(13, "", "1501234567890", "(01)15012345678907")}) {
        Handle h(type);
        barcode_set_output_format(h.h, "svg");
        barcode_set_symbol_type_14(h.h, kind);
        barcode_set_text_even_spacing(h.h, 0);
        ASSERT_TRUE(barcode_draw_1d(h.h, text, 296, 100));
        const std::string svg = barcode_get_svg(h.h);
        EXPECT_TRUE(testsupport::IsWellFormedXml(svg));
        EXPECT_EQ(lineartest::SvgTexts(svg), printed);
    }
    EXPECT_EQ(lineartest::FailureLine<GS1DataBar14>("12345678901234"),
              "[GS1 DataBar] Input too long (max 13 digits)\n");
    EXPECT_EQ(lineartest::FailureLine<GS1DataBar14>("1234567890123A"),
              "[GS1 DataBar] GS1 DataBar requires numeric digits only\n");
    EXPECT_EQ(lineartest::FailureLine<GS1DataBarLimited>("1234567"),
              "[GS1 DataBar Limited] Input must be 8-13 digits\n");
    EXPECT_EQ(lineartest::FailureLine<GS1DataBarLimited>("2000000000000"),
              "[GS1 DataBar Limited] GS1 DataBar Limited requires leading digit 0 or 1 after padding\n");
    EXPECT_EQ(lineartest::FailureLine<GS1DataBarLimited>("12a45678"),
              "[GS1 DataBar Limited] GS1 DataBar Limited requires numeric digits only\n");
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
    Handle limited(13);
    EXPECT_STREQ(barcode_get_symbol_type_14(h.h), "OMNIDIRECTIONAL");
    for (const auto& [kind, after] :
         {std::make_pair("STACKED", "STACKED"), std::make_pair("stacked", "STACKED"),
          std::make_pair("STACKED_OMNIDIRECTIONAL", "STACKED_OMNIDIRECTIONAL"),
          std::make_pair("", "STACKED_OMNIDIRECTIONAL"), std::make_pair("OMNIDIRECTIONAL", "OMNIDIRECTIONAL")}) {
        barcode_set_symbol_type_14(h.h, kind);
        barcode_set_symbol_type_14(limited.h, "STACKED");
        EXPECT_STREQ(barcode_get_symbol_type_14(h.h), after) << kind;
    }
    EXPECT_STREQ(barcode_get_symbol_type_14(limited.h), "");
    EXPECT_STREQ(barcode_get_symbol_type_14(nullptr), "");
    EXPECT_TRUE(barcode_encode_14(h.h, "2001234567890"));
    EXPECT_FALSE(barcode_encode_14(h.h, "12A"));
    EXPECT_FALSE(barcode_encode_14(limited.h, "2001234567890"));
    EXPECT_FALSE(barcode_encode_14(h.h, nullptr));

    const char* first = barcode_calculate_check_digit_14("2001234567890");
    EXPECT_STREQ(first, "9");
    const char* second = barcode_calculate_check_digit_14("0000000000001");
    EXPECT_EQ(first, second);
    // Letters are refused like wrong lengths; the last result stays.
    for (const char* bad : {"123", "12345678901234", "200123456789A", static_cast<const char*>(nullptr)}) {
        EXPECT_STREQ(barcode_calculate_check_digit_14(bad), "");
    }
    std::string fromThread;
    std::thread([&] { fromThread = barcode_calculate_check_digit_14("2001234567890"); }).join();
    EXPECT_EQ(fromThread, "9");
    EXPECT_STREQ(second, "7"); // one result per thread
}
