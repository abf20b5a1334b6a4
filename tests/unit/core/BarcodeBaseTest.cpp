// SPDX-License-Identifier: MIT
// Output core: PNG buffers, canvas ownership and output formats.
#include "core/BarcodeBase.h"
#include "core/Log.h"
#include "linear/Code39.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using testsupport::CapturedOutput;

TEST(SvgWriter, GetSvgOutsideSvgModeThrows)
{
    Code39 c("png");
    try {
        c.GetSvg();
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "GetSvg() requires SVG output mode. Use constructor with \"svg\" parameter.");
    }
    Code39 upper("SVG");
    ASSERT_TRUE(upper.Draw("AB", 0, 0, 200, 60));
    EXPECT_EQ(upper.GetSvg().rfind("<?xml", 0), 0u);
}

TEST(RasterOutput, Base64ConsumesTheDrawing)
{
    Code39 c("png");
    ASSERT_TRUE(c.Draw("AB", 0, 0, 200, 60));
    const std::string first = c.GetImageBase64();
    EXPECT_EQ(first.rfind("data:image/png;base64,iVBORw0KGgo", 0), 0u);
    EXPECT_EQ(c.GetImageBase64(), BarcodeBase::GetFallbackImage());
    EXPECT_TRUE(c.GetImageMemory().empty());
    // A new draw brings a new canvas.
    ASSERT_TRUE(c.Draw("AB", 0, 0, 200, 60));
    EXPECT_FALSE(c.GetImageMemory().empty());
    EXPECT_FALSE(c.GetImageMemory().empty()) << "GetImageMemory leaves the drawing in place";
}

TEST(RasterOutput, FallbackBeforeAnyDrawPrintsTheNullSurfaceLine)
{
    Code39 c("png");
    CapturedOutput out;
    EXPECT_EQ(c.GetImageBase64(),
              "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVQI12P4//8/"
              "AAX+Av7czFnnAAAAAElFTkSuQmCC");
    out.Finish();
    EXPECT_NE(out.Out().find("ERROR: サーフェスがnullです\n"), std::string::npos);
}

TEST(RasterOutput, JpegLabelsCarryPngBytes)
{
    for (const char* format : {"jpg", "jpeg"}) {
        Code39 c(format);
        ASSERT_TRUE(c.Draw("AB", 0, 0, 200, 60));
        EXPECT_EQ(c.GetImageBase64().rfind("data:image/jpeg;base64,iVBORw0KGgo", 0), 0u) << format;
    }
}

TEST(RasterOutput, UnknownFormatAfterARasterDrawFailsCleanly)
{
    // The base64 fetch releases the surface; a later draw in an unknown format must not paint
    // into a renderer left pointing at it.
    for (const char* format : {"JPEG", "PNG", "gif"}) {
        SCOPED_TRACE(format);
        Code39 c("png");
        ASSERT_TRUE(c.Draw("AB", 0, 0, 200, 60));
        ASSERT_FALSE(c.GetImageBase64().empty());
        ASSERT_TRUE(c.Draw("AB", 0, 0, 200, 60));
        c.SetOutputFormat(format);
        EXPECT_FALSE(c.Draw("AB", 0, 0, 200, 60));
        EXPECT_TRUE(c.GetImageMemory().empty());
    }
    Code39 never("JPEG");
    EXPECT_FALSE(never.Draw("AB", 0, 0, 200, 60));
}

TEST(RasterOutput, ImpossibleCanvasSizesFailWithoutCrashing)
{
    struct Row
    {
        int w, h;
    };
    const Row rows[] = {{0, 60}, {200, 0}, {-5, 60}, {200, -1}, {INT32_MAX, INT32_MAX}, {100000, 100000}, {1 << 30, 2}};
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.w) + "x" + std::to_string(r.h));
        Code39 c("png");
        CapturedOutput out;
        EXPECT_FALSE(c.Draw("AB", 0, 0, r.w, r.h));
        out.Finish();
        EXPECT_NE(out.Err().find("サーフェス作成に失敗: "), std::string::npos);
    }
}

TEST(RasterOutput, OneByOneCanvasReportsItsBuffer)
{
    barcode_log::SetQuiet(false);
    Code39 c("png");
    c.SetShowText(false);
    // The symbol does not fit and is refused, but only after its canvas was made (and cleared).
    CapturedOutput refused;
    EXPECT_FALSE(c.Draw("A", 0, 0, 1, 1));
    refused.Finish();
    EXPECT_EQ(refused.Err(), "[Code39] The symbol needs 47 pixels; the box is 1 wide\n");
    CapturedOutput out;
    const std::vector<std::uint8_t> png = c.GetImageMemory();
    out.Finish();
    barcode_log::SetQuiet(true);
    ASSERT_FALSE(png.empty());
    const std::string& log = out.Out();
    EXPECT_NE(log.find("SaveSurfaceToMemory: サーフェスサイズ 1x1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("SaveSurfaceToMemory: フォーマット SDL_PIXELFORMAT_ABGR8888\n"), std::string::npos) << log;
    EXPECT_NE(log.find("SaveSurfaceToMemory: ピッチ 4\n"), std::string::npos) << log;
    EXPECT_NE(log.find("バッファサイズ確保: 1024004 バイト\n"), std::string::npos) << log;
    EXPECT_NE(log.find("書き込み結果: 成功\n"), std::string::npos) << log;
    EXPECT_NE(log.find("最終バッファサイズ: " + std::to_string(png.size()) + " バイト\n"), std::string::npos);
    EXPECT_NE(log.find("バッファ先頭: 89 50 4e 47 d a 1a a 0 0 0 d 49 48 44 52 \n"), std::string::npos) << log;
}

TEST(RasterOutput, QuietSilencesProgressButNotErrors)
{
    barcode_log::SetQuiet(true);
    Code39 c("png");
    ASSERT_TRUE(c.Draw("A", 0, 0, 100, 50));
    CapturedOutput out;
    EXPECT_FALSE(c.GetImageMemory().empty());
    EXPECT_FALSE(c.Draw("#", 0, 0, 100, 50));
    out.Finish();
    EXPECT_EQ(out.Out(), "");
    EXPECT_EQ(out.Err(), "[Code39] Invalid character in CODE39: #\n");
}

TEST(SvgOutput, SvgModeHasNoImage)
{
    Code39 c("svg");
    ASSERT_TRUE(c.Draw("AB", 0, 0, 200, 60));
    EXPECT_TRUE(c.GetImageMemory().empty());
    EXPECT_THROW(c.GetImageBase64(), std::runtime_error);
}

TEST(SvgOutput, StaleRasterImageIsNotReturnedInSvgMode)
{
    Code39 c("png");
    ASSERT_TRUE(c.Draw("AB", 0, 0, 200, 60));
    c.SetOutputFormat("svg");
    ASSERT_TRUE(c.Draw("AB", 0, 0, 200, 60));
    EXPECT_TRUE(c.GetImageMemory().empty());
}

} // namespace
