// SPDX-License-Identifier: MIT
#include "linear/Code93.h"

#include "linear/Code39Encoder.h"
#include "linear/Code93Encoder.h"

namespace {
constexpr char kTag[] = "[Code93] ";
}

Code93::Code93(SDL_Renderer* renderer) : BarcodeBase1D(renderer) {}

Code93::Code93(const std::string& outputFormat) : BarcodeBase1D(outputFormat) {}

std::vector<int> Code93::EncodeCode93(const std::string& text)
{
    return linear::EncodeCode93(text);
}

int Code93::GetModulus47(const std::string& data, int maxWeight)
{
    return linear::GetModulus47(data, maxWeight);
}

BarcodeBase1D::LinearEncoder Code93::Encoder(const std::string& text)
{
    // The printed text is what the bars carry: lower case is encoded as upper case.
    return [this, &text] { return LinearSymbol{EncodeCode93(text), linear::UpperAscii(text)}; };
}

bool Code93::Draw(const std::string& text, int x, int y, int width, int height)
{
    if (IsSvgOutput()) {
        return DrawSvg(text, x, y, width, height);
    }
    return DrawLinear(Target::Raster, kTag, Encoder(text), x, y, width, height);
}

bool Code93::DrawSvg(const std::string& text, int x, int y, int width, int height)
{
    return DrawLinear(Target::Svg, kTag, Encoder(text), x, y, width, height);
}
