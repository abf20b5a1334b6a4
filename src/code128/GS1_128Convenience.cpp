// SPDX-License-Identifier: MIT
// The convenience-store payment barcode: a GS1-128 symbol of FNC1 and 44 digits in set C,
// with the digits printed in two fixed-format lines fitted to the box.
#include "code128/GS1_128.h"
#include "core/text/EmbeddedFont.h"
#include "core/Log.h"
#include "core/Numeric.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <stdexcept>

namespace {

using barcode_log::Stream;

constexpr char kTag[] = "[GS1-128 Convenience] ";
constexpr int kMinFontSize = 8;
constexpr long long kMinBarHeight = 10;

bool FontAvailable()
{
    return !BarcodeBase1D::GetFontPath().empty() || embedded_font::Data() != nullptr;
}

// Splits a line into one-character strings (the lines hold ASCII only).
std::vector<std::string> Characters(const std::string& line)
{
    std::vector<std::string> out;
    out.reserve(line.size());
    for (char c : line) {
        out.emplace_back(1, c);
    }
    return out;
}

// The line's width grows in proportion to the font size (hinting moves each glyph by under a
// pixel). After `size` measured `measured` > `width` pixels, the sizes above the proportional
// estimate plus a tenth and four points cannot fit: the search goes on from there, keeping the
// parity of the sizes it tries and not going below the last one it would have tried (8 or 9).
long long NextSizeWorthTrying(long long size, int width, int measured)
{
    const double estimate = static_cast<double>(size) * width / measured * 1.1 + 4.0;
    long long next = std::min(size - 2, numeric::SaturatingCast<long long>(estimate));
    if ((size - next) % 2 != 0) {
        --next;
    }
    const long long lowest = size % 2 == 0 ? 8 : 9;
    return std::max(next, std::min(lowest, size - 2));
}

} // namespace

bool GS1_128::DrawConvenience(const std::string& text, int x, int y, int width, int height)
{
    if (IsSvgOutput()) {
        return DrawConvenienceSvg(text, x, y, width, height);
    }
    return DrawConvenienceOn(Target::Raster, text, x, y, width, height);
}

bool GS1_128::DrawConvenienceSvg(const std::string& text, int x, int y, int width, int height)
{
    return DrawConvenienceOn(Target::Svg, text, x, y, width, height);
}

bool GS1_128::DrawConvenienceOn(Target target, const std::string& text, int x, int y, int width, int height)
{
    try {
        // The text first: a bad text costs no canvas and no font search.
        const std::string body = gs1_128::ConvenienceBody(text);
        if (!std::isfinite(m_textFontScale)) {
            throw std::runtime_error("Text font scale must be a finite number");
        }
        if (target == Target::Raster) {
            if (!BarcodeBase::Draw(std::string(), x, y, width, height) || Canvas() == nullptr) {
                return false;
            }
        } else if (width <= 0 || height <= 0) {
            throw std::runtime_error("Invalid canvas size " + std::to_string(width) + "x" + std::to_string(height));
        }
        // The text size the box suggests, before any measuring.
        const float suggested = FontFactor(height) * static_cast<float>(height) * m_textFontScale;
        const long long startSize = std::max<long long>(numeric::SaturatingCast<long long>(suggested), kMinFontSize);

        long long lineHeight = startSize;
        if (target == Target::Raster) {
            if (!FontAvailable()) {
                throw std::runtime_error("Font path not found");
            }
            lineHeight = FitConvenienceFont(width, startSize);
        }
        // Text lines taller than the box leave the minimum bars; clamp before doubling.
        lineHeight = std::min<long long>(lineHeight, height);
        m_barHeight = static_cast<float>(std::max(static_cast<long long>(height) - 2 * lineHeight, kMinBarHeight));

        if (target == Target::Raster) {
            ClearCanvas();
        }
        const std::vector<int> widths = gs1_128::Encode("{FNC1}" + body).Widths();
        long long total = 0;
        for (int w : widths) {
            total += w;
        }
        bool centred = false;
        const float module = ModuleWidth(target, width, total, &centred);
        float x0 = static_cast<float>(x);
        if (centred) {
            x0 += CentringOffset(width, BarsEnd(widths, 0.0f, module));
        }
        // Nothing is drawn cut: the bars and then the two lines must lie inside the box.
        const std::string tag = kTag;
        if (!SymbolFits(target, tag, x0, BarsEnd(widths, x0, module), x, width, true)
            || !SymbolFits(target, tag, static_cast<float>(y), static_cast<float>(y) + static_cast<float>(kMinBarHeight),
                           y, height, false)) {
            return false;
        }
        long long svgSize = startSize;
        if (target == Target::Raster ? !FitConvenienceLines(body, y, width, height)
                                     : (svgSize = FitConvenienceSvgLines(body, y, width, height, startSize)) < 0) {
            return false;
        }

        if (target == Target::Svg) {
            SvgBegin(width, height);
            SvgRect(0, 0, static_cast<float>(width), static_cast<float>(height), m_backgroundColor);
        }
        m_lastDrawnWidth = PaintBars(target, widths, x0, static_cast<float>(y), module, m_barHeight) - x0;
        if (target == Target::Svg) {
            renderConvenienceTextSvg(body, x, y, width, svgSize);
            SvgEnd();
        } else {
            renderConvenienceText2Lines(body, x, y, width);
            SDL_RenderPresent(Canvas());
        }
        return true;
    } catch (const std::exception& e) {
        barcode_log::Error(Stream::Err, std::string(kTag) + e.what());
        return false;
    }
}

