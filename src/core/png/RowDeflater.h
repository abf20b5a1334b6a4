// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace compact_png {

// A zlib stream (RFC 1950/1951) of image rows, made for images of few colours: a row equal to
// the one above is one long copy of it, and inside other rows runs of a byte and stretches
// equal to the row above become copies. The work grows with the rows that differ, not with the
// pixels. The matches are then written in one block with the Huffman codes that suit them
// (or the fixed codes when those are shorter).
class RowDeflater
{
public:
    // Rows must be at most 32,768 bytes (the copy of the row above lies inside the window).
    static constexpr size_t kMaxRow = 32768;

    // Appends `count` rows of `length` bytes (filter byte first), each followed by repeats[i]
    // more copies of it; rows[i] is the row above rows[i + 1], and rows[0] has none above it.
    // For one image: call once.
    void Rows(const std::uint8_t* const* rows, const size_t* repeats, size_t count, size_t length);
    // The whole stream: header, one block, Adler-32.
    std::vector<std::uint8_t> Finish();

private:
    // A copy (or the end of the block), after `literals` more bytes written as themselves.
    // The token packs the symbol (9 bits: 256, or 257.. for a copy), then for a copy its
    // distance code (5), the extra bits of its length (5) and of its distance (13).
    struct Item
    {
        std::uint32_t literals;
        std::uint32_t token;
    };

    // Adds to the Adler-32 of the stream a row of `length` bytes whose sum is `sum` and whose
    // sum weighted by the distance from the row's end is `weighted`, and `repeats` copies of it.
    void Checksum(std::uint64_t sum, std::uint64_t weighted, size_t length, size_t repeats);
    // Room for `literals` more literal bytes and `items` more items.
    void Reserve(size_t literals, size_t items);
    void Literal(std::uint8_t byte);
    void Add(std::uint32_t token); // an item after the pending literals
    // `length` bytes copied from a distance given as a token's distance fields.
    void Copy(std::uint32_t distanceFields, size_t length);

    std::unique_ptr<std::uint8_t[]> m_literals; // the literal bytes in stream order
    size_t m_literalCount = 0;
    size_t m_literalCapacity = 0;
    size_t m_pending = 0; // literals since the last item
    std::unique_ptr<Item[]> m_items;
    size_t m_itemCount = 0;
    size_t m_itemCapacity = 0;
    std::vector<std::uint64_t> m_bits; // Rows: where bytes equal those above and before
    std::array<std::uint32_t, 286> m_symbolCount{};
    std::array<std::uint32_t, 30> m_distanceCount{};
    // Adler-32 of the stream so far.
    std::uint32_t m_adlerA = 1;
    std::uint32_t m_adlerB = 0;
};

} // namespace compact_png
