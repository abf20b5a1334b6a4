// SPDX-License-Identifier: MIT
// libFuzzer harness over the whole C interface: the input is a program of calls to the 43
// functions on three handle slots (and the null handle), with arbitrary numbers and strings:
// the extremes as well as the ordinary values (huge and tiny doubles, NaN, infinities, -0.0;
// pixel adjustments of hundreds of thousands either way; canvas sides up to the limit of 16,384
// and 40,000,000 pixels; every output format, "png8" among them). tests/fuzz/dict/fuzz_capi.dict
// holds whole calls with those values for libFuzzer to splice in. Every draw is checked: true gives a complete PNG or SVG (no "inf" or "nan" in it), false gives
// a reason on standard error and leaves no image, no document and the fallback URI. A broken
// rule aborts, which libFuzzer reports with the input that caused it.
//
// Input format (tests/fuzz/make_corpus.py writes seeds in it): a sequence of operations, each
// an op byte (modulo 43, the functions in the order of the public header) followed by a slot
// byte (modulo 4; slot 3 is the null handle) and the operation's arguments, read by the
// Reader below. Reading past the end yields zeros.
#include "barcode_lumeo.h"
#include "core/Log.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr int kSlots = 3;
const char kFallback[] = "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVQI12P4//8/"
                         "AAX+Av7czFnnAAAAAElFTkSuQmCC";

// Option strings of the setters, output formats and encoding names.
const char* const kWords[] = {
    "png",
    "svg",
    "SVG",
    "jpg",
    "jpeg",
    "JPEG",
    "",
    "A",
    "B",
    "C",
    "AUTO",
    "L",
    "M",
    "Q",
    "H",
    "NUMERIC",
    "ALPHANUMERIC",
    "KANJI",
    "BYTE",
    "utf-8",
    "UTF-8",
    "shift-jis",
    "Shift-JIS",
    "shift_jis",
    "10x10",
    "16x48",
    "144x144",
    "8x18",
    "ASCII",
    "C40",
    "TEXT",
    "X12",
    "EDIFACT",
    "BASE256",
    "OMNIDIRECTIONAL",
    "STACKED",
    "STACKED_OMNIDIRECTIONAL",
    "UNSTACKED",
    "gif",
    "16X48",
    // Every output format and near misses (appended: the seeds index the words above).
    "png8",
    "PNG8",
    "PNG",
    "Png8",
    "png8 ",
    "bmp",
    "webp",
};

// Texts that each family accepts, so that the fuzzer starts from drawn symbols.
const char* const kTexts[] = {
    "ABC-123",
    "CODE93 x",
    "Code 128 \xC3\xA9",
    "{FNC1}0104912345678904{AI}10LOT",
    "9191234500012345678901234567810261231000150",
    "A0123-4567B",
    "20240415",
    "4901234",
    "490123456789",
    "03600029145",
    "425261",
    "14901234567891",
    "0123456789012",
    "0195012345678903{AI}3103001750",
    "2630023 3-30-8-403",
    "https://example.com/\xE6\x97\xA5\xE6\x9C\xAC",
    "\x93\xfa\x96\x7b",
    "PDF417 0123456789",
};

const int kSpecialInts[] = {INT32_MIN, -100000, -1,   0,    1,     2,     3,     8,      40,       41,
                            90,        91,      1000, 2441, 16384, 16385, 23000, 100000, INT32_MAX,
                            // Sides of large canvases (16,384 a side and 40,000,000 pixels at most)
                            // and extreme pixel adjustments (appended: the seeds index those above).
                            1033, 1128, 2237, 2442, 4000, 4096, 6324, 6325, 8192, 12000, 16000, 16383, -16384,
                            -16385, -1000000, 1000000, 40000000, 40000001, INT32_MIN + 1, INT32_MAX - 1, -2, 10,
                            255, 256, 65535, 65536};

class Reader
{
public:
    Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool AtEnd() const { return m_pos >= m_size; }

    std::uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    int Int()
    {
        switch (Byte() % 8) {
        case 0: return Byte();
        case 1: {
            const int high = Byte();
            return high << 2 | Byte() >> 6; // up to 1023
        }
        case 2: return -static_cast<int>(Byte());
        case 3: return kSpecialInts[Byte() % std::size(kSpecialInts)];
        case 4: { // a canvas side up to twice the limit, as often from 2^k to 2^(k+1) for each k
            const int k = Byte() % 15;
            return (1 << k) + static_cast<int>(U16() % (1u << k));
        }
        case 5: return -static_cast<int>(U16()) * 16;   // a large negative pixel adjustment
        case 6: return static_cast<int>(U16()) * 16;    // a large positive one
        default: {
            std::uint32_t bits = 0;
            for (int i = 0; i < 4; ++i) {
                bits = bits << 8 | Byte();
            }
            return static_cast<int>(bits);
        }
        }
    }

    unsigned U16()
    {
        const unsigned high = Byte();
        return high << 8 | Byte();
    }

