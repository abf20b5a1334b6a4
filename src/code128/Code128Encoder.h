// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

// Code 128 encoding (ISO/IEC 15417) without FNC characters: one fixed code set for the whole
// text, or the code sets chosen for the fewest codewords.
namespace code128 {

// Code set selection of a Code128 symbol; the values are those stored by barcode_set_code_mode.
enum class CodeSet128 : int
{
    A = 0,
    B = 1,
    C = 2,
    Auto = 3
};

// The codewords of `text` in one code set, start to stop with the check value. Set A takes
// bytes 0..95, set B bytes 32..126, set C pairs of decimal digits. Throws std::runtime_error
// "Invalid char for CODE_A", "Invalid char for CODE_B" or "Not 2-digit at pos=<n>".
std::vector<int> SingleSetCodewords(const std::string& text, CodeSet128 set);

// The codewords of `text` with the start set and code set switches that give the fewest
// codewords, start to stop with the check value. On equal counts set A beats B beats C as
// start, staying beats switching, and an earlier switch target beats a later one. Throws
// std::runtime_error "No valid start" when a byte of 127 or more makes the text unencodable.
// Runs in time and memory linear in the text length and keeps no state between calls.
std::vector<int> AutoCodewords(const std::string& text);

// The element widths in modules (bar first) of the codeword lists above.
std::vector<int> EncodeSingleSet(const std::string& text, CodeSet128 set);
std::vector<int> EncodeAuto(const std::string& text);

} // namespace code128
