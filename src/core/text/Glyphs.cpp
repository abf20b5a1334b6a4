// SPDX-License-Identifier: MIT
#include "core/text/Glyphs.h"

#include "core/Log.h"
#include "core/ProcessLocks.h"
#include "core/text/Fonts.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace glyph_cache {

namespace {

using barcode_log::Stream;

// Fonts by point size, so that a draw does not search and parse the font file again.
struct CachedFontEntry
{
    int size;
    TTF_Font* font;
};
constexpr size_t kFontCacheSize = 8;

// Rendered text pieces are bounded in entries and in bytes, and their cache is emptied whole
// when the next piece would pass either bound; a piece larger than kMaxCachedPieceBytes is never
// kept (see PieceRenderer::Render).
constexpr size_t kPieceCacheSize = 1024;
constexpr size_t kPieceCacheBytes = 16u << 20;
constexpr size_t kMaxCachedPieceBytes = 1u << 20;
constexpr size_t kExtentKeyBytes = 1u << 20;

// A rendered piece may cover this many pixels, or four times its canvas when that is more.
// Larger ones come from texts far wider or taller than the canvas: they are not rendered.
constexpr long long kMinPieceBudgetPixels = 4LL << 20;

// Generations of piece caches, never reused: a piece found under one generation stays cached
// (at the same address) while its cache keeps that generation.
std::atomic<std::uint64_t> g_generations{0};

// One thread's fonts and caches of rendered text (see Lease).
struct TextCaches
{
    // Most recently used last.
    std::vector<CachedFontEntry> fonts;
    // Rendered text pieces by size, hinting, colour and text.
    std::unordered_map<std::string, SDL_Surface*> pieces;
    size_t pieceBytes = 0;
    // Pieces already blended over a canvas value (BlendOf), by piece key and
    // value: a piece drawn over a region of one value is a copy of these pixels. Bounded like
    // the pieces and emptied with them.
    std::unordered_map<std::string, SDL_Surface*> blends;
    size_t blendBytes = 0;
    // Text extents by size, hinting and text; bounded in entries and in the bytes of their keys.
    std::unordered_map<std::string, std::pair<int, int>> extents;
    size_t extentKeyBytes = 0;
    std::uint64_t generation = ++g_generations;
};

// Sets no thread holds. Deliberately never destroyed: the fonts live as long as the process
// (or until Shutdown), like the base font. Guarded by fonts::Mutex().
std::vector<TextCaches*>& g_idleCaches = *new std::vector<TextCaches*>();

// The set the calling thread holds, and how many leases it holds it by.
thread_local TextCaches* t_caches = nullptr;
thread_local int t_leases = 0;

// The calling thread's set; only under a lease.
TextCaches& Caches()
{
    return *t_caches;
}

Piece* DataOf(const SDL_Surface* piece)
{
    return static_cast<Piece*>(piece->userdata);
}

void ClearBlendCache(TextCaches& caches)
{
    {
        const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
        for (const auto& entry : caches.blends) {
            SDL_FreeSurface(entry.second);
        }
    }
    caches.blends.clear();
    caches.blendBytes = 0;
    for (const auto& entry : caches.pieces) {
        DataOf(entry.second)->blend = nullptr;
    }
}

void ClearPieceCache(TextCaches& caches)
{
    ClearBlendCache(caches);
    for (const auto& entry : caches.pieces) {
        delete DataOf(entry.second);
        entry.second->userdata = nullptr;
    }
    {
        const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
        for (const auto& entry : caches.pieces) {
            SDL_FreeSurface(entry.second);
        }
    }
    caches.pieces.clear();
    caches.pieceBytes = 0;
    caches.generation = ++g_generations;
    caches.extents.clear();
    caches.extentKeyBytes = 0;
}

// Empties a set and closes its fonts. Under fonts::Mutex().
void ClearCaches(TextCaches& caches)
{
    ClearPieceCache(caches);
    for (const CachedFontEntry& e : caches.fonts) {
        TTF_CloseFont(e.font);
    }
    caches.fonts.clear();
}

size_t SurfaceBytes(const SDL_Surface* s)
{
    return static_cast<size_t>(s->pitch) * static_cast<size_t>(s->h);
}

// The size and hinting as the first bytes of a cache key.
std::string FontKey(TTF_Font* font, int size)
{
    const int hinting = TTF_GetFontHinting(font);
    std::string key(sizeof(size) + sizeof(hinting), '\0');
    std::memcpy(&key[0], &size, sizeof(size));
    std::memcpy(&key[sizeof(size)], &hinting, sizeof(hinting));
    return key;
}

// False, with the reason printed, when `text` at `size` points would cover more pixels than
// four times the canvas (and at least four megapixels).
bool WithinBudget(TTF_Font* font, int size, const std::string& text, long long canvas)
{
    const long long budget = std::max(kMinPieceBudgetPixels, 4 * canvas);
    // No glyph is wider than twice the size or taller than one and a half: only pieces that may
    // pass the budget are measured.
    const long long bound = static_cast<long long>(text.size()) * 3 * size * size;
    int w = 0;
    int h = 0;
    if (bound <= budget || TTF_SizeUTF8(font, text.c_str(), &w, &h) != 0 || static_cast<long long>(w) * h <= budget) {
        return true;
    }
    barcode_log::Error(Stream::Err, "TTF_RenderUTF8_Blended error: text of " + std::to_string(w) + "x"
                                        + std::to_string(h) + " pixels exceeds the budget of " + std::to_string(budget)
                                        + " pixels");
    return false;
}

} // namespace

