// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace svgtext {

// Text made safe for XML character data and attribute values: & < > " ' become entities,
// C0 control bytes other than tab, line feed and carriage return are dropped, and bytes that
// are not well-formed UTF-8 become U+FFFD. Plain printable ASCII passes unchanged.
std::string EscapeXml(const std::string& text);
// EscapeXml(text) appended to `out`.
void AppendEscapedXml(std::string& out, const std::string& text);

// Appends `value` in fixed notation with two decimals exactly as "%.2f" prints it in the "C"
// locale: the float's exact binary value rounded to hundredths, ties to even, a "-" for every
// negative value (also one that rounds to zero), "inf"/"nan" as std::to_chars writes them.
void AppendFixed2(std::string& out, float value);
// The same written to `out`, which has room for kMaxFixed2 characters; returns the end.
constexpr int kMaxFixed2 = 64;
char* WriteFixed2(char* out, float value);
// Appends a decimal integer.
void AppendInt(std::string& out, long long value);

// Splits text into UTF-8 code points; a byte that starts no well-formed sequence is one
// piece of its own (EscapeXml turns it into U+FFFD).
std::vector<std::string> SplitCodePoints(const std::string& text);

} // namespace svgtext
