// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace linear {

// Modulo-47 check value of Code 93 data (ANSI/AIM BC5): the rightmost character weighs 1 and
// the weights rise to the left, wrapping back to 1 after `maxWeight` (20 for C, 15 for K).
// Throws std::runtime_error("Invalid character in CODE93: <c>") for a character outside the set.
int GetModulus47(const std::string& data, int maxWeight);

// Code 93 element widths in modules, bar first: start, data, check characters C and K, stop and
// the termination bar. Lower-case letters read as upper case; "<", ">", "?" and "!" stand for
// the shift characters ($), (%), (/) and (+). Throws std::runtime_error for an empty text or a
// character outside the set. n characters give 6(n + 3) + 7 elements, 9(n + 4) + 1 modules.
std::vector<int> EncodeCode93(const std::string& text);

} // namespace linear
