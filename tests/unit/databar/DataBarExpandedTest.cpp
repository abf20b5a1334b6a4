// SPDX-License-Identifier: MIT
#include "barcode_lumeo.h"
#include "databar/GS1DataBarExpanded.h"
#include "unit/databar/DataBarTestUtil.h"
#include "unit/linear/LinearTestUtil.h"

#include <gtest/gtest.h>

using testsupport::Handle;

namespace {

struct Row
{
    const char* text;
    int method;
    const char* printed;
    const char* zint;    // zint's form of the element string; null where its encoder chooses otherwise
    const char* decoded; // what zxing reads; null where it reads nothing (AI 01 alone)
};

const Row kRows[] = {
    {"0195012345678903", 1, "(01)95012345678903", "[01]95012345678903", nullptr},
    {"0195012345678903{AI}1012345[{AI}21ABCDE", 1, "(01)95012345678903(10)12345[(21)ABCDE",
     "[01]95012345678903[10]12345[21]ABCDE", "(01)95012345678903(10)12345(21)ABCDE"},
    {"0195012345678903{AI}10ABC-12/x y", 1, "(01)95012345678903(10)ABC-12/x y", nullptr,
     "(01)95012345678903(10)ABC-12/x y"},
    {"0195012345678903{AI}10ABCDEFGHIJKLMNOPQRST", 1, "(01)95012345678903(10)ABCDEFGHIJKLMNOPQRST",
     "[01]95012345678903[10]ABCDEFGHIJKLMNOPQRST", "(01)95012345678903(10)ABCDEFGHIJKLMNOPQRST"},
    {"{AI}10ABC", 2, "(10)ABC", "[10]ABC", "(10)ABC"},
    {"{AI}10ab!%&()*+,-./:;[{AI}21<=>?_ z\"'", 2, "(10)ab!%&()*+,-./:;[(21)<=>?_ z\"'",
     "[10]ab!%&()*+,-./:;[21]<=>?_ z\"'", "(10)ab!%&()*+,-./:;(21)<=>?_ z\"'"},
    {"0190012345678908{AI}3103001750", 3, "(01)90012345678908(3103)001750", "[01]90012345678908[3103]001750",
     "(01)90012345678908(3103)001750"},
    // Too heavy for method 3 (zint uses method 7 without a date instead).
    {"0190012345678908{AI}3103032768", 1, "(01)90012345678908(31)03032768", nullptr, "(01)90012345678908(3103)032768"},
    {"0190012345678908{AI}3202009999", 4, "(01)90012345678908(3202)009999", "[01]90012345678908[3202]009999",
     "(01)90012345678908(3202)009999"},
    {"0190012345678908{AI}3203022767", 4, "(01)90012345678908(3203)022767", "[01]90012345678908[3203]022767",
     "(01)90012345678908(3203)022767"},
    {"0190012345678908{AI}3922123", 5, "(01)90012345678908(3922)123", "[01]90012345678908[3922]123",
     "(01)90012345678908(3922)123"},
    {"0190012345678908{AI}3932978123", 6, "(01)90012345678908(3932)978123", "[01]90012345678908[3932]978123",
     "(01)90012345678908(3932)978123"},
    {"0190012345678908{AI}3103001750{AI}11200131", 7, "(01)90012345678908(3103)001750(11)200131",
     "[01]90012345678908[3103]001750[11]200131", "(01)90012345678908(3103)001750(11)200131"},
    {"0190012345678908{AI}3202001750{AI}11200131", 8, "(01)90012345678908(3202)001750(11)200131",
     "[01]90012345678908[3202]001750[11]200131", "(01)90012345678908(3202)001750(11)200131"},
    {"0190012345678908{AI}3105012345{AI}13991231", 9, "(01)90012345678908(3105)012345(13)991231",
     "[01]90012345678908[3105]012345[13]991231", "(01)90012345678908(3105)012345(13)991231"},
    {"0190012345678908{AI}3201000001{AI}13000101", 10, "(01)90012345678908(3201)000001(13)000101",
     "[01]90012345678908[3201]000001[13]000101", "(01)90012345678908(3201)000001(13)000101"},
    {"0190012345678908{AI}3109099998{AI}15201200", 11, "(01)90012345678908(3109)099998(15)201200",
     "[01]90012345678908[3109]099998[15]201200", "(01)90012345678908(3109)099998(15)201200"},
    {"0190012345678908{AI}3204012345{AI}15250615", 12, "(01)90012345678908(3204)012345(15)250615",
     "[01]90012345678908[3204]012345[15]250615", "(01)90012345678908(3204)012345(15)250615"},
    {"0190012345678908{AI}3100000000{AI}17301130", 13, "(01)90012345678908(3100)000000(17)301130",
     "[01]90012345678908[3100]000000[17]301130", "(01)90012345678908(3100)000000(17)301130"},
    {"0190012345678908{AI}3205012345{AI}17000100", 14, "(01)90012345678908(3205)012345(17)000100",
     "[01]90012345678908[3205]012345[17]000100", "(01)90012345678908(3205)012345(17)000100"},
    // Month 13 has no compressed form: method 1 keeps the date as it is.
    {"0190012345678908{AI}3103001750{AI}11201301", 1, "(01)90012345678908(31)03001750(11)201301",
     "[01]90012345678908[3103]001750[11]201301", "(01)90012345678908(3103)001750(11)201301"},
};

// The bits of a text and whether it encodes; the message when it does not.
std::string ErrorOf(const std::string& text)
{
    return databartest::ErrorOf([&] { databar::EncodeExpandedBits(text); });
}

std::vector<std::string> OurRows(const std::string& text, bool stacked, int columns)
{
    const databar::ExpandedBits bits = databar::EncodeExpandedBits(text);
    std::vector<std::string> rows;
    for (const auto& runs : databar::ExpandedRows(databar::ExpandedElements(bits.bits), stacked, columns).rows) {
        rows.push_back(databartest::Modules(runs));
    }
    return rows;
}

} // namespace

