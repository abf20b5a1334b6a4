// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Helpers shared by the test suite: decoding PNG bytes back to pixels, reading symbols with
// an independent decoder, checking SVG documents, and capturing the library's diagnostics.
namespace testsupport {

// An 8-bit grey image.
struct GreyImage
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // row-major, 0 = black

    std::uint8_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// An RGBA image.
struct RgbaImage
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // R, G, B, A per pixel
};

// A C-interface handle that is destroyed with its scope.
struct Handle
{
    explicit Handle(int type) : h(CreateHandle(type)) {}

    ~Handle();
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    static void* CreateHandle(int type);
    void* h;
};

// A copy of the PNG bytes barcode_get_image_data returns for the handle (empty when none).
std::vector<std::uint8_t> ImageBytes(void* handle);

// Decodes PNG bytes; fails the current test (and returns an empty image) when they are not a PNG.
RgbaImage DecodePng(const std::vector<std::uint8_t>& png);
RgbaImage DecodePng(const unsigned char* png, int size);
// Luminance of an RGBA image composited on white, with a white margin of `margin` pixels.
GreyImage ToGrey(const RgbaImage& image, int margin);

// True when zxing-cpp was found at build time.
bool HaveDecoder();

struct Decoded
{
    bool valid = false;
    std::string format; // zxing's format name, e.g. "Code39"
    std::string text;   // decoded text (UTF-8)
    std::vector<std::uint8_t> bytes;
    std::string error;
};

// Reads one barcode of `format` (a zxing format name such as "Code39", "QRCode") from a grey
// image. An empty format tries every format zxing knows.
Decoded Decode(const GreyImage& image, const std::string& format);
// PNG bytes as the library returns them: decodes with a white quiet zone added around them.
Decoded DecodePngBytes(const std::vector<std::uint8_t>& png, const std::string& format, int margin = 40);

// True when zbarimg (Debian zbar-tools) is installed.
bool HaveZbar();
// What zbarimg reads from a grey image enlarged `scale` times (each pixel a scale x scale
// block: a symbol of whole-pixel modules stays the same symbol): the data of each symbol read,
// one line each, without the symbology names; "" when nothing is read.
std::string ZbarRead(const GreyImage& image, int scale = 1);

// Rasterises an SVG document with rsvg-convert; empty when the tool is missing.
bool HaveSvgRasteriser();
std::vector<std::uint8_t> RasteriseSvg(const std::string& svg);

// True when the document is well-formed XML; `error` receives the parser's complaint.
bool IsWellFormedXml(const std::string& document, std::string* error = nullptr);

// Captures what the library prints to standard output and standard error while alive.
class CapturedOutput
{
public:
    CapturedOutput();
    ~CapturedOutput();
    // Stops capturing and returns the text (stdout, then stderr are kept apart).
    void Finish();

    const std::string& Out() const { return m_out; }

    const std::string& Err() const { return m_err; }

private:
    bool m_active = true;
    std::string m_out;
    std::string m_err;
};

} // namespace testsupport
