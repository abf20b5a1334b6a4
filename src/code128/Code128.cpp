// SPDX-License-Identifier: MIT
#include "code128/Code128.h"

#include <stdexcept>

namespace {
constexpr char kTag[] = "[Code128] ";
}

Code128::Code128(SDL_Renderer* renderer) : BarcodeBase1D(renderer) {}

Code128::Code128(const std::string& outputFormat) : BarcodeBase1D(outputFormat) {}

std::vector<int> Code128::EncodeSingleSet(const std::string& text, code128::CodeSet128 set) const
{
    return code128::EncodeSingleSet(text, set);
}

std::vector<int> Code128::EncodeAuto(const std::string& text) const
{
    return code128::EncodeAuto(text);
}

std::vector<int> Code128::EncodeCode128(const std::string& text)
{
    if (text.empty()) {
        throw std::runtime_error("Empty string");
    }
    switch (m_codeMode) {
    case 0:
    case 1:
    case 2: return EncodeSingleSet(text, static_cast<code128::CodeSet128>(m_codeMode));
    case 3: return EncodeAuto(text);
    default: throw std::runtime_error("Invalid CodeMode");
    }
}

BarcodeBase1D::LinearEncoder Code128::Encoder(const std::string& text)
{
    return [this, &text] { return LinearSymbol{EncodeCode128(text), text}; };
}

bool Code128::Draw(const std::string& text, int x, int y, int width, int height)
{
    if (IsSvgOutput()) {
        return DrawSvg(text, x, y, width, height);
    }
    return DrawLinear(Target::Raster, kTag, Encoder(text), x, y, width, height);
}

bool Code128::DrawSvg(const std::string& text, int x, int y, int width, int height)
{
    return DrawLinear(Target::Svg, kTag, Encoder(text), x, y, width, height);
}
