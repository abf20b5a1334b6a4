// SPDX-License-Identifier: MIT
#include "code128/GS1_128Encoder.h"

#include "code128/Code128Patterns.h"
#include "code128/GS1_128.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <random>
#include <stdexcept>

namespace {

struct Gs1Row
{
    const char* name;
    std::string text;
    std::vector<int> codes; // start to stop, check included
    std::string display;
};

const Gs1Row kGs1Rows[] = {
    // Worked examples; check values verified by hand with the modulo-103 sum.
    {"GTIN in set C", "{FNC1}0104912345678904", {105, 102, 1, 4, 91, 23, 45, 67, 89, 4, 24, 106}, "(01)04912345678904"},
    {"two leading digits start in B", "{FNC1}10ABC", {104, 102, 17, 16, 33, 34, 35, 79, 106}, "(10)ABC"},
    {"FNC1 after a digit pair in B", "123{FNC1}45", {105, 12, 100, 19, 102, 20, 21, 81, 106}, "123(45)"},
    {"AI token adds no bars", "{AI}0112345", {105, 1, 12, 34, 100, 21, 16, 106}, "(01)12345"},
    {"GTIN and batch",
     "{FNC1}0104912345678904{FNC1}10ABC123",
     {105, 102, 1, 4, 91, 23, 45, 67, 89, 4, 102, 10, 100, 33, 34, 35, 17, 18, 19, 69, 106},
     "(01)04912345678904(10)ABC123"},
    {"empty text", "", {104, 1, 106}, ""},
    {"control byte first starts in A", "A\x01z", {103, 33, 65, 100, 90, 102, 106}, "A\x01z"},
    {"AI 43 has two digits", "{AI}4300X", {105, 43, 0, 100, 56, 54, 106}, "(43)00X"},
    // Mended: DEL is carried by set B only, so set A switches to B before it.
    {"DEL after a control byte", "A\x01\x7f", {103, 33, 65, 100, 95, 19, 106}, "A\x01\x7f"},
    // Mended: set C is kept only for a digit pair or a whole token.
    {"broken FNC1 token in set C", "1234{FNC", {105, 12, 34, 100, 91, 38, 46, 35, 15, 106}, "1234{FNC"},
    {"broken AI token in set C", "1234{AI", {105, 12, 34, 100, 91, 33, 41, 24, 106}, "1234{AI"},
};

TEST(GS1_128Encoder, PinnedCodewordsAndDisplayText)
{
    GS1_128 symbol("png");
    for (const Gs1Row& row : kGs1Rows) {
        const gs1_128::Gs1Symbol s = gs1_128::Encode(row.text);
        EXPECT_EQ(s.Codewords(), row.codes) << row.name;
        EXPECT_EQ(symbol.calcCheckDigit(row.text), row.codes[row.codes.size() - 2]) << row.name;
        EXPECT_EQ(symbol.buildDisplayText(row.text), row.display) << row.name;
        EXPECT_EQ(symbol.EncodeGS1_128(row.text), code128::ExpandToWidths(row.codes, "x")) << row.name;
    }
}

TEST(GS1_128Encoder, ApplicationIdentifierLengths)
{
    struct Row
    {
        const char* text;
        int length;
    };

    const Row rows[] = {{"235", 3},  {"2412", 3}, {"2510", 3}, {"3012", 2}, {"3712", 2}, {"4300", 2},
                        {"3103", 4}, {"410", 3},  {"7003", 4}, {"8020", 4}, {"01", 2},   {"10", 2},
                        {"21", 2},   {"90", 2},   {"3", 4},    {"", 2}};
    GS1_128 symbol("png");
    for (const Row& r : rows) {
        EXPECT_EQ(symbol.getLenAI(r.text, 0), r.length) << r.text;
    }
    EXPECT_EQ(symbol.buildDisplayText("{FNC1}3103000123{FNC1}7003"), "(3103)000123(7003)");
    EXPECT_EQ(symbol.buildDisplayText("{AI}0"), "(0)");
}

TEST(GS1_128Encoder, BytesNoCodeSetCarriesAreRejected)
{
    for (const std::string& text : {std::string("{FNC1}10CAF\xc9"), std::string("\x80"), std::string("12\xff")}) {
        EXPECT_THROW(gs1_128::Encode(text), std::runtime_error);
    }
    try {
        gs1_128::Encode("{FNC1}10AB\xe9");
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid character at pos=10: GS1-128 carries bytes 0 to 127 only");
    }
    for (const char* format : {"png", "svg"}) {
        GS1_128 symbol(format);
        testsupport::CapturedOutput captured;
        EXPECT_FALSE(symbol.Draw("{FNC1}10AB\xe9", 0, 0, 300, 100)) << format;
        captured.Finish();
        EXPECT_NE(captured.Err().find("[GS1-128] Invalid character at pos=10"), std::string::npos) << captured.Err();
    }
}

// Every ASCII text gets a consistent symbol: values in range, and the check character is
// the weighted sum of exactly the values drawn.
TEST(GS1_128Encoder, CheckCharacterCoversExactlyTheDrawnValues)
{
    std::mt19937 rng(16);
    std::uniform_int_distribution<int> byte(0, 127);
    std::uniform_int_distribution<int> piece(0, 9);
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        const int pieces = 1 + i % 12;
        for (int k = 0; k < pieces; ++k) {
            switch (piece(rng)) {
            case 0: text += "{FNC1}"; break;
            case 1: text += "{AI}"; break;
            case 2: text += "{F"; break;
            case 3: text += "{A"; break;
            case 4:
            case 5: text += std::to_string(byte(rng) * 997); break;
            default: text += static_cast<char>(byte(rng));
            }
        }
        const gs1_128::Gs1Symbol s = gs1_128::Encode(text);
        std::vector<int> weighted{s.start};
        for (int v : s.values) {
            ASSERT_GE(v, 0) << i;
            ASSERT_LE(v, code128::kFnc1) << i;
            weighted.push_back(v);
        }
        EXPECT_EQ(s.check, code128::CheckValue(weighted)) << i;
    }
}

