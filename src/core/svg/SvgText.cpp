// SPDX-License-Identifier: MIT
#include "core/svg/SvgText.h"

#include <charconv>
#include <cstdint>
#include <cstring>

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
    AppendEscapedXml(out, text);
    return out;
}

void AppendEscapedXml(std::string& out, const std::string& text)
{
    // Runs of printable ASCII that needs no entity go in whole.
    const auto plain = [](unsigned char c) {
        return c >= 0x20 && c < 0x7F && c != '&' && c != '<' && c != '>' && c != '"' && c != '\'';
    };
    for (size_t i = 0; i < text.size();) {
        size_t run = i;
        while (run < text.size() && plain(static_cast<unsigned char>(text[run]))) {
            ++run;
        }
        if (run > i) {
            out.append(text, i, run - i);
            i = run;
            continue;
        }
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
}

namespace {

char* WriteFixed2Slow(char* out, float value)
{
    return std::to_chars(out, out + kMaxFixed2, static_cast<double>(value), std::chars_format::fixed, 2).ptr;
}

} // namespace

char* WriteFixed2(char* out, float value)
{
    // Worked out in integers from the float's bits: value = mantissa * 2^shift exactly. Very
    // large values and non-finite ones go through std::to_chars.
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    const bool negative = (bits >> 31) != 0;
    const int biased = static_cast<int>((bits >> 23) & 0xFFu);
    std::uint64_t hundredths = 0;
    if (biased == 0xFF) {
        return WriteFixed2Slow(out, value);
    }
    if (biased != 0) { // a subnormal value rounds to zero
        // value = mantissa * 2^shift exactly; 100 * mantissa < 2^31.
        const std::uint64_t scaled = std::uint64_t{(bits & 0x7FFFFFu) | 0x800000u} * 100u;
        const int shift = biased - 150;
        if (shift > 30) {
            return WriteFixed2Slow(out, value);
        }
        if (shift >= 0) {
            hundredths = scaled << shift;
        } else if (shift > -63) {
            const int down = -shift;
            hundredths = scaled >> down;
            const std::uint64_t rest = scaled & ((std::uint64_t{1} << down) - 1);
            const std::uint64_t half = std::uint64_t{1} << (down - 1);
            if (rest > half || (rest == half && (hundredths & 1u) != 0)) {
                ++hundredths;
            }
        }
    }
    if (negative) {
        *out++ = '-';
    }
    out = std::to_chars(out, out + kMaxFixed2, hundredths / 100).ptr;
    const unsigned cents = static_cast<unsigned>(hundredths % 100);
    *out++ = '.';
    *out++ = static_cast<char>('0' + cents / 10);
    *out++ = static_cast<char>('0' + cents % 10);
    return out;
}

void AppendFixed2(std::string& out, float value)
{
    char buffer[kMaxFixed2];
    out.append(buffer, WriteFixed2(buffer, value));
}

void AppendInt(std::string& out, long long value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof(digits), value);
    out.append(digits, end.ptr);
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
