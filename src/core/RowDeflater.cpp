// SPDX-License-Identifier: MIT
#include "core/RowDeflater.h"

#include <algorithm>
#include <cstring>

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

// The number of leading bytes of `a` equal to those of `b` (at most `limit`), compared eight at
// a time. `b` may overlap `a` from below: a[i] == a[i - 1] over a run of one byte.
size_t MatchLength(const std::uint8_t* a, const std::uint8_t* b, size_t limit)
{
    size_t n = 0;
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; n + 8 <= limit; n += 8) {
        std::uint64_t x = 0;
        std::uint64_t y = 0;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y) {
            return n + static_cast<size_t>(__builtin_ctzll(x ^ y) / 8);
        }
    }
#endif
    while (n < limit && a[n] == b[n]) {
        ++n;
    }
    return n;
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

// Writes bits least significant first: each call stores a whole word and keeps fewer than
// eight bits back, so the output needs eight bytes of room beyond its end.
class BitWriter
{
public:
    explicit BitWriter(std::uint8_t* out) : m_out(out) {}

    // `count` bits of `value`; at most 56 with what is kept back.
    void Bits(std::uint64_t value, int count)
    {
        m_bits |= value << m_count;
        m_count += count;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        std::memcpy(m_out, &m_bits, 8);
#else
        for (int i = 0; i < 8; ++i) {
            m_out[i] = static_cast<std::uint8_t>(m_bits >> (8 * i));
        }
#endif
        const int bytes = m_count / 8;
        m_out += bytes;
        m_bits >>= 8 * bytes;
        m_count -= 8 * bytes;
    }

