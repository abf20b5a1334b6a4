// SPDX-License-Identifier: MIT
#pragma once

#include "databar/DataBarExpandedEncoder.h"
#include "databar/DataBarSymbol.h"

#include <string>

// GS1 DataBar Expanded (type 14), in one row or stacked; the printed text shows the AIs in
// parentheses.
class GS1DataBarExpanded : public DataBarSymbol
{
public:
    explicit GS1DataBarExpanded(SDL_Renderer* renderer) : DataBarSymbol(renderer) {}

    explicit GS1DataBarExpanded(const std::string& outputFormat) : DataBarSymbol(outputFormat) {}

    // Draws the stacked form whatever the layout setting (SetStacked), which it leaves as it was.
    bool DrawStacked(const std::string& text, int x, int y, int width, int height);

    // Encodes and lays out the element string; false with the reason in GetErrorMessage() for
    // bad input.
    bool encode(const std::string& text);

    const std::string& GetErrorMessage() const { return m_errorMessage; }

    void SetStacked(bool stacked) { m_stacked = stacked; }

    bool IsStacked() const { return m_stacked; }

    // Code blocks per stacked row; a value outside 1 to 10 means 2.
    void SetColumns(int columns) { m_columns = columns; }

    int GetColumns() const { return m_columns; }

    // The results of the last successful encoding.
    const databar::ExpandedBits& Bits() const { return m_bits; }

    const databar::RowSymbol& Rows() const { return m_rows; }

protected:
    databar::RowSymbol EncodeRows(const std::string& text) override;

    const char* Tag() const override { return "[GS1 DataBar Expanded] "; }

private:
    bool m_stacked = false;
    int m_columns = 0;
    std::string m_errorMessage;
    databar::ExpandedBits m_bits;
    databar::RowSymbol m_rows;
};
