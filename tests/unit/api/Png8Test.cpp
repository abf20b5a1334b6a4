// SPDX-License-Identifier: MIT
// The "png8" output format: the pixels of "png" in a grey or palette PNG, read back by libpng.
#include "barcode_lumeo.h"
#include "core/BarcodeBase.h"
#include "core/png/CompactPng.h"
#include "support/OutputCorpus.h"
#include "support/TestSupport.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <png.h>
#include <string>
#include <vector>

namespace {

using testsupport::CorpusEntry;
using testsupport::RgbaImage;

// Decodes with libpng's simplified reader into 8-bit RGBA; fails the test when it cannot.
RgbaImage ReadWithLibpng(const std::vector<std::uint8_t>& file)
{
    RgbaImage image;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&png, file.data(), file.size()) == 0) {
        ADD_FAILURE() << "libpng: " << png.message;
        return image;
    }
    png.format = PNG_FORMAT_RGBA;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.pixels.resize(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr) == 0) {
        ADD_FAILURE() << "libpng: " << png.message;
    }
    return image;
}

int ColourType(const std::vector<std::uint8_t>& png)
{
    return png.size() > 25 ? png[25] : -1;
}

TEST(Png8, CorpusDecodesToThePixelsOfPng)
{
    int compared = 0;
    int fallbacks = 0;
    size_t compactBytes = 0;
    size_t rgbaBytes = 0;
    for (const CorpusEntry& e : testsupport::OutputCorpus()) {
        const testsupport::CorpusOutput rgba = testsupport::RunCorpusEntry(e, "png", false);
        if (!rgba.available || rgba.image.empty()) {
            continue;
        }
        const testsupport::CorpusOutput compact = testsupport::RunCorpusEntry(e, "png8", false);
        SCOPED_TRACE(e.name);
        EXPECT_EQ(compact.drawn, rgba.drawn);
        const RgbaImage expected = ReadWithLibpng(rgba.image);
        const RgbaImage actual = ReadWithLibpng(compact.image);
        EXPECT_EQ(actual.width, expected.width);
        EXPECT_EQ(actual.height, expected.height);
        EXPECT_TRUE(actual.pixels == expected.pixels);
        // Barcodes hold few colours: grey or palette; beyond 256 colours (antialiased text in
        // many tones) the RGBA file itself.
        if (ColourType(compact.image) == 6) {
            EXPECT_EQ(compact.image, rgba.image);
            ++fallbacks;
        } else {
            EXPECT_TRUE(ColourType(compact.image) == 0 || ColourType(compact.image) == 3) << ColourType(compact.image);
        }
        compactBytes += compact.image.size();
        rgbaBytes += rgba.image.size();
        // The data URI carries the same file under the PNG label.
        EXPECT_EQ(compact.base64,
                  "data:image/png;base64," + BarcodeBase::Base64Encode(compact.image.data(), compact.image.size()));
        ++compared;
    }
    EXPECT_GT(compared, 40);
    EXPECT_LT(fallbacks, 3);
    EXPECT_LT(compactBytes, rgbaBytes * 3 / 4) << compactBytes << " against " << rgbaBytes;
}

struct SurfaceDeleter
{
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};

// A w x h RGBA32 surface whose pixel i is colours[i % count] (R, G, B, A each).
std::unique_ptr<SDL_Surface, SurfaceDeleter> Synthetic(int w, int h, const std::vector<SDL_Color>& colours)
{
    std::unique_ptr<SDL_Surface, SurfaceDeleter> s(SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGBA32));
    for (int y = 0; y < h; ++y) {
        auto* row = static_cast<std::uint8_t*>(s->pixels) + static_cast<size_t>(y) * s->pitch;
        for (int x = 0; x < w; ++x) {
            const SDL_Color& c = colours[static_cast<size_t>(y * w + x) % colours.size()];
            row[4 * x] = c.r;
            row[4 * x + 1] = c.g;
            row[4 * x + 2] = c.b;
            row[4 * x + 3] = c.a;
        }
    }
    return s;
}

