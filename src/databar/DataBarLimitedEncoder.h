// SPDX-License-Identifier: MIT
#pragma once

#include "databar/DataBarRows.h"

#include <string>
#include <vector>

// GS1 DataBar Limited (ISO/IEC 24724): a GTIN beginning 0 or 1 in two data characters and a
// check pattern, 74 modules in one row. No drawing here.
namespace databar {

struct DataBarLimitedSymbol
{
    std::string gtin;        // the 13 padded digits and the check digit
    std::vector<int> widths; // 46 element widths (74 modules), a space first
    int checksum = 0;        // modulo 89: the row of the check pattern table
    RowSymbol symbol;        // the one row
};

// Encodes 8 to 13 digits (padded on the left with zeros). Throws std::runtime_error "GS1
// DataBar Limited requires numeric digits only", "Input must be 8-13 digits" or "GS1 DataBar
// Limited requires leading digit 0 or 1 after padding".
DataBarLimitedSymbol EncodeDataBarLimited(const std::string& text);

// Row `checksum` (0 to 88) of the check pattern table: 14 element widths summing to 18.
std::vector<int> LimitedCheckPattern(int checksum);

} // namespace databar
