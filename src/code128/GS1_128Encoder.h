// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

// GS1-128 encoding: Code 128 text with the inline tokens "{FNC1}" (puts FNC1 into the symbol
// and starts an application identifier) and "{AI}" (only starts an application identifier).
namespace gs1_128 {

// One GS1-128 symbol: start value, every value emitted after it (switches, FNC1 and data, in
// order, each weighted by its position for the check value) and the check value.
struct Gs1Symbol
{
    int start = 0;
    std::vector<int> values;
    int check = 0;

    // Start, values, check and STOP.
    std::vector<int> Codewords() const;
    // Element widths in modules, bar first.
    std::vector<int> Widths() const;
};

// Encodes `text` in one pass with fixed look-ahead rules. The start set is C when more than
// two leading digits precede the last byte (tokens skipped), else A when a control byte comes
// before any byte only set B has, else B. Throws std::runtime_error for a byte of 128 or more,
// which no code set carries.
Gs1Symbol Encode(const std::string& text);

// The check value (0..102) of Encode(text).
int CalcCheckDigit(const std::string& text);

// The human-readable line: tokens removed, each marked application identifier in parentheses.
std::string BuildDisplayText(const std::string& text);

// Length of the application identifier starting at `pos` (2, 3 or 4), judged by its first
// one or two digits.
int GetLenAI(const std::string& text, int pos);

// GS1 modulo-10 check digit with weights 3, 1, 3, ... from the rightmost digit; 0 for "".
int CalcCheckDigitMod10W3(const std::string& digits);

// The 44-digit body of a convenience-store payment barcode from 43 or 44 digits (an optional
// leading "{FNC1}" is ignored); 43 digits get their check digit appended. Throws
// std::runtime_error "Non-digit character found", "Code length must be 43 or 44 digits" or
// "Check digit mismatch".
std::string ConvenienceBody(const std::string& text);

// The two printed lines of a payment body: "(d0d1)d2..d7-d8..d29" and
// "d30..d35-d36-d37..d42-d43".
std::string ConvenienceLine1(const std::string& body);
std::string ConvenienceLine2(const std::string& body);

// The widest first line, used to fit the font of the payment barcode to its box.
constexpr char kConvenienceSampleLine[] = "(91)912345-0000000000000000000000";

} // namespace gs1_128
