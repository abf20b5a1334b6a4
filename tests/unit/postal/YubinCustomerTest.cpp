// SPDX-License-Identifier: MIT
#include "postal/YubinCustomer.h"
#include "postal/YubinEncoder.h"

#include "barcode_lumeo.h"
#include "core/Log.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char kCC4[] = "432";

std::string Repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += s;
    }
    return out;
}

// The bars zint draws for `data`, read from its dump: three rows (ascender, tracker,
// descender) of one module per bar followed by one module of gap. Empty when zint refuses.
std::string ZintBars(const std::string& data)
{
#ifdef BARCODE_ZINT
    const std::string cmd = std::string(BARCODE_ZINT) + " --barcode=JAPANPOST --dump -d '" + data + "' 2>/dev/null";
    FILE* pipe = ::popen(cmd.c_str(), "r");
    if (pipe == nullptr) {
        return {};
    }
    std::vector<std::vector<int>> rows;
    char line[512];
    while (std::fgets(line, sizeof(line), pipe) != nullptr) {
        std::vector<int> bytes;
        unsigned value = 0;
        int offset = 0;
        int used = 0;
        while (std::sscanf(line + offset, "%2x%n", &value, &used) == 1) {
            bytes.push_back(static_cast<int>(value));
            offset += used;
        }
        if (!bytes.empty()) {
            rows.push_back(bytes);
        }
    }
    ::pclose(pipe);
    if (rows.size() != 3) {
        return {};
    }
    const auto bit = [&rows](int row, int i) {
        const size_t byte = static_cast<size_t>(i / 8);
        return byte < rows[row].size() && ((rows[row][byte] >> (7 - i % 8)) & 1) != 0;
    };
    std::string bars;
    for (int k = 0; k < 67; ++k) {
        const bool top = bit(0, 2 * k);
        const bool bottom = bit(2, 2 * k);
        bars += top && bottom ? '1' : top ? '2' : bottom ? '3' : '4';
    }
    return bars;
#else
    (void)data;
    return {};
#endif
}

testsupport::GreyImage DrawGrey(void* h)
{
    int size = 0;
    const unsigned char* png = barcode_get_image_data(h, &size);
    if (png == nullptr) {
        return {};
    }
    return testsupport::ToGrey(testsupport::DecodePng(png, size), 0);
}

} // namespace

TEST(YubinCustomer, CharacterPatterns)
{
    EXPECT_EQ(postal::GetPattern(0), "144");
    EXPECT_EQ(postal::GetPattern(9), "411");
    EXPECT_EQ(postal::GetPattern(10), "414");   // hyphen
    EXPECT_EQ(postal::GetPattern(11), "324144"); // A = CC1 0
    EXPECT_EQ(postal::GetPattern(20), "324411"); // J = CC1 9
    EXPECT_EQ(postal::GetPattern(21), "342144"); // K = CC2 0
    EXPECT_EQ(postal::GetPattern(30), "342411"); // T = CC2 9
    EXPECT_EQ(postal::GetPattern(31), "234144"); // U = CC3 0
    EXPECT_EQ(postal::GetPattern(36), "234141"); // Z = CC3 5
    EXPECT_EQ(postal::GetPattern(37), "");
    EXPECT_EQ(postal::GetPattern(-1), "");

    EXPECT_EQ(postal::GetCheckPattern(10), "414");
    EXPECT_EQ(postal::GetCheckPattern(11), "324"); // CC1
    EXPECT_EQ(postal::GetCheckPattern(18), "111"); // CC8
    EXPECT_EQ(postal::GetCheckPattern(19), "");
    for (int v = 0; v <= 18; ++v) {
        EXPECT_EQ(postal::PatternToCheckValue(postal::GetCheckPattern(v)), v);
    }
    EXPECT_EQ(postal::PatternToCheckValue("444"), -1);
    EXPECT_EQ(postal::PatternToCheckValue("1444"), -1);
}