    // The end of the output, the last byte padded with zeros.
    std::uint8_t* Flush() { return m_out + (m_count > 0 ? 1 : 0); }

private:
    std::uint8_t* m_out;
    std::uint64_t m_bits = 0;
    int m_count = 0;
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

// Sorts items (frequency above a 16-bit symbol, in symbol order) by frequency, keeping the
// symbol order among equal ones: a radix sort over the bytes the frequencies use.
void SortByFrequency(std::uint64_t* items, size_t n)
{
    std::uint64_t largest = 0;
    for (size_t i = 0; i < n; ++i) {
        largest = std::max(largest, items[i] >> 16);
    }
    std::array<std::uint64_t, kSymbols> spare; // written before it is read
    std::uint64_t* from = items;
    std::uint64_t* to = spare.data();
    for (int shift = 16; (largest << 16) >> shift != 0; shift += 8) {
        std::array<size_t, 257> start{};
        for (size_t i = 0; i < n; ++i) {
            ++start[((from[i] >> shift) & 255) + 1];
        }
        for (size_t b = 1; b < start.size(); ++b) {
            start[b] += start[b - 1];
        }
        for (size_t i = 0; i < n; ++i) {
            to[start[(from[i] >> shift) & 255]++] = from[i];
        }
        std::swap(from, to);
    }
    if (from != items) {
        std::copy(from, from + n, items);
    }
}

// Code lengths of at most `limit` bits for the `n` (at most kSymbols) frequencies: a Huffman
// code whose longest codes are folded to the limit, the shortest ones lengthened to pay for it.
// Unused symbols get length 0; a lone used symbol gets length 1.
void CodeLengths(const std::uint32_t* frequencies, size_t n, int limit, std::uint8_t* lengths)
{
    std::array<std::uint64_t, kSymbols> items;  // frequency above the symbol
    std::array<std::uint64_t, kSymbols> a;
    size_t used = 0;
    for (size_t s = 0; s < n; ++s) {
        lengths[s] = 0;
        if (frequencies[s] > 0) {
            items[used++] = (static_cast<std::uint64_t>(frequencies[s]) << 16) | s;
        }
    }
    if (used <= 1) {
        if (used == 1) {
            lengths[items[0] & 0xFFFF] = 1;
        }
        return;
    }
    SortByFrequency(items.data(), used);
    for (size_t i = 0; i < used; ++i) {
        a[i] = items[i] >> 16;
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
        lengths[items[i] & 0xFFFF] = static_cast<std::uint8_t>(a[i]);
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

void RowDeflater::Literal(std::uint8_t byte)
{
    m_tokens.push_back(byte);
    ++m_symbolCount[byte];
}

void RowDeflater::Copy(std::uint32_t distanceFields, size_t length)
{
    const std::array<std::uint8_t, 259>& lengthCode = LengthCodes();
    const size_t distanceCode = (distanceFields >> 9) & 31;
    while (length > 0) {
        // Pieces of at most 258 bytes, the last one kept at 3 or more.
        size_t piece = std::min<size_t>(length, 258);
        if (length - piece > 0 && length - piece < 3) {
            piece = length - 3;
        }
        const std::uint32_t l = lengthCode[piece];
        m_tokens.push_back((257 + l) | distanceFields | (static_cast<std::uint32_t>(piece - kLengthBase[l]) << 14));
        ++m_symbolCount[257 + l];
        ++m_distanceCount[distanceCode];
        length -= piece;
    }
}

void RowDeflater::Row(const std::uint8_t* row, const std::uint8_t* above, size_t length)
{
    if (m_tokens.capacity() - m_tokens.size() < length) {
        m_tokens.reserve(std::max(2 * m_tokens.capacity(), m_tokens.size() + 2 * length + 64));
    }
    // Greedy: the longer of a copy of the row above and a run of the byte before, from 3 bytes.
    const std::uint32_t upFields = DistanceFields(length);
    const std::uint32_t runFields = DistanceFields(1);
    for (size_t i = 0; i < length;) {
        const size_t left = length - i;
        const size_t up = above != nullptr ? MatchLength(row + i, above + i, left) : 0;
        const size_t run = i > 0 ? MatchLength(row + i, row + i - 1, left) : 0;
        if (up >= 3 && up >= run) {
            Copy(upFields, up);
            i += up;
        } else if (run >= 3) {
            Copy(runFields, run);
            i += run;
        } else {
            Literal(row[i]);
            ++i;
        }
    }
    // Adler-32: the row adds its byte sum to A, and to B its sum weighted by the distance from
    // the row's end plus A times its length. Eight bytes a step (the sums stay far below 2^64).
    std::uint64_t sum = 0;
    std::uint64_t weighted = 0;
    size_t j = 0;
    for (; j + 8 <= length; j += 8) {
        const std::uint8_t* p = row + j;
        weighted += 8 * sum + 8u * p[0] + 7u * p[1] + 6u * p[2] + 5u * p[3] + 4u * p[4] + 3u * p[5] + 2u * p[6] + p[7];
        sum += 0u + p[0] + p[1] + p[2] + p[3] + p[4] + p[5] + p[6] + p[7];
    }
    for (; j < length; ++j) {
        sum += row[j];
        weighted += sum;
    }
    m_lastRow = row;
    m_rowSum = sum;
    m_rowWeighted = weighted;
    m_adlerB = Mod(m_adlerB + static_cast<std::uint64_t>(length) * m_adlerA + Mod(weighted));
    m_adlerA = Mod(m_adlerA + sum);
}

void RowDeflater::RepeatRow(size_t length, size_t count)
{
    if (count == 0) {
        return;
    }
    // k more rows of sum s and weighted sum w, n bytes each: A grows by k s, and B by
    // k n A + n s k (k - 1) / 2 + k w.
    const std::uint64_t k = Mod(count);
    const std::uint64_t pairs = count % 2 == 0 ? Mod(count / 2) * Mod(count - 1) : Mod(count) * Mod((count - 1) / 2);
    const std::uint64_t n = Mod(length);
    const std::uint64_t s = Mod(m_rowSum);
    const std::uint64_t w = Mod(m_rowWeighted);
    m_adlerB = Mod(m_adlerB + Mod(k * n % kAdlerModulus * m_adlerA) + Mod(n * s % kAdlerModulus * Mod(pairs)) + k * w);
    m_adlerA = Mod(m_adlerA + k * s);
    if (length * count < 3) { // too short for a copy
        for (size_t i = 0; i < length * count; ++i) {
            Literal(m_lastRow[i % length]);
        }
        return;
    }
    Copy(DistanceFields(length), length * count);
}

std::vector<std::uint8_t> RowDeflater::Finish()
{
    m_tokens.push_back(256);
    ++m_symbolCount[256];
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
    // Each token in one write: its code and length bits, then (for a copy) the distance code and
    // its bits; chosen by masks rather than branches, as literals and copies alternate at random.
    std::array<std::uint8_t, kSymbols> lengthExtra{};
    std::copy(std::begin(kLengthExtra), std::end(kLengthExtra), lengthExtra.begin() + 257);
    for (const std::uint32_t t : m_tokens) {
        const std::uint32_t symbol = t & 511;
        const std::uint32_t d = (t >> 9) & 31;
        const std::uint64_t copy = symbol > 256 ? ~std::uint64_t{0} : 0;
        const int symbolBits = literalLengths[symbol];
        const int head = symbolBits + lengthExtra[symbol];
        const int distanceBits = distanceLengths[d];
        const std::uint64_t tail = (distanceCodes[d] | (static_cast<std::uint64_t>(t >> 19) << distanceBits)) & copy;
        const int tailBits = static_cast<int>((distanceBits + kDistanceExtra[d]) & copy);
        bits.Bits(literalCodes[symbol] | (static_cast<std::uint64_t>((t >> 14) & 31) << symbolBits) | (tail << head),
                  head + tailBits);
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
