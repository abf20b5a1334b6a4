// SPDX-License-Identifier: MIT
// lumeo: draws barcodes through the library's C interface, with the quiet zone that each
// symbology's standard asks for.
//
//   lumeo TYPE TEXT|- -o FILE|- [--width W --height H] [--format png|png8|svg] [--margin N] [options]
//   lumeo batch FILE.csv DIR
//   lumeo gallery DIR
//   lumeo --list | --help
#include "Batch.h"
#include "QuietZone.h"
#include "barcode_lumeo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using lumeo::Color;
using lumeo::Margins;
using lumeo::QuietZoneModules;

constexpr int kTypeCount = 19;

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

// A command line that cannot be used, with the reason.
struct UsageError : std::invalid_argument
{
    using std::invalid_argument::invalid_argument;
};

struct Request
{
    int type = -1;
    std::string text;
    std::string output;
    std::string format; // png, png8 or svg
    int width = 0;
    int height = 0;
    int margin = -1; // pixels on every side; -1: the symbology's quiet zone
    std::string draw = "1d";
    Color fg{0, 0, 0, 255};
    Color bg{255, 255, 255, 255};
    int pxAdjustBlack = 0;
    std::vector<std::function<void(void*)>> setters;
};

// Options that take a value, each one a C interface setter.
struct ValueOption
{
    const char* name;
    const char* value; // what the value looks like
    const char* help;
    TypeSet types;
    std::vector<std::string> choices; // the exact strings accepted; empty for numbers
    std::function<void(void*, const std::string&)> apply;
};

struct DrawKind
{
    const char* name;
    const char* help;
    TypeSet types;
};

int ToInt(const std::string& s)
{
    size_t used = 0;
    const int v = std::stoi(s, &used);
    if (used != s.size()) {
        throw std::invalid_argument(s);
    }
    return v;
}

double ToDouble(const std::string& s)
{
    size_t used = 0;
    const double v = std::stod(s, &used);
    if (used != s.size()) {
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
        c.push_back(ToInt(part));
    }
    if (c.size() == 3) {
        c.push_back(255);
    }
    if (c.size() != 4) {
        throw std::invalid_argument(s);
    }
    return Color{c[0], c[1], c[2], c[3]};
}

