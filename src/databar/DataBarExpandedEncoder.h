// SPDX-License-Identifier: MIT
#pragma once

#include "databar/DataBarRows.h"

#include <string>
#include <vector>

// GS1 DataBar Expanded and Expanded Stacked (ISO/IEC 24724): a GS1 element string as a bit
// string, symbol characters, finder patterns and rows. No drawing here.
//
// Input: an element string beginning "01" and a GTIN-14 needs no marker; every other AI is
// introduced by "{AI}"; '[' stands for FNC1 after a variable-length field.
namespace databar {

struct ExpandedBits
{
    std::string source;        // the input without its "{AI}" markers
    std::string humanReadable; // printed under the symbol
    int method = 0;            // encodation method 1 to 14
    std::string bits;          // linkage flag, header, fields and padding: a multiple of 12
};

// The bit string of an element string. Throws std::runtime_error "Invalid characters in input
// data" or "Input too long" (more than 252 bits).
ExpandedBits EncodeExpandedBits(const std::string& text);

// The element widths of the whole symbol for a bit string of 36 to 252 bits (a multiple of
// 12): guards, check character, data characters and finders, a space first. Throws
// std::invalid_argument for a bit string outside that range.
std::vector<int> ExpandedElements(const std::string& bits);

// The rows of the element array: one row, or (stacked) rows of `columns` code blocks (2 for
// a value outside 1 to 10) with three separator rows between two rows.
RowSymbol ExpandedRows(const std::vector<int>& elements, bool stacked, int columns);

} // namespace databar
