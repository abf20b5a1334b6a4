// SPDX-License-Identifier: MIT
// The lumeo tool's quiet-zone arithmetic, PNG framing and CSV reading.
#include "Batch.h"
#include "QuietZone.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using lumeo::Color;
using lumeo::Margins;

struct Decoded
{
    png_uint_32 width = 0, height = 0, format = 0, entries = 0;
    std::vector<png_byte> pixels, colormap;
};

Decoded Read(const std::string& png)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()));
    Decoded d{image.width, image.height, image.format, 0, {}, std::vector<png_byte>(256 * 4)};
    const bool palette = (image.format & PNG_FORMAT_FLAG_COLORMAP) != 0;
    image.format = palette ? PNG_FORMAT_RGBA_COLORMAP : PNG_FORMAT_RGBA;
    d.pixels.resize(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, d.pixels.data(), 0, palette ? d.colormap.data() : nullptr));
    d.entries = image.colormap_entries;
    return d;
}

std::string Write(png_uint_32 width, png_uint_32 height, png_uint_32 format, const std::vector<png_byte>& pixels,
                  const std::vector<png_byte>& colormap = {})
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = format;
    image.colormap_entries = static_cast<png_uint_32>(colormap.size() / 4);
    png_alloc_size_t size = 0;
    const void* map = colormap.empty() ? nullptr : colormap.data();
    EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, map));
    std::string bytes(size, '\0');
    EXPECT_TRUE(png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels.data(), 0, map));
    bytes.resize(size);
    return bytes;
}

TEST(LumeoFramePng, PaletteImagesStayPaletteImagesAndReuseOrAddTheBackground)
{
    // 3 x 2, black and white: a palette as a png8 output would have.
    const std::string png =
        Write(3, 2, PNG_FORMAT_RGBA_COLORMAP, {0, 1, 0, 1, 0, 1}, {0, 0, 0, 255, 255, 255, 255, 255});

    struct Case
    {
        Color bg;
        png_uint_32 entries;
    } cases[] = {{{255, 255, 255, 255}, 2}, {{200, 0, 0, 255}, 3}};

    for (const Case& c : cases) {
        const Decoded d = Read(lumeo::FramePng(png, Margins{1, 2, 3, 4}, c.bg));
        ASSERT_NE(d.format & PNG_FORMAT_FLAG_COLORMAP, 0u);
        EXPECT_EQ(d.width, 3u + 1 + 3);
        EXPECT_EQ(d.height, 2u + 2 + 4);
        EXPECT_EQ(d.entries, c.entries);
        const png_byte margin = d.pixels[0];
        EXPECT_EQ(d.colormap[margin * 4], c.bg.r);
        EXPECT_EQ(d.colormap[margin * 4 + 1], c.bg.g);
        // The image sits at (1, 2), untouched: black, white, black.
        const png_byte* row = &d.pixels[2 * d.width + 1];
        EXPECT_EQ(d.colormap[row[0] * 4 + 1], 0);
        EXPECT_EQ(d.colormap[row[1] * 4 + 1], 255);
        EXPECT_EQ(d.pixels.back(), margin);
    }
}

TEST(LumeoFramePng, RgbaImagesGetTheBackgroundWithItsAlpha)
{
    const std::string png = Write(1, 1, PNG_FORMAT_RGBA, {1, 2, 3, 255});
    const Decoded d = Read(lumeo::FramePng(png, Margins{1, 0, 0, 1}, Color{10, 20, 30, 40}));
    ASSERT_EQ(d.format & PNG_FORMAT_FLAG_COLORMAP, 0u);
    EXPECT_EQ(d.pixels, (std::vector<png_byte>{10, 20, 30, 40, 1, 2, 3, 255, 10, 20, 30, 40, 10, 20, 30, 40}));
    EXPECT_EQ(lumeo::FramePng(png, Margins{}, Color{}), png); // no margin: the bytes as they were
}

TEST(LumeoFramePng, RefusesWhatItCannotFrame)
{
    const std::string png = Write(1, 1, PNG_FORMAT_RGBA, {0, 0, 0, 255});
    EXPECT_THROW(lumeo::FramePng("not a png", Margins{1, 1, 1, 1}, Color{}), std::runtime_error);
    EXPECT_THROW(lumeo::FramePng(png.substr(0, 30), Margins{1, 1, 1, 1}, Color{}), std::runtime_error);
    EXPECT_THROW(lumeo::FramePng(png, Margins{1 << 30, 0, 0, 1 << 30}, Color{}), std::runtime_error);
}

std::string Svg(int width, int height, const std::string& rects)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" "
           "width=\""
           + std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 "
           + std::to_string(width) + " " + std::to_string(height) + "\">\n  <rect x=\"0.00\" y=\"0.00\" width=\""
           + std::to_string(width) + ".00\" height=\"" + std::to_string(height) + ".00\" fill=\"rgb(255,255,255)\"/>\n"
           + rects + "</svg>\n";
}

