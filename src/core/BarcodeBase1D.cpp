// SPDX-License-Identifier: MIT
#include "core/BarcodeBase1D.h"

#include "core/EmbeddedFont.h"
#include "core/Log.h"
#include "core/Numeric.h"
#include "core/ProcessLocks.h"
#include "core/SvgText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace {

using barcode_log::Stream;

// SDL_ttf shares one FreeType library between fonts; opening and closing fonts is not
// thread-safe, so every open and close goes through this lock.
std::recursive_mutex& FontMutex()
{
    return process_locks::Fonts();
}
TTF_Font* g_font = nullptr; // the process-wide 18-point font; its presence means text can be drawn

// Fonts by point size, so that a draw does not search and parse the font file again.
struct CachedFontEntry
{
    int size;
    TTF_Font* font;
};

// Most recently used last. Deliberately never destroyed: the fonts live as long as the process
// (or until DestroyFont), like the base font.
std::vector<CachedFontEntry>& g_fontCache = *new std::vector<CachedFontEntry>();
constexpr size_t kFontCacheSize = 8;

// Rendered text pieces by size, hinting, colour and text. Bounded in entries and in bytes, and
// emptied whole when the next piece would pass either bound; a piece larger than
// kMaxCachedPieceBytes is never kept (see BarcodeBase1D::RenderPiece).
std::unordered_map<std::string, SDL_Surface*>& g_pieceCache = *new std::unordered_map<std::string, SDL_Surface*>();
constexpr size_t kPieceCacheSize = 1024;
constexpr size_t kPieceCacheBytes = 16u << 20;
constexpr size_t kMaxCachedPieceBytes = 1u << 20;
size_t g_pieceBytes = 0;

// Pieces already blended over a canvas value (BarcodeBase::BlendOver), by piece key and value:
// a piece drawn over a region of one value is a copy of these pixels. Bounded like the piece
// cache and emptied with it.
std::unordered_map<std::string, SDL_Surface*>& g_blendCache = *new std::unordered_map<std::string, SDL_Surface*>();
size_t g_blendBytes = 0;

// Text extents by size, hinting and text; bounded in entries and in the bytes of their keys.
std::unordered_map<std::string, std::pair<int, int>>& g_extentCache =
    *new std::unordered_map<std::string, std::pair<int, int>>();
constexpr size_t kExtentKeyBytes = 1u << 20;
size_t g_extentKeyBytes = 0;

// A rendered piece may cover this many pixels, or four times its canvas when that is more.
// Larger ones come from texts far wider or taller than the canvas: they are not rendered.
constexpr long long kMinPieceBudgetPixels = 4LL << 20;

// Counts the emptyings of the piece cache: a piece found under one count stays cached (at the
// same address) while the count holds.
std::uint64_t g_pieceGeneration = 0;

// What a cached piece carries in its userdata: its ink (BarcodeBase::InkSpans), its cache key,
// and the blend of it made last (an entry of g_blendCache, null when none) with the value under it.
struct PieceData
{
    std::vector<BarcodeBase::InkSpan> ink;
    std::string key;
    int inkTop = 0; // the rows [inkTop, inkBottom) hold all its ink
    int inkBottom = 0;
    SDL_Surface* blend = nullptr;
    std::uint32_t under = 0;
};

PieceData* DataOf(const SDL_Surface* piece)
{
    return static_cast<PieceData*>(piece->userdata);
}

void ClearBlendCache()
{
    for (const auto& entry : g_blendCache) {
        SDL_FreeSurface(entry.second);
    }
    g_blendCache.clear();
    g_blendBytes = 0;
    for (const auto& entry : g_pieceCache) {
        DataOf(entry.second)->blend = nullptr;
    }
}

