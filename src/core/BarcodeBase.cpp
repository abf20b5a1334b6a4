// SPDX-License-Identifier: MIT
#include "core/BarcodeBase.h"

#include "core/Limits.h"
#include "core/Log.h"
#include "core/Numeric.h"
#include "core/png/PngOutput.h"
#include "core/svg/SvgDocument.h"
#include "core/text/Fonts.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <stdexcept>

namespace {

using barcode_log::Stream;

} // namespace

BarcodeBase::BarcodeBase(SDL_Renderer* renderer) : m_raster(renderer) {}

BarcodeBase::BarcodeBase(const std::string& outputFormat) : m_format(outputFormat) {}

BarcodeBase::~BarcodeBase() = default;

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
        if (!m_raster.Create(width, height, m_backgroundColor)) {
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

bool BarcodeBase::CreateSurface(int width, int height)
{
    return m_raster.Create(width, height, SDL_Color{0, 0, 0, 0});
}

std::vector<std::uint8_t> BarcodeBase::GetImageMemory()
{
    if (IsSvgOutput()) {
        return {};
    }
    PresentCanvas();
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
        const std::vector<const std::uint32_t*> rows = m_raster.RowPointers();
        bool tooManyColours = false;
        std::vector<std::uint8_t> png =
            png_output::Compact(Surface(), rows.empty() ? nullptr : rows.data(), &tooManyColours);
        if (!tooManyColours) {
            return png;
        }
    }
    m_raster.PlaceAllRows();
    return png_output::SaveSurface(Surface());
}

std::string BarcodeBase::GetImageBase64()
{
    if (IsSvgOutput()) {
        throw std::runtime_error("GetImageBase64() is not available in SVG mode. Use GetSvg() instead.");
    }
    try {
        PresentCanvas();
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

void BarcodeBase::FillRect(Target target, float x, float y, float w, float h, const SDL_Color& color)
{
    if (target == Target::Svg) {
        SvgRect(x, y, w, h, color);
        return;
    }
    SDL_Rect rect{};
    if (raster::ToRect(x, y, w, h, &rect)) {
        m_raster.FillRect(rect, color);
    }
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
