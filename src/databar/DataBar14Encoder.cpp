// SPDX-License-Identifier: MIT
#include "databar/DataBar14Encoder.h"

#include "databar/DataBarCommon.h"

#include <iterator>
#include <stdexcept>

namespace databar {
namespace {

// Outside characters (the first and third), groups 0 to 4: odd sub-value = v / divisor.
constexpr CharacterGroup kOutsideGroups[] = {
    {0, 1, 12, 4, 8, 1},     {161, 10, 10, 6, 6, 3},   {961, 34, 8, 8, 4, 5},
    {2015, 70, 6, 10, 3, 6}, {2715, 126, 4, 12, 1, 8},
};
// Inside characters (the second and fourth), groups 5 to 8: even sub-value = v / divisor.
constexpr CharacterGroup kInsideGroups[] = {
    {0, 4, 5, 10, 2, 7},
    {336, 20, 7, 8, 4, 5},
    {1036, 48, 9, 6, 6, 3},
    {1516, 81, 11, 4, 8, 1},
};
constexpr CharacterForm kOutsideForm{4, true, true, false};
constexpr CharacterForm kInsideForm{4, false, false, true};

constexpr auto kChecksumWeights = PowersOfThree<32>(79);

// The nine finder patterns, five elements each.
constexpr int kFinders[9][5] = {
    {3, 8, 2, 1, 1}, {3, 5, 5, 1, 1}, {3, 3, 7, 1, 1}, {3, 1, 9, 1, 1}, {2, 7, 4, 1, 1},
    {2, 5, 6, 1, 1}, {2, 3, 8, 1, 1}, {1, 5, 7, 1, 1}, {1, 3, 9, 1, 1},
};

constexpr unsigned long long kLeftDivisor = 4537077;
constexpr int kCharacterDivisor = 1597;
constexpr int kStackWidth = 50;

// Modules of elements [first, last) from a light (or dark) element on.
std::string Modules(const std::vector<int>& widths, size_t first, size_t last, bool darkFirst)
{
    std::string bits;
    bool dark = darkFirst;
    for (size_t i = first; i < last; ++i) {
        bits.append(static_cast<size_t>(widths[i]), dark ? '1' : '0');
        dark = !dark;
    }
    return bits;
}

// The separator under (or above) a data row in the stacked omnidirectional form: the
// complement of the row, with the modules over its finder alternating.
std::string OmniSeparator(const std::string& row, int finderFrom)
{
    std::string sep(kStackWidth, '0');
    for (int c = 4; c < 46; ++c) {
        sep[c] = row[c] == '0' ? '1' : '0';
    }
    bool latch = true;
    for (int c = finderFrom; c < finderFrom + 16; ++c) {
        if (row[c] == '1') {
            sep[c] = '0';
            latch = true;
        } else {
            sep[c] = latch ? '1' : '0';
            latch = !latch;
        }
    }
    return sep;
}

std::vector<std::string> LayOut(const std::vector<int>& widths, Layout14 layout)
{
    if (layout == Layout14::Omnidirectional) {
        return {Modules(widths, 0, widths.size(), false)};
    }
    // Top row: guard, first two characters and the left finder, then a right guard; bottom
    // row: a left guard, then the rest.
    const std::string top = Modules(widths, 0, 23, false) + "10";
    const std::string bottom = "10" + Modules(widths, 23, widths.size(), true);
    if (layout == Layout14::Stacked) {
        std::string sep(kStackWidth, '0');
        for (int c = 4; c < 46; ++c) {
            if (top[c] == bottom[c]) {
                sep[c] = top[c] == '0' ? '1' : '0';
            } else {
                sep[c] = sep[c - 1] == '0' ? '1' : '0';
            }
        }
        return {top, sep, bottom};
    }
    std::string middle(kStackWidth, '0');
    for (int c = 5; c < 46; c += 2) {
        middle[c] = '1';
    }
    return {top, OmniSeparator(top, 17), middle, OmniSeparator(bottom, 16), bottom};
}

} // namespace

std::string CheckDigit14(const std::string& text)
{
    if (text.size() != 13 || !AllDigits(text)) {
        throw std::runtime_error("CalculateCheckDigit requires exactly 13 digits");
    }
    return GtinWithCheckDigit(text).substr(13);
}

DataBar14Symbol EncodeDataBar14(const std::string& text, Layout14 layout)
{
    if (!AllDigits(text)) {
        throw std::runtime_error("GS1 DataBar requires numeric digits only");
    }
    if (text.size() > 13) {
        throw std::runtime_error("Input too long (max 13 digits)");
    }
    const std::string padded = std::string(13 - text.size(), '0') + text;
    const unsigned long long value = std::stoull(padded);
    const unsigned long long left = value / kLeftDivisor;
    const unsigned long long right = value % kLeftDivisor;
    const int values[4] = {static_cast<int>(left / kCharacterDivisor), static_cast<int>(left % kCharacterDivisor),
                           static_cast<int>(right / kCharacterDivisor), static_cast<int>(right % kCharacterDivisor)};

    std::vector<int> chars[4];
    int checksum = 0;
    for (size_t c = 0; c < 4; ++c) {
        chars[c] = c % 2 == 0 ? CharacterWidths(values[c], kOutsideGroups, std::size(kOutsideGroups), kOutsideForm)
                              : CharacterWidths(values[c], kInsideGroups, std::size(kInsideGroups), kInsideForm);
        for (size_t e = 0; e < 8; ++e) {
            checksum += chars[c][e] * kChecksumWeights[8 * c + e];
        }
    }
    checksum %= 79;
    // The finder pairs skip the values (0, 8) and (8, 0).
    int finderValue = checksum >= 8 ? checksum + 1 : checksum;
    if (finderValue >= 72) {
        ++finderValue;
    }
    const int* leftFinder = kFinders[finderValue / 9];
    const int* rightFinder = kFinders[finderValue % 9];

    DataBar14Symbol out;
    out.checksum = checksum;
    std::vector<int>& w = out.widths;
    w = {1, 1};
    w.insert(w.end(), chars[0].begin(), chars[0].end());
    w.insert(w.end(), leftFinder, leftFinder + 5);
    w.insert(w.end(), chars[1].rbegin(), chars[1].rend());
    w.insert(w.end(), chars[3].begin(), chars[3].end());
    w.insert(w.end(), std::make_reverse_iterator(rightFinder + 5), std::make_reverse_iterator(rightFinder));
    w.insert(w.end(), chars[2].rbegin(), chars[2].rend());
    w.insert(w.end(), {1, 1});

    out.gtin = GtinWithCheckDigit(padded);
    out.symbol.text = "(01)" + out.gtin;
    for (const std::string& row : LayOut(w, layout)) {
        out.symbol.rows.push_back(RowRuns(row));
    }
    switch (layout) {
    case Layout14::Omnidirectional: out.symbol.heights = {-1}; break;
    case Layout14::Stacked: out.symbol.heights = {5, 1, 7}; break;
    case Layout14::StackedOmnidirectional: out.symbol.heights = {-1, 1, 1, 1, -1}; break;
    }
    return out;
}

} // namespace databar
