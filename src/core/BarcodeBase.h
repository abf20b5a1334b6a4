// SPDX-License-Identifier: MIT
#pragma once

#include "core/IBarcodeSymbology.h"
#include "core/raster/Canvas.h"
#include "core/raster/TextStamp.h"
#include "core/svg/SvgDocument.h"

#include <SDL.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

// Drawing target, colours, output format and the two outputs (PNG, SVG) shared by all
// symbologies: the raster canvas (core/raster), the SVG document (core/svg) and the PNG bytes
// (core/png). Symbologies compute geometry once and paint it on either target.
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
    static bool ToRasterRect(float x, float y, float w, float h, SDL_Rect* rect) { return raster::ToRect(x, y, w, h, rect); }
    // One axis of ToRasterRect: the first pixel and the pixel count of the span [from, from + size).
    static void ToRasterSpan(float from, float size, int* first, int* count) { raster::ToSpan(from, size, first, count); }
    // True when a symbol painted over [from, to) along one axis lies inside the box's span
    // [boxFrom, boxFrom + boxSize): on a raster by the whole pixels its edges cover, in SVG to a
    // hundredth of a pixel. Otherwise prints "<tag>The symbol needs N pixels; the box is S wide"
    // ("high" for the vertical axis) and returns false: nothing is drawn cut, and the caller can
    // retry with a larger box.
    static bool SymbolFits(Target target, const std::string& tag, float from, float to, int boxFrom, int boxSize,
                           bool across);
    // Whole-pixel rectangles of one colour on the raster canvas, painted in order (as many
    // FillRect calls with these edges would paint them).
    void FillRasterRects(const std::vector<SDL_Rect>& rects, const SDL_Color& color)
    {
        if (Canvas() != nullptr && !rects.empty()) {
            m_raster.FillRects(rects, color);
        }
    }

    bool CreateSurface(int width, int height);
    // Frees the surface, and the renderer when this object created it.
    void ReleaseCanvas() { m_raster.Release(); }
    // Fills the whole canvas with the background colour (nothing to do when it holds nothing else).
    void ClearCanvas()
    {
        if (Canvas() != nullptr) {
            m_raster.Clear(m_backgroundColor);
        }
    }
    // Shows what was painted on the renderer (nothing without one).
    void PresentCanvas()
    {
        if (Canvas() != nullptr) {
            SDL_RenderPresent(Canvas());
        }
    }

    // True when painting writes the pixels of this object's own surface directly (its own
    // software renderer, so the result is the pixels SDL's renderer would make).
    bool PaintsOwnPixels() const { return m_raster.PaintsOwnPixels(); }
    // True when a rectangle fill replaces the pixels it covers (no blending), so that
    // overlapping fills of one colour may be merged.
    bool FillsReplacePixels() const { return m_raster.FillsReplacePixels(); }
    // The raster canvas: its renderer (the caller's or our own; null when there is none), its
    // surface, and the canvas itself for the text blends of the linear frame.
    SDL_Renderer* Canvas() const { return m_raster.Renderer(); }
    SDL_Surface* Surface() const { return m_raster.Surface(); }
    raster::Canvas& Raster() { return m_raster; }

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
    std::string m_format;
    bool m_fitWidth = false;
    int m_pxAdjustBlack = 0;
    int m_pxAdjustWhite = 0;
    int m_width = 0;
    int m_height = 0;

private:
    // The image file of the raster canvas in the output format; empty, with the reason on
    // standard error, when it cannot be made (memory running out included).
    std::vector<std::uint8_t> EncodeCanvas();
    std::vector<std::uint8_t> EncodeCanvasOrThrow();

    raster::Canvas m_raster;
    SvgDocument m_svg;
};
