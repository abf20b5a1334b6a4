// SPDX-License-Identifier: MIT
#include "databar/GS1DataBarLimited.h"

#include "databar/DataBar14Encoder.h"

bool GS1DataBarLimited::encode(const std::string& text)
{
    m_encoded = databar::EncodeDataBarLimited(text);
    return true;
}

std::string GS1DataBarLimited::CalculateCheckDigit(const std::string& text)
{
    return databar::CheckDigit14(text);
}

databar::RowSymbol GS1DataBarLimited::EncodeRows(const std::string& text)
{
    encode(text);
    return m_encoded.symbol;
}
