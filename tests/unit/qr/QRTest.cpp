// SPDX-License-Identifier: MIT
// The QR object and its C functions: options and their string tables, warnings, failures,
// geometry of the drawn modules, and SVG against raster.
#include "qr/QR.h"

#include "api/Handle.h"
#include "barcode_lumeo.h"
#include "core/Log.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using testsupport::CapturedOutput;

using testsupport::Handle;

// The QR object behind a handle, to read back what the C setters stored.
QR& QrOf(const Handle& handle)
{
    return *static_cast<QR*>(static_cast<BarcodeHandle*>(handle.h)->symbol.get());
}

bool DarkAt(const testsupport::RgbaImage& img, int x, int y)
{
    return img.pixels[(static_cast<size_t>(y) * img.width + x) * 4] < 128;
}

TEST(QRCApi, ErrorCorrectionLevelTable)
{
    struct Row
    {
        const char* text;
        QRErrorCorrectionLevel level;
    };

    const Row rows[] = {{"L", QRErrorCorrectionLevel::L},  {"M", QRErrorCorrectionLevel::M},
                        {"Q", QRErrorCorrectionLevel::Q},  {"H", QRErrorCorrectionLevel::H},
                        {"HQ", QRErrorCorrectionLevel::M}, {"h", QRErrorCorrectionLevel::M},
                        {"", QRErrorCorrectionLevel::M}};
    for (const Row& row : rows) {
        Handle q(16);
        barcode_set_error_correction_level(q.h, "H");
        barcode_set_error_correction_level(q.h, row.text);
        EXPECT_EQ(QrOf(q).GetErrorCorrectionLevel(), row.level) << row.text;
    }
}

TEST(QRCApi, EncodeModeTableAndWarnings)
{
    struct Row
    {
        const char* text;
        const char* stored;
    };

    const Row rows[] = {{"AUTO", "B"},  {"BYTE", "B"},  {"NUMERIC", "N"}, {"ALPHANUMERIC", "A"},
                        {"KANJI", "K"}, {"kanji", "B"}, {"N", "B"},       {"", "B"}};
    for (const Row& row : rows) {
        Handle q(16);
        barcode_set_encode_mode(q.h, "NUMERIC");
        barcode_set_encode_mode(q.h, row.text);
        EXPECT_EQ(QrOf(q).GetEncodeMode(), row.stored) << row.text;
    }
    QR qr("png");
    qr.SetEncodeMode(std::string("n"));
    EXPECT_EQ(qr.GetEncodeMode(), "N");
    qr.SetEncodeMode(QREncodeMode::Kanji);
    EXPECT_EQ(qr.GetEncodeMode(), "K");
    CapturedOutput out;
    qr.SetEncodeMode(std::string("byte"));
    out.Finish();
    EXPECT_EQ(qr.GetEncodeMode(), "B");
    EXPECT_EQ(out.Out(), "Warning: Invalid QR Code encode mode ('byte'). Setting to Binary ('B').\n");
}

TEST(QRCApi, VersionRulesAndWarnings)
{
    Handle q(16);
    for (int v : {0, 1, 17, 40}) {
        barcode_set_version(q.h, v);
        EXPECT_EQ(QrOf(q).GetVersion(), v);
    }
    for (int v : {41, -1}) {
        barcode_set_version(q.h, 12);
        CapturedOutput out;
        barcode_set_version(q.h, v);
        out.Finish();
        EXPECT_EQ(QrOf(q).GetVersion(), 0);
        EXPECT_EQ(out.Out(), "Warning: Invalid QR Code version (" + std::to_string(v) + "). Setting to auto.\n");
    }
}

TEST(QRCApi, SettersAndDrawsCheckTheType)
{
    Handle code39(0);
    barcode_set_version(code39.h, 5);
    barcode_set_string_encoding(code39.h, "shift-jis");
    barcode_set_error_correction_level(code39.h, "H");
    barcode_set_encode_mode(code39.h, "NUMERIC");
    EXPECT_FALSE(barcode_draw_2d(code39.h, "ABC", 100));
    EXPECT_FALSE(barcode_draw_2d_rect(code39.h, "ABC", 100, 100));

    Handle q(16);
    barcode_set_string_encoding(q.h, "Shift-JIS");
    EXPECT_EQ(QrOf(q).GetStringEncoding(), "Shift-JIS");
    barcode_set_string_encoding(q.h, nullptr);
    barcode_set_error_correction_level(q.h, nullptr);
    barcode_set_encode_mode(q.h, nullptr);
    EXPECT_EQ(QrOf(q).GetStringEncoding(), "Shift-JIS");
    EXPECT_FALSE(barcode_draw_2d(q.h, nullptr, 100));
    EXPECT_FALSE(barcode_draw_2d(nullptr, "x", 100));
    barcode_set_version(nullptr, 3);
}

