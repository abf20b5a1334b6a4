// SPDX-License-Identifier: MIT
#include "code128/GS1_128.h"

namespace {
constexpr char kTag[] = "[GS1-128] ";
}

GS1_128::GS1_128(SDL_Renderer* renderer) : BarcodeBase1D(renderer)
{
    m_fitWidth = true;
}

GS1_128::GS1_128(const std::string& outputFormat) : BarcodeBase1D(outputFormat)
{
    m_fitWidth = true;
}

std::vector<int> GS1_128::EncodeGS1_128(const std::string& text) const
{
    return gs1_128::Encode(text).Widths();
}

int GS1_128::calcCheckDigit(const std::string& text) const
{
    return gs1_128::CalcCheckDigit(text);
}

std::string GS1_128::buildDisplayText(const std::string& text) const
{
    return gs1_128::BuildDisplayText(text);
}

int GS1_128::getLenAI(const std::string& text, int pos) const
{
    return gs1_128::GetLenAI(text, pos);
}

int GS1_128::CalcCheckDigitMod10W3(const std::string& digits)
{
    return gs1_128::CalcCheckDigitMod10W3(digits);
}

BarcodeBase1D::LinearEncoder GS1_128::Encoder(const std::string& text) const
{
    return [&text] { return LinearSymbol{gs1_128::Encode(text).Widths(), gs1_128::BuildDisplayText(text)}; };
}

bool GS1_128::Draw(const std::string& text, int x, int y, int width, int height)
{
    if (IsSvgOutput()) {
        return DrawSvg(text, x, y, width, height);
    }
    return DrawLinear(Target::Raster, kTag, Encoder(text), x, y, width, height);
}

bool GS1_128::DrawSvg(const std::string& text, int x, int y, int width, int height)
{
    return DrawLinear(Target::Svg, kTag, Encoder(text), x, y, width, height);
}
