// SPDX-License-Identifier: MIT
// libFuzzer harness: arbitrary text, sizes and options through the C interface of every type.
// The invariant is no crash, no sanitizer report and no exception across the boundary.
#include "barcode_lumeo.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = [] { return setenv("BARCODE_LUMEO_QUIET", "1", 1) == 0; }();
    (void)quiet;
    if (size < 4) {
        return 0;
    }
    const int type = data[0] % 19;
    const std::uint8_t flags = data[1];
    const int width = 1 + data[2] * 2;
    const int height = 1 + data[3];
    const std::string text(reinterpret_cast<const char*>(data + 4), size - 4);

    void* h = barcode_create(type);
    if (h == nullptr) {
        return 0;
    }
    barcode_set_output_format(h, (flags & 1) ? "svg" : "png");
    barcode_set_fit_width(h, flags & 2);
    barcode_set_show_text(h, flags & 4);
    barcode_set_text_even_spacing(h, flags & 8);
    barcode_set_px_adjust_black(h, (flags & 16) ? -3 : 0);
    barcode_set_code_mode(h, (flags & 32) ? "C" : "AUTO");
    barcode_set_string_encoding(h, (flags & 64) ? "shift-jis" : "utf-8");
    barcode_set_extended_guard(h, flags & 128);
    if (barcode_draw_1d(h, text.c_str(), width, height)) {
        int n = 0;
        if (flags & 1) {
            (void)barcode_get_svg(h);
        } else {
            (void)barcode_get_image_data(h, &n);
        }
    }
    barcode_destroy(h);
    return 0;
}
