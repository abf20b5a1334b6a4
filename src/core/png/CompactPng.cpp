// SPDX-License-Identifier: MIT
#include "core/png/CompactPng.h"

#include "core/BitOps.h"
#include "core/png/RowDeflater.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <zlib.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <wmmintrin.h>
#endif

namespace compact_png {
namespace {

constexpr int kMaxColours = 256;

// The distinct pixel values of an image in order of first appearance (open addressing). A slot
// holds the pixel beside its index, so that a lookup is one load and one comparison: an empty
// slot holds -1 as its index and, as its pixel, one whose own slot is the next one, which a
// search can reach only after going round the whole table (never: it is at most a quarter full).
class ColourIndex
{
public:
    ColourIndex()
    {
        static const std::array<std::uint64_t, kSize> empty = [] {
            // The inverse of the hash multiplier modulo 2^32: x * kMultiplier lands in slot s + 1
            // for x = ((s + 1) << (32 - kBits)) * kInverse.
            std::uint32_t inverse = kMultiplier; // Newton's iteration, three bits more each step
            for (int i = 0; i < 5; ++i) {
                inverse *= 2u - kMultiplier * inverse;
            }
            std::array<std::uint64_t, kSize> slots{};
            for (std::uint32_t s = 0; s < kSize; ++s) {
                const std::uint32_t pixel = (((s + 1) & (kSize - 1)) << (32 - kBits)) * inverse;
                slots[s] = Entry(pixel, -1);
            }
            return slots;
        }();
        m_slots = empty;
        m_colours.reserve(kMaxColours);
    }

    // The index of `pixel`, adding it when new; -1 once more than kMaxColours are seen.
    int Find(std::uint32_t pixel)
    {
        std::uint32_t slot = (pixel * kMultiplier) >> (32 - kBits);
        for (;;) {
            const std::uint64_t at = m_slots[slot];
            if (static_cast<std::uint32_t>(at) == pixel) {
                return static_cast<int>(at >> 32);
            }
            if ((at >> 63) != 0) {
                if (static_cast<int>(m_colours.size()) == kMaxColours) {
                    return -1;
                }
                m_slots[slot] = Entry(pixel, static_cast<int>(m_colours.size()));
                m_colours.push_back(pixel);
                return static_cast<int>(m_colours.size()) - 1;
            }
            slot = (slot + 1) & (kSize - 1);
        }
    }

    const std::vector<std::uint32_t>& Colours() const { return m_colours; }

private:
    static constexpr int kBits = 10;
    static constexpr std::uint32_t kSize = 1u << kBits;
    static constexpr std::uint32_t kMultiplier = 2654435761u;

    static std::uint64_t Entry(std::uint32_t pixel, int index)
    {
        return pixel | (static_cast<std::uint64_t>(static_cast<std::uint32_t>(index)) << 32);
    }

