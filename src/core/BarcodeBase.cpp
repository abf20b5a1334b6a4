// SPDX-License-Identifier: MIT
#include "core/BarcodeBase.h"

#include "core/Limits.h"
#include "core/Log.h"
#include "core/Numeric.h"
#include "core/SvgText.h"

#include <SDL_image.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <utility>
#include <cstdint>
#include <locale>
#include <mutex>
#include <stdexcept>

namespace {

using barcode_log::Stream;

std::mutex g_modulePathMutex;
std::string g_modulePath;

// PNG output is written into a fixed buffer of four bytes per pixel plus this reserve.
constexpr std::int64_t kPngReserve = 1024000;

std::string HexBytes(const std::vector<std::uint8_t>& bytes, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        const unsigned v = bytes[i];
        if (v >= 16) {
            out += digits[v >> 4];
        }
        out += digits[v & 15];
        out += ' ';
    }
    return out;
}

// Appends a number in fixed notation with two decimals, as "%.2f" in the "C" locale prints it
// (correctly rounded, whatever the host's locale).
void AppendFixed2(std::string& out, float value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), static_cast<double>(value),
                                      std::chars_format::fixed, 2);
    out.append(buffer, result.ptr);
}

void AppendRgb(std::string& out, const SDL_Color& color)
{
    out += "rgb(";
    out += std::to_string(color.r);
    out += ',';
    out += std::to_string(color.g);
    out += ',';
    out += std::to_string(color.b);
    out += ')';
}

} // namespace

BarcodeBase::BarcodeBase(SDL_Renderer* renderer) : m_canvas(renderer)
{
    m_svgStream.imbue(std::locale::classic());
}

BarcodeBase::BarcodeBase(const std::string& outputFormat) : m_format(outputFormat)
{
    m_svgStream.imbue(std::locale::classic());
}

BarcodeBase::~BarcodeBase()
{
    ReleaseCanvas();
}

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
    m_width = width;
    m_height = height;
    if (IsRasterOutput()) {
        if (!CreateSurface(width, height)) {
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
    m_svgStream.str(std::string());
    m_svgStream.clear();
}

bool BarcodeBase::OutputIntact() const
{
    // A stream whose buffer could not grow (out of memory) sets its bad bit and drops the rest.
    return !IsSvgOutput() || !m_svgStream.fail();
}

void BarcodeBase::ReleaseCanvas()
{
    if (m_ownsRenderer && m_canvas != nullptr) {
        SDL_DestroyRenderer(m_canvas);
        m_canvas = nullptr;
        m_ownsRenderer = false;
    }
    if (m_surface != nullptr) {
        SDL_FreeSurface(m_surface);
        m_surface = nullptr;
    }
}

bool BarcodeBase::CreateSurface(int width, int height)
{
    const bool callersRenderer = m_canvas != nullptr && !m_ownsRenderer;
    ReleaseCanvas();
    const std::string problem = limits::CanvasProblem(width, height);
    if (!problem.empty()) {
        barcode_log::Error(Stream::Err, "サーフェス作成に失敗: " + problem);
        return false;
    }
    m_surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ABGR8888);
    if (m_surface == nullptr) {
        barcode_log::Error(Stream::Err, std::string("サーフェス作成に失敗: ") + SDL_GetError());
        return false;
    }
    if (callersRenderer) {
        return true;
    }
    m_canvas = SDL_CreateSoftwareRenderer(m_surface);
    if (m_canvas == nullptr) {
        barcode_log::Error(Stream::Err, std::string("レンダラー作成に失敗: ") + SDL_GetError());
        SDL_FreeSurface(m_surface);
        m_surface = nullptr;
        return false;
    }
    m_ownsRenderer = true;
    return true;
}

void BarcodeBase::ClearCanvas()
{
    if (m_canvas == nullptr) {
        return;
    }
    SDL_SetRenderDrawColor(m_canvas, m_backgroundColor.r, m_backgroundColor.g, m_backgroundColor.b,
                           m_backgroundColor.a);
    SDL_RenderClear(m_canvas);
}

