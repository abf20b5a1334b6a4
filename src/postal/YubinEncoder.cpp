// SPDX-License-Identifier: MIT
#include "postal/YubinEncoder.h"

#include "core/Ascii.h"

#include <cstring>
#include <iterator>

namespace postal {
namespace {

constexpr const char* kDigits[] = {"144", "114", "132", "312", "123", "141", "321", "213", "231", "411"};
constexpr const char* kControl[] = {"324", "342", "234", "432", "243", "423", "441", "111"}; // CC1-CC8
constexpr char kHyphen[] = "414";
constexpr char kStart[] = "13";
constexpr char kStop[] = "31";
constexpr char kCharset[] = "0123456789-ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr int kHyphenIndex = 10;
constexpr int kDataPositions = kYubinDataPositions;
constexpr int kFiller = 3; // CC4

int IndexOf(char c)
{
    for (int i = 0; kCharset[i] != '\0'; ++i) {
        if (kCharset[i] == c) {
            return i;
        }
    }
    return -1;
}

// CC1 for A-J, CC2 for K-T, CC3 for U-Z.
int ControlOf(int index)
{
    return (index - 11) / 10;
}

} // namespace

std::string GetPattern(int index)
{
    if (index < 0 || index >= static_cast<int>(std::size(kCharset)) - 1) {
        return {};
    }
    if (index < kHyphenIndex) {
        return kDigits[index];
    }
    if (index == kHyphenIndex) {
        return kHyphen;
    }
    return std::string(kControl[ControlOf(index)]) + kDigits[(index - 11) % 10];
}

std::string GetCheckPattern(int value)
{
    if (value < 0 || value > 18) {
        return {};
    }
    if (value < 10) {
        return kDigits[value];
    }
    if (value == 10) {
        return kHyphen;
    }
    return kControl[value - 11];
}

int PatternToCheckValue(const std::string& pattern)
{
    for (int v = 0; v <= 18; ++v) {
        if (pattern == GetCheckPattern(v)) {
            return v;
        }
    }
    return -1;
}

std::string NormaliseYubinText(const std::string& text)
{
    std::string out;
    for (char original : text) {
        const char c = ascii::Upper(original);
        if (IndexOf(c) >= 0) {
            out.push_back(c);
        }
    }
    return out;
}

int YubinPositions(const std::string& normalised)
{
    int positions = 0;
    for (char c : normalised) {
        positions += IndexOf(c) > kHyphenIndex ? 2 : 1;
    }
    return positions;
}

YubinBars EncodeYubin(const std::string& text)
{
    YubinBars result;
    int used = 0;
    for (char c : NormaliseYubinText(text)) {
        if (used >= kDataPositions) {
            break;
        }
        const int index = IndexOf(c);
        const std::string pattern = GetPattern(index);
        if (pattern.size() == 6 && used == kDataPositions - 1) {
            // Only the control code fits in the last position.
            result.data += kControl[ControlOf(index)];
            used = kDataPositions;
            break;
        }
        result.data += pattern;
        used += static_cast<int>(pattern.size() / 3);
    }
    for (; used < kDataPositions; ++used) {
        result.data += kControl[kFiller];
    }

    int sum = 0;
    for (size_t i = 0; i + 3 <= result.data.size(); i += 3) {
        const int value = PatternToCheckValue(result.data.substr(i, 3));
        sum += value > 0 ? value : 0;
    }
    result.checkValue = (19 - sum % 19) % 19;
    result.bars = std::string(kStart) + result.data + GetCheckPattern(result.checkValue) + kStop;
    return result;
}

} // namespace postal
