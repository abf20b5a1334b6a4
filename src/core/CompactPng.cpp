// SPDX-License-Identifier: MIT
#include "core/CompactPng.h"

#include "core/RowDeflater.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <zlib.h>

namespace compact_png {
namespace {

constexpr int kMaxColours = 256;

// The distinct pixel values of an image in order of first appearance (open addressing).
class ColourIndex
{
public:
    ColourIndex() { m_slots.fill(-1); }

    // The index of `pixel`, adding it when new; -1 once more than kMaxColours are seen.
    int Find(std::uint32_t pixel)
    {
        std::uint32_t slot = (pixel * 2654435761u) >> (32 - kBits);
        for (;;) {
            const int at = m_slots[slot];
            if (at < 0) {
                if (static_cast<int>(m_colours.size()) == kMaxColours) {
                    return -1;
                }
                m_slots[slot] = static_cast<std::int16_t>(m_colours.size());
                m_colours.push_back(pixel);
                return static_cast<int>(m_colours.size()) - 1;
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
    std::array<std::int16_t, kSize> m_slots{};
    std::vector<std::uint32_t> m_colours;
};

// Bytes R, G, B, A of an ABGR8888 pixel, whatever the machine's byte order.
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

// The image by rows: each row either repeats the row above or has its own pixel indices.
struct Scan
{
    std::vector<std::uint32_t> colours;
    std::vector<std::uint8_t> repeats; // per row: 1 when equal to the row above
    std::vector<std::uint8_t> indices; // the colour indices of the rows that do not repeat
};

bool ScanRows(SDL_Surface* surface, Scan* scan)
{
    const int w = surface->w;
    const int h = surface->h;
    const auto* pixels = static_cast<const std::uint8_t*>(surface->pixels);
    ColourIndex index;
    scan->repeats.assign(static_cast<size_t>(h), 0);
    const std::uint32_t* previous = nullptr;
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(pixels + static_cast<size_t>(y) * surface->pitch);
        if (previous != nullptr && std::memcmp(row, previous, static_cast<size_t>(w) * 4) == 0) {
            scan->repeats[static_cast<size_t>(y)] = 1;
            continue;
        }
        previous = row;
        const size_t start = scan->indices.size();
        scan->indices.resize(start + static_cast<size_t>(w));
        std::uint8_t* out = scan->indices.data() + start;
        std::uint32_t last = row[0];
        int lastIndex = index.Find(last);
        for (int x = 0; x < w; ++x) {
            if (row[x] != last) {
                last = row[x];
                lastIndex = index.Find(last);
            }
            if (lastIndex < 0) {
                return false;
            }
            out[x] = static_cast<std::uint8_t>(lastIndex);
        }
    }
    scan->colours = index.Colours();
    return true;
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

// Packs a row of colour indices as samples of `depth` bits, most significant bits first.
void PackRow(const std::uint8_t* indices, int w, int depth, const std::array<std::uint8_t, kMaxColours>& sample,
             std::uint8_t* out)
{
    if (depth == 8) {
        for (int x = 0; x < w; ++x) {
            out[x] = sample[indices[x]];
        }
        return;
    }
    const int perByte = 8 / depth;
    for (int x = 0; x < w; x += perByte) {
        unsigned byte = 0;
        for (int k = 0; k < perByte; ++k) {
            byte <<= depth;
            if (x + k < w) {
                byte |= sample[indices[x + k]];
            }
        }
        out[x / perByte] = static_cast<std::uint8_t>(byte);
    }
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

void Chunk(std::vector<std::uint8_t>& out, const char type[5], const std::uint8_t* data, size_t size)
{
    Put32(out, static_cast<std::uint32_t>(size));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (size > 0) {
        out.insert(out.end(), data, data + size);
    }
    Put32(out, static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
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
    Scan scan;
    if (!ScanRows(surface, &scan)) {
        result.outcome = Outcome::TooManyColours;
        return result;
    }
    const std::vector<std::uint32_t>& colours = scan.colours;
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
        size_t position = 0;
        for (int pass = 0; pass < 2; ++pass) {
            for (size_t i = 0; i < colours.size(); ++i) {
                const Rgba c = Channels(colours[i]);
                if ((c.a < 255) != (pass == 0)) {
                    continue;
                }
                sample[i] = static_cast<std::uint8_t>(position++);
                plte.insert(plte.end(), {c.r, c.g, c.b});
                if (c.a < 255) {
                    trns.push_back(c.a);
                }
            }
        }
    }

    // The rows, filter "none", packed most significant bits first.
    const size_t length = 1 + (static_cast<size_t>(w) * static_cast<size_t>(depth) + 7) / 8;
    std::vector<std::uint8_t> rows[2] = {std::vector<std::uint8_t>(length), std::vector<std::uint8_t>(length)};
    // Rows wider than the deflate window go through zlib as a whole.
    const bool byCopies = length <= RowDeflater::kMaxRow;
    RowDeflater deflater;
    std::vector<std::uint8_t> raw;
    const std::uint8_t* indices = scan.indices.data();
    const std::uint8_t* above = nullptr;
    int current = 0;
    for (int y = 0; y < h;) {
        std::vector<std::uint8_t>& row = rows[current];
        PackRow(indices, w, depth, sample, row.data() + 1);
        indices += w;
        int repeats = 0;
        while (y + 1 + repeats < h && scan.repeats[static_cast<size_t>(y + 1 + repeats)] != 0) {
            ++repeats;
        }
        if (byCopies) {
            deflater.Row(row.data(), above, length);
            if (repeats > 0) {
                deflater.RepeatRow(length, static_cast<size_t>(repeats));
            }
        } else {
            for (int r = 0; r <= repeats; ++r) {
                raw.insert(raw.end(), row.begin(), row.end());
            }
        }
        above = row.data();
        current = 1 - current;
        y += 1 + repeats;
    }
    std::vector<std::uint8_t> idat;
    if (byCopies) {
        idat = deflater.Finish();
    } else {
        uLongf size = compressBound(static_cast<uLong>(raw.size()));
        idat.resize(size);
        if (compress2(idat.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK) {
            SDL_SetError("deflate failed");
            return result;
        }
        idat.resize(size);
    }

    std::vector<std::uint8_t>& png = result.png;
    png.reserve(idat.size() + plte.size() + trns.size() + 64);
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.insert(png.end(), signature, signature + 8);
    std::vector<std::uint8_t> ihdr;
    Put32(ihdr, static_cast<std::uint32_t>(w));
    Put32(ihdr, static_cast<std::uint32_t>(h));
    ihdr.insert(ihdr.end(),
                {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(result.grey ? 0 : 3), 0, 0, 0});
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
