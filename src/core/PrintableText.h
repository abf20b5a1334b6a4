// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

// Diagnostic lines quote the caller's text, and they end up on terminals: whatever in them could
// drive a terminal is written out as an escape instead.
namespace printable_text {

// `text` with every control character (C0, DEL and the C1 range U+0080 to U+009F) and every byte
// that is not part of well-formed UTF-8 written as \xNN, two lower-case hexadecimal digits per
// byte (ESC becomes the four characters \x1b). Printable UTF-8, Japanese included, and the
// backslash itself pass unchanged.
std::string Escape(std::string_view text);

} // namespace printable_text
