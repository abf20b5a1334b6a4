// SPDX-License-Identifier: MIT
#include "core/svg/SvgDocument.h"

#include "core/Limits.h"
#include "core/svg/SvgText.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>

void SvgDocument::AppendRgb(std::string& out, const SDL_Color& color)
{
    out += "rgb(";
    svgtext::AppendInt(out, color.r);
    out += ',';
    svgtext::AppendInt(out, color.g);
    out += ',';
    svgtext::AppendInt(out, color.b);
    out += ')';
}

void SvgDocument::Begin(int width, int height)
{
    const std::string problem = limits::CanvasProblem(width, height);
    if (!problem.empty()) {
        throw std::length_error(problem);
    }
    // A new document each time: one handed out earlier stays as it was.
    m_document = std::make_shared<std::string>();
    std::string& out = *m_document;
    out.reserve(m_reserve);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"";
    svgtext::AppendInt(out, width);
    out += "\" height=\"";
    svgtext::AppendInt(out, height);
    out += "\" viewBox=\"0 0 ";
    svgtext::AppendInt(out, width);
    out += ' ';
    svgtext::AppendInt(out, height);
    out += "\">\n";
}

std::string& SvgDocument::Out()
{
    if (m_document == nullptr) { // elements before any Begin
        m_document = std::make_shared<std::string>();
    }
    return *m_document;
}

void SvgDocument::End()
{
    Out() += "</svg>\n";
    m_reserve = std::max<size_t>(m_document->size() + 64, 4096);
}

namespace {

// An element written into a buffer of the caller's, appended to the document in one piece: the
// document grows by whole lines.
class SvgElement
{
public:
    // Opens `opening` (up to its x attribute's quote) at (x, y).
    SvgElement(char* buffer, const char* opening, float x, float y) : m_begin(buffer), m_p(buffer)
    {
        Put(opening, std::strlen(opening));
        Fixed2(x);
        Put("\" y=\"");
        Fixed2(y);
    }

    template <size_t N>
    void Put(const char (&text)[N])
    {
        Put(text, N - 1);
    }

    void Put(const std::string& text) { Put(text.data(), text.size()); }

    void Put(const char* text, size_t length)
    {
        std::memcpy(m_p, text, length);
        m_p += length;
    }

    void Fixed2(float value) { m_p = svgtext::WriteFixed2(m_p, value); }

    void Int(int value) { m_p = std::to_chars(m_p, m_p + 16, value).ptr; }

    void AppendTo(std::string& out) const { out.append(m_begin, static_cast<size_t>(m_p - m_begin)); }

private:
    const char* m_begin;
    char* m_p;
};

} // namespace

const std::string& SvgDocument::Fill(const SDL_Color& color)
{
    if (color.r != m_fillColor.r || color.g != m_fillColor.g || color.b != m_fillColor.b
        || color.a != m_fillColor.a || m_fill.empty()) {
        m_fillColor = color;
        m_fill.clear();
        AppendRgb(m_fill, color);
    }
    return m_fill;
}

void SvgDocument::Rect(float x, float y, float width, float height, const SDL_Color& color)
{
    char buffer[8 * svgtext::kMaxFixed2];
    SvgElement line(buffer, "  <rect x=\"", x, y);
    line.Put("\" width=\"");
    line.Fixed2(width);
    line.Put("\" height=\"");
    line.Fixed2(height);
    line.Put("\" fill=\"");
    line.Put(Fill(color));
    if (color.a < 255) {
        line.Put("\" fill-opacity=\"");
        line.Fixed2(static_cast<float>(color.a) / 255.0f);
    }
    line.Put("\"/>\n");
    line.AppendTo(Out());
}

void SvgDocument::Text(float x, float y, const std::string& text, int fontSize, const SDL_Color& color,
                       const std::string& anchor)
{
    // The element up to its anchor in one piece (most texts are one character of an evenly
    // spaced line), then the anchor and the text, escaped straight into the document. The text
    // is placed by its baseline, which every renderer honours (librsvg ignores
    // dominant-baseline), kBaseline of the size below the top it is given.
    char buffer[8 * svgtext::kMaxFixed2];
    SvgElement head(buffer, "  <text x=\"", x, y + kBaseline * static_cast<float>(fontSize));
    head.Put("\" font-family=\"Arial, sans-serif\" font-size=\"");
    head.Int(fontSize);
    head.Put("\" fill=\"");
    head.Put(Fill(color));
    head.Put("\" text-anchor=\"");
    std::string& out = Out();
    head.AppendTo(out);
    out += anchor;
    out += "\">";
    svgtext::AppendEscapedXml(out, text);
    out += "</text>\n";
}