Lease Lock()
{
    Lease lease;
    if (t_leases == 0) {
        std::lock_guard<std::recursive_mutex> lock(fonts::Mutex());
        if (g_idleCaches.empty()) {
            t_caches = new TextCaches();
        } else {
            t_caches = g_idleCaches.back();
            g_idleCaches.pop_back();
        }
    }
    ++t_leases;
    lease.m_held = true;
    return lease;
}

Lease& Lease::operator=(Lease&& other) noexcept
{
    if (this != &other) {
        Release();
        m_held = other.m_held;
        other.m_held = false;
    }
    return *this;
}

void Lease::Release() noexcept
{
    if (!m_held) {
        return;
    }
    m_held = false;
    if (--t_leases == 0) {
        std::lock_guard<std::recursive_mutex> lock(fonts::Mutex());
        try {
            g_idleCaches.push_back(t_caches);
        } catch (...) {
            ClearCaches(*t_caches); // no room to keep it: the set goes
            delete t_caches;
        }
        t_caches = nullptr;
    }
}

void UseHinting(TTF_Font* font, int hinting)
{
    if (TTF_GetFontHinting(font) != hinting) {
        TTF_SetFontHinting(font, hinting);
    }
}

TTF_Font* CachedFont(int size)
{
    const Lease lease = Lock();
    std::vector<CachedFontEntry>& fonts = Caches().fonts;
    for (size_t i = 0; i < fonts.size(); ++i) {
        if (fonts[i].size == size) {
            const CachedFontEntry hit = fonts[i];
            fonts.erase(fonts.begin() + static_cast<long>(i));
            fonts.push_back(hit);
            return hit.font;
        }
    }
    TTF_Font* font = fonts::Open(size);
    if (font == nullptr) {
        return nullptr;
    }
    if (fonts.size() >= kFontCacheSize) {
        fonts::Close(fonts.front().font);
        fonts.erase(fonts.begin());
    }
    fonts.push_back({size, font});
    return font;
}

bool Measure(TTF_Font* font, int size, const std::string& text, int* width, int* height)
{
    std::string key = FontKey(font, size) + text;
    const Lease lease = Lock();
    TextCaches& caches = Caches();
    auto hit = caches.extents.find(key);
    if (hit == caches.extents.end()) {
        int w = 0;
        int h = 0;
        if (TTF_SizeUTF8(font, text.c_str(), &w, &h) != 0) {
            return false;
        }
        if (caches.extents.size() >= kPieceCacheSize || caches.extentKeyBytes + key.size() > kExtentKeyBytes) {
            caches.extents.clear();
            caches.extentKeyBytes = 0;
        }
        caches.extentKeyBytes += key.size();
        hit = caches.extents.emplace(std::move(key), std::make_pair(w, h)).first;
    }
    *width = hit->second.first;
    *height = hit->second.second;
    return true;
}

const Piece* PieceOf(const SDL_Surface* piece)
{
    return DataOf(piece);
}

SDL_Surface* BlendOf(SDL_Surface* piece, std::uint32_t under, BlendOverFn blendOver)
{
    Piece* data = DataOf(piece);
    const Lease lease = Lock();
    TextCaches& caches = Caches();
    if (data->blend == nullptr || data->under != under) {
        std::string blendKey = data->key;
        blendKey.append(reinterpret_cast<const char*>(&under), sizeof(under));
        auto hit = caches.blends.find(blendKey);
        if (hit == caches.blends.end()) {
            SDL_Surface* block = blendOver(piece, under);
            if (block == nullptr) {
                return nullptr;
            }
            const size_t bytes = SurfaceBytes(block);
            if (caches.blends.size() >= kPieceCacheSize || caches.blendBytes + bytes > kPieceCacheBytes) {
                ClearBlendCache(caches);
            }
            caches.blendBytes += bytes;
            hit = caches.blends.emplace(std::move(blendKey), block).first;
        }
        data->blend = hit->second;
        data->under = under;
    }
    return data->blend;
}

