// SPDX-License-Identifier: MIT
#pragma once

#include "core/IBarcodeSymbology.h"
#include "core/raster/InkSpan.h"
#include "core/svg/SvgDocument.h"

#include <SDL.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

// Drawing target, colours, output format and the two outputs (PNG, SVG) shared by all
// symbologies. Symbologies compute geometry and paint through a Painter (core/Painter.h).
namespace text_blend {
// Whether the canvas's own text blend gives exactly what SDL's blit gives on this machine (SDL's
// blitters differ by processor and library version); checked once. When it does not, text is
// blitted by SDL, pixel for pixel the same but slower.
bool MatchesSdl();
} // namespace text_blend

class BarcodeBase : public IBarcodeSymbology
{
public:
    // Draws onto the caller's renderer; PNG and SVG output are unavailable.
    explicit BarcodeBase(SDL_Renderer* renderer);
    // `outputFormat`: "png", "png8", "jpg", "jpeg" (raster; always PNG bytes), "svg" or "SVG".
    explicit BarcodeBase(const std::string& outputFormat);
    ~BarcodeBase() override;

    BarcodeBase(const BarcodeBase&) = delete;
    BarcodeBase& operator=(const BarcodeBase&) = delete;

    void SetForegroundColor(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) override;
    void SetBackgroundColor(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) override;
    // Prepares the canvas of a raster draw: creates and clears a width x height surface in
    // "png"/"png8"/"jpg"/"jpeg"; releases any owned canvas for an unknown format (the symbology's
    // draw then fails for want of a renderer). Returns false when no surface can be made.
    bool Draw(const std::string& text, int x, int y, int width, int height) override = 0;
    std::vector<std::uint8_t> GetImageMemory() override;
    std::string GetImageBase64() override;
    // The SVG twin of Draw; the base draws nothing.
    virtual bool DrawSvg(const std::string& text, int x, int y, int width, int height);

    // The document of the last successful SVG draw. Throws std::runtime_error outside SVG mode.
    std::string GetSvg() const;
    // The same document without a copy: a later draw starts a new one and leaves this intact.
    // Null when nothing was drawn. Throws std::runtime_error outside SVG mode.
    std::shared_ptr<const std::string> GetSvgDocument() const;

    // Forgets the result of the last draw (surface, owned renderer, SVG document), so that a
    // failed draw leaves nothing to fetch.
    void DiscardOutput();

    void SetOutputFormat(const std::string& format) { m_format = format; }
    const std::string& GetOutputFormat() const { return m_format; }
    bool IsSvgOutput() const { return m_format == "svg" || m_format == "SVG"; }

    bool IsRasterOutput() const
    {
        return m_format == "png" || m_format == "jpg" || m_format == "jpeg" || m_format == "png8";
    }

    // "png8": the raster image is written as a palette (or grey) PNG with the same pixels.
    bool IsPng8Output() const { return m_format == "png8"; }

    void SetFitWidth(bool on) { m_fitWidth = on; }
    void SetPxAdjustBlack(int px) { m_pxAdjustBlack = px; }
    void SetPxAdjustWhite(int px) { m_pxAdjustWhite = px; }
    bool GetFitWidth() const { return m_fitWidth; }
    int GetPxAdjustBlack() const { return m_pxAdjustBlack; }
    int GetPxAdjustWhite() const { return m_pxAdjustWhite; }
    const SDL_Color& GetForegroundColor() const { return m_foregroundColor; }
    const SDL_Color& GetBackgroundColor() const { return m_backgroundColor; }

    // Directory tried first by the font search; process-wide, set it before creating objects.
    static void SetModulePath(const std::string& path);
    static std::string GetModulePath();

    // The PNG output of core/png/PngOutput.h under the names the symbologies and hosts know.
    static std::string GetFallbackImage();
    static std::string Base64Encode(const std::uint8_t* data, size_t length);
    static std::vector<std::uint8_t> SaveSurfaceToMemory(SDL_Surface* surface);
    static std::vector<std::uint8_t> SaveSurfaceToCompactPng(SDL_Surface* surface);
    // "rgb(r,g,b)".
    static std::string ColorToRgbString(const SDL_Color& color);

    // core/raster/InkSpan.h
    using InkSpan = raster::InkSpan;

protected:
    // Where one draw goes: the raster canvas or the SVG document. Symbologies compute their
    // geometry once and hand it to either.
    enum class Target
    {
        Raster,
        Svg
    };

    // A filled rectangle on the target.
    void FillRect(Target target, float x, float y, float w, float h, const SDL_Color& color);
    // The whole pixels a raster FillRect covers: both edges rounded, at least one pixel for a
    // positive size. False when nothing is covered.
    static bool ToRasterRect(float x, float y, float w, float h, SDL_Rect* rect);
    // One axis of ToRasterRect: the first pixel and the pixel count of the span [from, from + size).
    static void ToRasterSpan(float from, float size, int* first, int* count);
    // True when a symbol painted over [from, to) along one axis lies inside the box's span
    // [boxFrom, boxFrom + boxSize): on a raster by the whole pixels its edges cover, in SVG to a
    // hundredth of a pixel. Otherwise prints "<tag>The symbol needs N pixels; the box is S wide"
    // ("high" for the vertical axis) and returns false: nothing is drawn cut, and the caller can
    // retry with a larger box.
    static bool SymbolFits(Target target, const std::string& tag, float from, float to, int boxFrom, int boxSize,
                           bool across);
    // Whole-pixel rectangles of one colour on the raster canvas, painted in order (as many
    // FillRect calls with these edges would paint them).
    void FillRasterRects(const std::vector<SDL_Rect>& rects, const SDL_Color& color);

