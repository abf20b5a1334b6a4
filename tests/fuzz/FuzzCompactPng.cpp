// SPDX-License-Identifier: MIT
// libFuzzer harness of the compact PNG writer (compact_png::Encode and its RowDeflater): the
// input becomes an image given as a row table, as the painters hand it over: rows that repeat
// the row above by pointer (one or thousands at a time) or by value, near-repeats, rows equal
// to one further up, runs, noise, palettes of 1 to 300 colours (greys of every depth, colours,
// alpha), tall and narrow shapes (100 x 4,000, 120 x 16,000), and rows wider than
// RowDeflater::kMaxRow bytes. Each result must hold these properties, or the harness aborts:
// - more than 256 distinct colours give Outcome::TooManyColours and no bytes; otherwise
//   Outcome::Written with the number of distinct colours;
// - the file is a PNG whose chunks carry zlib's CRC-32, in the order IHDR, PLTE, tRNS, IDAT,
//   IEND; IHDR agrees with the result (size, depth, grey or palette) and the depth is the
//   smallest that holds the palette; every palette sample is an index into PLTE;
// - the IDAT data inflates with zlib to one scanline per row, each with filter byte 0;
// - libpng decodes the file to exactly the input's RGBA pixels;
// - for small images, Encode of an SDL surface with a padded pitch gives the same bytes.
// Compact_png::Crc32 (carry-less multiplication where the processor has it) must also equal
// zlib's crc32 of the raw input.
//
// Input: a shape byte and its sizes, the palette (count, kind, seed), then one operation per row
// (see NextRows). Reading past the end gives zeros: the rest of the rows repeat by pointer.
#include "FuzzSupport.h"
#include "core/png/CompactPng.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <png.h>
#include <unordered_set>
#include <vector>
#include <zlib.h>