    std::array<std::uint64_t, kSize> m_slots;
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

// The image by the rows that differ from the row above: each as a filter byte (0, "none")
// and one colour index per pixel, and how many rows after it repeat it.
struct Scan
{
    size_t stride = 0; // bytes from one row to the next: the row and room for 16-byte stores
    std::vector<std::uint8_t> rows;
    std::vector<size_t> copies;
    std::vector<std::uint32_t> colours;
};

// Sets bit x of `bits` (64 to a word, cleared by the caller) where a[x] != b[x], x < n.
void Differences(const std::uint32_t* a, const std::uint32_t* b, size_t n, std::uint64_t* bits)
{
    size_t x = 0;
#if defined(__SSE2__)
    const auto load = [](const std::uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    for (; x + 16 <= n; x += 16) {
        const __m128i e0 = _mm_cmpeq_epi32(load(a + x), load(b + x));
        const __m128i e1 = _mm_cmpeq_epi32(load(a + x + 4), load(b + x + 4));
        const __m128i e2 = _mm_cmpeq_epi32(load(a + x + 8), load(b + x + 8));
        const __m128i e3 = _mm_cmpeq_epi32(load(a + x + 12), load(b + x + 12));
        const auto equal =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(_mm_packs_epi32(e0, e1), _mm_packs_epi32(e2, e3))));
        bits[x / 64] |= static_cast<std::uint64_t>(~equal & 0xFFFFu) << (x % 64);
    }
#endif
    for (; x < n; ++x) {
        bits[x / 64] |= static_cast<std::uint64_t>(a[x] != b[x]) << (x % 64);
    }
}

size_t Count(const std::uint64_t* bits, size_t words)
{
    size_t n = 0;
    for (size_t i = 0; i < words; ++i) {
        n += static_cast<size_t>(bit_ops::PopCount(bits[i]));
    }
    return n;
}

// Calls f(x) for each set bit x of `bits`, in order.
template <typename F>
bool ForEachBit(const std::uint64_t* bits, size_t words, const F& f)
{
    for (size_t i = 0; i < words; ++i) {
        for (std::uint64_t b = bits[i]; b != 0; b &= b - 1) {
            if (!f(i * 64 + static_cast<size_t>(bit_ops::TrailingZeros(b)))) {
                return false;
            }
        }
    }
    return true;
}

void Fill(std::uint8_t* out, size_t from, size_t to, std::uint8_t value)
{
#if defined(__SSE2__)
    const __m128i v = _mm_set1_epi8(static_cast<char>(value));
    for (size_t x = from; x < to; x += 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), v);
    }
#else
    std::memset(out + from, value, to - from);
#endif
}

// Bit x of `changes` set where row[x] differs from row[x - 1], and bit 0.
void ChangesAlong(const std::uint32_t* row, size_t w, std::uint64_t* changes)
{
    const size_t words = (w + 63) / 64;
    std::fill_n(changes, words, 0);
    Differences(row + 1, row, w - 1, changes);
    for (size_t i = words; i-- > 0;) {
        changes[i] = (changes[i] << 1) | (i > 0 ? changes[i - 1] >> 63 : 1);
    }
}

