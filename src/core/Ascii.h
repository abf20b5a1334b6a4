// SPDX-License-Identifier: MIT
// Byte helpers shared by the symbologies that read text as ASCII.
#pragma once

#include <string>

namespace ascii {

// Upper-cases one byte without undefined behaviour for bytes of 128 and above (left as they are).
inline char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// a-z upper-cased, other bytes kept.
inline std::string Upper(std::string text)
{
    for (char& c : text) {
        c = Upper(c);
    }
    return text;
}

} // namespace ascii
