// SPDX-License-Identifier: MIT
#include "QuietZone.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <png.h>
#include <stdexcept>
#include <vector>

namespace lumeo {
namespace {

// Largest framed image the tool writes, in pixels: far beyond any label, small enough to allocate.
constexpr long long kMaxPixels = 1LL << 28;

std::string RgbFill(const Color& c)
{
    return "rgb(" + std::to_string(c.r & 255) + "," + std::to_string(c.g & 255) + "," + std::to_string(c.b & 255) + ")";
}

// The value of attribute `name` inside one start tag, or an empty string.
std::string Attribute(const std::string& tag, const std::string& name)
{
    const std::string key = " " + name + "=\"";
    const size_t at = tag.find(key);
    if (at == std::string::npos) {
        return {};
    }
    const size_t begin = at + key.size();
    const size_t end = tag.find('"', begin);
    return end == std::string::npos ? std::string() : tag.substr(begin, end - begin);
}

double Number(const std::string& text)
{
    if (text.empty()) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    return (end != nullptr && *end == '\0') ? v : std::numeric_limits<double>::quiet_NaN();
}

// Replaces the value of attribute `name` in a start tag (the attribute must be present).
void SetAttribute(std::string& tag, const std::string& name, const std::string& value)
{
    const std::string key = " " + name + "=\"";
    const size_t at = tag.find(key);
    if (at == std::string::npos) {
        throw std::runtime_error("the SVG document has no " + name + " attribute");
    }
    const size_t begin = at + key.size();
    const size_t end = tag.find('"', begin);
    if (end == std::string::npos) {
        throw std::runtime_error("the SVG document's " + name + " attribute is not closed");
    }
    tag.replace(begin, end - begin, value);
}

// Position and length of the <svg ...> start tag.
std::pair<size_t, size_t> SvgStartTag(const std::string& svg)
{
    const size_t begin = svg.find("<svg");
    const size_t end = begin == std::string::npos ? begin : svg.find('>', begin);
    if (end == std::string::npos) {
        throw std::runtime_error("the library returned no SVG document");
    }
    return {begin, end + 1 - begin};
}

void CheckFrameSize(long long width, long long height)
{
    if (width <= 0 || height <= 0 || width > kMaxPixels / height) {
        throw std::runtime_error("the image with its margin would be too large (" + std::to_string(width) + " x "
                                 + std::to_string(height) + ")");
    }
}

// libpng's simplified interface releases its own state when a call fails; the guard covers
// the calls that succeed.
struct PngImage
{
    png_image image{};

    PngImage() { image.version = PNG_IMAGE_VERSION; }