TEST(QRCApi, Draw1dOnQrEqualsDraw2dRect)
{
    Handle a(16);
    Handle b(16);
    ASSERT_TRUE(barcode_draw_1d(a.h, "Lumeo QR", 150, 120));
    ASSERT_TRUE(barcode_draw_2d_rect(b.h, "Lumeo QR", 150, 120));
    EXPECT_EQ(testsupport::ImageBytes(a.h), testsupport::ImageBytes(b.h));
    const testsupport::RgbaImage img = testsupport::DecodePng(testsupport::ImageBytes(a.h));
    EXPECT_EQ(img.width, 150);
    EXPECT_EQ(img.height, 120);
}

TEST(QRCApi, CapacityLimitsFailCleanly)
{
    Handle q(16);
    barcode_set_error_correction_level(q.h, "L");
    EXPECT_TRUE(barcode_draw_2d(q.h, std::string(2953, 'a').c_str(), 177));
    EXPECT_FALSE(barcode_draw_2d(q.h, std::string(2954, 'a').c_str(), 177));
    EXPECT_FALSE(barcode_draw_1d(q.h, std::string(3000, 'a').c_str(), 177, 177));
    barcode_set_output_format(q.h, "svg");
    EXPECT_FALSE(barcode_draw_2d(q.h, std::string(2954, 'a').c_str(), 177));
    QR qr("png");
    EXPECT_THROW(qr.Draw(std::string(2954, 'a'), 0, 0, 200), std::runtime_error); // M: far beyond
}

TEST(QRCApi, TextThatConvertsToNothingFails)
{
    for (const char* format : {"png", "svg"}) {
        SCOPED_TRACE(format);
        Handle q(16);
        barcode_set_output_format(q.h, format);
        CapturedOutput out;
        EXPECT_FALSE(barcode_draw_2d(q.h, "", 100));
        EXPECT_FALSE(barcode_draw_2d(q.h, "\x81\x20", 100)); // neither UTF-8 nor Shift-JIS
        barcode_set_string_encoding(q.h, "shift-jis");
        EXPECT_FALSE(barcode_draw_2d(q.h, "\xC3\xA9", 100)); // é has no Shift-JIS form
        out.Finish();
        EXPECT_NE(out.Err().find("[QR] No data to encode"), std::string::npos);
    }
}