void ClearPieceCache()
{
    ClearBlendCache();
    for (const auto& entry : g_pieceCache) {
        delete DataOf(entry.second);
        SDL_FreeSurface(entry.second);
    }
    g_pieceCache.clear();
    g_pieceBytes = 0;
    ++g_pieceGeneration;
    g_extentCache.clear();
    g_extentKeyBytes = 0;
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

// Text larger than this (and than its box) comes from an absurd font scale.
constexpr long long kMaxFontPixels = 4096;

float GapFactor(int height)
{
    if (height < 50) {
        return 0.03f;
    }
    return height <= 200 ? 0.05f : 0.07f;
}

float MarginFactor(int width)
{
    if (width < 100) {
        return 0.03f;
    }
    return width <= 400 ? 0.05f : 0.07f;
}

bool FileExists(const std::string& path)
{
    struct stat st
    {
    };

    return ::stat(path.c_str(), &st) == 0;
}

std::string ExecutableDirectory()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (n <= 0) {
        return "./";
    }
    const std::string path(buffer, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash);
}

// The file mapped at `address`, from the process's own list of mappings; empty if unknown.
std::string MappedFile(const void* address)
{
    std::FILE* maps = std::fopen("/proc/self/maps", "r");
    if (maps == nullptr) {
        return {};
    }
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::string file;
    char line[4096 + 128];
    while (file.empty() && std::fgets(line, sizeof(line), maps) != nullptr) {
        unsigned long long begin = 0;
        unsigned long long end = 0;
        int pathAt = 0;
        if (std::sscanf(line, "%llx-%llx %*s %*s %*s %*s %n", &begin, &end, &pathAt) >= 2 && pathAt > 0
            && begin <= at && at < end && line[pathAt] == '/') {
            file.assign(line + pathAt);
            file.erase(file.find_last_not_of('\n') + 1);
        }
    }
    std::fclose(maps);
    return file;
}

// The directory of the shared library (or program) that holds this code, as an absolute path;
// empty if unknown. The loader may know it by a path relative to the directory the process
// worked in then, which says nothing about the working directory now: the absolute path of the
// mapping is taken instead.
std::string LibraryDirectory()
{
    static const std::string directory = [] {
        static const char anchor = 0;
        std::string path;
        Dl_info info{};
        if (::dladdr(&anchor, &info) != 0 && info.dli_fname != nullptr) {
            path = info.dli_fname;
        }
        if (path.empty() || path[0] != '/') {
            path = MappedFile(&anchor);
        }
        const size_t slash = path.rfind('/');
        return slash == std::string::npos ? std::string() : path.substr(0, slash);
    }();
    return directory;
}

// Character pitch and start offset of evenly spaced text (integer arithmetic).
struct EvenLayout
{
    int pitch;
    int start;
};

EvenLayout LayOutEvenly(int count, int fontSize, int width, int margin)
{
    const long long usable = static_cast<long long>(width) - 2LL * margin;
    long long pitch = 0;
    if (count >= 2) {
        pitch = std::max<long long>(fontSize / 2, usable / (count - 1));
    } else {
        pitch = std::max<long long>(fontSize / 2, usable);
    }
    const long long start = (static_cast<long long>(width) - pitch * (count - 1)) / 2;
    return {numeric::ClampToInt(pitch), numeric::ClampToInt(start)};
}

} // namespace

BarcodeBase1D::BarcodeBase1D(SDL_Renderer* renderer) : BarcodeBase(renderer)
{
    InitFont();
}

BarcodeBase1D::BarcodeBase1D(const std::string& outputFormat) : BarcodeBase(outputFormat)
{
    InitFont();
}

bool BarcodeBase1D::HasFont()
{
    std::lock_guard<std::recursive_mutex> lock(FontMutex());
    return g_font != nullptr;
}

