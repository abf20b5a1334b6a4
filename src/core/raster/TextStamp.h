// SPDX-License-Identifier: MIT
#pragma once

#include <SDL.h>

#include <cstdint>

// Text blended onto a canvas exactly as SDL's blit blends it (SDL_RenderCopy of a texture of a
// rendered piece on a software renderer), without going through a texture: the blend of one
// pixel, the blend of a piece over a region of one value, and the check that the blend here
// agrees with SDL's on this machine. The canvas's own text blends use them (raster::Canvas).
namespace raster {

// A text pixel (ARGB8888, straight alpha) blended over a canvas pixel (ABGR8888) as SDL's blit
// of that format pair blends it: each colour channel moves by (s - d) a / 256, rounded down,
// and the alpha becomes a + (255 - a) da / 256; a transparent source leaves the canvas as it
// is and an opaque one replaces it.
std::uint32_t BlendTextPixel(std::uint32_t source, std::uint32_t canvas);
// `source` blended over a surface of its size holding `under`: the pixels BlitOwnPixels makes
// of it on such a canvas. Null (with the reason in SDL_GetError) when SDL fails.
SDL_Surface* BlendOver(SDL_Surface* source, std::uint32_t under);

} // namespace raster

namespace text_blend {
// Whether the canvas's own text blend gives exactly what SDL's blit gives on this machine (SDL's
// blitters differ by processor and library version); checked once. When it does not, text is
// blitted by SDL, pixel for pixel the same but slower.
bool MatchesSdl();
} // namespace text_blend
