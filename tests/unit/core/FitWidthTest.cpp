// SPDX-License-Identifier: MIT
// Fractional module widths: with fit width on, symbols stretched to any box width still read.
#include "barcode_lumeo.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Row
{
    const char* name;
    int type;
    const char* text;
    const char* format;   // zxing format name
    const char* expected; // decoded text
    int modules;          // symbol width in modules
};

const Row kRows[] = {
    {"Code 39", 0, "FIT-39", "Code39", "FIT-39", 127},
    {"Code 128", 2, "Fit width 128", "Code128", "Fit width 128", 178},
    {"GS1-128", 3, "{FNC1}0104912345678904{AI}11240401{AI}10ABC123", "Code128",
     "01049123456789041124040110ABC123", 266},
    {"ITF", 11, "12345678", "ITF", "12345678", 81},
};

TEST(FitWidth, StretchedSymbolsReadAtEveryWidth)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    for (const Row& row : kRows) {
        std::vector<int> failures;
        // From 1.75 to 4 pixels per module, in steps that hit many fractional widths. (At 1.5
        // pixels a narrow element is one or two pixels by position: no reader copes with that.)
        for (int width = row.modules * 7 / 4; width <= row.modules * 4; width += 7) {
            void* h = barcode_create(row.type);
            barcode_set_fit_width(h, 1);
            barcode_set_show_text(h, 0);
            ASSERT_TRUE(barcode_draw_1d(h, row.text, width, 60)) << row.name << " at " << width;
            int size = 0;
            const unsigned char* png = barcode_get_image_data(h, &size);
            const std::vector<std::uint8_t> bytes(png, png + size);
            barcode_destroy(h);
            const testsupport::Decoded d = testsupport::DecodePngBytes(bytes, row.format);
            if (!d.valid || d.text != row.expected) {
                failures.push_back(width);
            }
        }
        EXPECT_TRUE(failures.empty()) << row.name << " unreadable at " << failures.size() << " widths, first "
                                      << (failures.empty() ? 0 : failures.front());
    }
}

} // namespace
