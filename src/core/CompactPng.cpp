// SPDX-License-Identifier: MIT
#include "core/CompactPng.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string>

namespace compact_png {
namespace {

constexpr int kMaxColours = 256;

// The distinct pixel values of an image in order of first appearance (open addressing).
class ColourIndex
{
public:
    // The index of `pixel`, adding it when new; -1 once more than kMaxColours are seen.
    int Find(std::uint32_t pixel)
    {
        std::uint32_t slot = (pixel * 2654435761u) >> (32 - kBits);
        for (;;) {
            const std::int16_t at = m_slots[slot];
            if (at < 0) {
                if (static_cast<int>(m_colours.size()) == kMaxColours) {
                    return -1;
                }
                m_slots[slot] = static_cast<std::int16_t>(m_colours.size());
                m_colours.push_back(pixel);
                return m_slots[slot];
            }
            if (m_colours[static_cast<size_t>(at)] == pixel) {
                return at;
            }
            slot = (slot + 1) & (kSize - 1);
        }
    }

    const std::vector<std::uint32_t>& Colours() const { return m_colours; }

private:
    static constexpr int kBits = 10;
    static constexpr std::uint32_t kSize = 1u << kBits;
    std::array<std::int16_t, kSize> m_slots = [] {
        std::array<std::int16_t, kSize> a{};
        a.fill(-1);
        return a;
    }();
    std::vector<std::uint32_t> m_colours;
};

// Bytes R, G, B, A of an ABGR8888 pixel read as a little- or big-endian 32-bit value.
struct Rgba
{
    std::uint8_t r, g, b, a;
};

Rgba Channels(std::uint32_t pixel)
{
    Rgba c{};
    std::memcpy(&c, &pixel, sizeof(c));
    return c;
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void Chunk(std::vector<std::uint8_t>& out, const char type[5], const std::uint8_t* data, size_t size)
{
    Put32(out, static_cast<std::uint32_t>(size));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (size > 0) {
        out.insert(out.end(), data, data + size);
    }
    Put32(out, static_cast<std::uint32_t>(
                   crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// The smallest depth at which every grey level g is stored exactly (a decoder scales a d-bit
// sample s to s * 255 / (2^d - 1)).
int GreyDepth(const std::vector<std::uint32_t>& colours)
{
    int depth = 1;
    for (std::uint32_t pixel : colours) {
        const std::uint8_t g = Channels(pixel).r;
        if (g % 17 != 0) {
            return 8;
        }
        if (g % 85 != 0) {
            depth = 4;
        } else if (g != 0 && g != 255 && depth < 2) {
            depth = 2;
        }
    }
    return depth;
}

int PaletteDepth(size_t count)
{
    if (count <= 2) {
        return 1;
    }
    if (count <= 4) {
        return 2;
    }
    return count <= 16 ? 4 : 8;
}

} // namespace

Result Encode(SDL_Surface* surface)
{
    Result result;
    if (surface == nullptr || surface->format == nullptr || surface->format->format != SDL_PIXELFORMAT_ABGR8888) {
        SDL_SetError("compact PNG needs an RGBA32 surface");
        return result;
    }
    const int w = surface->w;
    const int h = surface->h;
    const auto* pixels = static_cast<const std::uint8_t*>(surface->pixels);
    const auto row = [&](int y) {
        return reinterpret_cast<const std::uint32_t*>(pixels + static_cast<size_t>(y) * surface->pitch);
    };

    // Pass 1: the colours, and each pixel's index (kept as bytes).
    ColourIndex index;
    std::vector<std::uint8_t> indices(static_cast<size_t>(w) * static_cast<size_t>(h));
    std::uint8_t* out = indices.data();
    for (int y = 0; y < h; ++y) {
        const std::uint32_t* p = row(y);
        std::uint32_t last = 0;
        int lastIndex = -1;
        for (int x = 0; x < w; ++x) {
            if (p[x] != last || lastIndex < 0) {
                last = p[x];
                lastIndex = index.Find(last);
                if (lastIndex < 0) {
                    result.outcome = Outcome::TooManyColours;
                    return result;
                }
            }
            *out++ = static_cast<std::uint8_t>(lastIndex);
        }
    }
    const std::vector<std::uint32_t>& colours = index.Colours();
    result.colours = static_cast<int>(colours.size());

    bool grey = true;
    for (std::uint32_t pixel : colours) {
        const Rgba c = Channels(pixel);
        grey = grey && c.a == 255 && c.r == c.g && c.g == c.b;
    }
    const int paletteDepth = PaletteDepth(colours.size());
    const int greyDepth = grey ? GreyDepth(colours) : 0;
    result.grey = grey && greyDepth <= paletteDepth;
    const int depth = result.grey ? greyDepth : paletteDepth;
    result.bitDepth = depth;

    // The sample each index is written as: a grey level scaled to the depth, or a palette
    // position (colours with alpha first, so that tRNS stays short).
    std::array<std::uint8_t, kMaxColours> sample{};
    std::vector<std::uint8_t> plte;
    std::vector<std::uint8_t> trns;
    if (result.grey) {
        const int divisor = 255 / ((1 << depth) - 1);
        for (size_t i = 0; i < colours.size(); ++i) {
            sample[i] = static_cast<std::uint8_t>(Channels(colours[i]).r / divisor);
        }
    } else {
        std::vector<size_t> order(colours.size());
        size_t next = 0;
        for (int pass = 0; pass < 2; ++pass) {
            for (size_t i = 0; i < colours.size(); ++i) {
                if ((Channels(colours[i]).a < 255) == (pass == 0)) {
                    order[next++] = i;
                }
            }
        }
        for (size_t position = 0; position < order.size(); ++position) {
            const Rgba c = Channels(colours[order[position]]);
            sample[order[position]] = static_cast<std::uint8_t>(position);
            plte.insert(plte.end(), {c.r, c.g, c.b});
            if (c.a < 255) {
                trns.push_back(c.a);
            }
        }
    }

    // Pass 2: packed rows, each with filter "up" when it repeats the row above (all zeros
    // then, which deflate takes in long matches) and "none" otherwise.
    const size_t rowBytes = (static_cast<size_t>(w) * static_cast<size_t>(depth) + 7) / 8;
    std::vector<std::uint8_t> raw((rowBytes + 1) * static_cast<size_t>(h));
    std::uint8_t* dst = raw.data();
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* src = indices.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        const bool repeat = y > 0 && std::memcmp(src, src - w, static_cast<size_t>(w)) == 0;
        *dst++ = repeat ? 2 : 0;
        if (repeat) {
            std::memset(dst, 0, rowBytes);
            dst += rowBytes;
            continue;
        }
        if (depth == 8) {
            for (int x = 0; x < w; ++x) {
                dst[x] = sample[src[x]];
            }
        } else {
            const int perByte = 8 / depth;
            std::memset(dst, 0, rowBytes);
            for (int x = 0; x < w; ++x) {
                const int shift = 8 - depth * (x % perByte + 1);
                dst[x / perByte] = static_cast<std::uint8_t>(dst[x / perByte] | (sample[src[x]] << shift));
            }
        }
        dst += rowBytes;
    }

    z_stream z{};
    int windowBits = 9;
    while (windowBits < 15 && (size_t{1} << windowBits) < raw.size()) {
        ++windowBits;
    }
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        SDL_SetError("deflateInit2 failed");
        return result;
    }
    if (raw.size() > UINT_MAX) {
        deflateEnd(&z);
        SDL_SetError("image too large for one deflate call");
        return result;
    }
    std::vector<std::uint8_t> idat(deflateBound(&z, static_cast<uLong>(raw.size())));
    z.next_in = raw.data();
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = idat.data();
    z.avail_out = static_cast<uInt>(idat.size());
    const int status = deflate(&z, Z_FINISH);
    idat.resize(idat.size() - z.avail_out);
    deflateEnd(&z);
    if (status != Z_STREAM_END) {
        SDL_SetError("deflate failed");
        return result;
    }

    std::vector<std::uint8_t>& png = result.png;
    png.reserve(idat.size() + plte.size() + trns.size() + 128);
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.insert(png.end(), signature, signature + 8);
    std::vector<std::uint8_t> ihdr;
    Put32(ihdr, static_cast<std::uint32_t>(w));
    Put32(ihdr, static_cast<std::uint32_t>(h));
    ihdr.insert(ihdr.end(), {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(result.grey ? 0 : 3), 0,
                             0, 0});
    Chunk(png, "IHDR", ihdr.data(), ihdr.size());
    if (!result.grey) {
        Chunk(png, "PLTE", plte.data(), plte.size());
        if (!trns.empty()) {
            Chunk(png, "tRNS", trns.data(), trns.size());
        }
    }
    Chunk(png, "IDAT", idat.data(), idat.size());
    Chunk(png, "IEND", nullptr, 0);
    result.outcome = Outcome::Written;
    return result;
}

} // namespace compact_png