const std::vector<ValueOption>& Options()
{
    static const std::vector<std::string> codeSizes = {
        "AUTO",  "10x10", "12x12", "14x14", "16x16", "18x18",   "20x20",   "22x22",   "24x24",   "26x26",
        "32x32", "36x36", "40x40", "44x44", "48x48", "52x52",   "64x64",   "72x72",   "80x80",   "88x88",
        "96x96", "104x104", "120x120", "132x132", "144x144", "8x18", "8x32", "12x26", "12x36", "16x36", "16x48"};
    static const std::vector<ValueOption> options = {
        {"--fg", "R,G,B[,A]", "bar colour", kAllTypes, {},
         [](void* h, const std::string& v) {
             const Color c = ToColor(v);
             barcode_set_foreground_color(h, c.r, c.g, c.b, c.a);
         }},
        {"--bg", "R,G,B[,A]", "background colour", kAllTypes, {},
         [](void* h, const std::string& v) {
             const Color c = ToColor(v);
             barcode_set_background_color(h, c.r, c.g, c.b, c.a);
         }},
        {"--fit-width", "0|1", "keep fractional module widths", kAllTypes, {},
         [](void* h, const std::string& v) { barcode_set_fit_width(h, ToInt(v)); }},
        {"--px-black", "N", "pixels added to every bar", kAllTypes, {},
         [](void* h, const std::string& v) { barcode_set_px_adjust_black(h, ToInt(v)); }},
        {"--px-white", "N", "pixels added to every space", kAllTypes, {},
         [](void* h, const std::string& v) { barcode_set_px_adjust_white(h, ToInt(v)); }},
        {"--show-text", "0|1", "human-readable text", kLinearTypes, {},
         [](void* h, const std::string& v) { barcode_set_show_text(h, ToInt(v)); }},
        {"--font-scale", "F", "text size factor", kLinearTypes, {},
         [](void* h, const std::string& v) { barcode_set_text_font_scale(h, ToDouble(v)); }},
        {"--text-gap", "F", "gap factor between bars and text", kLinearTypes, {},
         [](void* h, const std::string& v) { barcode_set_text_gap(h, ToDouble(v)); }},
        {"--even-spacing", "0|1", "spread the text characters", kLinearTypes, {},
         [](void* h, const std::string& v) { barcode_set_text_even_spacing(h, ToInt(v)); }},
        {"--start-stop", "0|1", "print the start/stop characters", Types({0, 4}), {},
         [](void* h, const std::string& v) { barcode_set_show_start_stop(h, ToInt(v)); }},
        {"--code-mode", "MODE", "Code 128 code set", Types({2}), {"A", "B", "C", "AUTO"},
         [](void* h, const std::string& v) { barcode_set_code_mode(h, v.c_str()); }},
        {"--extended-guard", "0|1", "JAN/UPC guard bars reaching into the text", Types({7, 8, 9, 10}), {},
         [](void* h, const std::string& v) { barcode_set_extended_guard(h, ToInt(v)); }},
        {"--encoding", "NAME", "text encoding of 2D symbols", Types({16, 17, 18}),
         {"utf-8", "UTF-8", "shift-jis", "Shift-JIS", "shift_jis"},
         [](void* h, const std::string& v) { barcode_set_string_encoding(h, v.c_str()); }},
        {"--level", "LEVEL", "QR error correction", Types({16}), {"L", "M", "Q", "H"},
         [](void* h, const std::string& v) { barcode_set_error_correction_level(h, v.c_str()); }},
        {"--version", "N", "QR version, 1-40 (0: automatic)", Types({16}), {},
         [](void* h, const std::string& v) { barcode_set_version(h, ToInt(v)); }},
        {"--mode", "MODE", "QR encoding mode", Types({16}), {"AUTO", "BYTE", "NUMERIC", "ALPHANUMERIC", "KANJI"},
         [](void* h, const std::string& v) { barcode_set_encode_mode(h, v.c_str()); }},
        {"--code-size", "SIZE", "Data Matrix rows x columns", Types({17}), codeSizes,
         [](void* h, const std::string& v) { barcode_set_code_size(h, v.c_str()); }},
        {"--size", "SIZE", "same as --code-size", Types({17}), codeSizes,
         [](void* h, const std::string& v) { barcode_set_code_size(h, v.c_str()); }},
        {"--scheme", "SCHEME", "Data Matrix encodation", Types({17}),
         {"AUTO", "ASCII", "C40", "TEXT", "X12", "EDIFACT", "BASE256"},
         [](void* h, const std::string& v) { barcode_set_encode_scheme(h, v.c_str()); }},
        {"--error-level", "N", "PDF417 error correction level", Types({18}), {},
         [](void* h, const std::string& v) { barcode_set_error_level(h, ToInt(v)); }},
        {"--columns", "N", "PDF417 data columns", Types({18}), {},
         [](void* h, const std::string& v) { barcode_set_columns(h, ToInt(v)); }},
        {"--rows", "N", "PDF417 rows", Types({18}), {},
         [](void* h, const std::string& v) { barcode_set_rows(h, ToInt(v)); }},
        {"--aspect-ratio", "F", "PDF417 aspect ratio", Types({18}), {},
         [](void* h, const std::string& v) { barcode_set_aspect_ratio(h, ToDouble(v)); }},
        {"--ratio", "F", "same as --aspect-ratio", Types({18}), {},
         [](void* h, const std::string& v) { barcode_set_aspect_ratio(h, ToDouble(v)); }},
        {"--y-height", "N", "PDF417 row height in modules", Types({18}), {},
         [](void* h, const std::string& v) { barcode_set_y_height(h, ToInt(v)); }},
        {"--databar14", "KIND", "DataBar Omnidirectional layout", Types({12}),
         {"OMNIDIRECTIONAL", "STACKED", "STACKED_OMNIDIRECTIONAL"},
         [](void* h, const std::string& v) { barcode_set_symbol_type_14(h, v.c_str()); }},
        {"--databar-exp", "KIND", "DataBar Expanded layout", Types({14}), {"UNSTACKED", "STACKED"},
         [](void* h, const std::string& v) { barcode_set_symbol_type_exp(h, v.c_str()); }},
        {"--block-columns", "N", "DataBar Expanded blocks per row", Types({14}), {},
         [](void* h, const std::string& v) { barcode_set_no_of_columns(h, ToInt(v)); }},
    };
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

std::string OptionValue(const ValueOption& o)
{
    return o.choices.empty() ? o.value : Choices(o.choices);
}

std::string Modules(double m)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.4g", m);
    return text;
}

