// SPDX-License-Identifier: MIT
#include "linear/ITFEncoder.h"

#include <stdexcept>

namespace linear {
namespace {

// Five elements per digit, first element first, '1' = wide (ISO/IEC 16390 table).
constexpr const char* kDigitPatterns[] = {
    "00110", "10001", "01001", "11000", "00101", "10100", "01100", "00011", "10010", "01010",
};

int Width(char flag)
{
    return flag == '1' ? 3 : 1;
}

} // namespace

std::vector<int> EncodeITF(const std::string& text)
{
    if (text.empty()) {
        throw std::runtime_error("Empty string");
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            throw std::runtime_error("ITF barcode requires numeric digits only");
        }
    }
    const std::string digits = text.size() % 2 != 0 ? "0" + text : text;

    std::vector<int> widths = {1, 1, 1, 1};
    widths.reserve(5 * digits.size() + 7);
    for (size_t i = 0; i < digits.size(); i += 2) {
        const char* bars = kDigitPatterns[digits[i] - '0'];
        const char* spaces = kDigitPatterns[digits[i + 1] - '0'];
        for (int k = 0; k < 5; ++k) {
            widths.push_back(Width(bars[k]));
            widths.push_back(Width(spaces[k]));
        }
    }
    widths.insert(widths.end(), {3, 1, 1});
    return widths;
}

} // namespace linear
