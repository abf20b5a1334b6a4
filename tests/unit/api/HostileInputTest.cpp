// SPDX-License-Identifier: MIT
// Hostile input through the C interface, every drawing function on every type: each call either
// does what the symbology says or fails cleanly, with a reason on standard error and no output
// left behind, inside a memory ceiling that the test sets in a child process.
#include "barcode_lumeo.h"
#include "barcode_lumeo_ext.h"
#include "core/Limits.h"
#include "core/Log.h"
#include "support/CappedChild.h"
#include "support/TestSupport.h"

#include <climits>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace {

using testsupport::RunCapped;

constexpr std::size_t kCeiling = std::size_t{1} << 30; // 1 GiB per row
constexpr int kTypes = 19;

enum class Fn
{
    OneD,
    TwoD,
    TwoDRect,
    Yubin,
    YubinWidth,
    Convenience,
    Stacked
};
constexpr Fn kFns[] = {Fn::OneD, Fn::TwoD, Fn::TwoDRect, Fn::Yubin, Fn::YubinWidth, Fn::Convenience, Fn::Stacked};
const char* const kFnNames[] = {
    "draw_1d", "draw_2d", "draw_2d_rect", "draw_yubin", "draw_yubin_with_width", "draw_convenience", "draw_stacked"};

bool Call(Fn fn, void* h, const char* text, int w, int ht)
{
    switch (fn) {
    case Fn::OneD: return barcode_draw_1d(h, text, w, ht);
    case Fn::TwoD: return barcode_draw_2d(h, text, w);
    case Fn::TwoDRect: return barcode_draw_2d_rect(h, text, w, ht);
    case Fn::Yubin: return barcode_draw_yubin(h, text, ht);
    case Fn::YubinWidth: return barcode_draw_yubin_with_width(h, text, w, ht);
    case Fn::Convenience: return barcode_draw_convenience(h, text, w, ht);
    case Fn::Stacked: return barcode_draw_stacked(h, text, w, ht);
    }
    return false;
}

// A text each type draws, and the drawing function made for the type.
const char* const kValid[kTypes] = {
    "ABC-123", "CODE93",     "Code 128",      "{FNC1}0104912345678904", "A123B",
    "1234",    "1234",       "4901234",       "490123456789",           "03600029145",
    "425261",  "123456",     "0123456789012", "0123456789012",          "0195012345678903",
    "1000001", "QR hostile", "DM hostile",    "PDF417 hostile",
};
const char kPayment[] = "9191234500012345678901234567810261231000150";

Fn NaturalFn(int type)
{
    if (type >= 16) {
        return Fn::TwoD;
    }
    return type == 15 ? Fn::Yubin : Fn::OneD;
}

// The type numbers whose handles exist in this build.
std::vector<int> BuiltTypes()
{
    std::vector<int> types;
    for (int t = 0; t < kTypes; ++t) {
        if (void* h = barcode_create(t)) {
            types.push_back(t);
            barcode_destroy(h);
        }
    }
    return types;
}

std::string Describe(int type, Fn fn, bool svg, int w, int h, const std::string& what)
{
    return "type " + std::to_string(type) + " " + kFnNames[static_cast<int>(fn)] + (svg ? " svg " : " png ")
           + std::to_string(w) + "x" + std::to_string(h) + " " + what;
}

// The rules for the result of one draw: true gives a complete PNG (or SVG without "inf" and
// "nan"), false gives a reason on standard error and leaves no image, no document, and the
// fallback URI.
std::string CheckResult(void* h, bool drawn, unsigned long errorsBefore, const std::string& what)
{
    std::string out;
    // Read before any other call, which would clear them.
    const std::string reason = lumeo_last_error();
    const std::string code = lumeo_last_error_code();
    if (drawn ? !reason.empty() || !code.empty() : reason.empty() || code.empty()) {
        out += what + ": lumeo_last_error \"" + reason + "\" code \"" + code + "\" after " + (drawn ? "true" : "false")
               + "\n";
    }
    const bool svg = barcode_is_svg_output(h);
    if (!drawn && barcode_log::ErrorsOnThisThread() == errorsBefore) {
        out += what + ": false without a reason\n";
    }
    int size = -1;
    const unsigned char* png = barcode_get_image_data(h, &size);
    if (!drawn || svg) {
        if (png != nullptr || size != 0) {
            out += what + ": an image is left\n";
        }
    } else {
        const std::string bytes = png != nullptr ? std::string(reinterpret_cast<const char*>(png), size) : "";
        if (bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || bytes.find("IEND") != bytes.size() - 8) {
            out += what + ": incomplete PNG\n";
        }
    }
    const std::string document = barcode_get_svg(h);
    if (svg && drawn) {
        // Parsing a document of tens of megabytes would take the test past its ceiling.
        const bool parsed = document.size() > (4u << 20) || testsupport::IsWellFormedXml(document);
        if (!parsed || document.compare(0, 5, "<?xml") != 0 || document.size() < 7
            || document.compare(document.size() - 7, 7, "</svg>\n") != 0) {
            out += what + ": incomplete SVG\n";
        }
        bool nonFinite = false;
        for (const char* word : {"\"inf", "\"-inf", "\"nan", "\"-nan"}) {
            nonFinite = nonFinite || document.find(word) != std::string::npos;
        }
        if (nonFinite) {
            out += what + ": SVG holds a non-finite number\n";
        }
    } else if (!document.empty()) {
        out += what + ": a document is left\n";
    }
    if (!svg && !drawn
        && std::string(barcode_get_base64(h))
               != "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVQI12P4//8/"
                  "AAX+Av7czFnnAAAAAElFTkSuQmCC") {
        out += what + ": base64 is not the fallback URI\n";
    }
    return out;
}

