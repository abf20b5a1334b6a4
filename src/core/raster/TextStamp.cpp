// SPDX-License-Identifier: MIT
#include "core/raster/TextStamp.h"

#include "core/Log.h"
#include "core/ProcessLocks.h"
#include "core/raster/Canvas.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace raster {

using barcode_log::Stream;

namespace {

// Blits `source` onto `target` with its top-left corner at (x, y), blended by the source's blend
// mode and colour and alpha modulation: the blit SDL_RenderCopy makes from a texture of it. It
// goes through a surface of its own over the source's pixels: a blit leaves its source linked to
// the destination, and the source (a cached glyph image) is shared by every object and thread.
// How a surface is blitted: its blend mode and colour and alpha modulation.
struct BlitSettings
{
    SDL_BlendMode mode = SDL_BLENDMODE_BLEND;
    std::uint8_t r = 255;
    std::uint8_t g = 255;
    std::uint8_t b = 255;
    std::uint8_t a = 255;

    explicit BlitSettings(SDL_Surface* surface)
    {
        SDL_GetSurfaceBlendMode(surface, &mode);
        SDL_GetSurfaceColorMod(surface, &r, &g, &b);
        SDL_GetSurfaceAlphaMod(surface, &a);
    }

    // Blended by the source's alpha alone.
    bool Plain() const { return mode == SDL_BLENDMODE_BLEND && (r & g & b & a) == 255; }
};

bool BlitThroughView(SDL_Surface* source, SDL_Surface* target, int x, int y)
{
    SDL_Surface* view = nullptr;
    {
        const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
        view = SDL_CreateRGBSurfaceWithFormatFrom(source->pixels, source->w, source->h, source->format->BitsPerPixel,
                                                  source->pitch, source->format->format);
    }
    if (view == nullptr) {
        return false;
    }
    const BlitSettings settings(source);
    SDL_SetSurfaceBlendMode(view, settings.mode);
    SDL_SetSurfaceColorMod(view, settings.r, settings.g, settings.b);
    SDL_SetSurfaceAlphaMod(view, settings.a);
    SDL_Rect dst{x, y, source->w, source->h};
    SDL_BlitSurface(view, nullptr, target, &dst);
    const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
    SDL_FreeSurface(view);
    return true;
}

} // namespace

void Canvas::BlitOwnPixels(SDL_Surface* source, int x, int y)
{
    // The same blit SDL_RenderCopy makes from a texture of this surface: unscaled, clipped to
    // the canvas. It writes nothing outside that rectangle.
    PlaceMarkedRows(y, static_cast<long long>(y) + source->h);
    if (!BlitThroughView(source, m_surface, x, y)) {
        barcode_log::Error(Stream::Err, std::string("SDL_CreateTextureFromSurface error: ") + SDL_GetError());
        return;
    }
    const long long x0 = std::max<long long>(x, 0);
    const long long x1 = std::min<long long>(static_cast<long long>(x) + source->w, m_surface->w);
    const long long y1 = std::min<long long>(static_cast<long long>(y) + source->h, m_surface->h);
    for (long long row = std::max(y, 0); row < y1 && x0 < x1; ++row) {
        MarkWritten(static_cast<int>(row), static_cast<int>(x0), static_cast<int>(x1));
    }
    SDL_SetRenderDrawBlendMode(m_renderer, SDL_BLENDMODE_BLEND);
    m_uniform = false;
}

bool Canvas::UniformUnder(const SDL_Rect& rect, const InkSpan* ink, SDL_Rect* clipped, std::uint32_t* value)
{
    const long long x0 = std::max<long long>(rect.x, 0);
    const long long y0 = std::max<long long>(rect.y, 0);
    const long long x1 = std::min<long long>(static_cast<long long>(rect.x) + rect.w, m_surface->w);
    const long long y1 = std::min<long long>(static_cast<long long>(rect.y) + rect.h, m_surface->h);
    if (x0 >= x1 || y0 >= y1) {
        return false;
    }
    *clipped =
        SDL_Rect{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)};
    if (BlankUnderInk(rect, ink, *clipped)) {
        *value = m_blankValue;
        return true;
    }
    PlaceRows(y0, y1);
    const auto stride = static_cast<size_t>(m_surface->pitch / 4);
    // The columns of row y that count, on the canvas.
    const auto columns = [&](long long y, long long* from, long long* to) {
        *from = x0;
        *to = x1;
        if (ink != nullptr) {
            const InkSpan& span = ink[y - rect.y];
            *from = std::max<long long>(x0, static_cast<long long>(rect.x) + span.begin);
            *to = std::min<long long>(x1, static_cast<long long>(rect.x) + span.end);
        }
    };
    bool found = false;
    std::uint32_t first = 0;
    std::uint32_t differ = 0;
    for (long long y = y0; y < y1; ++y) {
        long long from = 0;
        long long to = 0;
        columns(y, &from, &to);
        const std::uint32_t* row = m_pixels.get() + static_cast<size_t>(y) * stride;
        if (from < to && !found) {
            first = row[from];
            found = true;
        }
        for (long long x = from; x < to; ++x) {
            differ |= row[x] ^ first;
        }
    }
    // No ink on the canvas: nothing changes, whatever lies under it.
    *value = found ? first : m_pixels[static_cast<size_t>(y0) * stride + static_cast<size_t>(x0)];
    return differ == 0;
}

