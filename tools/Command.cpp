// SPDX-License-Identifier: MIT
#include "Command.h"

#include "Catalog.h"
#include "barcode_lumeo.h"
#include "barcode_lumeo_ext.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>

#ifndef LUMEO_TOOL_VERSION
#define LUMEO_TOOL_VERSION "0"
#endif

namespace lumeo {
namespace {

// The Japan Post barcode drawn by its height alone is this many times as wide as high.
constexpr double kYubinWidthPerHeight = 22.5;

// Older spellings the tool still takes after TYPE, and the option each stands for.
const std::map<std::string, std::string> kOldSpellings = {
    {"--version", "--qr-version"},
    {"--size", "--code-size"},
    {"--ratio", "--aspect-ratio"},
};

// What each way of drawing does, for --help.
const std::map<std::string, std::string> kDrawHelp = {
    {"1d", "the symbol in a W x H box (default)"},
    {"2d", "a square W x W 2D symbol"},
    {"2d_rect", "a 2D symbol in a W x H box"},
    {"yubin", "the postal barcode by its height H"},
    {"yubin_with_width", "the postal barcode in a W x H box"},
    {"convenience", "the 44-digit payment barcode"},
    {"stacked", "DataBar Expanded in rows"},
};

const char* const kFormats[] = {"png", "png8", "svg"};

const TypeInfo& Info(int type)
{
    return TheCatalog().types.at(static_cast<size_t>(type));
}

TypeSet AllTypes()
{
    return (1ul << TheCatalog().types.size()) - 1;
}

// The types whose options the list shows together: the linear ones (all but the 2D symbols).
TypeSet LinearTypes()
{
    TypeSet set = 0;
    for (const DrawKind& d : TheCatalog().draws) {
        if (d.kind == "2d") {
            set = AllTypes() & ~d.types;
        }
    }
    return set;
}

const DrawKind* FindDraw(const std::string& kind)
{
    for (const DrawKind& d : TheCatalog().draws) {
        if (d.kind == kind) {
            return &d;
        }
    }
    return nullptr;
}

std::string Joined(const std::vector<std::string>& words, const char* between)
{
    std::string joined;
    for (const std::string& w : words) {
        joined += (joined.empty() ? "" : between) + w;
    }
    return joined;
}

std::string Number(double m)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", m);
    return text;
}

// What the value of an option looks like in the usage text.
std::string Placeholder(const ValueOption& o)
{
    switch (o.kind) {
    case Kind::Bool: return "0|1";
    case Kind::Color: return "R,G,B[,A]";
    case Kind::Double: return "F";
    case Kind::Int: return "N";
    case Kind::Choice: break;
    }
    // The last word of the option's name (error_correction_level: LEVEL), unless it is too
    // short to say anything (symbol_type_exp).
    std::string last = o.name.substr(o.name.rfind('_') + 1);
    if (last.size() <= 3 || std::any_of(last.begin(), last.end(), [](unsigned char c) { return !std::isalpha(c); })) {
        return "KIND";
    }
    std::transform(last.begin(), last.end(), last.begin(), [](unsigned char c) { return std::toupper(c); });
    return last;
}

// The values an option takes, in full, for --list and for messages.
std::string Range(const ValueOption& o)
{
    switch (o.kind) {
    case Kind::Bool: return "0|1";
    case Kind::Color: return "R,G,B[,A]";
    case Kind::Choice: return Joined(o.choices, "|");
    case Kind::Int:
    case Kind::Double: break;
    }
    const char* what = o.kind == Kind::Int ? "N" : "F";
    if (std::isinf(o.min) && std::isinf(o.max)) {
        return what;
    }
    if (std::isinf(o.max)) {
        return what + std::string(" >= ") + Number(o.min);
    }
    if (std::isinf(o.min)) {
        return what + std::string(" <= ") + Number(o.max);
    }
    if (std::fabs(o.min) >= 1e6 || std::fabs(o.max) >= 1e6) {
        return what; // any number a setter takes
    }
    return o.kind == Kind::Int ? Number(o.min) + "-" + Number(o.max)
                               : what + (" in " + Number(o.min) + ".." + Number(o.max));
}

void ListOptions(std::ostream& out, const char* indent, TypeSet types, int type)
{
    const TypeSet all = AllTypes();
    const TypeSet linear = LinearTypes();
    for (const ValueOption& o : TheCatalog().options) {
        if (type >= 0 ? Has(o.types, type) && o.types != all && o.types != linear : o.types == types) {
            out << indent << o.flag << ' ' << Range(o) << '\n';
        }
    }
}

// A type by name, alias or number; -1 when there is none.
int ParseType(const std::string& s)
{
    for (const TypeInfo& t : TheCatalog().types) {
        if (s == t.name || std::find(t.aliases.begin(), t.aliases.end(), s) != t.aliases.end()) {
            return t.number;
        }
    }
    try {
        const long long n = ToLong(s);
        return (n >= 0 && n < static_cast<long long>(TheCatalog().types.size())) ? static_cast<int>(n) : -1;
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

const ValueOption* FindOption(const std::string& flag)
{
    const auto old = kOldSpellings.find(flag);
    const std::string& name = old == kOldSpellings.end() ? flag : old->second;
    for (const ValueOption& o : TheCatalog().options) {
        if (name == o.flag) {
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
                throw UsageError(bad + " (one of " + Joined(o.choices, "|") + ")");
            }
            return;
        case Kind::Color:
            ToColor(v);
            return;
        case Kind::Bool:
        case Kind::Int:
        case Kind::Double: {
            const double n = o.kind == Kind::Double ? ToDouble(v) : static_cast<double>(ToLong(v));
            if (n < o.min || n > o.max) {
                throw UsageError(bad + " (" +
                                 (o.kind == Kind::Bool ? std::string("0 or 1")
                                                       : (o.kind == Kind::Int ? "a whole number" : "a number") +
                                                             std::string(std::isinf(o.min) ? "" : " from " + Number(o.min)) +
                                                             (std::isinf(o.max) ? "" : " to " + Number(o.max))) +
                                 ")");
            }
            return;
        }
        }
    } catch (const UsageError&) {
        throw;
    } catch (const std::exception&) {
        const char* what = o.kind == Kind::Color    ? " (R,G,B or R,G,B,A, each 0 to 255)"
                           : o.kind == Kind::Double ? " (a finite number)"
                           : o.kind == Kind::Bool   ? " (0 or 1)"
                                                    : " (a whole number)";
        throw UsageError(bad + what);
    }
}

// A box side in pixels: a whole number from 1 to the canvas limit.
int ToSide(const std::string& a, const std::string& v)
{
    const long long limit = TheCatalog().maxSide;
    long long n = 0;
    try {
        n = ToLong(v);
    } catch (const std::exception&) {
        throw UsageError("bad value for " + a + ": " + v + " (a whole number of pixels)");
    }
    if (n < 1 || n > limit) {
        throw UsageError("bad value for " + a + ": " + v + " (from 1 to " + std::to_string(limit) + " pixels)");
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
        const DrawKind* kind = FindDraw(v);
        if (kind == nullptr) {
            std::vector<std::string> kinds;
            for (const DrawKind& d : TheCatalog().draws) {
                kinds.push_back(d.kind);
            }
            throw UsageError("bad value for --draw: " + v + " (one of " + Joined(kinds, "|") + ")");
        }
        if (!Has(kind->types, r.type)) {
            NotFor("--draw " + v, r.type);
        }
        r.draw = v;
    } else {
        const ValueOption* option = FindOption(a);
        if (option == nullptr) {
            throw UsageError("unknown option " + a);
        }
        if (!Has(option->types, r.type)) {
            NotFor("option " + a, r.type);
        }
        CheckValue(*option, a, v);
        if (option->name == "foreground_color") {
            r.fg = ToColor(v);
        } else if (option->name == "background_color") {
            r.bg = ToColor(v);
        } else if (option->name == "px_adjust_black") {
            r.pxAdjustBlack = static_cast<int>(ToLong(v));
        }
        const auto apply = option->apply;
        r.setters.push_back([apply, v](void* h) { apply(h, v); });
    }
}

bool DrawRequest(void* h, const Request& r)
{
    const char* t = r.text.c_str();
    const std::string& f = FindDraw(r.draw)->function;
    if (f == "barcode_draw_2d") {
        return barcode_draw_2d(h, t, r.width);
    }
    if (f == "barcode_draw_2d_rect") {
        return barcode_draw_2d_rect(h, t, r.width, r.height);
    }
    if (f == "barcode_draw_yubin") {
        return barcode_draw_yubin(h, t, r.height);
    }
    if (f == "barcode_draw_yubin_with_width") {
        return barcode_draw_yubin_with_width(h, t, r.width, r.height);
    }
    if (f == "barcode_draw_convenience") {
        return barcode_draw_convenience(h, t, r.width, r.height);
    }
    if (f == "barcode_draw_stacked") {
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
    if (r.width == 0) {
        r.width = Info(r.type).defaultWidth;
    }
    if (r.height == 0) {
        r.height = Info(r.type).defaultHeight;
    }
    // The canvas the drawing function makes, against the library's limits.
    const std::vector<std::string>& box = FindDraw(r.draw)->arguments;
    const Catalog& c = TheCatalog();
    if (box == std::vector<std::string>{"height"}) {
        if (r.height * kYubinWidthPerHeight > static_cast<double>(c.maxSide)) {
            throw UsageError("bad value for --height: " + std::to_string(r.height) +
                             " (the Japan Post barcode is 22.5 times as wide as high: at most " +
                             std::to_string(static_cast<int>(static_cast<double>(c.maxSide) / kYubinWidthPerHeight)) +
                             " pixels)");
        }
    } else {
        const long long high = box == std::vector<std::string>{"size"} ? r.width : r.height;
        if (r.width * high > c.maxPixels) {
            throw UsageError("the box of " + std::to_string(r.width) + " x " + std::to_string(high) +
                             " pixels is beyond the limit of " + std::to_string(c.maxPixels) + " pixels in all");
        }
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
        for (const TypeInfo& t : TheCatalog().types) {
            Request r;
            r.type = t.number;
            try {
                ParseOption(r, a, options[i + 1]);
                accepted = true;
                break;
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
        throw DrawError(Info(r.type).title + " (type " + std::to_string(r.type) + ") is not built into this library");
    }
    for (const auto& set : r.setters) {
        set(h);
    }
    const bool svg = r.format == "svg";
    barcode_set_output_format(h, r.format.c_str());
    if (!DrawRequest(h, r)) {
        throw DrawError("the " + Info(r.type).title + " symbol could not be drawn from \"" + Shorten(r.text) + "\"" +
                        (r.format == "png" || svg ? "" : " as " + r.format) + ": " + LibraryReason(heard));
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
    out.warnings = Joined(heard.warnings, "; ");
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
    const Catalog& c = TheCatalog();
    out << "usage: lumeo TYPE TEXT -o FILE [options]   draw one symbol\n"
           "       lumeo batch FILE.csv DIR [options] one symbol per CSV line: TYPE,TEXT,FILE[,OPTIONS]\n"
           "       lumeo gallery DIR                  every symbology side by side in DIR/index.html\n"
           "       lumeo --list                       the types and the options each accepts\n"
           "       lumeo --help | --version           this text | the tool's and the library's versions\n\n"
           "TYPE is a type number (0-"
        << c.types.size() - 1 << ") or one of:";
    for (const TypeInfo& t : c.types) {
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
           "  --draw KIND             how to draw:\n";
    for (const DrawKind& d : c.draws) {
        const auto help = kDrawHelp.find(d.kind);
        std::string head = "    " + d.kind;
        head.resize(std::max<size_t>(head.size() + 1, 26), ' ');
        out << head << (help != kDrawHelp.end() ? help->second : d.function) << '\n';
    }
    out << "\nsymbol options (lumeo --list shows which types accept which):\n";
    std::map<std::string, std::string> old; // option -> its older spelling
    for (const auto& [spelling, flag] : kOldSpellings) {
        old[flag] = spelling;
    }
    for (const ValueOption& o : c.options) {
        std::string head = o.flag + ' ' + Placeholder(o);
        head.resize(std::max<size_t>(head.size() + 1, 24), ' ');
        out << "  " << head << o.help;
        if (o.kind == Kind::Choice && o.choices.size() <= 7) {
            out << ": " << Joined(o.choices, "|");
        }
        out << '\n';
        const auto spelling = old.find(o.flag);
        if (spelling != old.end()) {
            head = spelling->second + ' ' + Placeholder(o);
            head.resize(std::max<size_t>(head.size() + 1, 24), ' ');
            out << "  " << head << "same as " << o.flag << (o.flag == "--qr-version" ? " (after TYPE)" : "") << '\n';
        }
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
    const Catalog& c = TheCatalog();
    out << "Every type accepts:\n";
    ListOptions(out, "    ", AllTypes(), -1);
    out << "Linear types also accept:\n";
    ListOptions(out, "    ", LinearTypes(), -1);
    out << "Types, their quiet zones (in modules) and their own options:\n";
    for (const TypeInfo& t : c.types) {
        out << (t.number < 10 ? " " : "") << t.number << "  " << t.name << " - " << t.title;
        if (!t.aliases.empty()) {
            out << " (also " << Joined(t.aliases, ", ") << ")";
        }
        out << (t.built ? "" : " (not built into this library)") << '\n';
        out << "    quiet zone " << Number(t.quiet.left) << " left, " << Number(t.quiet.right) << " right, "
            << Number(t.quiet.vertical) << " above and below\n    --draw";
        for (const DrawKind& d : c.draws) {
            if (Has(d.types, t.number)) {
                out << ' ' << d.kind;
            }
        }
        out << '\n';
        ListOptions(out, "    ", 0, t.number);
    }
}

} // namespace lumeo