void Usage(std::ostream& out)
{
    out << "usage: lumeo TYPE TEXT -o FILE [options]   draw one symbol\n"
           "       lumeo batch FILE.csv DIR           one symbol per CSV line: TYPE,TEXT,FILE[,OPTIONS]\n"
           "       lumeo gallery DIR                  every symbology side by side in DIR/index.html\n"
           "       lumeo --list                       the types and the options each accepts\n"
           "       lumeo --help                       this text\n\n"
           "TYPE is a type number (0-18) or one of:";
    for (const TypeInfo& t : kTypes) {
        out << ' ' << t.name;
    }
    out << "\nTEXT - reads the text from standard input (one trailing newline is dropped).\n\n"
           "output:\n"
           "  -o FILE, --output FILE  .png or .svg file, or - for standard output\n"
           "  --format F              png, png8 or svg (default: from the file name; png for -)\n"
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
        if (!o.choices.empty() && o.choices.size() <= 7) {
            out << ": " << Choices(o.choices);
        }
        out << '\n';
    }
    out << "\nexamples:\n"
           "  lumeo code128 \"Order 2024-00815\" -o order.png\n"
           "  lumeo qr https://example.jp/ --draw 2d --width 240 --level H -o qr.svg\n"
           "  lumeo jan13 490123456789 --extended-guard 1 --margin 0 -o jan.png\n"
           "  lumeo yubin \"2630023 3-30-8-403\" --draw yubin --height 45 -o post.png\n"
           "  echo 4901234567894 | lumeo jan13 - -o - > jan.png\n"
           "  lumeo code39 ABC-123 -o - | lpr\n"
           "  lumeo batch labels.csv out/     # labels.csv: qr,\"HELLO, WORLD\",hello.png,--draw 2d --level H\n";
}

