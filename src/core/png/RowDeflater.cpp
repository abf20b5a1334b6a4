// SPDX-License-Identifier: MIT
#include "core/png/RowDeflater.h"

#include "core/BitOps.h"

#include <algorithm>
#include <cstring>
#include <memory>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace compact_png {
namespace {

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                             33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                             1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which the code lengths of the code-length alphabet are sent.
constexpr std::uint8_t kLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr size_t kSymbols = 286;
constexpr size_t kFixedSymbols = 288; // the fixed code also places the two unused symbols
constexpr size_t kDistances = 30;
constexpr std::uint32_t kAdlerModulus = 65521;
// The distance field of the end-of-block token, which has no distance: a code deflate does not
// use, written as no bits.
constexpr std::uint32_t kNoDistance = 30u << 9;

// Bit i of `above` set where row[i] == up[i] (all clear without a row above), bit i of `before`
// where row[i] == row[i - 1] (i > 0), for i < n; the bits after n are clear, up to the end of
// n / 64 + 3 words. In the same pass: the byte sum of the row and its sum weighted by the
// distance from the row's end, for the Adler-32.
void RowBits(const std::uint8_t* row, const std::uint8_t* up, size_t n, std::uint64_t* above, std::uint64_t* before,
             std::uint64_t* sumOut, std::uint64_t* weightedOut)
{
    std::fill_n(above, n / 64 + 3, 0);
    std::fill_n(before, n / 64 + 3, 0);
    std::uint64_t sum = 0;
    std::uint64_t weighted = 0;
    size_t i = 0;
#if defined(__SSE2__)
    if (n >= 16) {
        // Sixteen bytes a step: their sum, and their sum weighted 16 down to 1 (16-bit products
        // summed in pairs), kept in vectors; each step also adds 16 times the sum before it.
        const __m128i zero = _mm_setzero_si128();
        const __m128i weightsLow = _mm_set_epi16(9, 10, 11, 12, 13, 14, 15, 16);
        const __m128i weightsHigh = _mm_set_epi16(1, 2, 3, 4, 5, 6, 7, 8);
        __m128i sums = zero;
        __m128i earlier = zero; // the sums before each step, added up
        __m128i products = zero;
        const auto step = [&](size_t at, __m128i bytes, __m128i previous, std::uint32_t keep) {
            const auto equalBefore = static_cast<std::uint64_t>(
                static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, previous))) & keep);
            before[at / 64] |= equalBefore << (at % 64);
            if (up != nullptr) {
                const __m128i other = _mm_loadu_si128(reinterpret_cast<const __m128i*>(up + at));
                const auto equalAbove = static_cast<std::uint64_t>(
                    static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, other))));
                above[at / 64] |= equalAbove << (at % 64);
            }
            earlier = _mm_add_epi64(earlier, sums);
            sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, zero));
            products = _mm_add_epi32(products, _mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), weightsLow));
            products = _mm_add_epi32(products, _mm_madd_epi16(_mm_unpackhi_epi8(bytes, zero), weightsHigh));
        };
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
        step(0, first, _mm_slli_si128(first, 1), 0xFFFEu);
        for (i = 16; i + 16 <= n; i += 16) {
            step(i, _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i)),
                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i - 1)), 0xFFFFu);
        }
        alignas(16) std::uint64_t s[2];
        alignas(16) std::uint64_t e[2];
        alignas(16) std::uint32_t p[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(s), sums);
        _mm_store_si128(reinterpret_cast<__m128i*>(e), earlier);
        _mm_store_si128(reinterpret_cast<__m128i*>(p), products);
        sum = s[0] + s[1];
        weighted = 16 * (e[0] + e[1]) + p[0] + p[1] + p[2] + p[3];
        if (i < n) {
            // The last sixteen bytes, overlapping those done, for the bits; the sums go on below.
            const size_t at = n - 16;
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + at));
            const auto set = [at](std::uint64_t* words, __m128i x, __m128i y) {
                const auto equal =
                    static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))));
                words[at / 64] |= equal << (at % 64);
                if (at % 64 > 48) {
                    words[at / 64 + 1] |= equal >> (64 - at % 64);
                }
            };
            set(before, bytes, _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + at - 1)));
            if (up != nullptr) {
                set(above, bytes, _mm_loadu_si128(reinterpret_cast<const __m128i*>(up + at)));
            }
            for (; i < n; ++i) {
                sum += row[i];
                weighted += sum;
            }
        }
    }
