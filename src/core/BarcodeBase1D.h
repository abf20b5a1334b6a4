// SPDX-License-Identifier: MIT
#pragma once

#include "core/BarcodeBase.h"
#include "core/text/Fonts.h"
#include "core/text/Glyphs.h"

#include <SDL_ttf.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Base of the linear symbologies: bar area above a line of human-readable text, the text
// font, and the draw skeleton that turns element widths into bars on either output.
class BarcodeBase1D : public BarcodeBase
{
public:
    explicit BarcodeBase1D(SDL_Renderer* renderer);
    explicit BarcodeBase1D(const std::string& outputFormat);
    ~BarcodeBase1D() override;

    // The text font (core/text/Fonts.h) and the thread's fonts and caches of rendered text
    // (core/text/Glyphs.h) under the names the symbologies and hosts know.
    // Loads the process-wide 18-point font once; false (with a message) when none is found.
    static bool InitFont();
    // Empties every text cache, closes the fonts and shuts SDL_ttf down; for hosts only.
    static void DestroyFont();
    using FontCandidate = fonts::Candidate;
    static std::vector<FontCandidate> FontCandidates() { return fonts::Candidates(); }
    static std::string GetFontPath() { return fonts::Path(); }
    static TTF_Font* OpenFont(int size) { return fonts::Open(size); }
    static void CloseFont(TTF_Font* font) { fonts::Close(font); }
    using FontLease = glyph_cache::Lease;
    static FontLease LockFonts() { return glyph_cache::Lock(); }
    static TTF_Font* CachedFont(int size) { return glyph_cache::CachedFont(size); }
    static void UseHinting(TTF_Font* font, int hinting) { glyph_cache::UseHinting(font, hinting); }

    // Fixes m_barHeight from the box height and the text options.
    void InitLinerBarcode(int width, int height, int rows);
    // Human-readable text under a symbol drawn from x, `width` pixels wide, in a box of `height`.
    void RenderText(const std::string& text, int x, int y, int width, int height);
    void RenderTextSvg(const std::string& text, int x, int y, int width, int height);

    void SetShowText(bool on) { m_showText = on; }

    void SetTextFontScale(float scale) { m_textFontScale = scale; }

    void SetTextGap(float gap) { m_textGap = gap; }

    void SetTextEvenSpacing(bool on) { m_textEvenSpacing = on; }

    bool GetShowText() const { return m_showText; }

    float GetTextFontScale() const { return m_textFontScale; }

    float GetTextGap() const { return m_textGap; }

    bool GetTextEvenSpacing() const { return m_textEvenSpacing; }

    float GetBarHeight() const { return m_barHeight; }

    // Text sizes derived from a box height (font and gap) and a text width (margin).
    struct TextMetrics
    {
        long long fontPx; // before the minimum of 8
        long long gapPx;  // before the minimum of 2
        int fontSize;     // max(fontPx, 8)
        int gap;          // max(gapPx, 2)
    };

    TextMetrics ComputeTextMetrics(int height) const;
    // Font size per pixel of box height: 0.25 below 50, 0.2 up to 200, 0.15 above.
    static float FontFactor(int height);
    int MarginPixels(int width) const;
    // False when the text options make sizes no canvas can hold (absurd scales) or are not
    // finite numbers.
    bool TextSizesInRange(int height) const;

protected:
    struct LinearSymbol
    {
        std::vector<int> widths; // element widths in modules, bar first
        std::string displayText; // printed under the bars
    };

    using LinearEncoder = std::function<LinearSymbol()>;

    // The draw of a plain linear symbol on either output: canvas, bar height, encoding (an
    // exception is printed after `tag` and fails the draw), bars, text. Raster draws present
    // the renderer at the end.
    bool DrawLinear(Target target, const char* tag, const LinearEncoder& encode, int x, int y, int width, int height);
    // Starts a draw: the raster canvas (created and cleared) or a check of the SVG box; then
    // the bar height. Prints the reason and returns false when the draw cannot go on.
    bool BeginLinearDraw(Target target, const char* tag, int x, int y, int width, int height);

    // Module width in pixels for `totalModules` across `width` pixels on `target`: whole
    // pixels, at least one, unless fit width is on (ModuleFromShare).
    float ModuleWidth(Target target, int width, long long totalModules, bool* centred = nullptr) const;
    // The module width of a fit-width symbol whose exact share of the box is `share` pixels:
    // the share itself, except on a raster below two pixels, where fractional modules do not
    // scan: there whole pixels (one) are used and `centred` is set, the symbol then being
    // centred in its box (CentringOffset). Without fit width: floor(share), at least one.
    float ModuleFromShare(Target target, float share, bool* centred = nullptr) const;
    // The whole pixels a symbol `extent` pixels wide moves right to sit centred in `width`.
    static float CentringOffset(int width, float extent);
    // The x just past the last bar PaintBars paints from x (pixel adjustments included); x
    // when there is none.
    float BarsEnd(const std::vector<int>& widths, float x, float module) const;
    // Paints alternating bars and spaces from x with the pixel adjustments; returns the x after
    // the last element. `barHeightAt(i)` gives the height of element i (a bar). When `starts`
    // is given it receives the x at which each element begins, then the x after the last.
    float PaintBars(Target target, const std::vector<int>& widths, float x, float y, float module,
                    const std::function<float(size_t)>& barHeightAt, std::vector<float>* starts = nullptr);
    float PaintBars(Target target, const std::vector<int>& widths, float x, float y, float module, float barHeight);
    // A rectangle in the foreground colour on the target.
    using BarcodeBase::FillRect;

