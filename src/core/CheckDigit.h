// SPDX-License-Identifier: MIT
// Check digits shared by several families (EAN/UPC, DataBar, GS1-128).
#pragma once

#include <string>

namespace check_digit {

// The GS1 modulo-10 check digit (0-9) of a string of digits: weights 3 and 1 alternating from
// the rightmost digit, which weighs 3. Callers check that the text is digits first.
int Mod10Weight3(const std::string& digits);

// The same as a character '0' to '9'.
char Mod10Weight3Char(const std::string& digits);

} // namespace check_digit
