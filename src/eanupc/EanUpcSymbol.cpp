// SPDX-License-Identifier: MIT
#include "eanupc/EanUpcSymbol.h"

#include "core/Log.h"
#include "core/Numeric.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

using barcode_log::Stream;

// The height of the text band the extended style reserves, in pixels.
float TextBand(int height, float fontScale)
{
    return static_cast<float>(height) * 0.2f * fontScale;
}

} // namespace

EanUpcSymbol::EanUpcSymbol(SDL_Renderer* renderer, const Layout& layout) : BarcodeBase1D(renderer), m_layout(layout) {}

EanUpcSymbol::EanUpcSymbol(const std::string& outputFormat, const Layout& layout)
    : BarcodeBase1D(outputFormat), m_layout(layout)
{}

bool EanUpcSymbol::Draw(const std::string& text, int x, int y, int width, int height)
{
    if (IsSvgOutput()) {
        return DrawSvg(text, x, y, width, height);
    }
    return DrawStyled(Target::Raster, text, x, y, width, height);
}

bool EanUpcSymbol::DrawSvg(const std::string& text, int x, int y, int width, int height)
{
    return DrawStyled(Target::Svg, text, x, y, width, height);
}

bool EanUpcSymbol::DrawStyled(Target target, const std::string& text, int x, int y, int width, int height)
{
    if (m_extendedGuard) {
        return DrawExtended(target, text, x, y, width, height);
    }
    return DrawLinear(
        target, m_layout.tag, [this, &text] { return Prepare(text); }, x, y, width, height);
}

bool EanUpcSymbol::DrawExtended(Target target, const std::string& text, int x, int y, int width, int height)
{
    if (!BeginLinearDraw(target, m_layout.tag, x, y, width, height)) {
        return false;
    }
    if (m_showText && m_textFontScale < 0.0f) {
        // The text band sets the margins and guard lengths: a negative one would move the
        // bars out of the box.
        barcode_log::Error(Stream::Err, std::string(m_layout.tag) + "Text font scale must not be negative");
        return false;
    }
    LinearSymbol symbol;
    try {
        symbol = Prepare(text);
    } catch (const std::exception& e) {
        barcode_log::Error(Stream::Err, std::string(m_layout.tag) + e.what());
        return false;
    }
    // Raster geometry keeps whole pixels where SVG keeps fractions.
    const bool raster = target == Target::Raster;
    const auto snap = [raster](float v) { return raster ? std::trunc(v) : v; };

    const float band = TextBand(height, m_textFontScale);
    const float left = m_showText ? band * m_layout.leftMargin : 0.0f;
    const float right = m_showText ? band * m_layout.rightMargin : 0.0f;
    const float share = (static_cast<float>(width) - left - right) / static_cast<float>(m_layout.modules);
    bool centred = false;
    const float module = ModuleFromShare(target, share, &centred);
    float origin = static_cast<float>(x) + (m_layout.snapRasterOrigin ? snap(left) : left);
    if (centred) {
        // Whole-pixel modules sit in the middle of the room between the margins.
        const float slack = share * static_cast<float>(m_layout.modules) - BarsEnd(symbol.widths, 0.0f, module);
        origin += std::max(std::floor(slack / 2.0f), 0.0f);
    }
    if (!SymbolFits(target, m_layout.tag, origin, BarsEnd(symbol.widths, origin, module), x, width, true)) {
        return false;
    }

    const float dataHeight = snap(m_barHeight);
    const float guardHeight = m_showText ? dataHeight + snap(band * m_layout.guardExtension) : snap(dataHeight * 1.05f);
    std::vector<bool> guardElement;
    std::vector<size_t> zoneFirst; // index of each zone's first element, then the element count
    for (const Zone& zone : m_layout.zones) {
        zoneFirst.push_back(guardElement.size());
        guardElement.insert(guardElement.end(), static_cast<size_t>(zone.elements), zone.guard);
    }
    zoneFirst.push_back(guardElement.size());
    if (guardElement.size() != symbol.widths.size()) {
        barcode_log::Error(Stream::Err, std::string(m_layout.tag) + "Unexpected element count "
                                            + std::to_string(symbol.widths.size()));
        return false;
    }

    if (target == Target::Svg) {
        SvgBegin(width, height);
        SvgRect(0, 0, static_cast<float>(width), static_cast<float>(height), m_backgroundColor);
    }
    std::vector<float> starts;
    const float end = PaintBars(
        target, symbol.widths, origin, static_cast<float>(y), module,
        [&](size_t i) { return guardElement[i] ? guardHeight : dataHeight; }, &starts);
    m_lastDrawnWidth = end - origin;
    if (m_showText) {
        std::vector<float> zoneStarts;
        for (size_t first : zoneFirst) {
            zoneStarts.push_back(starts[first]);
        }
        if (!PaintExtendedText(target, symbol.displayText, zoneStarts, end, x, y, height)) {
            return false;
        }
    }
    if (target == Target::Svg) {
        SvgEnd();
    } else {
        SDL_RenderPresent(Canvas());
    }
    return true;
}

bool EanUpcSymbol::PaintExtendedText(Target target, const std::string& digits, const std::vector<float>& zoneStarts,
                                     float xEnd, int x, int y, int height)
{
    const int size = LargestFittingSize(ComputeTextMetrics(height).fontSize, [&](int candidate, bool last) {
        return LayOutExtendedText(target, digits, zoneStarts, xEnd, x, y, height, candidate, false, last);
    });
    return size != 0 && LayOutExtendedText(target, digits, zoneStarts, xEnd, x, y, height, size, true, false);
}