TEST(LumeoQuietZone, MarginsComeFromTheNarrowestBarAndTheBlankAlreadyThere)
{
    const std::string bars = "  <rect x=\"10.00\" y=\"0.00\" width=\"6.00\" height=\"50.00\" fill=\"rgb(0,0,0)\"/>\n"
                             "  <rect x=\"19.00\" y=\"5.00\" width=\"3.00\" height=\"40.00\" fill=\"rgb(0,0,0)\"/>\n"
                             "  <text x=\"1.00\" y=\"51.00\">ABC</text>\n"
                             "  <rect x=\"0.00\" y=\"0.00\" width=\"1.00\" height=\"1.00\" fill=\"rgb(9,9,9)\"/>\n";
    const std::string svg = Svg(40, 60, bars);
    const lumeo::SymbolExtent e = lumeo::MeasureSvg(svg, Color{0, 0, 0, 255});
    ASSERT_TRUE(e.found);
    EXPECT_DOUBLE_EQ(e.module, 3);
    EXPECT_DOUBLE_EQ(e.left, 10);
    EXPECT_DOUBLE_EQ(e.right, 22);
    EXPECT_DOUBLE_EQ(e.bottom, 50);

    struct Case
    {
        lumeo::QuietZoneModules zone;
        int pxAdjustBlack;
        int left, right, top, bottom;
    } cases[] = {
        {{10, 10, 2}, 0, 20, 12, 6, 0},                   // 30 px each side: 10 and 18 blank already; 6 above, 10 below
        {{1, 1, 1}, 0, 0, 0, 3, 0},                       // enough blank except above
        {{10, 10, 2}, 1, 10, 2, 4, 0},                    // bars drawn 1 px wider: the module is 2 px
        {{10.0 / 3, 10.0 / 3, 10.0 / 3}, 0, 0, 0, 10, 0}, // 10 px: ceil(3.33 x 3)
    };

    for (const Case& c : cases) {
        const Margins m = lumeo::QuietZoneMargins(e, c.zone, c.pxAdjustBlack);
        EXPECT_EQ((std::vector<int>{m.left, m.right, m.top, m.bottom}),
                  (std::vector<int>{c.left, c.right, c.top, c.bottom}));
    }
    EXPECT_FALSE(lumeo::MeasureSvg(svg, Color{0, 0, 1, 255}).found); // no bar in that colour
    EXPECT_THROW(lumeo::MeasureSvg("<html/>", Color{}), std::runtime_error);
}

TEST(LumeoCsv, SplitsQuotedFieldsAndRefusesAnOpenQuote)
{
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"qr,HELLO,a.png", {"qr", "HELLO", "a.png"}},
        {"qr,\"HELLO, \"\"WORLD\"\"\",a.png,--level H", {"qr", "HELLO, \"WORLD\"", "a.png", "--level H"}},
        {"code39,,b.png,", {"code39", "", "b.png", ""}},
        {"code39,A\"B,c.png", {"code39", "A\"B", "c.png"}},
    };
    for (const auto& [line, fields] : cases) {
        EXPECT_EQ(lumeo::SplitCsv(line), fields) << line;
    }
    EXPECT_THROW(lumeo::SplitCsv("qr,\"open,a.png"), std::invalid_argument);
}

TEST(LumeoCsv, ReadsFilesAsSpreadsheetsWriteThem)
{
    struct Record
    {
        int line;
        std::vector<std::string> fields;
        std::string error;
    };
    const std::pair<std::string, std::vector<Record>> cases[] = {
        // a byte-order mark, CRLF line ends, a header like any record
        {"\xEF\xBB\xBFtype,text,file\r\nqr,A,a.png\r\n", {{1, {"type", "text", "file"}, ""}, {2, {"qr", "A", "a.png"}, ""}}},
        // line breaks inside quotes stay as written; the next record's line counts them
        {"qr,\"BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\",v.png\r\ncode39,B,b.png",
         {{1, {"qr", "BEGIN:VCARD\r\nFN:A\r\nEND:VCARD", "v.png"}, ""}, {4, {"code39", "B", "b.png"}, ""}}},
        {"qr,\"two\nlines\",x.png\n", {{1, {"qr", "two\nlines", "x.png"}, ""}}},
        // blank lines and comments are left out, but counted
        {"\n  \r\n# note,\"open\ncode39,C,c.png\n", {{4, {"code39", "C", "c.png"}, ""}}},
        // a quote left open fails its own line; the next lines are read
        {"code39,\"open,a.png\ncode39,D,d.png\n",
         {{1, {}, "a quoted field opened on this line is not closed"}, {2, {"code39", "D", "d.png"}, ""}}},
        // a last line without its line end, a lone CR at the end
        {"code39,E,e.png\r", {{1, {"code39", "E", "e.png"}, ""}}},
        // NUL bytes are kept for the caller to refuse
        {std::string("code39,A\0B,n.png\n", 17), {{1, {"code39", std::string("A\0B", 3), "n.png"}, ""}}},
    };
    for (const auto& [csv, expected] : cases) {
        std::istringstream in(csv);
        const std::vector<lumeo::CsvRecord> records = lumeo::ReadCsv(in);
        ASSERT_EQ(records.size(), expected.size()) << csv;
        for (size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].line, expected[i].line) << csv;
            EXPECT_EQ(records[i].fields, expected[i].fields) << csv;
            EXPECT_EQ(records[i].error, expected[i].error) << csv;
        }
    }
}

} // namespace
