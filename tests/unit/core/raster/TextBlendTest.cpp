// SPDX-License-Identifier: MIT
// Text on the own canvas (copies of cached blends, blended pixel by pixel where glyph ink meets
// ink) against the same draw on a caller's renderer (a texture copy per piece), pixel for pixel.
#include "core/raster/TextStamp.h"
#include "linear/Code39.h"
#include "support/TestSupport.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct TextCase
{
    const char* name;
    std::string text;
    int width;
    int height;
    float fontScale;
    bool evenSpacing;
    SDL_Color fg;
    SDL_Color bg;
};

void Configure(Code39& symbol, const TextCase& c)
{
    symbol.SetTextFontScale(c.fontScale);
    symbol.SetTextEvenSpacing(c.evenSpacing);
    symbol.SetForegroundColor(c.fg.r, c.fg.g, c.fg.b, c.fg.a);
    symbol.SetBackgroundColor(c.bg.r, c.bg.g, c.bg.b, c.bg.a);
}

// RGBA bytes of the draw on a caller's software renderer.
std::vector<std::uint8_t> OnCallersRenderer(const TextCase& c)
{
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, c.width, c.height, 32, SDL_PIXELFORMAT_RGBA32);
    SDL_Renderer* renderer = surface != nullptr ? SDL_CreateSoftwareRenderer(surface) : nullptr;
    std::vector<std::uint8_t> rgba;
    if (renderer != nullptr) {
        Code39 symbol(renderer);
        Configure(symbol, c);
        EXPECT_TRUE(symbol.Draw(c.text, 0, 0, c.width, c.height)) << c.name;
        for (int y = 0; y < c.height; ++y) {
            const auto* row =
                static_cast<const std::uint8_t*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch;
            rgba.insert(rgba.end(), row, row + static_cast<size_t>(c.width) * 4);
        }
        SDL_DestroyRenderer(renderer);
    }
    SDL_FreeSurface(surface);
    return rgba;
}

const SDL_Color kBlack{0, 0, 0, 255};
const SDL_Color kWhite{255, 255, 255, 255};

// Glyph ink meets neighbouring ink with large scales and narrow boxes (boxes of one pixel a
// module, the narrowest a symbol is drawn in); translucent ink blends.
const TextCase kCases[] = {
    {"plain", "LUMEO-39 BENCH", 400, 120, 1.0f, true, kBlack, kWhite},
    {"repeated pieces", "AAAA  BBBB", 300, 100, 1.0f, true, kBlack, kWhite},
    {"large font", "LUMEO-39 BENCH", 400, 120, 2.5f, true, kBlack, kWhite},
    {"crowded", "WMWMWMWMWMWM", 223, 90, 3.0f, true, kBlack, kWhite},
    {"one piece", "LUMEO 39", 300, 100, 1.5f, false, kBlack, kWhite},
    {"colours", "RED ON CREAM", 360, 110, 2.0f, true, SDL_Color{200, 30, 30, 255}, SDL_Color{250, 250, 210, 255}},
    {"translucent ink", "HALF INK", 300, 110, 2.5f, true, SDL_Color{0, 0, 160, 128}, kWhite},
    {"crowded, translucent on translucent", "WMWMWMWM", 159, 90, 3.0f, true, SDL_Color{0, 0, 160, 128},
     SDL_Color{250, 250, 210, 100}},
    {"text shrunk into the box", "WIDE WIDE WIDE", 255, 60, 4.0f, true, kBlack, kWhite},
    {"plain again", "LUMEO-39 BENCH", 400, 120, 1.0f, true, kBlack, kWhite},
};

TEST(TextBlend, OwnCanvasMatchesTheCallersRenderer)
{
    // One object draws every case in turn: what it remembers of earlier draws must not show.
    Code39 own("png");
    for (const TextCase& c : kCases) {
        Configure(own, c);
        ASSERT_TRUE(own.Draw(c.text, 0, 0, c.width, c.height)) << c.name;
        const testsupport::RgbaImage image = testsupport::DecodePng(own.GetImageMemory());
        ASSERT_EQ(image.width, c.width) << c.name;
        const std::vector<std::uint8_t> expected = OnCallersRenderer(c);
        ASSERT_EQ(image.pixels.size(), expected.size()) << c.name;
        size_t differing = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            differing += image.pixels[i] != expected[i] ? 1 : 0;
        }
        EXPECT_EQ(differing, 0u) << c.name;
    }
}

TEST(TextBlend, DrawsAfterThePieceCacheIsEmptiedStayTheSame)
{
    Code39 kept("png8");
    const auto draw = [&kept] {
        EXPECT_TRUE(kept.Draw(std::string("CACHE 123"), 0, 0, 300, 100));
        return kept.GetImageMemory();
    };
    const std::vector<std::uint8_t> before = draw();
    // Another object fills the process-wide piece cache (1024 pieces) and empties it.
    Code39 filler("png8");
    filler.SetTextEvenSpacing(false);
    for (int i = 0; i < 1100; ++i) {
        ASSERT_TRUE(filler.Draw("P" + std::to_string(i), 0, 0, 200, 60));
    }
    EXPECT_EQ(draw(), before);
    kept.SetForegroundColor(0, 0, 200, 255);
    EXPECT_NE(draw(), before);
    kept.SetForegroundColor(0, 0, 0, 255);
    EXPECT_EQ(draw(), before);
}

// The own blend is the fast path of every text draw; on the machines the project builds on it
// must agree with SDL, or every draw with text would fall back to SDL's blit without a word.
TEST(TextBlend, OwnBlendIsLiveOnThisMachine)
{
    EXPECT_TRUE(text_blend::MatchesSdl());
}

} // namespace
