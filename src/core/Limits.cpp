// SPDX-License-Identifier: MIT
#include "core/Limits.h"

namespace limits {

std::string CanvasProblem(std::int64_t width, std::int64_t height)
{
    if (CanvasFits(width, height)) {
        return {};
    }
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (width < 1 || height < 1) {
        return "Invalid canvas size " + size;
    }
    return "Canvas of " + size + " pixels exceeds the limit of " + std::to_string(kMaxCanvasSide)
           + " pixels per side and " + std::to_string(kMaxCanvasPixels) + " pixels in all";
}

} // namespace limits
