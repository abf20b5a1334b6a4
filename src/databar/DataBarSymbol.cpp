// SPDX-License-Identifier: MIT
#include "databar/DataBarSymbol.h"

#include "core/Log.h"
#include "core/Numeric.h"

#include <algorithm>
#include <numeric>

namespace databar {

long long RowModules(const std::vector<int>& runs)
{
    return std::accumulate(runs.begin(), runs.end(), 0LL);
}

} // namespace databar

namespace {

// The gap between a stack and its text, per pixel of box height.
float StackGapFactor(int height)
{
    if (height < 50) {
        return 0.02f;
    }
    return height <= 200 ? 0.03f : 0.04f;
}

} // namespace

std::vector<float> DataBarSymbol::StackHeights(const std::vector<int>& values, int height, float module) const
{
    const float h = static_cast<float>(height);
    const long long textHeight = std::max(8, numeric::TruncToInt(FontFactor(height) * h * m_textFontScale));
    const long long gap = std::max(1, numeric::TruncToInt(StackGapFactor(height) * h * m_textGap));
    const float available = static_cast<float>(std::max(height - textHeight - gap, 10LL));

    std::vector<float> heights;
    const auto shared = std::count(values.begin(), values.end(), -1);
    if (shared == 0) {
        // Rows in proportion to their values.
        const long long total = std::max(std::accumulate(values.begin(), values.end(), 0LL), 1LL);
        for (int v : values) {
            heights.push_back(available / static_cast<float>(total) * static_cast<float>(v));
        }
        return heights;
    }
    float fixed = 0.0f;
    for (int v : values) {
        if (v != -1) {
            fixed += module * static_cast<float>(v);
        }
    }
    const float share = std::max((available - fixed) / static_cast<float>(shared), 1.0f);
    for (int v : values) {
        heights.push_back(v == -1 ? share : module * static_cast<float>(v));
    }
    return heights;
}

float DataBarSymbol::RowEnd(const std::vector<int>& runs, float x, float module) const
{
    // PaintRow's arithmetic without painting: the x just past the row's last bar.
    size_t first = 0;
    if (runs.size() >= 2 && runs[0] == 0) {
        float space = std::max(module * static_cast<float>(runs[1]), 1.0f) + static_cast<float>(m_pxAdjustWhite);
        x += std::max(space, 1.0f);
        first = 2;
    }
    const std::vector<int> elements(runs.begin() + static_cast<long>(std::min(first, runs.size())), runs.end());
    return BarsEnd(elements, x, module);
}

float DataBarSymbol::PaintRow(Target target, const std::vector<int>& runs, float x, float y, float module,
                              float rowHeight)
{
    size_t first = 0;
    if (runs.size() >= 2 && runs[0] == 0) {
        // The row begins light: step over the first space as the bars below would.
        float space = std::max(module * static_cast<float>(runs[1]), 1.0f) + static_cast<float>(m_pxAdjustWhite);
        x += std::max(space, 1.0f);
        first = 2;
    }
    const std::vector<int> elements(runs.begin() + static_cast<long>(std::min(first, runs.size())), runs.end());
    return PaintBars(target, elements, x, y, module, rowHeight);
}

bool DataBarSymbol::Draw(const std::string& text, int x, int y, int width, int height)
{
    if (IsSvgOutput()) {
        return DrawSvg(text, x, y, width, height);
    }
    return DrawRows(
        Target::Raster, Tag(), [&] { return EncodeRows(text); }, x, y, width, height);
}

bool DataBarSymbol::DrawSvg(const std::string& text, int x, int y, int width, int height)
{
    return DrawRows(
        Target::Svg, Tag(), [&] { return EncodeRows(text); }, x, y, width, height);
}

bool DataBarSymbol::DrawRows(Target target, const char* tag, const RowEncoder& encode, int x, int y, int width,
                             int height)
{
    if (!BeginLinearDraw(target, tag, x, y, width, height)) {
        return false;
    }
    databar::RowSymbol symbol;
    try {
        symbol = encode();
    } catch (const std::exception& e) {
        barcode_log::Error(barcode_log::Stream::Err, std::string(tag) + e.what());
        return false;
    }
    if (symbol.rows.empty()) {
        return false;
    }
    const bool stacked = symbol.rows.size() > 1;
    if (stacked) {
        InitLinerBarcode(width, height, static_cast<int>(symbol.rows.size()));
    }
    long long modules = 0;
    for (const std::vector<int>& row : symbol.rows) {
        modules = std::max(modules, databar::RowModules(row));
    }
    bool centred = false;
    const float module = ModuleWidth(target, width, modules, &centred);
    // The rows as they will be painted: a symbol that does not fit its box is not drawn.
    const std::vector<float> heights =
        stacked ? StackHeights(symbol.heights, height, module) : std::vector<float>{m_barHeight};
    float right = 0.0f;
    float depth = 0.0f;
    for (size_t r = 0; r < symbol.rows.size(); ++r) {
        right = std::max(right, RowEnd(symbol.rows[r], 0.0f, module));
        depth += r < heights.size() ? heights[r] : module;
    }
    float x0 = static_cast<float>(x);
    if (centred) {
        x0 += CentringOffset(width, right);
    }
    if (!SymbolFits(target, tag, x0, x0 + right, x, width, true)
        || !SymbolFits(target, tag, static_cast<float>(y), static_cast<float>(y) + depth, y, height, false)) {
        return false;
    }
    if (target == Target::Svg) {
        SvgBegin(width, height);
        SvgRect(0, 0, static_cast<float>(width), static_cast<float>(height), m_backgroundColor);
    }
    float textWidth = module * static_cast<float>(modules);
    if (!stacked) {
        const float end = PaintRow(target, symbol.rows.front(), x0, static_cast<float>(y), module, m_barHeight);
        if (!symbol.textSpansModules) {
            textWidth = end - x0;
        }
    } else {
        float rowTop = static_cast<float>(y);
        for (size_t r = 0; r < symbol.rows.size(); ++r) {
            const float rowHeight = r < heights.size() ? heights[r] : module;
            PaintRow(target, symbol.rows[r], x0, rowTop, module, rowHeight);
            rowTop += rowHeight;
        }
    }
    if (barcode_log::Verbose()) {
        barcode_log::Debug(barcode_log::Stream::Err, std::string("DEBUG ") + tag
                                                         + "rows=" + std::to_string(symbol.rows.size())
                                                         + " modules=" + std::to_string(modules));
    }
    if (!PaintText(target, symbol.text, numeric::TruncToInt(x0), y, numeric::TruncToInt(textWidth), height)) {
        return false;
    }
    if (target == Target::Svg) {
        SvgEnd();
    } else {
        SDL_RenderPresent(Canvas());
    }
    return true;
}
