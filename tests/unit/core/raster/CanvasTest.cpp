// SPDX-License-Identifier: MIT
// The own-pixel canvas against SDL's software renderer: the same fills, clears and batches of
// rectangles on random rectangles (many partly or wholly off the canvas) must leave the same
// pixels, in the rows the encoders read as in the surface, whatever the colour and blend state.
#include "core/raster/Canvas.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// SDL's own result: a surface of the canvas's format painted by a software renderer.
class Reference
{
public:
    Reference(int width, int height, const SDL_Color& fill)
    {
        m_surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ABGR8888);
        if (m_surface != nullptr) {
            SDL_FillRect(m_surface, nullptr, SDL_MapRGBA(m_surface->format, fill.r, fill.g, fill.b, fill.a));
            m_renderer = SDL_CreateSoftwareRenderer(m_surface);
        }
    }
    ~Reference()
    {
        SDL_DestroyRenderer(m_renderer);
        SDL_FreeSurface(m_surface);
    }
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;

    SDL_Renderer* Renderer() const { return m_renderer; }
    SDL_Surface* Surface() const { return m_surface; }

private:
    SDL_Surface* m_surface = nullptr;
    SDL_Renderer* m_renderer = nullptr;
};

std::vector<std::uint32_t> Pixels(SDL_Surface* s)
{
    std::vector<std::uint32_t> out;
    for (int y = 0; y < s->h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(s->pixels)
                                                                 + static_cast<size_t>(y) * s->pitch);
        out.insert(out.end(), row, row + s->w);
    }
    return out;
}

// The image an encoder reads: through the row table when the canvas defers rows.
std::vector<std::uint32_t> EncoderView(raster::Canvas& canvas)
{
    const std::vector<const std::uint32_t*> rows = canvas.RowPointers();
    if (rows.empty()) {
        return Pixels(canvas.Surface());
    }
    std::vector<std::uint32_t> out;
    for (const std::uint32_t* row : rows) {
        out.insert(out.end(), row, row + canvas.Surface()->w);
    }
    return out;
}

size_t Differing(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b)
{
    size_t n = a.size() == b.size() ? 0 : a.size() + b.size();
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        n += a[i] != b[i] ? 1 : 0;
    }
    return n;
}

SDL_Rect RandomRect(std::mt19937& rng, int width, int height)
{
    std::uniform_int_distribution<int> x(-width / 2, width + 4);
    std::uniform_int_distribution<int> y(-height / 2, height + 4);
    std::uniform_int_distribution<int> w(-2, width);
    std::uniform_int_distribution<int> h(-2, height);
    return SDL_Rect{x(rng), y(rng), w(rng), h(rng)};
}

struct ColourCase
{
    const char* name;
    SDL_Color background;
    SDL_Color ink;
    bool blending; // the renderer blends (as after text), else fills replace pixels
};

const ColourCase kColours[] = {
    {"black on white", {255, 255, 255, 255}, {0, 0, 0, 255}, false},
    {"colours", {250, 250, 210, 255}, {200, 30, 30, 255}, false},
    {"translucent ink replaces", {255, 255, 255, 255}, {0, 0, 160, 128}, false},
    {"translucent on translucent", {250, 250, 210, 100}, {0, 0, 160, 128}, false},
    {"transparent background", {0, 0, 0, 0}, {10, 20, 30, 255}, false},
    {"translucent ink blends", {255, 255, 255, 255}, {0, 0, 160, 128}, true},
    {"blending on translucent", {250, 250, 210, 100}, {90, 0, 60, 77}, true},
    {"opaque ink, blending renderer", {255, 255, 255, 255}, {0, 0, 0, 255}, true},
};

TEST(Canvas, OwnFillsMatchSdlOnRandomRectangles)
{
    std::mt19937 rng(20240611u);
    for (const ColourCase& c : kColours) {
        SCOPED_TRACE(c.name);
        for (const auto& size : {std::pair<int, int>{37, 23}, {160, 90}, {1, 1}}) {
            const int w = size.first;
            const int h = size.second;
            raster::Canvas canvas;
            ASSERT_TRUE(canvas.Create(w, h, c.background));
            ASSERT_TRUE(canvas.PaintsOwnPixels());
            Reference ref(w, h, c.background);
            ASSERT_NE(ref.Renderer(), nullptr);
            const SDL_BlendMode mode = c.blending ? SDL_BLENDMODE_BLEND : SDL_BLENDMODE_NONE;
            SDL_SetRenderDrawBlendMode(canvas.Renderer(), mode);
            SDL_SetRenderDrawBlendMode(ref.Renderer(), mode);
            EXPECT_EQ(canvas.FillsReplacePixels(), !c.blending);
            for (int i = 0; i < 40; ++i) {
                const SDL_Rect r = RandomRect(rng, w, h);
                // Now and then a whole-canvas fill, which an own canvas takes as a new blank.
                const SDL_Rect rect = i % 13 == 7 ? SDL_Rect{0, 0, w, h} : r;
                const SDL_Color colour = i % 3 == 2 ? c.background : c.ink;
                canvas.FillRect(rect, colour);
                SDL_SetRenderDrawColor(ref.Renderer(), colour.r, colour.g, colour.b, colour.a);
                SDL_RenderFillRect(ref.Renderer(), &rect);
            }
            EXPECT_EQ(Differing(EncoderView(canvas), Pixels(ref.Surface())), 0u) << w << "x" << h << ", rows";
            canvas.PlaceAllRows();
            EXPECT_EQ(Differing(Pixels(canvas.Surface()), Pixels(ref.Surface())), 0u) << w << "x" << h;
        }
    }
}

