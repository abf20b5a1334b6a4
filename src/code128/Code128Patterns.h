// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

// The Code 128 symbol character table and the pieces every Code 128 encoder shares.
namespace code128 {

// Code values (ISO/IEC 15417, table 1).
constexpr int kCodeC = 99;
constexpr int kCodeB = 100;
constexpr int kCodeA = 101;
constexpr int kFnc1 = 102;
constexpr int kStartA = 103;
constexpr int kStartB = 104;
constexpr int kStartC = 105;
constexpr int kStop = 106;
constexpr int kValueCount = 107;

// Element widths of every code value in modules, bar first, as digit characters: six
// elements of 11 modules for 0..105, seven elements of 13 modules for STOP (106).
extern const char* const s_codePatterns[kValueCount];

// The check value of a codeword list that begins with its start character: the start value
// plus each following value times its position, modulo 103.
int CheckValue(const std::vector<int>& codes);

// Expands code values into element widths (bar first). Throws std::runtime_error with
// `badValueMessage` for a value outside 0..106.
std::vector<int> ExpandToWidths(const std::vector<int>& codes, const std::string& badValueMessage);

} // namespace code128
