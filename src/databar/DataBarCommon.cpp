// SPDX-License-Identifier: MIT
#include "databar/DataBarCommon.h"

#include "core/CheckDigit.h"
#include "core/RunLengths.h"

#include <algorithm>
#include <stdexcept>

namespace databar {

int Combinations(int n, int r)
{
    const int minDenom = std::min(r, n - r);
    const int maxDenom = std::max(r, n - r);
    int value = 1;
    int j = 1;
    for (int i = n; i > maxDenom; --i) {
        value *= i;
        if (j <= minDenom) {
            value /= j;
            ++j;
        }
    }
    for (; j <= minDenom; ++j) {
        value /= j;
    }
    return value;
}

std::vector<int> Widths(int value, int modules, int elements, int maxWidth, bool noNarrow)
{
    std::vector<int> widths(static_cast<std::size_t>(std::max(elements, 1)));
    int n = modules;
    int narrowMask = 0;
    int bar = 0;
    for (; bar < elements - 1; ++bar) {
        int elmWidth = 1;
        int subVal = 0;
        narrowMask |= 1 << bar;
        // Count the width sets that begin with an element of elmWidth; stop at the one that
        // holds `value`. The bound keeps an out-of-range value from running on.
        for (; elmWidth <= n; ++elmWidth, narrowMask &= ~(1 << bar)) {
            const int rest = elements - bar - 1;
            subVal = Combinations(n - elmWidth - 1, rest - 1);
            if (!noNarrow && narrowMask == 0 && n - elmWidth - rest >= rest) {
                subVal -= Combinations(n - elmWidth - rest - 1, rest - 1);
            }
            if (rest > 1) {
                int lessVal = 0;
                for (int mxw = n - elmWidth - (rest - 1); mxw > maxWidth; --mxw) {
                    lessVal += Combinations(n - elmWidth - mxw - 1, rest - 2);
                }
                subVal -= lessVal * rest;
            } else if (n - elmWidth > maxWidth) {
                --subVal;
            }
            value -= subVal;
            if (value < 0) {
                break;
            }
        }
        value += subVal;
        n -= elmWidth;
        widths[static_cast<std::size_t>(bar)] = elmWidth;
    }
    widths[static_cast<std::size_t>(bar)] = n;
    return widths;
}

std::vector<int> CharacterWidths(int value, const CharacterGroup* groups, std::size_t count, const CharacterForm& form)
{
    const CharacterGroup* group = nullptr;
    for (std::size_t g = 0; g < count; ++g) {
        if (value >= groups[g].start) {
            group = &groups[g];
        }
    }
    if (group == nullptr) {
        throw std::out_of_range("DataBar character value out of range");
    }
    const int v = value - group->start;
    const int quotient = v / group->divisor;
    const int remainder = v % group->divisor;
    const int odd = form.oddIsQuotient ? quotient : remainder;
    const int even = form.oddIsQuotient ? remainder : quotient;
    const int k = form.elementsPerHalf;
    const std::vector<int> oddWidths = Widths(odd, group->modulesOdd, k, group->widestOdd, form.oddNoNarrow);
    const std::vector<int> evenWidths = Widths(even, group->modulesEven, k, group->widestEven, form.evenNoNarrow);
    std::vector<int> widths(2 * static_cast<std::size_t>(k));
    for (std::size_t i = 0; i < static_cast<std::size_t>(k); ++i) {
        widths[2 * i] = oddWidths[i];
        widths[2 * i + 1] = evenWidths[i];
    }
    return widths;
}

std::string GtinWithCheckDigit(const std::string& digits)
{
    // The weights 3, 1, 3, ... run from the right as in EAN/UPC; with 13 digits that is the
    // same as from the left.
    return digits + check_digit::Mod10Weight3Char(digits);
}

bool AllDigits(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<int> RowRuns(const std::string& modules)
{
    std::vector<int> lengths = runs::RunLengths(modules);
    if (!modules.empty() && modules[0] == '0') {
        lengths.insert(lengths.begin(), 0);
    }
    return lengths;
}

} // namespace databar
