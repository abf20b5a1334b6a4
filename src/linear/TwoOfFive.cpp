// SPDX-License-Identifier: MIT
#include "linear/TwoOfFive.h"

TwoOfFive::TwoOfFive(SDL_Renderer* renderer, const linear::TwoOfFiveVariant& variant)
    : BarcodeBase1D(renderer), m_variant(variant)
{}

TwoOfFive::TwoOfFive(const std::string& outputFormat, const linear::TwoOfFiveVariant& variant)
    : BarcodeBase1D(outputFormat), m_variant(variant)
{}

std::vector<int> TwoOfFive::Encode(const std::string& text) const
{
    return linear::EncodeTwoOfFive(text, m_variant);
}

BarcodeBase1D::LinearEncoder TwoOfFive::Encoder(const std::string& text) const
{
    return [this, &text] { return LinearSymbol{Encode(text), text}; };
}

bool TwoOfFive::Draw(const std::string& text, int x, int y, int width, int height)
{
    if (IsSvgOutput()) {
        return DrawSvg(text, x, y, width, height);
    }
    return DrawLinear(Target::Raster, m_variant.tag, Encoder(text), x, y, width, height);
}

bool TwoOfFive::DrawSvg(const std::string& text, int x, int y, int width, int height)
{
    return DrawLinear(Target::Svg, m_variant.tag, Encoder(text), x, y, width, height);
}

Matrix2of5::Matrix2of5(SDL_Renderer* renderer) : TwoOfFive(renderer, linear::kMatrix2of5) {}

Matrix2of5::Matrix2of5(const std::string& outputFormat) : TwoOfFive(outputFormat, linear::kMatrix2of5) {}

NEC2of5::NEC2of5(SDL_Renderer* renderer) : TwoOfFive(renderer, linear::kNEC2of5) {}

NEC2of5::NEC2of5(const std::string& outputFormat) : TwoOfFive(outputFormat, linear::kNEC2of5) {}