// Draws on a fresh handle (configured by `setup`) and checks the result.
std::string DrawAndCheck(int type, Fn fn, bool svg, const char* text, int w, int h, const std::string& what,
                         const std::function<void(void*)>& setup = nullptr)
{
    testsupport::Handle handle(type);
    barcode_set_output_format(handle.h, svg ? "svg" : "png");
    if (setup) {
        setup(handle.h);
    }
    const unsigned long before = barcode_log::ErrorsOnThisThread();
    const bool drawn = Call(fn, handle.h, text, w, h);
    return CheckResult(handle.h, drawn, before, Describe(type, fn, svg, w, h, what));
}

// A text of exactly `length` bytes made of the type's valid text, repeated where that keeps it
// valid (digits and letters), else padded.
std::string TextOfLength(int type, std::size_t length)
{
    std::string unit = kValid[type];
    if (type == 3) {
        unit = "{FNC1}01049123456789041";
    }
    std::string text;
    while (text.size() < length) {
        text += unit;
    }
    text.resize(length);
    return text;
}

void ExpectClean(const std::string& complaints)
{
    EXPECT_EQ(complaints, "");
}

TEST(HostileInput, EveryByteValueAsText)
{
    for (int type : BuiltTypes()) {
        ExpectClean(RunCapped(kCeiling, [type] {
            std::string out;
            for (int b = 0; b < 256; ++b) {
                const std::string text(b == 0 ? 0 : 1, static_cast<char>(b));
                const std::string what = "byte " + std::to_string(b);
                out += DrawAndCheck(type, NaturalFn(type), true, text.c_str(), 300, 100, what);
                if (b % 15 == 0) {
                    out += DrawAndCheck(type, NaturalFn(type), false, text.c_str(), 300, 100, what);
                }
            }
            return out;
        }));
    }
}

TEST(HostileInput, TextsOnEveryDrawingFunction)
{
    const std::string invalidUtf8[] = {"\xC3\x28", "\xE2\x82", "\xF0\x28\x8C\x28", "\xED\xA0\x80", "\xFF\xFE", "\x81"};
    for (int type : BuiltTypes()) {
        ExpectClean(RunCapped(kCeiling, [&, type] {
            std::string out;
            for (Fn fn : kFns) {
                for (bool svg : {false, true}) {
                    out += DrawAndCheck(type, fn, svg, nullptr, 400, 150, "null text");
                    out += DrawAndCheck(type, fn, svg, "", 400, 150, "empty text");
                    out += DrawAndCheck(type, fn, svg, "7", 400, 150, "one byte");
                    out += DrawAndCheck(type, fn, svg, kValid[type], 400, 150, "valid text");
                    out += DrawAndCheck(type, fn, svg, kPayment, 400, 150, "payment digits");
                    for (const std::string& text : invalidUtf8) {
                        out += DrawAndCheck(type, fn, svg, (kValid[type] + text).c_str(), 400, 150, "bad UTF-8");
                    }
                }
            }
            return out;
        }));
    }
}

TEST(HostileInput, TextsAroundTheLengthLimit)
{
    for (int type : BuiltTypes()) {
        const bool compact = type >= 12 && type != 15;
        const std::size_t limit = compact ? limits::kMaxCompactTextBytes : limits::kMaxLinearTextBytes;
        const std::string tag = "[barcode_draw_1d] Text longer than the limit of " + std::to_string(limit) + " bytes";
        ExpectClean(RunCapped(kCeiling, [&] {
            std::string out;
            for (bool svg : {false, true}) {
                const std::string atLimit = TextOfLength(type, limit);
                out += DrawAndCheck(type, Fn::OneD, svg, atLimit.c_str(), 1200, 100, "text at the limit");
                const std::string past = TextOfLength(type, limit + 1);
                testsupport::CapturedOutput captured;
                out += DrawAndCheck(type, Fn::OneD, svg, past.c_str(), 1200, 100, "text past the limit");
                captured.Finish();
                if (captured.Err() != tag + "\n") {
                    out += "type " + std::to_string(type) + " past the limit printed: " + captured.Err() + "\n";
                }
            }
            return out;
        }));
    }
}