#endif
    for (; i < n; ++i) {
        if (up != nullptr) {
            above[i / 64] |= static_cast<std::uint64_t>(row[i] == up[i]) << (i % 64);
        }
        if (i > 0) {
            before[i / 64] |= static_cast<std::uint64_t>(row[i] == row[i - 1]) << (i % 64);
        }
        sum += row[i];
        weighted += sum;
    }
    *sumOut = sum;
    *weightedOut = weighted;
}

// The number of set bits from bit p on, counted up to `cap` or a little beyond.
size_t OnesFrom(const std::uint64_t* words, size_t p, size_t cap)
{
    size_t n = 0;
    for (;;) {
        const size_t b = p % 64;
        std::uint64_t bits = words[p / 64] >> b;
        if (b != 0) {
            bits |= words[p / 64 + 1] << (64 - b);
        }
        if (~bits != 0) {
            return n + static_cast<size_t>(bit_ops::TrailingZeros(~bits));
        }
        n += 64;
        p += 64;
        if (n >= cap) {
            return n;
        }
    }
}

// The deflate code of a copy distance and its extra bits, packed as a token's distance fields.
std::uint32_t DistanceFields(size_t distance)
{
    std::uint32_t d = 29;
    while (kDistanceBase[d] > distance) {
        --d;
    }
    return (d << 9) | (static_cast<std::uint32_t>(distance - kDistanceBase[d]) << 19);
}

// Length symbol (0-based above 257) of every copy length 3..258.
const std::array<std::uint8_t, 259>& LengthCodes()
{
    static const std::array<std::uint8_t, 259> codes = [] {
        std::array<std::uint8_t, 259> c{};
        int l = 0;
        for (size_t n = 3; n < c.size(); ++n) {
            while (l < 28 && kLengthBase[l + 1] <= n) {
                ++l;
            }
            c[n] = static_cast<std::uint8_t>(l);
        }
        return c;
    }();
    return codes;
}

// Writes bits least significant first: Add gathers bits, Store writes a whole word and keeps
// fewer than eight bits back, so the output needs eight bytes of room beyond its end.
class BitWriter
{
public:
    explicit BitWriter(std::uint8_t* out) : m_out(out) {}

    // `count` bits of `value`; at most 63 with what was added since the last Store.
    void Add(std::uint64_t value, unsigned count)
    {
        m_bits |= value << m_count;
        m_count += count;
    }

    void Store()
    {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        std::memcpy(m_out, &m_bits, 8);
#else
        for (int i = 0; i < 8; ++i) {
            m_out[i] = static_cast<std::uint8_t>(m_bits >> (8 * i));
        }
#endif
        const unsigned bytes = m_count / 8;
        m_out += bytes;
        m_bits >>= 8 * bytes;
        m_count %= 8;
    }

    // `count` bits of `value`, at most 56.
    void Bits(std::uint64_t value, unsigned count)
    {
        Add(value, count);
        Store();
    }

    // The end of the output, the last byte padded with zeros.
    std::uint8_t* Flush()
    {
        return m_out + (m_count > 0 ? 1 : 0);
    }

private:
    std::uint8_t* m_out;
    std::uint64_t m_bits = 0;
    unsigned m_count = 0;
};

// Minimum-redundancy code lengths in place (Moffat and Katajainen): `a` holds n >= 2 weights in
// ascending order and receives the code length of each.
void MinimumRedundancy(std::uint64_t* a, std::ptrdiff_t n)
{
    // Internal nodes are formed left to right, each pointing to its parent.
    std::ptrdiff_t root = 0;
    std::ptrdiff_t leaf = 2;
    a[0] += a[1];
    for (std::ptrdiff_t next = 1; next < n - 1; ++next) {
        if (leaf >= n || a[root] < a[leaf]) {
            a[next] = a[root];
            a[root++] = static_cast<std::uint64_t>(next);
        } else {
            a[next] = a[leaf++];
        }
        if (leaf >= n || (root < next && a[root] < a[leaf])) {
            a[next] += a[root];
            a[root++] = static_cast<std::uint64_t>(next);
        } else {
            a[next] += a[leaf++];
        }
    }
    // The depth of each internal node, then of the leaves.
    a[n - 2] = 0;
    for (std::ptrdiff_t next = n - 3; next >= 0; --next) {
        a[next] = a[a[next]] + 1;
    }
    std::ptrdiff_t available = 1;
    std::ptrdiff_t used = 0;
    std::uint64_t depth = 0;
    root = n - 2;
    std::ptrdiff_t next = n - 1;
    while (available > 0) {
        while (root >= 0 && a[root] == depth) {
            ++used;
            --root;
        }
        while (available > used) {
            a[next--] = depth;
            --available;
        }
        available = 2 * used;
        ++depth;
        used = 0;
    }
}

