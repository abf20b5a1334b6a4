// SPDX-License-Identifier: MIT
#include "linear/TwoOfFiveEncoder.h"

#include <stdexcept>

namespace linear {

const TwoOfFiveVariant kMatrix2of5{"Matrix2of5", "Matrix 2 of 5 barcode requires numeric digits only", "[Matrix2of5] "};
const TwoOfFiveVariant kNEC2of5{"NEC2of5", "NEC 2 of 5 barcode requires numeric digits only", "[NEC2of5] "};

namespace {

// Two of five bits set, bit 4 = first element; the bits weigh 7, 4, 2, 1, 0 (digit 0 is 7 + 4).
constexpr unsigned char kDigitBits[] = {
    0b11000, 0b00011, 0b00101, 0b00110, 0b01001, 0b01010, 0b01100, 0b10001, 0b10010, 0b10100,
};

} // namespace

std::vector<int> EncodeTwoOfFive(const std::string& text, const TwoOfFiveVariant& variant)
{
    if (text.empty()) {
        throw std::runtime_error("Empty string");
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            throw std::runtime_error(variant.digitMessage);
        }
    }
    std::vector<int> widths = {3, 1, 3, 1};
    widths.reserve(6 * text.size() + 6);
    for (size_t i = 0; i < text.size(); ++i) {
        if (i > 0) {
            widths.push_back(1); // gap between digits
        }
        const unsigned bits = kDigitBits[text[i] - '0'];
        for (int e = 0; e < 5; ++e) {
            widths.push_back((bits >> (4 - e)) & 1U ? 3 : 1);
        }
    }
    widths.insert(widths.end(), {1, 3, 3});
    return widths;
}

} // namespace linear