TEST(HostileInput, BoxesOnEveryDrawingFunction)
{
    struct Box
    {
        int w, h;
    };

    const Box boxes[] = {{0, 0},       {-1, -1},     {1, 1},       {-1, 100},          {100, 0},
                         {16385, 100}, {100, 16385}, {8000, 8000}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}};
    for (int type : BuiltTypes()) {
        ExpectClean(RunCapped(kCeiling, [&, type] {
            std::string out;
            for (Fn fn : kFns) {
                for (bool svg : {false, true}) {
                    const char* text = fn == Fn::Convenience ? kPayment : kValid[type];
                    for (const Box& b : boxes) {
                        out += DrawAndCheck(type, fn, svg, text, b.w, b.h, "odd box");
                    }
                    // At the limits: SVG for every type, raster for one type of each kind.
                    if (svg || type == 2 || type == 16) {
                        out += DrawAndCheck(type, fn, svg, text, limits::kMaxCanvasSide, 2441, "largest box");
                    }
                }
            }
            return out;
        }));
    }
}

TEST(HostileInput, NumericSettersWithAbsurdValues)
{
    using Setter = std::function<void(void*, double)>;
    const Setter setters[] = {
        [](void* h, double v) { barcode_set_text_font_scale(h, v); },
        [](void* h, double v) { barcode_set_text_gap(h, v); },
        [](void* h, double v) { barcode_set_aspect_ratio(h, v); },
        [](void* h, double v) {
            barcode_set_px_adjust_black(h, static_cast<int>(std::fmax(std::fmin(v, INT_MAX), INT_MIN)));
        },
        [](void* h, double v) {
            barcode_set_px_adjust_white(h, static_cast<int>(std::fmax(std::fmin(v, INT_MAX), INT_MIN)));
        },
    };
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {std::nan(""), inf, -inf, 1e300, -1e300, 1e9, -1e9, -1, 0, INT_MAX, INT_MIN};
    for (int type : BuiltTypes()) {
        ExpectClean(RunCapped(kCeiling, [&, type] {
            std::string out;
            for (const Setter& set : setters) {
                for (double v : values) {
                    if (std::isnan(v) && &set >= &setters[3]) {
                        continue; // the int setters take no NaN
                    }
                    for (bool svg : {false, true}) {
                        const auto setup = [&](void* h) { set(h, v); };
                        const std::string what = "setter value " + std::to_string(v);
                        out += DrawAndCheck(type, NaturalFn(type), svg, kValid[type], 400, 150, what, setup);
                        if (type == 3) {
                            out += DrawAndCheck(type, Fn::Convenience, svg, kPayment, 600, 160, what, setup);
                        }
                    }
                }
            }
            return out;
        }));
    }
}

TEST(HostileInput, IntegerAndStringSettersWithAbsurdValues)
{
    const std::string longName(100000, 'Q');
    const char* const strings[] = {nullptr, "", "UNKNOWN", "\xFF", longName.c_str(), "AUTO"};
    const int ints[] = {INT_MIN, -1, 0, 1, 41, 91, INT_MAX};
    for (int type : BuiltTypes()) {
        ExpectClean(RunCapped(kCeiling, [&, type] {
            std::string out;
            for (bool svg : {false, true}) {
                for (const char* s : strings) {
                    const auto setup = [s](void* h) {
                        barcode_set_code_mode(h, s);
                        barcode_set_string_encoding(h, s);
                        barcode_set_error_correction_level(h, s);
                        barcode_set_encode_mode(h, s);
                        barcode_set_code_size(h, s);
                        barcode_set_encode_scheme(h, s);
                        barcode_set_symbol_type_14(h, s);
                        barcode_set_symbol_type_exp(h, s);
                    };
                    out += DrawAndCheck(type, NaturalFn(type), svg, kValid[type], 400, 150, "string setters", setup);
                    const auto format = [s](void* h) { barcode_set_output_format(h, s); };
                    out += DrawAndCheck(type, NaturalFn(type), svg, kValid[type], 400, 150, "format", format);
                }
                for (int v : ints) {
                    const auto setup = [v](void* h) {
                        barcode_set_version(h, v);
                        barcode_set_error_level(h, v);
                        barcode_set_columns(h, v);
                        barcode_set_rows(h, v);
                        barcode_set_y_height(h, v);
                        barcode_set_no_of_columns(h, v);
                        barcode_set_show_text(h, v);
                        barcode_set_fit_width(h, v);
                        barcode_set_foreground_color(h, v, v, v, v);
                    };
                    out += DrawAndCheck(type, NaturalFn(type), svg, kValid[type], 400, 150,
                                        "int setters " + std::to_string(v), setup);
                }
            }
            return out;
        }));
    }
}

} // namespace
