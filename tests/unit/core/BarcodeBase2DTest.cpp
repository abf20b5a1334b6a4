// SPDX-License-Identifier: MIT
// Byte tests and UTF-8 / Shift-JIS conversion of the 2D symbol base.
#include "core/BarcodeBase2D.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string S(const Bytes& b)
{
    return std::string(b.begin(), b.end());
}

const std::string kA = "\xE3\x81\x82";  // あ in UTF-8
const Bytes kASjis = {0x82, 0xA0};      // あ in Shift-JIS
const std::string kEAcute = "\xC3\xA9"; // é in UTF-8

struct ByteTestRow
{
    const char* name;
    std::string text;
    bool validUtf8;
    bool shiftJis;
    const char* detected;
    const char* source;
};

TEST(BarcodeBase2DEncoding, ByteTests)
{
    const ByteTestRow rows[] = {
        {"empty", "", true, false, "utf-8", "empty text"},
        {"ascii", "ABC", true, false, "utf-8", "pure ASCII is not Shift-JIS"},
        // The pair scan reads E3 81 as a double-byte character and stops at the lone 82.
        {"kana utf8", kA, true, true, "shift-jis", "three-byte UTF-8 first: reported as shift-jis"},
        {"kana sjis", S(kASjis), false, true, "shift-jis", "82 A0"},
        {"e acute", kEAcute, true, false, "utf-8", "C3 A9"},
        {"stray continuation", "\x80", false, true, "shift-jis", "no UTF-8 sequence at the stop"},
        {"cut off", "\xE3\x81", false, true, "shift-jis", "sequence cut by the end"},
        {"F8", "\xF8\x80\x80\x80", false, true, "shift-jis", "0xF8 never starts UTF-8"},
        {"four byte", "\xF0\x9F\x98\x80", true, true, "shift-jis", "U+1F600 reads as two pairs"},
        {"two byte utf8", "A" + kEAcute, true, false, "utf-8", "C3 is no lead byte, C3 A9 is UTF-8"},
        {"sjis then utf8", S(kASjis) + kEAcute, false, false, "shift-jis", "pairs stop at a UTF-8 sequence"},
        {"half-width kana", "\xB1", false, true, "shift-jis", "single-byte katakana"},
    };
    for (const ByteTestRow& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " (" + row.source + ")");
        EXPECT_EQ(BarcodeBase2D::IsValidUtf8(row.text), row.validUtf8);
        EXPECT_EQ(BarcodeBase2D::IsShiftJIS(row.text), row.shiftJis);
        EXPECT_EQ(BarcodeBase2D::DetectEncoding(row.text), row.detected);
    }
}

struct ConversionRow
{
    const char* name;
    const char* encoding;
    std::string text;
    Bytes expected;
};

TEST(BarcodeBase2DEncoding, ConvertStringToBytes)
{
    const ConversionRow rows[] = {
        {"utf8 to sjis", "shift-jis", kA, kASjis},
        {"utf8 to sjis, Shift-JIS", "Shift-JIS", kA, kASjis},
        {"utf8 to sjis, shift_jis", "shift_jis", kA, kASjis},
        {"sjis kept", "shift-jis", S(kASjis), kASjis},
        {"sjis to utf8", "utf-8", S(kASjis), Bytes(kA.begin(), kA.end())},
        {"sjis to utf8, UTF-8", "UTF-8", S(kASjis), Bytes(kA.begin(), kA.end())},
        {"utf8 kept", "utf-8", kA, Bytes(kA.begin(), kA.end())},
        {"unknown name keeps utf8", "SHIFT-JIS", kA, Bytes(kA.begin(), kA.end())},
        {"unknown name converts sjis", "latin1", S(kASjis), Bytes(kA.begin(), kA.end())},
        {"ascii unchanged", "shift-jis", "Lumeo 123", Bytes{'L', 'u', 'm', 'e', 'o', ' ', '1', '2', '3'}},
        {"neither encoding", "utf-8", "\x81\x20", Bytes{}},
        {"empty", "shift-jis", "", Bytes{}},
    };
    BarcodeBase2D base("png");
    for (const ConversionRow& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(base.ConvertStringToBytes(row.text, row.encoding), row.expected);
    }
}

TEST(BarcodeBase2DEncoding, ShiftJisSideIsCodePage932)
{
    BarcodeBase2D base("png");
    // Backslash and tilde keep their ASCII bytes (strict Shift_JIS would make them yen and overline).
    EXPECT_EQ(base.ConvertStringToBytes("C:\\~", "shift-jis"), (Bytes{'C', ':', '\\', '~'}));
    // Characters that exist only in code page 932.
    EXPECT_EQ(base.ConvertStringToBytes("\xEF\xBD\x9E", "shift-jis"), (Bytes{0x81, 0x60})); // U+FF5E ～
    EXPECT_EQ(base.ConvertStringToBytes("\xE2\x91\xA0", "shift-jis"), (Bytes{0x87, 0x40})); // U+2460 ①
    EXPECT_EQ(base.ConvertStringToBytes("\x87\x40", "utf-8"), (Bytes{0xE2, 0x91, 0xA0}));
    // Names outside the library's rules still reach iconv unchanged.
    EXPECT_EQ(base.ConvertEncoding(kA, "UTF-8", "SHIFT_JIS"), kASjis);
    EXPECT_EQ(base.ConvertEncoding(kA, "utf-8", "no-such-encoding"), Bytes{});
}

TEST(BarcodeBase2DEncoding, ConvertToUtf8AndSJis)
{
    BarcodeBase2D base("png");
    EXPECT_EQ(base.ConvertToUtf8(S(kASjis)), Bytes(kA.begin(), kA.end()));
    EXPECT_EQ(base.ConvertToUtf8("ABC"), (Bytes{'A', 'B', 'C'}));
    EXPECT_EQ(base.ConvertToSJis(kEAcute + "\xE3\x81\x82"), (Bytes{}));             // é has no Shift-JIS form
    EXPECT_EQ(base.ConvertToSJis("\xE3\x81\x82!"), (Bytes{0xE3, 0x81, 0x82, '!'})); // passes the pair test
    EXPECT_EQ(base.ConvertToSJis(S(kASjis)), kASjis);
}

TEST(BarcodeBase2DEncoding, NamesAndBaseDraws)
{
    BarcodeBase2D base("png");
    EXPECT_EQ(base.GetStringEncoding(), "utf-8");
    base.SetStringEncoding(StringEncoding::ShiftJis);
    EXPECT_EQ(base.GetStringEncoding(), "shift-jis");
    base.SetStringEncoding(static_cast<StringEncoding>(7));
    EXPECT_EQ(base.GetStringEncoding(), "utf-8");
    base.SetStringEncoding(std::string("Whatever"));
    EXPECT_EQ(base.GetStringEncoding(), "Whatever");
    EXPECT_FALSE(base.Draw(std::string("x"), 0, 0, 10));
    EXPECT_FALSE(base.Draw(Bytes{1}, 0, 0, 10));
    EXPECT_FALSE(base.Draw(Bytes{1}, 0, 0, 10, 10));
    EXPECT_FALSE(base.Draw(std::string("x"), 0, 0, 10, 10));
}

} // namespace
