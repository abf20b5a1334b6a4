// SPDX-License-Identifier: MIT
#pragma once

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

// Helpers shared by the tests of the basic linear symbologies.
namespace lineartest {

inline long long Sum(const std::vector<int>& widths)
{
    return std::accumulate(widths.begin(), widths.end(), 0LL);
}

// Widths written as one digit each, e.g. {1, 3, 1} -> "131".
inline std::string Digits(const std::vector<int>& widths)
{
    std::string s;
    for (int w : widths) {
        s += std::to_string(w);
    }
    return s;
}

// PNG bytes of a raster draw, or empty when the draw fails.
template <class Symbol>
std::vector<std::uint8_t> DrawPng(Symbol& symbol, const std::string& text, int width, int height)
{
    if (!symbol.Draw(text, 0, 0, width, height)) {
        return {};
    }
    return symbol.GetImageMemory();
}

// The SVG document of a draw in "svg" mode, or "" when the draw fails.
template <class Symbol>
std::string DrawSvg(const std::string& text, int width, int height, bool showText = true)
{
    Symbol symbol("svg");
    symbol.SetShowText(showText);
    if (!symbol.Draw(text, 0, 0, width, height)) {
        return {};
    }
    return symbol.GetSvg();
}

// The texts of the <text> elements of an SVG document, joined.
inline std::string SvgTexts(const std::string& svg)
{
    std::string joined;
    size_t pos = 0;
    while ((pos = svg.find("<text ", pos)) != std::string::npos) {
        const size_t open = svg.find('>', pos);
        const size_t close = svg.find("</text>", open);
        if (open == std::string::npos || close == std::string::npos) {
            break;
        }
        joined += svg.substr(open + 1, close - open - 1);
        pos = close;
    }
    return joined;
}

inline size_t Count(const std::string& haystack, const std::string& needle)
{
    size_t n = 0;
    for (size_t pos = haystack.find(needle); pos != std::string::npos; pos = haystack.find(needle, pos + 1)) {
        ++n;
    }
    return n;
}

// The line a failed draw prints on standard error.
template <class Symbol>
std::string FailureLine(const std::string& text)
{
    Symbol symbol("png");
    testsupport::CapturedOutput captured;
    const bool drawn = symbol.Draw(text, 0, 0, 300, 100);
    captured.Finish();
    EXPECT_FALSE(drawn) << text;
    return captured.Err();
}

} // namespace lineartest