// Bar codes worked out by hand from the Japan Post rules (character values, CC4 filler, check
// value completing a multiple of 19).
TEST(YubinCustomer, PinnedBars)
{
    struct Row
    {
        const char* text;
        std::string bars;
        int check;
        const char* why;
    };
    const Row rows[] = {
        {"1000001", "13" "114" + Repeat("144", 5) + "114" + Repeat(kCC4, 13) + "321" "31", 6,
         "seven digits, thirteen fillers: 2 + 13 x 14 = 184, 19 - 184 mod 19 = 6"},
        {"1000007", "13" "114" + Repeat("144", 5) + "213" + Repeat(kCC4, 13) + "144" "31", 0,
         "sum 190 is a multiple of 19: check value 0"},
        {"a", "13" "324144" + Repeat(kCC4, 18) + "312" "31", 3, "lower-case a reads as A: CC1 then 0"},
        {"\xE3\x80\x92", "13" + Repeat(kCC4, 20) + "141" "31", 5, "nothing in the set: fillers only"},
        {"1234567890123456789K", "13" "114132312123141321213231411144" "114132312123141321213231411" "342" "342" "31", 12,
         "K on the 20th position: its own CC2 only"},
        {"1234567890123456789U", "13" "114132312123141321213231411144" "114132312123141321213231411" "234" "324" "31", 11,
         "U on the 20th position: CC3 only"},
        {"1234567890123456789A", "13" "114132312123141321213231411144" "114132312123141321213231411" "324" "234" "31", 13,
         "A on the 20th position: CC1 only"},
    };
    for (const Row& row : rows) {
        const postal::YubinBars symbol = postal::EncodeYubin(row.text);
        EXPECT_EQ(symbol.bars, row.bars) << row.why;
        EXPECT_EQ(symbol.checkValue, row.check) << row.why;
        EXPECT_EQ(symbol.bars.size(), 67u) << row.why;
        EXPECT_EQ(symbol.data.size(), 60u) << row.why;
    }
}

TEST(YubinCustomer, TextNormalisation)
{
    // Japanese address words, blanks and the postal mark drop out; digits and hyphens stay.
    EXPECT_EQ(postal::NormaliseYubinText("2630023 千葉市稲毛区緑町3-30-8-403"), "26300233-30-8-403");
    EXPECT_EQ(postal::NormaliseYubinText("\xE3\x80\x92" "273-0102 b604"), "273-0102B604");
    EXPECT_EQ(postal::EncodeYubin("2630023 千葉市稲毛区緑町3-30-8-403").bars, postal::EncodeYubin("26300233-30-8-403").bars);
    // Only twenty positions: the rest is ignored; a letter on positions 19 and 20 fits whole.
    EXPECT_EQ(postal::EncodeYubin("12345678901234567890").bars, postal::EncodeYubin("1234567890123456789012345").bars);
    EXPECT_EQ(postal::EncodeYubin("123456789012345678Z").data.substr(54), "234141");
}

// Addresses in the form of the Japan Post examples (postal code, then the address number with
// hyphens), compared with the independent encoder zint.
TEST(YubinCustomer, MatchesIndependentEncoder)
{
#ifndef BARCODE_ZINT
    GTEST_SKIP() << "zint not available";
#endif
    struct Row
    {
        const char* address;
        const char* text;
    };
    const Row rows[] = {
        {"〒263-0023 千葉市稲毛区緑町3丁目30-8 郵便ビル403号", "2630023 3-30-8-403"},
        {"〒014-0113 秋田県大仙市堀見内 南田茂木 添60-1", "0140113 60-1"},
        {"〒110-0016 東京都台東区台東5-6-3 ABCビル10F", "1100016 5-6-3-10"},
        {"〒060-0906 北海道札幌市東区北六条東4丁目 郵便センター6号館", "0600906 4-6"},
        {"〒065-0006 北海道札幌市東区北六条東8丁目 郵便センター10号館", "0650006 8-10"},
        {"〒407-0033 山梨県韮崎市龍岡町下條南割 韮崎200", "4070033 200"},
        {"〒273-0102 千葉県鎌ケ谷市右京塚 東3丁目-20-5 郵便・A&bコーポB604号", "2730102 3-20-5-B604"},
        {"〒198-0036 東京都青梅市河辺町十一丁目六番地一号 郵便タワー601", "1980036 11-6-1-601"},
        {"〒027-0203 岩手県宮古市大字津軽石第二十一地割大淵川", "0270203 21"},
        {"〒590-0016 大阪府堺市中田出井町四丁六番十九号", "5900016 4-6-19"},
        {"〒080-0831 北海道帯広市稲田町南七線 西28", "0800831 7-28"},
        {"〒317-0055 茨城県日立市宮田町6丁目7-14 ABCビル2F", "3170055 6-7-14-2"},
        {"〒650-0046 神戸市中央区港島中町9丁目7-6 郵便シティA棟1F1号", "6500046 9-7-6-A1-1"},
        {"〒623-0011 京都府綾部市青野町綾部6-7 LプラザB106", "6230011 6-7-B106"},
        {"〒912-0016 福井県大野市友江9号10番地", "9120016 9-10"},
        {"〒910-0067 福井県福井市新田塚3丁目80-25 J1ビル", "9100067 3-80-25-J1"},
        {"〒100-8798 東京都千代田区大手町2-3-1", "1008798 2-3-1"},
        {"〒530-0001 大阪府大阪市北区梅田1-3-1 Z9", "5300001 1-3-1-Z9"},
    };
    for (const Row& row : rows) {
        const std::string data = postal::NormaliseYubinText(row.text);
        const std::string expected = ZintBars(data);
        ASSERT_EQ(expected.size(), 67u) << row.address << ": zint refused " << data;
        EXPECT_EQ(postal::EncodeYubin(row.text).bars, expected) << row.address;
    }
}