int GS1_128::FitConvenienceFont(int width, long long startSize)
{
    // Sizes above the box width cannot fit a 33-character line: start at the largest size no
    // larger than the width with the parity of the suggested size.
    const auto fontLock = LockFonts(); // the thread's fonts
    long long size = startSize;
    if (size > width) {
        size = static_cast<long long>(width) - ((size - width) % 2);
    }
    for (;; size -= 2) {
        if (size >= 1 && size <= INT_MAX) {
            if (TTF_Font* font = OpenFont(static_cast<int>(size))) {
                int w = 0;
                int h = 0;
                const bool measured = TTF_SizeUTF8(font, gs1_128::kConvenienceSampleLine, &w, &h) == 0;
                CloseFont(font);
                if (measured && w <= width) {
                    m_convFontSize = static_cast<int>(size);
                    return h;
                }
                if (measured && w > 0) {
                    size = NextSizeWorthTrying(size, width, w) + 2;
                }
            }
        }
        if (size < 10) {
            break;
        }
    }
    m_convFontSize = kMinFontSize;
    int h = kMinFontSize;
    if (TTF_Font* font = OpenFont(kMinFontSize)) {
        int w = 0;
        int measured = 0;
        if (TTF_SizeUTF8(font, gs1_128::kConvenienceSampleLine, &w, &measured) == 0) {
            h = measured;
        }
        CloseFont(font);
    }
    return h;
}

void GS1_128::renderConvenienceText2Lines(const std::string& body, int x, int y, int width)
{
    if (!FontAvailable()) {
        barcode_log::Error(Stream::Err, "Font path not found");
        return;
    }
    const auto fontLock = LockFonts(); // held until the text is done
    const int fontSize = std::max(m_convFontSize, kMinTextSize);
    TTF_Font* font = CachedFont(fontSize);
    if (font == nullptr) {
        barcode_log::Error(Stream::Err, std::string("TTF_OpenFont error: ") + SDL_GetError());
        return;
    }
    // The lines are measured and drawn with the font's normal hinting, as when the size was
    // fitted; the shared font may have been left at mono hinting by the single-line text.
    UseHinting(font, TTF_HINTING_NORMAL);
    const std::string lines[2] = {gs1_128::ConvenienceLine1(body), gs1_128::ConvenienceLine2(body)};
    int lineWidth = 0;
    int lineHeight = 0;
    MeasureText(font, fontSize, lines[0], &lineWidth, &lineHeight);
    const int top1 = numeric::TruncToInt(static_cast<double>(m_barHeight) + y);
    const int tops[2] = {top1, numeric::ClampToInt(static_cast<long long>(top1) + lineHeight)};

    // Renders `piece` with its top-left corner at (left, top).
    const auto render = [&](const std::string& piece, long long left, int top) {
        std::string key;
        if (SDL_Surface* glyphs = RenderPiece(font, fontSize, piece, &key)) {
            BlitText(glyphs, numeric::ClampToInt(left), top, key);
        }
    };
    const auto measure = [&](const std::string& piece) {
        int w = 0;
        int h = 0;
        MeasureText(font, fontSize, piece, &w, &h);
        return w;
    };

    for (int i = 0; i < 2; ++i) {
        const std::string& line = lines[i];
        if (!m_textEvenSpacing || line.size() == 1) {
            const long long w = measure(line);
            render(line, static_cast<long long>(x) + (width - w) / 2, tops[i]);
            continue;
        }
        // Spread the characters so that the line spans the whole width.
        const std::vector<std::string> chars = Characters(line);
        std::vector<int> charWidths;
        long long total = 0;
        for (const std::string& c : chars) {
            charWidths.push_back(measure(c));
            total += charWidths.back();
        }
        const float gap = std::max(static_cast<float>(width - total) / static_cast<float>(chars.size() - 1), 0.0f);
        float cursor = static_cast<float>(x);
        for (size_t k = 0; k < chars.size(); ++k) {
            render(chars[k], numeric::TruncToInt(cursor), tops[i]);
            cursor += static_cast<float>(charWidths[k]) + gap;
        }
    }
}

