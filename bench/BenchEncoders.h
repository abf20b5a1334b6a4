// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace bench {

// Runs the pure encoder of a type number on `text` (what a draw does before painting: element
// widths of a linear symbol, the module matrix of a 2D one). Null when the bench has no hook
// for the type.
using EncodeFn = void (*)(const std::string& text);
EncodeFn EncoderFor(int type);

} // namespace bench
