// SPDX-License-Identifier: MIT
// Diagnostic lines that quote the caller's text cannot drive a terminal: control characters and
// broken UTF-8 are written as \xNN, printable text (Japanese included) as it is.
#include "barcode_lumeo.h"
#include "core/Log.h"
#include "core/PrintableText.h"
#include "support/TestSupport.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace {

using namespace std::string_literals;

TEST(PrintableText, EscapesControlsAndBrokenUtf8Only)
{
    const struct Row
    {
        std::string text;
        std::string shown;
    } rows[] = {
        {"ABC-123 {AI}01 (01)", "ABC-123 {AI}01 (01)"},
        {"", ""},
        {"\x1b[2J\x1b]0;title\x07", "\\x1b[2J\\x1b]0;title\\x07"},
        {"a\0b"s, "a\\x00b"},
        {"tab\there\r\n", "tab\\x09here\\x0d\\x0a"},
        {"\x7f~", "\\x7f~"},
        {"back\\slash \\x1b", "back\\slash \\x1b"},           // a backslash stays as it is
        {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e"}, // 日本語
        {"\xef\xbd\xb1 \xc3\xa9 \xf0\x9f\x98\x80", "\xef\xbd\xb1 \xc3\xa9 \xf0\x9f\x98\x80"}, // ｱ é 😀
        {"\xc2\x9b" "31m \xc2\x85", "\\xc2\\x9b31m \\xc2\\x85"}, // C1: CSI, NEL
        {"\xc2\xa0", "\xc2\xa0"},                                   // U+00A0, the first after C1
        {"\x9b" "31m", "\\x9b31m"},                                 // a lone continuation byte
        {"\x93\xfa\x96\x7b", "\\x93\\xfa\\x96{"},                   // 日本 in Shift-JIS
        {"\xc0\xaf \xe0\x80\xaf", "\\xc0\\xaf \\xe0\\x80\\xaf"},    // overlong '/'
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},                        // a surrogate
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},               // beyond U+10FFFF
        {"\xe6\x97", "\\xe6\\x97"},                                 // cut short at the end
        {"\xe6" "A\xe6\x97" "B", "\\xe6A\\xe6\\x97B"},              // cut short before ASCII
    };
    for (const Row& row : rows) {
        EXPECT_EQ(printable_text::Escape(row.text), row.shown) << testing::PrintToString(row.text);
    }
}

// The same through the library: the caller's text quoted in a reason on standard error.
TEST(PrintableText, ReasonsQuoteTheCallersTextEscaped)
{
    const struct Row
    {
        const char* name;
        std::function<void(void*)> call;
        int type;
        std::string line;
    } rows[] = {
        {"Code 39 character", [](void* h) { barcode_draw_1d(h, "AB\x1b[2JC", 300, 100); }, 0,
         "[Code39] Invalid character in CODE39: \\x1b\n"},
        {"output format",
         [](void* h) {
             barcode_set_output_format(h, "\x1b]0;x\x07");
             barcode_draw_1d(h, "AB", 300, 100);
         },
         0, "[barcode_draw_1d] Unknown output format \"\\x1b]0;x\\x07\"\n"},
        {"NW-7 start and stop, Japanese kept",
         [](void* h) { barcode_draw_1d(h, "X\xe6\x97\xa5\xe6\x9c\xac\x1b" "B", 300, 100); }, 4,
         "[NW7] Invalid start/stop character combination in NW7: X\xe6\x97\xa5\xe6\x9c\xac\\x1bB\n"},
        {"NW-7 one byte of a character", [](void* h) { barcode_draw_1d(h, "A\xe6\x97\xa5" "B", 300, 100); }, 4,
         "[NW7] Invalid character in NW7: \\xe6\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        testsupport::Handle h(row.type);
        testsupport::CapturedOutput captured;
        row.call(h.h);
        captured.Finish();
        EXPECT_EQ(captured.Err(), row.line);
        EXPECT_EQ(captured.Err().find('\x1b'), std::string::npos);
    }
}

TEST(PrintableText, ProgressLinesAreEscapedToo)
{
    barcode_log::SetQuiet(false);
    testsupport::CapturedOutput captured;
    barcode_log::Progress(barcode_log::Stream::Out, "text \x1b[0m\xe3\x81\x82");
    captured.Finish();
    barcode_log::SetQuiet(true);
    EXPECT_EQ(captured.Out(), "text \\x1b[0m\xe3\x81\x82\n");
}

} // namespace
