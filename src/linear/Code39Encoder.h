// SPDX-License-Identifier: MIT
#pragma once

#include "core/Ascii.h"

#include <string>
#include <utility>
#include <vector>

namespace linear {

// Code 39 element widths in modules (bar first, narrow 1, wide 3) from the first bar of the
// start character to the last bar of the stop character; no check character. Lower-case
// letters read as upper case. Throws std::runtime_error for an empty text, a "*" or a
// character outside the Code 39 set. n characters give 10n + 19 elements, 16(n + 2) - 1 modules.
std::vector<int> EncodeCode39(const std::string& text);

// The text as the bars of Code 39 and Code 93 carry it: a-z upper-cased, other bytes kept.
inline std::string UpperAscii(std::string text)
{
    return ascii::Upper(std::move(text));
}

} // namespace linear
