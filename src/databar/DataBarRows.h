// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace databar {

// A DataBar symbol laid out in rows, ready to paint: what the encoders hand to the drawing.
struct RowSymbol
{
    // Run lengths per row in modules, alternately dark and light, beginning with a dark run
    // that is 0 when the row begins light.
    std::vector<std::vector<int>> rows;
    // Height value per row. A single row takes the bar height of the linear frame. In a
    // stack, -1 marks a row sharing the free height and other values are module counts; a
    // stack without -1 rows divides the height in proportion to the values.
    std::vector<int> heights;
    std::string text; // printed under the symbol
    // A single row prints its text across the width the bars took, unless this is set (the
    // width of the modules is used then, as in every stack).
    bool textSpansModules = false;
};

// The module count of a row (the sum of its runs).
long long RowModules(const std::vector<int>& runs);

} // namespace databar
