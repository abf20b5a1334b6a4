// SPDX-License-Identifier: MIT
// The png8 encoder's own pieces: the chunk CRC against zlib's, and images of colour runs of
// every length read back, with rows that differ from the one above in a pixel or two (indexed
// from the row above rather than run by run).
#include "core/png/CompactPng.h"

#include "support/TestSupport.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>
#include <zlib.h>

namespace {

TEST(CompactPng, Crc32IsZlibs)
{
    std::mt19937 random(11);
    std::vector<std::uint8_t> bytes(5003);
    for (std::uint8_t& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    const std::vector<std::uint8_t> ones(200, 0xFF);
    for (size_t size : {0, 1, 15, 16, 17, 63, 64, 65, 79, 80, 127, 128, 129, 192, 1000, 5000}) {
        for (size_t offset : {0, 3}) {
            SCOPED_TRACE(testing::Message() << size << " bytes from " << offset);
            EXPECT_EQ(compact_png::Crc32(bytes.data() + offset, size), crc32(0, bytes.data() + offset, size));
        }
        if (size + 1 <= ones.size()) {
            EXPECT_EQ(compact_png::Crc32(ones.data() + 1, size), crc32(0, ones.data() + 1, size)) << size;
        }
    }
}

TEST(CompactPng, RunsOfColoursReadBack)
{
    struct Case
    {
        const char* name;
        int width;
        int run; // the shortest run; runs of run, run + 1 and 2 run + 3 pixels in turn
        int colours;
    };

    const Case cases[] = {
        {"single pixels (antialiased edges)", 37, 1, 200},
        {"too narrow for a step of four", 3, 1, 4},
        {"pairs", 13, 2, 50},
        {"threes", 41, 3, 9},
        {"modules of four", 228, 4, 2},
        {"runs of five", 203, 5, 30},
        {"runs of nine", 64, 9, 120},
        {"long runs", 333, 47, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        constexpr int kHeight = 11;
        std::vector<std::uint8_t> bytes(4 * static_cast<size_t>(c.width) * kHeight);
        for (int y = 0; y < kHeight; ++y) {
            const int shift = y == 4 ? 3 : y; // row 4 repeats row 3 without sharing its pointer
            int colour = 7 * shift;
            for (int x = 0, left = 0, turn = 0; x < c.width; ++x, --left) {
                if (left == 0) {
                    left = turn % 3 == 0 ? c.run : turn % 3 == 1 ? c.run + 1 : 2 * c.run + 3;
                    ++turn;
                    colour = (colour + 1) % c.colours;
                }
                std::uint8_t* p = bytes.data() + 4 * (static_cast<size_t>(y) * c.width + x);
                p[0] = static_cast<std::uint8_t>(colour * 37);
                p[1] = static_cast<std::uint8_t>(255 - colour);
                p[2] = static_cast<std::uint8_t>(colour * 5);
                p[3] = static_cast<std::uint8_t>(colour % 3 == 0 ? 100 + colour % 100 : 255);
            }
        }
        std::vector<std::uint32_t> pixels(bytes.size() / 4);
        std::memcpy(pixels.data(), bytes.data(), bytes.size());
        std::vector<const std::uint32_t*> rows;
        for (int y = 0; y < kHeight; ++y) {
            rows.push_back(pixels.data() + static_cast<size_t>(y) * c.width);
        }
        rows[6] = rows[5]; // a known copy
        const size_t rowBytes = 4 * static_cast<size_t>(c.width);
        std::memcpy(bytes.data() + 6 * rowBytes, rows[5], rowBytes);
        // Rows 7 to 10 repeat the row above but for a pixel or two, one in a colour not seen yet.
        for (int y = 7; y < kHeight; ++y) {
            std::uint8_t* row = bytes.data() + static_cast<size_t>(y) * rowBytes;
            std::memcpy(row, row - rowBytes, rowBytes);
            const std::uint8_t fresh[4] = {1, 2, 3, static_cast<std::uint8_t>(y)};
            std::memcpy(row + 4 * static_cast<size_t>((y * 7) % c.width), y == 8 ? fresh : row + 4 * (c.width - 1), 4);
            std::memcpy(row + 4 * static_cast<size_t>(c.width - 1), row, 4);
        }
        std::memcpy(pixels.data() + 7 * static_cast<size_t>(c.width), bytes.data() + 7 * rowBytes, 4 * rowBytes);
        const compact_png::Result r = compact_png::Encode(c.width, kHeight, rows.data());
        ASSERT_EQ(r.outcome, compact_png::Outcome::Written);
        const testsupport::RgbaImage decoded = testsupport::DecodePng(r.png);
        ASSERT_EQ(decoded.width, c.width);
        ASSERT_EQ(decoded.height, kHeight);
        EXPECT_TRUE(decoded.pixels == bytes);
    }
}

} // namespace

namespace {

// 256 colours in four rows, then a row that repeats the last but for `changed` pixels, which
// take colour `colour` (a number; 0 .. 255 are those seen): a 257th colour, whether it comes in
// a pixel or two (indexed from the row above) or in a whole row (along the row), needs RGBA.
TEST(CompactPng, TheColourPastTheLastIndexFallsBack)
{
    struct Case
    {
        const char* name;
        int changed;
        std::uint32_t colour;
        compact_png::Outcome outcome;
    };

    const Case cases[] = {
        {"one pixel, a colour seen", 1, 17, compact_png::Outcome::Written},
        {"one pixel, a new colour", 1, 256, compact_png::Outcome::TooManyColours},
        {"the whole row, a new colour", 64, 300, compact_png::Outcome::TooManyColours},
        {"the whole row, colours seen", 64, 3, compact_png::Outcome::Written},
    };
    constexpr int kWidth = 64;
    constexpr int kHeight = 5;
    const auto pixel = [](std::uint32_t n) { return 0xFF000000u | (n * 0x9E3779u & 0xFFFFFFu); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint32_t> pixels(kWidth * kHeight);
        for (int i = 0; i < 4 * kWidth; ++i) {
            pixels[static_cast<size_t>(i)] = pixel(static_cast<std::uint32_t>(i));
        }
        for (int x = 0; x < kWidth; ++x) {
            const bool change = x >= 10 && x < 10 + c.changed;
            pixels[4 * kWidth + static_cast<size_t>(x)] =
                change ? pixel(c.colour + static_cast<std::uint32_t>(c.colour > 255 ? x : 0))
                       : pixels[3 * kWidth + static_cast<size_t>(x)];
        }
        std::vector<const std::uint32_t*> rows;
        for (int y = 0; y < kHeight; ++y) {
            rows.push_back(pixels.data() + static_cast<size_t>(y) * kWidth);
        }
        const compact_png::Result r = compact_png::Encode(kWidth, kHeight, rows.data());
        EXPECT_EQ(r.outcome, c.outcome);
        if (r.outcome == compact_png::Outcome::Written) {
            const testsupport::RgbaImage decoded = testsupport::DecodePng(r.png);
            std::vector<std::uint8_t> bytes(pixels.size() * 4);
            std::memcpy(bytes.data(), pixels.data(), bytes.size());
            EXPECT_TRUE(decoded.pixels == bytes);
        }
    }
}

} // namespace