bool BarcodeBase1D::InitFont()
{
    std::lock_guard<std::recursive_mutex> lock(FontMutex());
    if (g_font != nullptr) {
        return true;
    }
    if (TTF_WasInit() == 0 && TTF_Init() != 0) {
        barcode_log::Error(Stream::Err, std::string("SDL_ttfの初期化に失敗: ") + SDL_GetError());
        return false;
    }
    if (GetFontPath().empty() && embedded_font::Data() == nullptr) {
        barcode_log::Error(Stream::Err, "適切なフォントが見つかりません。");
        return false;
    }
    g_font = OpenFont(18);
    if (g_font == nullptr) {
        barcode_log::Error(Stream::Err, std::string("フォントの読み込みに失敗: ") + SDL_GetError());
        return false;
    }
    return true;
}

void BarcodeBase1D::DestroyFont()
{
    std::lock_guard<std::recursive_mutex> lock(FontMutex());
    ClearPieceCache();
    for (const CachedFontEntry& e : g_fontCache) {
        TTF_CloseFont(e.font);
    }
    g_fontCache.clear();
    if (g_font != nullptr) {
        TTF_CloseFont(g_font);
        g_font = nullptr;
    }
    TTF_Quit();
}

std::vector<BarcodeBase1D::FontCandidate> BarcodeBase1D::FontCandidates()
{
    const auto file = [](std::string path) { return FontCandidate{std::move(path), false}; };
    std::vector<FontCandidate> candidates;
    // The host's own choice first.
    const std::string modulePath = GetModulePath();
    if (!modulePath.empty()) {
        candidates.push_back(file(modulePath + "/fonts/Roboto-Regular.ttf"));
    }
    // Then the library's own font: beside the library (the build tree), installed with it, or
    // compiled into it.
    const std::string libraryDir = LibraryDirectory();
    if (!libraryDir.empty()) {
        candidates.push_back(file(libraryDir + "/assets/fonts/Roboto-Regular.ttf"));
#ifdef BARCODE_INSTALLED_FONT
        candidates.push_back(file(libraryDir + "/" BARCODE_INSTALLED_FONT));
#endif
    }
    if (embedded_font::Data() != nullptr) {
        candidates.push_back(FontCandidate{std::string(), true});
    }
    candidates.push_back(file(ExecutableDirectory() + "/assets/fonts/Roboto-Regular.ttf"));
    // The platform's own copies of the same font.
    candidates.push_back(file("/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf"));
    candidates.push_back(file("/usr/share/fonts/truetype/roboto/hinted/Roboto-Regular.ttf"));
    // Last, and only when nothing else exists: a file under the working directory, which a
    // library must not prefer to its own (whoever can write there would choose the font parsed).
    candidates.push_back(file("./assets/fonts/Roboto-Regular.ttf"));
    return candidates;
}

std::string BarcodeBase1D::GetFontPath()
{
    for (const FontCandidate& candidate : FontCandidates()) {
        if (candidate.embedded) {
            return {};
        }
        if (FileExists(candidate.path)) {
            return candidate.path;
        }
    }
    return {};
}

TTF_Font* BarcodeBase1D::OpenFont(int size)
{
    std::lock_guard<std::recursive_mutex> lock(FontMutex());
    if (TTF_WasInit() == 0 && TTF_Init() != 0) {
        return nullptr;
    }
    const std::string path = GetFontPath();
    if (!path.empty()) {
        if (TTF_Font* font = TTF_OpenFont(path.c_str(), size)) {
            return font;
        }
    }
    if (embedded_font::Data() == nullptr) {
        return nullptr;
    }
    SDL_RWops* rw = SDL_RWFromConstMem(embedded_font::Data(), static_cast<int>(embedded_font::Size()));
    if (rw == nullptr) {
        barcode_log::Error(Stream::Err,
                           std::string("OpenEmbeddedRobotoFont: SDL_RWFromConstMem failed: ") + SDL_GetError());
        return nullptr;
    }
    TTF_Font* font = TTF_OpenFontRW(rw, 1, size);
    if (font == nullptr) {
        barcode_log::Error(Stream::Err,
                           std::string("OpenEmbeddedRobotoFont: TTF_OpenFontRW failed: ") + SDL_GetError());
    }
    return font;
}