    double Double()
    {
        static const double specials[] = {std::numeric_limits<double>::quiet_NaN(),
                                          std::numeric_limits<double>::infinity(),
                                          -std::numeric_limits<double>::infinity(),
                                          0.0,
                                          -0.0,
                                          1e300,
                                          -1e300,
                                          1e9,
                                          -1.0,
                                          0.5,
                                          1.5,
                                          1000.0,
                                          0.001,
                                          1e-300,
                                          std::numeric_limits<double>::denorm_min(),
                                          // Appended: the seeds index those above.
                                          std::numeric_limits<double>::max(),
                                          std::numeric_limits<double>::lowest(),
                                          std::numeric_limits<double>::min(),
                                          -std::numeric_limits<double>::min(),
                                          -std::numeric_limits<double>::denorm_min(),
                                          -1e-300,
                                          1e-10,
                                          1e10,
                                          1e15,
                                          65536.0,
                                          2.5,
                                          -0.5};
        switch (Byte() % 8) {
        case 0: return specials[Byte() % std::size(specials)];
        case 1: {
            std::uint64_t bits = 0;
            for (int i = 0; i < 8; ++i) {
                bits = bits << 8 | Byte();
            }
            double v = 0;
            std::memcpy(&v, &bits, sizeof(v));
            return v;
        }
        case 2: return Byte() / 16.0;
        case 3: return -Byte() / 16.0;
        case 4: { // a power of ten from 1e-324 (zero) to 1e308, either sign
            const std::uint8_t b = Byte();
            const double v = std::pow(10.0, -324 + (b & 0x7F) * 632 / 127);
            return (b & 0x80) != 0 ? -v : v;
        }
        case 5: { // a power of two from 2^-1074 to 2^1023, either sign
            const std::uint8_t b = Byte();
            const double v = std::ldexp(1.0, -1074 + (b & 0x7F) * 2097 / 127);
            return (b & 0x80) != 0 ? -v : v;
        }
        case 6: return (static_cast<int>(U16()) - 32768) / 64.0;
        default: return specials[Byte() % std::size(specials)];
        }
    }