TEST(QRCApi, StoredValuesThatDrawAsAnother)
{
    struct Row
    {
        const char* name;
        QRErrorCorrectionLevel level;
        const char* mode;
        QRErrorCorrectionLevel sameLevel;
        const char* sameMode;
    };

    const Row rows[] = {
        {"level 4 and above draw as M", static_cast<QRErrorCorrectionLevel>(7), "B", QRErrorCorrectionLevel::M, "B"},
        {"alphanumeric data go as bytes", QRErrorCorrectionLevel::Q, "A", QRErrorCorrectionLevel::Q, "B"},
        {"kanji data go as bytes", QRErrorCorrectionLevel::L, "K", QRErrorCorrectionLevel::L, "B"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QR a("svg");
        QR b("svg");
        a.SetErrorCorrectionLevel(row.level);
        a.SetEncodeMode(std::string(row.mode));
        b.SetErrorCorrectionLevel(row.sameLevel);
        b.SetEncodeMode(std::string(row.sameMode));
        ASSERT_TRUE(a.Draw(std::string("HELLO"), 0, 0, 100));
        ASSERT_TRUE(b.Draw(std::string("HELLO"), 0, 0, 100));
        EXPECT_EQ(a.GetSvg(), b.GetSvg());
    }
    QR stored("png");
    stored.SetErrorCorrectionLevel(static_cast<QRErrorCorrectionLevel>(7));
    EXPECT_EQ(static_cast<std::uint32_t>(stored.GetErrorCorrectionLevel()), 7u); // kept as given
    QR five("svg");
    five.SetVersion(5);
    ASSERT_TRUE(five.Draw(std::string("x"), 0, 0, 37));
    // 37 x 37 modules at one pixel each: the last module of the top-right finder is at x 36.
    EXPECT_NE(five.GetSvg().find("<rect x=\"36.00\" y=\"0.00\" width=\"1.00\""), std::string::npos);
    EXPECT_EQ(five.GetSvg().find("<rect x=\"37.00\""), std::string::npos);
}

TEST(QRGeometry, Version1InHundredPixels)
{
    QR qr("png");
    ASSERT_TRUE(qr.Draw(std::string("1"), 0, 0, 100, 100));
    const testsupport::RgbaImage img = testsupport::DecodePng(qr.GetImageMemory());
    ASSERT_EQ(img.width, 100);
    // Pitch 4: the finder's top-left module fills (0..3, 0..3); the 84 x 84 symbol leaves 16
    // background pixels at right and bottom.
    EXPECT_TRUE(DarkAt(img, 0, 0));
    EXPECT_TRUE(DarkAt(img, 27, 0));  // last column of the top-left finder (x 6 * 4 + 3)
    EXPECT_FALSE(DarkAt(img, 28, 0)); // separator
    EXPECT_TRUE(DarkAt(img, 83, 0));  // top-right finder's last column
    for (int x = 84; x < 100; ++x) {
        for (int y = 0; y < 100; ++y) {
            ASSERT_FALSE(DarkAt(img, x, y)) << x << "," << y;
            ASSERT_FALSE(DarkAt(img, y, x)) << y << "," << x;
        }
    }
}

TEST(QRGeometry, FitWidthAndPixelAdjustment)
{
    QR fit("svg");
    fit.SetFitWidth(true);
    ASSERT_TRUE(fit.Draw(std::string("1"), 0, 0, 100, 100));
    const std::string svg = fit.GetSvg();
    EXPECT_TRUE(testsupport::IsWellFormedXml(svg));
    // 100 / 21 = 4.7619: the top-left module and the first module of the top-right finder.
    EXPECT_NE(svg.find("<rect x=\"0.00\" y=\"0.00\" width=\"4.76\" height=\"4.76\" fill=\"rgb(0,0,0)\"/>"),
              std::string::npos);
    EXPECT_NE(svg.find("<rect x=\"66.67\" y=\"0.00\" width=\"4.76\""), std::string::npos);

    QR adjusted("svg");
    adjusted.SetPxAdjustBlack(1);
    ASSERT_TRUE(adjusted.Draw(std::string("1"), 0, 0, 100, 100));
    EXPECT_NE(adjusted.GetSvg().find("<rect x=\"0.00\" y=\"0.00\" width=\"5.00\" height=\"5.00\""), std::string::npos);

    // Pitch 1 and a symbol larger than the box: refused, with the size it needs.
    QR tiny("png");
    CapturedOutput out;
    EXPECT_FALSE(tiny.Draw(std::string("1"), 0, 0, 10, 10));
    out.Finish();
    EXPECT_EQ(out.Err(), "[QR] The symbol needs 21 pixels; the box is 10 wide\n");
    QR exact("png");
    ASSERT_TRUE(exact.Draw(std::string("1"), 0, 0, 21, 21));
    const testsupport::RgbaImage img = testsupport::DecodePng(exact.GetImageMemory());
    EXPECT_EQ(img.width, 21);
    EXPECT_TRUE(DarkAt(img, 0, 0));
    EXPECT_FALSE(DarkAt(img, 1, 1));
    EXPECT_TRUE(DarkAt(img, 20, 20) || DarkAt(img, 20, 0));
}

TEST(QRGeometry, SvgMatchesRasterModuleByModule)
{
    if (!testsupport::HaveSvgRasteriser()) {
        GTEST_SKIP() << "rsvg-convert not available";
    }
    for (int box : {100, 173}) {
        QR raster("png");
        QR vector("svg");
        for (QR* qr : {&raster, &vector}) {
            qr->SetErrorCorrectionLevel(QRErrorCorrectionLevel::Q);
            qr->SetForegroundColor(20, 40, 120, 255);
            ASSERT_TRUE(qr->Draw(std::string("https://example.jp/"), 0, 0, box, box));
        }
        const testsupport::RgbaImage a = testsupport::DecodePng(raster.GetImageMemory());
        const testsupport::RgbaImage b = testsupport::DecodePng(testsupport::RasteriseSvg(vector.GetSvg()));
        ASSERT_EQ(a.width, b.width);
        ASSERT_EQ(a.height, b.height);
        for (int y = 0; y < a.height; ++y) {
            for (int x = 0; x < a.width; ++x) {
                ASSERT_EQ(DarkAt(a, x, y), DarkAt(b, x, y)) << "box " << box << " at " << x << "," << y;
            }
        }
    }
}

TEST(QRGeometry, SvgComesFromDrawNotFromTheTextDrawSvg)
{
    // The text form of DrawSvg is the base one (nothing drawn); in "svg" mode Draw writes the
    // document, and the byte form of DrawSvg is the vector path itself.
    QR qr("svg");
    BarcodeBase& base = qr;
    EXPECT_FALSE(base.DrawSvg(std::string("Lumeo"), 0, 0, 100, 100));
    EXPECT_EQ(qr.GetSvg(), "");
    ASSERT_TRUE(qr.DrawSvg(std::vector<std::uint8_t>{'L', 'u', 'm', 'e', 'o'}, 0, 0, 100, 100));
    const std::string fromBytes = qr.GetSvg();
    EXPECT_TRUE(testsupport::IsWellFormedXml(fromBytes));
    ASSERT_TRUE(qr.Draw(std::string("Lumeo"), 0, 0, 100, 100));
    EXPECT_EQ(qr.GetSvg(), fromBytes);
}

TEST(QRGeometry, PreambleMessages)
{
    QR unknown("JPEG");
    CapturedOutput out;
    EXPECT_FALSE(unknown.Draw(std::string("x"), 0, 0, 50, 50));
    QR none(static_cast<SDL_Renderer*>(nullptr));
    EXPECT_FALSE(none.Draw(std::string("x"), 0, 0, 50, 50));
    out.Finish();
    EXPECT_NE(out.Err().find("エラー: BarcodeBase::Draw の後で有効な描画サーフェス (m_surface) がありません。"),
              std::string::npos);
    EXPECT_NE(out.Err().find("エラー: 描画コンテキストが指定されていません (m_canvas も m_format も無効)。"),
              std::string::npos);
}

TEST(QRGeometry, CallersRenderer)
{
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 120, 120, 32, SDL_PIXELFORMAT_RGBA32);
    ASSERT_NE(surface, nullptr);
    SDL_FillRect(surface, nullptr, SDL_MapRGBA(surface->format, 255, 255, 255, 255));
    SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(surface);
    ASSERT_NE(renderer, nullptr);
    {
        QR qr(renderer);
        // Drawn at (10, 10): pitch 4 from a 100 x 100 box.
        ASSERT_TRUE(qr.Draw(std::string("1"), 10, 10, 100, 100));
    }
    const auto* px = static_cast<const std::uint8_t*>(surface->pixels);
    const auto dark = [&](int x, int y) { return px[y * surface->pitch + x * 4] < 128; };
    EXPECT_TRUE(dark(10, 10));
    EXPECT_FALSE(dark(9, 10));
    EXPECT_TRUE(dark(37, 10));
    EXPECT_FALSE(dark(38, 10));
    SDL_DestroyRenderer(renderer);
    SDL_FreeSurface(surface);
}

} // namespace