// Cached pieces of one byte by that byte, for one size, hinting and colour, as long as the
// cache they were found in has not been emptied since (its generation: numbers are never
// reused, by any thread's cache): entries of that cache, so used only under its lease.
struct PieceRenderer::Memo
{
    static constexpr unsigned kBytes = 128;
    std::uint64_t generation;
    int size;
    int hinting;
    SDL_Color colour;
    SDL_Surface* pieces[kBytes];
};

PieceRenderer::PieceRenderer() = default;

PieceRenderer::~PieceRenderer()
{
    ReleaseUncached();
}

void PieceRenderer::ReleaseUncached()
{
    if (m_uncached != nullptr) {
        const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
        SDL_FreeSurface(m_uncached);
        m_uncached = nullptr;
    }
}

void PieceRenderer::Drawn(SDL_Surface* piece)
{
    if (piece == m_uncached) {
        ReleaseUncached();
    }
}

SDL_Surface* PieceRenderer::Render(TTF_Font* font, int size, const std::string& text, const SDL_Color& colour,
                                   long long canvasPixels, std::string* cacheKey)
{
    const SDL_Color c = colour;
    const Lease lease = Lock();
    TextCaches& caches = Caches();
    ReleaseUncached();
    // One byte pieces are remembered by this object too: no key to build or look up.
    const int hinting = TTF_GetFontHinting(font);
    const bool memoised = text.size() == 1 && static_cast<unsigned char>(text[0]) < Memo::kBytes;
    if (memoised
        && (m_memo == nullptr || m_memo->generation != caches.generation || m_memo->size != size
            || m_memo->hinting != hinting || std::memcmp(&m_memo->colour, &c, sizeof(c)) != 0)) {
        if (m_memo == nullptr) {
            m_memo = std::make_unique<Memo>();
        }
        *m_memo = Memo{caches.generation, size, hinting, c, {}};
    }
    SDL_Surface** memo = memoised ? &m_memo->pieces[static_cast<unsigned char>(text[0])] : nullptr;
    if (memo != nullptr && *memo != nullptr) {
        if (cacheKey != nullptr) {
            *cacheKey = DataOf(*memo)->key;
        }
        return *memo;
    }

    std::string key = FontKey(font, size);
    key.append({static_cast<char>(c.r), static_cast<char>(c.g), static_cast<char>(c.b), static_cast<char>(c.a)});
    key += text;
    if (cacheKey != nullptr) {
        cacheKey->clear();
    }
    const auto hit = caches.pieces.find(key);
    if (hit != caches.pieces.end()) {
        if (cacheKey != nullptr) {
            *cacheKey = std::move(key);
        }
        if (memo != nullptr) {
            *memo = hit->second;
        }
        return hit->second;
    }
    if (!WithinBudget(font, size, text, canvasPixels)) {
        return nullptr;
    }
    SDL_Surface* glyphs = nullptr;
    {
        // SDL_ttf makes the surface: SDL's list of pixel formats must be whole at a fork.
        const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
        glyphs = TTF_RenderUTF8_Blended(font, text.c_str(), c);
    }
    if (glyphs == nullptr) {
        barcode_log::Error(Stream::Err, std::string("TTF_RenderUTF8_Blended error: ") + SDL_GetError());
        return nullptr;
    }
    const size_t bytes = SurfaceBytes(glyphs);
    if (bytes > kMaxCachedPieceBytes) {
        m_uncached = glyphs;
        return glyphs;
    }
    if (caches.pieces.size() >= kPieceCacheSize || caches.pieceBytes + bytes > kPieceCacheBytes) {
        ClearPieceCache(caches);
        if (memo != nullptr) {
            *m_memo = Memo{caches.generation, size, hinting, c, {}};
        }
    }
    if (cacheKey != nullptr) {
        *cacheKey = key;
    }
    try {
        auto* data = new Piece{raster::InkSpans(glyphs), key};
        glyphs->userdata = data;
        const auto inked = [](const raster::InkSpan& span) { return span.begin < span.end; };
        const auto first = std::find_if(data->ink.begin(), data->ink.end(), inked);
        const auto last = std::find_if(data->ink.rbegin(), data->ink.rend(), inked);
        data->inkTop = static_cast<int>(first - data->ink.begin());
        data->inkBottom = static_cast<int>(data->ink.rend() - last);
    } catch (...) {
        const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
        SDL_FreeSurface(glyphs);
        throw;
    }
    caches.pieces.emplace(std::move(key), glyphs);
    caches.pieceBytes += bytes;
    if (memo != nullptr) {
        *memo = glyphs;
    }
    return glyphs;
}

void Shutdown()
{
    std::lock_guard<std::recursive_mutex> lock(fonts::Mutex());
    // The idle sets and the caller's own; a host calls this when no other thread draws.
    for (TextCaches* caches : g_idleCaches) {
        ClearCaches(*caches);
    }
    if (t_caches != nullptr) {
        ClearCaches(*t_caches);
    }
    fonts::Shutdown();
}

} // namespace glyph_cache