    // Null, raw bytes from the input, an option word, a family's text, or a long text just
    // under or past a length limit.
    const char* String()
    {
        const std::uint8_t m = Byte();
        if (m == 255) {
            return nullptr;
        }
        if (m < 96) {
            m_string.clear();
            for (std::uint8_t i = 0; i < m && !AtEnd(); ++i) {
                m_string += static_cast<char>(Byte());
            }
        } else if (m < 176) {
            m_string = kWords[(m - 96) % std::size(kWords)];
        } else if (m < 250) {
            m_string = kTexts[(m - 176) % std::size(kTexts)];
        } else {
            static const std::size_t lengths[] = {9999, 10000, 10001, 100000, 100001};
            const char unit = static_cast<char>(Byte());
            m_string.assign(lengths[(m - 250) % std::size(lengths)], unit == 0 ? '1' : unit);
        }
        return m_string.c_str();
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    std::string m_string;
};

// The drawing functions in the order of the header, all called with a text and two numbers
// (the square and postal forms take the one they need).
struct DrawFunction
{
    const char* name;
    bool (*call)(void*, const char*, int, int);
};

const DrawFunction kDraws[] = {
    {"barcode_draw_1d", barcode_draw_1d},
    {"barcode_draw_2d", [](void* h, const char* t, int w, int) { return barcode_draw_2d(h, t, w); }},
    {"barcode_draw_2d_rect", barcode_draw_2d_rect},
    {"barcode_draw_yubin", [](void* h, const char* t, int, int ht) { return barcode_draw_yubin(h, t, ht); }},
    {"barcode_draw_yubin_with_width", barcode_draw_yubin_with_width},
    {"barcode_draw_convenience", barcode_draw_convenience},
    {"barcode_draw_stacked", barcode_draw_stacked},
};

[[noreturn]] void Broken(const char* function, const char* rule)
{
    std::fprintf(stderr, "fuzz_capi: %s broke a rule: %s\n", function, rule);
    std::abort();
}

// The rules for the result of one draw (see the top of the file).
void CheckDraw(const char* function, void* h, bool drawn, unsigned long errorsBefore, bool consume)
{
    if (!drawn && barcode_log::ErrorsOnThisThread() == errorsBefore) {
        Broken(function, "false without a reason on standard error");
    }
    if (h == nullptr) {
        return;
    }
    const bool svg = barcode_is_svg_output(h);
    int size = -1;
    const unsigned char* png = barcode_get_image_data(h, &size);
    if (drawn && !svg) {
        if (png == nullptr || size < 8 || std::memcmp(png, "\x89PNG\r\n\x1a\n", 8) != 0
            || std::memcmp(png + size - 8, "IEND", 4) != 0) {
            Broken(function, "true without a complete PNG");
        }
    } else if (png != nullptr || size != 0) {
        Broken(function, "an image without a drawn raster symbol");
    }
    const std::string document = barcode_get_svg(h);
    if (drawn && svg) {
        if (document.rfind("<?xml", 0) != 0 || document.size() < 7
            || document.compare(document.size() - 7, 7, "</svg>\n") != 0) {
            Broken(function, "true without a complete SVG document");
        }
        for (const char* word : {"\"inf", "\"-inf", "\"nan", "\"-nan"}) {
            if (document.find(word) != std::string::npos) {
                Broken(function, "SVG with a non-finite number");
            }
        }
    } else if (!document.empty()) {
        Broken(function, "a document without a drawn SVG symbol");
    }
    if (!svg && (consume || !drawn)) {
        const std::string uri = barcode_get_base64(h);
        if (drawn ? uri.rfind("data:image/", 0) != 0 : uri != kFallback) {
            Broken(function, drawn ? "true without a data URI" : "false with an image URI");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    setenv("BARCODE_LUMEO_QUIET", "1", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Reader in(data, size);
    void* slots[kSlots + 1] = {};
    int steps = 0;
    while (!in.AtEnd() && steps++ < 64) {
        const int op = in.Byte() % 43;
        const int slot = in.Byte() % (kSlots + 1);
        void*& h = slots[slot]; // slot kSlots stays null
        const unsigned long errorsBefore = barcode_log::ErrorsOnThisThread();
        switch (op) {
        case 0:
            if (slot < kSlots) {
                barcode_destroy(h);
                const int type = in.Byte();
                h = barcode_create(type < 240 ? type % 19 : in.Int());
            }
            break;
        case 1:
            barcode_destroy(h);
            h = nullptr;
            break;
        case 2: barcode_set_output_format(h, in.String()); break;
        case 3:
        case 4: {
            int rgba[4];
            for (int& v : rgba) {
                v = in.Int();
            }
            (op == 3 ? barcode_set_foreground_color : barcode_set_background_color)(h, rgba[0], rgba[1], rgba[2],
                                                                                    rgba[3]);
            break;
        }
        case 5: barcode_set_px_adjust_black(h, in.Int()); break;
        case 6: barcode_set_px_adjust_white(h, in.Int()); break;
        case 7: barcode_set_fit_width(h, in.Int()); break;
        case 8: barcode_set_show_text(h, in.Int()); break;
        case 9: barcode_set_text_font_scale(h, in.Double()); break;
        case 10: barcode_set_text_gap(h, in.Double()); break;
        case 11: barcode_set_text_even_spacing(h, in.Int()); break;
        case 12: barcode_set_show_start_stop(h, in.Int()); break;
        case 13: barcode_set_code_mode(h, in.String()); break;
        case 14: barcode_set_extended_guard(h, in.Int()); break;
        case 15: barcode_set_string_encoding(h, in.String()); break;
        case 16: barcode_set_error_correction_level(h, in.String()); break;
        case 17: barcode_set_version(h, in.Int()); break;
        case 18: barcode_set_encode_mode(h, in.String()); break;
        case 19: barcode_set_code_size(h, in.String()); break;
        case 20: barcode_set_encode_scheme(h, in.String()); break;
        case 21: barcode_set_error_level(h, in.Int()); break;
        case 22: barcode_set_columns(h, in.Int()); break;
        case 23: barcode_set_rows(h, in.Int()); break;
        case 24: barcode_set_aspect_ratio(h, in.Double()); break;
        case 25: barcode_set_y_height(h, in.Int()); break;
        case 26: barcode_set_symbol_type_14(h, in.String()); break;
        case 27: barcode_set_symbol_type_exp(h, in.String()); break;
        case 28: barcode_set_no_of_columns(h, in.Int()); break;
        case 29:
            if (barcode_get_symbol_type_14(h) == nullptr) {
                Broken("barcode_get_symbol_type_14", "null string");
            }
            break;
        case 30: (void)barcode_encode_14(h, in.String()); break;
        case 31:
            if (barcode_calculate_check_digit_14(in.String()) == nullptr) {
                Broken("barcode_calculate_check_digit_14", "null string");
            }
            break;
        case 32:
        case 33:
        case 34:
        case 35:
        case 36:
        case 37:
        case 38: {
            const DrawFunction& draw = kDraws[op - 32];
            const char* text = in.String();
            const int w = in.Int();
            const int ht = in.Int();
            CheckDraw(draw.name, h, draw.call(h, text, w, ht), errorsBefore, in.Byte() & 1);
            break;
        }
        case 39:
            if (barcode_get_base64(h) == nullptr) {
                Broken("barcode_get_base64", "null string");
            }
            break;
        case 40:
            if (barcode_get_svg(h) == nullptr) {
                Broken("barcode_get_svg", "null string");
            }
            break;
        case 41: {
            int n = -1;
            const unsigned char* bytes = barcode_get_image_data(h, (in.Byte() & 1) ? &n : nullptr);
            if (bytes != nullptr && n <= 0) {
                Broken("barcode_get_image_data", "bytes without a size");
            }
            break;
        }
        default: (void)barcode_is_svg_output(h); break;
        }
    }
    for (void*& h : slots) {
        barcode_destroy(h);
    }
    return 0;
}