namespace {

constexpr char kName[] = "fuzz_compact_png";
constexpr std::size_t kMaxPixels = 2000000;

std::uint32_t Mix(std::uint32_t seed, std::uint32_t i)
{
    std::uint32_t x = seed * 0x9E3779B9u ^ (i + 0x7F4A7C15u) * 0x85EBCA6Bu;
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    x ^= x >> 12;
    return x;
}

// An ABGR8888 pixel: bytes R, G, B, A in memory.
std::uint32_t Pixel(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a)
{
    const std::uint8_t bytes[4] = {r, g, b, a};
    std::uint32_t p = 0;
    std::memcpy(&p, bytes, 4);
    return p;
}

std::vector<std::uint32_t> MakePalette(fuzz::Bytes& in)
{
    const unsigned count = 1 + in.U16() % 300;
    const unsigned kind = in.Byte() % 8;
    const std::uint32_t seed = in.U16();
    std::vector<std::uint32_t> palette(count);
    for (unsigned i = 0; i < count; ++i) {
        const std::uint32_t h = Mix(seed, i);
        const auto c = [h](int shift) { return static_cast<std::uint8_t>(h >> shift); };
        switch (kind) {
        case 0: palette[i] = h; break;                                                          // any RGBA
        case 1: palette[i] = Pixel(c(0) % 4 * 85, c(0) % 4 * 85, c(0) % 4 * 85, 255); break;    // 2-bit greys
        case 2: palette[i] = Pixel(c(0) % 16 * 17, c(0) % 16 * 17, c(0) % 16 * 17, 255); break; // 4-bit greys
        case 3: palette[i] = Pixel(c(0), c(0), c(0), 255); break;                               // 8-bit greys
        case 4: palette[i] = Pixel(c(0), c(8), c(16), 255); break;                              // opaque colours
        case 5: palette[i] = Pixel(c(0), c(8), c(16), c(24) % 3 == 0 ? 0 : c(24) % 3 == 1 ? 128 : 255); break;
        case 6: palette[i] = i % 2 == 0 ? Pixel(c(0), c(0), c(0), 255) : Pixel(c(0), c(8), c(16), 255); break;
        default: palette[i] = i < 2 ? Pixel(i == 0 ? 0 : 255, i == 0 ? 0 : 255, i == 0 ? 0 : 255, 255) : h; break;
        }
    }
    return palette;
}

struct Image
{
    int width = 0;
    int height = 0;
    std::vector<std::unique_ptr<std::uint32_t[]>> buffers; // exactly one row each, for ASan
    std::vector<const std::uint32_t*> rows;
};

void Shape(fuzz::Bytes& in, int* width, int* height)
{
    static const int kWidths[] = {15,    16,    17,    31,    32,    33,    63,    64,    65,     127,    128,   129,
                                  1023,  1024,  1025,  1033,  4095,  4096,  4097,  8191,  8192,   8193,   16383, 16384,
                                  16385, 32766, 32767, 32768, 32769, 32770, 40000, 65536, 262143, 262144, 262145};
    std::size_t w = 1;
    std::size_t h = 1;
    // Mostly small images, which run quickly; one input in eight has a tall, wide or large shape.
    const unsigned shape = in.Byte() % 64;
    if (shape < 48) {
        w = 1 + in.Byte();
        h = 1 + in.Byte() % 64;
    } else if (shape < 55) {
        w = 1 + in.U16() % 2048;
        h = 1 + in.Byte();
    } else if (shape == 55) {
        w = 100;
        h = 4000;
    } else if (shape == 56) {
        w = 120;
        h = 16000;
    } else if (shape == 57) {
        w = 1 + in.Byte() % 16;
        h = 1 + in.U16() % 16384;
    } else if (shape == 58) {
        w = static_cast<std::size_t>(kWidths[in.Byte() % std::size(kWidths)]);
        h = 1 + in.Byte() % 8;
    } else if (shape == 59) {
        w = 1 + in.U16() % 16384;
        h = 1 + in.U16() % 64;
    } else if (shape == 60) {
        w = 1 + in.Byte();
        h = 1 + in.U16() % 16384;
    } else if (shape == 61) {
        w = 1 + in.U16();
        h = 1 + in.U16();
    } else {
        w = 1 + in.Byte() % 8;
        h = 1 + in.Byte();
    }
    if (w * h > kMaxPixels) {
        h = std::max<std::size_t>(1, kMaxPixels / w);
    }
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
}

// Row y of the image, and the rows after it up to the height that repeat it when the operation
// says so, by the next operation of the input.
void NextRows(fuzz::Bytes& in, const std::vector<std::uint32_t>& palette, Image& image, int y)
{
    const auto w = static_cast<std::size_t>(image.width);
    const auto n = static_cast<std::uint32_t>(palette.size());
    unsigned op = in.Byte() % 10;
    if (y == 0 && (op <= 2 || op == 5 || op == 6 || op == 8 || op == 9)) {
        op = 4;
    }
    if (op == 0 || op == 5) { // the same pointer as the row above, or as one further up
        const int back = op == 0 ? 1 : 1 + in.Byte() % std::min(y, 64);
        image.rows.push_back(image.rows[static_cast<std::size_t>(y - back)]);
        return;
    }
    if (op == 9) { // a stretch of rows with the pointer of the row above, as under long bars
        for (unsigned k = 1 + in.U16() % 4096; k > 0 && static_cast<int>(image.rows.size()) < image.height; --k) {
            image.rows.push_back(image.rows.back());
        }
        return;
    }
    image.buffers.emplace_back(new std::uint32_t[w]);
    std::uint32_t* row = image.buffers.back().get();
    image.rows.push_back(row);
    const std::uint32_t* above = y > 0 ? image.rows[static_cast<std::size_t>(y - 1)] : nullptr;
    switch (op) {
    case 1: std::copy(above, above + w, row); break; // equal to the row above, another buffer
    case 2: {                                        // near-repeat
        std::copy(above, above + w, row);
        for (unsigned k = 1 + in.Byte() % 8; k > 0; --k) {
            row[in.U16() % w] = palette[in.U16() % n];
        }
        break;
    }
    case 3: { // runs
        const std::size_t scale = std::max<std::size_t>(1, w / 256);
        for (std::size_t x = 0; x < w;) {
            const std::size_t length = in.AtEnd() ? w - x : (1 + in.Byte()) * scale;
            std::fill_n(row + x, std::min(length, w - x), palette[in.U16() % n]);
            x += length;
        }
        break;
    }
    case 4: { // noise over a part of the palette
        const std::uint32_t seed = in.Byte();
        const std::uint32_t m = 1 + in.U16() % n;
        for (std::size_t x = 0; x < w; ++x) {
            row[x] = palette[Mix(seed, static_cast<std::uint32_t>(x)) % m];
        }
        break;
    }
    case 6: { // equal to a row further up, another buffer
        const std::uint32_t* from = image.rows[static_cast<std::size_t>(y - 1 - in.Byte() % std::min(y, 64))];
        std::copy(from, from + w, row);
        break;
    }
    case 7: { // the palette in turn
        const std::uint32_t offset = in.U16();
        for (std::size_t x = 0; x < w; ++x) {
            row[x] = palette[(static_cast<std::uint32_t>(x) + offset) % n];
        }
        break;
    }
    default: { // the row above with one pixel changed near its end
        std::copy(above, above + w, row);
        row[w - 1 - in.Byte() % std::min<std::size_t>(w, 16)] = palette[in.U16() % n];
        break;
    }
    }
}

// A buffer of at least `n` bytes kept from run to run (large images would otherwise cost more
// in fresh zeroed pages than in the checks).
std::uint8_t* Scratch(std::size_t n, int which)
{
    static std::unique_ptr<std::uint8_t[]> buffers[2];
    static std::size_t capacity[2] = {};
    if (capacity[which] < n) {
        buffers[which].reset(new std::uint8_t[n]);
        capacity[which] = n;
    }
    return buffers[which].get();
}

std::uint32_t Get32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16
           | static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

size_t DistinctColours(const Image& image)
{
    std::unordered_set<std::uint32_t> seen;
    const auto w = static_cast<std::size_t>(image.width);
    for (std::size_t y = 0; y < image.rows.size() && seen.size() <= 256; ++y) {
        if (y > 0 && image.rows[y] == image.rows[y - 1]) {
            continue;
        }
        seen.insert(image.rows[y], image.rows[y] + w);
    }
    return seen.size();
}

// The chunks, IHDR, the samples inflated by zlib: everything but the pixels.
void CheckFile(const Image& image, const compact_png::Result& r)
{
    const std::vector<std::uint8_t>& png = r.png;
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 8 || std::memcmp(png.data(), signature, 8) != 0) {
        fuzz::Broken(kName, "no PNG signature");
    }
    std::vector<std::string> order;
    std::vector<std::uint8_t> ihdr;
    std::vector<std::uint8_t> idat;
    std::size_t plte = 0;
    std::size_t trns = 0;
    for (std::size_t at = 8; at < png.size();) {
        if (png.size() - at < 12) {
            fuzz::Broken(kName, "a chunk cut short");
        }
        const std::size_t length = Get32(&png[at]);
        if (png.size() - at - 12 < length) {
            fuzz::Broken(kName, "a chunk longer than the file");
        }
        const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
        const std::uint8_t* data = &png[at + 8];
        const auto crc = static_cast<std::uint32_t>(crc32(0, &png[at + 4], static_cast<uInt>(length + 4)));
        if (crc != Get32(data + length)) {
            fuzz::Broken(kName, "CRC of chunk " + type + " differs from zlib's");
        }
        order.push_back(type);
        if (type == "IHDR") {
            ihdr.assign(data, data + length);
        } else if (type == "IDAT") {
            idat.insert(idat.end(), data, data + length);
        } else if (type == "PLTE") {
            plte = length;
        } else if (type == "tRNS") {
            trns = length;
        }
        at += length + 12;
    }
    std::vector<std::string> expected = {"IHDR"};
    if (!r.grey) {
        expected.push_back("PLTE");
        if (trns > 0) {
            expected.push_back("tRNS");
        }
    }
    expected.insert(expected.end(), {"IDAT", "IEND"});
    if (order != expected) {
        fuzz::Broken(kName, "chunks out of order or missing");
    }
    const int depth = r.bitDepth;
    if (ihdr.size() != 13 || Get32(&ihdr[0]) != static_cast<std::uint32_t>(image.width)
        || Get32(&ihdr[4]) != static_cast<std::uint32_t>(image.height) || ihdr[8] != depth
        || ihdr[9] != (r.grey ? 0 : 3) || ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] != 0) {
        fuzz::Broken(kName, "IHDR does not describe the image and the result");
    }
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8) {
        fuzz::Broken(kName, "bit depth " + std::to_string(depth));
    }
    if (!r.grey) {
        if (plte != 3 * static_cast<std::size_t>(r.colours) || trns > static_cast<std::size_t>(r.colours)) {
            fuzz::Broken(kName, "PLTE or tRNS of the wrong size");
        }
        if ((1 << depth) < r.colours || (depth > 1 && r.colours <= (1 << (depth / 2)))) {
            fuzz::Broken(kName, "palette depth " + std::to_string(depth) + " for " + std::to_string(r.colours)
                                    + " colours is not the smallest");
        }
    }

    const std::size_t w = static_cast<std::size_t>(image.width);
    const std::size_t rowBytes = 1 + (w * static_cast<std::size_t>(depth) + 7) / 8;
    const std::size_t rawSize = rowBytes * static_cast<std::size_t>(image.height);
    std::uint8_t* raw = Scratch(rawSize + 1, 0);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        fuzz::Broken(kName, "inflateInit");
    }
    z.next_in = idat.data();
    z.avail_in = static_cast<uInt>(idat.size());
    z.next_out = raw;
    z.avail_out = static_cast<uInt>(rawSize + 1);
    const int status = inflate(&z, Z_FINISH);
    const std::size_t produced = z.total_out;
    const bool allRead = z.avail_in == 0;
    inflateEnd(&z);
    if (status != Z_STREAM_END || produced != rawSize || !allRead) {
        fuzz::Broken(kName, "IDAT does not inflate to " + std::to_string(rawSize) + " bytes (zlib status "
                                + std::to_string(status) + ", " + std::to_string(produced) + " bytes)");
    }
    const unsigned mask = (1u << depth) - 1;
    for (std::size_t y = 0; y < static_cast<std::size_t>(image.height); ++y) {
        const std::uint8_t* line = &raw[y * rowBytes];
        if (line[0] != 0) {
            fuzz::Broken(kName, "filter byte " + std::to_string(line[0]) + " in row " + std::to_string(y));
        }
        if (r.grey || (y > 0 && std::memcmp(line, line - rowBytes, rowBytes) == 0)) {
            continue;
        }
        for (std::size_t x = 0; x < w; ++x) {
            const std::size_t bit = x * static_cast<std::size_t>(depth);
            const unsigned sample = (line[1 + bit / 8] >> (8 - depth - bit % 8)) & mask;
            if (sample >= static_cast<unsigned>(r.colours)) {
                fuzz::Broken(kName, "palette index past PLTE in row " + std::to_string(y));
            }
        }
    }
}