void BarcodeBase1D::CloseFont(TTF_Font* font)
{
    if (font != nullptr) {
        std::lock_guard<std::recursive_mutex> lock(FontMutex());
        TTF_CloseFont(font);
    }
}

std::unique_lock<std::recursive_mutex> BarcodeBase1D::LockFonts()
{
    return std::unique_lock<std::recursive_mutex>(FontMutex());
}

void BarcodeBase1D::UseHinting(TTF_Font* font, int hinting)
{
    if (TTF_GetFontHinting(font) != hinting) {
        TTF_SetFontHinting(font, hinting);
    }
}

TTF_Font* BarcodeBase1D::CachedFont(int size)
{
    std::lock_guard<std::recursive_mutex> lock(FontMutex());
    for (size_t i = 0; i < g_fontCache.size(); ++i) {
        if (g_fontCache[i].size == size) {
            const CachedFontEntry hit = g_fontCache[i];
            g_fontCache.erase(g_fontCache.begin() + static_cast<long>(i));
            g_fontCache.push_back(hit);
            return hit.font;
        }
    }
    TTF_Font* font = OpenFont(size);
    if (font == nullptr) {
        return nullptr;
    }
    if (g_fontCache.size() >= kFontCacheSize) {
        TTF_CloseFont(g_fontCache.front().font);
        g_fontCache.erase(g_fontCache.begin());
    }
    g_fontCache.push_back({size, font});
    return font;
}

float BarcodeBase1D::FontFactor(int height)
{
    if (height < 50) {
        return 0.25f;
    }
    return height <= 200 ? 0.2f : 0.15f;
}

BarcodeBase1D::TextMetrics BarcodeBase1D::ComputeTextMetrics(int height) const
{
    const float h = static_cast<float>(height);
    TextMetrics m{};
    m.fontPx = numeric::SaturatingCast<long long>(FontFactor(height) * h * m_textFontScale);
    m.gapPx = numeric::SaturatingCast<long long>(GapFactor(height) * h * m_textGap);
    m.fontSize = numeric::ClampToInt(std::max<long long>(m.fontPx, 8));
    m.gap = numeric::ClampToInt(std::max<long long>(m.gapPx, 2));
    return m;
}

int BarcodeBase1D::MarginPixels(int width) const
{
    return numeric::TruncToInt(MarginFactor(width) * static_cast<float>(width) * m_textMarginScale);
}

bool BarcodeBase1D::TextSizesInRange(int height) const
{
    if (!m_showText) {
        return true;
    }
    if (!std::isfinite(m_textFontScale) || !std::isfinite(m_textGap)) {
        return false;
    }
    const TextMetrics m = ComputeTextMetrics(height);
    // Text as tall as the box is always acceptable; beyond both limits it fits no canvas.
    return m.fontPx <= std::max<long long>(kMaxFontPixels, height) && m.gapPx <= INT32_MAX / 4;
}

void BarcodeBase1D::InitLinerBarcode(int /*width*/, int height, int rows)
{
    long long bar = height;
    if (m_showText) {
        const TextMetrics m = ComputeTextMetrics(height);
        const long long k = rows == 1 ? -1 : -2LL - rows;
        bar = static_cast<long long>(height) - m.gap + k * m.fontSize;
    }
    m_barHeight = static_cast<float>(std::max<long long>(bar, 1));
}

float BarcodeBase1D::ModuleWidth(int width, long long totalModules) const
{
    float m = static_cast<float>(width) / static_cast<float>(std::max<long long>(totalModules, 1));
    if (!m_fitWidth) {
        m = std::floor(m);
        if (m < 1.0f) {
            m = 1.0f;
        }
    }
    return m;
}

