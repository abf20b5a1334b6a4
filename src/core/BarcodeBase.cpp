// SPDX-License-Identifier: MIT
#include "core/BarcodeBase.h"

#include "core/Limits.h"
#include "core/Log.h"
#include "core/Numeric.h"
#include "core/ProcessLocks.h"
#include "core/svg/SvgDocument.h"
#include "core/text/Fonts.h"
#include "core/png/PngOutput.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <utility>

namespace {

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

} // namespace

BarcodeBase::BarcodeBase(SDL_Renderer* renderer) : m_canvas(renderer) {}

BarcodeBase::BarcodeBase(const std::string& outputFormat) : m_format(outputFormat) {}

BarcodeBase::~BarcodeBase()
{
    ReleaseCanvas();
}

void BarcodeBase::SetForegroundColor(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a)
{
    m_foregroundColor = SDL_Color{r, g, b, a};
}

void BarcodeBase::SetBackgroundColor(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a)
{
    m_backgroundColor = SDL_Color{r, g, b, a};
}

bool BarcodeBase::Draw(const std::string& /*text*/, int /*x*/, int /*y*/, int width, int height)
{
    // A fetch returns only what the last draw made: the document of an earlier SVG draw goes.
    m_svg.Reset();
    m_width = width;
    m_height = height;
    if (IsRasterOutput()) {
        // A canvas of our own is created holding the background already: one write per pixel.
        if (!CreateCanvas(width, height, m_backgroundColor)) {
            return false;
        }
        ClearCanvas();
        return true;
    }
    if (!m_format.empty()) {
        // Neither raster nor the caller's renderer: leave no stale canvas to paint into.
        ReleaseCanvas();
    }
    return true;
}

bool BarcodeBase::DrawSvg(const std::string& /*text*/, int /*x*/, int /*y*/, int /*width*/, int /*height*/)
{
    return false;
}

void BarcodeBase::DiscardOutput()
{
    ReleaseCanvas();
    // A document handed out earlier belongs to the handle now and stays as it was.
    m_svg.Reset();
}

