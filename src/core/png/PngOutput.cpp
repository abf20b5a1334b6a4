// SPDX-License-Identifier: MIT
#include "core/png/PngOutput.h"

#include "core/Log.h"
#include "core/png/CompactPng.h"

#include <SDL_image.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <new>
#include <utility>

namespace png_output {

namespace {

using barcode_log::Stream;

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

// The opening of a PNG save: false (with the reason) without a surface, else the size line.
bool StartSave(SDL_Surface* surface, const char* who, bool verbose)
{
    if (surface == nullptr) {
        barcode_log::Error(Stream::Out, "ERROR: サーフェスがnullです");
        return false;
    }
    if (verbose) {
        barcode_log::Progress(Stream::Out, std::string(who) + ": サーフェスサイズ " + std::to_string(surface->w) + "x"
                                               + std::to_string(surface->h));
    }
    return true;
}

} // namespace

std::vector<std::uint8_t> SaveSurface(SDL_Surface* surface)
{
    using barcode_log::Progress;
    const bool verbose = barcode_log::Verbose();
    if (!StartSave(surface, "SaveSurfaceToMemory", verbose)) {
        return {};
    }
    if (verbose) {
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
        barcode_log::Error(Stream::Err, std::string("ERROR: RWops作成失敗: ") + SDL_GetError());
        return {};
    }
    // Not zero-filled: only the bytes the encoder writes are touched (and returned), so the
    // reserve costs address space, not memory.
    const std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[static_cast<size_t>(size)]);
    if (buffer == nullptr) {
        SDL_OutOfMemory();
        barcode_log::Error(Stream::Err, std::string("ERROR: RWops作成失敗: ") + SDL_GetError());
        return {};
    }
    SDL_RWops* stream = SDL_RWFromMem(buffer.get(), static_cast<int>(size));
    if (stream == nullptr) {
        barcode_log::Error(Stream::Err, std::string("ERROR: RWops作成失敗: ") + SDL_GetError());
        return {};
    }
    const int result = IMG_SavePNG_RW(surface, stream, 0);
    const Sint64 written = SDL_RWtell(stream);
    SDL_RWclose(stream);
    if (verbose) {
        Progress(Stream::Out, std::string("書き込み結果: ") + (result == 0 ? "成功" : "失敗"));
        Progress(Stream::Out, "書き込みサイズ: " + std::to_string(written) + " バイト");
    }
    if (result != 0 || written <= 0) {
        ReportEncodingFailure();
        return {};
    }
    std::vector<std::uint8_t> png(buffer.get(), buffer.get() + written);
    if (verbose) {
        Progress(Stream::Out, "最終バッファサイズ: " + std::to_string(png.size()) + " バイト");
        Progress(Stream::Out, "バッファ先頭: " + HexBytes(png, std::min<size_t>(png.size(), 16)));
    }
    return png;
}

std::vector<std::uint8_t> SaveCompact(SDL_Surface* surface)
{
    bool tooManyColours = false;
    std::vector<std::uint8_t> png = Compact(surface, nullptr, &tooManyColours);
    return tooManyColours ? SaveSurface(surface) : png;
}

std::vector<std::uint8_t> Compact(SDL_Surface* surface, const std::uint32_t* const* rows, bool* tooManyColours)
{
    using barcode_log::Progress;
    const bool verbose = barcode_log::Verbose();
    *tooManyColours = false;
    if (!StartSave(surface, "SaveSurfaceToCompactPng", verbose)) {
        return {};
    }
    compact_png::Result compact =
        rows != nullptr ? compact_png::Encode(surface->w, surface->h, rows) : compact_png::Encode(surface);
    if (compact.outcome == compact_png::Outcome::TooManyColours) {
        if (verbose) {
            Progress(Stream::Out, "SaveSurfaceToCompactPng: 256色を超えるため RGBA で保存します");
        }
        *tooManyColours = true;
        return {};
    }
    if (compact.outcome != compact_png::Outcome::Written) {
        ReportEncodingFailure();
        return {};
    }
    if (verbose) {
        Progress(Stream::Out, "SaveSurfaceToCompactPng: " + std::to_string(compact.colours) + " 色, "
                                  + (compact.grey ? "グレー " : "パレット ") + std::to_string(compact.bitDepth)
                                  + " ビット");
        Progress(Stream::Out, "書き込みサイズ: " + std::to_string(compact.png.size()) + " バイト");
        Progress(Stream::Out, "バッファ先頭: " + HexBytes(compact.png, std::min<size_t>(compact.png.size(), 16)));
    }
    return std::move(compact.png);
}

std::string DataUri(const std::string& format, const std::vector<std::uint8_t>& png)
{
    const char* mime = (format == "jpg" || format == "jpeg") ? "image/jpeg" : "image/png";
    return std::string("data:") + mime + ";base64," + Base64(png.data(), png.size());
}

std::string FallbackImage()
{
    return "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVQI12P4//8/"
           "AAX+Av7czFnnAAAAAElFTkSuQmCC";
}

std::string Base64(const std::uint8_t* data, size_t length)
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

void ReportEncodingFailure()
{
    try {
        barcode_log::Error(Stream::Err, std::string("ERROR: PNG保存に失敗しました: ") + SDL_GetError());
    } catch (const std::bad_alloc&) {
        // Not even the line fits: the empty result has to speak for itself.
    }
}

} // namespace png_output