bool Canvas::BlankUnderInk(const SDL_Rect& rect, const InkSpan* ink, const SDL_Rect& clipped) const
{
    if (ink == nullptr || m_rowSource.empty()) {
        return false;
    }
    bool inked = false;
    const long long left = clipped.x;
    const long long right = static_cast<long long>(clipped.x) + clipped.w;
    const InkSpan* span = ink + (static_cast<long long>(clipped.y) - rect.y);
    const int* source = m_rowSource.data();
    for (int y = clipped.y; y < clipped.y + clipped.h; ++y, ++span) {
        const long long from = std::max(left, static_cast<long long>(rect.x) + span->begin);
        const long long to = std::min(right, static_cast<long long>(rect.x) + span->end);
        if (from >= to) {
            continue;
        }
        inked = true;
        if (source[y] == kBlankRow) {
            continue;
        }
        if (source[y] != y || !m_textMarksValid) {
            return false;
        }
        const InkSpan& marked = m_textMarks[static_cast<size_t>(y)];
        if (marked.begin > marked.end || (from < marked.end && to > marked.begin)) {
            return false;
        }
    }
    return inked;
}

SDL_Surface* BlendOver(SDL_Surface* source, std::uint32_t under)
{
    SDL_Surface* block = nullptr;
    {
        const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
        block = SDL_CreateRGBSurfaceWithFormat(0, source->w, source->h, 32, SDL_PIXELFORMAT_ABGR8888);
    }
    if (block == nullptr) {
        return nullptr;
    }
    if (SDL_FillRect(block, nullptr, under) != 0 || !BlitThroughView(source, block, 0, 0)) {
        const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
        SDL_FreeSurface(block);
        return nullptr;
    }
    return block;
}

void Canvas::CopyBlended(SDL_Surface* block, int x, int y, const SDL_Rect& clipped, const InkSpan* ink)
{
    PlaceMarkedRows(clipped.y, static_cast<long long>(clipped.y) + clipped.h);
    const auto stride = static_cast<size_t>(m_surface->pitch / 4);
    const auto pitch = static_cast<size_t>(block->pitch);
    const int left = clipped.x;
    const int right = clipped.x + clipped.w;
    for (int row = 0; row < clipped.h; ++row) {
        const int blockRow = clipped.y - y + row;
        int from = left;
        int to = right;
        if (ink != nullptr) {
            from = std::max(from, x + ink[blockRow].begin);
            to = std::min(to, x + ink[blockRow].end);
        }
        if (from >= to) {
            continue;
        }
        const auto* source = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(block->pixels)
                                                                    + static_cast<size_t>(blockRow) * pitch);
        std::memcpy(m_pixels.get() + static_cast<size_t>(clipped.y + row) * stride + from, source + (from - x),
                    static_cast<size_t>(to - from) * sizeof(std::uint32_t));
        MarkWritten(clipped.y + row, from, to);
    }
    SDL_SetRenderDrawBlendMode(m_renderer, SDL_BLENDMODE_BLEND);
    m_uniform = false;
}

// A text pixel (ARGB8888, straight alpha) blended over a canvas pixel (ABGR8888) as SDL's blit
// of that format pair blends it: each colour channel moves by (s - d) a / 256, rounded down,
// and the alpha becomes a + (255 - a) da / 256; a transparent source leaves the canvas as it
// is and an opaque one replaces it.
std::uint32_t BlendTextPixel(std::uint32_t s, std::uint32_t d)
{
    const auto a = static_cast<int>(s >> 24);
    if (a == 0) {
        return d;
    }
    const auto sr = static_cast<int>((s >> 16) & 0xFF);
    const auto sg = static_cast<int>((s >> 8) & 0xFF);
    const auto sb = static_cast<int>(s & 0xFF);
    if (a == 255) {
        return 0xFF000000u | static_cast<std::uint32_t>(sb << 16 | sg << 8 | sr);
    }
    const auto dr = static_cast<int>(d & 0xFF);
    const auto dg = static_cast<int>((d >> 8) & 0xFF);
    const auto db = static_cast<int>((d >> 16) & 0xFF);
    const auto da = static_cast<int>(d >> 24);
    // Floor division by 256 of a signed product, without shifting a negative value.
    const auto move = [a](int from, int to) { return from + ((to - from) * a + 65280) / 256 - 255; };
    const int r = move(dr, sr);
    const int g = move(dg, sg);
    const int b = move(db, sb);
    const int alpha = a + ((255 - a) * da) / 256;
    return static_cast<std::uint32_t>(alpha) << 24 | static_cast<std::uint32_t>(b << 16 | g << 8 | r);
}

} // namespace raster

