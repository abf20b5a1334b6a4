// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A grid of modules of a 2D symbol (true = dark), column x from the left, row y from the top,
// and the pixel edges at which a 2D symbol paints it.
struct ModuleMatrix
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> cells; // row-major, 1 = dark

    ModuleMatrix() = default;

    ModuleMatrix(int w, int h) : width(w), height(h), cells(static_cast<size_t>(w) * static_cast<size_t>(h), 0) {}

    bool empty() const { return width <= 0 || height <= 0; }

    bool get(int x, int y) const { return cells[static_cast<size_t>(y) * width + x] != 0; }

    void set(int x, int y, bool dark) { cells[static_cast<size_t>(y) * width + x] = dark ? 1 : 0; }

    bool operator==(const ModuleMatrix& o) const { return width == o.width && height == o.height && cells == o.cells; }

    // One line per row of `dark` and `light` characters, each line ending in '\n'.
    std::string ToString(char dark = '1', char light = '0') const
    {
        std::string out;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                out += get(x, y) ? dark : light;
            }
            out += '\n';
        }
        return out;
    }
};

// Where module boundaries fall: xEdges has width + 1 entries, yEdges height + 1; module (x, y)
// spans [xEdges[x], xEdges[x+1]) x [yEdges[y], yEdges[y+1]). The rectangle painted for a dark
// module is widened and heightened by `extraWidth` and `extraHeight`.
struct ModuleLayout
{
    std::vector<float> xEdges;
    std::vector<float> yEdges;
    float extraWidth = 0.0f;
    float extraHeight = 0.0f;
};
