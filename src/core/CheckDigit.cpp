// SPDX-License-Identifier: MIT
#include "core/CheckDigit.h"

namespace check_digit {

int Mod10Weight3(const std::string& digits)
{
    int sum = 0;
    int weight = 3;
    for (size_t i = digits.size(); i-- > 0;) {
        sum = (sum + (digits[i] - '0') * weight) % 10;
        weight = 4 - weight;
    }
    return sum == 0 ? 0 : 10 - sum;
}

char Mod10Weight3Char(const std::string& digits)
{
    return static_cast<char>('0' + Mod10Weight3(digits));
}

} // namespace check_digit
