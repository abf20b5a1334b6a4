// SPDX-License-Identifier: MIT
#pragma once

#include "databar/DataBar14Encoder.h"
#include "databar/DataBarSymbol.h"

#include <string>

// GS1 DataBar Omnidirectional (type 12) with its two stacked layouts; the printed text is
// "(01)" and the GTIN-14.
class GS1DataBar14 : public DataBarSymbol
{
public:
    explicit GS1DataBar14(SDL_Renderer* renderer) : DataBarSymbol(renderer) {}

    explicit GS1DataBar14(const std::string& outputFormat) : DataBarSymbol(outputFormat) {}

    // Encodes the text in the current layout; throws std::runtime_error for bad input.
    bool encode(const std::string& text);
    // The check digit of exactly 13 digits; throws std::runtime_error otherwise.
    static std::string CalculateCheckDigit(const std::string& text);

    void SetSymbolType(databar::Layout14 layout) { m_symbolType = layout; }

    databar::Layout14 GetSymbolType() const { return m_symbolType; }

    // The result of the last successful encoding.
    const databar::DataBar14Symbol& Encoded() const { return m_encoded; }

protected:
    databar::RowSymbol EncodeRows(const std::string& text) override;

    const char* Tag() const override { return "[GS1 DataBar] "; }

private:
    databar::Layout14 m_symbolType = databar::Layout14::Omnidirectional;
    databar::DataBar14Symbol m_encoded;
};
