// SPDX-License-Identifier: MIT
#include "postal/YubinCustomer.h"

#include "core/Limits.h"
#include "core/Log.h"
#include "core/Numeric.h"
#include "postal/YubinEncoder.h"

#include <algorithm>
#include <cstdio>

YubinCustomer::YubinCustomer(SDL_Renderer* renderer) : BarcodeBase1D(renderer)
{
    m_barHeight = 0.0f;
}

YubinCustomer::YubinCustomer(const std::string& outputFormat) : BarcodeBase1D(outputFormat)
{
    m_barHeight = 0.0f;
}

int YubinCustomer::SymbolWidth(int height)
{
    const float h = static_cast<float>(height);
    return numeric::TruncToInt(67.0f * h / 3.0f + h / 6.0f + 1.0f);
}

bool YubinCustomer::Admit(const std::string& text, int height) const
{
    std::string problem;
    if (height < 1) {
        problem = "Invalid height " + std::to_string(height);
    } else if (text.empty()) {
        problem = "Empty text";
    } else if (postal::NormaliseYubinText(text).empty()) {
        problem = "No character of the text can be encoded";
    } else if (const int positions = postal::YubinPositions(postal::NormaliseYubinText(text));
               positions > postal::kYubinDataPositions) {
        // Cutting the address would print a barcode for another address.
        problem = "Text needs " + std::to_string(positions) + " data positions; the barcode holds "
                  + std::to_string(postal::kYubinDataPositions);
    } else {
        const double h = static_cast<double>(height);
        problem = limits::CanvasProblem(static_cast<std::int64_t>(67.0 * h / 3.0 + h / 6.0 + 1.0), height);
    }
    if (!problem.empty()) {
        barcode_log::Error(barcode_log::Stream::Err, "[YubinCustomer] " + problem);
    }
    return problem.empty();
}

void YubinCustomer::WriteBar(Target target, const std::string& code, float x)
{
    if (code.size() != 1) {
        return;
    }
    const float h = m_barHeight;
    const float third = h - 2.0f * h / 3.0f;
    const float width = std::max(h / 6.0f + static_cast<float>(m_pxAdjustBlack), 1.0f);
    switch (code[0]) {
    case '1': FillRect(target, x, m_barTop, width, h); break;
    case '2': FillRect(target, x, m_barTop, width, 2.0f * h / 3.0f); break;
    case '3': FillRect(target, x, m_barTop + third, width, 2.0f * h / 3.0f); break;
    case '4': FillRect(target, x, m_barTop + third, width, h / 3.0f); break;
    default: break;
    }
}

void YubinCustomer::PaintSymbol(Target target, const std::string& bars, float x)
{
    const float pitch = m_barHeight / 3.0f;
    float cursor = x;
    for (char code : bars) {
        WriteBar(target, std::string(1, code), cursor);
        cursor += pitch;
    }
}

bool YubinCustomer::BarsFit(Target target, const std::string& bars, int x, int height) const
{
    // PaintSymbol's arithmetic: the last bar starts one pitch after the one before it.
    const float pitch = m_barHeight / 3.0f;
    float cursor = static_cast<float>(x);
    for (size_t i = 1; i < bars.size(); ++i) {
        cursor += pitch;
    }
    const float width = std::max(m_barHeight / 6.0f + static_cast<float>(m_pxAdjustBlack), 1.0f);
    if (width >= pitch && bars.size() > 1) {
        char line[200];
        std::snprintf(line, sizeof(line),
                      "[YubinCustomer] Bars %.4g pixels wide at a pitch of %.4g pixels touch (height %d, black pixel "
                      "adjustment %d)",
                      static_cast<double>(width), static_cast<double>(pitch), height, m_pxAdjustBlack);
        barcode_log::Error(barcode_log::Stream::Err, line);
        return false;
    }
    return SymbolFits(target, "[YubinCustomer] ", static_cast<float>(x), cursor + width, x, SymbolWidth(height), true);
}

bool YubinCustomer::Draw(const std::string& text, int x, int y, int /*width*/, int height)
{
    return Draw(text, x, y, height);
}

bool YubinCustomer::Draw(const std::string& text, int x, int y, int height)
{
    if (!Admit(text, height)) {
        return false;
    }
    if (IsSvgOutput()) {
        return DrawSvg(text, x, y, 0, height);
    }
    m_barHeight = static_cast<float>(height);
    m_barTop = static_cast<float>(y);
    if (!BarcodeBase::Draw(text, x, y, SymbolWidth(height), height) || Canvas() == nullptr) {
        return false;
    }
    ClearCanvas();
    const postal::YubinBars symbol = postal::EncodeYubin(text);
    if (!BarsFit(Target::Raster, symbol.bars, x, height)) {
        return false;
    }
    PaintSymbol(Target::Raster, symbol.bars, static_cast<float>(x));
    SDL_RenderPresent(Canvas());
    if (barcode_log::Verbose()) {
        barcode_log::Progress(barcode_log::Stream::Out, "YubinCustomer: " + text + " (h=" + std::to_string(height)
                                                            + ", CD=" + std::to_string(symbol.checkValue) + ")");
    }
    return true;
}

bool YubinCustomer::DrawSvg(const std::string& text, int x, int y, int /*width*/, int height)
{
    if (!Admit(text, height)) {
        return false;
    }
    m_barHeight = static_cast<float>(height);
    m_barTop = static_cast<float>(y);
    const postal::YubinBars symbol = postal::EncodeYubin(text);
    if (!BarsFit(Target::Svg, symbol.bars, x, height)) {
        return false;
    }
    const int width = SymbolWidth(height);
    SvgBegin(width, height);
    SvgRect(0, 0, static_cast<float>(width), static_cast<float>(height), m_backgroundColor);
    PaintSymbol(Target::Svg, symbol.bars, static_cast<float>(x));
    SvgEnd();
    return true;
}
