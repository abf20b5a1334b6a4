// SPDX-License-Identifier: MIT
// libFuzzer harness over the whole C interface: the input is a program of calls to the 43
// functions on three handle slots (and the null handle), with arbitrary numbers and strings:
// the extremes as well as the ordinary values (huge and tiny doubles, NaN, infinities, -0.0;
// pixel adjustments of hundreds of thousands either way; canvas sides up to the limit of 16,384
// and 40,000,000 pixels; every output format, "png8" among them). tests/fuzz/dict/fuzz_capi.dict
// holds whole calls with those values for libFuzzer to splice in. Every draw is checked: true
// gives a complete PNG or SVG (no "inf" or "nan" in it), false gives a reason on standard error
// and leaves no image, no document and the fallback URI. A broken rule aborts, which libFuzzer
// reports with the input that caused it.
//
// LLVMFuzzerCustomMutator (below) brings such calls together: half of the time it inserts calls
// from a table of hostile ones (extreme setters, "png8" and the other formats, draws of the
// handle's kind on tall canvases) at call boundaries, replaces, copies or removes whole calls;
// otherwise libFuzzer mutates the bytes. LLVMFuzzerCustomCrossOver joins programs at call
// boundaries.
//
// Input format (tests/fuzz/make_corpus.py writes seeds in it): a sequence of operations, each
// an op byte (modulo 43, the functions in the order of the public header) followed by a slot
// byte (modulo 4; slot 3 is the null handle) and the operation's arguments, read by the
// Reader below into a Call. Reading past the end yields zeros.
#include "barcode_lumeo.h"
#include "core/Log.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kSlots = 3;
constexpr int kMaxCalls = 64; // a program runs its first 64 calls
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

