// SPDX-License-Identifier: MIT
// Nothing of one draw leaks into the next on a handle: a fetch returns only what the last draw
// made (or nothing), and a drawing function's one-off form does not stick to the handle.
#include "barcode_lumeo.h"
#include "support/TestSupport.h"

#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace {

using testsupport::Handle;

const char kFallback[] = "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVQI12P4//8/"
                         "AAX+Av7czFnnAAAAAElFTkSuQmCC";

struct Kind
{
    const char* name;
    int type;
    std::function<bool(void*, const char*)> draw;
    const char* first;  // two texts with different symbols
    const char* second;
};

const Kind kKinds[] = {
    {"Code128", 2, [](void* h, const char* t) { return barcode_draw_1d(h, t, 300, 100); }, "FIRST", "SECOND"},
    {"QR", 16, [](void* h, const char* t) { return barcode_draw_2d(h, t, 200); }, "first", "second"},
    {"PDF417", 18, [](void* h, const char* t) { return barcode_draw_2d_rect(h, t, 300, 120); }, "first", "second"},
    {"DataBarExpandedStacked", 14, [](void* h, const char* t) { return barcode_draw_stacked(h, t, 300, 200); },
     "0195012345678903", "0190012345678908{AI}3103001750"},
    {"JapanPost", 15, [](void* h, const char* t) { return barcode_draw_yubin(h, t, 40); }, "1000001", "2630023"},
    {"Payment", 3, [](void* h, const char* t) { return barcode_draw_convenience(h, t, 600, 160); },
     "9191234500012345678901234567810261231000150", "9191234500012345678901234567810261231000167"},
};

void PrintTo(const Kind& kind, std::ostream* os)
{
    *os << kind.name;
}

// What a fresh handle makes of `text` in `format`: the document in "svg", else the PNG bytes.
std::string Fresh(const Kind& kind, const char* format, const char* text)
{
    Handle h(kind.type);
    barcode_set_output_format(h.h, format);
    EXPECT_TRUE(kind.draw(h.h, text)) << format << " " << text;
    if (std::string(format) == "svg") {
        return barcode_get_svg(h.h);
    }
    const std::vector<std::uint8_t> png = testsupport::ImageBytes(h.h);
    return std::string(png.begin(), png.end());
}

std::string Image(void* h)
{
    const std::vector<std::uint8_t> png = testsupport::ImageBytes(h);
    return std::string(png.begin(), png.end());
}

class DrawState : public testing::TestWithParam<Kind>
{
};

TEST_P(DrawState, SvgAfterARasterDrawReturnsNothing)
{
    const Kind& kind = GetParam();
    Handle h(kind.type);
    barcode_set_output_format(h.h, "svg");
    ASSERT_TRUE(kind.draw(h.h, kind.first));
    ASSERT_EQ(barcode_get_svg(h.h), Fresh(kind, "svg", kind.first));
    barcode_set_output_format(h.h, "png8");
    ASSERT_TRUE(kind.draw(h.h, kind.second));
    EXPECT_EQ(Image(h.h), Fresh(kind, "png8", kind.second));
    barcode_set_output_format(h.h, "svg");
    EXPECT_STREQ(barcode_get_svg(h.h), "") << "the first text's document came back";
    // The next SVG draw gives its own document only.
    ASSERT_TRUE(kind.draw(h.h, kind.second));
    EXPECT_EQ(barcode_get_svg(h.h), Fresh(kind, "svg", kind.second));
}

TEST_P(DrawState, RasterAfterAnSvgDrawReturnsNothing)
{
    const Kind& kind = GetParam();
    for (const char* raster : {"png", "png8"}) {
        SCOPED_TRACE(raster);
        Handle h(kind.type);
        barcode_set_output_format(h.h, raster);
        ASSERT_TRUE(kind.draw(h.h, kind.first));
        ASSERT_EQ(Image(h.h), Fresh(kind, raster, kind.first));
        barcode_set_output_format(h.h, "svg");
        ASSERT_TRUE(kind.draw(h.h, kind.second));
        barcode_set_output_format(h.h, raster);
        int size = -1;
        EXPECT_EQ(barcode_get_image_data(h.h, &size), nullptr) << "the first text's image came back";
        EXPECT_EQ(size, 0);
        EXPECT_STREQ(barcode_get_base64(h.h), kFallback);
        ASSERT_TRUE(kind.draw(h.h, kind.second));
        EXPECT_EQ(Image(h.h), Fresh(kind, raster, kind.second));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DrawState, testing::ValuesIn(kKinds),
                         [](const testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

// barcode_draw_stacked draws the stacked form once; the handle's layout setting
// (barcode_set_symbol_type_exp) decides what barcode_draw_1d draws before and after it.
TEST(DrawState, StackedDrawDoesNotStick)
{
    const char* text = "0195012345678903{AI}3103001750";
    const auto draw1d = [text](void* h) { return barcode_draw_1d(h, text, 400, 200); };
    const auto drawStacked = [text](void* h) { return barcode_draw_stacked(h, text, 400, 200); };
    struct Row
    {
        const char* setting; // nullptr: the default (unstacked)
        bool stackedAfter;   // barcode_draw_1d after barcode_draw_stacked draws the stacked form
    };
    const Row rows[] = {{nullptr, false}, {"UNSTACKED", false}, {"STACKED", true}};
    for (const char* format : {"png", "svg"}) {
        const auto output = [format](void* h) {
            return std::string(format) == "svg" ? std::string(barcode_get_svg(h)) : Image(h);
        };
        const auto fresh = [&](bool stacked, bool viaStackedDraw) {
            Handle h(14);
            barcode_set_output_format(h.h, format);
            barcode_set_symbol_type_exp(h.h, stacked ? "STACKED" : "UNSTACKED");
            EXPECT_TRUE(viaStackedDraw ? drawStacked(h.h) : draw1d(h.h));
            return output(h.h);
        };
        const std::string flat = fresh(false, false);
        const std::string stacked = fresh(true, false);
        ASSERT_NE(flat, stacked);
        ASSERT_EQ(fresh(false, true), stacked) << "barcode_draw_stacked draws the stacked form";
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(format) + " " + (row.setting != nullptr ? row.setting : "default"));
            Handle h(14);
            barcode_set_output_format(h.h, format);
            if (row.setting != nullptr) {
                barcode_set_symbol_type_exp(h.h, row.setting);
            }
            ASSERT_TRUE(drawStacked(h.h));
            EXPECT_EQ(output(h.h), stacked);
            ASSERT_TRUE(draw1d(h.h));
            EXPECT_EQ(output(h.h), row.stackedAfter ? stacked : flat);
            // A failed stacked draw leaves the setting alone too.
            testsupport::CapturedOutput quiet;
            EXPECT_FALSE(barcode_draw_stacked(h.h, "{AI}10]", 400, 200));
            quiet.Finish();
            ASSERT_TRUE(draw1d(h.h));
            EXPECT_EQ(output(h.h), row.stackedAfter ? stacked : flat);
        }
    }
}

} // namespace