// Code lengths of at most `limit` bits for the `n` (at most kSymbols) frequencies: a Huffman
// code whose longest codes are folded to the limit, the shortest ones lengthened to pay for it.
// Unused symbols get length 0; a lone used symbol gets length 1.
void CodeLengths(const std::uint32_t* frequencies, size_t n, int limit, std::uint8_t* lengths)
{
    // The used symbols by ascending frequency, the symbol order kept among equal ones. Most
    // symbols of an image are rare: frequencies below 64 are placed by counting, the few others
    // sorted after them.
    constexpr std::uint32_t kCounted = 64;
    std::array<std::uint32_t, kCounted + 1> start{};
    for (size_t s = 0; s < n; ++s) {
        ++start[std::min(frequencies[s], kCounted)];
    }
    const size_t used = n - start[0];
    std::fill_n(lengths, n, 0);
    if (used <= 1) {
        for (size_t s = 0; s < n && used == 1; ++s) {
            lengths[s] = frequencies[s] > 0 ? 1 : 0;
        }
        return;
    }
    std::uint32_t at = 0;
    for (std::uint32_t f = 1; f < kCounted; ++f) {
        const std::uint32_t count = start[f];
        start[f] = at;
        at += count;
    }
    std::array<std::uint64_t, kSymbols> a;        // frequencies, then code lengths
    std::array<std::uint16_t, kSymbols> symbol;   // the symbol of each
    std::array<std::uint64_t, kSymbols> frequent; // frequency above the symbol
    size_t frequentCount = 0;
    for (size_t s = 0; s < n; ++s) {
        const std::uint32_t f = frequencies[s];
        if (f - 1 < kCounted - 1) { // 1 .. kCounted - 1
            const std::uint32_t k = start[f]++;
            a[k] = f;
            symbol[k] = static_cast<std::uint16_t>(s);
        } else if (f != 0) {
            frequent[frequentCount++] = (static_cast<std::uint64_t>(f) << 16) | s;
        }
    }
    std::sort(frequent.begin(), frequent.begin() + static_cast<std::ptrdiff_t>(frequentCount));
    for (size_t i = 0; i < frequentCount; ++i) {
        a[at + i] = frequent[i] >> 16;
        symbol[at + i] = static_cast<std::uint16_t>(frequent[i] & 0xFFFF);
    }
    MinimumRedundancy(a.data(), static_cast<std::ptrdiff_t>(used));
    const auto ulimit = static_cast<std::uint64_t>(limit);
    if (a[0] > ulimit) { // a[0], of the rarest symbol, is the longest
        std::array<std::uint32_t, 16> count{};
        for (size_t i = 0; i < used; ++i) {
            ++count[std::min(a[i], ulimit)];
        }
        std::uint64_t kraft = 0;
        for (int d = 1; d <= limit; ++d) {
            kraft += static_cast<std::uint64_t>(count[static_cast<size_t>(d)]) << (limit - d);
        }
        // Each step takes a code off the longest length and splits a shorter one in two.
        for (; kraft > (std::uint64_t{1} << limit); --kraft) {
            --count[static_cast<size_t>(limit)];
            for (int d = limit - 1; d > 0; --d) {
                if (count[static_cast<size_t>(d)] > 0) {
                    --count[static_cast<size_t>(d)];
                    count[static_cast<size_t>(d) + 1] += 2;
                    break;
                }
            }
        }
        size_t i = 0;
        for (int d = limit; d > 0; --d) {
            for (std::uint32_t c = 0; c < count[static_cast<size_t>(d)]; ++c) {
                a[i++] = static_cast<std::uint64_t>(d);
            }
        }
    }
    for (size_t i = 0; i < used; ++i) {
        lengths[symbol[i]] = static_cast<std::uint8_t>(a[i]);
    }
}