TEST(Canvas, BatchesOfBarsMatchSdlsFillRects)
{
    // Bars in bands (the linear frame's batches, copied down row by row) and ragged batches
    // (rows of a 2D symbol, overlapping, off the canvas).
    std::mt19937 rng(77u);
    for (const ColourCase& c : kColours) {
        SCOPED_TRACE(c.name);
        const int w = 120;
        const int h = 70;
        raster::Canvas canvas;
        ASSERT_TRUE(canvas.Create(w, h, c.background));
        Reference ref(w, h, c.background);
        const SDL_BlendMode mode = c.blending ? SDL_BLENDMODE_BLEND : SDL_BLENDMODE_NONE;
        SDL_SetRenderDrawBlendMode(canvas.Renderer(), mode);
        SDL_SetRenderDrawBlendMode(ref.Renderer(), mode);
        for (int batch = 0; batch < 6; ++batch) {
            std::vector<SDL_Rect> rects;
            if (batch % 2 == 0) {
                std::uniform_int_distribution<int> top(-5, h - 1);
                std::uniform_int_distribution<int> rows(1, h);
                const int y = top(rng);
                const int n = rows(rng);
                for (int x = -3; x < w + 3; x += 1 + static_cast<int>(rng() % 7)) {
                    rects.push_back(SDL_Rect{x, y, 1 + static_cast<int>(rng() % 4), n});
                }
            } else {
                for (int i = 0; i < 25; ++i) {
                    rects.push_back(RandomRect(rng, w, h));
                }
            }
            canvas.FillRects(rects, c.ink);
            SDL_SetRenderDrawColor(ref.Renderer(), c.ink.r, c.ink.g, c.ink.b, c.ink.a);
            SDL_RenderFillRects(ref.Renderer(), rects.data(), static_cast<int>(rects.size()));
            EXPECT_EQ(Differing(EncoderView(canvas), Pixels(ref.Surface())), 0u) << "batch " << batch;
        }
        canvas.PlaceAllRows();
        EXPECT_EQ(Differing(Pixels(canvas.Surface()), Pixels(ref.Surface())), 0u);
    }
}

TEST(Canvas, ClearAndReuseStartFromTheNewColour)
{
    raster::Canvas canvas;
    ASSERT_TRUE(canvas.Create(50, 20, SDL_Color{255, 255, 255, 255}));
    canvas.FillRect(SDL_Rect{5, 5, 10, 10}, SDL_Color{0, 0, 0, 255});
    SDL_SetRenderDrawBlendMode(canvas.Renderer(), SDL_BLENDMODE_BLEND); // as after text
    // The same size again: the surface is taken anew, filled and replacing pixels again.
    const SDL_Color cream{250, 250, 210, 200};
    ASSERT_TRUE(canvas.Create(50, 20, cream));
    EXPECT_TRUE(canvas.FillsReplacePixels());
    Reference ref(50, 20, cream);
    EXPECT_EQ(Differing(EncoderView(canvas), Pixels(ref.Surface())), 0u);
    canvas.Clear(SDL_Color{1, 2, 3, 4});
    Reference cleared(50, 20, SDL_Color{1, 2, 3, 4});
    canvas.PlaceAllRows();
    EXPECT_EQ(Differing(Pixels(canvas.Surface()), Pixels(cleared.Surface())), 0u);
}

TEST(Canvas, WholePixelSpansRoundBothEdges)
{
    struct Row
    {
        float from;
        float size;
        int first;
        int count;
    };
    const Row rows[] = {
        {0.0f, 2.0f, 0, 2},   {0.4f, 1.2f, 0, 2},  {0.6f, 1.2f, 1, 1},  {2.5f, 1.0f, 2, 2}, // 2.5 and 3.5 to even
        {0.2f, 0.2f, 0, 1},   {-1.5f, 1.0f, -2, 2}, {3.0f, 0.0f, 3, 0}, {1.0f, -1.0f, 1, -1},
    };
    for (const Row& r : rows) {
        int first = 0;
        int count = 0;
        raster::ToSpan(r.from, r.size, &first, &count);
        EXPECT_EQ(first, r.first) << r.from << "+" << r.size;
        EXPECT_EQ(count, r.count) << r.from << "+" << r.size;
    }
    SDL_Rect rect{};
    EXPECT_FALSE(raster::ToRect(0.0f, 0.0f, 0.0f, 5.0f, &rect));
    EXPECT_TRUE(raster::ToRect(0.2f, 0.2f, 0.2f, 0.2f, &rect));
    EXPECT_EQ(rect.w, 1);
    EXPECT_EQ(rect.h, 1);
}

TEST(Canvas, ImpossibleSizesLeaveNoCanvas)
{
    raster::Canvas canvas;
    for (const auto& size : {std::pair<int, int>{0, 10}, {10, -1}, {1 << 30, 2}}) {
        EXPECT_FALSE(canvas.Create(size.first, size.second, SDL_Color{0, 0, 0, 255}));
        EXPECT_EQ(canvas.Surface(), nullptr);
        EXPECT_FALSE(canvas.PaintsOwnPixels());
    }
}

} // namespace