const double kSpecialDoubles[] = {std::numeric_limits<double>::quiet_NaN(),
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

class Reader
{
public:
    Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool AtEnd() const { return m_pos >= m_size; }

    std::size_t Position() const { return m_pos; }

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
        switch (Byte() % 8) {
        case 0: return kSpecialDoubles[Byte() % std::size(kSpecialDoubles)];
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
        default: return kSpecialDoubles[Byte() % std::size(kSpecialDoubles)];
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

// One call of a program, read whole before it runs, so that the mutator below finds the calls
// exactly where the harness reads them.
struct Call
{
    int op = 0;   // 0 to 42, the functions in the order of the header
    int slot = 0; // 0 to kSlots; kSlots is the null handle
    int type = 0; // barcode_create
    int ints[4] = {};
    double real = 0;
    bool hasText = false;
    std::string text;
    std::uint8_t flag = 0; // the draws: fetch the data URI too; barcode_get_image_data: ask the size

    const char* Text() const { return hasText ? text.c_str() : nullptr; }
};

void ReadText(Reader& in, Call& call)
{
    const char* text = in.String();
    call.hasText = text != nullptr;
    call.text = text != nullptr ? text : "";
}

Call ReadCall(Reader& in)
{
    Call call;
    call.op = in.Byte() % 43;
    call.slot = in.Byte() % (kSlots + 1);
    switch (call.op) {
    case 0:
        if (call.slot < kSlots) {
            const int type = in.Byte();
            call.type = type < 240 ? type % 19 : in.Int();
        }
        break;
    case 1:
    case 29:
    case 39:
    case 40:
    case 42: break;
    case 2:
    case 13:
    case 15:
    case 16:
    case 18:
    case 19:
    case 20:
    case 26:
    case 27:
    case 30:
    case 31: ReadText(in, call); break;
    case 3:
    case 4:
        for (int& v : call.ints) {
            v = in.Int();
        }
        break;
    case 9:
    case 10:
    case 24: call.real = in.Double(); break;
    case 32:
    case 33:
    case 34:
    case 35:
    case 36:
    case 37:
    case 38:
        ReadText(in, call);
        call.ints[0] = in.Int();
        call.ints[1] = in.Int();
        call.flag = in.Byte();
        break;
    case 41: call.flag = in.Byte(); break;
    default: call.ints[0] = in.Int(); break; // the setters of one whole number
    }
    return call;
}

void Run(const Call& call, void* (&slots)[kSlots + 1])
{
    void*& h = slots[call.slot]; // slot kSlots stays null
    const int v = call.ints[0];
    const unsigned long errorsBefore = barcode_log::ErrorsOnThisThread();
    switch (call.op) {
    case 0:
        if (call.slot < kSlots) {
            barcode_destroy(h);
            h = barcode_create(call.type);
        }
        break;
    case 1:
        barcode_destroy(h);
        h = nullptr;
        break;
    case 2: barcode_set_output_format(h, call.Text()); break;
    case 3:
    case 4:
        (call.op == 3 ? barcode_set_foreground_color : barcode_set_background_color)(h, call.ints[0], call.ints[1],
                                                                                     call.ints[2], call.ints[3]);
        break;
    case 5: barcode_set_px_adjust_black(h, v); break;
    case 6: barcode_set_px_adjust_white(h, v); break;
    case 7: barcode_set_fit_width(h, v); break;
    case 8: barcode_set_show_text(h, v); break;
    case 9: barcode_set_text_font_scale(h, call.real); break;
    case 10: barcode_set_text_gap(h, call.real); break;
    case 11: barcode_set_text_even_spacing(h, v); break;
    case 12: barcode_set_show_start_stop(h, v); break;
    case 13: barcode_set_code_mode(h, call.Text()); break;
    case 14: barcode_set_extended_guard(h, v); break;
    case 15: barcode_set_string_encoding(h, call.Text()); break;
    case 16: barcode_set_error_correction_level(h, call.Text()); break;
    case 17: barcode_set_version(h, v); break;
    case 18: barcode_set_encode_mode(h, call.Text()); break;
    case 19: barcode_set_code_size(h, call.Text()); break;
    case 20: barcode_set_encode_scheme(h, call.Text()); break;
    case 21: barcode_set_error_level(h, v); break;
    case 22: barcode_set_columns(h, v); break;
    case 23: barcode_set_rows(h, v); break;
    case 24: barcode_set_aspect_ratio(h, call.real); break;
    case 25: barcode_set_y_height(h, v); break;
    case 26: barcode_set_symbol_type_14(h, call.Text()); break;
    case 27: barcode_set_symbol_type_exp(h, call.Text()); break;
    case 28: barcode_set_no_of_columns(h, v); break;
    case 29:
        if (barcode_get_symbol_type_14(h) == nullptr) {
            Broken("barcode_get_symbol_type_14", "null string");
        }
        break;
    case 30: (void)barcode_encode_14(h, call.Text()); break;
    case 31:
        if (barcode_calculate_check_digit_14(call.Text()) == nullptr) {
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
        const DrawFunction& draw = kDraws[call.op - 32];
        const bool drawn = draw.call(h, call.Text(), call.ints[0], call.ints[1]);
        CheckDraw(draw.name, h, drawn, errorsBefore, call.flag & 1);
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
        const unsigned char* bytes = barcode_get_image_data(h, (call.flag & 1) ? &n : nullptr);
        if (bytes != nullptr && n <= 0) {
            Broken("barcode_get_image_data", "bytes without a size");
        }
        break;
    }
    default: (void)barcode_is_svg_output(h); break;
    }
}

// Mutation at the level of calls. Byte mutations rarely bring several unusual calls together in
// one program (an extreme setter, an output format and a draw on a tall canvas, on the same
// handle), so part of the time LLVMFuzzerCustomMutator inserts calls from the table of hostile
// calls below at call boundaries, replaces a call by one, copies or removes a call; the rest of
// the time it leaves the input to libFuzzer's own mutations. LLVMFuzzerCustomCrossOver joins
// the first calls of one program to the last calls of another.

using Bytes = std::vector<std::uint8_t>;

// Where each call of a program starts, and where the program ends (at most kMaxCalls calls are
// counted; what follows them is never read).
std::vector<std::size_t> CallStarts(const std::uint8_t* data, std::size_t size, std::vector<Call>* calls = nullptr)
{
    std::vector<std::size_t> starts{0};
    Reader in(data, size);
    while (!in.AtEnd() && starts.size() <= kMaxCalls) {
        Call call = ReadCall(in);
        if (calls != nullptr) {
            calls->push_back(std::move(call));
        }
        starts.push_back(std::min(in.Position(), size));
    }
    if (starts.back() < size) { // bytes past the last call that runs
        starts.push_back(size);
    }
    return starts;
}

class HostileCalls
{
public:
    explicit HostileCalls(unsigned seed) : m_rng(seed) {}

    unsigned Below(unsigned n) { return static_cast<unsigned>(m_rng() % n); }

    bool OneIn(unsigned n) { return Below(n) == 0; }

    // One hostile call on `slot`, whose handle has the type `type` (-1: not known), or a few
    // that belong together.
    Bytes Make(std::uint8_t slot, int type)
    {
        static const std::uint8_t kIntSetters[] = {5, 5, 5, 6, 6, 7, 8, 11, 12, 14, 17, 21, 22, 23, 25, 25, 28};
        static const std::uint8_t kDoubleSetters[] = {9, 9, 10, 10, 24};
        static const std::uint8_t kWordSetters[] = {13, 15, 16, 18, 19, 20, 26, 27};
        switch (Below(18)) {
        case 0:
        case 1:
        case 2: { // a setter of one whole number, at an extreme
            Bytes call{kIntSetters[Below(std::size(kIntSetters))], slot};
            Append(call, ExtremeInt());
            return call;
        }
        case 3:
        case 4: // a setter of a real number, at an extreme
            return {kDoubleSetters[Below(std::size(kDoubleSetters))], slot, 0, Byte(std::size(kSpecialDoubles))};
        case 5:
        case 6: // an output format: "png8" most often, then the others and near misses
            return {2, slot, static_cast<std::uint8_t>(96 + (OneIn(2) ? 40 : Below(std::size(kWords))))};
        case 7: // an option word
            return {kWordSetters[Below(std::size(kWordSetters))], slot, Byte(96, std::size(kWords))};
        case 8: // colours out of range
        {
            Bytes call{static_cast<std::uint8_t>(3 + Below(2)), slot};
            for (int i = 0; i < 4; ++i) {
                Append(call, ExtremeInt());
            }
            return call;
        }
        case 9: // a fresh handle of any type
            return {0, slot, Byte(0, 19)};
        case 10:
        case 11: { // "png8" and a draw on a tall canvas (after a fresh handle where none is known)
            Bytes calls;
            if (type < 0 || type >= 19) {
                type = Below(19);
                calls = {0, slot, static_cast<std::uint8_t>(type)};
            }
            Append(calls, {2, slot, 96 + 40});
            Append(calls, Draw(slot, type));
            return calls;
        }
        default: return Draw(slot, type);
        }
    }

private:
    std::uint8_t Byte(unsigned n) { return static_cast<std::uint8_t>(Below(n)); }

    std::uint8_t Byte(unsigned from, std::size_t n) { return static_cast<std::uint8_t>(from + Below(unsigned(n))); }

    static void Append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

    Bytes ExtremeInt()
    {
        switch (Below(4)) {
        case 0: return {static_cast<std::uint8_t>(5 + Below(2)), Byte(256), Byte(256)}; // ±16 x 0..65535
        case 1: return {0, Byte(256)};
        default: return {3, Byte(std::size(kSpecialInts))};
        }
    }

    // A canvas side from 2^lowest to 2^(highest + 1), or a special one.
    Bytes Side(unsigned lowest, unsigned highest)
    {
        if (OneIn(4)) {
            return {3, Byte(std::size(kSpecialInts))};
        }
        return {4, Byte(lowest, highest - lowest + 1), Byte(256), Byte(256)};
    }

    // A draw the handle's type takes (or, a quarter of the time, any draw), with a text of its
    // family, on a canvas that is most often tall: 64 to 4,095 pixels wide, 1,024 to 32,767 high.
    Bytes Draw(std::uint8_t slot, int type)
    {
        struct Family
        {
            std::uint8_t draws[2]; // ops
            std::uint8_t texts[2]; // indexes into kTexts
        };
        static const Family kFamilies[19] = {
            {{32, 32}, {0, 0}},   {{32, 32}, {1, 1}},   {{32, 32}, {2, 2}},   {{32, 37}, {3, 4}},
            {{32, 32}, {5, 5}},   {{32, 32}, {6, 6}},   {{32, 32}, {6, 6}},   {{32, 32}, {7, 7}},
            {{32, 32}, {8, 8}},   {{32, 32}, {9, 9}},   {{32, 32}, {10, 10}}, {{32, 32}, {11, 6}},
            {{32, 32}, {12, 12}}, {{32, 32}, {12, 12}}, {{32, 38}, {13, 13}}, {{35, 36}, {14, 14}},
            {{33, 34}, {15, 16}}, {{33, 34}, {15, 0}},  {{33, 34}, {17, 15}},
        };
        std::uint8_t op = Byte(32, 7);
        std::uint8_t text = Byte(std::size(kTexts));
        if (type >= 0 && type < 19 && !OneIn(4)) {
            const Family& family = kFamilies[type];
            const unsigned pick = Below(2);
            op = family.draws[pick];
            text = family.texts[pick];
            if (op == 37) { // the convenience form takes its own text
                text = 4;
            }
        }
        Bytes call{op, slot, static_cast<std::uint8_t>(176 + text)};
        if (OneIn(4)) { // any shape
            Append(call, Side(0, 14));
            Append(call, Side(0, 14));
        } else {
            Append(call, Side(6, 11));
            Append(call, Side(10, 14));
        }
        call.push_back(Byte(2));
        return call;
    }

    std::minstd_rand m_rng;
};

// The type of the handle in `slot` after the first `count` calls (-1: none made there yet, or
// one of an unknown type).
int TypeIn(const std::vector<Call>& calls, std::size_t count, int slot)
{
    int type = -1;
    for (std::size_t i = 0; i < count && i < calls.size(); ++i) {
        if (calls[i].slot == slot && calls[i].op <= 1) {
            type = calls[i].op == 0 ? calls[i].type : -1;
        }
    }
    return type;
}

std::size_t Store(const Bytes& program, std::uint8_t* data, std::size_t maxSize)
{
    if (program.empty() || program.size() > maxSize) {
        return 0;
    }
    std::memcpy(data, program.data(), program.size());
    return program.size();
}

} // namespace

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed)
{
    HostileCalls hostile(seed);
    if (size == 0 || hostile.OneIn(2)) {
        return LLVMFuzzerMutate(data, size, maxSize);
    }
    std::vector<Call> calls;
    const std::vector<std::size_t> starts = CallStarts(data, size, &calls);
    const std::size_t count = starts.size() - 1; // pieces: the calls, and what follows them
    const std::size_t i = hostile.Below(static_cast<unsigned>(count));
    // The new call goes to the handle of a call already there, so that they meet.
    const std::uint8_t slot = static_cast<std::uint8_t>(i < calls.size() ? calls[i].slot : 0);
    const auto at = [&](std::size_t k) { return static_cast<std::ptrdiff_t>(starts[k]); };
    Bytes program(data, data + size);
    switch (hostile.Below(8)) {
    case 0:
    case 1:
    case 2: { // one to three hostile calls before piece i
        Bytes added;
        for (unsigned n = 1 + hostile.Below(3); n > 0; --n) {
            const Bytes call = hostile.Make(slot, TypeIn(calls, i, slot));
            added.insert(added.end(), call.begin(), call.end());
        }
        program.insert(program.begin() + at(i), added.begin(), added.end());
        break;
    }
    case 3: { // a hostile call at the end
        const Bytes call = hostile.Make(slot, TypeIn(calls, calls.size(), slot));
        program.insert(program.begin() + at(calls.size()), call.begin(), call.end());
        break;
    }
    case 4:
    case 5: { // piece i replaced by a hostile call on its handle
        const Bytes call = hostile.Make(slot, TypeIn(calls, i, slot));
        program.erase(program.begin() + at(i), program.begin() + at(i + 1));
        program.insert(program.begin() + at(i), call.begin(), call.end());
        break;
    }
    case 6: { // piece i copied before another
        const std::size_t j = hostile.Below(static_cast<unsigned>(count + 1));
        const Bytes call(data + starts[i], data + starts[i + 1]);
        program.insert(program.begin() + at(j), call.begin(), call.end());
        break;
    }
    default: // piece i removed
        program.erase(program.begin() + at(i), program.begin() + at(i + 1));
        break;
    }
    const std::size_t written = Store(program, data, maxSize);
    return written != 0 ? written : LLVMFuzzerMutate(data, size, maxSize);
}

extern "C" std::size_t LLVMFuzzerCustomCrossOver(const std::uint8_t* data1, std::size_t size1,
                                                 const std::uint8_t* data2, std::size_t size2, std::uint8_t* out,
                                                 std::size_t maxOutSize, unsigned int seed)
{
    // The first calls of one program, then the last calls of the other.
    HostileCalls pick(seed);
    const std::vector<std::size_t> first = CallStarts(data1, size1);
    const std::vector<std::size_t> second = CallStarts(data2, size2);
    const std::size_t head = first[pick.Below(static_cast<unsigned>(first.size()))];
    const std::size_t tail = second[pick.Below(static_cast<unsigned>(second.size()))];
    Bytes program(data1, data1 + head);
    program.insert(program.end(), data2 + tail, data2 + size2);
    return Store(program, out, maxOutSize);
}

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    setenv("BARCODE_LUMEO_QUIET", "1", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Reader in(data, size);
    void* slots[kSlots + 1] = {};
    for (int steps = 0; !in.AtEnd() && steps < kMaxCalls; ++steps) {
        Run(ReadCall(in), slots);
    }
    for (void*& h : slots) {
        barcode_destroy(h);
    }
    return 0;
}