template <typename HeightAt>
float BarcodeBase1D::PaintBarsWith(Target target, const std::vector<int>& widths, float x, float y, float module,
                                   const HeightAt& barHeightAt, std::vector<float>* starts)
{
    // Raster bars go to the canvas in one batch (the same pixels as one fill per bar).
    const bool batch = target == Target::Raster && PaintsOwnPixels();
    std::vector<SDL_Rect>& bars = m_bars;
    bars.clear();
    if (batch) {
        bars.reserve(widths.size() / 2 + 1);
    }
    // The rows of a bar depend on its height only: worked out again when the height changes.
    float rowsOf = 0.0f;
    int top = 0;
    int rows = 0;
    bool rowsKnown = false;
    float px = x;
    for (size_t i = 0; i < widths.size(); ++i) {
        if (starts != nullptr) {
            starts->push_back(px);
        }
        float w = std::max(module * static_cast<float>(widths[i]), 1.0f);
        if (i % 2 == 0) {
            w = std::max(w + static_cast<float>(m_pxAdjustBlack), 1.0f);
            const float h = barHeightAt(i);
            if (!batch) {
                FillRect(target, px, y, w, h);
            } else {
                if (!rowsKnown || !(h == rowsOf)) {
                    ToRasterSpan(y, h, &top, &rows);
                    rowsOf = h;
                    rowsKnown = !std::isnan(h);
                }
                SDL_Rect bar{0, top, 0, rows};
                ToRasterSpan(px, w, &bar.x, &bar.w);
                if (bar.w > 0 && rows > 0) {
                    bars.push_back(bar);
                }
            }
        } else {
            w += static_cast<float>(m_pxAdjustWhite);
            if (w < 1.0f) {
                w = 1.0f;
            }
        }
        px += w;
    }
    if (starts != nullptr) {
        starts->push_back(px);
    }
    if (batch) {
        FillRasterRects(bars, m_foregroundColor);
    }
    return px;
}

float BarcodeBase1D::PaintBars(Target target, const std::vector<int>& widths, float x, float y, float module,
                               const std::function<float(size_t)>& barHeightAt, std::vector<float>* starts)
{
    return PaintBarsWith(target, widths, x, y, module, barHeightAt, starts);
}

float BarcodeBase1D::PaintBars(Target target, const std::vector<int>& widths, float x, float y, float module,
                               float barHeight)
{
    return PaintBarsWith(
        target, widths, x, y, module, [barHeight](size_t) { return barHeight; }, nullptr);
}

void BarcodeBase1D::PaintText(Target target, const std::string& text, int x, int y, int width, int height)
{
    if (target == Target::Svg) {
        RenderTextSvg(text, x, y, width, height);
    } else {
        RenderText(text, x, y, width, height);
    }
}

bool BarcodeBase1D::BeginLinearDraw(Target target, const char* tag, int x, int y, int width, int height)
{
    if (target == Target::Raster) {
        if (!BarcodeBase::Draw(std::string(), x, y, width, height) || m_canvas == nullptr) {
            return false;
        }
    } else if (width <= 0 || height <= 0) {
        barcode_log::Error(Stream::Err, std::string(tag) + "Invalid canvas size " + std::to_string(width) + "x"
                                            + std::to_string(height));
        return false;
    }
    if (!TextSizesInRange(height)) {
        barcode_log::Error(Stream::Err, std::string(tag) + "Text size out of range");
        return false;
    }
    InitLinerBarcode(width, height, 1);
    if (target == Target::Raster) {
        ClearCanvas();
    }
    return true;
}

