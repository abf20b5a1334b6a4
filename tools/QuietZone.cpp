// SPDX-License-Identifier: MIT
#include "QuietZone.h"

#include <algorithm>
#include <array>
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

// Clockwise quarter turns of `degrees`; throws for an angle that is not a multiple of 90.
int QuarterTurns(int degrees)
{
    if (degrees % 90 != 0) {
        throw std::runtime_error("cannot turn an image by " + std::to_string(degrees) + " degrees");
    }
    return ((degrees / 90) % 4 + 4) % 4;
}

// The pixels of a `width` x `height` image of `channels` bytes a pixel, turned clockwise by
// `turns` quarter turns (1 to 3).
std::vector<png_byte> TurnPixels(const std::vector<png_byte>& in, long long width, long long height, size_t channels,
                                 int turns)
{
    const size_t w = static_cast<size_t>(width);
    const size_t h = static_cast<size_t>(height);
    const size_t outWidth = turns == 2 ? w : h;
    std::vector<png_byte> out(in.size());
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            size_t tx = 0;
            size_t ty = 0;
            if (turns == 1) { // clockwise: the left column becomes the top row
                tx = h - 1 - y;
                ty = x;
            } else if (turns == 2) {
                tx = w - 1 - x;
                ty = h - 1 - y;
            } else {
                tx = y;
                ty = w - 1 - x;
            }
            std::memcpy(&out[(ty * outWidth + tx) * channels], &in[(y * w + x) * channels], channels);
        }
    }
    return out;
}

// The document turned clockwise by `degrees`: its content in a group turned about the origin
// and moved back into view, on a canvas whose width and height swap for a quarter turn.
std::string Turned(const std::string& svg, int degrees)
{
    const int turns = QuarterTurns(degrees);
    if (turns == 0) {
        return svg;
    }
    const auto [at, length] = SvgStartTag(svg);
    std::string tag = svg.substr(at, length);
    const double width = Number(Attribute(tag, "width"));
    const double height = Number(Attribute(tag, "height"));
    if (!(width > 0) || !(height > 0)) {
        throw std::runtime_error("the SVG document has no size");
    }
    // The view box's origin (a frame moves it to minus the margin).
    double x0 = 0;
    double y0 = 0;
    const std::string box = Attribute(tag, "viewBox");
    if (!box.empty() && std::sscanf(box.c_str(), "%lf %lf", &x0, &y0) != 2) {
        x0 = 0;
        y0 = 0;
    }
    const std::string w = Attribute(tag, "width");
    const std::string h = Attribute(tag, "height");
    const std::string outW = turns == 2 ? w : h;
    const std::string outH = turns == 2 ? h : w;
    SetAttribute(tag, "width", outW);
    SetAttribute(tag, "height", outH);
    if (!box.empty()) {
        SetAttribute(tag, "viewBox", "0 0 " + outW + " " + outH);
    }
    // Turned about the origin, the content lands left of or above the view: moved back by the
    // turned size, after its own origin is brought to (0, 0).
    const char* const moves[] = {"", "translate(%s 0) rotate(90)", "translate(%s %s) rotate(180)",
                                 "translate(0 %s) rotate(270)"};
    char transform[160];
    if (turns == 1) {
        std::snprintf(transform, sizeof transform, moves[1], h.c_str());
    } else if (turns == 2) {
        std::snprintf(transform, sizeof transform, moves[2], w.c_str(), h.c_str());
    } else {
        std::snprintf(transform, sizeof transform, moves[3], w.c_str());
    }
    char origin[80];
    std::snprintf(origin, sizeof origin, " translate(%.10g %.10g)", -x0, -y0);
    const size_t close = svg.rfind("</svg>");
    if (close == std::string::npos || close < at + length) {
        throw std::runtime_error("the SVG document is not closed");
    }
    return svg.substr(0, at) + tag + "\n<g transform=\"" + transform + (x0 != 0 || y0 != 0 ? origin : "") + "\">"
           + svg.substr(at + length, close - at - length) + "</g>\n" + svg.substr(close);
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
            e = SymbolExtent{true, w, h, x, y, x + w, y + h, e.canvasWidth, e.canvasHeight};
            continue;
        }
        e.module = std::min(e.module, w);
        e.moduleHeight = std::min(e.moduleHeight, h);
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

