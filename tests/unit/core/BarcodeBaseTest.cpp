// SPDX-License-Identifier: MIT
// Output core: base64, the SVG writer, PNG buffers, canvas ownership and output formats.
#include "core/BarcodeBase.h"
#include "core/Log.h"
#include "linear/Code39.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <locale>

namespace {

using testsupport::CapturedOutput;
using testsupport::IsWellFormedXml;

// Exposes the SVG writer of the base.
class SvgProbe : public BarcodeBase
{
public:
    SvgProbe() : BarcodeBase("svg") {}
    bool Draw(const std::string&, int, int, int, int) override { return false; }
    using BarcodeBase::SvgBegin;
    using BarcodeBase::SvgEnd;
    using BarcodeBase::SvgRect;
    using BarcodeBase::SvgText;
};

TEST(SvgWriter, DocumentFrameAndNumbers)
{
    SvgProbe p;
    p.SvgBegin(300, 100);
    p.SvgRect(0, 0, 300, 100, SDL_Color{255, 255, 255, 255});
    p.SvgRect(10, 0, 2, 75.5f, SDL_Color{0, 0, 0, 128});
    // The text is placed by its baseline, 0.72 of the size below the top it is given.
    p.SvgText(150, 80, "ABC", 20, SDL_Color{1, 2, 3, 0}, "middle");
    p.SvgEnd();
    EXPECT_EQ(p.GetSvg(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"300\" height=\"100\" "
              "viewBox=\"0 0 300 100\">\n"
              "  <rect x=\"0.00\" y=\"0.00\" width=\"300.00\" height=\"100.00\" fill=\"rgb(255,255,255)\"/>\n"
              "  <rect x=\"10.00\" y=\"0.00\" width=\"2.00\" height=\"75.50\" fill=\"rgb(0,0,0)\" "
              "fill-opacity=\"0.50\"/>\n"
              "  <text x=\"150.00\" y=\"94.40\" font-family=\"Arial, sans-serif\" font-size=\"20\" fill=\"rgb(1,2,3)\" "
              "text-anchor=\"middle\">ABC</text>\n"
              "</svg>\n");
}

TEST(SvgWriter, OpacityIsWrittenForEveryAlphaBelowOpaque)
{
    struct Row
    {
        std::uint8_t alpha;
        const char* opacity; // nullptr: no attribute
    };
    const Row rows[] = {{0, "0.00"}, {128, "0.50"}, {254, "1.00"}, {255, nullptr}};
    for (const Row& r : rows) {
        SCOPED_TRACE(static_cast<int>(r.alpha));
        SvgProbe p;
        p.SvgBegin(1, 1);
        p.SvgRect(0, 0, 1, 1, SDL_Color{9, 9, 9, r.alpha});
        const std::string svg = p.GetSvg();
        if (r.opacity == nullptr) {
            EXPECT_EQ(svg.find("fill-opacity"), std::string::npos);
        } else {
            EXPECT_NE(svg.find(std::string("fill-opacity=\"") + r.opacity + "\""), std::string::npos);
        }
    }
}

TEST(SvgWriter, TextIsEscapedAndStaysWellFormed)
{
    struct Row
    {
        const char* name;
        std::string in;
        std::string out;
    };
    const Row rows[] = {
        {"entities", "R&D <A> \"q\" 'a'", "R&amp;D &lt;A&gt; &quot;q&quot; &apos;a&apos;"},
        {"control bytes dropped", std::string("A\x01\x1f" "B\tC", 7), "AB\tC"},
        {"lone high byte", "A\xff" "B", "A\xEF\xBF\xBD" "B"},
        {"utf8 kept", "\xE3\x81\x82", "\xE3\x81\x82"},
        {"truncated sequence", "\xE3\x81", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        SvgProbe p;
        p.SvgBegin(10, 10);
        p.SvgText(1, 1, r.in, 8, SDL_Color{0, 0, 0, 255}, "middle");
        p.SvgEnd();
        const std::string svg = p.GetSvg();
        EXPECT_NE(svg.find(">" + r.out + "</text>"), std::string::npos) << svg;
        std::string error;
        EXPECT_TRUE(IsWellFormedXml(svg, &error)) << error;
    }
}

TEST(SvgWriter, NumbersIgnoreTheGlobalLocale)
{
    std::locale previous;
    try {
        std::locale::global(std::locale("de_DE.UTF-8"));
    } catch (const std::runtime_error&) {
        // No German locale installed: imitate one with a comma as decimal point.
        struct Comma : std::numpunct<char>
        {
            char do_decimal_point() const override { return ','; }
        };
        std::locale::global(std::locale(std::locale::classic(), new Comma));
    }
    SvgProbe p;
    p.SvgBegin(1000, 10);
    p.SvgRect(1234.5f, 0, 2, 3, SDL_Color{0, 0, 0, 255});
    std::locale::global(previous);
    EXPECT_NE(p.GetSvg().find("x=\"1234.50\""), std::string::npos) << p.GetSvg();
    EXPECT_NE(p.GetSvg().find("width=\"1000\""), std::string::npos);
}

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
