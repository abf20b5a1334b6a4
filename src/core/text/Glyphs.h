// SPDX-License-Identifier: MIT
#pragma once

#include "core/raster/InkSpan.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Rendered text: fonts by size, rendered pieces, text extents and blends of pieces, cached per
// thread. A thread draws with a set of fonts and caches lent to it from a process-wide pool for
// as long as it holds a lease: a font, a rendered piece or an extent is used by one thread at a
// time, so threads drawing text run side by side without a lock held over their draws.
namespace glyph_cache {

// A hold on the calling thread's set. Leases nest (the thread keeps its set until the
// outermost ends); a default lease holds nothing.
class Lease
{
public:
    Lease() = default;
    Lease(Lease&& other) noexcept : m_held(other.m_held) { other.m_held = false; }
    Lease& operator=(Lease&& other) noexcept;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease() { Release(); }

private:
    friend Lease Lock();
    void Release() noexcept;
    bool m_held = false;
};

// Takes (or keeps) the calling thread's set.
Lease Lock();

// A cached font of `size` points from the calling thread's set (null when none opens). Hold
// the lease of Lock() from the call until the last use of the font.
TTF_Font* CachedFont(int size);
// Sets the hinting of a font only when it differs: every change empties the font's glyph cache.
void UseHinting(TTF_Font* font, int hinting);
// TTF_SizeUTF8 of `text` with `font`, the cached font of `size` points, remembered per size,
// hinting and text. False when SDL_ttf cannot measure it. Hold Lock().
bool Measure(TTF_Font* font, int size, const std::string& text, int* width, int* height);

// What the cache keeps of a rendered piece (in its userdata): its ink, its cache key, and the
// blend of it made last (an entry of the thread's blend cache, null when none) with the value
// under it.
struct Piece
{
    std::vector<raster::InkSpan> ink;
    std::string key;
    int inkTop = 0; // the rows [inkTop, inkBottom) hold all its ink
    int inkBottom = 0;
    SDL_Surface* blend = nullptr;
    std::uint32_t under = 0;
};

// The cache's record of a rendered piece; null for a piece that is not cached.
const Piece* PieceOf(const SDL_Surface* piece);

// How a piece is blended over a region holding one value (a new surface of its size; null
// with the reason in SDL_GetError when SDL fails).
using BlendOverFn = SDL_Surface* (*)(SDL_Surface* piece, std::uint32_t under);
// The blend of the cached `piece` over `under`, made once by `blendOver` and kept in the
// thread's cache (bounded, emptied with the pieces); null when blendOver fails. Hold Lock().
SDL_Surface* BlendOf(SDL_Surface* piece, std::uint32_t under, BlendOverFn blendOver);

// Renders text pieces for one drawing object: through the thread's cache, remembering the
// pieces of one byte itself, and keeping a piece too large for the cache until it is drawn.
class PieceRenderer
{
public:
    PieceRenderer();
    ~PieceRenderer();
    PieceRenderer(const PieceRenderer&) = delete;
    PieceRenderer& operator=(const PieceRenderer&) = delete;

    // `text` rendered (blended) in `colour` with `font`, the cached font of `size` points;
    // null with the reason printed when SDL_ttf fails or when the piece would cover more than
    // four times `canvasPixels` (and at least four megapixels). The surface belongs to the
    // thread's cache, bounded in bytes (the same text is rendered once), or, when it is too
    // large for the cache, to this renderer until Drawn() or the next Render: do not free it,
    // and use it only while holding Lock(). `cacheKey`, when given, receives the piece's cache
    // key (empty when it is not cached).
    SDL_Surface* Render(TTF_Font* font, int size, const std::string& text, const SDL_Color& colour,
                        long long canvasPixels, std::string* cacheKey = nullptr);
    // `piece` has been drawn: the renderer's own (uncached) piece goes.
    void Drawn(SDL_Surface* piece);

private:
    void ReleaseUncached();

    struct Memo;
    SDL_Surface* m_uncached = nullptr; // a rendered piece too large for the cache
    std::unique_ptr<Memo> m_memo;
};

// Empties every idle set and the caller's own, closes their fonts, then closes the base font
// (fonts::Shutdown). For hosts, when no other thread draws.
void Shutdown();

} // namespace glyph_cache