std::vector<SDL_Color> Greys(int count, int step)
{
    std::vector<SDL_Color> out;
    for (int i = 0; i < count; ++i) {
        const auto v = static_cast<std::uint8_t>(i * step);
        out.push_back({v, v, v, 255});
    }
    return out;
}

std::vector<SDL_Color> Tints(int count, std::uint8_t alpha)
{
    std::vector<SDL_Color> out;
    for (int i = 0; i < count; ++i) {
        out.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                       static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(i % 2 == 0 ? alpha : 255)});
    }
    return out;
}

TEST(Png8, EncodingFollowsTheColours)
{
    struct Row
    {
        const char* name;
        std::vector<SDL_Color> colours;
        bool grey;
        int depth;
    };

    const Row rows[] = {
        {"black and white", Greys(2, 255), true, 1},
        {"four greys", Greys(4, 85), true, 2},
        {"sixteen greys", Greys(16, 17), true, 4},
        {"antialiased greys", Greys(100, 2), true, 8},
        {"two colours", {{200, 30, 40, 255}, {240, 240, 200, 255}}, false, 1},
        {"three greys off the 2-bit levels", Greys(3, 100), false, 2},
        {"colours with alpha", Tints(10, 128), false, 4},
        {"transparent background", {{0, 0, 0, 255}, {255, 255, 255, 0}}, false, 1},
        {"256 colours", Tints(256, 7), false, 8},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (int width : {1, 13, 64}) {
            const auto surface = Synthetic(width, 7, row.colours);
            const compact_png::Result r = compact_png::Encode(surface.get());
            ASSERT_EQ(r.outcome, compact_png::Outcome::Written);
            if (width * 7 >= static_cast<int>(row.colours.size())) { // every colour present
                EXPECT_EQ(r.grey, row.grey);
                EXPECT_EQ(r.bitDepth, row.depth);
            }
            const RgbaImage decoded = ReadWithLibpng(r.png);
            ASSERT_EQ(decoded.width, width);
            EXPECT_EQ(0, std::memcmp(decoded.pixels.data(), surface->pixels, decoded.pixels.size()));
        }
    }
}

TEST(Png8, RowsWiderThanTheDeflateWindow)
{
    const auto surface = Synthetic(33000, 3, Tints(20, 255)); // 8-bit rows of 33,001 bytes
    const compact_png::Result r = compact_png::Encode(surface.get());
    ASSERT_EQ(r.outcome, compact_png::Outcome::Written);
    const RgbaImage decoded = ReadWithLibpng(r.png);
    ASSERT_EQ(decoded.width, 33000);
    EXPECT_EQ(0, std::memcmp(decoded.pixels.data(), surface->pixels, decoded.pixels.size()));
}

TEST(Png8, MoreThan256ColoursKeepTheRgbaEncoding)
{
    std::vector<SDL_Color> many;
    for (int i = 0; i < 257; ++i) {
        many.push_back({static_cast<std::uint8_t>(i % 256), static_cast<std::uint8_t>(i / 256), 9, 200});
    }
    const auto surface = Synthetic(40, 10, many);
    EXPECT_EQ(compact_png::Encode(surface.get()).outcome, compact_png::Outcome::TooManyColours);
    EXPECT_EQ(BarcodeBase::SaveSurfaceToCompactPng(surface.get()), BarcodeBase::SaveSurfaceToMemory(surface.get()));
}

TEST(Png8, RowsGivenByPointerAreTheirPixels)
{
    // Rows 1-3 share one pointer (known copies); rows 0 and 4 are alike without being told.
    const auto surface = Synthetic(31, 3, Tints(40, 90));
    const auto* pixels = static_cast<const std::uint32_t*>(surface->pixels);
    const std::uint32_t* rows[] = {pixels, pixels + 31, pixels + 31, pixels + 31, pixels, pixels + 62};
    const compact_png::Result r = compact_png::Encode(31, 6, rows);
    ASSERT_EQ(r.outcome, compact_png::Outcome::Written);
    const RgbaImage decoded = ReadWithLibpng(r.png);
    ASSERT_EQ(decoded.height, 6);
    for (int y = 0; y < 6; ++y) {
        EXPECT_EQ(0, std::memcmp(decoded.pixels.data() + 4 * 31 * y, rows[y], 4 * 31)) << "row " << y;
    }
}

