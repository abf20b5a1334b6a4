// SPDX-License-Identifier: MIT
#include "core/SvgText.h"

namespace svgtext {
namespace {

// Length of the well-formed UTF-8 sequence at text[i], or 0 when none starts there.
size_t SequenceLength(const std::string& text, size_t i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = byte(i);
    if (b < 0x80) {
        return 1;
    }
    size_t len = 0;
    unsigned cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        cp = b & 0x07;
    } else {
        return 0;
    }
    if (i + len > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    // Reject overlong forms, surrogates and values past U+10FFFF: XML parsers refuse them.
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        return 0;
    }
    // U+FFFE and U+FFFF are not XML characters either.
    if (cp == 0xFFFE || cp == 0xFFFF) {
        return 0;
    }
    return len;
}

} // namespace

std::string EscapeXml(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t len = SequenceLength(text, i);
        if (len == 0) {
            out += "\xEF\xBF\xBD"; // U+FFFD
            ++i;
            continue;
        }
        if (len > 1) {
            out.append(text, i, len);
            i += len;
            continue;
        }
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') {
                out += static_cast<char>(c);
            }
            break;
        }
        ++i;
    }
    return out;
}

std::vector<std::string> SplitCodePoints(const std::string& text)
{
    std::vector<std::string> pieces;
    for (size_t i = 0; i < text.size();) {
        const size_t len = SequenceLength(text, i);
        const size_t take = len == 0 ? 1 : len;
        pieces.push_back(text.substr(i, take));
        i += take;
    }
    return pieces;
}

} // namespace svgtext
