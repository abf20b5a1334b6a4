// SPDX-License-Identifier: MIT
#pragma once

#include "databar/DataBarRows.h"

#include <string>
#include <vector>

// GS1 DataBar Omnidirectional, Stacked and Stacked Omnidirectional (ISO/IEC 24724): a GTIN in
// four data characters and two finder patterns. No drawing here.
namespace databar {

enum class Layout14
{
    Omnidirectional = 0,
    Stacked = 1,
    StackedOmnidirectional = 2,
};

struct DataBar14Symbol
{
    std::string gtin;        // the 13 padded digits and the check digit
    std::vector<int> widths; // 46 element widths of the full symbol (96 modules), a space first
    int checksum = 0;        // modulo 79, before the two finder values are taken from it
    RowSymbol symbol;        // one row of 96 modules, or 3 or 5 rows of 50
};

// Encodes up to 13 digits (padded on the left with zeros). Throws std::runtime_error "GS1
// DataBar requires numeric digits only" or "Input too long (max 13 digits)".
DataBar14Symbol EncodeDataBar14(const std::string& text, Layout14 layout);

// The check digit of exactly 13 digits as a one-character string. Throws std::runtime_error
// "CalculateCheckDigit requires exactly 13 digits" for any other text, non-digits included.
std::string CheckDigit14(const std::string& text);

} // namespace databar
