// SPDX-License-Identifier: MIT
#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// PNG files of few colours: a 32-bit RGBA surface written as a grey image (when every pixel is
// an opaque grey) or as a palette image, at the smallest bit depth that holds its values, so
// that a decoder gives back exactly the surface's RGBA pixels.
namespace compact_png {

enum class Outcome
{
    Written,
    TooManyColours, // more than 256 colours: only the RGBA encoding holds them
    Failed          // SDL_GetError() says why
};

struct Result
{
    Outcome outcome = Outcome::Failed;
    std::vector<std::uint8_t> png;
    int colours = 0;   // distinct RGBA values (when written)
    bool grey = false; // written as a grey image
    int bitDepth = 0;
};

// `surface` must be 32 bits per pixel in SDL_PIXELFORMAT_ABGR8888 (bytes R, G, B, A).
Result Encode(SDL_Surface* surface);
// The image of `height` rows of `width` ABGR8888 pixels; rows[y] points at row y. Rows given by
// the same pointer hold the same pixels, so a painter that knows which rows are copies of
// others passes one pointer for all of them and spares the comparison.
Result Encode(int width, int height, const std::uint32_t* const* rows);

// The CRC-32 that closes a chunk (as zlib's crc32 from 0) of `size` bytes.
std::uint32_t Crc32(const std::uint8_t* data, size_t size);

} // namespace compact_png
