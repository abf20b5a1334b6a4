// SPDX-License-Identifier: MIT
// The PDF417 engine without drawing: compaction codewords, limits, level and grid choice, the
// cluster tables, and the options that an object carries from one draw to the next.
#include "core/Log.h"
#include "pdf417/PDF417.h"
#include "pdf417/Pdf417Encoder.h"
#include "pdf417/Pdf417Tables.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace internal_pdf417 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

TEST(Pdf417Compaction, PinnedCodewords)
{
    struct Row
    {
        Bytes input;
        std::vector<int> codewords; // length descriptor first
    };

    const Row rows[] = {
        {B("ABC"), {3, 1, 89}},
        {B("Ab"), {3, 27, 59}},                                  // 0, 27 (lower latch), 1, pad 29
        {B("123456789012"), {8, 841, 63, 125, 187, 249, 1, 89}}, // twelve digits: mixed sub-mode text
        {B("1234567890123"), {7, 902, 17, 110, 836, 811, 223}},  // thirteen digits: numeric
        {B("1234567890123456"), {8, 902, 19, 23, 229, 801, 348, 256}},
        {B("AB\x80"
           "CD"),
         {5, 1, 913, 128, 63}}, // a lone byte stays in the text
        {Bytes{0x80, 0x81, 0x82, 0x83, 0x84, 0x85}, {7, 924, 215, 318, 502, 193, 33}},
        {Bytes{0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86}, {8, 901, 215, 318, 502, 193, 33, 134}},
        {B("AbCDef"), {6, 27, 57, 87, 94, 179}}, // upper shift (27) before one capital
        {B("AbCDE"), {5, 27, 58, 842, 94}},      // upper latch (28, 28) before two capitals
        {B("a;b"), {4, 810, 870, 59}},           // punctuation shift (29)
        {B("A;<>B"), {5, 28, 750, 32, 871}},     // punctuation latch (28, 25), back by 29
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.input.begin(), row.input.end()));
        EXPECT_EQ(DataCodewords(row.input), row.codewords);
    }
}

TEST(Pdf417Compaction, Segments)
{
    Pdf417Engine engine{LayoutSettings{}};
    engine.setText(B("Order 12345678901234567 \x81\x82\x83 ok"));
    engine.breakString();
    // Text, digits, then the bytes take in the short text around them.
    EXPECT_EQ(engine.segments().list(), (std::vector<Segment>{{'T', 0, 6}, {'N', 6, 23}, {'B', 23, 30}}));
}

TEST(Pdf417Compaction, EmptyAndTooBigFail)
{
    testsupport::CapturedOutput out;
    EXPECT_THROW(DataCodewords({}), std::runtime_error);
    EXPECT_THROW(DataCodewords(Bytes(5421, 'A')), std::out_of_range);
    // Text whose values pass every limit but the codeword count: alternating case doubles them.
    std::string alternating;
    for (int i = 0; i < 5420; ++i) {
        alternating += (i % 2 == 0) ? 'a' : 'B';
    }
    EXPECT_THROW(DataCodewords(B(alternating)), std::out_of_range);
    EXPECT_THROW(DataCodewords(Bytes(1109, 0xFF)), std::out_of_range);
    EXPECT_THROW(DataCodewords(Bytes(2711, '7')), std::out_of_range);
    EXPECT_THROW(DataCodewords(Bytes(1851, 'Q')), std::out_of_range);
    EXPECT_EQ(DataCodewords(Bytes(1850, 'Q')).size(), 926u);
    out.Finish();
    EXPECT_NE(out.Out().find("Text cannot be null.\n"), std::string::npos);
    EXPECT_NE(out.Out().find("The text is too big.\n"), std::string::npos);
}

