// SPDX-License-Identifier: MIT
#pragma once

#include "core/BarcodeBase1D.h"

#include <string>

// Japan Post customer barcode: 67 four-state bars for a postal code and address digits, no
// printed text. The symbol's size follows from the height alone: bar pitch H / 3, bar width
// H / 6, canvas width trunc(67 H / 3 + H / 6 + 1).
class YubinCustomer : public BarcodeBase1D
{
public:
    explicit YubinCustomer(SDL_Renderer* renderer);
    explicit YubinCustomer(const std::string& outputFormat);

    // The width is ignored: the height fixes the whole geometry.
    bool Draw(const std::string& text, int x, int y, int width, int height) override;
    bool DrawSvg(const std::string& text, int x, int y, int width, int height) override;
    bool Draw(const std::string& text, int x, int y, int height);

    // Canvas width for a bar height.
    static int SymbolWidth(int height);

private:
    // False, with the reason printed, for a height below 1, a text without any character of
    // the set, or a canvas outside core/Limits.h.
    bool Admit(const std::string& text, int height) const;
    // Paints the bars of the symbol on either output; the canvas is ready.
    void PaintSymbol(Target target, const std::string& bars, float x);
    // False, with the reason printed, when the bars painted from x pass the symbol's width or
    // touch each other (a black pixel adjustment of the room after the last bar or between bars).
    bool BarsFit(Target target, const std::string& bars, int x, int height) const;
    // One bar of code '1' to '4' at x; anything else paints nothing.
    void WriteBar(Target target, const std::string& code, float x);

    float m_barTop = 0.0f;
};
