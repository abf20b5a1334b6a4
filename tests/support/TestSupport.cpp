// SPDX-License-Identifier: MIT
#include "support/TestSupport.h"

#include "barcode_lumeo.h"
#include "core/Log.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <libxml/parser.h>
#include <sstream>

#ifdef BARCODE_HAVE_ZXING
#include <ZXing/ReadBarcode.h>
#endif

namespace testsupport {

void* Handle::CreateHandle(int type)
{
    return barcode_create(type);
}

Handle::~Handle()
{
    barcode_destroy(h);
}

std::vector<std::uint8_t> ImageBytes(void* handle)
{
    int size = 0;
    const unsigned char* data = barcode_get_image_data(handle, &size);
    return data != nullptr ? std::vector<std::uint8_t>(data, data + size) : std::vector<std::uint8_t>();
}

RgbaImage DecodePng(const unsigned char* png, int size)
{
    RgbaImage out;
    if (png == nullptr || size <= 0) {
        ADD_FAILURE() << "no PNG bytes";
        return out;
    }
    SDL_RWops* rw = SDL_RWFromConstMem(png, size);
    SDL_Surface* loaded = IMG_LoadPNG_RW(rw);
    SDL_RWclose(rw);
    if (loaded == nullptr) {
        ADD_FAILURE() << "not a PNG: " << SDL_GetError();
        return out;
    }
    SDL_Surface* rgba = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0);
    SDL_FreeSurface(loaded);
    out.width = rgba->w;
    out.height = rgba->h;
    out.pixels.resize(static_cast<size_t>(out.width) * out.height * 4);
    for (int y = 0; y < out.height; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(rgba->pixels) + static_cast<size_t>(y) * rgba->pitch;
        std::copy(row, row + out.width * 4, out.pixels.begin() + static_cast<long>(y) * out.width * 4);
    }
    SDL_FreeSurface(rgba);
    return out;
}

RgbaImage DecodePng(const std::vector<std::uint8_t>& png)
{
    return DecodePng(png.data(), static_cast<int>(png.size()));
}

GreyImage ToGrey(const RgbaImage& image, int margin)
{
    GreyImage g;
    g.width = image.width + 2 * margin;
    g.height = image.height + 2 * margin;
    g.pixels.assign(static_cast<size_t>(g.width) * g.height, 255);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
            const int lum = (p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000;
            const int a = p[3];
            const int over = (lum * a + 255 * (255 - a)) / 255; // on white
            g.pixels[static_cast<size_t>(y + margin) * g.width + x + margin] = static_cast<std::uint8_t>(over);
        }
    }
    return g;
}

bool HaveDecoder()
{
#ifdef BARCODE_HAVE_ZXING
    return true;
#else
    return false;
#endif
}

Decoded Decode(const GreyImage& image, const std::string& format)
{
    Decoded d;
#ifdef BARCODE_HAVE_ZXING
    ZXing::DecodeHints hints;
    hints.setTryHarder(true);
    if (!format.empty()) {
        hints.setFormats(ZXing::BarcodeFormatFromString(format));
    }
    hints.setTryRotate(false);
    const ZXing::ImageView view(image.pixels.data(), image.width, image.height, ZXing::ImageFormat::Lum);
    const ZXing::Result r = ZXing::ReadBarcode(view, hints);
    d.valid = r.isValid();
    d.format = ZXing::ToString(r.format());
    d.text = r.text();
    d.bytes.assign(r.bytes().begin(), r.bytes().end());
    if (!d.valid) {
        d.error = ZXing::ToString(r.error());
    }
#else
    (void)image;
    (void)format;
    d.error = "zxing-cpp not available";
#endif
    return d;
}

Decoded DecodePngBytes(const std::vector<std::uint8_t>& png, const std::string& format, int margin)
{
    return Decode(ToGrey(DecodePng(png), margin), format);
}

bool HaveZbar()
{
    static const bool found = std::system("command -v zbarimg >/dev/null 2>&1") == 0;
    return found;
}

std::string ZbarRead(const GreyImage& image, int scale)
{
    static int counter = 0;
    const std::string path = std::string(BARCODE_TEST_TMPDIR) + "/zbar" + std::to_string(::getpid()) + "_"
                             + std::to_string(counter++) + ".pgm";
    {
        // A binary greymap: zbarimg reads it like any image file.
        std::ofstream out(path, std::ios::binary);
        out << "P5\n" << image.width * scale << " " << image.height * scale << "\n255\n";
        std::string row(static_cast<size_t>(image.width) * scale, '\0');
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                std::fill_n(row.begin() + static_cast<long>(x) * scale, scale, static_cast<char>(image.at(x, y)));
            }
            for (int k = 0; k < scale; ++k) {
                out << row;
            }
        }
    }
    std::string text;
    if (FILE* pipe = ::popen(("zbarimg -q --raw '" + path + "' 2>/dev/null").c_str(), "r")) {
        char buffer[512];
        for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;) {
            text.append(buffer, n);
        }
        ::pclose(pipe);
    }
    std::remove(path.c_str());
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

bool HaveSvgRasteriser()
{
#ifdef BARCODE_RSVG_CONVERT
    return true;
#else
    return false;
#endif
}

std::vector<std::uint8_t> RasteriseSvg(const std::string& svg)
{
#ifdef BARCODE_RSVG_CONVERT
    static int counter = 0;
    const std::string base =
        std::string(BARCODE_TEST_TMPDIR) + "/svg" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    {
        std::ofstream out(base + ".svg", std::ios::binary);
        out << svg;
    }
    const std::string cmd =
        std::string(BARCODE_RSVG_CONVERT) + " -b white -o '" + base + ".png' '" + base + ".svg' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) {
        return {};
    }
    std::ifstream in(base + ".png", std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove((base + ".svg").c_str());
    std::remove((base + ".png").c_str());
    return bytes;
#else
    (void)svg;
    return {};
#endif
}

bool IsWellFormedXml(const std::string& document, std::string* error)
{
    xmlDocPtr doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), "svg.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (doc == nullptr) {
        if (error != nullptr) {
            const xmlError* e = xmlGetLastError();
            *error = e != nullptr && e->message != nullptr ? e->message : "unknown parse error";
        }
        return false;
    }
    xmlFreeDoc(doc);
    return true;
}

CapturedOutput::CapturedOutput()
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
}

CapturedOutput::~CapturedOutput()
{
    Finish();
}

void CapturedOutput::Finish()
{
    if (m_active) {
        m_out = testing::internal::GetCapturedStdout();
        m_err = testing::internal::GetCapturedStderr();
        m_active = false;
    }
}

} // namespace testsupport