// Canonical codes of the lengths, bit-reversed for writing least significant bit first.
void Codes(const std::uint8_t* lengths, size_t n, std::uint16_t* codes)
{
    // Four partial counts: most lengths are alike, and one counter would wait on itself.
    std::array<std::array<std::uint16_t, 16>, 4> partial{};
    for (size_t i = 0; i < n; ++i) {
        ++partial[i % 4][lengths[i]];
    }
    std::array<std::uint16_t, 16> count{};
    for (size_t l = 1; l < count.size(); ++l) {
        count[l] = static_cast<std::uint16_t>(partial[0][l] + partial[1][l] + partial[2][l] + partial[3][l]);
    }
    std::array<std::uint16_t, 16> next{};
    std::uint16_t code = 0;
    for (int bits = 1; bits < 16; ++bits) {
        code = static_cast<std::uint16_t>((code + count[static_cast<size_t>(bits - 1)]) << 1);
        next[static_cast<size_t>(bits)] = code;
    }
    for (size_t i = 0; i < n; ++i) {
        const int l = lengths[i];
        codes[i] = 0;
        if (l == 0) {
            continue;
        }
        static const std::array<std::uint8_t, 256> reverse = [] {
            std::array<std::uint8_t, 256> r{};
            for (unsigned v = 0; v < 256; ++v) {
                for (int b = 0; b < 8; ++b) {
                    r[v] |= static_cast<std::uint8_t>(((v >> b) & 1u) << (7 - b));
                }
            }
            return r;
        }();
        const unsigned c = next[static_cast<size_t>(l)]++;
        codes[i] = static_cast<std::uint16_t>(((reverse[c & 255] << 8) | reverse[c >> 8]) >> (16 - l));
    }
}

// Code-length symbols: a length, 16 (repeat the previous 3 to 6 times), 17 and 18 (3 to 10 and
// 11 to 138 zeros), with the value of the extra bits.
struct LengthRun
{
    std::uint8_t symbol;
    std::uint8_t extra;
};

// The code lengths of both alphabets as code-length symbols; returns their count.
size_t RunLengths(const std::uint8_t* lengths, size_t n, LengthRun* out)
{
    size_t count = 0;
    for (size_t i = 0; i < n;) {
        const std::uint8_t l = lengths[i];
        size_t run = 1;
        while (i + run < n && lengths[i + run] == l) {
            ++run;
        }
        size_t left = run;
        if (l == 0) {
            while (left >= 11) {
                const size_t k = std::min<size_t>(left, 138);
                out[count++] = {18, static_cast<std::uint8_t>(k - 11)};
                left -= k;
            }
            if (left >= 3) {
                out[count++] = {17, static_cast<std::uint8_t>(left - 3)};
                left = 0;
            }
        } else {
            out[count++] = {l, 0};
            --left;
            while (left >= 3) {
                const size_t k = std::min<size_t>(left, 6);
                out[count++] = {16, static_cast<std::uint8_t>(k - 3)};
                left -= k;
            }
        }
        for (; left > 0; --left) {
            out[count++] = {l, 0};
        }
        i += run;
    }
    return count;
}

int RunExtraBits(std::uint8_t symbol)
{
    return symbol == 16 ? 2 : symbol == 17 ? 3 : symbol == 18 ? 7 : 0;
}

std::uint8_t FixedLength(size_t symbol)
{
    if (symbol < 144) {
        return 8;
    }
    if (symbol < 256) {
        return 9;
    }
    return symbol < 280 ? 7 : 8;
}

std::uint32_t Mod(std::uint64_t v)
{
    return static_cast<std::uint32_t>(v % kAdlerModulus);
}

} // namespace

