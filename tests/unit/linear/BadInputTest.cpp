// SPDX-License-Identifier: MIT
// Hostile input for the basic linear codes and the postal barcode: every byte value, long
// texts, absurd boxes. Nothing may crash or hang; every draw answers true or false.
#include "barcode_lumeo.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Kind
{
    int type;
    const char* name;
    const char* valid; // a text the symbology accepts
};

const Kind kKinds[] = {
    {1, "Code93", "CODE93"}, {4, "NW7", "A123B"},       {5, "Matrix2of5", "1234"},
    {6, "NEC2of5", "1234"},  {11, "ITF", "123456"},     {15, "YubinCustomer", "1000001"},
};

bool Draw(void* h, int type, const std::string& text, int width, int height)
{
    return type == 15 ? barcode_draw_yubin(h, text.c_str(), height) : barcode_draw_1d(h, text.c_str(), width, height);
}

} // namespace

TEST(LinearBadInput, EveryByteAlone)
{
    testsupport::CapturedOutput quiet; // the refusals print their reasons
    for (const Kind& kind : kKinds) {
        void* h = barcode_create(kind.type);
        ASSERT_NE(h, nullptr) << kind.name;
        barcode_set_output_format(h, "svg");
        for (int b = 1; b < 256; ++b) {
            const std::string text = std::string(kind.valid) + static_cast<char>(b);
            if (Draw(h, kind.type, text, 200, 60)) {
                EXPECT_TRUE(testsupport::IsWellFormedXml(barcode_get_svg(h))) << kind.name << " byte " << b;
            }
        }
        barcode_destroy(h);
    }
}

TEST(LinearBadInput, LongTextsAndOddBoxes)
{
    for (const Kind& kind : kKinds) {
        void* h = barcode_create(kind.type);
        ASSERT_NE(h, nullptr) << kind.name;
        std::string longText;
        while (longText.size() < 20000) {
            longText += kind.type == 1 ? "AB12" : "1234";
        }
        if (kind.type == 4) {
            longText = "A" + longText + "B";
        }
        // Japan Post holds twenty positions: a long address is refused rather than cut; the
        // others need far more than 300 pixels and say so.
        testsupport::CapturedOutput reasons;
        EXPECT_FALSE(Draw(h, kind.type, longText, 300, 80)) << kind.name;
        reasons.Finish();
        EXPECT_NE(reasons.Err().find(kind.type == 15 ? "data positions" : "; the box is 300 wide"), std::string::npos)
            << reasons.Err();
        EXPECT_FALSE(Draw(h, kind.type, kind.valid, 0, 0)) << kind.name;
        EXPECT_FALSE(Draw(h, kind.type, kind.valid, -40, -1)) << kind.name;
        barcode_set_fit_width(h, 1);
        barcode_set_px_adjust_black(h, -1000000);
        barcode_set_px_adjust_white(h, 2000000000);
        // Spaces two billion pixels wide fit no box; Japan Post bars of a pixel at a pitch of one
        // pixel (height 3) would touch.
        EXPECT_FALSE(Draw(h, kind.type, kind.valid, 1, 3)) << kind.name;
        barcode_set_output_format(h, "svg");
        barcode_set_show_text(h, 0);
        EXPECT_EQ(Draw(h, kind.type, kind.valid, 700, 700), kind.type == 15) << kind.name;
        barcode_set_px_adjust_white(h, -1000000);
        EXPECT_TRUE(Draw(h, kind.type, kind.valid, 700, 700)) << kind.name;
        EXPECT_TRUE(testsupport::IsWellFormedXml(barcode_get_svg(h))) << kind.name;
        // Past the canvas limits: no document, not even the previous one.
        EXPECT_FALSE(Draw(h, kind.type, kind.valid, 2000000000, 2000000000)) << kind.name;
        EXPECT_STREQ(barcode_get_svg(h), "") << kind.name;
        barcode_destroy(h);
    }
}
