// SPDX-License-Identifier: MIT
// QR symbols read back with zxing-cpp: every version and level, numeric and byte data of many
// lengths, Japanese text in UTF-8 and Shift-JIS, fit width, and SVG.
#include "barcode_lumeo.h"
#include "qr/QR.h"
#include "qr/QRJam.h"
#include "qr/QrTables.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::Decoded;

using testsupport::Handle;

// Draws a square symbol of `box` pixels through the C interface and decodes the PNG.
Decoded RoundTrip(const std::string& text, const char* level, int version, const char* mode, const char* encoding,
                  int box, bool* drawn = nullptr)
{
    Handle q(16);
    barcode_set_error_correction_level(q.h, level);
    barcode_set_version(q.h, version);
    barcode_set_encode_mode(q.h, mode);
    barcode_set_string_encoding(q.h, encoding);
    const bool ok = barcode_draw_2d(q.h, text.c_str(), box);
    if (drawn != nullptr) {
        *drawn = ok;
    }
    if (!ok) {
        return {};
    }
    return testsupport::DecodePngBytes(testsupport::ImageBytes(q.h), "QRCode", 16);
}

std::string Text(const Decoded& d)
{
    return std::string(d.bytes.begin(), d.bytes.end());
}

int LevelIndex(const char* level)
{
    return std::string(level) == "L" ? 0 : std::string(level) == "M" ? 1 : std::string(level) == "Q" ? 2 : 3;
}

TEST(QRRoundTrip, EveryVersionAtEveryLevel)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    for (const char* level : {"L", "M", "Q", "H"}) {
        for (int version = 1; version <= 40; ++version) {
            SCOPED_TRACE(std::string("level ") + level + " version " + std::to_string(version));
            const std::string text = "v" + std::to_string(version) + level;
            // Two pixels per module keep the images small (zxing's detector wants three at
            // version 40); the engine confirms the version.
            const int side = qr_internal::SideLength(version);
            bool drawn = false;
            const Decoded d = RoundTrip(text, level, version, "BYTE", "utf-8", (version < 40 ? 2 : 3) * side, &drawn);
            ASSERT_TRUE(drawn);
            EXPECT_TRUE(d.valid) << d.error;
            EXPECT_EQ(Text(d), text);

            qr_internal::QRJam jam;
            jam.SetLevel(LevelIndex(level));
            jam.SetVersion(version);
            jam.qrcode_write_barcode(std::vector<std::uint8_t>(text.begin(), text.end()), 0, 0, 100, 100);
            EXPECT_EQ(jam.ChosenVersion(), version);
            EXPECT_EQ(jam.Modules().width, side);
        }
    }
}

// The largest count of `unit` characters that fits the symbol at `level`.
size_t LargestFit(int level, bool numeric)
{
    const int bits = qr_internal::DataCapacityBits(level, 40);
    return numeric ? static_cast<size_t>((bits - 4 - 14) / 10 * 3
                                         + ((bits - 4 - 14) % 10 >= 7   ? 2
                                            : (bits - 4 - 14) % 10 >= 4 ? 1
                                                                        : 0))
                   : static_cast<size_t>((bits - 4 - 16) / 8);
}

TEST(QRRoundTrip, NumericAndByteDataOfManyLengths)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }

    struct Row
    {
        const char* level;
        bool numeric;
    };

    for (const Row& row : {Row{"L", true}, Row{"L", false}, Row{"H", true}, Row{"H", false}}) {
        const size_t largest = LargestFit(LevelIndex(row.level), row.numeric);
        for (size_t length : {size_t{1}, size_t{2}, size_t{3}, size_t{17}, size_t{41}, size_t{100}, size_t{333},
                              size_t{1000}, largest}) {
            SCOPED_TRACE(std::string(row.numeric ? "numeric " : "byte ") + row.level + " length "
                         + std::to_string(length));
            std::string text;
            for (size_t i = 0; i < length; ++i) {
                text +=
                    row.numeric ? static_cast<char>('0' + (i * 7 + 3) % 10) : static_cast<char>(' ' + (i * 31) % 95);
            }
            if (length > largest) {
                continue;
            }
            bool drawn = false;
            const Decoded d = RoundTrip(text, row.level, 0, row.numeric ? "NUMERIC" : "BYTE", "utf-8", 3 * 177, &drawn);
            ASSERT_TRUE(drawn);
            EXPECT_TRUE(d.valid) << d.error;
            EXPECT_EQ(Text(d), text);
        }
        // One more character no longer fits.
        const std::string tooLong(largest + 1, row.numeric ? '7' : 'x');
        bool drawn = true;
        RoundTrip(tooLong, row.level, 0, row.numeric ? "NUMERIC" : "BYTE", "utf-8", 400, &drawn);
        EXPECT_FALSE(drawn);
    }
}

