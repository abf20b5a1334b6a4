// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace svgtext {

// Text made safe for XML character data and attribute values: & < > " ' become entities,
// C0 control bytes other than tab, line feed and carriage return are dropped, and bytes that
// are not well-formed UTF-8 become U+FFFD. Plain printable ASCII passes unchanged.
std::string EscapeXml(const std::string& text);

// Splits text into UTF-8 code points; a byte that starts no well-formed sequence is one
// piece of its own (EscapeXml turns it into U+FFFD).
std::vector<std::string> SplitCodePoints(const std::string& text);

} // namespace svgtext
