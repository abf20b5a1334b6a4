// SPDX-License-Identifier: MIT
// Data Matrix encoder without drawing: pinned codewords, size choice, placement coverage.
#include "datamatrix/DataMatrix.h"
#include "datamatrix/DxEncode.h"

#include <gtest/gtest.h>
#include <set>
#include <stdexcept>

namespace {

using internal::DxScheme;
using Bytes = std::vector<std::uint8_t>;

Bytes B(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

TEST(DxEncoder, PinnedCodewords)
{
    struct Row
    {
        Bytes input;
        DxScheme scheme;
        int size;
        Bytes words;
        const char* why;
    };

    const Row rows[] = {
        {B("123456"), DxScheme::Ascii, -2, {142, 164, 186}, "digit pairs"},
        {B("12a3"), DxScheme::Ascii, -2, {142, 98, 52}, "a lone digit stays single"},
        {{0xC4}, DxScheme::Ascii, -2, {235, 69}, "upper shift"},
        {{0xE8}, DxScheme::Ascii, -2, {235, 105}, "232 without GS1 is a plain byte"},
        {B("AIMAIMAIM"), DxScheme::C40, -2, {230, 91, 11, 91, 11, 91, 11, 254}, "C40 triplets, unlatch before padding"},
        {B("ABC"), DxScheme::X12, 2, {238, 89, 233, 254}, "one X12 triplet, unlatch before padding"},
        // Too little for one triplet: a latch with the unlatch right behind it reads as values
        // to a reader that takes a pair after the latch first, so the text goes in ASCII.
        {B("4"), DxScheme::X12, 2, {53}, "X12 at 14x14, a single digit"},
        {B("AB"), DxScheme::C40, -2, {66, 67}, "C40, two values"},
        {B("ab"), DxScheme::Text, 4, {98, 99}, "Text at 18x18, four values"},
        {B("\xE1"), DxScheme::C40, -2, {235, 98}, "C40, a byte of 128 or more (four values)"},
        {B("ABCDE"), DxScheme::Edifact, 8, {240, 4, 32, 196, 21, 240}, "fixed 26x26: explicit unlatch"},
        {B("ABCDE"), DxScheme::Edifact, -2, {240, 4, 32, 196, 70}, "12x12: one codeword left, ASCII"},
        {B("ABCDABCD"), DxScheme::Edifact, 3, {240, 4, 32, 196, 4, 32, 196, 124}, "16x16: unlatch, then padding"},
        {B("ABCDABCD"), DxScheme::Edifact, 2, {240, 4, 32, 196, 4, 32, 196}, "14x14: one codeword left, ASCII"},
        // Seven groups fill the 22 codewords of 20x20 exactly: no room, no unlatch.
        {B("ABCDABCDABCDABCDABCDABCDABCD"),
         DxScheme::Edifact,
         5,
         {240, 4, 32, 196, 4, 32, 196, 4, 32, 196, 4, 32, 196, 4, 32, 196, 4, 32, 196, 4, 32, 196},
         "20x20 filled by whole groups"},
        {B("ab"), DxScheme::Base256, -2, {231, 46, 34, 185}, "255-state randomising"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        EXPECT_EQ(internal::EncodeSingleScheme(r.input, r.scheme, r.size), r.words);
    }
    // X12 has no lower case; the automatic choice finds another scheme.
    EXPECT_TRUE(internal::EncodeSingleScheme(B("abc"), DxScheme::X12, -2).empty());
    EXPECT_EQ(internal::EncodeAutoBest(B("abc"), -2), B("bcd"));
    // ASCII and X12 both need seven codewords here: the channel met first (ASCII) is kept, and
    // with it the symbol every earlier release drew.
    EXPECT_EQ(internal::EncodeAutoBest(B("A1A*Z>A"), -2), (Bytes{66, 50, 66, 43, 91, 63, 66}));
}

TEST(DxEncoder, SymbolCodewordsAndPadding)
{
    internal::DxEncode e;
    e.EncodeDataMatrix(B("123456"), {});
    EXPECT_EQ(e.Codewords(), (Bytes{142, 164, 186, 114, 25, 5, 88, 102}));
    EXPECT_EQ(e.PrintPatternRaw().width, 10);

    e.EncodeDataMatrix(B("A"), {});
    EXPECT_EQ(Bytes(e.Codewords().begin(), e.Codewords().begin() + 3), (Bytes{66, 129, 70}));
    e.EncodeDataMatrix(B("ABCD"), {});
    EXPECT_EQ(e.PrintPatternRaw().width, 12);

    internal::DxImageEncoderOptions fixed;
    fixed.sizeIdx = 0;
    try {
        e.EncodeDataMatrix(B("ABCD"), fixed);
        ADD_FAILURE() << "four codewords do not fit 10x10";
    } catch (const std::runtime_error& ex) {
        EXPECT_STREQ(ex.what(), "Data too long for specified symbol size. Data requires 4 codewords, but symbol only "
                                "supports 3 codewords. Use 'AUTO' or reduce data length.");
    }
}

TEST(DxEncoder, Gs1TextEntry)
{
    DataMatrix dm("png");
    internal::DxEncode gs1;
    internal::DxImageEncoderOptions options;
    options.gs1 = true;
    gs1.EncodeDataMatrix(B("\xE8"
                           "0104912345678904"),
                         options);
    EXPECT_EQ(gs1.DataWords(), (Bytes{232, 131, 134, 221, 153, 175, 197, 219, 134}));
    EXPECT_EQ(dm.CalDataMatrix(std::string("{FNC1}0104912345678904")), gs1.PrintPatternRaw());
    // Elsewhere the token is plain text, and drawn bytes never follow the GS1 rules.
    EXPECT_EQ(dm.CalDataMatrix(std::string("A{FNC1}1")), dm.CalDataMatrix(B("A{FNC1}1")));
    EXPECT_FALSE(dm.CalDataMatrix(B("{FNC1}01")) == dm.CalDataMatrix(std::string("{FNC1}01")));
}

TEST(DxPlacement, EveryModuleOfEverySizeOnce)
{
    for (int i = 0; i < internal::kDxSizeCount; ++i) {
        const internal::DxSymbolSize& size = internal::DxSize(i);
        SCOPED_TRACE(std::to_string(size.rows) + "x" + std::to_string(size.cols));
        const internal::DxPlacement p = internal::ModulePlacementEcc200(size.MappingRows(), size.MappingCols());
        std::set<int> bits;
        int fixed = 0;
        for (size_t m = 0; m < p.source.size(); ++m) {
            EXPECT_EQ(p.visits[m], 1) << "module " << m;
            p.source[m] >= 0 ? (void)bits.insert(p.source[m]) : (void)++fixed;
        }
        EXPECT_EQ(bits.size(), static_cast<size_t>(size.TotalWords()) * 8);
        EXPECT_EQ(*bits.rbegin(), size.TotalWords() * 8 - 1);
        EXPECT_TRUE(fixed == 0 || fixed == 4);
    }
}

} // namespace