int GS1_128::ConvenienceSvgFontSize(int width, long long startSize)
{
    const long long byWidth = numeric::SaturatingCast<long long>(1.5 * static_cast<double>(width / 33));
    // Below the smallest designed size the text shrinks with the line pitch.
    return numeric::ClampToInt(
        std::max<long long>(std::min(startSize, byWidth), std::min<long long>(startSize, kMinFontSize)));
}

bool GS1_128::FitConvenienceLines(const std::string& body, int y, int width, int height)
{
    if (!FontAvailable()) {
        return true; // no text is drawn
    }
    const auto fontLock = LockFonts();
    const std::string lines[2] = {gs1_128::ConvenienceLine1(body), gs1_128::ConvenienceLine2(body)};
    const int fitted = std::max(m_convFontSize, kMinTextSize);
    const float fittedBars = m_barHeight;
    // The bar height that leaves room for two lines of `size` points.
    const auto barsFor = [&](int size) {
        if (size == fitted) {
            return fittedBars;
        }
        int w = 0;
        int h = 0;
        if (TTF_Font* font = CachedFont(size)) {
            UseHinting(font, TTF_HINTING_NORMAL);
            MeasureText(font, size, gs1_128::kConvenienceSampleLine, &w, &h);
        }
        const long long line = std::min<long long>(h > 0 ? h : size, height);
        return static_cast<float>(std::max(static_cast<long long>(height) - 2 * line, kMinBarHeight));
    };
    // The lines fit at a size when, placed as renderConvenienceText2Lines places them (each
    // spread over the width or centred, the second one line below the first), their ink lies
    // inside the box.
    const auto fits = [&](int size, bool last) {
        TTF_Font* font = CachedFont(size);
        if (font == nullptr) {
            return true; // the lines are left out, with the reason, when drawn
        }
        UseHinting(font, TTF_HINTING_NORMAL);
        int lineWidth = 0;
        int lineHeight = 0;
        MeasureText(font, size, lines[0], &lineWidth, &lineHeight);
        const long long top1 = numeric::TruncToInt(static_cast<double>(barsFor(size)) + y);
        long long widest = 0;
        for (const std::string& line : lines) {
            int w = 0;
            int h = 0;
            MeasureText(font, size, line, &w, &h);
            widest = std::max<long long>(widest, w);
        }
        // A second line that starts below the box or lines wider than it need no rendering.
        const bool across = widest <= width;
        const bool startsInside = top1 + lineHeight < static_cast<long long>(y) + height;
        if (!last && (!across || !startsInside)) {
            return false;
        }
        long long needed = top1 + 2LL * lineHeight - y;
        if (across && startsInside) {
            needed = 0;
            for (int i = 0; i < 2; ++i) {
                SDL_Rect ink{};
                if (SDL_Surface* glyphs = RenderPiece(font, size, lines[i]); glyphs != nullptr && InkBox(glyphs, &ink)) {
                    needed = std::max<long long>(needed, top1 + i * lineHeight + ink.y + ink.h - y);
                }
            }
        }
        if (across && needed <= height) {
            return true;
        }
        if (last) {
            barcode_log::Error(Stream::Err, std::string(kTag) + "The text needs "
                                                + std::to_string(across ? needed : widest) + " pixels even at font size "
                                                + std::to_string(kMinTextSize) + "; the box is "
                                                + std::to_string(across ? height : width) + (across ? " high" : " wide"));
        }
        return false;
    };
    const int size = LargestFittingSize(fitted, fits);
    if (size == 0) {
        return false;
    }
    m_barHeight = barsFor(size);
    m_convFontSize = size;
    return true;
}