void CheckPixels(const Image& image, const compact_png::Result& r)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&png, r.png.data(), r.png.size()) == 0) {
        fuzz::Broken(kName, std::string("libpng refuses the file: ") + png.message);
    }
    png.format = PNG_FORMAT_RGBA;
    std::uint8_t* pixels = Scratch(PNG_IMAGE_SIZE(png), 1);
    if (png_image_finish_read(&png, nullptr, pixels, 0, nullptr) == 0) {
        fuzz::Broken(kName, std::string("libpng cannot read the file: ") + png.message);
    }
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(image.width);
    for (std::size_t y = 0; y < image.rows.size(); ++y) {
        if (std::memcmp(&pixels[y * rowBytes], image.rows[y], rowBytes) != 0) {
            fuzz::Broken(kName, "libpng decodes other pixels in row " + std::to_string(y));
        }
    }
}

// The surface form of Encode over the same pixels, with `pad` pixels more per line.
void CheckSurface(const Image& image, const compact_png::Result& r, int pad)
{
    const auto w = static_cast<std::size_t>(image.width);
    const std::size_t pitch = w + static_cast<std::size_t>(pad);
    std::vector<std::uint32_t> pixels(pitch * image.rows.size(), Pixel(1, 2, 3, 4));
    for (std::size_t y = 0; y < image.rows.size(); ++y) {
        std::copy(image.rows[y], image.rows[y] + w, &pixels[y * pitch]);
    }
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), image.width, image.height, 32,
                                                              static_cast<int>(4 * pitch), SDL_PIXELFORMAT_ABGR8888);
    if (surface == nullptr) {
        fuzz::Broken(kName, std::string("SDL_CreateRGBSurfaceWithFormatFrom: ") + SDL_GetError());
    }
    const compact_png::Result s = compact_png::Encode(surface);
    SDL_FreeSurface(surface);
    if (s.outcome != r.outcome || s.png != r.png) {
        fuzz::Broken(kName, "the surface form gives another result than the row form");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0) {
        const auto zlibCrc = static_cast<std::uint32_t>(crc32(0, data, static_cast<uInt>(size)));
        if (compact_png::Crc32(data, size) != zlibCrc
            || compact_png::Crc32(data + 1, size - 1)
                   != static_cast<std::uint32_t>(crc32(0, data + 1, static_cast<uInt>(size - 1)))) {
            fuzz::Broken(kName, "Crc32 differs from zlib's crc32");
        }
    }
    fuzz::Bytes in(data, size);
    Image image;
    Shape(in, &image.width, &image.height);
    const int pad = in.Byte() % 4;
    const std::vector<std::uint32_t> palette = MakePalette(in);
    image.rows.reserve(static_cast<std::size_t>(image.height));
    while (static_cast<int>(image.rows.size()) < image.height) {
        NextRows(in, palette, image, static_cast<int>(image.rows.size()));
    }

    const std::size_t distinct = DistinctColours(image);
    const compact_png::Result r = compact_png::Encode(image.width, image.height, image.rows.data());
    if (distinct > 256) {
        if (r.outcome != compact_png::Outcome::TooManyColours || !r.png.empty()) {
            fuzz::Broken(kName, "more than 256 colours without Outcome::TooManyColours");
        }
    } else {
        if (r.outcome != compact_png::Outcome::Written) {
            fuzz::Broken(kName,
                         "an image of " + std::to_string(distinct) + " colours not written: "
                             + (r.outcome == compact_png::Outcome::Failed ? SDL_GetError() : "too many colours"));
        }
        if (static_cast<std::size_t>(r.colours) != distinct) {
            fuzz::Broken(kName, "the result counts " + std::to_string(r.colours) + " colours, the image has "
                                    + std::to_string(distinct));
        }
        CheckFile(image, r);
        CheckPixels(image, r);
    }
    if (static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) <= 65536) {
        CheckSurface(image, r, pad);
    }
    return 0;
}