void BarcodeBase::ReleaseCanvas()
{
    if ((m_ownsRenderer && m_canvas != nullptr) || m_surface != nullptr) {
        const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
        if (m_ownsRenderer && m_canvas != nullptr) {
            SDL_DestroyRenderer(m_canvas);
            m_canvas = nullptr;
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

bool BarcodeBase::CreateSurface(int width, int height)
{
    return CreateCanvas(width, height, SDL_Color{0, 0, 0, 0});
}

bool BarcodeBase::CreateCanvas(int width, int height, const SDL_Color& fill)
{
    if (PaintsOwnPixels() && m_pixels != nullptr && m_surface->w == width && m_surface->h == height) {
        // The own canvas of the last draw has this size: it is taken as a new one (rows of the
        // fill colour, a renderer that replaces pixels) without allocating it again.
        SDL_SetRenderDrawBlendMode(m_canvas, SDL_BLENDMODE_NONE);
        BlankRows(SDL_MapRGBA(m_surface->format, fill.r, fill.g, fill.b, fill.a));
        m_uniform = true;
        m_uniformColor = fill;
        return true;
    }
    const bool callersRenderer = m_canvas != nullptr && !m_ownsRenderer;
    ReleaseCanvas();
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
        m_canvas = SDL_CreateSoftwareRenderer(m_surface);
    }
    if (m_canvas == nullptr) {
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

namespace {

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

} // namespace

bool BarcodeBase::FillsReplacePixels() const
{
    SDL_BlendMode mode = SDL_BLENDMODE_NONE;
    return m_canvas != nullptr && SDL_GetRenderDrawBlendMode(m_canvas, &mode) == 0 && mode == SDL_BLENDMODE_NONE;
}

void BarcodeBase::FillOwnPixels(const SDL_Rect& rect, const SDL_Color& color)
{
    // What SDL_RenderFillRect does on a software renderer without blending: the rectangle
    // clipped to the surface, every pixel set to the mapped colour.
    const long long x0 = std::max<long long>(rect.x, 0);
    const long long y0 = std::max<long long>(rect.y, 0);
    const long long x1 = std::min<long long>(static_cast<long long>(rect.x) + rect.w, m_surface->w);
    const long long y1 = std::min<long long>(static_cast<long long>(rect.y) + rect.h, m_surface->h);
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
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

void BarcodeBase::FillOwnPixels(const SDL_Rect& rect, std::uint32_t value)
{
    m_uniform = false;
    ForgetTextMarks();
    const long long x0 = std::max<long long>(rect.x, 0);
    const long long y0 = std::max<long long>(rect.y, 0);
    const long long x1 = std::min<long long>(static_cast<long long>(rect.x) + rect.w, m_surface->w);
    const long long y1 = std::min<long long>(static_cast<long long>(rect.y) + rect.h, m_surface->h);
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
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

void BarcodeBase::FillRasterRects(const std::vector<SDL_Rect>& rects, const SDL_Color& color)
{
    if (m_canvas == nullptr || rects.empty()) {
        return;
    }
    ForgetTextMarks();
    SDL_SetRenderDrawColor(m_canvas, color.r, color.g, color.b, color.a);
    if (!PaintsOwnPixels() || !FillsReplacePixels()) {
        PlaceAllRows();
        SDL_RenderFillRects(m_canvas, rects.data(), static_cast<int>(rects.size()));
        return;
    }
    const std::uint32_t value = SDL_MapRGBA(m_surface->format, color.r, color.g, color.b, color.a);
    std::vector<SDL_Rect>& clipped = m_clippedRects; // kept: its room serves the next draw
    clipped.clear();
    clipped.reserve(rects.size());
    for (const SDL_Rect& r : rects) {
        const SDL_Rect c{ThroughFloat(r.x), ThroughFloat(r.y), std::max(ThroughFloat(r.w), 1),
                         std::max(ThroughFloat(r.h), 1)};
        const long long x0 = std::max<long long>(c.x, 0);
        const long long y0 = std::max<long long>(c.y, 0);
        const long long x1 = std::min<long long>(static_cast<long long>(c.x) + c.w, m_surface->w);
        const long long y1 = std::min<long long>(static_cast<long long>(c.y) + c.h, m_surface->h);
        if (x0 < x1 && y0 < y1) {
            clipped.push_back(SDL_Rect{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                                       static_cast<int>(y1 - y0)});
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

void BarcodeBase::BlitOwnPixels(SDL_Surface* source, int x, int y)
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
    SDL_SetRenderDrawBlendMode(m_canvas, SDL_BLENDMODE_BLEND);
    m_uniform = false;
}

bool BarcodeBase::UniformUnder(const SDL_Rect& rect, const InkSpan* ink, SDL_Rect* clipped, std::uint32_t* value)
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

bool BarcodeBase::BlankUnderInk(const SDL_Rect& rect, const InkSpan* ink, const SDL_Rect& clipped) const
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

SDL_Surface* BarcodeBase::BlendOver(SDL_Surface* source, std::uint32_t under)
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

void BarcodeBase::CopyBlended(SDL_Surface* block, int x, int y, const SDL_Rect& clipped, const InkSpan* ink)
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
    SDL_SetRenderDrawBlendMode(m_canvas, SDL_BLENDMODE_BLEND);
    m_uniform = false;
}

namespace {

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

} // namespace

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
                    expected.push_back(BlendTextPixel(s[x], d[x]));
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

bool BarcodeBase::MixedUnder(SDL_Surface* source, std::uint32_t* under) const
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

void BarcodeBase::BlendMixed(SDL_Surface* source, SDL_Surface* block, std::uint32_t under, int x, int y,
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
    SDL_SetRenderDrawBlendMode(m_canvas, SDL_BLENDMODE_BLEND);
    m_uniform = false;
}

void BarcodeBase::PlaceMarkedRows(long long y0, long long y1)
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
    const bool repeated = y0 < y1 && y1 < m_surface->h && m_rowSource[static_cast<size_t>(y1)] >= y0
                          && m_rowSource[static_cast<size_t>(y1)] < y1;
    if (!placed || repeated) {
        PlaceRows(y0, y1);
    }
}

void BarcodeBase::BlankRows(std::uint32_t value)
{
    const auto w = static_cast<size_t>(m_surface->w);
    if (m_blankRow.size() != w || m_blankValue != value) {
        m_blankRow.assign(w, value);
        m_blankValue = value;
    }
    m_rowSource.assign(static_cast<size_t>(m_surface->h), kBlankRow);
    ForgetTextMarks();
}

void BarcodeBase::PlaceRows(long long y0, long long y1)
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
    for (long long y = std::max(y1, y0);
         y < h && m_rowSource[static_cast<size_t>(y)] >= y0 && m_rowSource[static_cast<size_t>(y)] < y1; ++y) {
        place(y);
    }
}

void BarcodeBase::ClearCanvas()
{
    if (m_canvas == nullptr) {
        return;
    }
    SDL_SetRenderDrawColor(m_canvas, m_backgroundColor.r, m_backgroundColor.g, m_backgroundColor.b,
                           m_backgroundColor.a);
    ForgetTextMarks();
    if (PaintsOwnPixels()) {
        // A clear ignores blending and clipping: the whole canvas takes the colour.
        FillOwnPixels(SDL_Rect{0, 0, m_surface->w, m_surface->h}, m_backgroundColor);
        return;
    }
    SDL_RenderClear(m_canvas);
}

std::vector<std::uint8_t> BarcodeBase::GetImageMemory()
{
    if (IsSvgOutput()) {
        return {};
    }
    if (m_canvas != nullptr) {
        SDL_RenderPresent(m_canvas);
    }
    return EncodeCanvas();
}

std::vector<std::uint8_t> BarcodeBase::EncodeCanvas()
{
    try {
        return EncodeCanvasOrThrow();
    } catch (const std::bad_alloc&) {
        // The drawing stays as it was: a later fetch with memory enough gets its image.
        SDL_OutOfMemory();
        png_output::ReportEncodingFailure();
        return {};
    }
}

std::vector<std::uint8_t> BarcodeBase::EncodeCanvasOrThrow()
{
    if (IsPng8Output()) {
        std::vector<const std::uint32_t*> rows;
        if (!m_rowSource.empty()) {
            const auto stride = static_cast<size_t>(m_surface->pitch / 4);
            rows.resize(m_rowSource.size());
            for (size_t y = 0; y < rows.size(); ++y) {
                const int source = m_rowSource[y];
                rows[y] =
                    source == kBlankRow ? m_blankRow.data() : m_pixels.get() + static_cast<size_t>(source) * stride;
            }
        }
        bool tooManyColours = false;
        std::vector<std::uint8_t> png =
            png_output::Compact(m_surface, rows.empty() ? nullptr : rows.data(), &tooManyColours);
        if (!tooManyColours) {
            return png;
        }
    }
    PlaceAllRows();
    return png_output::SaveSurface(m_surface);
}

std::string BarcodeBase::GetImageBase64()
{
    if (IsSvgOutput()) {
        throw std::runtime_error("GetImageBase64() is not available in SVG mode. Use GetSvg() instead.");
    }
    try {
        if (m_canvas != nullptr) {
            SDL_RenderPresent(m_canvas);
        }
        std::vector<std::uint8_t> png = EncodeCanvas();
        // The image is fetched once per draw: the surface goes, and the renderer painting into it.
        ReleaseCanvas();
        if (png.empty()) {
            return png_output::FallbackImage();
        }
        try {
            return png_output::DataUri(m_format, png);
        } catch (const std::bad_alloc&) {
            SDL_OutOfMemory();
            png = std::vector<std::uint8_t>(); // room for the line
            png_output::ReportEncodingFailure();
            throw;
        }
    } catch (const std::exception& e) {
        return std::string("Error: ") + e.what();
    }
}

std::string BarcodeBase::GetSvg() const
{
    const std::shared_ptr<const std::string> document = GetSvgDocument();
    return document != nullptr ? *document : std::string();
}

std::shared_ptr<const std::string> BarcodeBase::GetSvgDocument() const
{
    if (!IsSvgOutput()) {
        throw std::runtime_error("GetSvg() requires SVG output mode. Use constructor with \"svg\" parameter.");
    }
    return m_svg.Document();
}

void BarcodeBase::SetModulePath(const std::string& path)
{
    fonts::SetModulePath(path);
}

std::string BarcodeBase::GetModulePath()
{
    return fonts::ModulePath();
}

std::string BarcodeBase::GetFallbackImage()
{
    return png_output::FallbackImage();
}

std::string BarcodeBase::Base64Encode(const std::uint8_t* data, size_t length)
{
    return png_output::Base64(data, length);
}

std::vector<std::uint8_t> BarcodeBase::SaveSurfaceToMemory(SDL_Surface* surface)
{
    return png_output::SaveSurface(surface);
}

std::vector<std::uint8_t> BarcodeBase::SaveSurfaceToCompactPng(SDL_Surface* surface)
{
    return png_output::SaveCompact(surface);
}

std::string BarcodeBase::ColorToRgbString(const SDL_Color& color)
{
    std::string out;
    SvgDocument::AppendRgb(out, color);
    return out;
}

namespace {

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

void BarcodeBase::ToRasterSpan(float from, float size, int* first, int* count)
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

bool BarcodeBase::SymbolFits(Target target, const std::string& tag, float from, float to, int boxFrom, int boxSize,
                             bool across)
{
    double first = static_cast<double>(from);
    double last = static_cast<double>(to);
    if (target == Target::Raster) {
        int pixel = 0;
        int count = 0;
        ToRasterSpan(from, to - from, &pixel, &count);
        first = pixel;
        last = static_cast<double>(pixel) + count;
    } else {
        // SVG coordinates are written with two decimals: a float sum that overshoots the box
        // by less than that is the box's own edge.
        constexpr double kTolerance = 0.005;
        first += kTolerance;
        last -= kTolerance;
    }
    const double boxEnd = static_cast<double>(boxFrom) + boxSize;
    if (first >= boxFrom && last <= boxEnd) {
        return true;
    }
    const double needed = std::ceil(last - std::min(first, static_cast<double>(boxFrom)));
    barcode_log::Error(Stream::Err, tag + "The symbol needs " + std::to_string(numeric::SaturatingCast<long long>(needed))
                                        + " pixels; the box is " + std::to_string(boxSize)
                                        + (across ? " wide" : " high"));
    return false;
}

bool BarcodeBase::ToRasterRect(float x, float y, float w, float h, SDL_Rect* rect)
{
    ToRasterSpan(x, w, &rect->x, &rect->w);
    ToRasterSpan(y, h, &rect->y, &rect->h);
    return rect->w > 0 && rect->h > 0;
}

void BarcodeBase::FillRect(Target target, float x, float y, float w, float h, const SDL_Color& color)
{
    if (target == Target::Svg) {
        SvgRect(x, y, w, h, color);
        return;
    }
    SDL_Rect rect{};
    if (!ToRasterRect(x, y, w, h, &rect)) {
        return;
    }
    ForgetTextMarks();
    SDL_SetRenderDrawColor(m_canvas, color.r, color.g, color.b, color.a);
    if (PaintsOwnPixels() && FillsReplacePixels()) {
        FillOwnPixels(SDL_Rect{ThroughFloat(rect.x), ThroughFloat(rect.y), std::max(ThroughFloat(rect.w), 1),
                               std::max(ThroughFloat(rect.h), 1)},
                      color);
        return;
    }
    PlaceAllRows();
    SDL_RenderFillRect(m_canvas, &rect);
}

void BarcodeBase::SvgBegin(int width, int height)
{
    const std::string problem = limits::CanvasProblem(width, height);
    if (!problem.empty()) {
        throw std::length_error(problem);
    }
    // A fetch returns only what the last draw made: the image of an earlier raster draw goes.
    ReleaseCanvas();
    m_svg.Begin(width, height);
}