std::vector<std::uint8_t> BarcodeBase::GetImageMemory()
{
    if (IsSvgOutput()) {
        return {};
    }
    if (m_canvas != nullptr) {
        SDL_RenderPresent(m_canvas);
    }
    return SaveSurfaceToMemory(m_surface);
}

std::vector<std::uint8_t> BarcodeBase::SaveSurfaceToMemory(SDL_Surface* surface)
{
    using barcode_log::Progress;
    if (surface == nullptr) {
        barcode_log::Error(Stream::Out, "ERROR: サーフェスがnullです");
        return {};
    }
    const bool verbose = barcode_log::Verbose();
    if (verbose) {
        Progress(Stream::Out, "SaveSurfaceToMemory: サーフェスサイズ " + std::to_string(surface->w) + "x"
                                  + std::to_string(surface->h));
        Progress(Stream::Out,
                 std::string("SaveSurfaceToMemory: フォーマット ") + SDL_GetPixelFormatName(surface->format->format));
        Progress(Stream::Out, "SaveSurfaceToMemory: ピッチ " + std::to_string(surface->pitch));
    }
    const std::int64_t size = static_cast<std::int64_t>(surface->w) * surface->h * 4 + kPngReserve;
    if (verbose) {
        Progress(Stream::Out, "バッファサイズ確保: " + std::to_string(size) + " バイト");
    }
    if (size > INT_MAX) {
        SDL_SetError("PNG buffer of %lld bytes is too large", static_cast<long long>(size));
        barcode_log::Error(Stream::Out, std::string("ERROR: RWops作成失敗: ") + SDL_GetError());
        return {};
    }
    std::vector<std::uint8_t> buffer(static_cast<size_t>(size));
    SDL_RWops* stream = SDL_RWFromMem(buffer.data(), static_cast<int>(size));
    if (stream == nullptr) {
        barcode_log::Error(Stream::Out, std::string("ERROR: RWops作成失敗: ") + SDL_GetError());
        return {};
    }
    const int result = IMG_SavePNG_RW(surface, stream, 0);
    const Sint64 written = SDL_RWtell(stream);
    if (verbose) {
        Progress(Stream::Out, std::string("書き込み結果: ") + (result == 0 ? "成功" : "失敗"));
        Progress(Stream::Out, "書き込みサイズ: " + std::to_string(written) + " バイト");
    }
    SDL_RWclose(stream);
    if (result != 0 || written <= 0) {
        barcode_log::Error(Stream::Out, std::string("ERROR: PNG保存に失敗しました: ") + SDL_GetError());
        return {};
    }
    buffer.resize(static_cast<size_t>(written));
    if (verbose) {
        Progress(Stream::Out, "最終バッファサイズ: " + std::to_string(buffer.size()) + " バイト");
        Progress(Stream::Out, "バッファ先頭: " + HexBytes(buffer, std::min<size_t>(buffer.size(), 16)));
    }
    return buffer;
}

std::string BarcodeBase::GetImageBase64()
{
    if (IsSvgOutput()) {
        throw std::runtime_error("GetImageBase64() is not available in SVG mode. Use GetSvg() instead.");
    }
    try {
        if (m_canvas != nullptr) {
            SDL_RenderPresent(m_canvas);
        }
        std::vector<std::uint8_t> png = SaveSurfaceToMemory(m_surface);
        // The image is fetched once per draw: the surface goes, and the renderer painting into it.
        ReleaseCanvas();
        if (png.empty()) {
            return GetFallbackImage();
        }
        const char* mime = (m_format == "jpg" || m_format == "jpeg") ? "image/jpeg" : "image/png";
        return std::string("data:") + mime + ";base64," + Base64Encode(png.data(), png.size());
    } catch (const std::exception& e) {
        return std::string("Error: ") + e.what();
    }
}

std::string BarcodeBase::GetSvg() const
{
    if (!IsSvgOutput()) {
        throw std::runtime_error("GetSvg() requires SVG output mode. Use constructor with \"svg\" parameter.");
    }
    return m_svgStream.str();
}

void BarcodeBase::SetModulePath(const std::string& path)
{
    std::lock_guard<std::mutex> lock(g_modulePathMutex);
    g_modulePath = path;
}