void RowDeflater::Reserve(size_t literals, size_t items)
{
    // Not value-initialised: only what is written is read. The literals keep eight bytes of
    // room beyond the last, for whole-word copies.
    if (m_literalCapacity - m_literalCount < literals + 8) {
        const size_t capacity = std::max(2 * m_literalCapacity, m_literalCount + literals + 256);
        std::unique_ptr<std::uint8_t[]> grown(new std::uint8_t[capacity]);
        std::copy(m_literals.get(), m_literals.get() + m_literalCount, grown.get());
        m_literals = std::move(grown);
        m_literalCapacity = capacity;
    }
    if (m_itemCapacity - m_itemCount < items) {
        const size_t capacity = std::max(2 * m_itemCapacity, m_itemCount + items + 64);
        std::unique_ptr<Item[]> grown(new Item[capacity]);
        std::copy(m_items.get(), m_items.get() + m_itemCount, grown.get());
        m_items = std::move(grown);
        m_itemCapacity = capacity;
    }
}

void RowDeflater::Literal(std::uint8_t byte)
{
    Reserve(1, 0);
    m_literals[m_literalCount++] = byte;
    ++m_pending;
}

void RowDeflater::Add(std::uint32_t token)
{
    Reserve(0, 1);
    m_items[m_itemCount++] = Item{static_cast<std::uint32_t>(m_pending), token};
    m_pending = 0;
}

void RowDeflater::Copy(std::uint32_t distanceFields, size_t length)
{
    const std::array<std::uint8_t, 259>& lengthCode = LengthCodes();
    const size_t distanceCode = (distanceFields >> 9) & 31;
    Reserve(0, length / 258 + 2);
    Item* items = m_items.get() + m_itemCount;
    std::uint32_t pending = static_cast<std::uint32_t>(m_pending);
    while (length > 0) {
        // Pieces of at most 258 bytes, the last one kept at 3 or more.
        size_t piece = std::min<size_t>(length, 258);
        if (length - piece > 0 && length - piece < 3) {
            piece = length - 3;
        }
        const std::uint32_t l = lengthCode[piece];
        *items++ =
            Item{pending, (257 + l) | distanceFields | (static_cast<std::uint32_t>(piece - kLengthBase[l]) << 14)};
        pending = 0;
        ++m_symbolCount[257 + l];
        ++m_distanceCount[distanceCode];
        length -= piece;
    }
    m_itemCount = static_cast<size_t>(items - m_items.get());
    m_pending = 0;
}

void RowDeflater::Checksum(std::uint64_t sum, std::uint64_t weighted, size_t length, size_t repeats)
{
    // Adler-32: a row adds its byte sum s to A, and to B its weighted sum w plus A times its
    // length n. k rows in all: A grows by k s, and B by k n A + n s k (k - 1) / 2 + k w.
    const size_t count = repeats + 1;
    const std::uint64_t k = Mod(count);
    const std::uint64_t pairs = count % 2 == 0 ? Mod(count / 2) * Mod(count - 1) : Mod(count) * Mod((count - 1) / 2);
    const std::uint64_t n = Mod(length);
    const std::uint64_t s = Mod(sum);
    m_adlerB = Mod(m_adlerB + Mod(k * n % kAdlerModulus * m_adlerA) + Mod(n * s % kAdlerModulus * Mod(pairs))
                   + k * Mod(weighted));
    m_adlerA = Mod(m_adlerA + k * s);
}

