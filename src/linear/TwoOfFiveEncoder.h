// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace linear {

// What tells Matrix 2 of 5 and NEC 2 of 5 apart: their names in messages only.
struct TwoOfFiveVariant
{
    const char* name;         // class name
    const char* digitMessage; // message for a non-digit
    const char* tag;          // prefix of the lines printed for a failed draw
};

extern const TwoOfFiveVariant kMatrix2of5;
extern const TwoOfFiveVariant kNEC2of5;

// Element widths in modules (narrow 1, wide 3), bar first: start 3 1 3 1, per digit bar, space,
// bar, space, bar (two of them wide) with a narrow space between digits, stop 1 3 3 (the last
// wide space counts in the width and paints nothing). No check digit. Throws
// std::runtime_error("Empty string") or the variant's digit message. n digits give 6n + 6
// elements.
std::vector<int> EncodeTwoOfFive(const std::string& text, const TwoOfFiveVariant& variant);

} // namespace linear
