// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
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

    // Appends one row of `length` bytes (filter byte first); `above` is the previous row of the
    // same length, or null for the first row.
    void Row(const std::uint8_t* row, const std::uint8_t* above, size_t length);
    // Appends `count` more copies of the last row.
    void RepeatRow(size_t length, size_t count);
    // The whole stream: header, one block, Adler-32.
    std::vector<std::uint8_t> Finish();

private:
    struct Token
    {
        std::uint16_t symbol;     // literal byte, or 257.. for a copy
        std::uint16_t lengthBits; // extra bits of the length
        std::uint16_t distance;   // distance code of a copy
        std::uint16_t distanceBits;
    };

    void Copy(size_t distance, size_t length);

    std::vector<Token> m_tokens;
    std::uint32_t m_adler = 1;
    std::uint32_t m_lastRowAdler = 1; // Adler-32 of the last row on its own
};

} // namespace compact_png