TEST(YubinCustomer, GeometryFromHeight)
{
    EXPECT_EQ(YubinCustomer::SymbolWidth(30), 676);
    void* h = barcode_create(15);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(barcode_draw_yubin(h, "1000001", 30));
    const testsupport::GreyImage grey = DrawGrey(h);
    barcode_destroy(h);
    ASSERT_EQ(grey.width, 676);
    ASSERT_EQ(grey.height, 30);
    // Pitch 10, bar width 5; the top third, middle third and bottom third of each bar.
    const std::string bars = postal::EncodeYubin("1000001").bars;
    for (int k = 0; k < 67; ++k) {
        const int x = 10 * k + 2;
        std::string seen;
        seen += grey.at(x, 5) < 128 ? 'T' : '-';
        seen += grey.at(x, 15) < 128 ? 'M' : '-';
        seen += grey.at(x, 25) < 128 ? 'B' : '-';
        const char* expected = bars[k] == '1' ? "TMB" : bars[k] == '2' ? "TM-" : bars[k] == '3' ? "-MB" : "-M-";
        EXPECT_EQ(seen, expected) << "bar " << k;
        EXPECT_GT(grey.at(10 * k + 7, 15), 128) << "gap after bar " << k;
    }
}

TEST(YubinCustomer, WidthIsIgnored)
{
    std::vector<std::uint8_t> first;
    for (int width : {0, 100, 5000}) {
        void* h = barcode_create(15);
        ASSERT_NE(h, nullptr);
        ASSERT_TRUE(barcode_draw_yubin_with_width(h, "1540023 3-16-4-205", width, 24));
        int size = 0;
        const unsigned char* png = barcode_get_image_data(h, &size);
        ASSERT_NE(png, nullptr);
        const std::vector<std::uint8_t> bytes(png, png + size);
        barcode_destroy(h);
        if (first.empty()) {
            first = bytes;
        }
        EXPECT_EQ(bytes, first) << width;
    }
}

