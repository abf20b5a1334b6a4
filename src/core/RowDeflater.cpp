// SPDX-License-Identifier: MIT
#include "core/RowDeflater.h"

#include <algorithm>
#include <array>
#include <zlib.h>

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

class BitWriter
{
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : m_out(out) {}

    // `count` (at most 32) bits of `value`, least significant first.
    void Bits(std::uint32_t value, int count)
    {
        m_bits |= static_cast<std::uint64_t>(value) << m_count;
        m_count += count;
        if (m_count >= 32) {
            for (int i = 0; i < 4; ++i) {
                m_out.push_back(static_cast<std::uint8_t>(m_bits >> (8 * i)));
            }
            m_bits >>= 32;
            m_count -= 32;
        }
    }

    void Flush()
    {
        for (; m_count > 0; m_count -= 8) {
            m_out.push_back(static_cast<std::uint8_t>(m_bits));
            m_bits >>= 8;
        }
        m_count = 0;
    }

private:
    std::vector<std::uint8_t>& m_out;
    std::uint64_t m_bits = 0;
    int m_count = 0;
};

// Code lengths (at most `limit` bits) for the frequencies: a Huffman tree, its frequencies
// halved until no code is longer than the limit. Unused symbols get length 0; a lone used
// symbol gets length 1.
std::vector<std::uint8_t> CodeLengths(std::vector<std::uint32_t> frequencies, int limit)
{
    const size_t n = frequencies.size();
    std::vector<std::uint8_t> lengths(n, 0);
    for (;;) {
        std::vector<size_t> used;
        for (size_t i = 0; i < n; ++i) {
            if (frequencies[i] > 0) {
                used.push_back(i);
            }
        }
        if (used.size() <= 1) {
            for (size_t i : used) {
                lengths[i] = 1;
            }
            return lengths;
        }
        // Two-queue Huffman construction over the sorted leaves.
        std::sort(used.begin(), used.end(), [&](size_t a, size_t b) {
            return frequencies[a] != frequencies[b] ? frequencies[a] < frequencies[b] : a < b;
        });

        struct Node
        {
            std::uint64_t weight;
            int parent;
        };

        std::vector<Node> nodes;
        for (size_t i : used) {
            nodes.push_back({frequencies[i], -1});
        }
        size_t leaf = 0;
        size_t inner = used.size();
        const auto take = [&]() {
            if (leaf < used.size() && (inner >= nodes.size() || nodes[leaf].weight <= nodes[inner].weight)) {
                return leaf++;
            }
            return inner++;
        };
        while (nodes.size() < 2 * used.size() - 1) {
            const size_t a = take();
            const size_t b = take();
            nodes.push_back({nodes[a].weight + nodes[b].weight, -1});
            nodes[a].parent = static_cast<int>(nodes.size() - 1);
            nodes[b].parent = static_cast<int>(nodes.size() - 1);
        }
        int longest = 0;
        for (size_t k = 0; k < used.size(); ++k) {
            int depth = 0;
            for (int p = nodes[k].parent; p >= 0; p = nodes[static_cast<size_t>(p)].parent) {
                ++depth;
            }
            lengths[used[k]] = static_cast<std::uint8_t>(depth);
            longest = std::max(longest, depth);
        }
        if (longest <= limit) {
            return lengths;
        }
        for (std::uint32_t& f : frequencies) {
            if (f > 0) {
                f = (f + 1) / 2;
            }
        }
    }
}

// Canonical codes of the lengths, bit-reversed for writing least significant bit first.
std::vector<std::uint16_t> Codes(const std::vector<std::uint8_t>& lengths)
{
    std::array<std::uint16_t, 16> count{};
    for (std::uint8_t l : lengths) {
        ++count[l];
    }
    count[0] = 0;
    std::array<std::uint16_t, 16> next{};
    std::uint16_t code = 0;
    for (int bits = 1; bits < 16; ++bits) {
        code = static_cast<std::uint16_t>((code + count[static_cast<size_t>(bits - 1)]) << 1);
        next[static_cast<size_t>(bits)] = code;
    }
    std::vector<std::uint16_t> codes(lengths.size(), 0);
    for (size_t i = 0; i < lengths.size(); ++i) {
        const int l = lengths[i];
        if (l == 0) {
            continue;
        }
        const unsigned c = next[static_cast<size_t>(l)]++;
        unsigned reversed = 0;
        for (int b = 0; b < l; ++b) {
            reversed = (reversed << 1) | ((c >> b) & 1u);
        }
        codes[i] = static_cast<std::uint16_t>(reversed);
    }
    return codes;
}