void ListOptions(std::ostream& out, const char* indent, TypeSet types, int type)
{
    for (const ValueOption& o : Options()) {
        if (type >= 0 ? Accepts(o.types, type) && o.types != kAllTypes && o.types != kLinearTypes : o.types == types) {
            out << indent << o.name << ' ' << OptionValue(o) << '\n';
        }
    }
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

void NotFor(const std::string& what, int type)
{
    throw UsageError(what + " does not apply to " + Info(type).name +
                                " (lumeo --list shows what each type accepts)");
}

// Applies one option with its value to the request; throws std::invalid_argument with a reason.
void ParseOption(Request& r, const std::string& a, const std::string& v)
{
    if (a == "-o" || a == "--output") {
        r.output = v;
    } else if (a == "--width") {
        r.width = ToInt(v);
    } else if (a == "--height") {
        r.height = ToInt(v);
    } else if (a == "--margin") {
        r.margin = ToInt(v);
        if (r.margin < 0 || r.margin > 10000) {
            throw std::out_of_range(v);
        }
    } else if (a == "--format") {
        if (std::find(std::begin(kFormats), std::end(kFormats), v) == std::end(kFormats)) {
            throw UsageError("bad value for --format: " + v + " (one of png|png8|svg)");
        }
        r.format = v;
    } else if (a == "--draw") {
        const auto& kinds = DrawKinds();
        const auto kind = std::find_if(kinds.begin(), kinds.end(), [&](const DrawKind& k) { return v == k.name; });
        if (kind == kinds.end()) {
            throw std::out_of_range(v);
        }
        if (!Accepts(kind->types, r.type)) {
            NotFor("--draw " + v, r.type);
        }
        r.draw = v;
    } else {
        const auto& options = Options();
        const auto option = std::find_if(options.begin(), options.end(), [&](const ValueOption& o) { return a == o.name; });
        if (option == options.end()) {
            throw UsageError("unknown option " + a);
        }
        if (!Accepts(option->types, r.type)) {
            NotFor("option " + a, r.type);
        }
        if (!option->choices.empty() && std::find(option->choices.begin(), option->choices.end(), v) == option->choices.end()) {
            throw UsageError("bad value for " + a + ": " + v + " (one of " + Choices(option->choices) + ")");
        }
        option->apply(nullptr, v); // checks a numeric value; a null handle is ignored
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

// Parses TYPE TEXT and the options; throws std::invalid_argument with a reason.
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
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (i + 1 >= args.size()) {
            throw UsageError("option " + a + " needs a value");
        }
        const std::string& v = args[++i];
        try {
            ParseOption(r, a, v);
        } catch (const UsageError&) {
            throw;
        } catch (const std::logic_error&) { // a number or a choice that does not parse
            throw UsageError("bad value for " + a + ": " + v);
        }
    }
    if (r.output.empty()) {
        throw UsageError("-o FILE is required (- writes to standard output)");
    }
    if (r.format.empty()) {
        if (EndsWith(r.output, ".svg")) {
            r.format = "svg";
        } else if (EndsWith(r.output, ".png") || r.output == "-") {
            r.format = "png";
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
    return r;
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
    const lumeo::SymbolExtent extent = lumeo::MeasureSvg(svg, r.fg);
    if (!extent.found) {
        throw std::runtime_error("cannot measure the module width of the symbol; give --margin N");
    }
    return lumeo::QuietZoneMargins(extent, Info(r.type).quiet, r.pxAdjustBlack);
}

// Draws the request and returns the file's bytes with the quiet zone; throws std::runtime_error
// with the reason.
std::string Produce(const Request& r)
{
    Handle h(r.type);
    if (h == nullptr) {
        throw std::runtime_error(std::string(Info(r.type).title) + " (type " + std::to_string(r.type) +
                                 ") is not built into this library");
    }
    for (const auto& set : r.setters) {
        set(h);
    }
    const bool svg = r.format == "svg";
    barcode_set_output_format(h, r.format.c_str());
    if (!DrawRequest(h, r)) {
        throw std::runtime_error("the " + std::string(Info(r.type).title) + " symbol could not be drawn from \"" +
                                 Shorten(r.text) + "\"" + (r.format == "png" || svg ? "" : " as " + r.format));
    }
    const std::string image = Result(h, svg);
    if (image.empty()) {
        throw std::runtime_error("the library returned no " + r.format + " image");
    }
    Margins m{r.margin, r.margin, r.margin, r.margin};
    if (r.margin < 0) {
        m = StandardMargins(h, r, svg ? image : std::string());
    }
    return svg ? lumeo::FrameSvg(image, m, r.bg) : lumeo::FramePng(image, m, r.bg);
}

void WriteOutput(const std::string& path, const std::string& bytes)
{
    if (path == "-") {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
            throw std::runtime_error("cannot write to standard output");
        }
        return;
    }
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    }
}

// Draws one request into its output; prints the reason and returns false on failure.
bool Render(const Request& r)
{
    try {
        WriteOutput(r.output, Produce(r));
        return true;
    } catch (const std::exception& e) {
        std::cerr << "lumeo: " << e.what() << '\n';
        return false;
    }
}

// One line of a batch: parse, draw and write, reporting instead of printing.
std::string RenderLine(const std::vector<std::string>& args)
{
    try {
        const Request r = Parse(args);
        WriteOutput(r.output, Produce(r));
        return {};
    } catch (const std::exception& e) {
        return e.what();
    }
}

std::string ReadStandardInput()
{
    std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
    }
    return text;
}

