// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

// Data Matrix ECC 200 encodation (ISO/IEC 16022, 5.2): bytes to data codewords in the six
// schemes, one fixed or the shortest mix found by running all six side by side. Pure functions,
// no drawing; padding and error correction follow in DxEncode.
namespace internal {

// -1 picks the shortest mix; 6 is ASCII behind a leading FNC1 (GS1 data), an input form only.
enum class DxScheme : int
{
    AutoBest = -1,
    Ascii = 0,
    C40 = 1,
    Text = 2,
    X12 = 3,
    Edifact = 4,
    Base256 = 5,
    AsciiGs1 = 6
};

// The data codewords of `input` in one scheme (Ascii to Base256), latch included, ended by the
// end-of-symbol rules for the size option of DxTables.h, without padding. With `gs1`, the byte
// 232 is written as the FNC1 codeword in ASCII. Empty when the input is empty, when the scheme
// cannot carry a byte of it, or when the codewords would not fit the largest symbol.
std::vector<std::uint8_t> EncodeSingleScheme(const std::vector<std::uint8_t>& input, DxScheme scheme, int sizeOption,
                                             bool gs1 = false);

// The shortest encoding of `input` that the six schemes reach when each input byte may extend
// any of the six candidate encodings in any scheme; ties go to the lower scheme number. Empty
// when nothing fits the largest symbol.
std::vector<std::uint8_t> EncodeAutoBest(const std::vector<std::uint8_t>& input, int sizeOption);

} // namespace internal