TEST(Pdf417Layout, LevelAndGrid)
{
    struct Row
    {
        const char* what;
        Bytes input;
        LayoutSettings settings;
        int columns, rows, level;
    };

    LayoutSettings columns5;
    columns5.sizeKind = SizeKind::Columns;
    columns5.columns = 5;
    LayoutSettings rows3;
    rows3.sizeKind = SizeKind::Rows;
    rows3.rows = 3;
    LayoutSettings both;
    both.sizeKind = SizeKind::ColumnsAndRows;
    both.columns = 30;
    both.rows = 30;
    LayoutSettings fixedLevel = columns5;
    fixedLevel.useAutoErrorLevel = false;
    fixedLevel.errorLevel = 0;
    const Row rows[] = {
        // len 2 at level 2: need 10 -> 5 x 3, and 13 spare codewords raise the level to 2 (8).
        {"need 10, five columns", B("AB"), columns5, 5, 3, 2},
        // 166 capitals: len 84, level 3, need 100 -> 30 columns, 4 rows; 36 spare -> level 4.
        {"need 100, three rows", Bytes(166, 'Z'), rows3, 30, 4, 4},
        {"fixed rectangle", B("ABC"), both, 30, 30, 8},
        {"fixed level is raised to fill the grid", B("AB"), fixedLevel, 5, 3, 2},
        // Defaults: 0.5 aspect ratio, y-height 3.
        {"automatic", B("ABC"), LayoutSettings{}, 1, 11, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Pdf417Symbol s = Encode(row.input, row.settings);
        EXPECT_EQ(s.columns, row.columns);
        EXPECT_EQ(s.rows, row.rows);
        EXPECT_EQ(s.errorLevel, row.level);
        EXPECT_EQ(static_cast<int>(s.codewords.size()), s.columns * s.rows);
        EXPECT_EQ(s.modules.width, 17 * s.columns + 69);
        EXPECT_EQ(s.modules.height, s.rows);
    }
}

TEST(Pdf417Tables, ClustersHoldDistinctWellFormedPatterns)
{
    for (int table = 0; table < 3; ++table) {
        std::set<std::uint32_t> seen;
        for (int value = 0; value < kCodewordValues; ++value) {
            const std::uint32_t p = CodewordPattern(table, value);
            ASSERT_TRUE(seen.insert(p).second) << table << "/" << value;
            // Four bars and four spaces of 1..6 modules, bar first, 17 in all.
            int widths[8] = {};
            int element = 0;
            for (int bit = 16; bit >= 0; --bit) {
                const bool bar = ((p >> bit) & 1u) != 0;
                if (bit < 16 && bar != (((p >> (bit + 1)) & 1u) != 0)) {
                    ++element;
                }
                ASSERT_LT(element, 8);
                ASSERT_EQ(bar, element % 2 == 0);
                ++widths[element];
            }
            ASSERT_EQ(element, 7);
            for (int w : widths) {
                ASSERT_TRUE(w >= 1 && w <= 6);
            }
            EXPECT_EQ((widths[0] - widths[2] + widths[4] - widths[6] + 9) % 9, 3 * table) << value;
        }
    }
    EXPECT_EQ(CodewordPattern(0, 0), 0x1d5c0u);
}

TEST(Pdf417Tables, ErrorCorrectionLeavesZeroSyndromes)
{
    const std::vector<int> shortData = {16, 902, 1, 278, 827, 900, 295, 902, 2, 326, 823, 544, 900, 149, 900, 900};
    // Longer than the longest check (512 codewords), of the largest values: the most the
    // division's register ever holds.
    std::vector<int> longData(600, 928);
    longData[0] = 600;
    std::vector<std::pair<const std::vector<int>*, int>> cases;
    for (int level = 0; level <= 8; ++level) {
        cases.emplace_back(&shortData, level);
    }
    cases.emplace_back(&longData, 8);
    for (const auto& [data, level] : cases) {
        std::vector<int> all = *data;
        const std::vector<int> ec = ErrorCorrectionCodewords(*data, level);
        ASSERT_EQ(static_cast<int>(ec.size()), 2 << level);
        all.insert(all.end(), ec.begin(), ec.end());
        // The symbol polynomial vanishes at 3^1 .. 3^k.
        int root = 1;
        for (int j = 1; j <= (2 << level); ++j) {
            root = root * 3 % 929;
            long long value = 0;
            for (int c : all) {
                value = (value * root + c) % 929;
            }
            EXPECT_EQ(value, 0) << "level " << level << " root " << j;
        }
    }
}

TEST(Pdf417Object, SettersAndCarriedEngineState)
{
    PDF417 pdf("png");
    pdf.SetColumns(31);
    pdf.SetColumns(-1);
    pdf.SetRows(91);
    pdf.SetAspectRatio(0);
    pdf.SetYHeight(0);
    EXPECT_EQ(pdf.GetColumns(), 0);
    EXPECT_EQ(pdf.GetRows(), 0);
    EXPECT_EQ(pdf.GetAspectRatio(), 0.5);
    EXPECT_EQ(pdf.GetYHeight(), 3);
    pdf.SetQuietZoneWidth(-4);
    EXPECT_EQ(pdf.GetQuietZoneWidth(), 0);

    // CalPDF417 takes the size kind the engine last had: AUTO until a draw hands over COLUMNS.
    pdf.SetSizeMode(PDF417SizeMode::Columns);
    pdf.SetColumns(2);
    const Bytes text = B("carry over");
    EXPECT_NE(pdf.CalPDF417(text).width, 17 * 2 + 69);
    ASSERT_TRUE(pdf.Draw(text, 0, 0, 300, 100));
    EXPECT_EQ(pdf.CalPDF417(text).width, 17 * 2 + 69);
    // A size mode outside the four keeps the previous kind.
    pdf.SetSizeMode(static_cast<PDF417SizeMode>(7));
    ASSERT_TRUE(pdf.Draw(text, 0, 0, 300, 100));
    EXPECT_EQ(pdf.CalPDF417(text).width, 17 * 2 + 69);
    // The automatic level flag reaches the engine at once: 7 codewords and level 0 take 5 rows of
    // two columns, level 2 would take 8.
    pdf.SetErrorLevel(PDF417ErrorLevel::Level0);
    EXPECT_EQ(pdf.CalPDF417(text).height, 8);
    pdf.SetUseAutoErrorLevel(false);
    EXPECT_EQ(pdf.CalPDF417(text).height, 5);
    // Another object starts from AUTO whatever this one did.
    PDF417 other("png");
    other.SetSizeMode(static_cast<PDF417SizeMode>(7));
    other.SetColumns(2);
    ASSERT_TRUE(other.Draw(text, 0, 0, 300, 100));
    EXPECT_NE(other.CalPDF417(text).width, 17 * 2 + 69);
}

TEST(Pdf417Object, DumpsAreProgressLines)
{
    for (bool quiet : {false, true}) {
        barcode_log::SetQuiet(quiet);
        testsupport::CapturedOutput out;
        Encode(B("ABC"), LayoutSettings{});
        out.Finish();
        const bool printed = out.Out().find("C++ props: Encoding=utf-8, SizeKind=AUTO, CodeColumns=0, CodeRows=0, "
                                            "UseAutoErrorLevel=True, ErrorLevel(now)=2, AspectRatio=0.5, YHeight=3\n")
                             != std::string::npos;
        EXPECT_EQ(printed, !quiet);
        EXPECT_EQ(out.Out().find("[C++] row=0 startCp=0 codeColumns=1 lenCodewords=11\n") != std::string::npos, !quiet);
    }
}

} // namespace
} // namespace internal_pdf417