TEST(QRRoundTrip, NumericModeWithLettersFallsBackToBytes)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    for (const std::string text : {"12A45", "3.14159", "-42", "2024/06/01"}) {
        const Decoded d = RoundTrip(text, "M", 0, "NUMERIC", "utf-8", 200);
        EXPECT_TRUE(d.valid) << text;
        EXPECT_EQ(Text(d), text);
    }
}

// 東京都千代田区丸の内１丁目 (Marunouchi 1-chome, Chiyoda, Tokyo) with a wave dash.
const std::string kJapaneseUtf8 = "\xE6\x9D\xB1\xE4\xBA\xAC\xE9\x83\xBD\xE5\x8D\x83\xE4\xBB\xA3\xE7\x94\xB0\xE5\x8C\xBA"
                                  "\xE4\xB8\xB8\xE3\x81\xAE\xE5\x86\x85\xEF\xBC\x91\xE4\xB8\x81\xE7\x9B\xAE";
const std::vector<std::uint8_t> kJapaneseSjis = {0x93, 0x8C, 0x8B, 0x9E, 0x93, 0x73, 0x90, 0xE7, 0x91,
                                                 0xE3, 0x93, 0x63, 0x8B, 0xE6, 0x8A, 0xDB, 0x82, 0xCC,
                                                 0x93, 0xE0, 0x82, 0x50, 0x92, 0x9A, 0x96, 0xDA};

TEST(QRRoundTrip, JapaneseTextInUtf8)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    const Decoded d = RoundTrip(kJapaneseUtf8, "M", 0, "BYTE", "utf-8", 300);
    ASSERT_TRUE(d.valid) << d.error;
    EXPECT_EQ(Text(d), kJapaneseUtf8);
    EXPECT_EQ(d.text, kJapaneseUtf8);
}

TEST(QRRoundTrip, JapaneseTextInShiftJis)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    for (const char* name : {"shift-jis", "Shift-JIS", "shift_jis"}) {
        SCOPED_TRACE(name);
        const Decoded d = RoundTrip(kJapaneseUtf8, "M", 0, "BYTE", name, 300);
        ASSERT_TRUE(d.valid) << d.error;
        EXPECT_EQ(d.bytes, kJapaneseSjis);
        // Text already in Shift-JIS passes through unchanged.
        const Decoded same =
            RoundTrip(std::string(kJapaneseSjis.begin(), kJapaneseSjis.end()), "M", 0, "BYTE", name, 300);
        EXPECT_EQ(same.bytes, kJapaneseSjis);
    }
}

TEST(QRRoundTrip, FitWidthOnAndOff)
{
    if (!testsupport::HaveDecoder()) {
        GTEST_SKIP() << "zxing-cpp not available";
    }
    for (int fit : {0, 1}) {
        for (int box : {100, 137, 250}) {
            SCOPED_TRACE("fit " + std::to_string(fit) + " box " + std::to_string(box));
            Handle q(16);
            barcode_set_fit_width(q.h, fit);
            ASSERT_TRUE(barcode_draw_2d_rect(q.h, "https://example.jp/lumeo?id=42", box, box));
            const Decoded d = testsupport::DecodePngBytes(testsupport::ImageBytes(q.h), "QRCode", 16);
            EXPECT_TRUE(d.valid) << d.error;
            EXPECT_EQ(d.text, "https://example.jp/lumeo?id=42");
        }
    }
}

TEST(QRRoundTrip, SvgRasterisedDecodes)
{
    if (!testsupport::HaveDecoder() || !testsupport::HaveSvgRasteriser()) {
        GTEST_SKIP() << "zxing-cpp or rsvg-convert not available";
    }
    for (int fit : {0, 1}) {
        Handle q(16);
        barcode_set_output_format(q.h, "svg");
        barcode_set_fit_width(q.h, fit);
        barcode_set_string_encoding(q.h, "utf-8");
        ASSERT_TRUE(barcode_draw_2d(q.h, kJapaneseUtf8.c_str(), 250));
        const std::string svg = barcode_get_svg(q.h);
        std::string error;
        EXPECT_TRUE(testsupport::IsWellFormedXml(svg, &error)) << error;
        const Decoded d = testsupport::DecodePngBytes(testsupport::RasteriseSvg(svg), "QRCode", 16);
        EXPECT_TRUE(d.valid) << d.error;
        EXPECT_EQ(d.text, kJapaneseUtf8);
    }
}

} // namespace
