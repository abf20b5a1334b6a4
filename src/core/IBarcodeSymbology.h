// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The interface every symbology object implements; the C interface holds one per handle.
class IBarcodeSymbology
{
public:
    virtual void SetForegroundColor(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) = 0;
    virtual void SetBackgroundColor(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) = 0;
    // Draws `text` into the box (x, y, width, height). Returns false when nothing was drawn.
    virtual bool Draw(const std::string& text, int x, int y, int width, int height) = 0;
    // The last raster drawing as PNG bytes; empty when there is none.
    virtual std::vector<std::uint8_t> GetImageMemory() = 0;
    // The last raster drawing as a data URI; consumes the drawing.
    virtual std::string GetImageBase64() = 0;
    virtual ~IBarcodeSymbology() = default;
};