TEST(DataBarExpanded, MethodsTextsAndSizes)
{
    for (const Row& row : kRows) {
        const databar::ExpandedBits bits = databar::EncodeExpandedBits(row.text);
        EXPECT_EQ(bits.method, row.method) << row.text;
        EXPECT_EQ(bits.humanReadable, row.printed);
        EXPECT_EQ(bits.bits.size() % 12, 0u) << row.text;
        EXPECT_GE(bits.bits.size(), 36u) << row.text;
    }
    // AI 01 alone: 1 + 3 + 4 + 40 bits, no padding; 4 data characters, 5 symbol characters, 3 finders.
    const databar::ExpandedBits gtin = databar::EncodeExpandedBits("0195012345678903");
    // Header 0 1 10, indicator 9, then 501 234 567 890 in ten bits each.
    EXPECT_EQ(gtin.bits, std::string("0110") + "1001" + "0111110101" + "0011101010" + "1000110111" + "1101111010");
    EXPECT_EQ(databar::ExpandedElements(gtin.bits).size(), 5u * 3 + 8 * 5 + 4);
    EXPECT_EQ(databar::EncodeExpandedBits("{AI}0195012345678903").humanReadable, "(01)95012345678903");
    // 16 + 6 x 39 bits of "{AI}10" and letters fill 21 data characters; one more is too long.
    EXPECT_EQ(databar::EncodeExpandedBits("{AI}10" + std::string(39, 'A')).bits.size(), 252u);
    EXPECT_EQ(ErrorOf("{AI}10" + std::string(40, 'A')), "Input too long");
}

TEST(DataBarExpanded, InvalidCharacters)
{
    for (const char* text : {
             "0195012345678903{AI}10AB#", // no code in any mode
             "{AI}10AB]C",                // ']' would vanish from the data
             "{AI}10AB[[{AI}21C",
             "{AI}10AB[",                 // their FNC1 codes overflow
             "0195012345678[03",          // the compressed GTIN holds digits only
             "0190012345678908{AI}39320", // AI 393x without its currency
             "{AI}10\x7f",
         }) {
        EXPECT_EQ(ErrorOf(text), "Invalid characters in input data") << text;
    }
    EXPECT_EQ(lineartest::FailureLine<GS1DataBarExpanded>("{AI}10AB]C"),
              "[GS1 DataBar Expanded] Invalid characters in input data\n");
    // The compressed GTIN leaves its check digit to the reader: a wrong one is refused, not replaced.
    EXPECT_EQ(ErrorOf("0190012345678909"), "Wrong check digit in GTIN (01)90012345678909: expected 8");
    EXPECT_EQ(ErrorOf("0190012345678909{AI}3103001750"), "Wrong check digit in GTIN (01)90012345678909: expected 8");
}