TEST(YubinCustomer, SvgHasTheSameBars)
{
    void* h = barcode_create(15);
    ASSERT_NE(h, nullptr);
    barcode_set_output_format(h, "svg");
    ASSERT_TRUE(barcode_draw_yubin(h, "2630023 3-30-8-403", 30));
    const std::string svg = barcode_get_svg(h);
    barcode_destroy(h);
    EXPECT_TRUE(testsupport::IsWellFormedXml(svg));
    EXPECT_NE(svg.find("width=\"676\" height=\"30\""), std::string::npos);
    size_t rects = 0;
    for (size_t pos = svg.find("<rect "); pos != std::string::npos; pos = svg.find("<rect ", pos + 1)) {
        ++rects;
    }
    EXPECT_EQ(rects, 68u); // background and 67 bars
    // Start code "13": a long bar at 0, a lower semi-long bar at 10.
    EXPECT_NE(svg.find("<rect x=\"0.00\" y=\"0.00\" width=\"5.00\" height=\"30.00\""), std::string::npos);
    EXPECT_NE(svg.find("<rect x=\"10.00\" y=\"10.00\" width=\"5.00\" height=\"20.00\""), std::string::npos);

    if (!testsupport::HaveSvgRasteriser()) {
        return;
    }
    // The rasterised document shows the same picture as the raster draw.
    void* r = barcode_create(15);
    ASSERT_TRUE(barcode_draw_yubin(r, "2630023 3-30-8-403", 30));
    const testsupport::GreyImage raster = DrawGrey(r);
    barcode_destroy(r);
    const testsupport::GreyImage vector =
        testsupport::ToGrey(testsupport::DecodePng(testsupport::RasteriseSvg(svg)), 0);
    ASSERT_EQ(vector.width, raster.width);
    ASSERT_EQ(vector.height, raster.height);
    for (int k = 0; k < 67; ++k) {
        for (int y : {5, 15, 25}) {
            EXPECT_EQ(vector.at(10 * k + 2, y) < 128, raster.at(10 * k + 2, y) < 128) << k << "," << y;
        }
    }
}

TEST(YubinCustomer, PixelAdjustmentChangesBarWidth)
{
    void* h = barcode_create(15);
    ASSERT_NE(h, nullptr);
    barcode_set_output_format(h, "svg");
    barcode_set_px_adjust_black(h, -10);
    ASSERT_TRUE(barcode_draw_yubin(h, "1000001", 30));
    EXPECT_NE(std::string(barcode_get_svg(h)).find("width=\"1.00\" height=\"30.00\""), std::string::npos);
    barcode_set_px_adjust_black(h, 2);
    barcode_set_px_adjust_white(h, 50); // not used by this symbology
    ASSERT_TRUE(barcode_draw_yubin(h, "1000001", 30));
    const std::string svg = barcode_get_svg(h);
    EXPECT_NE(svg.find("<rect x=\"10.00\" y=\"10.00\" width=\"7.00\" height=\"20.00\""), std::string::npos);
    barcode_destroy(h);
}

TEST(YubinCustomer, ProgressLineAndRefusals)
{
    YubinCustomer symbol("png");
    barcode_log::SetQuiet(false);
    testsupport::CapturedOutput captured;
    const bool drawn = symbol.Draw("1000001", 0, 0, 30);
    captured.Finish();
    barcode_log::SetQuiet(true);
    EXPECT_TRUE(drawn);
    EXPECT_NE(captured.Out().find("YubinCustomer: 1000001 (h=30, CD=6)\n"), std::string::npos);

    EXPECT_FALSE(symbol.Draw("", 0, 0, 30));
    EXPECT_FALSE(symbol.Draw("1000001", 0, 0, 0));
    EXPECT_FALSE(symbol.DrawSvg("1000001", 0, 0, 100, -5));
    // Twenty data positions: an address that needs more is refused, never cut to another one.
    EXPECT_TRUE(symbol.Draw("12345678901234567890", 0, 0, 30));
    for (const char* longer : {"123456789012345678901", "1234567890123456789Z"}) {
        testsupport::CapturedOutput refused;
        EXPECT_FALSE(symbol.DrawSvg(longer, 0, 0, 100, 30)) << longer;
        refused.Finish();
        EXPECT_EQ(refused.Err(), "[YubinCustomer] Text needs 21 data positions; the barcode holds 20\n") << longer;
    }

    void* h = barcode_create(15);
    EXPECT_FALSE(barcode_draw_yubin(h, nullptr, 30));
    EXPECT_FALSE(barcode_draw_yubin(nullptr, "1000001", 30));
    EXPECT_FALSE(barcode_draw_yubin(h, "1000001", -1));
    EXPECT_TRUE(barcode_draw_1d(h, "1000001", 10, 12)); // the general draw: width ignored
    EXPECT_FALSE(barcode_draw_yubin(h, "1000001", 2000000000)); // no canvas that large
    barcode_destroy(h);
    void* code39 = barcode_create(0);
    EXPECT_FALSE(barcode_draw_yubin(code39, "1000001", 30));
    EXPECT_FALSE(barcode_draw_yubin_with_width(code39, "1000001", 100, 30));
    barcode_destroy(code39);
}
