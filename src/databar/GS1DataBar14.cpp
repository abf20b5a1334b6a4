// SPDX-License-Identifier: MIT
#include "databar/GS1DataBar14.h"

bool GS1DataBar14::encode(const std::string& text)
{
    m_encoded = databar::EncodeDataBar14(text, m_symbolType);
    return true;
}

std::string GS1DataBar14::CalculateCheckDigit(const std::string& text)
{
    return databar::CheckDigit14(text);
}

databar::RowSymbol GS1DataBar14::EncodeRows(const std::string& text)
{
    encode(text);
    return m_encoded.symbol;
}
