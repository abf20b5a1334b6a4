// SPDX-License-Identifier: MIT
#include "linear/NW7.h"

#include "linear/NW7Encoder.h"

namespace {
constexpr char kTag[] = "[NW7] ";
}

NW7::NW7(SDL_Renderer* renderer) : BarcodeBase1D(renderer) {}

NW7::NW7(const std::string& outputFormat) : BarcodeBase1D(outputFormat) {}

std::vector<int> NW7::EncodeNW7(const std::string& text)
{
    return linear::EncodeNW7(text);
}

BarcodeBase1D::LinearEncoder NW7::Encoder(const std::string& text)
{
    return [this, &text] { return LinearSymbol{EncodeNW7(text), linear::NW7DisplayText(text, m_showStartStop)}; };
}

bool NW7::Draw(const std::string& text, int x, int y, int width, int height)
{
    if (IsSvgOutput()) {
        return DrawSvg(text, x, y, width, height);
    }
    return DrawLinear(Target::Raster, kTag, Encoder(text), x, y, width, height);
}

bool NW7::DrawSvg(const std::string& text, int x, int y, int width, int height)
{
    return DrawLinear(Target::Svg, kTag, Encoder(text), x, y, width, height);
}
