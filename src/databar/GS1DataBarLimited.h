// SPDX-License-Identifier: MIT
#pragma once

#include "databar/DataBarLimitedEncoder.h"
#include "databar/DataBarSymbol.h"

#include <string>

// GS1 DataBar Limited (type 13): 74 modules in one row; the printed text is "(01)" and the
// GTIN-14.
class GS1DataBarLimited : public DataBarSymbol
{
public:
    explicit GS1DataBarLimited(SDL_Renderer* renderer) : DataBarSymbol(renderer) {}

    explicit GS1DataBarLimited(const std::string& outputFormat) : DataBarSymbol(outputFormat) {}

    // Encodes the text; throws std::runtime_error for bad input.
    bool encode(const std::string& text);
    // The check digit of exactly 13 digits; throws std::runtime_error otherwise.
    static std::string CalculateCheckDigit(const std::string& text);

    // The result of the last successful encoding.
    const databar::DataBarLimitedSymbol& Encoded() const { return m_encoded; }

protected:
    databar::RowSymbol EncodeRows(const std::string& text) override;

    const char* Tag() const override { return "[GS1 DataBar Limited] "; }

private:
    databar::DataBarLimitedSymbol m_encoded;
};