namespace {

TEST(QRCApi, FailedDrawLeavesNoStaleSymbol)
{
    // After a failed draw there is no image: the previous symbol must not be mistaken for the
    // result of the later call.
    void* h = barcode_create(16);
    ASSERT_TRUE(barcode_draw_1d(h, "FIRST", 120, 120));
    EXPECT_FALSE(barcode_draw_1d(h, std::string(3000, 'A').c_str(), 120, 120));
    int size = -1;
    EXPECT_EQ(barcode_get_image_data(h, &size), nullptr);
    EXPECT_EQ(size, 0);
    barcode_destroy(h);
}

} // namespace

namespace {

TEST(QRCApi, HugeTextFailsWithoutBuildingItsStream)
{
    // 7089 digits is the most any version holds; far more fails at once and cleanly.
    void* h = barcode_create(16);
    barcode_set_error_correction_level(h, "L");
    barcode_set_encode_mode(h, "NUMERIC");
    EXPECT_TRUE(barcode_draw_2d(h, std::string(7089, '7').c_str(), 180));
    EXPECT_FALSE(barcode_draw_2d(h, std::string(7090, '7').c_str(), 180));
    EXPECT_FALSE(barcode_draw_2d(h, std::string(20000000, '7').c_str(), 180));
    barcode_destroy(h);
}

} // namespace
