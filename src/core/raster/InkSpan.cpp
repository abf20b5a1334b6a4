// SPDX-License-Identifier: MIT
#include "core/raster/InkSpan.h"

#include <algorithm>
#include <cstdint>

namespace raster {

std::vector<InkSpan> InkSpans(SDL_Surface* source)
{
    std::vector<InkSpan> spans(static_cast<size_t>(std::max(source->h, 0)), InkSpan{0, source->w});
    const SDL_PixelFormat* f = source->format;
    if (f == nullptr || f->BytesPerPixel != 4 || f->Amask == 0 || SDL_MUSTLOCK(source)) {
        return spans;
    }
    for (int y = 0; y < source->h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(source->pixels)
                                                                 + static_cast<size_t>(y) * source->pitch);
        int begin = 0;
        while (begin < source->w && (row[begin] & f->Amask) == 0) {
            ++begin;
        }
        int end = source->w;
        while (end > begin && (row[end - 1] & f->Amask) == 0) {
            --end;
        }
        spans[static_cast<size_t>(y)] = InkSpan{begin, end};
    }
    return spans;
}

} // namespace raster
