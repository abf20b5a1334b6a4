// SPDX-License-Identifier: MIT
#include "Command.h"

#include "barcode_lumeo.h"
#include "barcode_lumeo_ext.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <sstream>

#ifndef LUMEO_TOOL_VERSION
#define LUMEO_TOOL_VERSION "0"
#endif

namespace lumeo {
namespace {

constexpr int kTypeCount = 19;

// Largest box side and box area the library draws (its canvas limits).
constexpr long long kMaxSide = 16384;
constexpr long long kMaxPixels = 40000000;
// The Japan Post barcode drawn by its height is this many times as wide.
constexpr double kYubinWidthPerHeight = 22.5;

struct TypeInfo
{
    const char* name; // on the command line; the type number works too
    int type;
    const char* title;
    QuietZoneModules quiet; // from the symbology's standard; linear codes get 2 modules above and below
};

// Japan Post asks for 2 mm around bars 0.6 mm wide: 10/3 modules.
constexpr double kYubinQuiet = 10.0 / 3.0;

const TypeInfo kTypes[] = {
    {"code39", 0, "Code 39", {10, 10, 2}},
    {"code93", 1, "Code 93", {10, 10, 2}},
    {"code128", 2, "Code 128", {10, 10, 2}},
    {"gs1-128", 3, "GS1-128", {10, 10, 2}},
    {"nw7", 4, "NW-7 (Codabar)", {10, 10, 2}},
    {"matrix2of5", 5, "Matrix 2 of 5", {10, 10, 2}},
    {"nec2of5", 6, "NEC 2 of 5", {10, 10, 2}},
    {"jan8", 7, "JAN-8 (EAN-8)", {7, 7, 2}},
    {"jan13", 8, "JAN-13 (EAN-13)", {11, 7, 2}},
    {"upca", 9, "UPC-A", {9, 9, 2}},
    {"upce", 10, "UPC-E", {9, 7, 2}},
    {"itf", 11, "ITF (Interleaved 2 of 5)", {10, 10, 2}},
    {"databar14", 12, "GS1 DataBar Omnidirectional", {1, 1, 1}},
    {"databar-limited", 13, "GS1 DataBar Limited", {1, 5, 1}},
    {"databar-expanded", 14, "GS1 DataBar Expanded", {1, 1, 1}},
    {"yubin", 15, "Japan Post customer barcode", {kYubinQuiet, kYubinQuiet, kYubinQuiet}},
    {"qr", 16, "QR Code", {4, 4, 4}},
    {"datamatrix", 17, "Data Matrix", {1, 1, 1}},
    {"pdf417", 18, "PDF417", {2, 2, 2}},
};
static_assert(sizeof(kTypes) / sizeof(kTypes[0]) == kTypeCount, "one row per type number");

const TypeInfo& Info(int type)
{
    return kTypes[type];
}

// A set of type numbers, one bit each.
using TypeSet = unsigned long;

constexpr TypeSet kAllTypes = (1ul << kTypeCount) - 1;
constexpr TypeSet kLinearTypes = (1ul << 16) - 1;

TypeSet Types(std::initializer_list<int> types)
{
    TypeSet set = 0;
    for (int t : types) {
        set |= 1ul << t;
    }
    return set;
}

bool Accepts(TypeSet set, int type)
{
    return ((set >> type) & 1u) != 0;
}

enum class Kind
{
    Int,    // a whole number in [min, max]
    Number, // a finite number in [min, max]
    Switch, // 0 or 1
    Color,  // R,G,B[,A], each 0 to 255
    Choice  // one of the choices
};

// Options that take a value, each one a C interface setter.
struct ValueOption
{
    const char* name;
    const char* value; // what the value looks like
    const char* help;
    TypeSet types;
    Kind kind;
    double min;
    double max;
    std::vector<std::string> choices; // the exact strings accepted (Choice)
    std::function<void(void*, const std::string&)> apply;
    const char* alias = nullptr; // an older spelling, accepted after the TYPE
};

struct DrawKind
{
    const char* name;
    const char* help;
    TypeSet types;
};

// A whole number, or std::invalid_argument / std::out_of_range.
long long ToLong(const std::string& s)
{
    size_t used = 0;
    const long long v = std::stoll(s, &used);
    if (used != s.size() || s.empty() || std::isspace(static_cast<unsigned char>(s[0]))) {
        throw std::invalid_argument(s);
    }
    return v;
}

int ToInt(const std::string& s)
{
    const long long v = ToLong(s);
    if (v < INT32_MIN || v > INT32_MAX) {
        throw std::out_of_range(s);
    }
    return static_cast<int>(v);
}

double ToDouble(const std::string& s)
{
    size_t used = 0;
    const double v = std::stod(s, &used);
    if (used != s.size() || !std::isfinite(v) || std::isspace(static_cast<unsigned char>(s[0]))) {
        throw std::invalid_argument(s);
    }
    return v;
}

Color ToColor(const std::string& s)
{
    std::vector<int> c;
    std::stringstream in(s);
    std::string part;
    while (std::getline(in, part, ',')) {
        const int v = ToInt(part);
        if (v < 0 || v > 255) {
            throw std::out_of_range(s);
        }
        c.push_back(v);
    }
    if (c.size() == 3) {
        c.push_back(255);
    }
    if (c.size() != 4 || s.back() == ',') {
        throw std::invalid_argument(s);
    }
    return Color{c[0], c[1], c[2], c[3]};
}

ValueOption Switch(const char* name, const char* help, TypeSet types, void (*set)(void*, int))
{
    return {name, "0|1", help, types, Kind::Switch, 0, 1, {}, [set](void* h, const std::string& v) { set(h, ToInt(v)); }};
}

ValueOption Whole(const char* name, const char* value, const char* help, TypeSet types, double min, double max,
                  void (*set)(void*, int))
{
    return {name, value, help, types, Kind::Int, min, max, {}, [set](void* h, const std::string& v) { set(h, ToInt(v)); }};
}

ValueOption Real(const char* name, const char* help, TypeSet types, double min, double max, void (*set)(void*, double))
{
    return {name, "F", help, types, Kind::Number, min, max, {},
            [set](void* h, const std::string& v) { set(h, ToDouble(v)); }};
}

ValueOption Choice(const char* name, const char* value, const char* help, TypeSet types,
                   std::vector<std::string> choices, void (*set)(void*, const char*))
{
    return {name, value, help, types, Kind::Choice, 0, 0, std::move(choices),
            [set](void* h, const std::string& v) { set(h, v.c_str()); }};
}

const std::vector<ValueOption>& Options()
{
    static const std::vector<std::string> codeSizes = {
        "AUTO",  "10x10", "12x12", "14x14", "16x16", "18x18",   "20x20",   "22x22",   "24x24",   "26x26",
        "32x32", "36x36", "40x40", "44x44", "48x48", "52x52",   "64x64",   "72x72",   "80x80",   "88x88",
        "96x96", "104x104", "120x120", "132x132", "144x144", "8x18", "8x32", "12x26", "12x36", "16x36", "16x48"};
    static const std::vector<ValueOption> options = [] {
        std::vector<ValueOption> o = {
            {"--fg", "R,G,B[,A]", "bar colour", kAllTypes, Kind::Color, 0, 255, {},
             [](void* h, const std::string& v) {
                 const Color c = ToColor(v);
                 barcode_set_foreground_color(h, c.r, c.g, c.b, c.a);
             }},
            {"--bg", "R,G,B[,A]", "background colour", kAllTypes, Kind::Color, 0, 255, {},
             [](void* h, const std::string& v) {
                 const Color c = ToColor(v);
                 barcode_set_background_color(h, c.r, c.g, c.b, c.a);
             }},
            Switch("--fit-width", "keep fractional module widths", kAllTypes, barcode_set_fit_width),
            Whole("--px-black", "N", "pixels added to every bar", kAllTypes, -kMaxSide, kMaxSide,
                  barcode_set_px_adjust_black),
            Whole("--px-white", "N", "pixels added to every space", kAllTypes, -kMaxSide, kMaxSide,
                  barcode_set_px_adjust_white),
            Switch("--show-text", "human-readable text", kLinearTypes, barcode_set_show_text),
            Real("--font-scale", "text size factor", kLinearTypes, 0, 1000, barcode_set_text_font_scale),
            Real("--text-gap", "gap factor between bars and text", kLinearTypes, -1000, 1000, barcode_set_text_gap),
            Switch("--even-spacing", "spread the text characters", kLinearTypes, barcode_set_text_even_spacing),
            Switch("--start-stop", "print the start/stop characters", Types({0, 4}), barcode_set_show_start_stop),
            Choice("--code-mode", "MODE", "Code 128 code set", Types({2}), {"A", "B", "C", "AUTO"},
                   barcode_set_code_mode),
            Switch("--extended-guard", "JAN/UPC guard bars reaching into the text", Types({7, 8, 9, 10}),
                   barcode_set_extended_guard),
            Choice("--encoding", "NAME", "text encoding of 2D symbols", Types({16, 17, 18}),
                   {"utf-8", "UTF-8", "shift-jis", "Shift-JIS", "shift_jis"}, barcode_set_string_encoding),
            Choice("--level", "LEVEL", "QR error correction", Types({16}), {"L", "M", "Q", "H"},
                   barcode_set_error_correction_level),
            Whole("--qr-version", "N", "QR version, 1-40 (0: automatic)", Types({16}), 0, 40, barcode_set_version),
            Choice("--mode", "MODE", "QR encoding mode", Types({16}),
                   {"AUTO", "BYTE", "NUMERIC", "ALPHANUMERIC", "KANJI"}, barcode_set_encode_mode),
            Choice("--code-size", "SIZE", "Data Matrix rows x columns", Types({17}), codeSizes, barcode_set_code_size),
            Choice("--size", "SIZE", "same as --code-size", Types({17}), codeSizes, barcode_set_code_size),
            Choice("--scheme", "SCHEME", "Data Matrix encodation", Types({17}),
                   {"AUTO", "ASCII", "C40", "TEXT", "X12", "EDIFACT", "BASE256"}, barcode_set_encode_scheme),
            Whole("--error-level", "N", "PDF417 error correction level", Types({18}), 0, 8, barcode_set_error_level),
            Whole("--columns", "N", "PDF417 data columns (0: automatic)", Types({18}), 0, 30, barcode_set_columns),
            Whole("--rows", "N", "PDF417 rows (0: automatic)", Types({18}), 0, 90, barcode_set_rows),
            Real("--aspect-ratio", "PDF417 aspect ratio", Types({18}), 0.001, 1000, barcode_set_aspect_ratio),
            Real("--ratio", "same as --aspect-ratio", Types({18}), 0.001, 1000, barcode_set_aspect_ratio),
            Whole("--y-height", "N", "PDF417 row height in modules", Types({18}), 1, kMaxSide, barcode_set_y_height),
            Choice("--databar14", "KIND", "DataBar Omnidirectional layout", Types({12}),
                   {"OMNIDIRECTIONAL", "STACKED", "STACKED_OMNIDIRECTIONAL"}, barcode_set_symbol_type_14),
            Choice("--databar-exp", "KIND", "DataBar Expanded layout", Types({14}), {"UNSTACKED", "STACKED"},
                   barcode_set_symbol_type_exp),
            Whole("--block-columns", "N", "DataBar Expanded blocks per row", Types({14}), 1, 11,
                  barcode_set_no_of_columns),
        };
        for (ValueOption& v : o) {
            if (std::strcmp(v.name, "--qr-version") == 0) {
                v.alias = "--version";
            }
        }
        return o;
    }();
    return options;
}

const std::vector<DrawKind>& DrawKinds()
{
    static const std::vector<DrawKind> kinds = {
        {"1d", "the symbol in a W x H box (default)", kAllTypes},
        {"2d", "a square W x W 2D symbol", Types({16, 17, 18})},
        {"yubin", "the postal barcode by its height H", Types({15})},
        {"convenience", "the 44-digit payment barcode", Types({3})},
        {"stacked", "DataBar Expanded in rows", Types({14})},
    };
    return kinds;
}

const char* const kFormats[] = {"png", "png8", "svg"};

std::string Choices(const std::vector<std::string>& choices)
{
    std::string joined;
    for (const std::string& c : choices) {
        joined += (joined.empty() ? "" : "|") + c;
    }
    return joined;
}

std::string Modules(double m)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", m);
    return text;
}

std::string OptionValue(const ValueOption& o)
{
    if (o.kind == Kind::Choice) {
        return Choices(o.choices);
    }
    if (o.kind == Kind::Int && o.max - o.min <= 100) {
        return Modules(o.min) + "-" + Modules(o.max);
    }
    return o.value;
}

void ListOptions(std::ostream& out, const char* indent, TypeSet types, int type)
{
    for (const ValueOption& o : Options()) {
        if (type >= 0 ? Accepts(o.types, type) && o.types != kAllTypes && o.types != kLinearTypes : o.types == types) {
            out << indent << o.name << ' ' << OptionValue(o) << '\n';
        }
    }
}

int ParseType(const std::string& s)
{
    for (const TypeInfo& t : kTypes) {
        if (s == t.name) {
            return t.type;
        }
    }
    try {
        const int n = ToInt(s);
        return (n >= 0 && n < kTypeCount) ? n : -1;
    } catch (const std::exception&) {
        return -1;
    }
}

bool EndsWith(const std::string& s, const std::string& suffix)
{
    if (s.size() < suffix.size()) {
        return false;
    }
    return std::equal(suffix.begin(), suffix.end(), s.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

[[noreturn]] void NotFor(const std::string& what, int type)
{
    throw UsageError(what + " does not apply to " + Info(type).name + " (lumeo --list shows what each type accepts)");
}

const ValueOption* FindOption(const std::string& name)
{
    for (const ValueOption& o : Options()) {
        if (name == o.name || (o.alias != nullptr && name == o.alias)) {
            return &o;
        }
    }
    return nullptr;
}

// Checks a value against its option; throws UsageError with the reason.
void CheckValue(const ValueOption& o, const std::string& a, const std::string& v)
{
    const std::string bad = "bad value for " + a + ": " + v;
    try {
        switch (o.kind) {
        case Kind::Choice:
            if (std::find(o.choices.begin(), o.choices.end(), v) == o.choices.end()) {
                throw UsageError(bad + " (one of " + Choices(o.choices) + ")");
            }
            return;
        case Kind::Color:
            ToColor(v);
            return;
        case Kind::Switch:
        case Kind::Int: {
            const long long n = ToLong(v);
            if (n < o.min || n > o.max) {
                throw UsageError(bad + " (" + (o.kind == Kind::Switch ? std::string("0 or 1") : "a whole number from " +
                                 Modules(o.min) + " to " + Modules(o.max)) + ")");
            }
            return;
        }
        case Kind::Number: {
            const double n = ToDouble(v);
            if (n < o.min || n > o.max) {
                throw UsageError(bad + " (a number from " + Modules(o.min) + " to " + Modules(o.max) + ")");
            }
            return;
        }
        }
    } catch (const UsageError&) {
        throw;
    } catch (const std::exception&) {
        const char* what = o.kind == Kind::Color ? " (R,G,B or R,G,B,A, each 0 to 255)"
                           : o.kind == Kind::Number ? " (a finite number)"
                           : o.kind == Kind::Switch ? " (0 or 1)"
                                                    : " (a whole number)";
        throw UsageError(bad + what);
    }
}

// A box side in pixels: a whole number from 1 to the canvas limit.
int ToSide(const std::string& a, const std::string& v)
{
    long long n = 0;
    try {
        n = ToLong(v);
    } catch (const std::exception&) {
        throw UsageError("bad value for " + a + ": " + v + " (a whole number of pixels)");
    }
    if (n < 1 || n > kMaxSide) {
        throw UsageError("bad value for " + a + ": " + v + " (from 1 to " + std::to_string(kMaxSide) + " pixels)");
    }
    return static_cast<int>(n);
}

// Applies one option with its value to the request; throws UsageError with a reason.
void ParseOption(Request& r, const std::string& a, const std::string& v)
{
    if (v.find('\0') != std::string::npos) {
        throw UsageError("the value of " + a + " holds a NUL byte");
    }
    if (a == "-o" || a == "--output") {
        r.output = v;
    } else if (a == "--width") {
        r.width = ToSide(a, v);
    } else if (a == "--height") {
        r.height = ToSide(a, v);
    } else if (a == "--margin") {
        long long m = -1;
        try {
            m = ToLong(v);
        } catch (const std::exception&) {
        }
        if (m < 0 || m > 10000) {
            throw UsageError("bad value for --margin: " + v + " (from 0 to 10000 pixels)");
        }
        r.margin = static_cast<int>(m);
    } else if (a == "--format") {
        if (std::find(std::begin(kFormats), std::end(kFormats), v) == std::end(kFormats)) {
            throw UsageError("bad value for --format: " + v + " (one of png|png8|svg)");
        }
        r.format = v;
    } else if (a == "--draw") {
        const auto& kinds = DrawKinds();
        const auto kind = std::find_if(kinds.begin(), kinds.end(), [&](const DrawKind& k) { return v == k.name; });
        if (kind == kinds.end()) {
            std::string names;
            for (const DrawKind& k : kinds) {
                names += (names.empty() ? "" : "|") + std::string(k.name);
            }
            throw UsageError("bad value for --draw: " + v + " (one of " + names + ")");
        }
        if (!Accepts(kind->types, r.type)) {
            NotFor("--draw " + v, r.type);
        }
        r.draw = v;
    } else {
        const ValueOption* option = FindOption(a);
        if (option == nullptr) {
            throw UsageError("unknown option " + a);
        }
        if (!Accepts(option->types, r.type)) {
            NotFor("option " + a, r.type);
        }
        CheckValue(*option, a, v);
        if (a == "--fg") {
            r.fg = ToColor(v);
        } else if (a == "--bg") {
            r.bg = ToColor(v);
        } else if (a == "--px-black") {
            r.pxAdjustBlack = ToInt(v);
        }
        const auto apply = option->apply;
        r.setters.push_back([apply, v](void* h) { apply(h, v); });
    }
}

bool DrawRequest(void* h, const Request& r)
{
    const char* t = r.text.c_str();
    if (r.draw == "2d") {
        return barcode_draw_2d(h, t, r.width);
    }
    if (r.draw == "yubin") {
        return barcode_draw_yubin(h, t, r.height);
    }
    if (r.draw == "convenience") {
        return barcode_draw_convenience(h, t, r.width, r.height);
    }
    if (r.draw == "stacked") {
        return barcode_draw_stacked(h, t, r.width, r.height);
    }
    return barcode_draw_1d(h, t, r.width, r.height);
}

// One handle of the library, released on every path.
class Handle
{
public:
    explicit Handle(int type) : m_handle(barcode_create(type)) {}
    ~Handle()
    {
        barcode_destroy(m_handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    operator void*() const
    {
        return m_handle;
    }

private:
    void* m_handle;
};

// The text as shown in a message: at most 40 bytes, not cut inside a UTF-8 sequence, control
// characters as \xNN.
std::string Shorten(const std::string& text)
{
    size_t end = text.size();
    if (end > 40) {
        end = 40;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
            --end;
        }
    }
    std::string shown;
    for (size_t i = 0; i < end; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            shown += escaped;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return end < text.size() ? shown + "..." : shown;
}

// What the library said on this thread while a draw ran.
struct Heard
{
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
};

thread_local Heard* t_heard = nullptr;

void OnLibraryLine(int level, const char* line, void*)
{
    if (t_heard != nullptr && level == LUMEO_LOG_ERROR) {
        t_heard->errors.emplace_back(line);
    } else if (t_heard != nullptr && level == LUMEO_LOG_WARNING) {
        if (std::find(t_heard->warnings.begin(), t_heard->warnings.end(), line) == t_heard->warnings.end()) {
            t_heard->warnings.emplace_back(line);
        }
    } else {
        std::fprintf(stderr, "lumeo: %s\n", line);
    }
}

// Collects the library's lines on this thread while alive.
class Listening
{
public:
    explicit Listening(Heard& heard) : m_previous(t_heard) { t_heard = &heard; }
    ~Listening() { t_heard = m_previous; }
    Listening(const Listening&) = delete;
    Listening& operator=(const Listening&) = delete;

private:
    Heard* m_previous;
};

// Why the library refused, in English first, then in its own words.
std::string LibraryReason(const Heard& heard)
{
    static const std::pair<const char*, const char*> kExplained[] = {
        {"bad_text", "the text holds characters, digits or syntax this symbology does not accept"},
        {"too_long", "the text does not fit this symbology or the chosen symbol size"},
        {"canvas_limit", "the box is too small for the symbol, or beyond the canvas limits"},
        {"bad_option", "an option value is not accepted"},
        {"no_memory", "memory ran out"},
        {"no_output", "the library returned no image"},
        {"bad_handle", "the library refused the handle"},
        {"internal", "the library failed"},
    };
    const std::string code = lumeo_last_error_code();
    std::string reason = lumeo_last_error();
    if (reason.empty()) {
        for (const std::string& e : heard.errors) {
            reason += (reason.empty() ? "" : "; ") + e;
        }
    }
    for (const auto& [c, english] : kExplained) {
        if (code == c) {
            return reason.empty() ? english : english + (": " + reason);
        }
    }
    return reason.empty() ? "the library gave no reason" : reason;
}

std::string Result(void* h, bool svg)
{
    if (svg) {
        return barcode_get_svg(h);
    }
    int size = 0;
    const unsigned char* bytes = barcode_get_image_data(h, &size);
    return bytes != nullptr && size > 0 ? std::string(reinterpret_cast<const char*>(bytes), size) : std::string();
}

// The quiet zone of the symbology around the symbol the handle has drawn. The module width and
// the blank space already around the bars come from the same symbol drawn as SVG.
Margins StandardMargins(void* h, const Request& r, std::string svg)
{
    if (svg.empty()) {
        barcode_set_output_format(h, "svg");
        svg = DrawRequest(h, r) ? barcode_get_svg(h) : "";
    }
    const SymbolExtent extent = MeasureSvg(svg, r.fg);
    if (!extent.found) {
        throw DrawError("cannot measure the module width of the symbol; give --margin N");
    }
    return QuietZoneMargins(extent, Info(r.type).quiet, r.pxAdjustBlack);
}

// Applies the options in `args` from `first` on, in order: a later value wins.
void ParseOptions(Request& r, const std::vector<std::string>& args, size_t first)
{
    for (size_t i = first; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (i + 1 >= args.size()) {
            throw UsageError("option " + a + " needs a value");
        }
        ParseOption(r, a, args[++i]);
    }
}

} // namespace

Request Parse(const std::vector<std::string>& args)
{
    if (args.size() < 2) {
        throw UsageError("TYPE and TEXT are required");
    }
    Request r;
    r.type = ParseType(args[0]);
    if (r.type < 0) {
        throw UsageError("unknown type '" + args[0] + "' (lumeo --list shows the types)");
    }
    r.text = args[1];
    ParseOptions(r, args, 2);
    if (r.output.empty()) {
        throw UsageError("-o FILE is required (- writes to standard output)");
    }
    if (r.format.empty()) {
        if (EndsWith(r.output, ".svg")) {
            r.format = "svg";
        } else if (EndsWith(r.output, ".png") || r.output == "-") {
            r.format = "png8"; // the compact palette PNG; --format png gives the RGBA one
        } else {
            throw UsageError("cannot tell the format of " + r.output +
                             ": name it .png or .svg, or give --format png|png8|svg");
        }
    }
    const bool twoD = r.type >= 16;
    if (r.width == 0) {
        r.width = twoD ? 300 : 400;
    }
    if (r.height == 0) {
        r.height = twoD ? 300 : 150;
    }
    const long long area = static_cast<long long>(r.width) * (r.draw == "2d" ? r.width : r.height);
    if (r.draw == "yubin" && r.height * kYubinWidthPerHeight > kMaxSide) {
        throw UsageError("bad value for --height: " + std::to_string(r.height) + " (the Japan Post barcode is 22.5 times as wide as high: at most " +
                         std::to_string(static_cast<int>(kMaxSide / kYubinWidthPerHeight)) + " pixels)");
    }
    if (r.draw != "yubin" && area > kMaxPixels) {
        throw UsageError("the box of " + std::to_string(r.width) + " x " +
                         std::to_string(r.draw == "2d" ? r.width : r.height) + " pixels is beyond the limit of " +
                         std::to_string(kMaxPixels) + " pixels in all");
    }
    const size_t nul = r.text.find('\0');
    if (nul != std::string::npos) {
        throw DrawError("the text holds a NUL byte (at byte " + std::to_string(nul + 1) +
                        "), which cannot be drawn: the text would end there");
    }
    return r;
}

void CheckSharedOptions(const std::vector<std::string>& options)
{
    for (size_t i = 0; i < options.size(); i += 2) {
        const std::string& a = options[i];
        if (a == "-o" || a == "--output") {
            throw UsageError("batch takes no " + a + ": each line names its file inside DIR");
        }
        if (i + 1 >= options.size()) {
            throw UsageError("option " + a + " needs a value");
        }
        // Valid for at least one type: each line's own type decides the rest.
        std::string reason;
        bool accepted = false;
        for (int type = 0; type < kTypeCount && !accepted; ++type) {
            Request r;
            r.type = type;
            try {
                ParseOption(r, a, options[i + 1]);
                accepted = true;
            } catch (const UsageError& e) {
                if (reason.empty() || std::strstr(e.what(), "does not apply to") == nullptr) {
                    reason = e.what();
                }
            }
        }
        if (!accepted) {
            throw UsageError(reason);
        }
    }
}

Rendered Produce(const Request& r)
{
    Heard heard;
    const Listening listening(heard);
    Handle h(r.type);
    if (h == nullptr) {
        throw DrawError(std::string(Info(r.type).title) + " (type " + std::to_string(r.type) +
                        ") is not built into this library");
    }
    for (const auto& set : r.setters) {
        set(h);
    }
    const bool svg = r.format == "svg";
    barcode_set_output_format(h, r.format.c_str());
    if (!DrawRequest(h, r)) {
        throw DrawError("the " + std::string(Info(r.type).title) + " symbol could not be drawn from \"" +
                        Shorten(r.text) + "\"" + (r.format == "png" || svg ? "" : " as " + r.format) + ": " +
                        LibraryReason(heard));
    }
    Rendered out;
    const std::string image = Result(h, svg);
    if (image.empty()) {
        throw DrawError("the library returned no " + r.format + " image: " + LibraryReason(heard));
    }
    Margins m{r.margin, r.margin, r.margin, r.margin};
    if (r.margin < 0) {
        m = StandardMargins(h, r, svg ? image : std::string());
    }
    try {
        out.bytes = svg ? FrameSvg(image, m, r.bg) : FramePng(image, m, r.bg);
    } catch (const std::exception& e) {
        throw DrawError(e.what());
    }
    for (const std::string& w : heard.warnings) {
        out.warnings += (out.warnings.empty() ? "" : "; ") + w;
    }
    return out;
}

void RouteLibraryLines()
{
    lumeo_set_log(OnLibraryLine, nullptr);
}

std::string Versions()
{
    return std::string("lumeo ") + LUMEO_TOOL_VERSION + "\nbarcode_lumeo library " + lumeo_version() + "\n";
}

void Usage(std::ostream& out)
{
    out << "usage: lumeo TYPE TEXT -o FILE [options]   draw one symbol\n"
           "       lumeo batch FILE.csv DIR [options] one symbol per CSV line: TYPE,TEXT,FILE[,OPTIONS]\n"
           "       lumeo gallery DIR                  every symbology side by side in DIR/index.html\n"
           "       lumeo --list                       the types and the options each accepts\n"
           "       lumeo --help | --version           this text | the tool's and the library's versions\n\n"
           "TYPE is a type number (0-18) or one of:";
    for (const TypeInfo& t : kTypes) {
        out << ' ' << t.name;
    }
    out << "\nTEXT - reads the text from standard input (one trailing newline is dropped).\n\n"
           "output:\n"
           "  -o FILE, --output FILE  .png or .svg file, or - for standard output; a file is\n"
           "                          replaced only once the new one is complete\n"
           "  --format F              png, png8 or svg (default: from the file name, png8 for\n"
           "                          .png and -; png writes the RGBA encoding)\n"
           "  --width W, --height H   box of the symbol in pixels (default 400 x 150; 2D: 300 x 300)\n"
           "  --margin N              N pixels of background on every side (default: the quiet zone of\n"
           "                          the symbology's standard, in modules of the drawn symbol)\n"
           "  --draw KIND             how to draw:";
    for (const DrawKind& k : DrawKinds()) {
        out << ' ' << k.name;
    }
    out << "\n\nsymbol options (lumeo --list shows which types accept which):\n";
    for (const ValueOption& o : Options()) {
        std::string head = std::string(o.name) + ' ' + o.value;
        head.resize(std::max<size_t>(head.size() + 1, 24), ' ');
        out << "  " << head << o.help;
        if (o.kind == Kind::Choice && o.choices.size() <= 7) {
            out << ": " << Choices(o.choices);
        }
        out << '\n';
    }
    out << "\nbatch: options after DIR apply to every line; a line's own options (fourth field) win.\n"
           "The CSV file may start with a byte-order mark, end its lines with CRLF and quote fields\n"
           "that hold commas, quotes or line breaks. Files stay inside DIR: names are relative,\n"
           "symbolic links are not followed, and -o is refused in the options.\n"
           "\nexit status: 0 done, 1 a symbol could not be drawn or written, 2 unusable command line.\n"
           "\nexamples:\n"
           "  lumeo code128 \"Order 2024-00815\" -o order.png\n"
           "  lumeo qr https://example.jp/ --draw 2d --width 240 --level H -o qr.svg\n"
           "  lumeo jan13 490123456789 --extended-guard 1 --margin 0 -o jan.png\n"
           "  lumeo yubin \"2630023 3-30-8-403\" --draw yubin --height 45 -o post.png\n"
           "  echo 4901234567894 | lumeo jan13 - -o - > jan.png\n"
           "  lumeo code39 ABC-123 -o - | lpr\n"
           "  lumeo batch labels.csv out/     # labels.csv: qr,\"HELLO, WORLD\",hello.png,--draw 2d --level H\n"
           "  lumeo batch labels.csv out/ --width 300 --height 100\n";
}

// Types, their quiet zones and the options each accepts.
void List(std::ostream& out)
{
    out << "Every type accepts:\n";
    ListOptions(out, "    ", kAllTypes, -1);
    out << "Linear types (0-15) also accept:\n";
    ListOptions(out, "    ", kLinearTypes, -1);
    out << "Types, their quiet zones (in modules) and their own options:\n";
    for (const TypeInfo& t : kTypes) {
        void* probe = barcode_create(t.type);
        barcode_destroy(probe);
        out << (t.type < 10 ? " " : "") << t.type << "  " << t.name << " - " << t.title
            << (probe == nullptr ? " (not built into this library)" : "") << '\n';
        out << "    quiet zone " << Modules(t.quiet.left) << " left, " << Modules(t.quiet.right) << " right, "
            << Modules(t.quiet.vertical) << " above and below\n    --draw";
        for (const DrawKind& k : DrawKinds()) {
            if (Accepts(k.types, t.type)) {
                out << ' ' << k.name;
            }
        }
        out << '\n';
        ListOptions(out, "    ", 0, t.type);
    }
}

} // namespace lumeo