long long GS1_128::FitConvenienceSvgLines(const std::string& body, int y, int width, int height,
                                          long long startSize)
{
    const std::string lines[2] = {gs1_128::ConvenienceLine1(body), gs1_128::ConvenienceLine2(body)};
    const auto barsFor = [&](long long size) {
        return static_cast<float>(std::max(static_cast<long long>(height) - 2 * size, kMinBarHeight));
    };
    // The lines fit at a size when the second line's digits (which end on its baseline) lie
    // above the bottom of the box and neither line is wider than the box: a spread line spans
    // the width unless its characters need more.
    const auto fits = [&](int size, bool last) {
        const int fontSize = ConvenienceSvgFontSize(width, size);
        const double top2 = static_cast<double>(y) + barsFor(size) + 0.15 * fontSize + static_cast<double>(size);
        const double bottom = top2 + static_cast<double>(kSvgBaseline) * fontSize;
        const bool down = bottom <= static_cast<double>(y) + height + 0.005;
        double widest = 0.0;
        for (const std::string& line : lines) {
            const double spread = m_textEvenSpacing && line.size() > 1
                                      ? std::max(static_cast<double>(width), 0.6 * fontSize * static_cast<double>(line.size()))
                                      : (down ? SvgTextWidth(line, fontSize) : 0.0);
            widest = std::max(widest, spread);
        }
        const bool across = widest <= width + 0.005;
        if (down && across) {
            return true;
        }
        if (last) {
            const double needed = across ? bottom - y : widest;
            barcode_log::Error(Stream::Err, std::string(kTag) + "The text needs "
                                                + std::to_string(numeric::SaturatingCast<long long>(std::ceil(needed)))
                                                + " pixels even at font size " + std::to_string(kMinTextSize)
                                                + "; the box is " + std::to_string(across ? height : width)
                                                + (across ? " high" : " wide"));
        }
        return false;
    };
    // A line pitch above the box height puts the second line below it: the search starts there.
    const int size = LargestFittingSize(numeric::ClampToInt(std::min<long long>(startSize, height)), fits);
    if (size == 0) {
        return -1;
    }
    m_barHeight = barsFor(size);
    return size;
}

void GS1_128::renderConvenienceTextSvg(const std::string& body, int x, int y, int width, long long startSize)
{
    const std::string lines[2] = {gs1_128::ConvenienceLine1(body), gs1_128::ConvenienceLine2(body)};
    const int fontSize = ConvenienceSvgFontSize(width, startSize);
    const float top1 = static_cast<float>(y) + m_barHeight + 0.15f * static_cast<float>(fontSize);
    const float tops[2] = {top1, top1 + static_cast<float>(startSize)};
    const float centre = static_cast<float>(static_cast<long long>(x) + width / 2);
    for (int i = 0; i < 2; ++i) {
        const std::string& line = lines[i];
        if (!m_textEvenSpacing || line.size() == 1) {
            SvgText(centre, tops[i], line, fontSize, m_foregroundColor, "middle");
            continue;
        }
        const float n = static_cast<float>(line.size());
        const float charWidth = 0.6f * static_cast<float>(fontSize);
        const float step = charWidth + std::max((static_cast<float>(width) - charWidth * n) / (n - 1.0f), 0.0f);
        for (size_t k = 0; k < line.size(); ++k) {
            SvgText(static_cast<float>(x) + step * static_cast<float>(k), tops[i], std::string(1, line[k]), fontSize,
                    m_foregroundColor, "start");
        }
    }
}
