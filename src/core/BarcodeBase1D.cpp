// SPDX-License-Identifier: MIT
#include "core/BarcodeBase1D.h"

#include "core/EmbeddedFont.h"
#include "core/Log.h"
#include "core/Numeric.h"
#include "core/ProcessLocks.h"
#include "core/svg/SvgText.h"

#include <algorithm>
#include <atomic>
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

// SDL_ttf shares one FreeType library between fonts: opening and closing fonts is not
// thread-safe, so every open and close goes through this lock. It also guards the pool of idle
// cache sets. Drawing with a font needs no lock: each font belongs to one thread's set.
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
constexpr size_t kFontCacheSize = 8;

// Rendered text pieces are bounded in entries and in bytes, and their cache is emptied whole
// when the next piece would pass either bound; a piece larger than kMaxCachedPieceBytes is never
// kept (see BarcodeBase1D::RenderPiece).
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

// One thread's fonts and caches of rendered text (see BarcodeBase1D::FontLease).
struct TextCaches
{
    // Most recently used last.
    std::vector<CachedFontEntry> fonts;
    // Rendered text pieces by size, hinting, colour and text.
    std::unordered_map<std::string, SDL_Surface*> pieces;
    size_t pieceBytes = 0;
    // Pieces already blended over a canvas value (BarcodeBase::BlendOver), by piece key and
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
// (or until DestroyFont), like the base font. Guarded by FontMutex.
std::vector<TextCaches*>& g_idleCaches = *new std::vector<TextCaches*>();

// The set the calling thread holds, and how many leases it holds it by.
thread_local TextCaches* t_caches = nullptr;
thread_local int t_leases = 0;

// The calling thread's set; only under a lease.
TextCaches& Caches()
{
    return *t_caches;
}

// What a cached piece carries in its userdata: its ink (BarcodeBase::InkSpans), its cache key,
// and the blend of it made last (an entry of TextCaches::blends, null when none) with the value
// under it.
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

// Empties a set and closes its fonts. Under FontMutex.
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

// Advance widths of the printable ASCII characters (from the space on) in the font the SVG text
// asks for first (Arial and its metric twins), in thousandths of the font size: how wide a viewer
// draws them. Other characters are taken as a full font size wide.
constexpr short kSvgAdvance[95] = {
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278,
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556,
    1015, 667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833, 722, 778,
    667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278, 278, 278, 469, 556,
    333, 556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556,
    556, 556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584,
};

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
    // The idle sets and the caller's own; a host calls this when no other thread draws.
    for (TextCaches* caches : g_idleCaches) {
        ClearCaches(*caches);
    }
    if (t_caches != nullptr) {
        ClearCaches(*t_caches);
    }
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

BarcodeBase1D::FontLease BarcodeBase1D::LockFonts()
{
    FontLease lease;
    if (t_leases == 0) {
        std::lock_guard<std::recursive_mutex> lock(FontMutex());
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

BarcodeBase1D::FontLease& BarcodeBase1D::FontLease::operator=(FontLease&& other) noexcept
{
    if (this != &other) {
        Release();
        m_held = other.m_held;
        other.m_held = false;
    }
    return *this;
}

void BarcodeBase1D::FontLease::Release() noexcept
{
    if (!m_held) {
        return;
    }
    m_held = false;
    if (--t_leases == 0) {
        std::lock_guard<std::recursive_mutex> lock(FontMutex());
        try {
            g_idleCaches.push_back(t_caches);
        } catch (...) {
            ClearCaches(*t_caches); // no room to keep it: the set goes
            delete t_caches;
        }
        t_caches = nullptr;
    }
}

void BarcodeBase1D::UseHinting(TTF_Font* font, int hinting)
{
    if (TTF_GetFontHinting(font) != hinting) {
        TTF_SetFontHinting(font, hinting);
    }
}

TTF_Font* BarcodeBase1D::CachedFont(int size)
{
    const FontLease lease = LockFonts();
    std::vector<CachedFontEntry>& fonts = Caches().fonts;
    for (size_t i = 0; i < fonts.size(); ++i) {
        if (fonts[i].size == size) {
            const CachedFontEntry hit = fonts[i];
            fonts.erase(fonts.begin() + static_cast<long>(i));
            fonts.push_back(hit);
            return hit.font;
        }
    }
    TTF_Font* font = OpenFont(size);
    if (font == nullptr) {
        return nullptr;
    }
    if (fonts.size() >= kFontCacheSize) {
        CloseFont(fonts.front().font);
        fonts.erase(fonts.begin());
    }
    fonts.push_back({size, font});
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

float BarcodeBase1D::ModuleWidth(Target target, int width, long long totalModules, bool* centred) const
{
    return ModuleFromShare(target, static_cast<float>(width) / static_cast<float>(std::max<long long>(totalModules, 1)),
                           centred);
}

float BarcodeBase1D::ModuleFromShare(Target target, float share, bool* centred) const
{
    // Readers of a raster need every module of one width: below two pixels a fractional module
    // alternates between one and two pixels, which neither zxing-cpp nor zbar reads.
    constexpr float kMinFractionalModule = 2.0f;
    float m = share;
    bool whole = false;
    if (!m_fitWidth) {
        m = std::floor(m);
        if (m < 1.0f) {
            m = 1.0f;
        }
    } else if (target == Target::Raster && !(m >= kMinFractionalModule)) {
        m = 1.0f;
        whole = true;
    }
    if (centred != nullptr) {
        *centred = whole;
    }
    return m;
}

float BarcodeBase1D::CentringOffset(int width, float extent)
{
    const float slack = std::floor((static_cast<float>(width) - extent) / 2.0f);
    return slack > 0.0f ? slack : 0.0f;
}

float BarcodeBase1D::BarsEnd(const std::vector<int>& widths, float x, float module) const
{
    // The arithmetic of PaintBarsWith, without painting.
    float px = x;
    float end = x;
    for (size_t i = 0; i < widths.size(); ++i) {
        float w = std::max(module * static_cast<float>(widths[i]), 1.0f);
        if (i % 2 == 0) {
            w = std::max(w + static_cast<float>(m_pxAdjustBlack), 1.0f);
            end = px + w;
        } else {
            w += static_cast<float>(m_pxAdjustWhite);
            if (w < 1.0f) {
                w = 1.0f;
            }
        }
        px += w;
    }
    return end;
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

bool BarcodeBase1D::PaintText(Target target, const std::string& text, int x, int y, int width, int height)
{
    if (target == Target::Svg) {
        return RenderTextSvgFitted(text, x, y, width, height);
    }
    return RenderTextFitted(text, x, y, width, height);
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
    m_drawBox = SDL_Rect{x, y, width, height};
    m_drawTag = tag;
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
    bool centred = false;
    const float module = ModuleWidth(target, width, total, &centred);
    float x0 = static_cast<float>(x);
    if (centred) {
        x0 += CentringOffset(width, BarsEnd(symbol.widths, 0.0f, module));
    }
    if (!SymbolFits(target, tag, x0, BarsEnd(symbol.widths, x0, module), x, width, true)) {
        return false;
    }
    if (target == Target::Svg) {
        SvgBegin(width, height);
        SvgRect(0, 0, static_cast<float>(width), static_cast<float>(height), m_backgroundColor);
    }
    const float end = PaintBars(target, symbol.widths, x0, static_cast<float>(y), module, m_barHeight);
    m_lastDrawnWidth = end - x0;
    if (!PaintText(target, symbol.displayText, numeric::TruncToInt(x0), y, numeric::TruncToInt(end - x0), height)) {
        return false;
    }
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
    const FontLease lease = LockFonts();
    TextCaches& caches = Caches();
    if (data->blend == nullptr || data->under != under) {
        std::string blendKey = data->key;
        blendKey.append(reinterpret_cast<const char*>(&under), sizeof(under));
        auto hit = caches.blends.find(blendKey);
        if (hit == caches.blends.end()) {
            SDL_Surface* block = BlendOver(glyphs, under);
            if (block == nullptr) {
                return false;
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
    const FontLease lease = LockFonts();
    TextCaches& caches = Caches();
    ReleaseUncachedPiece();
    // One byte pieces are remembered by this object too: no key to build or look up.
    const int hinting = TTF_GetFontHinting(font);
    const bool memoised = text.size() == 1 && static_cast<unsigned char>(text[0]) < kMemoBytes;
    if (memoised
        && (m_pieceMemo == nullptr || m_pieceMemo->generation != caches.generation || m_pieceMemo->size != size
            || m_pieceMemo->hinting != hinting || std::memcmp(&m_pieceMemo->colour, &c, sizeof(c)) != 0)) {
        if (m_pieceMemo == nullptr) {
            m_pieceMemo = std::make_unique<PieceMemo>();
        }
        *m_pieceMemo = PieceMemo{caches.generation, size, hinting, c, {}};
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
    if (!PieceWithinBudget(font, size, text)) {
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
        m_uncachedPiece = glyphs;
        return glyphs;
    }
    if (caches.pieces.size() >= kPieceCacheSize || caches.pieceBytes + bytes > kPieceCacheBytes) {
        ClearPieceCache(caches);
        if (memo != nullptr) {
            *m_pieceMemo = PieceMemo{caches.generation, size, hinting, c, {}};
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

bool BarcodeBase1D::MeasureText(TTF_Font* font, int size, const std::string& text, int* width, int* height)
{
    std::string key = FontKey(font, size) + text;
    const FontLease lease = LockFonts();
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

void BarcodeBase1D::RenderText(const std::string& text, int x, int y, int width, int height)
{
    RenderTextFitted(text, x, y, width, height);
}

void BarcodeBase1D::RenderTextSvg(const std::string& text, int x, int y, int width, int height)
{
    RenderTextSvgFitted(text, x, y, width, height);
}

int BarcodeBase1D::LargestFittingSize(int designed, const std::function<bool(int, bool)>& fits)
{
    if (designed <= kMinTextSize) {
        return fits(designed, true) ? designed : 0;
    }
    if (fits(designed, false)) {
        return designed;
    }
    if (!fits(kMinTextSize, true)) {
        return 0;
    }
    int fitting = kMinTextSize;
    int overflowing = designed;
    while (overflowing - fitting > 1) {
        const int middle = fitting + (overflowing - fitting) / 2;
        (fits(middle, false) ? fitting : overflowing) = middle;
    }
    return fitting;
}

double BarcodeBase1D::ShiftIntoBox(double left, double right) const
{
    const SDL_Rect& box = m_drawBox;
    const double boxRight = static_cast<double>(box.x) + box.w;
    if (box.w <= 0 || right - left > box.w) {
        return 0.0;
    }
    if (left < box.x) {
        return std::ceil(box.x - left);
    }
    return right > boxRight ? -std::ceil(right - boxRight) : 0.0;
}

bool BarcodeBase1D::InkBox(SDL_Surface* glyphs, SDL_Rect* ink)
{
    const PieceData* data = DataOf(glyphs);
    const std::vector<InkSpan> own = data == nullptr ? InkSpans(glyphs) : std::vector<InkSpan>();
    const std::vector<InkSpan>& spans = data == nullptr ? own : data->ink;
    int left = 0;
    int right = 0;
    int top = -1;
    int bottom = 0;
    for (size_t row = 0; row < spans.size(); ++row) {
        if (spans[row].begin >= spans[row].end) {
            continue;
        }
        left = top < 0 ? spans[row].begin : std::min(left, spans[row].begin);
        right = top < 0 ? spans[row].end : std::max(right, spans[row].end);
        top = top < 0 ? static_cast<int>(row) : top;
        bottom = static_cast<int>(row) + 1;
    }
    *ink = SDL_Rect{left, top, right - left, bottom - top};
    return top >= 0;
}

bool BarcodeBase1D::TextFitsBox(double left, double right, double top, double bottom, bool last) const
{
    const SDL_Rect& box = m_drawBox;
    if (box.w <= 0 || right <= left) {
        return true;
    }
    const double boxRight = static_cast<double>(box.x) + box.w;
    const double boxBottom = static_cast<double>(box.y) + box.h;
    const bool across = left >= box.x && right <= boxRight;
    if (across && top >= box.y && bottom <= boxBottom) {
        return true;
    }
    if (last) {
        const double needed = across ? bottom - std::min(top, static_cast<double>(box.y))
                                     : right - std::min(left, static_cast<double>(box.x));
        barcode_log::Error(Stream::Err, std::string(m_drawTag) + "The text needs "
                                            + std::to_string(numeric::SaturatingCast<long long>(std::ceil(needed)))
                                            + " pixels even at font size " + std::to_string(kMinTextSize)
                                            + "; the box is "
                                            + (across ? std::to_string(box.h) + " high" : std::to_string(box.w) + " wide"));
    }
    return false;
}

float BarcodeBase1D::SvgTextWidth(const std::string& text, int size)
{
    long long thousandths = 0;
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 32 && c < 127) {
            thousandths += kSvgAdvance[c - 32];
        } else if ((c & 0xC0) != 0x80) {
            thousandths += 1000; // a character beyond ASCII starts here (continuation bytes add nothing)
        }
    }
    return static_cast<float>(static_cast<double>(thousandths) * size / 1000.0);
}

bool BarcodeBase1D::RenderTextFitted(const std::string& text, int x, int y, int width, int height)
{
    if (!HasFont() || !m_showText || text.empty() || m_canvas == nullptr) {
        return true;
    }
    const int mp = MarginPixels(width);
    const std::vector<std::string> pieces = svgtext::SplitCodePoints(text);
    const long long bottom = static_cast<long long>(y) + height;

    const auto fontLock = LockFonts();
    // Visits every piece of the text at size fs, rendered and placed (moved `shift` pixels
    // sideways): visit(glyphs, key, left, top). False when the font of that size cannot be opened.
    const auto each = [&](int fs, long long shift, const auto& visit) {
        TTF_Font* font = CachedFont(fs);
        if (font == nullptr) {
            return false;
        }
        UseHinting(font, TTF_HINTING_MONO);
        const EvenLayout layout = LayOutEvenly(static_cast<int>(pieces.size()), fs, width, mp);
        const long long top = bottom - fs;
        const auto placeTop = [&](int glyphHeight) {
            return numeric::ClampToInt(top + glyphHeight > bottom ? bottom - glyphHeight : top);
        };
        std::string key;
        const auto render = [&](const std::string& piece, const auto& leftOf) {
            if (SDL_Surface* glyphs = RenderPiece(font, fs, piece, &key)) {
                visit(glyphs, key, numeric::ClampToInt(leftOf(static_cast<long long>(glyphs->w)) + shift),
                      placeTop(glyphs->h));
            }
        };
        if (!m_textEvenSpacing) {
            render(text, [&](long long sw) { return static_cast<long long>(x) + (width - sw) / 2; });
            return true;
        }
        for (size_t i = 0; i < pieces.size(); ++i) {
            const long long centre = static_cast<long long>(x) + layout.start + static_cast<long long>(i) * layout.pitch;
            render(pieces[i], [centre](long long sw) { return centre - sw / 2; });
        }
        return true;
    };

    // The text fits at a size when the ink of all its pieces lies inside the box (a piece's
    // transparent margins may leave it), where the layout puts it or, when `moving`, moved
    // sideways into the box. A size whose font does not open counts as fitting: drawing then
    // reports it and leaves the text out.
    bool moving = false;
    long long shift = 0;
    // What the advances alone tell of a size, without rendering the text (a tall box may suggest
    // sizes of thousands of pixels): glyph ink lies within its advance give or take half a size
    // at either end, so text whose advances leave that much room certainly fits (1), and text
    // whose advances are wider than the box by more, or whose size is twice the box height,
    // cannot (-1); otherwise (0) only the ink tells.
    const auto byAdvances = [&](int fs) {
        const SDL_Rect& box = m_drawBox;
        if (box.w <= 0) {
            return 0;
        }
        if (fs / 2 > box.h) {
            return -1;
        }
        TTF_Font* font = CachedFont(fs);
        if (font == nullptr) {
            return 0;
        }
        UseHinting(font, TTF_HINTING_MONO);
        int w = 0;
        int h = 0;
        long long left = 0;
        long long right = 0;
        if (!m_textEvenSpacing || pieces.size() < 2) {
            if (!MeasureText(font, fs, text, &w, &h)) {
                return 0;
            }
            left = static_cast<long long>(x) + (width - w) / 2;
            if (m_textEvenSpacing) {
                const EvenLayout layout = LayOutEvenly(1, fs, width, mp);
                left = static_cast<long long>(x) + layout.start - w / 2;
            }
            right = left + w;
        } else {
            const EvenLayout layout = LayOutEvenly(static_cast<int>(pieces.size()), fs, width, mp);
            int first = 0;
            int last = 0;
            if (!MeasureText(font, fs, pieces.front(), &first, &h) || !MeasureText(font, fs, pieces.back(), &last, &h)) {
                return 0;
            }
            left = static_cast<long long>(x) + layout.start - first / 2;
            right = static_cast<long long>(x) + layout.start
                    + static_cast<long long>(layout.pitch) * static_cast<long long>(pieces.size() - 1) - last / 2 + last;
        }
        const long long slack = fs / 2 + 1;
        if (right - left - fs > box.w) {
            return -1;
        }
        const bool inside = left - slack >= box.x && right + slack <= static_cast<long long>(box.x) + box.w;
        return inside && TTF_FontHeight(font) <= box.h && bottom - TTF_FontHeight(font) >= box.y ? 1 : 0;
    };
    const auto fits = [&](int fs, bool last) {
        const int advances = byAdvances(fs);
        if (advances > 0 && !moving) {
            shift = 0;
            return true;
        }
        if (!last && advances < 0) {
            return false;
        }
        bool any = false;
        double left = 0.0;
        double right = 0.0;
        double inkTop = 0.0;
        double inkBottom = 0.0;
        const bool opened = each(fs, 0, [&](SDL_Surface* glyphs, const std::string&, int gx, int gy) {
            SDL_Rect ink{};
            if (!InkBox(glyphs, &ink)) {
                return;
            }
            const double l = static_cast<double>(gx) + ink.x;
            const double r = l + ink.w;
            const double t = static_cast<double>(gy) + ink.y;
            left = any ? std::min(left, l) : l;
            right = any ? std::max(right, r) : r;
            inkTop = any ? std::min(inkTop, t) : t;
            inkBottom = any ? std::max(inkBottom, t + ink.h) : t + ink.h;
            any = true;
        });
        // Ink that touches the edge of the box cannot be told from ink cut there: a pixel of
        // room is kept on either side.
        if (any) {
            left -= 1.0;
            right += 1.0;
        }
        shift = moving ? static_cast<long long>(ShiftIntoBox(left, right)) : 0;
        return !opened || TextFitsBox(left + shift, right + shift, inkTop, inkBottom, last && moving);
    };
    const int designed = ComputeTextMetrics(height).fontSize;
    int fs = LargestFittingSize(designed, fits);
    if (fs == 0) {
        moving = true;
        fs = LargestFittingSize(designed, fits);
        if (fs == 0) {
            return false;
        }
        fits(fs, false); // the move at the size chosen
    }
    if (!each(fs, shift,
              [this](SDL_Surface* glyphs, const std::string& key, int gx, int gy) { BlitText(glyphs, gx, gy, key); })) {
        barcode_log::Error(Stream::Err, std::string("TTF_OpenFont error: ") + SDL_GetError());
    }
    return true;
}

bool BarcodeBase1D::RenderTextSvgFitted(const std::string& text, int x, int y, int width, int height)
{
    if (!m_showText || text.empty()) {
        return true;
    }
    const int mp = MarginPixels(width);
    const std::vector<std::string> pieces = svgtext::SplitCodePoints(text);
    const double bottom = static_cast<double>(y) + height;
    const auto topOf = [&](int fs) { return static_cast<float>(static_cast<long long>(y) + height - fs); };
    const float centre = static_cast<float>(static_cast<long long>(x) + width / 2);
    const auto centreOf = [&](const EvenLayout& layout, size_t i) {
        return static_cast<long long>(x) + layout.start + static_cast<long long>(i) * layout.pitch;
    };
    // The text fits at a size when the advance of every piece lies inside the box, where the
    // layout puts it or, when `moving`, moved sideways into the box.
    bool moving = false;
    double shift = 0.0;
    const auto fitsMoved = [&](double left, double right, int fs, bool last) {
        shift = moving ? ShiftIntoBox(left, right) : 0.0;
        return TextFitsBox(left + shift, right + shift, topOf(fs), bottom, last && moving);
    };
    const auto fits = [&](int fs, bool last) {
        if (!m_textEvenSpacing) {
            const double half = SvgTextWidth(text, fs) / 2.0;
            return fitsMoved(centre - half, centre + half, fs, last);
        }
        const EvenLayout layout = LayOutEvenly(static_cast<int>(pieces.size()), fs, width, mp);
        double left = 0.0;
        double right = 0.0;
        for (size_t i = 0; i < pieces.size(); ++i) {
            const double half = SvgTextWidth(pieces[i], fs) / 2.0;
            const double c = static_cast<double>(centreOf(layout, i));
            left = i == 0 ? c - half : std::min(left, c - half);
            right = i == 0 ? c + half : std::max(right, c + half);
        }
        return fitsMoved(left, right, fs, last);
    };
    const int designed = ComputeTextMetrics(height).fontSize;
    int fs = LargestFittingSize(designed, fits);
    if (fs == 0) {
        moving = true;
        fs = LargestFittingSize(designed, fits);
        if (fs == 0) {
            return false;
        }
        fits(fs, false); // the move at the size chosen
    }
    const auto moved = [&](double at) { return static_cast<float>(at + shift); };
    if (!m_textEvenSpacing) {
        SvgText(moved(centre), topOf(fs), text, fs, m_foregroundColor, "middle");
        return true;
    }
    const EvenLayout layout = LayOutEvenly(static_cast<int>(pieces.size()), fs, width, mp);
    for (size_t i = 0; i < pieces.size(); ++i) {
        SvgText(moved(static_cast<double>(centreOf(layout, i))), topOf(fs), pieces[i], fs, m_foregroundColor,
                "middle");
    }
    return true;
}
