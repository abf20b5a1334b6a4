// SPDX-License-Identifier: MIT
#include "linear/ITF.h"

#include "linear/ITFEncoder.h"

namespace {
constexpr char kTag[] = "[ITF] ";
}

ITF::ITF(SDL_Renderer* renderer) : BarcodeBase1D(renderer) {}

ITF::ITF(const std::string& outputFormat) : BarcodeBase1D(outputFormat) {}

std::vector<int> ITF::EncodeITF(const std::string& text) const
{
    return linear::EncodeITF(text);
}

BarcodeBase1D::LinearEncoder ITF::Encoder(const std::string& text) const
{
    return [this, &text] { return LinearSymbol{EncodeITF(text), text}; };
}

bool ITF::Draw(const std::string& text, int x, int y, int width, int height)
{
    if (IsSvgOutput()) {
        return DrawSvg(text, x, y, width, height);
    }
    return DrawLinear(Target::Raster, kTag, Encoder(text), x, y, width, height);
}

bool ITF::DrawSvg(const std::string& text, int x, int y, int width, int height)
{
    return DrawLinear(Target::Svg, kTag, Encoder(text), x, y, width, height);
}
