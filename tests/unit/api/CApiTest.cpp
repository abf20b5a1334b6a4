// SPDX-License-Identifier: MIT
// The C interface: creation, null and wrong-type arguments, result slots and their lifetimes.
#include "barcode_lumeo.h"
#include "support/TestSupport.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace {

using testsupport::Handle;

TEST(CApi, CreateRejectsTypesOutsideTheTable)
{
    for (int type : {19, -1, 100, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        EXPECT_EQ(barcode_create(type), nullptr) << type;
    }
    std::vector<void*> handles;
    for (int type = 0; type <= 18; ++type) {
        if (void* h = barcode_create(type)) {
            handles.push_back(h);
        }
    }
    EXPECT_GE(handles.size(), 1u);
    EXPECT_EQ(std::set<void*>(handles.begin(), handles.end()).size(), handles.size());
    for (void* h : handles) {
        barcode_destroy(h);
    }
}

TEST(CApi, NullHandlesAndArgumentsAreHarmless)
{
    barcode_destroy(nullptr);
    barcode_set_output_format(nullptr, "svg");
    barcode_set_foreground_color(nullptr, 1, 2, 3, 4);
    barcode_set_background_color(nullptr, 1, 2, 3, 4);
    barcode_set_px_adjust_black(nullptr, 1);
    barcode_set_px_adjust_white(nullptr, 1);
    barcode_set_fit_width(nullptr, 1);
    barcode_set_show_text(nullptr, 1);
    barcode_set_text_font_scale(nullptr, 2.0);
    barcode_set_text_gap(nullptr, 2.0);
    barcode_set_text_even_spacing(nullptr, 1);
    EXPECT_FALSE(barcode_draw_1d(nullptr, "A", 100, 50));
    EXPECT_FALSE(barcode_draw_2d_rect(nullptr, "A", 100, 50));
    EXPECT_FALSE(barcode_draw_yubin_with_width(nullptr, "A", 100, 50));
    EXPECT_STREQ(barcode_get_base64(nullptr), "");
    EXPECT_STREQ(barcode_get_svg(nullptr), "");
    int size = 7;
    EXPECT_EQ(barcode_get_image_data(nullptr, &size), nullptr);
    EXPECT_EQ(size, 7);
    EXPECT_FALSE(barcode_is_svg_output(nullptr));

    Handle c(0);
    barcode_set_output_format(c.h, nullptr);
    EXPECT_FALSE(barcode_is_svg_output(c.h));
    EXPECT_FALSE(barcode_draw_1d(c.h, nullptr, 100, 50));
    EXPECT_EQ(barcode_get_image_data(c.h, nullptr), nullptr);
}

TEST(CApi, DrawFunctionsCheckTheType)
{
    Handle c(0);
    EXPECT_FALSE(barcode_draw_2d_rect(c.h, "A", 100, 100));
    EXPECT_FALSE(barcode_draw_2d(c.h, "A", 100));
    EXPECT_FALSE(barcode_draw_yubin_with_width(c.h, "A", 100, 50));
    EXPECT_FALSE(barcode_draw_yubin(c.h, "A", 50));
    EXPECT_FALSE(barcode_draw_convenience(c.h, "A", 100, 50));
    EXPECT_FALSE(barcode_draw_stacked(c.h, "A", 100, 50));
    int size = -1;
    EXPECT_EQ(barcode_get_image_data(c.h, &size), nullptr) << "nothing was drawn";
    EXPECT_EQ(size, 0);
}

TEST(CApi, FallbackUriBeforeAnyDraw)
{
    Handle c(0);
    EXPECT_STREQ(barcode_get_base64(c.h), "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlE"
                                          "QVQI12P4//8/AAX+Av7czFnnAAAAAElFTkSuQmCC");
}

TEST(CApi, SvgModeResults)
{
    Handle c(0);
    barcode_set_output_format(c.h, "svg");
    EXPECT_TRUE(barcode_is_svg_output(c.h));
    ASSERT_TRUE(barcode_draw_1d(c.h, "SVG", 300, 100));
    EXPECT_STREQ(barcode_get_base64(c.h), "");
    const char* svg = barcode_get_svg(c.h);
    EXPECT_EQ(std::strncmp(svg, "<?xml", 5), 0);
    EXPECT_TRUE(testsupport::IsWellFormedXml(svg));
    int size = -1;
    EXPECT_EQ(barcode_get_image_data(c.h, &size), nullptr);
    EXPECT_EQ(size, 0);

    barcode_set_output_format(c.h, "SVG");
    EXPECT_TRUE(barcode_is_svg_output(c.h));
    barcode_set_output_format(c.h, "Svg");
    EXPECT_FALSE(barcode_is_svg_output(c.h));
}

TEST(CApi, SvgOutsideSvgModeIsEmptyAndKeepsTheSlot)
{
    Handle c(0);
    ASSERT_TRUE(barcode_draw_1d(c.h, "AB", 300, 100));
    EXPECT_STREQ(barcode_get_svg(c.h), "");
    const std::string uri = barcode_get_base64(c.h);
    EXPECT_EQ(uri.rfind("data:image/png;base64,", 0), 0u);
    EXPECT_STREQ(barcode_get_svg(c.h), "");
}

TEST(CApi, StringResultsShareOneSlot)
{
    Handle c(0);
    barcode_set_output_format(c.h, "svg");
    ASSERT_TRUE(barcode_draw_1d(c.h, "SLOT", 300, 100));
    const char* svg = barcode_get_svg(c.h);
    const std::string copy = svg;
    const char* again = barcode_get_svg(c.h);
    EXPECT_EQ(copy, again);
    // A failed retrieval leaves the slot as it was.
    EXPECT_STREQ(barcode_get_base64(c.h), "");
    EXPECT_EQ(copy, again);
}

TEST(CApi, ImageDataLifetimeAndSvgSwitch)
{
    Handle c(0);
    ASSERT_TRUE(barcode_draw_1d(c.h, "IMG", 300, 100));
    int size = 0;
    const unsigned char* png = barcode_get_image_data(c.h, &size);
    ASSERT_NE(png, nullptr);
    ASSERT_GT(size, 8);
    EXPECT_EQ(std::memcmp(png, "\x89PNG\r\n\x1a\n", 8), 0);
    // A raster image left from an earlier draw is not handed out in SVG mode.
    barcode_set_output_format(c.h, "svg");
    EXPECT_EQ(barcode_get_image_data(c.h, &size), nullptr);
    EXPECT_EQ(size, 0);
}

TEST(CApi, Base64ThenImageDataHasNoImage)
{
    Handle c(0);
    ASSERT_TRUE(barcode_draw_1d(c.h, "ONCE", 300, 100));
    EXPECT_NE(std::string(barcode_get_base64(c.h)), "");
    int size = -1;
    EXPECT_EQ(barcode_get_image_data(c.h, &size), nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_STREQ(barcode_get_base64(c.h), "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlE"
                                          "QVQI12P4//8/AAX+Av7czFnnAAAAAElFTkSuQmCC");
    // Drawing again after the fetch, in a format that names no output, fails without touching
    // the released canvas.
    barcode_set_output_format(c.h, "JPEG");
    EXPECT_FALSE(barcode_draw_1d(c.h, "ONCE", 300, 100));
    barcode_set_output_format(c.h, "png");
    EXPECT_TRUE(barcode_draw_1d(c.h, "ONCE", 300, 100));
}

TEST(CApi, ColoursKeepTheirLowEightBits)
{
    Handle c(0);
    barcode_set_output_format(c.h, "svg");
    barcode_set_foreground_color(c.h, 256 + 10, -1, 0x1234, 128);
    barcode_set_background_color(c.h, 1, 2, 3, 255 + 256);
    ASSERT_TRUE(barcode_draw_1d(c.h, "C", 200, 80));
    const std::string svg = barcode_get_svg(c.h);
    EXPECT_NE(svg.find("fill=\"rgb(10,255,52)\" fill-opacity=\"0.50\""), std::string::npos) << svg;
    EXPECT_NE(svg.find("fill=\"rgb(1,2,3)\"/>"), std::string::npos) << svg;
}

TEST(CApi, AbsurdNumbersGiveACleanFalse)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // -1e300 is -infinity as a float: not finite, like NaN and the large ones.
    for (double scale : {1e300, -1e300, nan, std::numeric_limits<double>::infinity(), -1e30}) {
        for (const char* format : {"png", "svg"}) {
            Handle c(0);
            barcode_set_output_format(c.h, format);
            barcode_set_text_font_scale(c.h, scale);
            barcode_set_text_gap(c.h, scale);
            const bool ok = barcode_draw_1d(c.h, "ABS", 300, 100);
            if (scale == -1e30) {
                EXPECT_TRUE(ok) << "negative factors fall back to the minimum sizes";
            } else {
                EXPECT_FALSE(ok) << scale;
            }
        }
    }
    Handle c(0);
    EXPECT_FALSE(barcode_draw_1d(c.h, "ABS", std::numeric_limits<int>::max(), std::numeric_limits<int>::max()));
    EXPECT_FALSE(barcode_draw_1d(c.h, "ABS", 0, 100));
    EXPECT_FALSE(barcode_draw_1d(c.h, "ABS", -300, 100));
    barcode_set_output_format(c.h, "svg");
    EXPECT_FALSE(barcode_draw_1d(c.h, "ABS", 0, 100));
    EXPECT_FALSE(barcode_draw_1d(c.h, "ABS", 300, -1));
}

TEST(CApi, LinearTextSettersApplyToLinearTypes)
{
    Handle c(0);
    barcode_set_output_format(c.h, "svg");
    barcode_set_show_text(c.h, 0);
    ASSERT_TRUE(barcode_draw_1d(c.h, "T", 200, 80));
    EXPECT_EQ(std::string(barcode_get_svg(c.h)).find("<text"), std::string::npos);
    barcode_set_show_text(c.h, 1);
    barcode_set_text_even_spacing(c.h, 0);
    barcode_set_text_font_scale(c.h, 2.0);
    ASSERT_TRUE(barcode_draw_1d(c.h, "T", 200, 80));
    const std::string svg = barcode_get_svg(c.h);
    EXPECT_NE(svg.find("font-size=\"32\""), std::string::npos) << svg;
    EXPECT_NE(svg.find(">*T*</text>"), std::string::npos) << svg;
}

TEST(CApi, ShowStartStopOnCode39)
{
    Handle c(0);
    barcode_set_output_format(c.h, "svg");
    barcode_set_text_even_spacing(c.h, 0);
    barcode_set_show_start_stop(c.h, 0);
    ASSERT_TRUE(barcode_draw_1d(c.h, "a1", 200, 80));
    EXPECT_NE(std::string(barcode_get_svg(c.h)).find(">A1</text>"), std::string::npos);
    barcode_set_show_start_stop(c.h, 1);
    ASSERT_TRUE(barcode_draw_1d(c.h, "a1", 200, 80));
    EXPECT_NE(std::string(barcode_get_svg(c.h)).find(">*A1*</text>"), std::string::npos);
}

} // namespace

namespace {

TEST(CApi, SvgTextStaysValidAcrossTheNextDraw)
{
    testsupport::Handle h(2);
    barcode_set_output_format(h.h, "svg");
    ASSERT_TRUE(barcode_draw_1d(h.h, "FIRST", 300, 100));
    const char* first = barcode_get_svg(h.h);
    const std::string copy = first;
    ASSERT_TRUE(barcode_draw_1d(h.h, "SECOND", 300, 100));
    EXPECT_EQ(std::string(first), copy); // the document handed out is not rewritten
    EXPECT_NE(std::string(barcode_get_svg(h.h)), copy); // the next fetch returns the next document
}

} // namespace
