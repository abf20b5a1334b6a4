// SPDX-License-Identifier: MIT
#include "linear/Code39Encoder.h"

#include <iterator>
#include <stdexcept>

namespace linear {
namespace {

// Character set; position 39 is the start/stop character.
constexpr char kCharset[] = "1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZ-. *$/+%";
// Nine-element patterns, bit 8 = first bar, a set bit is a wide element (ISO/IEC 16388 table).
constexpr unsigned short kPatterns[] = {
    0x121, 0x061, 0x160, 0x031, 0x130, 0x070, 0x025, 0x124, 0x064, 0x034,                      // 1-9, 0
    0x109, 0x049, 0x148, 0x019, 0x118, 0x058, 0x00D, 0x10C, 0x04C, 0x01C, 0x103, 0x043, 0x142, // A-M
    0x013, 0x112, 0x052, 0x007, 0x106, 0x046, 0x016, 0x181, 0x0C1, 0x1C0, 0x091, 0x190, 0x0D0, // N-Z
    0x085, 0x184, 0x0C4, 0x094, 0x0A8, 0x0A2, 0x08A, 0x02A,                                   // - . space * $ / + %
};
static_assert(std::size(kCharset) - 1 == std::size(kPatterns), "one pattern per character");
constexpr int kStartStop = 39;

int IndexOf(char c)
{
    for (int i = 0; kCharset[i] != '\0'; ++i) {
        if (kCharset[i] == c) {
            return i;
        }
    }
    return -1;
}

void AppendCharacter(std::vector<int>& widths, int index)
{
    if (!widths.empty()) {
        widths.push_back(1); // narrow inter-character gap
    }
    for (int i = 0; i < 9; ++i) {
        widths.push_back((kPatterns[index] >> (8 - i)) & 1 ? 3 : 1);
    }
}

} // namespace

std::vector<int> EncodeCode39(const std::string& text)
{
    if (text.empty()) {
        throw std::runtime_error("Empty string");
    }
    std::vector<int> indices;
    indices.reserve(text.size());
    for (char original : text) {
        const char c = ascii::Upper(original);
        if (c == '*') {
            throw std::runtime_error("Invalid character in CODE39: '*' is reserved for start/stop code");
        }
        const int index = IndexOf(c);
        if (index < 0) {
            throw std::runtime_error(std::string("Invalid character in CODE39: ") + original);
        }
        indices.push_back(index);
    }
    std::vector<int> widths;
    widths.reserve(10 * text.size() + 19);
    AppendCharacter(widths, kStartStop);
    for (int index : indices) {
        AppendCharacter(widths, index);
    }
    AppendCharacter(widths, kStartStop);
    return widths;
}

} // namespace linear
