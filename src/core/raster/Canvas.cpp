// SPDX-License-Identifier: MIT
#include "core/raster/Canvas.h"

#include "core/Limits.h"
#include "core/Log.h"
#include "core/Numeric.h"
#include "core/ProcessLocks.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

namespace raster {

namespace {

// A rectangle clipped to a surface, as half-open pixel ranges (empty when nothing is left).
struct Span
{
    long long x0, y0, x1, y1;
    bool Empty() const { return x0 >= x1 || y0 >= y1; }
};

Span ClipTo(const SDL_Rect& rect, const SDL_Surface* surface)
{
    return Span{std::max<long long>(rect.x, 0), std::max<long long>(rect.y, 0),
                std::min<long long>(static_cast<long long>(rect.x) + rect.w, surface->w),
                std::min<long long>(static_cast<long long>(rect.y) + rect.h, surface->h)};
}

using barcode_log::Stream;

// Sets `count` pixels to `value`: short spans directly, long ones by doubling copies (memcpy
// is the fastest store loop at hand).
void FillPixels(std::uint32_t* pixels, size_t count, std::uint32_t value)
{
    const size_t direct = std::min<size_t>(count, 64);
    std::fill_n(pixels, direct, value);
    for (size_t done = direct; done < count;) {
        const size_t chunk = std::min(done, count - done);
        std::memcpy(pixels + done, pixels, chunk * sizeof(std::uint32_t));
        done += chunk;
    }
}

bool SameColor(const SDL_Color& a, const SDL_Color& b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

// A coordinate as SDL's renderer carries it: through a float and back (exact below 2^24). A
// value that rounds to 2^31 does not fit back; the conversion SDL makes then gives what the
// processor gives: the "integer indefinite" INT_MIN on x86, the saturated value elsewhere.
int ThroughFloat(int v)
{
    const float f = static_cast<float>(v);
    if (f >= 2147483648.0f) {
#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
        return INT_MIN;
#else
        return INT_MAX;
#endif
    }
    return static_cast<int>(f);
}


// std::nearbyint without the library call: the whole number the current rounding mode gives
// (half to even by default). Below 2^52 an addition of 2^52 leaves no fraction to keep, so the
// sum is rounded as nearbyint rounds; larger values, infinities and NaN are returned as they are.
double RoundToWhole(double v)
{
    constexpr double kNoFraction = 4503599627370496.0; // 2^52
    if (!(std::fabs(v) < kNoFraction)) {
        return v;
    }
    return v >= 0.0 ? (v + kNoFraction) - kNoFraction : (v - kNoFraction) + kNoFraction;
}

} // namespace

void ToSpan(float from, float size, int* first, int* count)
{
    // The software renderer truncates float rectangles, which drops the fraction of every bar
    // and lets the error pile up across a stretched symbol. Round both edges instead, so that
    // each element covers the pixels its float span covers most of (keeping at least one).
    const double lo = RoundToWhole(static_cast<double>(from));
    double hi = RoundToWhole(static_cast<double>(from) + static_cast<double>(size));
    if (hi <= lo && size > 0.0f) {
        hi = lo + 1.0;
    }
    *first = numeric::SaturatingCast<int>(lo);
    *count = numeric::SaturatingCast<int>(hi - lo);
}

bool ToRect(float x, float y, float w, float h, SDL_Rect* rect)
{
    ToSpan(x, w, &rect->x, &rect->w);
    ToSpan(y, h, &rect->y, &rect->h);
    return rect->w > 0 && rect->h > 0;
}

void Canvas::Release()
{
    if ((m_ownsRenderer && m_renderer != nullptr) || m_surface != nullptr) {
        const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
        if (m_ownsRenderer && m_renderer != nullptr) {
            SDL_DestroyRenderer(m_renderer);
            m_renderer = nullptr;
            m_ownsRenderer = false;
        }
        if (m_surface != nullptr) {
            SDL_FreeSurface(m_surface);
            m_surface = nullptr;
        }
    }
    m_pixels.reset();
    m_uniform = false;
    m_rowSource.clear();
    ForgetTextMarks();
}

bool Canvas::Create(int width, int height, const SDL_Color& fill)
{
    if (PaintsOwnPixels() && m_pixels != nullptr && m_surface->w == width && m_surface->h == height) {
        // The own canvas of the last draw has this size: it is taken as a new one (rows of the
        // fill colour, a renderer that replaces pixels) without allocating it again.
        SDL_SetRenderDrawBlendMode(m_renderer, SDL_BLENDMODE_NONE);
        BlankRows(SDL_MapRGBA(m_surface->format, fill.r, fill.g, fill.b, fill.a));
        m_uniform = true;
        m_uniformColor = fill;
        return true;
    }
    const bool callersRenderer = m_renderer != nullptr && !m_ownsRenderer;
    Release();
    const std::string problem = limits::CanvasProblem(width, height);
    if (!problem.empty()) {
        barcode_log::Error(Stream::Err, "サーフェス作成に失敗: " + problem);
        return false;
    }
    if (callersRenderer) {
        // Painting goes to the caller's renderer; the surface only has to exist (blank).
        {
            const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
            m_surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ABGR8888);
        }
        if (m_surface == nullptr) {
            barcode_log::Error(Stream::Err, std::string("サーフェス作成に失敗: ") + SDL_GetError());
            return false;
        }
        return true;
    }
    // The pixels are ours: not zeroed, and not filled before they are painted.
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    m_pixels.reset(new (std::nothrow) std::uint32_t[count]);
    if (m_pixels == nullptr) {
        SDL_OutOfMemory();
        barcode_log::Error(Stream::Err, std::string("サーフェス作成に失敗: ") + SDL_GetError());
        return false;
    }
    {
        const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
        m_surface =
            SDL_CreateRGBSurfaceWithFormatFrom(m_pixels.get(), width, height, 32, width * 4, SDL_PIXELFORMAT_ABGR8888);
    }
    if (m_surface == nullptr) {
        m_pixels.reset();
        barcode_log::Error(Stream::Err, std::string("サーフェス作成に失敗: ") + SDL_GetError());
        return false;
    }
    // Rows are written when first painted or read (see m_rowSource): one write per pixel.
    BlankRows(SDL_MapRGBA(m_surface->format, fill.r, fill.g, fill.b, fill.a));
    {
        const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
        m_renderer = SDL_CreateSoftwareRenderer(m_surface);
    }
    if (m_renderer == nullptr) {
        barcode_log::Error(Stream::Err, std::string("レンダラー作成に失敗: ") + SDL_GetError());
        {
            const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
            SDL_FreeSurface(m_surface);
        }
        m_surface = nullptr;
        m_pixels.reset();
        m_rowSource.clear();
        return false;
    }
    m_ownsRenderer = true;
    m_uniform = true;
    m_uniformColor = fill;
    return true;
}

bool Canvas::FillsReplacePixels() const
{
    SDL_BlendMode mode = SDL_BLENDMODE_NONE;
    return m_renderer != nullptr && SDL_GetRenderDrawBlendMode(m_renderer, &mode) == 0 && mode == SDL_BLENDMODE_NONE;
}

void Canvas::FillOwnPixels(const SDL_Rect& rect, const SDL_Color& color)
{
    // What SDL_RenderFillRect does on a software renderer without blending: the rectangle
    // clipped to the surface, every pixel set to the mapped colour.
    const Span c = ClipTo(rect, m_surface);
    if (c.Empty()) {
        return;
    }
    const long long x0 = c.x0, y0 = c.y0, x1 = c.x1, y1 = c.y1;
    if (x0 == 0 && y0 == 0 && x1 == m_surface->w && y1 == m_surface->h) {
        if (m_uniform && SameColor(color, m_uniformColor)) {
            return; // it holds exactly that already
        }
        FillOwnPixels(rect, SDL_MapRGBA(m_surface->format, color.r, color.g, color.b, color.a));
        m_uniform = true;
        m_uniformColor = color;
        return;
    }
    FillOwnPixels(rect, SDL_MapRGBA(m_surface->format, color.r, color.g, color.b, color.a));
}

void Canvas::FillOwnPixels(const SDL_Rect& rect, std::uint32_t value)
{
    m_uniform = false;
    ForgetTextMarks();
    const Span c = ClipTo(rect, m_surface);
    if (c.Empty()) {
        return;
    }
    const long long x0 = c.x0, y0 = c.y0, x1 = c.x1, y1 = c.y1;
    if (!m_rowSource.empty() && x0 == 0 && y0 == 0 && x1 == m_surface->w && y1 == m_surface->h) {
        BlankRows(value);
        return;
    }
    PlaceRows(y0, y1);
    const auto stride = static_cast<size_t>(m_surface->pitch / 4);
    std::uint32_t* row = m_pixels.get() + static_cast<size_t>(y0) * stride + static_cast<size_t>(x0);
    const auto width = static_cast<size_t>(x1 - x0);
    if (width == stride) { // whole rows: one span
        FillPixels(row, width * static_cast<size_t>(y1 - y0), value);
        return;
    }
    for (long long y = y0; y < y1; ++y, row += stride) {
        FillPixels(row, width, value);
    }
}

void Canvas::FillRects(const std::vector<SDL_Rect>& rects, const SDL_Color& color)
{
    if (m_renderer == nullptr || rects.empty()) {
        return;
    }
    ForgetTextMarks();
    SDL_SetRenderDrawColor(m_renderer, color.r, color.g, color.b, color.a);
    if (!PaintsOwnPixels() || !FillsReplacePixels()) {
        PlaceAllRows();
        SDL_RenderFillRects(m_renderer, rects.data(), static_cast<int>(rects.size()));
        return;
    }
    const std::uint32_t value = SDL_MapRGBA(m_surface->format, color.r, color.g, color.b, color.a);
    std::vector<SDL_Rect>& clipped = m_clippedRects; // kept: its room serves the next draw
    clipped.clear();
    clipped.reserve(rects.size());
    for (const SDL_Rect& r : rects) {
        const SDL_Rect c{ThroughFloat(r.x), ThroughFloat(r.y), std::max(ThroughFloat(r.w), 1),
                         std::max(ThroughFloat(r.h), 1)};
        const Span k = ClipTo(c, m_surface);
        if (!k.Empty()) {
            clipped.push_back(SDL_Rect{static_cast<int>(k.x0), static_cast<int>(k.y0), static_cast<int>(k.x1 - k.x0),
                                       static_cast<int>(k.y1 - k.y0)});
        }
    }
    // Bands: consecutive rectangles over the same rows, each band below the last. On a canvas
    // of one colour every row of a band ends up alike, so its first row is painted and copied.
    const bool uniform = m_uniform;
    m_uniform = false;
    const auto stride = static_cast<size_t>(m_surface->pitch / 4);
    int lastBottom = 0;
    for (size_t first = 0; first < clipped.size();) {
        const SDL_Rect& lead = clipped[first];
        size_t end = first + 1;
        int left = lead.x;
        int right = lead.x + lead.w;
        while (end < clipped.size() && clipped[end].y == lead.y && clipped[end].h == lead.h) {
            left = std::min(left, clipped[end].x);
            right = std::max(right, clipped[end].x + clipped[end].w);
            ++end;
        }
        const bool band = uniform && lead.y >= lastBottom;
        if (!band) {
            // Painted as they come from here on.
            for (size_t i = first; i < clipped.size(); ++i) {
                FillOwnPixels(clipped[i], value);
            }
            return;
        }
        PlaceRows(lead.y, lead.y + 1);
        std::uint32_t* top = m_pixels.get() + static_cast<size_t>(lead.y) * stride;
        for (size_t i = first; i < end; ++i) {
            FillPixels(top + clipped[i].x, static_cast<size_t>(clipped[i].w), value);
        }
        if (!m_rowSource.empty()) {
            // Deferred: the rows below repeat the first until something paints or reads them.
            std::fill_n(m_rowSource.begin() + lead.y + 1, lead.h - 1, lead.y);
            m_repeatEnd = std::max(m_repeatEnd, lead.y + lead.h);
        } else {
            const size_t span = static_cast<size_t>(right - left) * sizeof(std::uint32_t);
            for (int y = 1; y < lead.h; ++y) {
                std::memcpy(top + static_cast<size_t>(y) * stride + left, top + left, span);
            }
        }
        lastBottom = lead.y + lead.h;
        first = end;
    }
}

void Canvas::FillRect(const SDL_Rect& rect, const SDL_Color& color)
{
    ForgetTextMarks();
    SDL_SetRenderDrawColor(m_renderer, color.r, color.g, color.b, color.a);
    if (PaintsOwnPixels() && FillsReplacePixels()) {
        FillOwnPixels(SDL_Rect{ThroughFloat(rect.x), ThroughFloat(rect.y), std::max(ThroughFloat(rect.w), 1),
                               std::max(ThroughFloat(rect.h), 1)},
                      color);
        return;
    }
    PlaceAllRows();
    SDL_RenderFillRect(m_renderer, &rect);
}

void Canvas::Clear(const SDL_Color& color)
{
    if (m_renderer == nullptr) {
        return;
    }
    SDL_SetRenderDrawColor(m_renderer, color.r, color.g, color.b, color.a);
    ForgetTextMarks();
    if (PaintsOwnPixels()) {
        // A clear ignores blending and clipping: the whole canvas takes the colour.
        FillOwnPixels(SDL_Rect{0, 0, m_surface->w, m_surface->h}, color);
        return;
    }
    SDL_RenderClear(m_renderer);
}

void Canvas::PlaceMarkedRows(long long y0, long long y1)
{
    if (m_rowSource.empty()) {
        return;
    }
    y0 = std::max<long long>(y0, 0);
    y1 = std::min<long long>(y1, m_surface->h);
    if (!m_textMarksValid) {
        m_textMarks.assign(m_rowSource.size(), InkSpan{1, 0});
        m_textMarksValid = true;
    }
    bool placed = true;
    for (long long y = y0; y < y1; ++y) {
        const int source = m_rowSource[static_cast<size_t>(y)];
        if (source == kBlankRow) {
            m_textMarks[static_cast<size_t>(y)] = InkSpan{0, 0};
            placed = false;
        } else if (source != y) {
            placed = false;
        }
    }
    // Rows below that repeat one of these are placed by PlaceRows too.
    const bool repeated = y0 < y1 && RepeatsEnd(y0, y1) > y1;
    if (!placed || repeated) {
        PlaceRows(y0, y1);
    }
}

void Canvas::BlankRows(std::uint32_t value)
{
    const auto w = static_cast<size_t>(m_surface->w);
    if (m_blankRow.size() != w || m_blankValue != value) {
        m_blankRow.assign(w, value);
        m_blankValue = value;
    }
    m_rowSource.assign(static_cast<size_t>(m_surface->h), kBlankRow);
    m_repeatEnd = 0;
    ForgetTextMarks();
}

void Canvas::PlaceRows(long long y0, long long y1)
{
    if (m_rowSource.empty()) {
        return;
    }
    const long long h = m_surface->h;
    y0 = std::max<long long>(y0, 0);
    y1 = std::min(y1, h);
    const auto stride = static_cast<size_t>(m_surface->pitch / 4);
    const auto width = static_cast<size_t>(m_surface->w);
    const auto place = [&](long long y) {
        const int source = m_rowSource[static_cast<size_t>(y)];
        if (source == y) {
            return;
        }
        std::uint32_t* row = m_pixels.get() + static_cast<size_t>(y) * stride;
        if (source == kBlankRow) {
            std::memcpy(row, m_blankRow.data(), width * sizeof(std::uint32_t));
        } else {
            std::memcpy(row, m_pixels.get() + static_cast<size_t>(source) * stride, width * sizeof(std::uint32_t));
        }
        m_rowSource[static_cast<size_t>(y)] = static_cast<int>(y);
    };
    for (long long y = y0; y < y1; ++y) {
        place(y);
    }
    // Rows repeating one of these follow them: they take their pixels before those change.
    const long long end = RepeatsEnd(y0, y1);
    for (long long y = std::max(y1, y0); y < end; ++y) {
        place(y);
    }
}

long long Canvas::RepeatsEnd(long long y0, long long y1) const
{
    // A band's rows lie together below its first row, but fills may have placed some of them
    // already (they hold themselves): the repeats go on past such rows, to the band's end.
    long long end = y1;
    const long long last = std::min<long long>(m_repeatEnd, static_cast<long long>(m_rowSource.size()));
    for (long long y = std::max(y1, y0); y < last; ++y) {
        const int source = m_rowSource[static_cast<size_t>(y)];
        if (source == y) {
            continue;
        }
        if (source < y0 || source >= y1) {
            break; // a blank row or another band's: no repeat of these rows lies further down
        }
        end = y + 1;
    }
    return end;
}

std::vector<const std::uint32_t*> Canvas::RowPointers() const
{
    std::vector<const std::uint32_t*> rows;
    if (!m_rowSource.empty()) {
        const auto stride = static_cast<size_t>(m_surface->pitch / 4);
        rows.resize(m_rowSource.size());
        for (size_t y = 0; y < rows.size(); ++y) {
            const int source = m_rowSource[y];
            rows[y] = source == kBlankRow ? m_blankRow.data() : m_pixels.get() + static_cast<size_t>(source) * stride;
        }
    }
    return rows;
}

} // namespace raster