    bool CreateSurface(int width, int height);
    // Frees the surface, and the renderer when this object created it.
    void ReleaseCanvas();
    // Fills the whole canvas with the background colour (nothing to do when it holds nothing else).
    void ClearCanvas();

    // True when painting writes the pixels of this object's own surface directly (its own
    // software renderer, so the result is the pixels SDL's renderer would make).
    bool PaintsOwnPixels() const { return m_ownsRenderer && m_surface != nullptr; }

    // True when a rectangle fill replaces the pixels it covers (no blending), so that
    // overlapping fills of one colour may be merged.
    bool FillsReplacePixels() const;
    // Copies `source` (blended by its own blend mode) with its top-left corner at (x, y).
    void BlitOwnPixels(SDL_Surface* source, int x, int y);
    static std::vector<InkSpan> InkSpans(SDL_Surface* source) { return raster::InkSpans(source); }
    // The one value every canvas pixel under `rect` holds, and the part of `rect` on the canvas;
    // false when they differ or nothing is covered. With `ink` (a span per row of `rect`), only
    // the pixels under the ink count.
    bool UniformUnder(const SDL_Rect& rect, const InkSpan* ink, SDL_Rect* clipped, std::uint32_t* value);
    // `source` blended over a surface of its size holding `under`: the pixels BlitOwnPixels makes
    // of it on such a canvas. Null (with the reason in SDL_GetError) when SDL fails.
    static SDL_Surface* BlendOver(SDL_Surface* source, std::uint32_t under);
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
    SDL_Renderer* Canvas() const { return m_canvas; }
    SDL_Surface* Surface() const { return m_surface; }

    // The SVG document of the draw (core/svg/SvgDocument.h). SvgBegin also drops the raster
    // image of an earlier draw; it throws std::length_error for a canvas outside core/Limits.h.
    void SvgBegin(int width, int height);
    void SvgEnd() { m_svg.End(); }
    void SvgRect(float x, float y, float width, float height, const SDL_Color& color)
    {
        m_svg.Rect(x, y, width, height, color);
    }
    void SvgText(float x, float y, const std::string& text, int fontSize, const SDL_Color& color,
                 const std::string& anchor)
    {
        m_svg.Text(x, y, text, fontSize, color, anchor);
    }
    static constexpr float kSvgBaseline = SvgDocument::kBaseline;

    SDL_Color m_foregroundColor{0, 0, 0, 255};
    SDL_Color m_backgroundColor{255, 255, 255, 255};
    SDL_Renderer* m_canvas = nullptr;
    std::string m_format;
    SDL_Surface* m_surface = nullptr;
    bool m_fitWidth = false;
    int m_pxAdjustBlack = 0;
    int m_pxAdjustWhite = 0;
    int m_width = 0;
    int m_height = 0;

private:
    // Creates the surface; in direct-painting mode its pixels hold `fill` (each row written when
    // first painted or read: see m_rowSource).
    bool CreateCanvas(int width, int height, const SDL_Color& fill);
    // The image file of the raster canvas in the output format; empty, with the reason on
    // standard error, when it cannot be made (memory running out included).
    std::vector<std::uint8_t> EncodeCanvas();
    std::vector<std::uint8_t> EncodeCanvasOrThrow();
    // Deferred rows: every row holds `value` only.
    void BlankRows(std::uint32_t value);
    // Writes the pixels of the deferred rows among y0..y1-1 and of the rows that repeat them.
    void PlaceRows(long long y0, long long y1);
    void PlaceAllRows() { PlaceRows(0, m_surface != nullptr ? m_surface->h : 0); }

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

    bool m_ownsRenderer = false;               // set when this object created m_canvas
    std::unique_ptr<std::uint32_t[]> m_pixels; // the pixels of m_surface in direct mode
    bool m_uniform = false;                    // the whole canvas holds m_uniformColor
    // The own canvas writes a row when it is first painted or read: per row, the row itself when
    // its pixels are in place, kBlankRow while it holds only m_blankValue, or the row above it
    // that it repeats (a band painted once). Empty without an own canvas. The PNG encoders get
    // every row in place, except the compact one, which reads rows through it and takes rows of
    // one source as equal without comparing them.
    static constexpr int kBlankRow = -1;
    std::vector<int> m_rowSource;
    std::vector<std::uint32_t> m_blankRow; // one row of m_blankValue
    std::vector<SDL_Rect> m_clippedRects;  // FillRasterRects' rectangles on the canvas
    // Rows placed from blank that only CopyBlended has written since: per row, the columns
    // [begin, end) that may hold anything but m_blankValue (none when begin == end; begin > end:
    // not known). Meaningful only while m_textMarksValid; any other painting ends that, so that
    // UniformUnder can tell a row blank under a piece's ink without reading its pixels.
    std::vector<InkSpan> m_textMarks;
    bool m_textMarksValid = false;
    std::uint32_t m_blankValue = 0;
    SDL_Color m_uniformColor{0, 0, 0, 0};
    SvgDocument m_svg;
};
