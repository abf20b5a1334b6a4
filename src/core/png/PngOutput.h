// SPDX-License-Identifier: MIT
#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The image bytes a raster draw hands out: the surface as a PNG file (SDL_image's RGBA
// encoding, or the compact palette/grey one), as a data URI in base64, and the 1x1 image
// returned when there is nothing to encode. Failures print their reason and give empty bytes.
namespace png_output {

// The surface as a PNG file; empty on any failure (the reason is printed).
std::vector<std::uint8_t> SaveSurface(SDL_Surface* surface);
// The surface as the smallest kind of PNG that holds its pixels exactly: grey, or a palette
// of up to 256 colours, at the least bit depth; SaveSurface's encoding beyond 256 colours.
// Empty on failure (the reason is printed).
std::vector<std::uint8_t> SaveCompact(SDL_Surface* surface);
// The compact file of `surface`, whose rows are `rows` when given (rows given by one pointer
// hold the same pixels); empty, with `tooManyColours` set, when only SaveSurface's encoding
// holds its colours.
std::vector<std::uint8_t> Compact(SDL_Surface* surface, const std::uint32_t* const* rows, bool* tooManyColours);

// Standard base64 (RFC 4648) with "=" padding.
std::string Base64(const std::uint8_t* data, size_t length);
// "data:<mime>;base64,<bytes>"; the image/jpeg label for "jpg" and "jpeg", image/png otherwise
// (the bytes are PNG either way).
std::string DataUri(const std::string& format, const std::vector<std::uint8_t>& png);
// The data URI of a 1x1 PNG, returned when there is no image to encode.
std::string FallbackImage();
// Prints "ERROR: PNG保存に失敗しました: " and SDL's error on standard error (nothing when not
// even that line fits in memory).
void ReportEncodingFailure();

} // namespace png_output
