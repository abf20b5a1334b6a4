// SPDX-License-Identifier: MIT
#include "databar/DataBarLimitedEncoder.h"

#include "databar/DataBarCommon.h"

#include <iterator>
#include <stdexcept>

namespace databar {
namespace {

// Character groups of DataBar Limited: odd sub-value = v / divisor.
constexpr CharacterGroup kGroups[] = {
    {0, 28, 17, 9, 6, 3},          {183064, 728, 13, 13, 5, 4},   {820064, 6454, 9, 17, 3, 6},
    {1000776, 203, 15, 11, 5, 4},  {1491021, 2408, 11, 15, 4, 5}, {1979845, 1, 19, 7, 8, 1},
    {1996939, 16632, 7, 19, 1, 8},
};
constexpr CharacterForm kForm{7, true, true, false};

constexpr auto kChecksumWeights = PowersOfThree<28>(89);

// The check patterns by checksum: 14 element widths each (space first, bar last), 18 modules,
// seven odd and seven even elements of 9 modules each, ending in two narrow elements.
constexpr const char* kCheckPatterns[] = {
    "11111111113311", "11111111123211", "11111111133111", "11111112113211", "11111112123111", // 0
    "11111113113111", "11111211113211", "11111211123111", "11111212113111", "11111311113111", // 5
    "11121111113211", "11121111123111", "11121112113111", "11121211113111", "11131111113111", // 10
    "12111111113211", "12111111123111", "12111112113111", "12111211113111", "12121111113111", // 15
    "13111111113111", "11111111212311", "11111111222211", "11111111232111", "11111112212211", // 20
    "11111112222111", "11111113212111", "11111211212211", "11111211222111", "11111212212111", // 25
    "11111311212111", "11121111212211", "11121111222111", "11121112212111", "11121211212111", // 30
    "11131111212111", "12111111212211", "12111111222111", "12111112212111", "12111211212111", // 35
    "12121111212111", "13111111212111", "11111111311311", "11111111321211", "11111112311211", // 40
    "11121111311211", "12111111311211", "11111121112311", "11111121122211", "11111121132111", // 45
    "11111122112211", "11121121112211", "11121121122111", "11121122112111", "11121221112111", // 50
    "11131121112111", "12111121112211", "12111121122111", "12121121112111", "11112111112311", // 55
    "11112111122211", "11112111132111", "11112112112211", "11112112122111", "11112211112211", // 60
    "12112111112211", "12112111122111", "12112112112111", "12112211112111", "12122111112111", // 65
    "13112111112111", "11211111112311", "11211111122211", "11211111132111", "11211112112211", // 70
    "11211112122111", "11211113112111", "11211211112211", "11211211122111", "11221111112211", // 75
    "21111111122211", "21111111132111", "21111112112211", "21111112122111", "21111113112111", // 80
    "21111211122111", "21111212112111", "21121111122111", "21111111221211",                   // 85
};
static_assert(std::size(kCheckPatterns) == 89, "one check pattern per checksum value");

constexpr unsigned long long kLeftDivisor = 2013571;

} // namespace

std::vector<int> LimitedCheckPattern(int checksum)
{
    const std::string pattern = kCheckPatterns[static_cast<size_t>(checksum) % std::size(kCheckPatterns)];
    std::vector<int> widths;
    for (char c : pattern) {
        widths.push_back(c - '0');
    }
    return widths;
}

DataBarLimitedSymbol EncodeDataBarLimited(const std::string& text)
{
    if (!AllDigits(text)) {
        throw std::runtime_error("GS1 DataBar Limited requires numeric digits only");
    }
    if (text.size() < 8 || text.size() > 13) {
        throw std::runtime_error("Input must be 8-13 digits");
    }
    const std::string padded = std::string(13 - text.size(), '0') + text;
    if (padded[0] != '0' && padded[0] != '1') {
        throw std::runtime_error("GS1 DataBar Limited requires leading digit 0 or 1 after padding");
    }
    const unsigned long long value = std::stoull(padded);
    const std::vector<int> left =
        CharacterWidths(static_cast<int>(value / kLeftDivisor), kGroups, std::size(kGroups), kForm);
    const std::vector<int> right =
        CharacterWidths(static_cast<int>(value % kLeftDivisor), kGroups, std::size(kGroups), kForm);
    int checksum = 0;
    for (size_t i = 0; i < 14; ++i) {
        checksum += left[i] * kChecksumWeights[i] + right[i] * kChecksumWeights[14 + i];
    }
    checksum %= 89;

    DataBarLimitedSymbol out;
    out.checksum = checksum;
    const std::vector<int> check = LimitedCheckPattern(checksum);
    std::vector<int>& w = out.widths;
    w = {1, 1};
    w.insert(w.end(), left.begin(), left.end());
    w.insert(w.end(), check.begin(), check.end());
    w.insert(w.end(), right.begin(), right.end());
    w.insert(w.end(), {1, 1});
    out.gtin = GtinWithCheckDigit(padded);
    out.symbol.text = "(01)" + out.gtin;
    out.symbol.rows.push_back(w);
    out.symbol.rows.front().insert(out.symbol.rows.front().begin(), 0); // begins light
    out.symbol.heights = {-1};
    return out;
}

} // namespace databar
