// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace linear {

// Interleaved 2 of 5 element widths in modules (narrow 1, wide 3), bar first: start, digit
// pairs (first digit in the bars, second in the spaces), stop. An odd digit count gets a
// leading "0"; no check digit, no bearer bars. Throws std::runtime_error for an empty text or
// any non-digit. 2p digits give 10p + 7 elements, 18p + 9 modules.
std::vector<int> EncodeITF(const std::string& text);

} // namespace linear