// Tall and narrow png8 canvases: most rows repeat the row above, so the deflater takes long
// copies between few distinct rows. Such canvases once wrote past the deflater's buffers (a
// heap overflow, and "double free or corruption" for PDF417). Each row's png8 file must decode
// to the pixels of its "png" file; the sanitizer build runs these rows too.
TEST(Png8, TallCanvasesDecodeToThePixelsOfPng)
{
    struct Row
    {
        const char* name;
        int type;
        std::function<void(void*)> setup;
        std::function<bool(void*)> draw;
    };
    const auto draw1d = [](const char* text, int w, int h) {
        return [=](void* handle) { return barcode_draw_1d(handle, text, w, h); };
    };
    std::vector<Row> rows = {
        {"Code 39 with extreme setters", 0,
         [](void* h) {
             barcode_set_px_adjust_black(h, -100000);
             barcode_set_text_font_scale(h, 1e-300);
             barcode_set_text_gap(h, -0.0);
         },
         draw1d("ABC-123", 1033, 2237)},
        {"PDF417 with rows 10 high", 18, [](void* h) { barcode_set_y_height(h, 10); },
         [](void* h) { return barcode_draw_2d(h, "PDF417 tall rows, png8 ", 1128); }},
        {"PDF417 120x16000", 18, [](void*) {},
         [](void* h) { return barcode_draw_2d_rect(h, "PDF417_tall", 120, 16000); }},
        {"Japan Post 4000 high", 15, [](void*) {},
         [](void* h) { return barcode_draw_yubin_with_width(h, "1060032-3-2-1", 400, 4000); }},
        {"payment code 4000 high", 3, [](void*) {},
         [](void* h) { return barcode_draw_convenience(h, "9191234500012345678901234567810261231000150", 600, 4000); }},
        {"DataBar Expanded stacked 4000 high", 14, [](void*) {},
         [](void* h) { return barcode_draw_stacked(h, "0190012345678908", 200, 4000); }},
        {"QR 100x4000", 16, [](void*) {}, [](void* h) { return barcode_draw_2d_rect(h, "TALL", 100, 4000); }},
        {"Data Matrix 100x4000", 17, [](void*) {}, [](void* h) { return barcode_draw_2d_rect(h, "TALL", 100, 4000); }},
        // Found by fuzz_capi's call mutator with the overflow put back.
        {"Industrial 2 of 5 294x4014", 5, [](void*) {}, draw1d("20240415", 294, 4014)},
        {"DataBar Expanded 341x4000", 14, [](void*) {}, draw1d("0195012345678903{AI}3103001750", 341, 4000)},
    };
    // Every linear type, 100 x 4,000 and 120 x 16,000.
    const char* linearText[16] = {"ABC",     "ABC",      "ABC",          "{FNC1}0112345678901231",
                                  "A123B",   "1234",     "1234",         "4901234",
                                  "490123456789", "01234567890", "0123456", "1234",
                                  "0001234567890", "0001234567890", "0190012345678908", "1060032-3-2-1"};
    for (int type = 0; type < 16; ++type) {
        for (const auto& box : {std::pair<int, int>{100, 4000}, std::pair<int, int>{120, 16000}}) {
            rows.push_back({"linear", type, [](void*) {}, draw1d(linearText[type], box.first, box.second)});
        }
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name) + ", type " + std::to_string(row.type));
        std::vector<std::uint8_t> images[2];
        bool drawn[2] = {false, false};
        const char* formats[2] = {"png8", "png"};
        for (int f = 0; f < 2; ++f) {
            testsupport::Handle h(row.type);
            barcode_set_output_format(h.h, formats[f]);
            row.setup(h.h);
            drawn[f] = row.draw(h.h);
            images[f] = testsupport::ImageBytes(h.h);
        }
        EXPECT_EQ(drawn[0], drawn[1]);
        if (!drawn[1]) {
            continue; // a box the symbol refuses is refused in both formats
        }
        const RgbaImage expected = ReadWithLibpng(images[1]);
        const RgbaImage actual = ReadWithLibpng(images[0]);
        EXPECT_EQ(actual.width, expected.width);
        EXPECT_EQ(actual.height, expected.height);
        EXPECT_TRUE(actual.pixels == expected.pixels);
    }
}