namespace text_blend {

// Whether BlendTextPixel gives exactly what SDL's blit gives on this machine (its blitters
// differ by processor and library version): checked once, on every alpha over varied colours
// and canvas alphas, in blits of every width up to 16 pixels (the tails of vector loops) and a
// wide one.
bool MatchesSdl()
{
    static const bool same = [] {
        constexpr int kWidth = 256;
        constexpr int kHeight = 24;
        std::unique_lock<std::mutex> surfaces(process_locks::Surfaces());
        SDL_Surface* source = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_ARGB8888);
        SDL_Surface* canvas = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_ABGR8888);
        surfaces.unlock();
        bool ok = source != nullptr && canvas != nullptr && SDL_MUSTLOCK(source) == 0 && SDL_MUSTLOCK(canvas) == 0
                  && SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_BLEND) == 0;
        std::vector<std::uint32_t> expected;
        if (ok) {
            std::uint32_t seed = 0x2545F491u;
            const auto next = [&seed] {
                seed ^= seed << 13;
                seed ^= seed >> 17;
                seed ^= seed << 5;
                return seed;
            };
            for (int y = 0; y < kHeight; ++y) {
                auto* s = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(source->pixels)
                                                           + static_cast<size_t>(y) * source->pitch);
                auto* d = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(canvas->pixels)
                                                           + static_cast<size_t>(y) * canvas->pitch);
                for (int x = 0; x < kWidth; ++x) {
                    const std::uint32_t alpha = static_cast<std::uint32_t>(x + 7 * y) & 0xFF;
                    s[x] = alpha << 24 | (next() & 0xFFFFFF);
                    // Opaque canvases mostly, as under text; some of every alpha.
                    d[x] = y % 3 == 0 ? next() : 0xFF000000u | (next() & 0xFFFFFF);
                    expected.push_back(raster::BlendTextPixel(s[x], d[x]));
                }
            }
            // Every other row in one blit, the others in blits of 1, 2, .. 16 pixels side by side.
            for (int y = 0; y < kHeight && ok; ++y) {
                for (int x = 0, width = 1; x < kWidth && ok; x += width, width = width % 16 + 1) {
                    SDL_Rect from{x, y, y % 2 == 0 ? kWidth : std::min(width, kWidth - x), 1};
                    SDL_Rect to = from;
                    ok = SDL_BlitSurface(source, &from, canvas, &to) == 0;
                    if (y % 2 == 0) {
                        break;
                    }
                }
            }
            for (int y = 0; y < kHeight && ok; ++y) {
                const auto* d = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(canvas->pixels)
                                                                       + static_cast<size_t>(y) * canvas->pitch);
                ok = std::equal(d, d + kWidth, expected.begin() + static_cast<std::ptrdiff_t>(y) * kWidth);
            }
        }
        surfaces.lock();
        SDL_FreeSurface(source);
        SDL_FreeSurface(canvas);
        return ok;
    }();
    return same;
}

} // namespace text_blend

namespace raster {

bool Canvas::MixedUnder(SDL_Surface* source, std::uint32_t* under) const
{
    if (m_rowSource.empty() || m_surface->format->format != SDL_PIXELFORMAT_ABGR8888 || source->format == nullptr
        || source->format->format != SDL_PIXELFORMAT_ARGB8888 || SDL_MUSTLOCK(source)) {
        return false;
    }
    if (!BlitSettings(source).Plain() || !text_blend::MatchesSdl()) {
        return false;
    }
    *under = m_blankValue;
    return true;
}

void Canvas::BlendMixed(SDL_Surface* source, SDL_Surface* block, std::uint32_t under, int x, int y,
                             const SDL_Rect& clipped, const InkSpan* ink)
{
    PlaceMarkedRows(clipped.y, static_cast<long long>(clipped.y) + clipped.h);
    const auto stride = static_cast<size_t>(m_surface->pitch / 4);
    const auto row = [](SDL_Surface* s, int r) {
        return reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(s->pixels)
                                                      + static_cast<size_t>(r) * static_cast<size_t>(s->pitch));
    };
    for (int r = 0; r < clipped.h; ++r) {
        const int sourceRow = clipped.y - y + r;
        const int from = std::max(clipped.x, x + ink[sourceRow].begin);
        const int to = std::min(clipped.x + clipped.w, x + ink[sourceRow].end);
        if (from >= to) {
            continue;
        }
        const std::uint32_t* text = row(source, sourceRow);
        const std::uint32_t* blended = row(block, sourceRow);
        std::uint32_t* canvas = m_pixels.get() + static_cast<size_t>(clipped.y + r) * stride;
        for (int c = from; c < to; ++c) {
            const std::uint32_t d = canvas[c];
            canvas[c] = d == under ? blended[c - x] : BlendTextPixel(text[c - x], d);
        }
        MarkWritten(clipped.y + r, from, to);
    }
    SDL_SetRenderDrawBlendMode(m_renderer, SDL_BLENDMODE_BLEND);
    m_uniform = false;
}

} // namespace raster