bool BarcodeBase1D::DrawLinear(Target target, const char* tag, const LinearEncoder& encode, int x, int y, int width,
                               int height)
{
    if (!BeginLinearDraw(target, tag, x, y, width, height)) {
        return false;
    }
    LinearSymbol symbol;
    try {
        symbol = encode();
    } catch (const std::exception& e) {
        barcode_log::Error(Stream::Err, std::string(tag) + e.what());
        return false;
    }
    long long total = 0;
    for (int w : symbol.widths) {
        total += w;
    }
    if (target == Target::Svg) {
        SvgBegin(width, height);
        SvgRect(0, 0, static_cast<float>(width), static_cast<float>(height), m_backgroundColor);
    }
    const float x0 = static_cast<float>(x);
    const float end =
        PaintBars(target, symbol.widths, x0, static_cast<float>(y), ModuleWidth(width, total), m_barHeight);
    m_lastDrawnWidth = end - x0;
    PaintText(target, symbol.displayText, x, y, numeric::TruncToInt(end - x0), height);
    if (target == Target::Svg) {
        SvgEnd();
    } else {
        SDL_RenderPresent(m_canvas);
    }
    return true;
}

BarcodeBase1D::~BarcodeBase1D()
{
    ReleaseUncachedPiece();
}

void BarcodeBase1D::ReleaseUncachedPiece()
{
    if (m_uncachedPiece != nullptr) {
        const std::lock_guard<std::mutex> lock(process_locks::Surfaces());
        SDL_FreeSurface(m_uncachedPiece);
        m_uncachedPiece = nullptr;
    }
}

bool BarcodeBase1D::BlitBlended(SDL_Surface* glyphs, int x, int y, const std::string& key)
{
    PieceData* data = DataOf(glyphs);
    if (key.empty() || data == nullptr) {
        return false;
    }
    SDL_Rect clipped{};
    std::uint32_t under = 0;
    // Only the rows with ink count: a piece leaves the rest of its box as it is.
    const long long top = static_cast<long long>(y) + data->inkTop;
    const int rows = data->inkBottom - data->inkTop;
    if (rows <= 0 || top >= m_surface->h || top + rows <= 0) {
        CopyBlended(glyphs, x, y, SDL_Rect{0, 0, 0, 0}, nullptr); // no ink on the canvas: nothing changes
        return true;
    }
    const InkSpan* ink = data->ink.data() + data->inkTop;
    // Over mixed pixels (another piece's ink meets this one's): the blend over the blank value
    // where the canvas holds it, and pixel by pixel where it does not.
    const bool mixed = !UniformUnder(SDL_Rect{x, static_cast<int>(top), glyphs->w, rows}, ink, &clipped, &under);
    if (mixed && (clipped.w <= 0 || !MixedUnder(glyphs, &under))) {
        return false;
    }
    const std::lock_guard<std::recursive_mutex> lock(FontMutex());
    if (data->blend == nullptr || data->under != under) {
        std::string blendKey = data->key;
        blendKey.append(reinterpret_cast<const char*>(&under), sizeof(under));
        auto hit = g_blendCache.find(blendKey);
        if (hit == g_blendCache.end()) {
            SDL_Surface* block = BlendOver(glyphs, under);
            if (block == nullptr) {
                return false;
            }
            const size_t bytes = SurfaceBytes(block);
            if (g_blendCache.size() >= kPieceCacheSize || g_blendBytes + bytes > kPieceCacheBytes) {
                ClearBlendCache();
            }
            g_blendBytes += bytes;
            hit = g_blendCache.emplace(std::move(blendKey), block).first;
        }
        data->blend = hit->second;
        data->under = under;
    }
    if (mixed) {
        BlendMixed(glyphs, data->blend, under, x, y, clipped, data->ink.data());
    } else {
        CopyBlended(data->blend, x, y, clipped, data->ink.data());
    }
    return true;
}

void BarcodeBase1D::BlitText(SDL_Surface* glyphs, int x, int y, const std::string& key)
{
    if (PaintsOwnPixels()) {
        // Straight from the cached glyph surface (or from its blend over the region's one
        // value): the pixels a texture copy would make.
        if (!BlitBlended(glyphs, x, y, key)) {
            BlitOwnPixels(glyphs, x, y);
        }
    } else if (SDL_Texture* texture = SDL_CreateTextureFromSurface(m_canvas, glyphs); texture == nullptr) {
        barcode_log::Error(Stream::Err, std::string("SDL_CreateTextureFromSurface error: ") + SDL_GetError());
    } else {
        SDL_SetRenderDrawBlendMode(m_canvas, SDL_BLENDMODE_BLEND);
        const SDL_Rect dst{x, y, glyphs->w, glyphs->h};
        SDL_RenderCopy(m_canvas, texture, nullptr, &dst);
        SDL_DestroyTexture(texture);
    }
    if (glyphs == m_uncachedPiece) {
        ReleaseUncachedPiece();
    }
}