TEST(GS1_128Convenience, CheckDigitBodyAndLines)
{
    const std::string digits43 = "9191234500000000000000000000000000000000000";
    EXPECT_EQ(GS1_128::CalcCheckDigitMod10W3(digits43), 8);
    EXPECT_EQ(GS1_128::CalcCheckDigitMod10W3(""), 0);
    EXPECT_EQ(GS1_128::CalcCheckDigitMod10W3("629104150021"), 3); // GTIN-13 6291041500213
    EXPECT_EQ(gs1_128::ConvenienceBody(digits43), digits43 + "8");
    EXPECT_EQ(gs1_128::ConvenienceBody(digits43 + "8"), digits43 + "8");
    EXPECT_EQ(gs1_128::ConvenienceBody("{FNC1}" + digits43), digits43 + "8");
    const std::string body = digits43 + "8";
    EXPECT_EQ(gs1_128::ConvenienceLine1(body), "(91)912345-0000000000000000000000");
    EXPECT_EQ(gs1_128::ConvenienceLine2(body), "000000-0-000000-8");

    struct Bad
    {
        std::string text;
        const char* message;
    };

    const Bad bad[] = {
        {digits43 + "0", "Check digit mismatch"},
        {digits43.substr(0, 42), "Code length must be 43 or 44 digits"},
        {digits43 + "80", "Code length must be 43 or 44 digits"},
        {"", "Code length must be 43 or 44 digits"},
        {"{FNC1}91{FNC1}" + digits43.substr(2), "Non-digit character found"},
        {digits43.substr(0, 20) + "A" + digits43.substr(21), "Non-digit character found"},
    };
    for (const Bad& b : bad) {
        try {
            gs1_128::ConvenienceBody(b.text);
            ADD_FAILURE() << b.text;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), b.message) << b.text;
        }
    }
}

TEST(GS1_128Convenience, SymbolIsFnc1AndTwentyTwoPairsInSetC)
{
    const std::string body = "91912345000000000000000000000000000000000008";
    std::vector<int> expected{105, 102, 91, 91, 23, 45};
    expected.insert(expected.end(), 17, 0);
    expected.push_back(8);
    expected.push_back(30); // 105 + 102 + 2*91 + 3*91 + 4*23 + 5*45 + 23*8 = 1163 = 11*103 + 30
    expected.push_back(106);
    const gs1_128::Gs1Symbol s = gs1_128::Encode("{FNC1}" + body);
    EXPECT_EQ(s.Codewords(), expected);
    int modules = 0;
    for (int w : s.Widths()) {
        modules += w;
    }
    EXPECT_EQ(modules, 288);
}

} // namespace