std::vector<std::uint8_t> FixedLiteralLengths()
{
    std::vector<std::uint8_t> lengths(288, 8);
    std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
    std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
    return lengths;
}

// The code lengths of both alphabets as code-length symbols (16: repeat the previous 3 to 6
// times, 17 and 18: 3 to 10 and 11 to 138 zeros), each with its extra bits.
std::vector<std::pair<std::uint8_t, std::uint8_t>> RunLengths(const std::vector<std::uint8_t>& lengths)
{
    std::vector<std::pair<std::uint8_t, std::uint8_t>> out;
    for (size_t i = 0; i < lengths.size();) {
        const std::uint8_t l = lengths[i];
        size_t run = 1;
        while (i + run < lengths.size() && lengths[i + run] == l) {
            ++run;
        }
        size_t left = run;
        if (l == 0) {
            while (left >= 11) {
                const size_t n = std::min<size_t>(left, 138);
                out.emplace_back(18, static_cast<std::uint8_t>(n - 11));
                left -= n;
            }
            if (left >= 3) {
                out.emplace_back(17, static_cast<std::uint8_t>(left - 3));
                left = 0;
            }
        } else {
            out.emplace_back(l, 0);
            --left;
            while (left >= 3) {
                const size_t n = std::min<size_t>(left, 6);
                out.emplace_back(16, static_cast<std::uint8_t>(n - 3));
                left -= n;
            }
        }
        for (; left > 0; --left) {
            out.emplace_back(l, 0);
        }
        i += run;
    }
    return out;
}

} // namespace

void RowDeflater::Copy(size_t distance, size_t length)
{
    static const auto lengthCode = [] {
        std::array<std::uint8_t, 259> codes{};
        int l = 0;
        for (size_t n = 3; n < codes.size(); ++n) {
            while (l < 28 && kLengthBase[l + 1] <= n) {
                ++l;
            }
            codes[n] = static_cast<std::uint8_t>(l);
        }
        return codes;
    }();
    int d = 29;
    while (kDistanceBase[d] > distance) {
        --d;
    }
    const auto distanceBits = static_cast<std::uint16_t>(distance - kDistanceBase[d]);
    while (length > 0) {
        // Pieces of at most 258 bytes, the last one kept at 3 or more.
        size_t piece = std::min<size_t>(length, 258);
        if (length - piece > 0 && length - piece < 3) {
            piece = length - 3;
        }
        const int l = lengthCode[piece];
        m_tokens.push_back({static_cast<std::uint16_t>(257 + l), static_cast<std::uint16_t>(piece - kLengthBase[l]),
                            static_cast<std::uint16_t>(d), distanceBits});
        length -= piece;
    }
}

void RowDeflater::Row(const std::uint8_t* row, const std::uint8_t* above, size_t length)
{
    if (m_tokens.capacity() - m_tokens.size() < length) {
        m_tokens.reserve(std::max(2 * m_tokens.capacity(), m_tokens.size() + 4 * length));
    }
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
            m_tokens.push_back({row[i], 0, 0, 0});
            ++i;
        }
    }
    m_lastRowAdler = static_cast<std::uint32_t>(adler32(1, row, static_cast<uInt>(length)));
    m_adler = static_cast<std::uint32_t>(adler32_combine(m_adler, m_lastRowAdler, static_cast<z_off_t>(length)));
}

void RowDeflater::RepeatRow(size_t length, size_t count)
{
    for (size_t c = 0; c < count; ++c) {
        m_adler = static_cast<std::uint32_t>(adler32_combine(m_adler, m_lastRowAdler, static_cast<z_off_t>(length)));
    }
    Copy(length, length * count);
}