std::string FrameSvg(const std::string& svg, const Margins& m, const Color& bg, int degrees)
{
    if (IsEmpty(m)) {
        return Turned(svg, degrees);
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
    return Turned(svg.substr(0, at) + tag + background + svg.substr(at + length), degrees);
}

std::string FramePng(const std::string& png, const Margins& m, const Color& bg, int degrees)
{
    if (m.left < 0 || m.top < 0 || m.right < 0 || m.bottom < 0) {
        throw std::runtime_error("negative margin");
    }
    const int turns = QuarterTurns(degrees);
    if (IsEmpty(m) && turns == 0) {
        return png;
    }
    PngImage in;
    if (!png_image_begin_read_from_memory(&in.image, png.data(), png.size())) {
        throw std::runtime_error(std::string("the library returned an unreadable PNG: ") + in.image.message);
    }
    // A grey image is read as grey and indexed by its grey levels below, so that it is written
    // back as a palette of the fewest bits, as compact as the library's own.
    const bool grey = in.image.format == PNG_FORMAT_GRAY;
    const bool palette = (in.image.format & PNG_FORMAT_FLAG_COLORMAP) != 0 || grey;
    in.image.format = grey ? PNG_FORMAT_GRAY : palette ? PNG_FORMAT_RGBA_COLORMAP : PNG_FORMAT_RGBA;
    const unsigned width = in.image.width;
    const unsigned height = in.image.height;
    const long long outWidth = static_cast<long long>(width) + m.left + m.right;
    const long long outHeight = static_cast<long long>(height) + m.top + m.bottom;
    CheckFrameSize(width, height);
    CheckFrameSize(outWidth, outHeight);
    const size_t channels = palette ? 1 : 4;
    std::vector<png_byte> pixels(static_cast<size_t>(width) * height * channels);
    std::vector<png_byte> colormap(256 * 4);
    if (!png_image_finish_read(&in.image, nullptr, pixels.data(), 0,
                               palette && !grey ? colormap.data() : nullptr)) {
        throw std::runtime_error(std::string("the library returned an unreadable PNG: ") + in.image.message);
    }
    unsigned entries = palette && !grey ? in.image.colormap_entries : 0;
    if (grey) {
        std::array<int, 256> index;
        index.fill(-1);
        for (png_byte& v : pixels) {
            if (index[v] < 0) {
                index[v] = static_cast<int>(entries);
                std::memset(&colormap[entries * 4], v, 3);
                colormap[entries * 4 + 3] = 255;
                ++entries;
            }
            v = static_cast<png_byte>(index[v]);
        }
        in.image.format = PNG_FORMAT_RGBA_COLORMAP;
    }

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
    long long finalWidth = outWidth;
    long long finalHeight = outHeight;
    if (turns != 0) {
        framed = TurnPixels(framed, outWidth, outHeight, channels, turns);
        if (turns % 2 == 1) {
            std::swap(finalWidth, finalHeight);
        }
    }

    PngImage out;
    out.image.width = static_cast<png_uint_32>(finalWidth);
    out.image.height = static_cast<png_uint_32>(finalHeight);
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

bool ImageSize(const std::string& image, long long* width, long long* height)
{
    static const char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (image.size() >= 24 && image.compare(0, 8, kSignature, 8) == 0) {
        const auto word = [&image](size_t at) {
            long long v = 0;
            for (size_t i = 0; i < 4; ++i) {
                v = v * 256 + static_cast<unsigned char>(image[at + i]);
            }
            return v;
        };
        *width = word(16);
        *height = word(20);
        return true;
    }
    try {
        const auto [at, length] = SvgStartTag(image);
        const std::string tag = image.substr(at, length);
        const double w = Number(Attribute(tag, "width"));
        const double h = Number(Attribute(tag, "height"));
        if (!(w >= 0) || !(h >= 0)) {
            return false;
        }
        *width = std::llround(w);
        *height = std::llround(h);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace lumeo