// One gallery entry: a file stem, a caption and the command line that draws it.
struct GalleryRow
{
    const char* stem;
    const char* caption;
    std::vector<std::string> args; // TYPE TEXT [options]
};

const std::vector<GalleryRow>& Gallery()
{
    static const std::vector<GalleryRow> rows = {
        {"code39", "Code 39", {"code39", "LUMEO-39", "--width", "400", "--height", "150"}},
        {"qr", "QR Code", {"qr", "https://example.jp/lumeo?item=4901234567894", "--draw", "2d", "--width", "250"}},
        {"qr-level-h", "QR Code, level H", {"qr", "SN-2024-000123 LOT A7", "--level", "H", "--draw", "2d", "--width", "250"}},
        {"qr-version-10", "QR Code, version 10, fit width",
         {"qr", "TEL:+81-3-1234-5678", "--version", "10", "--level", "Q", "--fit-width", "1", "--draw", "2d", "--width", "250"}},
        {"qr-numeric", "QR Code, numeric mode",
         {"qr", "4901234567894202406010001", "--mode", "NUMERIC", "--level", "L", "--draw", "2d", "--width", "200"}},
        {"qr-utf8", "QR Code, Japanese in UTF-8",
         {"qr", "東京都千代田区丸の内１丁目", "--encoding", "utf-8", "--draw", "2d", "--width", "250"}},
        {"qr-shift-jis", "QR Code, Japanese in Shift-JIS",
         {"qr", "東京都千代田区丸の内１丁目～", "--encoding", "shift-jis", "--draw", "2d", "--width", "250"}},
        {"code128", "Code 128 (automatic code sets)", {"code128", "Order No. 2024-00815", "--width", "600", "--height", "150"}},
        {"gs1-128", "GS1-128 (GTIN, best before, batch)",
         {"gs1-128", "{FNC1}0104912345678904{AI}15261231{AI}10LOT-42A", "--width", "640", "--height", "150",
          "--even-spacing", "0", "--font-scale", "0.8"}},
        {"convenience", "Convenience-store payment barcode",
         {"gs1-128", "9191234500012345678901234567810261231000150", "--draw", "convenience", "--width", "500",
          "--height", "160"}},
        {"code93", "Code 93", {"code93", "PN-4711/B", "--width", "400", "--height", "150"}},
        {"nw7", "NW-7 (Codabar), delivery slip", {"nw7", "A0123-4567-89B", "--width", "400", "--height", "150"}},
        {"nw7-hidden", "NW-7 without start/stop text",
         {"nw7", "D30-0045:17D", "--width", "400", "--height", "150", "--start-stop", "0"}},
        {"itf", "ITF, case code (ITF-14)", {"itf", "14901234567891", "--width", "400", "--height", "150"}},
        {"itf-odd", "ITF, odd digit count", {"itf", "1234567", "--width", "300", "--height", "120"}},
        {"matrix2of5", "Matrix 2 of 5", {"matrix2of5", "20240415", "--width", "400", "--height", "150"}},
        {"nec2of5", "NEC 2 of 5", {"nec2of5", "0123456789", "--width", "400", "--height", "150"}},
        {"yubin", "Japan Post customer barcode",
         {"yubin", "2630023 千葉市稲毛区緑町3-30-8-403", "--height", "45", "--draw", "yubin"}},
        {"jan13", "JAN-13, extended guard",
         {"jan13", "4901234567894", "--width", "400", "--height", "150", "--extended-guard", "1"}},
        {"jan13-uniform", "JAN-13, uniform bars",
         {"jan13", "490123456789", "--width", "400", "--height", "150", "--extended-guard", "0"}},
        {"jan8", "JAN-8, extended guard",
         {"jan8", "49012347", "--width", "300", "--height", "150", "--extended-guard", "1"}},
        {"jan8-uniform", "JAN-8, uniform bars",
         {"jan8", "4901234", "--width", "300", "--height", "150", "--extended-guard", "0"}},
        {"upca", "UPC-A, extended guard",
         {"upca", "036000291452", "--width", "400", "--height", "150", "--extended-guard", "1"}},
        {"upca-uniform", "UPC-A, uniform bars",
         {"upca", "03600029145", "--width", "400", "--height", "150", "--extended-guard", "0"}},
        {"upce", "UPC-E, extended guard",
         {"upce", "04252614", "--width", "300", "--height", "150", "--extended-guard", "1"}},
        {"upce-uniform", "UPC-E, uniform bars",
         {"upce", "425261", "--width", "300", "--height", "150", "--extended-guard", "0"}},
        {"pdf417", "PDF417", {"pdf417", "PDF417 lumeo sample 2024", "--draw", "2d", "--width", "120"}},
        {"pdf417-mixed", "PDF417, text, a long digit run and bytes above 127",
         {"pdf417", "Invoice 2024-06 / Lot A7: 49012345678901234567890123456789012345678901234567 "
                    "Café déjà vu, 東京都千代田区丸の内１丁目 (total ¥12,800)",
          "--draw", "2d", "--width", "200"}},
        {"pdf417-ratio", "PDF417, aspect ratio 1, row height 4",
         {"pdf417", "https://example.jp/lumeo?item=4901234567894&lot=A7", "--aspect-ratio", "1", "--y-height", "4",
          "--draw", "2d", "--width", "200"}},
        {"databar14", "GS1 DataBar Omnidirectional", {"databar14", "2001234567890", "--width", "400", "--height", "120"}},
        {"databar14-stacked", "GS1 DataBar Stacked",
         {"databar14", "0950110153001", "--databar14", "STACKED", "--width", "250", "--height", "120"}},
        {"databar14-stacked-omni", "GS1 DataBar Stacked Omnidirectional",
         {"databar14", "4512345678906", "--databar14", "STACKED_OMNIDIRECTIONAL", "--width", "300", "--height", "150"}},
        {"databar-limited", "GS1 DataBar Limited", {"databar-limited", "1501234567890", "--width", "300", "--height", "100"}},
        {"datamatrix", "Data Matrix (square, automatic size)",
         {"datamatrix", "https://example.jp/lumeo?item=4901234567894", "--draw", "2d", "--width", "250"}},
        {"datamatrix-rect", "Data Matrix, rectangular 16x48",
         {"datamatrix", "LOT A7-2024/06 SN 000123", "--code-size", "16x48", "--width", "480", "--height", "160"}},
        {"datamatrix-c40", "Data Matrix, C40 scheme",
         {"datamatrix", "PART 4711-0815 REV B", "--scheme", "C40", "--draw", "2d", "--width", "200"}},
        {"datamatrix-shift-jis", "Data Matrix, Japanese in Shift-JIS (automatic scheme)",
         {"datamatrix", "東京都千代田区丸の内１丁目～", "--encoding", "shift-jis", "--scheme", "AUTO", "--draw", "2d",
          "--width", "250"}},
        {"databar-expanded", "GS1 DataBar Expanded (GTIN, net weight, best before)",
         {"databar-expanded", "0190012345678908{AI}3103001750{AI}15251231", "--width", "700", "--height", "120"}},
        {"databar-expanded-stacked", "GS1 DataBar Expanded Stacked, 2 blocks a row",
         {"databar-expanded", "0194912345678907{AI}10LOT-42A[{AI}21SN12345", "--draw", "stacked", "--block-columns", "2",
          "--width", "500", "--height", "260", "--even-spacing", "0", "--font-scale", "0.45"}},
    };
    return rows;
}


