// SPDX-License-Identifier: MIT
#include "pdf417/PDF417.h"

#include "core/Limits.h"
#include "core/Numeric.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

using internal_pdf417::SizeKind;

constexpr char kTag[] = "[PDF417] ";

// The engine's size kind of a size mode; false for a value outside the four modes.
bool SizeKindOf(PDF417SizeMode mode, SizeKind* kind)
{
    switch (mode) {
    case PDF417SizeMode::Auto: *kind = SizeKind::Auto; return true;
    case PDF417SizeMode::Rows: *kind = SizeKind::Rows; return true;
    case PDF417SizeMode::Columns: *kind = SizeKind::Columns; return true;
    case PDF417SizeMode::ColumnsAndRows: *kind = SizeKind::ColumnsAndRows; return true;
    }
    return false;
}

} // namespace

PDF417::PDF417(SDL_Renderer* renderer) : BarcodeBase2D(renderer) {}

PDF417::PDF417(const std::string& outputFormat) : BarcodeBase2D(outputFormat) {}

void PDF417::SetColumns(int columns)
{
    if (static_cast<unsigned>(columns) <= 30u) {
        m_columns = columns;
    }
}

void PDF417::SetRows(int rows)
{
    if (static_cast<unsigned>(rows) <= 90u) {
        m_rows = rows;
    }
}

void PDF417::SetAspectRatio(double ratio)
{
    if (ratio >= 0.001 && ratio <= 1000.0) {
        m_aspectRatio = ratio;
    }
}

void PDF417::SetYHeight(int height)
{
    if (height >= 1) {
        m_yHeight = height;
    }
}

void PDF417::SetQuietZoneWidth(int width)
{
    m_quietZoneWidth = std::max(width, 0);
}

void PDF417::SetUseAutoErrorLevel(bool on)
{
    m_useAutoErrorLevel = on;
    m_engineAutoErrorLevel = on;
}

void PDF417::ApplySettingsToInternal()
{
    SizeKindOf(m_sizeMode, &m_engineSizeKind);
    m_engineAutoErrorLevel = m_useAutoErrorLevel;
}

internal_pdf417::LayoutSettings PDF417::EngineSettings() const
{
    internal_pdf417::LayoutSettings settings;
    settings.errorLevel = static_cast<int>(m_errorLevel);
    settings.columns = m_columns;
    settings.rows = m_rows;
    settings.aspectRatio = m_aspectRatio;
    settings.yHeight = m_yHeight;
    settings.useAutoErrorLevel = m_engineAutoErrorLevel;
    settings.sizeKind = m_engineSizeKind;
    return settings;
}

ModuleMatrix PDF417::CalPDF417(const std::string& text)
{
    return CalPDF417(std::vector<std::uint8_t>(text.begin(), text.end()));
}

ModuleMatrix PDF417::CalPDF417(const std::vector<std::uint8_t>& data)
{
    return internal_pdf417::Encode(data, EngineSettings()).modules;
}

bool PDF417::DrawSymbol(Target target, const std::vector<std::uint8_t>& data, int x, int y, int width, int height)
{
    ApplySettingsToInternal();
    const ModuleMatrix modules = internal_pdf417::Encode(data, EngineSettings()).modules;
    if (modules.empty()) {
        return false;
    }
    const int bitColumns = modules.width;
    const int rows = modules.height;
    // A square request keeps its height and takes the natural width: rows of y-height modules,
    // but never less than one pixel a module, so that the symbol is not cut on the right where
    // the height is less than y-height pixels a row.
    int w = width;
    if (width == height) {
        const double moduleHeight = m_yHeight < 1 ? 3.0 : static_cast<double>(m_yHeight);
        w = numeric::SaturatingCast<int>(std::round(static_cast<double>(width) * bitColumns / (moduleHeight * rows)));
        w = std::max(w, bitColumns);
    }
    Box box{x, y, w, height};
    if (target == Target::Raster) {
        if (!BeginRaster2D(Box{x, y, w, height}, &box, false)) {
            return false;
        }
    } else if (w <= 0 || height <= 0) {
        // Like the engine's own errors, the reason leaves as an exception.
        throw std::length_error(limits::CanvasProblem(w, height));
    }

    // Whole-pixel pitch (at least one) unless fit width keeps the fraction.
    float px = static_cast<float>(std::max(box.width / bitColumns, 1));
    float py = static_cast<float>(std::max(box.height / rows, 1));
    int offsetX = 0;
    int offsetY = 0;
    if (m_fitWidth) {
        bool centredX = false;
        bool centredY = false;
        px = FitPitch(target, static_cast<float>(box.width) / static_cast<float>(bitColumns), &centredX);
        py = FitPitch(target, static_cast<float>(box.height) / static_cast<float>(rows), &centredY);
        offsetX = centredX ? CentringOffset(box.width, px * static_cast<float>(bitColumns)) : 0;
        offsetY = centredY ? CentringOffset(box.height, py * static_cast<float>(rows)) : 0;
    }
    ModuleLayout layout;
    if (target == Target::Svg && m_fitWidth) {
        // Fractional SVG edges as a share of the whole box.
        const auto share = [](int size, int count) {
            std::vector<float> edges(static_cast<size_t>(count) + 1);
            for (int i = 0; i <= count; ++i) {
                edges[static_cast<size_t>(i)] =
                    static_cast<float>(size) * static_cast<float>(i) / static_cast<float>(count);
            }
            return edges;
        };
        layout.xEdges = share(box.width, bitColumns);
        layout.yEdges = share(box.height, rows);
    } else {
        layout.xEdges = Edges(target, box.x + offsetX, px, bitColumns);
        layout.yEdges = Edges(target, box.y + offsetY, py, rows);
    }
    // The black pixel adjustment does not apply. Never a cut symbol: every module must lie
    // inside the box.
    const int boxX = target == Target::Svg ? 0 : box.x;
    const int boxY = target == Target::Svg ? 0 : box.y;
    if (!SymbolFits(target, kTag, layout.xEdges.front(), layout.xEdges.back(), boxX, box.width, true)
        || !SymbolFits(target, kTag, layout.yEdges.front(), layout.yEdges.back(), boxY, box.height, false)) {
        return false;
    }
    BeginModules(target, box);
    if (target == Target::Svg) {
        PaintSvgRuns(modules, layout);
    } else {
        PaintModules(target, modules, layout);
    }
    EndModules(target);
    return true;
}

void PDF417::PaintSvgRuns(const ModuleMatrix& modules, const ModuleLayout& layout)
{
    const auto edge = [](const std::vector<float>& edges, int i) { return edges[static_cast<size_t>(i)]; };
    for (int r = 0; r < modules.height; ++r) {
        const float top = edge(layout.yEdges, r);
        const float h = edge(layout.yEdges, r + 1) - top;
        for (int c = 0; c < modules.width;) {
            if (!modules.get(c, r)) {
                ++c;
                continue;
            }
            int end = c + 1;
            while (end < modules.width && modules.get(end, r)) {
                ++end;
            }
            const float left = edge(layout.xEdges, c);
            const float w = edge(layout.xEdges, end) - left;
            if (w > 0.0f && h > 0.0f) {
                FillRect(Target::Svg, left, top, w, h, m_foregroundColor);
            }
            c = end;
        }
    }
}
