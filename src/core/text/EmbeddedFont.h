// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

// Roboto Regular compiled into the library: the last fallback of the font search.
namespace embedded_font {

// The TrueType bytes; null when the library was built without them.
const unsigned char* Data();
std::size_t Size();

} // namespace embedded_font
