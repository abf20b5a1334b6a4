// SPDX-License-Identifier: MIT
#include "linear/Code93Encoder.h"

#include "linear/Code39Encoder.h"

#include <iterator>
#include <stdexcept>

namespace linear {
namespace {

// Characters in value order (0 to 46); the last four are the shift characters ($) (%) (/) (+).
constexpr char kCharset[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%<>?!";
// Bar, space, bar, space, bar, space widths of each value (nine modules each).
constexpr const char* kPatterns[] = {
    "131112", "111213", "111312", "111411", "121113", "121212", "121311", "111114", "131211", "141111", // 0-9
    "211113", "211212", "211311", "221112", "221211", "231111", "112113", "112212", "112311",           // A-I
    "122112", "132111", "111123", "111222", "111321", "121122", "131121", "212112", "212211",           // J-R
    "211122", "211221", "221121", "222111", "112122", "112221", "122121", "123111",                     // S-Z
    "121131", "311112", "311211", "321111", "112131", "113121", "211131", // - . sp $ / + %
    "121221", "312111", "311121", "122211",                               // ($) (%) (/) (+)
};
static_assert(std::size(kCharset) - 1 == std::size(kPatterns), "one pattern per character");
constexpr char kStart[] = "111141";
constexpr char kStop[] = "1111411"; // stop character and termination bar

int ValueOf(char c)
{
    for (int i = 0; kCharset[i] != '\0'; ++i) {
        if (kCharset[i] == c) {
            return i;
        }
    }
    return -1;
}

void AppendPattern(std::vector<int>& widths, const char* pattern)
{
    for (const char* p = pattern; *p != '\0'; ++p) {
        widths.push_back(*p - '0');
    }
}

} // namespace

int GetModulus47(const std::string& data, int maxWeight)
{
    const size_t n = data.size();
    long long sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const int value = ValueOf(data[i]);
        if (value < 0) {
            throw std::runtime_error(std::string("Invalid character in CODE93: ") + data[i]);
        }
        const long long weight =
            maxWeight > 0 ? static_cast<long long>((n - 1 - i) % static_cast<size_t>(maxWeight)) + 1 : 1;
        sum = (sum + value * weight) % 47;
    }
    return static_cast<int>(sum);
}

std::vector<int> EncodeCode93(const std::string& text)
{
    if (text.empty()) {
        throw std::runtime_error("Empty string");
    }
    std::string data;
    data.reserve(text.size() + 2);
    for (char original : text) {
        const char c = ascii::Upper(original);
        if (ValueOf(c) < 0) {
            throw std::runtime_error(std::string("Invalid character in CODE93: ") + c);
        }
        data.push_back(c);
    }
    const int c = GetModulus47(data, 20);
    const int k = GetModulus47(data + kCharset[c], 15);

    std::vector<int> widths;
    widths.reserve(6 * (data.size() + 3) + 7);
    AppendPattern(widths, kStart);
    for (char ch : data) {
        AppendPattern(widths, kPatterns[ValueOf(ch)]);
    }
    AppendPattern(widths, kPatterns[c]);
    AppendPattern(widths, kPatterns[k]);
    AppendPattern(widths, kStop);
    return widths;
}

} // namespace linear
