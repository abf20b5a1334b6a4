// SPDX-License-Identifier: MIT
// The SVG writer: document frame, rectangles, texts, numbers.
#include "core/svg/SvgDocument.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using testsupport::IsWellFormedXml;

TEST(SvgWriter, DocumentFrameAndNumbers)
{
    SvgDocument p;
    p.Begin(300, 100);
    p.Rect(0, 0, 300, 100, SDL_Color{255, 255, 255, 255});
    p.Rect(10, 0, 2, 75.5f, SDL_Color{0, 0, 0, 128});
    // The text is placed by its baseline, 0.72 of the size below the top it is given.
    p.Text(150, 80, "ABC", 20, SDL_Color{1, 2, 3, 0}, "middle");
    p.End();
    EXPECT_EQ(*p.Document(),
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
        SvgDocument p;
        p.Begin(1, 1);
        p.Rect(0, 0, 1, 1, SDL_Color{9, 9, 9, r.alpha});
        const std::string svg = *p.Document();
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
        SvgDocument p;
        p.Begin(10, 10);
        p.Text(1, 1, r.in, 8, SDL_Color{0, 0, 0, 255}, "middle");
        p.End();
        const std::string svg = *p.Document();
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
    SvgDocument p;
    p.Begin(1000, 10);
    p.Rect(1234.5f, 0, 2, 3, SDL_Color{0, 0, 0, 255});
    std::locale::global(previous);
    EXPECT_NE(p.Document()->find("x=\"1234.50\""), std::string::npos) << *p.Document();
    EXPECT_NE(p.Document()->find("width=\"1000\""), std::string::npos);
}

TEST(SvgWriter, EachBeginStartsANewDocumentAndLeavesTheOldOneIntact)
{
    SvgDocument p;
    EXPECT_EQ(p.Document(), nullptr);
    p.Begin(10, 10);
    p.Rect(1, 1, 2, 2, SDL_Color{0, 0, 0, 255});
    p.End();
    const std::shared_ptr<const std::string> first = p.Document();
    const std::string kept = *first;
    p.Begin(20, 20);
    p.End();
    EXPECT_EQ(*first, kept);
    EXPECT_NE(*p.Document(), kept);
    EXPECT_NE(p.Document()->find("width=\"20\""), std::string::npos);
    p.Reset();
    EXPECT_EQ(p.Document(), nullptr);
    EXPECT_EQ(*first, kept);
}

TEST(SvgWriter, CanvasesOutsideTheLimitsAreRefusedBeforeAnyOutput)
{
    const int sizes[][2] = {{0, 10}, {10, 0}, {-1, 10}, {100000, 100000}};
    for (const auto& size : sizes) {
        SvgDocument p;
        EXPECT_THROW(p.Begin(size[0], size[1]), std::length_error) << size[0] << "x" << size[1];
        EXPECT_EQ(p.Document(), nullptr);
    }
}

} // namespace