// The image of a draw of `text` by a new handle in `format`, colours set first (a translucent
// foreground: blended and replaced pixels differ).
std::vector<std::uint8_t> FreshImage(int type, const char* format, const char* text, int bg)
{
    testsupport::Handle h(type);
    barcode_set_output_format(h.h, format);
    barcode_set_background_color(h.h, bg, 255, bg, 255);
    barcode_set_foreground_color(h.h, 20, 40, 160, 140);
    const bool drawn = type >= 16 ? barcode_draw_2d(h.h, text, 120) : barcode_draw_1d(h.h, text, 320, 110);
    EXPECT_TRUE(drawn);
    return testsupport::ImageBytes(h.h);
}

TEST(Png8, ACanvasServesTheNextDrawAsANewOne)
{
    // A handle draws twice at one size (its canvas is kept): the second image is the one a new
    // handle makes, in either format, after a format change too.
    for (int type : {0, 8, 16}) {
        for (const char* format : {"png", "png8"}) {
            SCOPED_TRACE(std::to_string(type) + " " + format);
            testsupport::Handle h(type);
            barcode_set_output_format(h.h, "png8");
            ASSERT_TRUE(type >= 16 ? barcode_draw_2d(h.h, "FIRST 11", 120)
                                   : barcode_draw_1d(h.h, type == 8 ? "490123456789" : "FIRST 11", 320, 110));
            barcode_set_background_color(h.h, 200, 255, 200, 255);
            barcode_set_foreground_color(h.h, 20, 40, 160, 140);
            barcode_set_output_format(h.h, format);
            const char* text = type == 8 ? "453456789012" : "SECOND 2";
            ASSERT_TRUE(type >= 16 ? barcode_draw_2d(h.h, text, 120) : barcode_draw_1d(h.h, text, 320, 110));
            EXPECT_EQ(testsupport::ImageBytes(h.h), FreshImage(type, format, text, 200));
        }
    }
}

TEST(Png8, FetchedAsPngAfterThePng8Draw)
{
    testsupport::Handle h(2);
    barcode_set_output_format(h.h, "png8");
    barcode_set_foreground_color(h.h, 20, 40, 160, 140);
    ASSERT_TRUE(barcode_draw_1d(h.h, "Lumeo 128", 320, 110));
    barcode_set_output_format(h.h, "png");
    EXPECT_EQ(testsupport::ImageBytes(h.h), FreshImage(2, "png", "Lumeo 128", 255));
}

TEST(Png8, IsARasterFormat)
{
    testsupport::Handle h(2);
    barcode_set_output_format(h.h, "png8");
    EXPECT_FALSE(barcode_is_svg_output(h.h));
    ASSERT_TRUE(barcode_draw_1d(h.h, "png8", 300, 100));
    EXPECT_STREQ(barcode_get_svg(h.h), "");
    const std::string uri = barcode_get_base64(h.h);
    EXPECT_EQ(uri.rfind("data:image/png;base64,iVBORw0KGgo", 0), 0u) << uri.substr(0, 40);
    // Like "png", the image is fetched once per draw.
    EXPECT_EQ(std::string(barcode_get_base64(h.h)), BarcodeBase::GetFallbackImage());
}

} // namespace
