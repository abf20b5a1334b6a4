// SPDX-License-Identifier: MIT
// The row deflater's zlib streams, inflated by zlib itself (which also checks the Adler-32).
#include "core/png/RowDeflater.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <vector>
#include <zlib.h>

namespace {

struct Rows
{
    std::vector<std::vector<std::uint8_t>> rows;
    std::vector<size_t> repeats;
};

// `count` rows of `length` bytes over `alphabet` values: bytes taken from the row above, runs
// and noise, each row followed by `repeat(i)` copies.
template <typename Repeat>
Rows MakeRows(size_t length, size_t count, int alphabet, Repeat repeat, unsigned seed)
{
    std::mt19937 random(seed);
    Rows out;
    for (size_t r = 0; r < count; ++r) {
        std::vector<std::uint8_t> row(length);
        row[0] = 0;
        for (size_t x = 1; x < length; ++x) {
            const unsigned pick = random() % 4;
            if (pick == 0 && r > 0) {
                row[x] = out.rows.back()[x];
            } else if (pick == 1) {
                row[x] = row[x - 1];
            } else {
                row[x] = static_cast<std::uint8_t>(random() % static_cast<unsigned>(alphabet));
            }
        }
        out.rows.push_back(row);
        out.repeats.push_back(repeat(r));
    }
    return out;
}

// Deflates the rows and inflates the stream; fails when zlib refuses it or gets other bytes.
void ExpectRoundTrip(const Rows& in)
{
    std::vector<const std::uint8_t*> pointers;
    std::vector<std::uint8_t> expected;
    for (size_t r = 0; r < in.rows.size(); ++r) {
        pointers.push_back(in.rows[r].data());
        for (size_t k = 0; k <= in.repeats[r]; ++k) {
            expected.insert(expected.end(), in.rows[r].begin(), in.rows[r].end());
        }
    }
    compact_png::RowDeflater deflater;
    deflater.Rows(pointers.data(), in.repeats.data(), pointers.size(), in.rows[0].size());
    const std::vector<std::uint8_t> stream = deflater.Finish();
    std::vector<std::uint8_t> inflated(expected.size() + 1);
    uLongf size = inflated.size();
    ASSERT_EQ(uncompress(inflated.data(), &size, stream.data(), static_cast<uLong>(stream.size())), Z_OK);
    inflated.resize(size);
    EXPECT_TRUE(inflated == expected);
}

TEST(RowDeflater, StreamsInflateToTheRows)
{
    struct Case
    {
        const char* name;
        size_t length;
        size_t count;
        int alphabet;
        size_t repeats;
    };

    const Case cases[] = {
        {"one byte rows", 1, 9, 3, 1},
        {"two byte rows repeated once (too short for a copy)", 2, 7, 2, 1},
        {"few values", 57, 40, 2, 3},
        {"a byte per pixel", 401, 25, 220, 2},
        {"wide rows", 5000, 6, 30, 0},
        {"widest rows", 32768, 2, 200, 1},
        {"many repeats (checksum arithmetic)", 300, 3, 9, 200000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectRoundTrip(MakeRows(
            c.length, c.count, c.alphabet, [&c](size_t r) { return r % 2 == 0 ? c.repeats : 0; }, 7));
    }
}

TEST(RowDeflater, SkewedCountsKeepCodesWithinFifteenBits)
{
    // Literal counts in a Fibonacci series make a Huffman tree 25 levels deep.
    Rows in;
    std::vector<std::uint8_t> row{0};
    std::uint32_t a = 1;
    std::uint32_t b = 1;
    for (int symbol = 0; symbol < 25; ++symbol) {
        for (std::uint32_t k = 0; k < a; ++k) {
            row.push_back(static_cast<std::uint8_t>(symbol * 10)); // alternating: no copies
            row.push_back(static_cast<std::uint8_t>(symbol * 10 + 1));
        }
        const std::uint32_t next = a + b;
        a = b;
        b = next;
    }
    // Rows of an odd length: the alternation is out of step with the row above, so that the
    // literals stay literals.
    constexpr size_t kLength = 29999;
    for (size_t start = 0; start < row.size(); start += kLength) {
        std::vector<std::uint8_t> piece(row.begin() + static_cast<std::ptrdiff_t>(start),
                                        row.begin()
                                            + static_cast<std::ptrdiff_t>(std::min(row.size(), start + kLength)));
        piece.resize(kLength, 7);
        in.rows.push_back(piece);
        in.repeats.push_back(0);
    }
    ExpectRoundTrip(in);
}

} // namespace
