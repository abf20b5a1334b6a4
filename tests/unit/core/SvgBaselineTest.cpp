// SPDX-License-Identifier: MIT
// SVG text is placed by its baseline, which librsvg honours as browsers do (it ignores
// dominant-baseline): rasterised with rsvg-convert, the digits sit under the bars where the PNG
// puts them, not on the bars.
#include "barcode_lumeo.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using testsupport::GreyImage;

int DarkInRow(const GreyImage& g, int y)
{
    int n = 0;
    for (int x = 0; x < g.width; ++x) {
        n += g.at(x, y) < 128 ? 1 : 0;
    }
    return n;
}

// The first row below `from` with a dark pixel, or -1.
int FirstInkRow(const GreyImage& g, int from)
{
    for (int y = from; y < g.height; ++y) {
        if (DarkInRow(g, y) > 0) {
            return y;
        }
    }
    return -1;
}

TEST(SvgBaseline, RsvgPutsTheTextUnderTheBarsWhereThePngHasIt)
{
    if (!testsupport::HaveSvgRasteriser()) {
        GTEST_SKIP() << "rsvg-convert not available";
    }
    const struct
    {
        const char* name;
        int type;
        const char* text;
        int width;
        int height;
        bool payment;
        int svgBars; // the SVG's bar height where it differs from the PNG's, else 0
    } rows[] = {
        {"Code 128", 2, "Code128 test", 300, 100, false, 0},
        {"ITF, one tall box", 11, "14901234567891", 400, 240, false, 0},
        {"DataBar", 12, "0123456789012", 300, 100, false, 0},
        {"JAN-13 uniform", 8, "490123456789", 300, 120, false, 0},
        // The payment code's SVG sizes its lines without measuring: bars of 160 - 2 x 32.
        {"payment, two lines", 3, "9191234500012345678901234567810261231000150", 600, 160, true, 96},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        GreyImage images[2];
        for (int svg = 0; svg < 2; ++svg) {
            testsupport::Handle h(row.type);
            barcode_set_output_format(h.h, svg != 0 ? "svg" : "png");
            barcode_set_extended_guard(h.h, 0);
            const bool drawn = row.payment ? barcode_draw_convenience(h.h, row.text, row.width, row.height)
                                           : barcode_draw_1d(h.h, row.text, row.width, row.height);
            ASSERT_TRUE(drawn);
            const std::vector<std::uint8_t> png =
                svg != 0 ? testsupport::RasteriseSvg(barcode_get_svg(h.h)) : testsupport::ImageBytes(h.h);
            images[svg] = testsupport::ToGrey(testsupport::DecodePng(png), 0);
        }
        const GreyImage& png = images[0];
        const GreyImage& rsvg = images[1];
        ASSERT_EQ(rsvg.height, png.height);
        // The bars: every row from the top holds the same dark pixels as the first one.
        const int bars = DarkInRow(png, 0);
        int barBottom = 0;
        while (barBottom < png.height && DarkInRow(png, barBottom) == bars) {
            ++barBottom;
        }
        ASSERT_GT(barBottom, 10);
        ASSERT_LT(barBottom, png.height);
        // In the SVG as rsvg draws it, no text ink lies on the bars (every bar row as its first)...
        const int svgBarBottom = row.svgBars > 0 ? row.svgBars : barBottom;
        for (int y = 0; y < svgBarBottom; ++y) {
            EXPECT_NEAR(DarkInRow(rsvg, y), DarkInRow(rsvg, 0), 1) << "row " << y << " of " << svgBarBottom;
        }
        // ...and the text starts a few rows under them, where the PNG starts it.
        const int pngText = FirstInkRow(png, barBottom);
        const int svgText = FirstInkRow(rsvg, svgBarBottom);
        ASSERT_GE(pngText, 0);
        ASSERT_GE(svgText, 0) << "no text under the bars";
        EXPECT_NEAR(svgText - svgBarBottom, pngText - barBottom, 3);
    }
}

} // namespace
