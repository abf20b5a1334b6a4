// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The byte encodings text of the 2D symbols comes in: UTF-8 and Shift-JIS (code page 932),
// recognised by their bytes and converted with iconv (the Windows code pages on Windows).
namespace encodings {

// Well-formed UTF-8 by lead and continuation bits (overlongs and surrogates not checked);
// the empty text is valid.
bool IsValidUtf8(const std::string& text);
// Plausible Shift-JIS: at least one double-byte pair and no well-formed UTF-8 sequence where
// the pairs stop. False for the empty text and for pure ASCII.
bool IsShiftJis(const std::string& text);
// "utf-8" or "shift-jis", judged by the first byte of 0x80 or more.
std::string Detect(const std::string& text);

// The bytes of `text` converted between two named encodings; empty on any failure.
// "shift-jis", "Shift-JIS" and "shift_jis" convert as code page 932 (the Windows superset of
// Shift_JIS); other names go to iconv as they are.
std::vector<std::uint8_t> Convert(const std::string& text, const std::string& from, const std::string& to);
// The bytes a 2D symbol encodes for `text` in the encoding `encodingName`: text already in
// that encoding passes unchanged, text in the other one is converted; ASCII never changes.
// Names other than the Shift-JIS ones carry UTF-8.
std::vector<std::uint8_t> ToBytes(const std::string& text, const std::string& encodingName);
// Shift-JIS text converted to UTF-8; other text unchanged.
std::vector<std::uint8_t> ToUtf8(const std::string& text);
// Text that is not Shift-JIS converted from UTF-8 to Shift-JIS; Shift-JIS text unchanged.
std::vector<std::uint8_t> ToShiftJis(const std::string& text);

} // namespace encodings
