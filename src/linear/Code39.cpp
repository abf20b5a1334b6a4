// SPDX-License-Identifier: MIT
#include "linear/Code39.h"

#include "core/Log.h"
#include "linear/Code39Encoder.h"

#include <sstream>

namespace {
constexpr char kTag[] = "[Code39] ";
}

Code39::Code39(SDL_Renderer* renderer) : BarcodeBase1D(renderer) {}

Code39::Code39(const std::string& outputFormat) : BarcodeBase1D(outputFormat) {}

std::vector<int> Code39::EncodeCode39(const std::string& text) const
{
    return linear::EncodeCode39(text);
}

BarcodeBase1D::LinearEncoder Code39::Encoder(const std::string& text) const
{
    return [this, &text] {
        // The printed text is what the bars carry: lower case is encoded as upper case.
        const std::string shown = linear::UpperAscii(text);
        return LinearSymbol{EncodeCode39(text), m_showStartStop ? "*" + shown + "*" : shown};
    };
}

bool Code39::Draw(const std::string& text, int x, int y, int width, int height)
{
    if (IsSvgOutput()) {
        return DrawSvg(text, x, y, width, height);
    }
    if (!DrawLinear(Target::Raster, kTag, Encoder(text), x, y, width, height)) {
        return false;
    }
    if (barcode_log::Verbose()) {
        using barcode_log::Stream;
        barcode_log::Progress(Stream::Out,
                              "指定サイズ: width=" + std::to_string(width) + ", height=" + std::to_string(height));
        std::ostringstream drawn;
        drawn << "実際の描画サイズ: width=" << m_lastDrawnWidth;
        barcode_log::Progress(Stream::Out, drawn.str());
        if (Surface() != nullptr) {
            barcode_log::Progress(Stream::Out, "サーフェスサイズ: width=" + std::to_string(Surface()->w)
                                                   + ", height=" + std::to_string(Surface()->h));
        }
    }
    return true;
}

bool Code39::DrawSvg(const std::string& text, int x, int y, int width, int height)
{
    return DrawLinear(Target::Svg, kTag, Encoder(text), x, y, width, height);
}
