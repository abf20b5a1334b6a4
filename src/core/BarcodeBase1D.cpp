// SPDX-License-Identifier: MIT
#include "core/BarcodeBase1D.h"

#include "core/Log.h"
#include "core/Numeric.h"
#include "core/svg/SvgText.h"
#include "core/text/Fonts.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

using barcode_log::Stream;


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

BarcodeBase1D::~BarcodeBase1D() = default;

bool BarcodeBase1D::InitFont()
{
    return fonts::Init();
}

void BarcodeBase1D::DestroyFont()
{
    glyph_cache::Shutdown();
}

SDL_Surface* BarcodeBase1D::RenderPiece(TTF_Font* font, int size, const std::string& text, std::string* cacheKey)
{
    const long long canvas = Surface() != nullptr ? static_cast<long long>(Surface()->w) * Surface()->h : 0;
    return m_pieces.Render(font, size, text, m_foregroundColor, canvas, cacheKey);
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
        if (!BarcodeBase::Draw(std::string(), x, y, width, height) || Canvas() == nullptr) {
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
        SDL_RenderPresent(Canvas());
    }
    return true;
}

bool BarcodeBase1D::BlitBlended(SDL_Surface* glyphs, int x, int y, const std::string& key)
{
    const glyph_cache::Piece* data = glyph_cache::PieceOf(glyphs);
    if (key.empty() || data == nullptr) {
        return false;
    }
    SDL_Rect clipped{};
    std::uint32_t under = 0;
    // Only the rows with ink count: a piece leaves the rest of its box as it is.
    const long long top = static_cast<long long>(y) + data->inkTop;
    const int rows = data->inkBottom - data->inkTop;
    if (rows <= 0 || top >= Surface()->h || top + rows <= 0) {
        Raster().CopyBlended(glyphs, x, y, SDL_Rect{0, 0, 0, 0}, nullptr); // no ink on the canvas: nothing changes
        return true;
    }
    const InkSpan* ink = data->ink.data() + data->inkTop;
    // Over mixed pixels (another piece's ink meets this one's): the blend over the blank value
    // where the canvas holds it, and pixel by pixel where it does not.
    const bool mixed = !Raster().UniformUnder(SDL_Rect{x, static_cast<int>(top), glyphs->w, rows}, ink, &clipped, &under);
    if (mixed && (clipped.w <= 0 || !Raster().MixedUnder(glyphs, &under))) {
        return false;
    }
    const glyph_cache::Lease lease = glyph_cache::Lock(); // the blend is an entry of the thread's cache
    SDL_Surface* blend = glyph_cache::BlendOf(glyphs, under, &raster::BlendOver);
    if (blend == nullptr) {
        return false;
    }
    if (mixed) {
        Raster().BlendMixed(glyphs, blend, under, x, y, clipped, data->ink.data());
    } else {
        Raster().CopyBlended(blend, x, y, clipped, data->ink.data());
    }
    return true;
}

void BarcodeBase1D::BlitText(SDL_Surface* glyphs, int x, int y, const std::string& key)
{
    if (PaintsOwnPixels()) {
        // Straight from the cached glyph surface (or from its blend over the region's one
        // value): the pixels a texture copy would make.
        if (!BlitBlended(glyphs, x, y, key)) {
            Raster().BlitOwnPixels(glyphs, x, y);
        }
    } else if (SDL_Texture* texture = SDL_CreateTextureFromSurface(Canvas(), glyphs); texture == nullptr) {
        barcode_log::Error(Stream::Err, std::string("SDL_CreateTextureFromSurface error: ") + SDL_GetError());
    } else {
        SDL_SetRenderDrawBlendMode(Canvas(), SDL_BLENDMODE_BLEND);
        const SDL_Rect dst{x, y, glyphs->w, glyphs->h};
        SDL_RenderCopy(Canvas(), texture, nullptr, &dst);
        SDL_DestroyTexture(texture);
    }
    m_pieces.Drawn(glyphs);
}




void BarcodeBase1D::RenderText(const std::string& text, int x, int y, int width, int height)
{
    RenderTextFitted(text, x, y, width, height);
}

void BarcodeBase1D::RenderTextSvg(const std::string& text, int x, int y, int width, int height)
{
    RenderTextSvgFitted(text, x, y, width, height);
}

int BarcodeBase1D::ChooseTextSize(int designed, const std::function<bool(int, bool)>& fits, bool* moving)
{
    int fs = LargestFittingSize(designed, fits);
    if (fs == 0) {
        *moving = true;
        fs = LargestFittingSize(designed, fits);
        if (fs != 0) {
            fits(fs, false); // the move at the size chosen
        }
    }
    return fs;
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
    const glyph_cache::Piece* data = glyph_cache::PieceOf(glyphs);
    const std::vector<InkSpan> own = data == nullptr ? raster::InkSpans(glyphs) : std::vector<InkSpan>();
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
    if (!fonts::Loaded() || !m_showText || text.empty() || Canvas() == nullptr) {
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
    const int fs = ChooseTextSize(ComputeTextMetrics(height).fontSize, fits, &moving);
    if (fs == 0) {
        return false;
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
    const int fs = ChooseTextSize(ComputeTextMetrics(height).fontSize, fits, &moving);
    if (fs == 0) {
        return false;
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
