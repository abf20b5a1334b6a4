// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace linear {

// NW-7 (Codabar) element widths in modules, bar first, narrow 1, wide 3, two-module gaps
// between characters; no check character. A text framed by two of A, B, C, D (in any case)
// keeps its start/stop characters, any other text is framed by "C". Throws std::runtime_error
// for an empty text, a start/stop character at one end only or alone, a start/stop character
// inside the data, or a character outside the set.
std::vector<int> EncodeNW7(const std::string& text);

// The printed text: the caller's text, without its start/stop characters when they are not
// to be shown and the text has them at both ends.
std::string NW7DisplayText(const std::string& text, bool showStartStop);

} // namespace linear