    void FillRect(Target target, float x, float y, float w, float h)
    {
        FillRect(target, x, y, w, h, m_foregroundColor);
    }

    // RenderText or RenderTextSvg, kept inside the box of the draw (BeginLinearDraw): text
    // wider or taller than the box at the size the box suggests is drawn in the largest
    // smaller size that fits where the layout puts it; when no size does (text laid out at the
    // very edge of the box), in the largest size that fits when moved sideways into the box.
    // False, with the reason printed, when not even the smallest size fits.
    bool PaintText(Target target, const std::string& text, int x, int y, int width, int height);
    // Blits an already rendered text surface with its top-left corner at (x, y); `key` is its
    // cache key from RenderPiece (empty when it is not cached).
    void BlitText(SDL_Surface* glyphs, int x, int y, const std::string& key = std::string());
    // `text` rendered in the foreground colour with `font`, the cached font of `size` points,
    // within a budget of the canvas's size (glyph_cache::PieceRenderer::Render): BlitText draws
    // it. Use it only while holding the lease of LockFonts().
    SDL_Surface* RenderPiece(TTF_Font* font, int size, const std::string& text, std::string* cacheKey = nullptr);
    static bool MeasureText(TTF_Font* font, int size, const std::string& text, int* width, int* height)
    {
        return glyph_cache::Measure(font, size, text, width, height);
    }

    bool m_showText = true;
    float m_textFontScale = 1.0f;
    float m_textMarginScale = 1.0f;
    float m_textGap = 1.0f;
    bool m_textEvenSpacing = true;
    float m_barHeight = 0.0f;
    float m_lastDrawnWidth = 0.0f; // px_end - x of the last DrawLinear
    // The box and failure tag of the draw in progress, set by BeginLinearDraw: text stays
    // inside the box (no box: width 0).
    SDL_Rect m_drawBox{0, 0, 0, 0};
    const char* m_drawTag = "";

    // The smallest font size text is stepped down to so that it fits its box.
    static constexpr int kMinTextSize = 6;
    // The largest font size from `designed` down to kMinTextSize at which `fits(size, last)`
    // holds: `designed` first (the usual case), then, when it does not fit, kMinTextSize with
    // `last` set (its failure prints the reason), then a halving search between the two, text
    // that fits at one size fitting at every smaller one. 0 when not even kMinTextSize fits.
    static int LargestFittingSize(int designed, const std::function<bool(int, bool)>& fits);
    // LargestFittingSize where the layout puts the text, or else with the text moved sideways
    // into the box (`fits` reads *moving, which is then set); 0 when neither fits.
    static int ChooseTextSize(int designed, const std::function<bool(int, bool)>& fits, bool* moving);
    // The advance width of `text` in the SVG text at `size` points, in the metrics of the font
    // the SVG asks for (Arial); characters beyond ASCII count a full size. Used to keep SVG text
    // inside its box.
    static float SvgTextWidth(const std::string& text, int size);
    // False, with "<tag>The text needs N pixels even at font size 6; the box is ..." printed,
    // when text spanning [left, right) x [top, bottom) does not fit m_drawBox; `last` tells
    // whether the size was the smallest (only then is the reason printed).
    bool TextFitsBox(double left, double right, double top, double bottom, bool last) const;
    // The box of a rendered piece's ink (alpha above 0) within the piece; false when it has none.
    static bool InkBox(SDL_Surface* glyphs, SDL_Rect* ink);
    // The horizontal move (whole pixels) that brings text spanning [left, right) inside
    // m_drawBox: 0 when it is inside already or when it is wider than the box.
    double ShiftIntoBox(double left, double right) const;

private:
    bool RenderTextFitted(const std::string& text, int x, int y, int width, int height);
    bool RenderTextSvgFitted(const std::string& text, int x, int y, int width, int height);
    // PaintBars with the bar heights of `barHeightAt` (any callable).
    template <typename HeightAt>
    float PaintBarsWith(Target target, const std::vector<int>& widths, float x, float y, float module,
                        const HeightAt& barHeightAt, std::vector<float>* starts);
    // BlitText of a cached piece over a region of one value, as a copy of its blend over that
    // value (made once); false when the region holds more than one value or SDL fails.
    bool BlitBlended(SDL_Surface* glyphs, int x, int y, const std::string& key);

    glyph_cache::PieceRenderer m_pieces; // RenderPiece's pieces
    std::vector<SDL_Rect> m_bars;           // PaintBars' raster bars, kept for their room
};
