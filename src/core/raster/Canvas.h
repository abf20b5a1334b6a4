// SPDX-License-Identifier: MIT
#pragma once

#include "core/raster/InkSpan.h"

#include <SDL.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace raster {

// The whole pixels a span [from, from + size) covers: both edges rounded (half to even), at
// least one pixel for a positive size. The software renderer truncates float rectangles, which
// drops the fraction of every bar and lets the error pile up across a stretched symbol.
void ToSpan(float from, float size, int* first, int* count);
// Both axes of ToSpan; false when nothing is covered.
bool ToRect(float x, float y, float w, float h, SDL_Rect* rect);

// The raster target of a draw: a caller's renderer, or a surface of our own painted through a
// software renderer. On an own surface painting writes the pixels directly, exactly as SDL's
// renderer would write them, and a row is written only when first painted or read (rows of
// the background, bands of bars painted once and repeated). The renderer's blend state is part
// of what it paints: fills replace pixels until the first text is blended, and blend after.
// The text blends (BlitOwnPixels ... BlendMixed) are the emulation of SDL's blit in
// core/raster/TextStamp.cpp.
class Canvas
{
public:
    // `callers`: the caller's renderer, painted as it is (never freed); null for own surfaces.
    explicit Canvas(SDL_Renderer* callers = nullptr) : m_renderer(callers) {}
    ~Canvas() { Release(); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    SDL_Renderer* Renderer() const { return m_renderer; }
    SDL_Surface* Surface() const { return m_surface; }
    // True when painting writes the pixels of our own surface directly.
    bool PaintsOwnPixels() const { return m_ownsRenderer && m_surface != nullptr; }
    // True when a rectangle fill replaces the pixels it covers (no blending), so that
    // overlapping fills of one colour may be merged.
    bool FillsReplacePixels() const;

    // A width x height surface. With the caller's renderer it is only made to exist (blank);
    // otherwise it is ours, its pixels hold `fill`, and a software renderer paints it. An own
    // surface of the same size is taken again without allocating. False, with the reason
    // printed, when no surface can be made.
    bool Create(int width, int height, const SDL_Color& fill);
    // Frees the surface, and the renderer when we created it.
    void Release();
    // The whole canvas in `color` (a clear ignores blending and clipping).
    void Clear(const SDL_Color& color);
    // A rectangle in whole pixels (ToRect) as SDL_RenderFillRect paints it.
    void FillRect(const SDL_Rect& rect, const SDL_Color& color);
    // Whole-pixel rectangles of one colour, painted in order (as many FillRect calls would).
    void FillRects(const std::vector<SDL_Rect>& rects, const SDL_Color& color);

    // The rows of an own surface for an encoder (rows given by one pointer hold the same
    // pixels); empty when the surface's pixels are all in place or are not ours.
    std::vector<const std::uint32_t*> RowPointers() const;
    // Writes every deferred row into the surface.
    void PlaceAllRows() { PlaceRows(0, m_surface != nullptr ? m_surface->h : 0); }

    // Text on an own surface (core/raster/TextStamp.cpp).
    // Copies `source` (blended by its own blend mode) with its top-left corner at (x, y).
    void BlitOwnPixels(SDL_Surface* source, int x, int y);
    // The one value every canvas pixel under `rect` holds, and the part of `rect` on the canvas;
    // false when they differ or nothing is covered. With `ink` (a span per row of `rect`), only
    // the pixels under the ink count.
    bool UniformUnder(const SDL_Rect& rect, const InkSpan* ink, SDL_Rect* clipped, std::uint32_t* value);
    // BlitOwnPixels of a source over a region of one value, from its blend over that value made
    // beforehand (BlendOver): the block's pixels, top-left at (x, y), copied into `clipped`
    // (only under the ink when given, the rest of the canvas being left as the blend leaves it).
    void CopyBlended(SDL_Surface* block, int x, int y, const SDL_Rect& clipped, const InkSpan* ink);
    // When UniformUnder finds the canvas under a source's ink mixed (another piece's ink meets
    // it): the value most of it holds (the blank value), if BlendMixed can draw the source;
    // false when only BlitOwnPixels can.
    bool MixedUnder(SDL_Surface* source, std::uint32_t* under) const;
    // BlitOwnPixels of `source` over mixed pixels under its ink: its blend over `under` (the
    // block, from BlendOver) where the canvas holds `under`, and blended pixel by pixel
    // elsewhere, with the arithmetic of SDL's blit.
    void BlendMixed(SDL_Surface* source, SDL_Surface* block, std::uint32_t under, int x, int y, const SDL_Rect& clipped,
                    const InkSpan* ink);

private:
    // Deferred rows: every row holds `value` only.
    void BlankRows(std::uint32_t value);
    // Writes the pixels of the deferred rows among y0..y1-1 and of the rows that repeat them.
    void PlaceRows(long long y0, long long y1);
    // One past the last row at or below y1 that repeats one of the rows y0..y1-1 (y1 when none).
    long long RepeatsEnd(long long y0, long long y1) const;
    // True when every canvas pixel under the ink of `rect` (its part `clipped` on the canvas) is
    // known to hold m_blankValue without reading it: rows still blank, or rows
    // whose written columns (m_textMarks) lie beside the ink. False when that is not known.
    bool BlankUnderInk(const SDL_Rect& rect, const InkSpan* ink, const SDL_Rect& clipped) const;

    void ForgetTextMarks() { m_textMarksValid = false; }

    // PlaceRows(y0, y1) before a blend writes into those rows; the rows among them still blank
    // start being marked (m_textMarks).
    void PlaceMarkedRows(long long y0, long long y1);

    // Notes that columns [from, to) of row y may have changed (a marked row stays marked).
    void MarkWritten(int y, int from, int to)
    {
        if (!m_textMarksValid) {
            return;
        }
        InkSpan& marked = m_textMarks[static_cast<size_t>(y)];
        if (marked.begin == marked.end) {
            marked = InkSpan{from, to};
        } else if (marked.begin < marked.end) {
            marked = InkSpan{std::min(marked.begin, from), std::max(marked.end, to)};
        }
    }
    void FillOwnPixels(const SDL_Rect& rect, const SDL_Color& color);
    void FillOwnPixels(const SDL_Rect& rect, std::uint32_t value);

    SDL_Renderer* m_renderer = nullptr;
    SDL_Surface* m_surface = nullptr;
    bool m_ownsRenderer = false;               // set when we created m_renderer
    std::unique_ptr<std::uint32_t[]> m_pixels; // the pixels of m_surface in direct mode
    bool m_uniform = false;                    // the whole canvas holds m_uniformColor
    // The own canvas writes a row when it is first painted or read: per row, the row itself when
    // its pixels are in place, kBlankRow while it holds only m_blankValue, or the row above it
    // that it repeats (a band painted once). Empty without an own canvas. The PNG encoders get
    // every row in place, except the compact one, which reads rows through it and takes rows of
    // one source as equal without comparing them.
    static constexpr int kBlankRow = -1;
    std::vector<int> m_rowSource;
    int m_repeatEnd = 0; // no row from here down repeats another
    std::vector<std::uint32_t> m_blankRow; // one row of m_blankValue
    std::vector<SDL_Rect> m_clippedRects;  // FillRects' rectangles on the canvas
    // Rows placed from blank that only CopyBlended has written since: per row, the columns
    // [begin, end) that may hold anything but m_blankValue (none when begin == end; begin > end:
    // not known). Meaningful only while m_textMarksValid; any other painting ends that, so that
    // UniformUnder can tell a row blank under a piece's ink without reading its pixels.
    std::vector<InkSpan> m_textMarks;
    bool m_textMarksValid = false;
    std::uint32_t m_blankValue = 0;
    SDL_Color m_uniformColor{0, 0, 0, 0};
};

} // namespace raster
