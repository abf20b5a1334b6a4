// SPDX-License-Identifier: MIT
#include "linear/NW7Encoder.h"

#include "linear/Code39Encoder.h"

#include <iterator>
#include <stdexcept>

namespace linear {
namespace {

constexpr char kCharset[] = "ABCD.+:/$-0123456789";
// Seven-element patterns, bit 6 = first bar, a set bit is a wide element (EN 798 table).
constexpr unsigned char kPatterns[] = {
    0x1A, 0x29, 0x0B, 0x0E,                                     // A-D
    0x54, 0x15, 0x45, 0x51, 0x18, 0x0C,                         // . + : / $ -
    0x03, 0x06, 0x09, 0x60, 0x12, 0x42, 0x21, 0x24, 0x30, 0x48, // 0-9
};
static_assert(std::size(kCharset) - 1 == std::size(kPatterns), "one pattern per character");

int IndexOf(char c)
{
    for (int i = 0; kCharset[i] != '\0'; ++i) {
        if (kCharset[i] == c) {
            return i;
        }
    }
    return -1;
}

bool IsStartStop(char c)
{
    return c >= 'A' && c <= 'D';
}

std::string Upper(const std::string& text)
{
    std::string upper = text;
    for (char& c : upper) {
        c = ascii::Upper(c);
    }
    return upper;
}

} // namespace

std::vector<int> EncodeNW7(const std::string& text)
{
    if (text.empty()) {
        throw std::runtime_error("Empty string");
    }
    const std::string upper = Upper(text);
    const bool startGiven = IsStartStop(upper.front());
    const bool stopGiven = IsStartStop(upper.back());
    // A lone start/stop letter would be a symbol with a start character and no stop.
    if (startGiven != stopGiven || (startGiven && upper.size() == 1)) {
        throw std::runtime_error("Invalid start/stop character combination in NW7: " + upper);
    }
    const std::string framed = startGiven ? upper : "C" + upper + "C";

    // Readers end the symbol at the first start/stop character, so none may stand inside.
    for (size_t i = 1; i + 1 < framed.size(); ++i) {
        if (IndexOf(framed[i]) < 0 || IsStartStop(framed[i])) {
            throw std::runtime_error(std::string("Invalid character in NW7: ") + framed[i]);
        }
    }

    std::vector<int> widths;
    widths.reserve(8 * framed.size());
    for (size_t i = 0; i < framed.size(); ++i) {
        if (i > 0) {
            widths.push_back(2); // inter-character gap
        }
        const unsigned pattern = kPatterns[IndexOf(framed[i])];
        for (int k = 0; k < 7; ++k) {
            widths.push_back((pattern >> (6 - k)) & 1U ? 3 : 1);
        }
    }
    return widths;
}

std::string NW7DisplayText(const std::string& text, bool showStartStop)
{
    if (showStartStop || text.size() < 2) {
        return text;
    }
    const std::string upper = Upper(text);
    if (IsStartStop(upper.front()) && IsStartStop(upper.back())) {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

} // namespace linear