bool BarcodeBase1D::PieceWithinBudget(TTF_Font* font, int size, const std::string& text) const
{
    const long long canvas = m_surface != nullptr ? static_cast<long long>(m_surface->w) * m_surface->h : 0;
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

SDL_Surface* BarcodeBase1D::RenderPiece(TTF_Font* font, int size, const std::string& text, std::string* cacheKey)
{
    const SDL_Color c = m_foregroundColor;
    const std::lock_guard<std::recursive_mutex> lock(FontMutex());
    ReleaseUncachedPiece();
    // One byte pieces are remembered by this object too: no key to build or look up.
    const int hinting = TTF_GetFontHinting(font);
    const bool memoised = text.size() == 1 && static_cast<unsigned char>(text[0]) < kMemoBytes;
    if (memoised
        && (m_pieceMemo == nullptr || m_pieceMemo->generation != g_pieceGeneration || m_pieceMemo->size != size
            || m_pieceMemo->hinting != hinting || std::memcmp(&m_pieceMemo->colour, &c, sizeof(c)) != 0)) {
        if (m_pieceMemo == nullptr) {
            m_pieceMemo = std::make_unique<PieceMemo>();
        }
        *m_pieceMemo = PieceMemo{g_pieceGeneration, size, hinting, c, {}};
    }
    SDL_Surface** memo = memoised ? &m_pieceMemo->pieces[static_cast<unsigned char>(text[0])] : nullptr;
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
    const auto hit = g_pieceCache.find(key);
    if (hit != g_pieceCache.end()) {
        if (cacheKey != nullptr) {
            *cacheKey = std::move(key);
        }
        if (memo != nullptr) {
            *memo = hit->second;
        }
        return hit->second;
    }
    if (!PieceWithinBudget(font, size, text)) {
        return nullptr;
    }
    SDL_Surface* glyphs = TTF_RenderUTF8_Blended(font, text.c_str(), c);
    if (glyphs == nullptr) {
        barcode_log::Error(Stream::Err, std::string("TTF_RenderUTF8_Blended error: ") + SDL_GetError());
        return nullptr;
    }
    const size_t bytes = SurfaceBytes(glyphs);
    if (bytes > kMaxCachedPieceBytes) {
        m_uncachedPiece = glyphs;
        return glyphs;
    }
    if (g_pieceCache.size() >= kPieceCacheSize || g_pieceBytes + bytes > kPieceCacheBytes) {
        ClearPieceCache();
        if (memo != nullptr) {
            *m_pieceMemo = PieceMemo{g_pieceGeneration, size, hinting, c, {}};
        }
    }
    if (cacheKey != nullptr) {
        *cacheKey = key;
    }
    try {
        auto* data = new PieceData{InkSpans(glyphs), key};
        glyphs->userdata = data;
        const auto inked = [](const InkSpan& span) { return span.begin < span.end; };
        const auto first = std::find_if(data->ink.begin(), data->ink.end(), inked);
        const auto last = std::find_if(data->ink.rbegin(), data->ink.rend(), inked);
        data->inkTop = static_cast<int>(first - data->ink.begin());
        data->inkBottom = static_cast<int>(data->ink.rend() - last);
    } catch (...) {
        SDL_FreeSurface(glyphs);
        throw;
    }
    g_pieceCache.emplace(std::move(key), glyphs);
    g_pieceBytes += bytes;
    if (memo != nullptr) {
        *memo = glyphs;
    }
    return glyphs;
}

bool BarcodeBase1D::MeasureText(TTF_Font* font, int size, const std::string& text, int* width, int* height)
{
    std::string key = FontKey(font, size) + text;
    const std::lock_guard<std::recursive_mutex> lock(FontMutex());
    auto hit = g_extentCache.find(key);
    if (hit == g_extentCache.end()) {
        int w = 0;
        int h = 0;
        if (TTF_SizeUTF8(font, text.c_str(), &w, &h) != 0) {
            return false;
        }
        if (g_extentCache.size() >= kPieceCacheSize || g_extentKeyBytes + key.size() > kExtentKeyBytes) {
            g_extentCache.clear();
            g_extentKeyBytes = 0;
        }
        g_extentKeyBytes += key.size();
        hit = g_extentCache.emplace(std::move(key), std::make_pair(w, h)).first;
    }
    *width = hit->second.first;
    *height = hit->second.second;
    return true;
}

void BarcodeBase1D::RenderText(const std::string& text, int x, int y, int width, int height)
{
    if (!HasFont() || !m_showText || text.empty() || m_canvas == nullptr) {
        return;
    }
    const int fs = ComputeTextMetrics(height).fontSize;
    const int mp = MarginPixels(width);
    const std::vector<std::string> pieces = svgtext::SplitCodePoints(text);
    const EvenLayout layout = LayOutEvenly(static_cast<int>(pieces.size()), fs, width, mp);

    const auto fontLock = LockFonts();
    TTF_Font* font = CachedFont(fs);
    if (font == nullptr) {
        barcode_log::Error(Stream::Err, std::string("TTF_OpenFont error: ") + SDL_GetError());
        return;
    }
    UseHinting(font, TTF_HINTING_MONO);

    const long long top = static_cast<long long>(y) + height - fs;
    const long long bottom = static_cast<long long>(y) + height;
    const auto placeTop = [&](int glyphHeight) {
        return numeric::ClampToInt(top + glyphHeight > bottom ? bottom - glyphHeight : top);
    };
    // Renders one piece; `leftOf(glyphWidth)` places it horizontally.
    std::string key;
    const auto render = [&](const std::string& piece, const auto& leftOf) {
        if (SDL_Surface* glyphs = RenderPiece(font, fs, piece, &key)) {
            BlitText(glyphs, numeric::ClampToInt(leftOf(static_cast<long long>(glyphs->w))), placeTop(glyphs->h), key);
        }
    };

    if (!m_textEvenSpacing) {
        render(text, [&](long long sw) { return static_cast<long long>(x) + (width - sw) / 2; });
    } else {
        for (size_t i = 0; i < pieces.size(); ++i) {
            const long long centre =
                static_cast<long long>(x) + layout.start + static_cast<long long>(i) * layout.pitch;
            render(pieces[i], [centre](long long sw) { return centre - sw / 2; });
        }
    }
}

void BarcodeBase1D::RenderTextSvg(const std::string& text, int x, int y, int width, int height)
{
    if (!m_showText || text.empty()) {
        return;
    }
    const int fs = ComputeTextMetrics(height).fontSize;
    const int mp = MarginPixels(width);
    const float top = static_cast<float>(static_cast<long long>(y) + height - fs);
    if (!m_textEvenSpacing) {
        SvgText(static_cast<float>(static_cast<long long>(x) + width / 2), top, text, fs, m_foregroundColor, "middle");
        return;
    }
    const std::vector<std::string> pieces = svgtext::SplitCodePoints(text);
    const EvenLayout layout = LayOutEvenly(static_cast<int>(pieces.size()), fs, width, mp);
    for (size_t i = 0; i < pieces.size(); ++i) {
        const long long centre = static_cast<long long>(x) + layout.start + static_cast<long long>(i) * layout.pitch;
        SvgText(static_cast<float>(centre), top, pieces[i], fs, m_foregroundColor, "middle");
    }
}
