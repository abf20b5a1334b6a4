// SPDX-License-Identifier: MIT
#include "databar/GS1DataBarExpanded.h"

#include <stdexcept>

bool GS1DataBarExpanded::DrawStacked(const std::string& text, int x, int y, int width, int height)
{
    // The stacked form for this draw only: the layout setting is put back however the draw ends.
    struct Restore
    {
        bool& stacked;
        const bool setting;

        ~Restore() { stacked = setting; }
    } restore{m_stacked, m_stacked};
    m_stacked = true;
    return Draw(text, x, y, width, height);
}

bool GS1DataBarExpanded::encode(const std::string& text)
{
    try {
        databar::ExpandedBits bits = databar::EncodeExpandedBits(text);
        m_rows = databar::ExpandedRows(databar::ExpandedElements(bits.bits), m_stacked, m_columns);
        m_rows.text = bits.humanReadable;
        m_bits = std::move(bits);
    } catch (const std::runtime_error& e) {
        m_errorMessage = e.what();
        return false;
    }
    return true;
}

databar::RowSymbol GS1DataBarExpanded::EncodeRows(const std::string& text)
{
    if (!encode(text)) {
        throw std::runtime_error(m_errorMessage);
    }
    return m_rows;
}