// Unstacked and every column count 1 to 10 against zint, except where zint pads a last row that
// would hold a single symbol character (this library keeps such a row).
TEST(DataBarExpanded, RowsAgreeWithAnIndependentEncoder)
{
    if (!databartest::kHaveZint) {
        GTEST_SKIP() << "zint not available";
    }
    std::vector<std::pair<std::string, std::string>> inputs;
    for (const Row& row : kRows) {
        if (row.zint != nullptr) {
            inputs.emplace_back(row.text, row.zint);
        }
    }
    inputs.emplace_back("0195012345678903{AI}10ABC123456789012345[{AI}2112345678901234",
                        "[01]95012345678903[10]ABC123456789012345[21]12345678901234");
    inputs.emplace_back("0195012345678903{AI}101234", "[01]95012345678903[10]1234"); // 7 symbol characters
    inputs.emplace_back("0195012345678903{AI}21abcdefghijklmnopqrst", "[01]95012345678903[21]abcdefghijklmnopqrst");
    size_t compared = 0;
    for (const auto& [text, zintText] : inputs) {
        const std::vector<std::string> unstacked = OurRows(text, false, 0);
        EXPECT_EQ(databartest::ZintRows(31, zintText, unstacked[0].size(), "--gs1nocheck"), unstacked) << text;
        const size_t symbolChars = databar::EncodeExpandedBits(text).bits.size() / 12 + 1;
        const size_t blocks = (symbolChars + 1) / 2;
        for (int columns = 1; columns <= 10; ++columns) {
            if (symbolChars % 2 == 1 && (blocks - 1) % static_cast<size_t>(columns) == 0) {
                continue;
            }
            const std::vector<std::string> ours = OurRows(text, true, columns);
            std::vector<std::string> zint =
                databartest::ZintRows(81, zintText, 1000, "--gs1nocheck --cols=" + std::to_string(columns));
            ASSERT_EQ(zint.size(), ours.size()) << text << " columns " << columns;
            for (size_t r = 0; r < ours.size(); ++r) {
                EXPECT_EQ(zint[r].substr(0, ours[r].size()), ours[r]) << text << " columns " << columns << " row " << r;
                EXPECT_EQ(zint[r].find('1', ours[r].size()), std::string::npos) << text << " columns " << columns;
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, 150u);
}

// Every method, raster and SVG, one row and stacked.
TEST(DataBarExpanded, RoundTripThroughZxing)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    for (const Row& row : kRows) {
        if (row.decoded == nullptr) {
            continue;
        }
        for (const auto& [format, columns] :
             {std::make_pair("png", 0), std::make_pair("svg", 0), std::make_pair("png", 2), std::make_pair("svg", 3)}) {
            Handle h(14);
            barcode_set_output_format(h.h, format);
            barcode_set_no_of_columns(h.h, columns);
            const bool drawn =
                columns == 0 ? barcode_draw_1d(h.h, row.text, 900, 120) : barcode_draw_stacked(h.h, row.text, 500, 400);
            ASSERT_TRUE(drawn) << row.text;
            const bool svg = format[0] == 's';
            const auto png = svg ? testsupport::RasteriseSvg(barcode_get_svg(h.h)) : testsupport::ImageBytes(h.h);
            if (png.empty() && svg && !testsupport::HaveSvgRasteriser()) {
                continue;
            }
            EXPECT_EQ(testsupport::DecodePngBytes(png, "DataBarExpanded").text, row.decoded)
                << row.text << " " << format << " columns " << columns;
        }
    }
}

// zbar reads few stacked symbols of several rows; zxing reads them at every column count.
TEST(DataBarExpanded, StackedAtEveryColumnCountReadByZxing)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    const std::string text = "0195012345678903{AI}10ABC123456789012345[{AI}2112345678901234";
    for (int columns = 1; columns <= 10; ++columns) {
        GS1DataBarExpanded symbol("png");
        symbol.SetColumns(columns);
        // The 56 characters of text do not fit a stack of one column at any legible size.
        symbol.SetShowText(columns > 1);
        ASSERT_TRUE(symbol.DrawStacked(text, 0, 0, 110 * columns, 500));
        EXPECT_EQ(testsupport::DecodePngBytes(symbol.GetImageMemory(), "DataBarExpanded").text,
                  "(01)95012345678903(10)ABC123456789012345(21)12345678901234")
            << columns;
    }
    GS1DataBarExpanded narrow("png");
    narrow.SetColumns(1);
    testsupport::CapturedOutput captured;
    EXPECT_FALSE(narrow.DrawStacked(text, 0, 0, 110, 500));
    captured.Finish();
    EXPECT_NE(captured.Err().find("[GS1 DataBar Expanded] The text needs "), std::string::npos) << captured.Err();
    EXPECT_NE(captured.Err().find(" pixels even at font size 6; the box is 110 wide"), std::string::npos)
        << captured.Err();
}

