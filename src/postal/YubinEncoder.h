// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// Japan Post customer barcode: 4-state bars written as the codes '1' (long), '2' (upper
// semi-long), '3' (lower semi-long) and '4' (timing).
namespace postal {

// Bars of one character of the set "0123456789-ABCDEFGHIJKLMNOPQRSTUVWXYZ" by its index: three
// for a digit or the hyphen, six (control code CC1, CC2 or CC3 and a digit) for a letter; ""
// for an index outside the set.
std::string GetPattern(int index);
// Bars of a check value 0 to 18: digits, the hyphen (10), CC1 to CC8 (11 to 18); "" beyond.
std::string GetCheckPattern(int value);
// The check value of one 3-bar group, -1 when it is none of the 19 check characters.
int PatternToCheckValue(const std::string& pattern);

struct YubinBars
{
    std::string bars;   // 67 codes: start, 20 data positions, check character, stop
    std::string data;   // the 60 data bars
    int checkValue = 0; // 0 to 18
};

// Bars for an address text (postal code and address digits, e.g. "26300233-30-8-403").
// Letters read as upper case; characters outside the set are dropped. A letter takes two data
// positions; one that falls on the 20th keeps only its control code. Unused positions hold CC4.
// The check value makes the sum of all 21 character values a multiple of 19.
YubinBars EncodeYubin(const std::string& text);

// The characters that reach the symbol: upper-cased, characters outside the set dropped.
std::string NormaliseYubinText(const std::string& text);

// The data positions the characters of a normalised text take (a letter two, any other one);
// more than the symbol's 20 do not fit.
int YubinPositions(const std::string& normalised);
constexpr int kYubinDataPositions = 20;

} // namespace postal