void RowDeflater::Rows(const std::uint8_t* const* rows, const size_t* repeats, size_t count, size_t length)
{
    if (count == 0 || length == 0) {
        return;
    }
    // Per row, bit i of `above`: byte i equals the byte above it (in the row before); of
    // `before`: byte i equals byte i - 1.
    const size_t words = length / 64 + 3;
    m_bits.resize(3 * words);
    std::uint64_t* above = m_bits.data();
    std::uint64_t* before = above + words;
    std::uint64_t* starts = before + words;
    // Greedy per row: the longer of a copy of the row above and a run of the byte before, from
    // 3 bytes (at most 258, the rest in the next token). A copy can start where three bytes in a
    // row equal those above or those before; the stretch up to the next such place is literals,
    // taken without looking at the copies (antialiased text is mostly literals).
    const std::array<std::uint8_t, 259>& lengthCode = LengthCodes();
    const std::uint32_t upFields = DistanceFields(length);
    const std::uint32_t runFields = DistanceFields(1);
    for (size_t r = 0; r < count; ++r) {
        // Room for this row's worst case, taken before any pointer into the buffers: every
        // byte a literal (eight bytes of slack come with it), or a copy every three bytes.
        // The copies of the repeated rows below reserve their own.
        Reserve(length, length / 3 + 2);
        const std::uint8_t* row = rows[r];
        std::uint64_t sum = 0;
        std::uint64_t weighted = 0;
        RowBits(row, r > 0 ? rows[r - 1] : nullptr, length, above, before, &sum, &weighted);
        Checksum(sum, weighted, length, repeats[r]);
        for (size_t w = 0; w < words; ++w) {
            const std::uint64_t a1 = w + 1 < words ? above[w + 1] : 0;
            const std::uint64_t b1 = w + 1 < words ? before[w + 1] : 0;
            const std::uint64_t a = above[w] & ((above[w] >> 1) | (a1 << 63)) & ((above[w] >> 2) | (a1 << 62));
            const std::uint64_t b = before[w] & ((before[w] >> 1) | (b1 << 63)) & ((before[w] >> 2) | (b1 << 62));
            starts[w] = a | b;
        }
        std::uint8_t* literals = m_literals.get() + m_literalCount;
        Item* items = m_items.get() + m_itemCount;
        size_t pending = m_pending;
        for (size_t i = 0; i < length;) {
            // The next place a copy starts (bits beyond the row are clear).
            size_t next = i;
            for (std::uint64_t bits = starts[next / 64] >> (next % 64);;) {
                if (bits != 0) {
                    next += static_cast<size_t>(bit_ops::TrailingZeros(bits));
                    break;
                }
                next = (next / 64 + 1) * 64;
                if (next >= length) {
                    break;
                }
                bits = starts[next / 64];
            }
            next = std::min(next, length);
            // The literals, eight bytes a step while the row has them (the buffer has room).
            const size_t stretch = next - i;
            if (i + (stretch + 7) / 8 * 8 <= length) {
                for (size_t k = 0; k < stretch; k += 8) {
                    std::memcpy(literals + k, row + i + k, 8);
                }
            } else {
                std::memcpy(literals, row + i, stretch);
            }
            literals += stretch;
            pending += stretch;
            i = next;
            if (i >= length) {
                break;
            }
            // The equal bytes from i on, above and before: most stretches end in the next word.
            const size_t b = i % 64;
            const std::uint64_t upBits = (above[i / 64] >> b) | ((above[i / 64 + 1] << 1) << (63 - b));
            const std::uint64_t runBits = (before[i / 64] >> b) | ((before[i / 64 + 1] << 1) << (63 - b));
            const size_t up =
                ~upBits != 0 ? static_cast<size_t>(bit_ops::TrailingZeros(~upBits)) : OnesFrom(above, i, 258);
            const size_t run =
                ~runBits != 0 ? static_cast<size_t>(bit_ops::TrailingZeros(~runBits)) : OnesFrom(before, i, 258);
            const bool useUp = up >= run;
            const size_t best = std::min<size_t>(useUp ? up : run, 258);
            const std::uint32_t l = lengthCode[best];
            *items++ = Item{static_cast<std::uint32_t>(pending),
                            (257 + l) | (useUp ? upFields : runFields)
                                | (static_cast<std::uint32_t>(best - kLengthBase[l]) << 14)};
            pending = 0;
            ++m_symbolCount[257 + l];
            ++m_distanceCount[((useUp ? upFields : runFields) >> 9) & 31];
            i += best;
        }
        m_literalCount = static_cast<size_t>(literals - m_literals.get());
        m_itemCount = static_cast<size_t>(items - m_items.get());
        m_pending = pending;
        // The copies of the row that follow it.
        const size_t copied = length * repeats[r];
        if (copied >= 3) {
            Copy(upFields, copied);
        } else {
            for (size_t i = 0; i < copied; ++i) { // too short for a copy
                Literal(row[i % length]);
            }
        }
    }
}