TEST(DataBarExpanded, StackLayoutAndOptions)
{
    const auto layout = [](const std::string& text, int columns) {
        GS1DataBarExpanded symbol("svg");
        symbol.SetStacked(true);
        symbol.SetColumns(columns);
        EXPECT_TRUE(symbol.encode(text));
        return symbol.Rows();
    };
    // 5 symbol characters: 3 code blocks. With 2 columns the second row holds one block and
    // reads left to right, one module further right.
    const databar::RowSymbol two = layout("0195012345678903", 2);
    ASSERT_EQ(two.rows.size(), 5u);
    EXPECT_EQ(two.heights, (std::vector<int>{-1, 1, 1, 1, -1}));
    EXPECT_EQ(two.rows[4][0], 0);
    EXPECT_EQ(two.rows[4][1], 2);
    for (int columns : {0, 11, -1}) {
        EXPECT_EQ(layout("0195012345678903", columns).rows, two.rows) << columns;
    }
    EXPECT_EQ(layout("0195012345678903", 1).rows.size(), 9u);
    // 3 columns, 5 blocks: the second row begins dark like every even row of an odd column count.
    const databar::RowSymbol three = layout("0195012345678903{AI}101234567890", 3);
    ASSERT_EQ(three.rows.size(), 5u);
    EXPECT_NE(three.rows[4][0], 0);

    Handle h(14);
    barcode_set_output_format(h.h, "svg");
    const auto svgOf = [&h](bool drawStacked) {
        const char* text = "0195012345678903";
        EXPECT_TRUE(drawStacked ? barcode_draw_stacked(h.h, text, 400, 100) : barcode_draw_1d(h.h, text, 400, 100));
        return std::string(barcode_get_svg(h.h));
    };
    const std::string one = svgOf(false);
    EXPECT_EQ(lineartest::SvgTexts(one).find("(01)"), 0u);
    barcode_set_symbol_type_exp(h.h, "stacked"); // not a known value: no change
    EXPECT_EQ(svgOf(false), one);
    const std::string stacked = svgOf(true);
    EXPECT_NE(stacked, one);
    EXPECT_EQ(svgOf(false), one); // the stacked draw was one-off
    barcode_set_symbol_type_exp(h.h, "STACKED");
    EXPECT_EQ(svgOf(false), stacked);
    barcode_set_symbol_type_exp(h.h, "UNSTACKED");
    EXPECT_EQ(svgOf(false), one);
    testsupport::CapturedOutput quiet; // the failure line
    EXPECT_FALSE(barcode_draw_stacked(h.h, "{AI}10]", 400, 100));
    Handle other(12);
    EXPECT_FALSE(barcode_draw_stacked(other.h, "0195012345678903", 400, 100));
}
