// SPDX-License-Identifier: MIT
#include "core/PrintableText.h"

#include <cstddef>
#include <cstdint>

namespace printable_text {
namespace {

// The length of the well-formed UTF-8 sequence of a printable character at `at`, or 0 when the
// byte there starts none or starts a control character.
size_t PrintableLength(std::string_view text, size_t at)
{
    const auto byte = [&text](size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    if (lead < 0x80) {
        return lead >= 0x20 && lead != 0x7F ? 1 : 0;
    }
    size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0; // the smallest code point of this length (no overlong forms)
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
        least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (byte(at + i) & 0x3Fu);
    }
    const bool wellFormed = code >= least && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    const bool control = code <= 0x9F; // C1
    return wellFormed && !control ? length : 0;
}

} // namespace

std::string Escape(std::string_view text)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t length = PrintableLength(text, at);
        if (length > 0) {
            out.append(text.substr(at, length));
            at += length;
            continue;
        }
        // One byte at a time: a control character's bytes, or a byte of broken UTF-8 (the byte
        // after it is looked at afresh).
        const auto b = static_cast<std::uint8_t>(text[at]);
        out += "\\x";
        out += digits[b >> 4];
        out += digits[b & 15];
        ++at;
    }
    return out;
}

} // namespace printable_text
