// SPDX-License-Identifier: MIT
#pragma once

#include "code128/GS1_128Encoder.h"
#include "core/BarcodeBase1D.h"

#include <string>
#include <vector>

// GS1-128: Code 128 carrying GS1 element strings written with the "{FNC1}" and "{AI}"
// tokens, printed with the application identifiers in parentheses; also the 44-digit
// convenience-store payment barcode with its two text lines. Fit width is on by default.
class GS1_128 : public BarcodeBase1D
{
public:
    explicit GS1_128(SDL_Renderer* renderer);
    explicit GS1_128(const std::string& outputFormat);

    bool Draw(const std::string& text, int x, int y, int width, int height) override;
    bool DrawSvg(const std::string& text, int x, int y, int width, int height) override;

    // The payment barcode from 43 or 44 digits (check digit appended or verified), bars above
    // two text lines whose font is fitted to the box. False with a "[GS1-128 Convenience] "
    // line on standard error when the text is rejected.
    bool DrawConvenience(const std::string& text, int x, int y, int width, int height);
    bool DrawConvenienceSvg(const std::string& text, int x, int y, int width, int height);

    // Element widths of the symbol Draw builds for `text` (see gs1_128::Encode).
    std::vector<int> EncodeGS1_128(const std::string& text) const;
    int calcCheckDigit(const std::string& text) const;
    std::string buildDisplayText(const std::string& text) const;
    int getLenAI(const std::string& text, int pos) const;
    static int CalcCheckDigitMod10W3(const std::string& digits);

    // Font size of the payment barcode's text lines chosen by the last raster DrawConvenience.
    int GetConvenienceFontSize() const { return m_convFontSize; }

private:
    LinearEncoder Encoder(const std::string& text) const;
    bool DrawConvenienceOn(Target target, const std::string& text, int x, int y, int width, int height);
    // Raster font fitting: the largest size (stepping by 2) whose sample line fits the width;
    // stores it in m_convFontSize and returns the height of the measured line.
    int FitConvenienceFont(int width, long long startSize);
    void renderConvenienceText2Lines(const std::string& body, int x, int y, int width);
    void renderConvenienceTextSvg(const std::string& body, int x, int y, int width, long long startSize);
    // Steps the raster text size (m_convFontSize, and with it the bar height) down until the two
    // lines lie inside the box; false, with the reason printed, when not even the smallest does.
    bool FitConvenienceLines(const std::string& body, int y, int width, int height);
    // The largest SVG text size from `startSize` down whose lines lie inside the box (the bar
    // height set for it); -1, with the reason printed, when none.
    long long FitConvenienceSvgLines(const std::string& body, int y, int width, int height, long long startSize);
    // The SVG text size of the lines for a line pitch of `startSize`.
    static int ConvenienceSvgFontSize(int width, long long startSize);

    int m_convFontSize = 12;
};
