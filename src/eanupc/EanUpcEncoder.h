// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

// The EAN/UPC retail symbols (ISO/IEC 15420): validation, check digits, UPC-E expansion and
// element widths. No drawing here.
namespace eanupc {

// Modulo-10 check digit with weights 3, 1, 3, ... from the rightmost digit leftwards, as one
// character. `digits` must hold decimal digits only.
char WeightedCheckDigit(const std::string& digits);

// Check digits over the first 12 (EAN-13), 7 (EAN-8) or 11 (UPC-A) digits. Throw
// std::runtime_error with the class's numeric-digits message for a non-digit among them and
// with its length message when fewer digits are given.
std::string CheckDigitJan13(const std::string& text);
std::string CheckDigitJan8(const std::string& text);
std::string CheckDigitUpcA(const std::string& text);

// The 11-digit UPC-A body of a 7-digit UPC-E text (number system 0 and six digits); "" for
// any other text, number system 1 included.
std::string ExpandUpcE(const std::string& text);
// UPC-E check digit: a 7-digit text is expanded first ("" when it cannot be); any other
// all-digit text is weighted as it stands; "" for an empty or non-digit text.
std::string CheckDigitUpcE(const std::string& text);

// Element widths in modules, bar first. A text one digit short gets its check digit; a full
// text must carry the right one. Throw std::runtime_error with "Empty string", the class's
// numeric-digits or length message, or "Invalid check digit".
// EAN-13: 59 elements, 95 modules. EAN-8: 43, 67. UPC-A: 59, 95.
std::vector<int> EncodeJan13(const std::string& text);
std::vector<int> EncodeJan8(const std::string& text);
std::vector<int> EncodeUpcA(const std::string& text);
// UPC-E from its 8-digit form N d1..d6 C: 33 elements, 51 modules; the parity of the six data
// characters follows C, N takes no bars. Throws std::runtime_error "EncodeUPCE: ..." messages.
std::vector<int> EncodeUpcE(const std::string& text);

// The 8-digit form of a UPC-E text: 6 digits get number system 0 and the check digit, 7 digits
// the check digit (a number system 1 text stays 7 digits long and is refused by EncodeUpcE);
// 8 digits must have number system 0 and the check digit of their expansion. Throws
// std::runtime_error "Invalid length (must be 6, 7 or 8 digits).", "Invalid character
// (non-digit found)." or "Invalid check digit".
std::string NormaliseUpcE(const std::string& text);

// The text with its check digit for the four classes (the digits printed under the bars).
std::string CompleteJan13(const std::string& text);
std::string CompleteJan8(const std::string& text);
std::string CompleteUpcA(const std::string& text);

// Cuts a module sequence ('1' bar, '0' space) into run lengths.
std::vector<int> RunLengths(const std::string& modules);

} // namespace eanupc