std::vector<std::uint8_t> RowDeflater::Finish()
{
    m_tokens.push_back({256, 0, 0, 0});
    std::vector<std::uint32_t> literalCount(286, 0);
    std::vector<std::uint32_t> distanceCount(30, 0);
    for (const Token& t : m_tokens) {
        ++literalCount[t.symbol];
        if (t.symbol > 256) {
            ++distanceCount[t.distance];
        }
    }
    std::vector<std::uint8_t> literalLengths = CodeLengths(literalCount, 15);
    std::vector<std::uint8_t> distanceLengths = CodeLengths(distanceCount, 15);
    if (std::all_of(distanceLengths.begin(), distanceLengths.end(), [](std::uint8_t l) { return l == 0; })) {
        distanceLengths[0] = 1; // at least one distance code is described
    }
    size_t hlit = 286;
    while (hlit > 257 && literalLengths[hlit - 1] == 0) {
        --hlit;
    }
    size_t hdist = 30;
    while (hdist > 1 && distanceLengths[hdist - 1] == 0) {
        --hdist;
    }
    std::vector<std::uint8_t> all(literalLengths.begin(), literalLengths.begin() + static_cast<long>(hlit));
    all.insert(all.end(), distanceLengths.begin(), distanceLengths.begin() + static_cast<long>(hdist));
    const auto runs = RunLengths(all);
    std::vector<std::uint32_t> runCount(19, 0);
    for (const auto& r : runs) {
        ++runCount[r.first];
    }
    // A code of one symbol is incomplete, which decoders refuse for this alphabet.
    if (std::count_if(runCount.begin(), runCount.end(), [](std::uint32_t c) { return c > 0; }) < 2) {
        ++runCount[runCount[0] > 0 ? 1 : 0];
    }
    const std::vector<std::uint8_t> runLengths = CodeLengths(runCount, 7);
    size_t hclen = 19;
    while (hclen > 4 && runLengths[kLengthOrder[hclen - 1]] == 0) {
        --hclen;
    }

    // The bits each choice costs: the dynamic header and codes against the fixed codes.
    const std::vector<std::uint8_t> fixedLiteral = FixedLiteralLengths();
    std::uint64_t dynamicBits = 14 + 3 * hclen;
    for (const auto& r : runs) {
        dynamicBits += runLengths[r.first] + (r.first == 16 ? 2 : r.first == 17 ? 3 : r.first == 18 ? 7 : 0);
    }
    std::uint64_t fixedBits = 0;
    for (const Token& t : m_tokens) {
        std::uint64_t extra = 0;
        if (t.symbol > 256) {
            extra = kLengthExtra[t.symbol - 257] + kDistanceExtra[t.distance];
            dynamicBits += distanceLengths[t.distance];
            fixedBits += 5;
        }
        dynamicBits += literalLengths[t.symbol] + extra;
        fixedBits += fixedLiteral[t.symbol] + extra;
    }
    const bool dynamic = dynamicBits < fixedBits;
    if (!dynamic) {
        literalLengths = fixedLiteral;
        distanceLengths.assign(30, 5);
    }
    const std::vector<std::uint16_t> literalCodes = Codes(literalLengths);
    const std::vector<std::uint16_t> distanceCodes = Codes(distanceLengths);

    std::vector<std::uint8_t> out;
    out.reserve(std::min(dynamicBits, fixedBits) / 8 + 32);
    out.push_back(0x78); // zlib header: deflate, 32 KiB window, no dictionary
    out.push_back(0x01);
    BitWriter bits(out);
    bits.Bits(1, 1);               // the last block
    bits.Bits(dynamic ? 2 : 1, 2); // dynamic or fixed Huffman codes
    if (dynamic) {
        bits.Bits(static_cast<std::uint32_t>(hlit - 257), 5);
        bits.Bits(static_cast<std::uint32_t>(hdist - 1), 5);
        bits.Bits(static_cast<std::uint32_t>(hclen - 4), 4);
        for (size_t i = 0; i < hclen; ++i) {
            bits.Bits(runLengths[kLengthOrder[i]], 3);
        }
        const std::vector<std::uint16_t> runCodes = Codes(runLengths);
        for (const auto& r : runs) {
            bits.Bits(runCodes[r.first], runLengths[r.first]);
            if (r.first >= 16) {
                bits.Bits(r.second, r.first == 16 ? 2 : r.first == 17 ? 3 : 7);
            }
        }
    }
    for (const Token& t : m_tokens) {
        bits.Bits(literalCodes[t.symbol], literalLengths[t.symbol]);
        if (t.symbol > 256) {
            bits.Bits(t.lengthBits, kLengthExtra[t.symbol - 257]);
            bits.Bits(distanceCodes[t.distance], distanceLengths[t.distance]);
            bits.Bits(t.distanceBits, kDistanceExtra[t.distance]);
        }
    }
    bits.Flush();
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(m_adler >> shift));
    }
    return out;
}

} // namespace compact_png