std::string BarcodeBase::GetModulePath()
{
    std::lock_guard<std::mutex> lock(g_modulePathMutex);
    return g_modulePath;
}

std::string BarcodeBase::GetFallbackImage()
{
    return "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVQI12P4//8/"
           "AAX+Av7czFnnAAAAAElFTkSuQmCC";
}

std::string BarcodeBase::Base64Encode(const std::uint8_t* data, size_t length)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const std::uint32_t v = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    const size_t rest = length - i;
    if (rest > 0) {
        std::uint32_t v = std::uint32_t{data[i]} << 16;
        if (rest == 2) {
            v |= std::uint32_t{data[i + 1]} << 8;
        }
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += rest == 2 ? alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string BarcodeBase::ColorToRgbString(const SDL_Color& color)
{
    std::string out;
    AppendRgb(out, color);
    return out;
}

void BarcodeBase::FillRect(Target target, float x, float y, float w, float h, const SDL_Color& color)
{
    if (target == Target::Svg) {
        SvgRect(x, y, w, h, color);
        return;
    }
    // The software renderer truncates float rectangles, which drops the fraction of every bar
    // and lets the error pile up across a stretched symbol. Round both edges instead, so that
    // each element covers the pixels its float span covers most of (keeping at least one).
    const auto edges = [](float from, float size) {
        const double lo = std::nearbyint(static_cast<double>(from));
        double hi = std::nearbyint(static_cast<double>(from) + static_cast<double>(size));
        if (hi <= lo && size > 0.0f) {
            hi = lo + 1.0;
        }
        return std::pair<int, int>(numeric::SaturatingCast<int>(lo), numeric::SaturatingCast<int>(hi - lo));
    };
    const auto [left, width] = edges(x, w);
    const auto [top, height] = edges(y, h);
    if (width <= 0 || height <= 0) {
        return;
    }
    SDL_SetRenderDrawColor(m_canvas, color.r, color.g, color.b, color.a);
    const SDL_Rect rect{left, top, width, height};
    SDL_RenderFillRect(m_canvas, &rect);
}

void BarcodeBase::SvgBegin(int width, int height)
{
    const std::string problem = limits::CanvasProblem(width, height);
    if (!problem.empty()) {
        throw std::length_error(problem);
    }
    m_svgWidth = width;
    m_svgHeight = height;
    m_svgStream.str("");
    m_svgStream.clear();
    m_svgStream << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" "
                << "width=\"" << width << "\" height=\"" << height << "\" "
                << "viewBox=\"0 0 " << width << " " << height << "\">\n";
}

void BarcodeBase::SvgEnd()
{
    m_svgStream << "</svg>\n";
}

void BarcodeBase::SvgRect(float x, float y, float width, float height, const SDL_Color& color)
{
    std::string line;
    line.reserve(96);
    line += "  <rect x=\"";
    AppendFixed2(line, x);
    line += "\" y=\"";
    AppendFixed2(line, y);
    line += "\" width=\"";
    AppendFixed2(line, width);
    line += "\" height=\"";
    AppendFixed2(line, height);
    line += "\" fill=\"";
    AppendRgb(line, color);
    if (color.a < 255) {
        line += "\" fill-opacity=\"";
        AppendFixed2(line, static_cast<float>(color.a) / 255.0f);
    }
    line += "\"/>\n";
    m_svgStream.write(line.data(), static_cast<std::streamsize>(line.size()));
}

void BarcodeBase::SvgText(float x, float y, const std::string& text, int fontSize, const SDL_Color& color,
                          const std::string& anchor)
{
    std::string line;
    line.reserve(160 + text.size());
    line += "  <text x=\"";
    AppendFixed2(line, x);
    line += "\" y=\"";
    AppendFixed2(line, y);
    line += "\" font-family=\"Arial, sans-serif\" font-size=\"";
    line += std::to_string(fontSize);
    line += "\" fill=\"";
    AppendRgb(line, color);
    line += "\" text-anchor=\"";
    line += anchor;
    line += "\" dominant-baseline=\"hanging\">";
    line += svgtext::EscapeXml(text);
    line += "</text>\n";
    m_svgStream.write(line.data(), static_cast<std::streamsize>(line.size()));
}