    ~PngImage() { png_image_free(&image); }

    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;
};

// The index of the colour in an RGBA palette, adding it when there is room, else the nearest entry.
unsigned PaletteIndex(std::vector<png_byte>& palette, unsigned& entries, const Color& c)
{
    const png_byte want[4] = {static_cast<png_byte>(c.r), static_cast<png_byte>(c.g), static_cast<png_byte>(c.b),
                              static_cast<png_byte>(c.a)};
    unsigned best = 0;
    long bestDistance = std::numeric_limits<long>::max();
    for (unsigned i = 0; i < entries; ++i) {
        long d = 0;
        for (int k = 0; k < 4; ++k) {
            const long diff = static_cast<long>(palette[i * 4 + k]) - want[k];
            d += diff * diff;
        }
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    if (bestDistance == 0 || entries >= 256) {
        return best;
    }
    std::memcpy(&palette[entries * 4], want, 4);
    return entries++;
}

bool IsEmpty(const Margins& m)
{
    return m.left == 0 && m.top == 0 && m.right == 0 && m.bottom == 0;
}

} // namespace

SymbolExtent MeasureSvg(const std::string& svg, const Color& fg)
{
    SymbolExtent e;
    const auto [tagAt, tagLength] = SvgStartTag(svg);
    const std::string svgTag = svg.substr(tagAt, tagLength);
    e.canvasWidth = Number(Attribute(svgTag, "width"));
    e.canvasHeight = Number(Attribute(svgTag, "height"));
    const std::string fill = RgbFill(fg);
    size_t at = tagAt + tagLength;
    while ((at = svg.find("<rect", at)) != std::string::npos) {
        const size_t end = svg.find('>', at);
        if (end == std::string::npos) {
            break;
        }
        const std::string tag = svg.substr(at, end - at);
        at = end;
        if (Attribute(tag, "fill") != fill) {
            continue;
        }
        const double x = Number(Attribute(tag, "x"));
        const double y = Number(Attribute(tag, "y"));
        const double w = Number(Attribute(tag, "width"));
        const double h = Number(Attribute(tag, "height"));
        if (!(w > 0 && h > 0) || std::isnan(x) || std::isnan(y)) {
            continue;
        }
        if (!e.found) {
            e = SymbolExtent{true, w, x, y, x + w, y + h, e.canvasWidth, e.canvasHeight};
            continue;
        }
        e.module = std::min(e.module, w);
        e.left = std::min(e.left, x);
        e.top = std::min(e.top, y);
        e.right = std::max(e.right, x + w);
        e.bottom = std::max(e.bottom, y + h);
    }
    if (std::isnan(e.canvasWidth) || std::isnan(e.canvasHeight)) {
        e.found = false;
    }
    return e;
}

Margins QuietZoneMargins(const SymbolExtent& extent, const QuietZoneModules& zone, int pxAdjustBlack)
{
    if (!extent.found) {
        return {};
    }
    const double module = std::max(extent.module - pxAdjustBlack, 1.0);
    // The zone still missing on one side, in whole pixels; the blank canvas already there counts.
    const auto missing = [module](double modules, double blank) {
        const double need = std::ceil(modules * module - 1e-6) - std::floor(std::max(blank, 0.0) + 1e-6);
        return need > 0 ? static_cast<int>(need) : 0;
    };
    Margins m;
    m.left = missing(zone.left, extent.left);
    m.right = missing(zone.right, extent.canvasWidth - extent.right);
    m.top = missing(zone.vertical, extent.top);
    m.bottom = missing(zone.vertical, extent.canvasHeight - extent.bottom);
    return m;
}

std::string FrameSvg(const std::string& svg, const Margins& m, const Color& bg)
{
    if (IsEmpty(m)) {
        return svg;
    }
    const auto [at, length] = SvgStartTag(svg);
    std::string tag = svg.substr(at, length);
    const double width = Number(Attribute(tag, "width"));
    const double height = Number(Attribute(tag, "height"));
    if (std::isnan(width) || std::isnan(height)) {
        throw std::runtime_error("the SVG document has no size");
    }
    const long long w = static_cast<long long>(width) + m.left + m.right;
    const long long h = static_cast<long long>(height) + m.top + m.bottom;
    CheckFrameSize(w, h);
    const std::string x0 = std::to_string(-m.left);
    const std::string y0 = std::to_string(-m.top);
    SetAttribute(tag, "width", std::to_string(w));
    SetAttribute(tag, "height", std::to_string(h));
    SetAttribute(tag, "viewBox", x0 + " " + y0 + " " + std::to_string(w) + " " + std::to_string(h));
    std::string background = "\n  <rect x=\"" + x0 + "\" y=\"" + y0 + "\" width=\"" + std::to_string(w) + "\" height=\""
                             + std::to_string(h) + "\" fill=\"" + RgbFill(bg) + "\"";
    if ((bg.a & 255) < 255) {
        char opacity[16];
        std::snprintf(opacity, sizeof opacity, "%.2f", (bg.a & 255) / 255.0);
        background += std::string(" fill-opacity=\"") + opacity + "\"";
    }
    background += "/>";
    // The background goes first, under everything the library drew.
    return svg.substr(0, at) + tag + background + svg.substr(at + length);
}

std::string FramePng(const std::string& png, const Margins& m, const Color& bg)
{
    if (m.left < 0 || m.top < 0 || m.right < 0 || m.bottom < 0) {
        throw std::runtime_error("negative margin");
    }
    if (IsEmpty(m)) {
        return png;
    }
    PngImage in;
    if (!png_image_begin_read_from_memory(&in.image, png.data(), png.size())) {
        throw std::runtime_error(std::string("the library returned an unreadable PNG: ") + in.image.message);
    }
    const bool palette = (in.image.format & PNG_FORMAT_FLAG_COLORMAP) != 0;
    in.image.format = palette ? PNG_FORMAT_RGBA_COLORMAP : PNG_FORMAT_RGBA;
    const unsigned width = in.image.width;
    const unsigned height = in.image.height;
    const long long outWidth = static_cast<long long>(width) + m.left + m.right;
    const long long outHeight = static_cast<long long>(height) + m.top + m.bottom;
    CheckFrameSize(width, height);
    CheckFrameSize(outWidth, outHeight);
    const size_t channels = palette ? 1 : 4;
    std::vector<png_byte> pixels(static_cast<size_t>(width) * height * channels);
    std::vector<png_byte> colormap(256 * 4);
    if (!png_image_finish_read(&in.image, nullptr, pixels.data(), 0, palette ? colormap.data() : nullptr)) {
        throw std::runtime_error(std::string("the library returned an unreadable PNG: ") + in.image.message);
    }
    unsigned entries = palette ? in.image.colormap_entries : 0;

    // The background as one pixel of the output format.
    std::vector<png_byte> fill(channels);
    if (palette) {
        fill[0] = static_cast<png_byte>(PaletteIndex(colormap, entries, bg));
    } else {
        fill = {static_cast<png_byte>(bg.r), static_cast<png_byte>(bg.g), static_cast<png_byte>(bg.b),
                static_cast<png_byte>(bg.a)};
    }
    const size_t outRow = static_cast<size_t>(outWidth) * channels;
    std::vector<png_byte> framed(outRow * static_cast<size_t>(outHeight));
    for (size_t i = 0; i < framed.size(); i += channels) {
        std::memcpy(&framed[i], fill.data(), channels);
    }
    const size_t inRow = static_cast<size_t>(width) * channels;
    for (unsigned y = 0; y < height; ++y) {
        std::memcpy(&framed[(y + m.top) * outRow + m.left * channels], &pixels[y * inRow], inRow);
    }

    PngImage out;
    out.image.width = static_cast<png_uint_32>(outWidth);
    out.image.height = static_cast<png_uint_32>(outHeight);
    out.image.format = in.image.format;
    out.image.colormap_entries = entries;
    png_alloc_size_t size = 0;
    const void* map = palette ? colormap.data() : nullptr;
    if (!png_image_write_to_memory(&out.image, nullptr, &size, 0, framed.data(), 0, map)) {
        throw std::runtime_error(std::string("cannot encode the framed PNG: ") + out.image.message);
    }
    std::string bytes(size, '\0');
    if (!png_image_write_to_memory(&out.image, bytes.data(), &size, 0, framed.data(), 0, map)) {
        throw std::runtime_error(std::string("cannot encode the framed PNG: ") + out.image.message);
    }
    bytes.resize(size);
    return bytes;
}

} // namespace lumeo
