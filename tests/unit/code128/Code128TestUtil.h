// SPDX-License-Identifier: MIT
#pragma once

#include "barcode_lumeo.h"
#include "support/TestSupport.h"

#include <functional>
#include <string>
#include <vector>

#ifdef BARCODE_HAVE_ZXING
#include <ZXing/ReadBarcode.h>
#endif

namespace code128test {

// Draws through the C interface and returns the PNG bytes (empty when the draw fails).
// `draw` replaces barcode_draw_1d; `setup` runs before it.
inline std::vector<std::uint8_t> DrawPng(int type, const std::string& text, int width, int height,
                                         const std::function<void(void*)>& setup = {},
                                         const std::function<bool(void*, const char*, int, int)>& draw = {})
{
    void* h = barcode_create(type);
    std::vector<std::uint8_t> png;
    if (h == nullptr) {
        return png;
    }
    if (setup) {
        setup(h);
    }
    const bool ok = draw ? draw(h, text.c_str(), width, height) : barcode_draw_1d(h, text.c_str(), width, height);
    if (ok) {
        int size = 0;
        const unsigned char* bytes = barcode_get_image_data(h, &size);
        if (bytes != nullptr && size > 0) {
            png.assign(bytes, bytes + size);
        }
    }
    barcode_destroy(h);
    return png;
}

// The same draw as an SVG document ("" when the draw fails).
inline std::string DrawSvg(int type, const std::string& text, int width, int height,
                           const std::function<void(void*)>& setup = {},
                           const std::function<bool(void*, const char*, int, int)>& draw = {})
{
    void* h = barcode_create(type);
    std::string svg;
    if (h == nullptr) {
        return svg;
    }
    barcode_set_output_format(h, "svg");
    if (setup) {
        setup(h);
    }
    const bool ok = draw ? draw(h, text.c_str(), width, height) : barcode_draw_1d(h, text.c_str(), width, height);
    if (ok) {
        svg = barcode_get_svg(h);
    }
    barcode_destroy(h);
    return svg;
}

// A Code 128 reading with the symbology identifier ("]C0" plain, "]C1" GS1) and the text in
// zxing's default form.
struct Reading
{
    bool valid = false;
    std::string symbologyIdentifier;
    std::string text;
    bool gs1 = false; // zxing's content type says GS1
    std::string error;
};

inline Reading ReadCode128(const std::vector<std::uint8_t>& png)
{
    Reading r;
#ifdef BARCODE_HAVE_ZXING
    const testsupport::GreyImage image = testsupport::ToGrey(testsupport::DecodePng(png), 40);
    ZXing::DecodeHints hints;
    hints.setTryHarder(true);
    hints.setTryRotate(false);
    hints.setFormats(ZXing::BarcodeFormat::Code128);
    const ZXing::ImageView view(image.pixels.data(), image.width, image.height, ZXing::ImageFormat::Lum);
    const ZXing::Result result = ZXing::ReadBarcode(view, hints);
    r.valid = result.isValid();
    r.symbologyIdentifier = result.symbologyIdentifier();
    r.text = result.text();
    r.gs1 = result.contentType() == ZXing::ContentType::GS1;
    if (!r.valid) {
        r.error = ZXing::ToString(result.error());
    }
#else
    (void)png;
    r.error = "zxing-cpp not available";
#endif
    return r;
}

} // namespace code128test
