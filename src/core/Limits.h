// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The resource limits of a draw. Each is far above what a printed label needs; a request past
// one fails with a message instead of taking the process's memory or time.
namespace limits {

// A canvas (raster surface or SVG document) is at most this many pixels on a side...
constexpr int kMaxCanvasSide = 16384;
// ...and this many pixels in all (an A4 page at 600 dpi is about 35 million).
constexpr std::int64_t kMaxCanvasPixels = 40000000;

// Longest text a drawing function accepts, in bytes: linear codes (their tests draw 100,000
// characters of Code 128) and the codes whose capacity is a few thousand characters at most
// (GS1 DataBar, QR Code, Data Matrix, PDF417), where the limit stays above every capacity.
constexpr std::size_t kMaxLinearTextBytes = 100000;
constexpr std::size_t kMaxCompactTextBytes = 10000;

// Empty when a width x height canvas is within the limits; otherwise why not, as
// "Invalid canvas size WxH" (a side below 1) or "Canvas of WxH pixels exceeds ...".
std::string CanvasProblem(std::int64_t width, std::int64_t height);

inline bool CanvasFits(std::int64_t width, std::int64_t height)
{
    return width >= 1 && height >= 1 && width <= kMaxCanvasSide && height <= kMaxCanvasSide
           && width * height <= kMaxCanvasPixels;
}

} // namespace limits