std::string HtmlEscape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

int RunGallery(const std::string& dir)
{
    const std::string mk = "mkdir -p '" + dir + "'";
    if (dir.find('\'') != std::string::npos || std::system(mk.c_str()) != 0) {
        std::cerr << "lumeo: cannot create directory " << dir << '\n';
        return 1;
    }
    std::ostringstream html;
    html << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<title>barcode_lumeo gallery</title>\n<style>\n"
            "body{font-family:sans-serif;margin:2em;background:#f4f4f4}\n"
            "table{border-collapse:collapse}td,th{padding:12px;border:1px solid #ccc;background:#fff;vertical-align:middle}\n"
            "img{display:block;max-width:420px}\n</style>\n</head>\n<body>\n<h1>barcode_lumeo gallery</h1>\n"
            "<table>\n<tr><th>Symbology</th><th>Text</th><th>PNG</th><th>SVG</th></tr>\n";
    int failures = 0;
    int drawn = 0;
    for (const GalleryRow& row : Gallery()) {
        bool ok = true;
        for (const char* ext : {".png", ".svg"}) {
            std::vector<std::string> args = row.args;
            args.emplace_back("-o");
            args.push_back(dir + "/" + row.stem + ext);
            try {
                ok = Render(Parse(args)) && ok;
            } catch (const std::exception& e) {
                std::cerr << "lumeo: gallery row " << row.stem << ": " << e.what() << '\n';
                ok = false;
            }
        }
        if (!ok) {
            ++failures;
            continue;
        }
        ++drawn;
        html << "<tr><td>" << HtmlEscape(row.caption) << "</td><td><code>" << HtmlEscape(row.args[1])
             << "</code></td><td><img src=\"" << row.stem << ".png\" alt=\"" << HtmlEscape(row.caption)
             << " PNG\"></td><td><img src=\"" << row.stem << ".svg\" alt=\"" << HtmlEscape(row.caption)
             << " SVG\"></td></tr>\n";
    }
    html << "</table>\n</body>\n</html>\n";
    std::ofstream index(dir + "/index.html");
    index << html.str();
    if (!index) {
        std::cerr << "lumeo: cannot write " << dir << "/index.html\n";
        return 1;
    }
    std::cout << "lumeo: wrote " << drawn << " symbols to " << dir << "/index.html\n";
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // The tool speaks for itself: keep the library's progress lines out of its output (which
    // may be the image itself, with -o -).
    setenv("BARCODE_LUMEO_QUIET", "1", 1);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "-h" || args[0] == "--help") {
        Usage(args.empty() ? std::cerr : std::cout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--list") {
        List(std::cout);
        return 0;
    }
    const bool gallery = args[0] == "gallery";
    if (gallery || args[0] == "batch") {
        if (args.size() != (gallery ? 2u : 3u)) {
            std::cerr << "lumeo: " << (gallery ? "gallery DIR" : "batch FILE.csv DIR") << " expected\n";
            return 2;
        }
        return gallery ? RunGallery(args[1]) : lumeo::RunBatch(args[1], args[2], RenderLine);
    }
    try {
        if (args.size() >= 2 && args[1] == "-") {
            args[1] = ReadStandardInput();
        }
        return Render(Parse(args)) ? 0 : 1;
    } catch (const std::invalid_argument& e) {
        std::cerr << "lumeo: " << e.what() << "\nrun 'lumeo --help' for the options and examples\n";
        return 2;
    }
}