std::vector<std::uint8_t> RowDeflater::Finish()
{
    Add(256 | kNoDistance);
    ++m_symbolCount[256];
    {
        // Two literal counts, taken in turns, so that a byte repeated does not wait on itself.
        std::array<std::array<std::uint32_t, 256>, 2> literalCount{};
        const std::uint8_t* bytes = m_literals.get();
        size_t i = 0;
        for (; i + 2 <= m_literalCount; i += 2) {
            ++literalCount[0][bytes[i]];
            ++literalCount[1][bytes[i + 1]];
        }
        if (i < m_literalCount) {
            ++literalCount[0][bytes[i]];
        }
        for (size_t b = 0; b < 256; ++b) {
            m_symbolCount[b] += literalCount[0][b] + literalCount[1][b];
        }
    }
    std::array<std::uint8_t, kSymbols + kDistances> lengths{}; // literal/length then distance
    std::uint8_t* literalLengths = lengths.data();
    std::uint8_t* distanceLengths = lengths.data() + kSymbols;
    CodeLengths(m_symbolCount.data(), kSymbols, 15, literalLengths);
    CodeLengths(m_distanceCount.data(), kDistances, 15, distanceLengths);
    if (std::all_of(distanceLengths, distanceLengths + kDistances, [](std::uint8_t l) { return l == 0; })) {
        distanceLengths[0] = 1; // at least one distance code is described
    }
    size_t hlit = kSymbols;
    while (hlit > 257 && literalLengths[hlit - 1] == 0) {
        --hlit;
    }
    size_t hdist = kDistances;
    while (hdist > 1 && distanceLengths[hdist - 1] == 0) {
        --hdist;
    }
    std::array<std::uint8_t, kSymbols + kDistances> sent;
    std::copy(literalLengths, literalLengths + hlit, sent.begin());
    std::copy(distanceLengths, distanceLengths + hdist, sent.begin() + static_cast<std::ptrdiff_t>(hlit));
    std::array<LengthRun, kSymbols + kDistances> runs;
    const size_t runCount = RunLengths(sent.data(), hlit + hdist, runs.data());
    std::array<std::uint32_t, 19> runFrequency{};
    for (size_t i = 0; i < runCount; ++i) {
        ++runFrequency[runs[i].symbol];
    }
    // A code of one symbol is incomplete, which decoders refuse for this alphabet.
    if (std::count_if(runFrequency.begin(), runFrequency.end(), [](std::uint32_t c) { return c > 0; }) < 2) {
        ++runFrequency[runFrequency[0] > 0 ? 1 : 0];
    }
    std::array<std::uint8_t, 19> runLengths{};
    CodeLengths(runFrequency.data(), runFrequency.size(), 7, runLengths.data());
    size_t hclen = 19;
    while (hclen > 4 && runLengths[kLengthOrder[hclen - 1]] == 0) {
        --hclen;
    }

    // The bits each choice costs, from the counts: the dynamic header and codes against the
    // fixed codes (the extra bits are the same for both).
    std::uint64_t dynamicBits = 14 + 3 * hclen;
    for (size_t i = 0; i < runCount; ++i) {
        dynamicBits += runLengths[runs[i].symbol] + static_cast<std::uint64_t>(RunExtraBits(runs[i].symbol));
    }
    std::uint64_t fixedBits = 0;
    std::uint64_t extraBits = 0;
    for (size_t s = 0; s < kSymbols; ++s) {
        const std::uint64_t c = m_symbolCount[s];
        dynamicBits += c * literalLengths[s];
        fixedBits += c * FixedLength(s);
        if (s > 256) {
            extraBits += c * kLengthExtra[s - 257];
        }
    }
    for (size_t d = 0; d < kDistances; ++d) {
        const std::uint64_t c = m_distanceCount[d];
        dynamicBits += c * distanceLengths[d];
        fixedBits += c * 5;
        extraBits += c * kDistanceExtra[d];
    }
    const bool dynamic = dynamicBits < fixedBits;
    std::array<std::uint8_t, kFixedSymbols> fixedLengths{};
    if (!dynamic) {
        for (size_t s = 0; s < kFixedSymbols; ++s) {
            fixedLengths[s] = FixedLength(s);
        }
        literalLengths = fixedLengths.data();
        std::fill(distanceLengths, distanceLengths + kDistances, 5);
    }
    std::array<std::uint16_t, kFixedSymbols> literalCodes{};
    std::array<std::uint16_t, kDistances> distanceCodes{};
    Codes(literalLengths, dynamic ? kSymbols : kFixedSymbols, literalCodes.data());
    Codes(distanceLengths, kDistances, distanceCodes.data());

    std::vector<std::uint8_t> out((std::min(dynamicBits, fixedBits) + extraBits) / 8 + 32);
    out[0] = 0x78; // zlib header: deflate, 32 KiB window, no dictionary
    out[1] = 0x01;
    BitWriter bits(out.data() + 2);
    bits.Bits(1, 1);               // the last block
    bits.Bits(dynamic ? 2 : 1, 2); // dynamic or fixed Huffman codes
    if (dynamic) {
        bits.Bits(static_cast<std::uint32_t>(hlit - 257), 5);
        bits.Bits(static_cast<std::uint32_t>(hdist - 1), 5);
        bits.Bits(static_cast<std::uint32_t>(hclen - 4), 4);
        for (size_t i = 0; i < hclen; ++i) {
            bits.Bits(runLengths[kLengthOrder[i]], 3);
        }
        std::array<std::uint16_t, 19> runCodes{};
        Codes(runLengths.data(), runLengths.size(), runCodes.data());
        for (size_t i = 0; i < runCount; ++i) {
            const LengthRun r = runs[i];
            bits.Bits(runCodes[r.symbol], runLengths[r.symbol]);
            if (r.symbol >= 16) {
                bits.Bits(r.extra, RunExtraBits(r.symbol));
            }
        }
    }
    // A literal's code beside its length; a copy in one write: its code and length bits, then
    // the distance code and its bits.
    std::array<std::uint32_t, 256> literalEntry;
    for (size_t b = 0; b < 256; ++b) {
        literalEntry[b] = literalCodes[b] | (static_cast<std::uint32_t>(literalLengths[b]) << 16);
    }
    std::array<std::uint32_t, kFixedSymbols> symbolCode{};
    std::array<std::uint8_t, kFixedSymbols> symbolBits{};
    std::array<std::uint8_t, kFixedSymbols> headBits{}; // the code and the extra bits of a length
    for (size_t s = 256; s < (dynamic ? kSymbols : kFixedSymbols); ++s) {
        symbolCode[s] = literalCodes[s];
        symbolBits[s] = literalLengths[s];
        headBits[s] = static_cast<std::uint8_t>(literalLengths[s] + (s > 256 && s < 286 ? kLengthExtra[s - 257] : 0));
    }
    std::array<std::uint32_t, kDistances + 1> distanceCode{};
    std::array<std::uint8_t, kDistances + 1> distanceBits{};
    std::array<std::uint8_t, kDistances + 1> tailBits{}; // the code and its extra bits
    for (size_t d = 0; d < kDistances; ++d) {
        distanceCode[d] = distanceCodes[d];
        distanceBits[d] = distanceLengths[d];
        tailBits[d] = static_cast<std::uint8_t>(distanceLengths[d] + kDistanceExtra[d]);
    }
    const std::uint8_t* literal = m_literals.get();
    const auto put = [&](std::uint8_t byte) {
        const std::uint32_t e = literalEntry[byte];
        bits.Add(e & 0xFFFF, e >> 16);
    };
    for (size_t k = 0; k < m_itemCount; ++k) {
        const Item item = m_items[k];
        // Three literals of at most 15 bits a store.
        const std::uint8_t* end = literal + item.literals;
        for (; end - literal >= 3; literal += 3) {
            put(literal[0]);
            put(literal[1]);
            put(literal[2]);
            bits.Store();
        }
        for (; literal < end; ++literal) {
            put(*literal);
        }
        bits.Store();
        const std::uint32_t t = item.token;
        const std::uint32_t symbol = t & 511;
        const std::uint32_t d = (t >> 9) & 31;
        const std::uint64_t tail = distanceCode[d] | (static_cast<std::uint64_t>(t >> 19) << distanceBits[d]);
        const unsigned head = headBits[symbol];
        bits.Bits(symbolCode[symbol] | (static_cast<std::uint64_t>((t >> 14) & 31) << symbolBits[symbol])
                      | (tail << head),
                  head + tailBits[d]);
    }
    std::uint8_t* end = bits.Flush();
    const std::uint32_t adler = (m_adlerB << 16) | m_adlerA;
    for (int shift = 24; shift >= 0; shift -= 8) {
        *end++ = static_cast<std::uint8_t>(adler >> shift);
    }
    out.resize(static_cast<size_t>(end - out.data()));
    return out;
}

} // namespace compact_png