bool EanUpcSymbol::LayOutExtendedText(Target target, const std::string& digits, const std::vector<float>& zoneStarts,
                                      float xEnd, int x, int y, int height, int rasterSize, bool paint, bool last)
{
    const bool raster = target == Target::Raster;
    const auto snap = [raster](float v) { return raster ? std::trunc(v) : v; };
    const float band = TextBand(height, m_textFontScale);
    // Below the smallest designed size, the SVG text shrinks with the raster text.
    const int svgSize = std::max(static_cast<int>(static_cast<float>(rasterSize) * 0.8f), std::min(rasterSize, 8));
    const long long gap =
        std::max<long long>(numeric::SaturatingCast<long long>(static_cast<float>(height) * 0.03f * m_textGap), 1);

    // Raster text is measured on the font; SVG text is placed by a 0.6 em estimate and anchors.
    TTF_Font* font = nullptr;
    FontLease fontLock; // the thread's fonts: held until the text is done
    float digitWidth = static_cast<float>(svgSize) * 0.6f;
    float top = m_barHeight + static_cast<float>(y) + static_cast<float>(gap);
    if (raster) {
        fontLock = LockFonts();
        font = CachedFont(rasterSize);
        if (font == nullptr) {
            if (paint) {
                barcode_log::Error(Stream::Err, std::string("TTF_OpenFont error: ") + SDL_GetError());
            }
            return true;
        }
        UseHinting(font, TTF_HINTING_MONO);
        int w = 0;
        int h = 0;
        digitWidth = static_cast<float>(MeasureText(font, rasterSize, "0", &w, &h) ? w : rasterSize / 2);
        top = std::trunc(m_barHeight + static_cast<float>(y)
                         + (m_layout.rasterTextBelowGap ? static_cast<float>(gap) : 0.0f));
    }

    // What the placed text covers: raster ink, or the SVG text's advance from its top.
    double left = 0.0;
    double right = 0.0;
    double inkTop = 0.0;
    double inkBottom = 0.0;
    const auto cover = [&](double l, double r, double t, double b) {
        if (r <= l) {
            return;
        }
        const bool first = right <= left;
        left = first ? l : std::min(left, l);
        right = first ? r : std::max(right, r);
        inkTop = first ? t : std::min(inkTop, t);
        inkBottom = first ? b : std::max(inkBottom, b);
    };
    // Draws `s` with its left edge at `left`, or centred on `centre`.
    const auto place = [&](const std::string& s, float at, bool centred) {
        if (!raster) {
            if (paint) {
                SvgText(at, top, s, svgSize, m_foregroundColor, centred ? "middle" : "start");
            } else {
                const double w = SvgTextWidth(s, svgSize);
                const double l = centred ? at - w / 2.0 : at;
                cover(l, l + w, top, top + svgSize);
            }
            return;
        }
        std::string key;
        SDL_Surface* glyphs = RenderPiece(font, rasterSize, s, &key);
        if (glyphs == nullptr) {
            return;
        }
        const long long leftEdge = numeric::SaturatingCast<long long>(at) - (centred ? glyphs->w / 2 : 0);
        if (paint) {
            BlitText(glyphs, numeric::ClampToInt(leftEdge), numeric::TruncToInt(top), key);
            return;
        }
        SDL_Rect ink{};
        if (InkBox(glyphs, &ink)) {
            const double l = static_cast<double>(leftEdge) + ink.x;
            const double t = static_cast<double>(numeric::TruncToInt(top)) + ink.y;
            cover(l, l + ink.w, t, t + ink.h);
        }
    };
    const auto byteAt = [&digits](int i) {
        return (i >= 0 && static_cast<size_t>(i) < digits.size()) ? digits.substr(static_cast<size_t>(i), 1)
                                                                  : std::string();
    };

    if (!byteAt(m_layout.leadingByte).empty()) {
        place(byteAt(m_layout.leadingByte), static_cast<float>(x) + (raster ? 0.0f : digitWidth * 0.3f), false);
    }
    for (const Group& group : m_layout.groups) {
        if (static_cast<size_t>(group.firstByte + group.count) > digits.size()) {
            continue;
        }
        const float a = snap(zoneStarts[static_cast<size_t>(group.fromZone)] + band * m_layout.groupInset);
        const float b = snap(zoneStarts[static_cast<size_t>(group.toZone)] - band * m_layout.groupInset);
        const float avail = (b - a) - 2.0f * digitWidth;
        const bool room = raster ? avail >= 1.0f || m_layout.rasterCrowdedGroups : avail > 0.0f;
        if (!room) {
            continue;
        }
        if (!m_textEvenSpacing) {
            const float centre = raster ? a + std::trunc((b - a) / 2.0f) : a + (b - a) * 0.5f;
            place(digits.substr(static_cast<size_t>(group.firstByte), static_cast<size_t>(group.count)), centre, true);
            continue;
        }
        const float step = std::max(avail, 0.0f) / static_cast<float>(std::max(group.count - 1, 1));
        for (int i = 0; i < group.count; ++i) {
            place(byteAt(group.firstByte + i), a + digitWidth + snap(step * static_cast<float>(i)), true);
        }
    }
    if (!byteAt(m_layout.trailingByte).empty()) {
        const float margin = band * m_layout.rightMargin;
        const float at = raster ? std::trunc(xEnd) + std::trunc(margin) - digitWidth : xEnd + digitWidth * 0.7f;
        place(byteAt(m_layout.trailingByte), at, false);
    }
    return paint || TextFitsBox(left, right, inkTop, inkBottom, last);
}
