// SPDX-License-Identifier: MIT
#pragma once

#include <SDL.h>

#include <vector>

namespace raster {

// The columns [begin, end) of one row of a piece that hold any ink (alpha above 0); a row
// without ink has begin == end. A blend leaves the canvas unchanged outside them.
struct InkSpan
{
    int begin;
    int end;
};

// Per row of `source`, its ink: the whole row when the surface has no alpha channel.
std::vector<InkSpan> InkSpans(SDL_Surface* source);

} // namespace raster
