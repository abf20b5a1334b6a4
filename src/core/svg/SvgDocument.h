// SPDX-License-Identifier: MIT
#pragma once

#include <SDL.h>

#include <cstddef>
#include <memory>
#include <string>

// The SVG document of one draw: a header sized to the canvas, filled rectangles and texts, a
// closing tag. Numbers are written with two decimals whatever the locale (core/svg/SvgText.h).
class SvgDocument
{
public:
    // The baseline below a text's top, in font sizes: where browsers put the alphabetic
    // baseline of Arial under dominant-baseline="hanging".
    static constexpr float kBaseline = 0.72f;

    // Starts a new document (one handed out earlier stays as it was); throws std::length_error
    // for a canvas outside core/Limits.h.
    void Begin(int width, int height);
    void End();
    // A filled rectangle; fill-opacity for every alpha below 255.
    void Rect(float x, float y, float width, float height, const SDL_Color& color);
    // A text whose top (where its capitals and digits start) is y, written with an explicit
    // baseline kBaseline x fontSize lower: browsers, librsvg and Inkscape place it alike.
    void Text(float x, float y, const std::string& text, int fontSize, const SDL_Color& color,
              const std::string& anchor);

    // The document of the last Begin; null before any and after Reset.
    std::shared_ptr<const std::string> Document() const { return m_document; }
    // Forgets the document: a fetch returns nothing until the next Begin.
    void Reset() { m_document.reset(); }

    // Appends "rgb(r,g,b)".
    static void AppendRgb(std::string& out, const SDL_Color& color);

private:
    // The document under construction (made empty if no Begin came first).
    std::string& Out();
    // "rgb(r,g,b)" of `color`, kept for the next element of the same colour.
    const std::string& Fill(const SDL_Color& color);

    std::shared_ptr<std::string> m_document;
    size_t m_reserve = 4096;            // the size of the previous document
    SDL_Color m_fillColor{0, 0, 0, 0};  // the colour m_fill was made for
    std::string m_fill;
};
