// SPDX-License-Identifier: MIT
#include "core/CompactPng.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

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
    std::vector<std::uint8_t> repeats;  // per row: 1 when equal to the row above
    std::vector<std::uint8_t> indices;  // the colour indices of the rows that do not repeat
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

// Deflate (RFC 1951) with the fixed Huffman codes, made for images of few colours: a row equal
// to the one above is one long copy of it, and inside other rows runs of a byte and stretches
// equal to the row above become copies. The work grows with the rows that differ, not with
// the pixels.
class RowDeflater
{
public:
    explicit RowDeflater(std::vector<std::uint8_t>& out) : m_out(out)
    {
        m_out.push_back(0x78); // zlib header: deflate, 32 KiB window, no dictionary
        m_out.push_back(0x01);
        Bits(1, 1); // the last block
        Bits(1, 2); // fixed Huffman codes
    }

    // Appends one filtered row (filter byte first) of `length` bytes; `above` is the previous
    // row of the same length, or null for the first row.
    void Row(const std::uint8_t* row, const std::uint8_t* above, size_t length)
    {
        size_t i = 0;
        while (i < length) {
            size_t up = 0;
            if (above != nullptr) {
                while (i + up < length && row[i + up] == above[i + up]) {
                    ++up;
                }
            }
            size_t run = 0;
            if (i > 0) {
                while (i + run < length && row[i + run] == row[i - 1]) {
                    ++run;
                }
            }
            if (std::max(up, run) >= 3) {
                const bool useUp = up >= run;
                Copy(useUp ? length : 1, useUp ? up : run);
                i += useUp ? up : run;
            } else {
                Literal(row[i]);
                ++i;
            }
        }
        m_adler = adler32(m_adler, row, static_cast<uInt>(length));
    }

    // Appends `count` more copies of the last row (of `length` bytes).
    void RepeatRow(size_t length, size_t count, uLong rowAdler)
    {
        for (size_t c = 0; c < count; ++c) {
            m_adler = adler32_combine(m_adler, rowAdler, static_cast<z_off_t>(length));
        }
        Copy(length, length * count);
    }

    void Finish()
    {
        Code(256);
        while (m_count > 0) {
            m_out.push_back(static_cast<std::uint8_t>(m_bits));
            m_bits >>= 8;
            m_count -= 8;
        }
        for (int shift = 24; shift >= 0; shift -= 8) {
            m_out.push_back(static_cast<std::uint8_t>(m_adler >> shift));
        }
    }

private:
    // `count` (at most 32) bits of `value`, least significant first; whole 32-bit words go out.
    void Bits(std::uint32_t value, int count)
    {
        m_bits |= static_cast<std::uint64_t>(value) << m_count;
        m_count += count;
        if (m_count >= 32) {
            const std::uint8_t word[4] = {static_cast<std::uint8_t>(m_bits), static_cast<std::uint8_t>(m_bits >> 8),
                                          static_cast<std::uint8_t>(m_bits >> 16),
                                          static_cast<std::uint8_t>(m_bits >> 24)};
            m_out.insert(m_out.end(), word, word + 4);
            m_bits >>= 32;
            m_count -= 32;
        }
    }

    // The fixed codes, bit-reversed for writing least significant bit first.
    struct FixedCodes
    {
        std::uint16_t literal[288];
        std::uint8_t literalLength[288];
        std::uint8_t distance[30];

        static std::uint16_t Reverse(unsigned code, int length)
        {
            unsigned reversed = 0;
            for (int i = 0; i < length; ++i) {
                reversed = (reversed << 1) | ((code >> i) & 1u);
            }
            return static_cast<std::uint16_t>(reversed);
        }

        FixedCodes()
        {
            for (unsigned s = 0; s < 288; ++s) {
                unsigned code = 0;
                int length = 8;
                if (s < 144) {
                    code = 0x30 + s;
                } else if (s < 256) {
                    code = 0x190 + s - 144;
                    length = 9;
                } else if (s < 280) {
                    code = s - 256;
                    length = 7;
                } else {
                    code = 0xC0 + s - 280;
                }
                literal[s] = Reverse(code, length);
                literalLength[s] = static_cast<std::uint8_t>(length);
            }
            for (unsigned d = 0; d < 30; ++d) {
                distance[d] = static_cast<std::uint8_t>(Reverse(d, 5));
            }
        }
    };

    static const FixedCodes& Codes()
    {
        static const FixedCodes codes;
        return codes;
    }

    // A literal/length symbol in the fixed code.
    void Code(int symbol)
    {
        const auto s = static_cast<size_t>(symbol);
        Bits(Codes().literal[s], Codes().literalLength[s]);
    }

    void Literal(std::uint8_t byte) { Code(byte); }

    // Copies of `length` bytes from `distance` back, in matches of at most 258 bytes (the last
    // piece kept at 3 or more).
    void Copy(size_t distance, size_t length)
    {
        while (length > 0) {
            size_t piece = std::min<size_t>(length, 258);
            if (length - piece > 0 && length - piece < 3) {
                piece = length - 3;
            }
            Match(piece, distance);
            length -= piece;
        }
    }

    void Match(size_t length, size_t distance)
    {
        static const std::uint16_t lengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                     31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const std::uint8_t lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        static const std::uint16_t distanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                                       33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                                       1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        static const std::uint8_t distanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                       6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
        static const auto lengthCode = [] {
            std::array<std::uint8_t, 259> codes{};
            int l = 0;
            for (size_t n = 3; n < codes.size(); ++n) {
                while (l < 28 && lengthBase[l + 1] <= n) {
                    ++l;
                }
                codes[n] = static_cast<std::uint8_t>(l);
            }
            return codes;
        }();
        const int l = lengthCode[length];
        Code(257 + l);
        Bits(static_cast<std::uint32_t>(length - lengthBase[l]), lengthExtra[l]);
        if (distance != m_distance) {
            int d = 29;
            while (distanceBase[d] > distance) {
                --d;
            }
            m_distance = distance;
            m_distanceCode = d;
        }
        const int d = m_distanceCode;
        Bits(Codes().distance[d], 5);
        Bits(static_cast<std::uint32_t>(distance - distanceBase[d]), distanceExtra[d]);
    }

    std::vector<std::uint8_t>& m_out;
    size_t m_distance = 0; // the last distance and its code
    int m_distanceCode = 0;
    std::uint64_t m_bits = 0;
    int m_count = 0;
    uLong m_adler = adler32(0, nullptr, 0);
};

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
    std::vector<std::uint8_t> idat;
    // Fixed codes spend at most 9 bits a byte on rows of their own; repeated rows a few bytes.
    idat.reserve(scan.indices.size() / static_cast<size_t>(w) * length * 9 / 8 + static_cast<size_t>(h) * 16 + 64);
    const bool byCopies = length <= 32768; // a copy of the row above lies inside the window
    std::vector<std::uint8_t> raw;
    RowDeflater deflater(idat);
    const std::uint8_t* indices = scan.indices.data();
    const std::uint8_t* above = nullptr;
    uLong rowAdler = 0;
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
                rowAdler = adler32(adler32(0, nullptr, 0), row.data(), static_cast<uInt>(length));
                deflater.RepeatRow(length, static_cast<size_t>(repeats), rowAdler);
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
    if (byCopies) {
        deflater.Finish();
    } else {
        // Rows wider than the deflate window: zlib over the whole filtered image.
        idat.clear();
        uLongf size = compressBound(static_cast<uLong>(raw.size()));
        idat.resize(size);
        if (raw.size() > UINT_MAX || compress2(idat.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK) {
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