// Each row that differs from the one above is indexed from above, one colour lookup per pixel
// that differs from the pixel above it (the others copy the index above), or along the row, one
// lookup per change of colour (filled to the next change). Both look colours up in the order
// they first appear, and neither branches on the pixels beyond the lookups.
bool ScanRows(size_t w, int h, const std::uint32_t* const* rows, Scan* scan)
{
    ColourIndex index;
    scan->stride = w + 16;
    scan->rows.reserve(scan->stride * static_cast<size_t>(std::min(h, 64)));
    const size_t words = (w + 63) / 64;
    std::vector<std::uint64_t> changes(words);
    std::vector<std::uint64_t> differences(words);
    const std::uint32_t* previous = nullptr;
    for (int y = 0; y < h; ++y) {
        const std::uint32_t* row = rows[y];
        if (previous != nullptr
            && (row == rows[y - 1] || row == previous || std::memcmp(row, previous, w * sizeof(std::uint32_t)) == 0)) {
            ++scan->copies.back();
            continue;
        }
        scan->copies.push_back(0);
        scan->rows.resize(scan->rows.size() + scan->stride);
        std::uint8_t* out = scan->rows.data() + scan->rows.size() - scan->stride + 1;

        // A row with few pixels unlike those above (text, mostly) is indexed from above without
        // counting its changes of colour; otherwise whichever takes fewer lookups.
        bool fromAbove = false;
        if (previous != nullptr) {
            std::fill(differences.begin(), differences.end(), 0);
            Differences(row, previous, w, differences.data());
            const size_t different = Count(differences.data(), words);
            fromAbove = different <= w / 4;
            if (!fromAbove) {
                ChangesAlong(row, w, changes.data());
                fromAbove = different < Count(changes.data(), words);
            }
        } else {
            ChangesAlong(row, w, changes.data());
        }
        bool found = true;
        if (fromAbove) {
            std::memcpy(out, out - scan->stride, w);
            found = ForEachBit(differences.data(), words, [&](size_t x) {
                const int colour = index.Find(row[x]);
                out[x] = static_cast<std::uint8_t>(colour);
                return colour >= 0;
            });
        } else {
            size_t start = 0;
            int colour = -1;
            found = ForEachBit(changes.data(), words, [&](size_t x) {
                if (colour >= 0) {
                    Fill(out, start, x, static_cast<std::uint8_t>(colour));
                }
                start = x;
                colour = index.Find(row[x]);
                return colour >= 0;
            });
            if (found) {
                Fill(out, start, w, static_cast<std::uint8_t>(colour));
            }
        }
        if (!found) {
            return false;
        }
        previous = row;
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
void PackRow(const std::uint8_t* indices, size_t w, int depth, const std::array<std::uint8_t, kMaxColours>& sample,
             std::uint8_t* out)
{
    if (depth == 8) {
        for (size_t x = 0; x < w; ++x) {
            out[x] = sample[indices[x]];
        }
        return;
    }
    const size_t perByte = static_cast<size_t>(8 / depth);
    for (size_t x = 0; x < w; x += perByte) {
        unsigned byte = 0;
        for (size_t k = 0; k < perByte; ++k) {
            byte <<= depth;
            if (x + k < w) {
                byte |= sample[indices[x + k]];
            }
        }
        out[x / perByte] = static_cast<std::uint8_t>(byte);
    }
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define COMPACT_PNG_CLMUL 1

// x times the two halves of k, added to `next`.
__attribute__((target("pclmul,sse2"))) __m128i Fold(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// CRC-32 by carry-less multiplication: four 16-byte lanes folded forward 64 bytes a step with
// x^(512+32) and x^(512-32) mod P, then folded into one, reduced to 64 and 32 bits, and a Barrett
// reduction (constants of the bit-reflected polynomial). `size` is a multiple of 16, at least 64;
// `crc` is the register (inverted) value.
__attribute__((target("pclmul,sse2"))) std::uint32_t FoldCrc(std::uint32_t crc, const std::uint8_t* data, size_t size)
{
    const auto load = [](const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    __m128i x0 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = load(data + 16);
    __m128i x2 = load(data + 32);
    __m128i x3 = load(data + 48);
    size_t at = 64;
    const __m128i k512 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
    for (; at + 64 <= size; at += 64) {
        x0 = Fold(x0, k512, load(data + at));
        x1 = Fold(x1, k512, load(data + at + 16));
        x2 = Fold(x2, k512, load(data + at + 32));
        x3 = Fold(x3, k512, load(data + at + 48));
    }
    const __m128i k128 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    x0 = Fold(x0, k128, x1);
    x0 = Fold(x0, k128, x2);
    x0 = Fold(x0, k128, x3);
    for (; at + 16 <= size; at += 16) {
        x0 = Fold(x0, k128, load(data + at));
    }
    // 128 to 64 bits, then to 32 (each adding 32 zero bits), then the Barrett reduction.
    x0 = _mm_xor_si128(_mm_srli_si128(x0, 8), _mm_clmulepi64_si128(k128, x0, 0x01));
    const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
    x0 = _mm_xor_si128(_mm_srli_si128(x0, 4),
                       _mm_clmulepi64_si128(_mm_set_epi64x(0, 0x163cd6124), _mm_and_si128(x0, mask32), 0x00));
    const __m128i barrett = _mm_set_epi64x(0x1F7011641, 0x1DB710641);
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x0, mask32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), barrett, 0x00);
    x0 = _mm_xor_si128(x0, t);
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x0, 4)));
}
#endif

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
    Put32(out, Crc32(out.data() + start, out.size() - start));
}

} // namespace

// zlib's crc32 where the processor cannot multiply without carries.
std::uint32_t Crc32(const std::uint8_t* data, size_t size)
{
    std::uint32_t crc = 0;
#if defined(COMPACT_PNG_CLMUL)
    static const bool clmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
    if (clmul && size >= 64) {
        const size_t folded = size / 16 * 16;
        crc = ~FoldCrc(~crc, data, folded);
        data += folded;
        size -= folded;
    }
#endif
    return static_cast<std::uint32_t>(crc32(crc, data, static_cast<uInt>(size)));
}

Result Encode(SDL_Surface* surface)
{
    if (surface == nullptr || surface->format == nullptr || surface->format->format != SDL_PIXELFORMAT_ABGR8888) {
        SDL_SetError("compact PNG needs an RGBA32 surface");
        return Result();
    }
    std::vector<const std::uint32_t*> rows(static_cast<size_t>(std::max(surface->h, 0)));
    for (size_t y = 0; y < rows.size(); ++y) {
        rows[y] = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(surface->pixels)
                                                         + y * static_cast<size_t>(surface->pitch));
    }
    return Encode(surface->w, surface->h, rows.data());
}

Result Encode(int width, int height, const std::uint32_t* const* rows)
{
    Result result;
    if (width <= 0 || height <= 0) {
        SDL_SetError("compact PNG of an empty image");
        return result;
    }
    const auto w = static_cast<size_t>(width);
    const int h = height;
    Scan scan;
    if (!ScanRows(w, h, rows, &scan)) {
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

    // The sample each index is written as: a grey level scaled to the depth, or the index
    // itself (the palette in order of first appearance), so that 8-bit palette rows are written
    // as scanned.
    std::array<std::uint8_t, kMaxColours> sample{};
    std::vector<std::uint8_t> plte;
    std::vector<std::uint8_t> trns;
    if (result.grey) {
        const int divisor = 255 / ((1 << depth) - 1);
        for (size_t i = 0; i < colours.size(); ++i) {
            sample[i] = static_cast<std::uint8_t>(Channels(colours[i]).r / divisor);
        }
    } else {
        plte.resize(3 * colours.size());
        trns.resize(colours.size());
        for (size_t i = 0; i < colours.size(); ++i) {
            const Rgba c = Channels(colours[i]);
            sample[i] = static_cast<std::uint8_t>(i);
            plte[3 * i] = c.r;
            plte[3 * i + 1] = c.g;
            plte[3 * i + 2] = c.b;
            trns[i] = c.a;
        }
        // tRNS ends at the last colour with alpha.
        while (!trns.empty() && trns.back() == 255) {
            trns.pop_back();
        }
    }
    const bool asScanned = depth == 8 && !result.grey;

    // The rows, filter "none", packed most significant bits first.
    const size_t length = 1 + (w * static_cast<size_t>(depth) + 7) / 8;
    const size_t distinct = scan.copies.size();
    std::vector<std::uint8_t> packed;
    std::vector<const std::uint8_t*> rowBytes(distinct);
    if (!asScanned) {
        packed.assign(distinct * length, 0);
    }
    for (size_t i = 0; i < distinct; ++i) {
        const std::uint8_t* row = scan.rows.data() + i * scan.stride;
        if (!asScanned) {
            PackRow(row + 1, w, depth, sample, packed.data() + i * length + 1);
            row = packed.data() + i * length;
        }
        rowBytes[i] = row;
    }
    // Rows wider than the deflate window go through zlib as a whole.
    const bool byCopies = length <= RowDeflater::kMaxRow;
    RowDeflater deflater;
    std::vector<std::uint8_t> raw;
    if (byCopies) {
        deflater.Rows(rowBytes.data(), scan.copies.data(), distinct, length);
    } else {
        for (size_t i = 0; i < distinct; ++i) {
            for (size_t r = 0; r <= scan.copies[i]; ++r) {
                raw.insert(raw.end(), rowBytes[i], rowBytes[i] + length);
            }
        }
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
