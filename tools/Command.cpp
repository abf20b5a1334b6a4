// SPDX-License-Identifier: MIT
#include "Command.h"

#include "Catalog.h"
#include "Gs1.h"
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

// Its bars are a sixth of its height wide: the module of its sizing.
constexpr int kYubinHeightPerModule = 6;

// Sizing by module: the widest module the tool draws, and the default modules (no --width,
// --height or --module): linear symbols, 2D symbols.
constexpr int kMaxModule = 500;
constexpr int kLinearModule = 2;
constexpr int kMatrixModule = 4;

constexpr double kMmPerInch = 25.4;

// Options that take no value.
const char* const kFlags[] = {"--verbose", "--no-gs1-check"};

bool IsFlag(const std::string& a)
{
    return std::find(std::begin(kFlags), std::end(kFlags), a) != std::end(kFlags);
}

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

// A length: a positive number with a unit of mm, in or mil (none: millimetres for --x-dim,
// modules for --bar-height); returns it in millimetres (or modules), `unit` telling whether a
// unit was given.
double ToMillimetres(const std::string& a, const std::string& v, bool* unit)
{
    static const std::pair<const char*, double> kUnits[] = {{"mm", 1.0}, {"mil", kMmPerInch / 1000}, {"in", kMmPerInch}};
    std::string number = v;
    double scale = 1;
    *unit = false;
    for (const auto& [name, mm] : kUnits) {
        if (EndsWith(v, name) && v.size() > std::strlen(name)) {
            number = v.substr(0, v.size() - std::strlen(name));
            scale = mm;
            *unit = true;
            break;
        }
    }
    double n = 0;
    try {
        n = ToDouble(number);
    } catch (const std::exception&) {
    }
    const double limit = a == "--bar-height" && !*unit ? 10000 : 1000; // modules, or millimetres
    if (!(n > 0) || n * scale > limit) {
        throw UsageError("bad value for " + a + ": " + v +
                         (a == "--bar-height" ? " (a number of modules, or a length such as 15mm, 0.6in or 600mil)"
                                              : " (a length such as 0.33mm, 0.013in or 13mil; a plain number is mm)"));
    }
    return n * scale;
}

// Applies one option with its value to the request; throws UsageError with a reason.
void ParseOption(Request& r, const std::string& a, const std::string& v)
{
    if (v.find('\0') != std::string::npos) {
        throw UsageError("the value of " + a + " holds a NUL byte");
    }
    if (a == "-o" || a == "--output") {
        r.output = v;
    } else if (a == "--module") {
        long long n = 0;
        try {
            n = ToLong(v);
        } catch (const std::exception&) {
        }
        if (n < 1 || n > kMaxModule) {
            throw UsageError("bad value for --module: " + v + " (a whole number of pixels from 1 to " +
                             std::to_string(kMaxModule) + ")");
        }
        r.module = static_cast<int>(n);
    } else if (a == "--dpi") {
        double d = 0;
        try {
            d = ToDouble(v);
        } catch (const std::exception&) {
        }
        if (!(d >= 1 && d <= 100000)) {
            throw UsageError("bad value for --dpi: " + v + " (dots per inch, from 1 to 100000)");
        }
        r.dpi = d;
    } else if (a == "--x-dim") {
        bool unit = false;
        r.xDimMm = ToMillimetres(a, v, &unit);
    } else if (a == "--bar-height") {
        r.barHeight = ToMillimetres(a, v, &r.barHeightIsLength);
    } else if (a == "--rotate") {
        if (v != "0" && v != "90" && v != "180" && v != "270") {
            throw UsageError("bad value for --rotate: " + v + " (0, 90, 180 or 270 degrees clockwise)");
        }
        r.rotate = std::stoi(v);
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
        } else if (option->name == "px_adjust_white") {
            r.pxAdjustWhite = static_cast<int>(ToLong(v));
        } else if (option->name == "fit_width") {
            r.fitWidth = ToLong(v) != 0;
        } else if (option->name == "y_height") {
            r.yHeight = static_cast<int>(ToLong(v));
        }
        const auto apply = option->apply;
        r.setters.push_back([apply, v](void* h) { apply(h, v); });
    }
}

bool DrawRequest(void* h, const std::string& draw, const std::string& text, int width, int height)
{
    const char* t = text.c_str();
    const std::string& f = FindDraw(draw)->function;
    if (f == "barcode_draw_2d") {
        return barcode_draw_2d(h, t, width);
    }
    if (f == "barcode_draw_2d_rect") {
        return barcode_draw_2d_rect(h, t, width, height);
    }
    if (f == "barcode_draw_yubin") {
        return barcode_draw_yubin(h, t, height);
    }
    if (f == "barcode_draw_yubin_with_width") {
        return barcode_draw_yubin_with_width(h, t, width, height);
    }
    if (f == "barcode_draw_convenience") {
        return barcode_draw_convenience(h, t, width, height);
    }
    if (f == "barcode_draw_stacked") {
        return barcode_draw_stacked(h, t, width, height);
    }
    return barcode_draw_1d(h, t, width, height);
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

// Why the draw of the request failed, with the text it was given.
std::string Failure(const Request& r, const Heard& heard)
{
    return "the " + Info(r.type).title + " symbol could not be drawn from \"" + Shorten(r.text) + "\"" +
           (r.format == "png" || r.format == "svg" ? "" : " as " + r.format) + ": " + LibraryReason(heard);
}

// The text the library draws: a GS1 element string (GS1-128 and the DataBar types; the 2D
// symbols have no GS1 form in the library's drawing functions) checked and written in the
// library's syntax; any other text as it is. Throws DrawError with the reason of a refused
// element string.
std::string LibraryText(const Request& r)
{
    if (!gs1::TakesElementString(r.type) || r.draw == "convenience") {
        return r.text;
    }
    const gs1::Result<std::string> text = r.gs1Check ? gs1::Prepare(r.text, r.type) : gs1::PrepareUnchecked(r.text, r.type);
    if (!text) {
        throw DrawError("the GS1 element string \"" + Shorten(r.text) + "\" is refused: " + text.error +
                        (r.gs1Check ? " (--no-gs1-check draws it unchecked)" : ""));
    }
    return text.value;
}

struct Box
{
    int width = 0;
    int height = 0;
};

// One trial draw of the sizing, as SVG with the trial settings: where its dark rectangles lie,
// or nothing (found false) when the box is too small for the symbol. Throws DrawError for any
// other failure, which no box mends.
SymbolExtent Trial(void* h, const Request& r, Heard& heard, int width, int height)
{
    heard.errors.clear();
    barcode_set_output_format(h, "svg");
    if (DrawRequest(h, r.draw, r.text, width, height)) {
        return MeasureSvg(barcode_get_svg(h), r.fg);
    }
    if (std::string(lumeo_last_error_code()) != "canvas_limit") {
        throw DrawError(Failure(r, heard));
    }
    return {};
}

// The smallest n in [1, limit] for which `passes(n)` holds, searched from `guess` in steps
// that double, then halved; 0 when not even `limit` passes. `passes` must hold from some n on.
int SmallestPassing(long long guess, int limit, const std::function<bool(int)>& passes)
{
    int lo = 0; // fails (0: nothing below was tried or all pass)
    int hi = static_cast<int>(std::clamp<long long>(guess, 1, limit));
    if (passes(hi)) {
        for (int step = 1; hi > 1; step *= 2) {
            const int below = std::max(hi - step, 1);
            if (!passes(below)) {
                lo = below;
                break;
            }
            hi = below;
        }
    } else {
        lo = hi;
        for (int step = 1;; step *= 2) {
            if (lo >= limit) {
                return 0;
            }
            const int above = static_cast<int>(std::min<long long>(static_cast<long long>(lo) + step, limit));
            if (passes(above)) {
                hi = above;
                break;
            }
            lo = above;
        }
    }
    while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        (passes(mid) ? hi : lo) = mid;
    }
    return hi;
}

[[noreturn]] void TooLarge(const Request& r, const std::string& what)
{
    throw DrawError("the " + Info(r.type).title + " symbol at " + std::to_string(r.module) +
                    " pixels a module needs " + what + " (the canvas limit is " +
                    std::to_string(TheCatalog().maxSide) + " pixels a side, " +
                    std::to_string(TheCatalog().maxPixels) + " in all)");
}

// The box of a linear symbol: the narrowest width at which its module is r.module pixels, at
// the box height given, or at the one whose bars are r.barHeightPx high.
Box SizeLinear(void* h, const Request& r, Heard& heard)
{
    const Catalog& c = TheCatalog();
    const int side = static_cast<int>(c.maxSide);
    Box box{Info(r.type).defaultWidth, r.height > 0 ? r.height : Info(r.type).defaultHeight};
    // A first estimate from the symbol stretched over a box: its SVG keeps the exact share of
    // the box, so the width for r.module pixels a module follows by proportion (exactly for
    // symbols flush with their box; the search below corrects the others).
    barcode_set_fit_width(h, 1);
    SymbolExtent stretched;
    for (int width = box.width;; width = static_cast<int>(std::min<long long>(4LL * width, side))) {
        stretched = Trial(h, r, heard, width, box.height);
        if (stretched.found && stretched.module >= 0.05) {
            box.width = width;
            break;
        }
        if (width >= side) {
            TooLarge(r, "more than " + std::to_string(side) + " pixels across");
        }
    }
    barcode_set_fit_width(h, 0);
    const auto widthFor = [&](int height, long long guess) {
        const int width = SmallestPassing(guess, side, [&](int w) {
            if (static_cast<long long>(w) * height > c.maxPixels) {
                return true; // beyond the limits: the draw below says so
            }
            const SymbolExtent e = Trial(h, r, heard, w, height);
            return e.found && std::lround(e.module) >= r.module;
        });
        if (width == 0) {
            TooLarge(r, "more than " + std::to_string(side) + " pixels across");
        }
        return width;
    };
    const long long guess = std::llround(std::ceil(box.width * r.module / stretched.module - 1e-6));
    box.width = widthFor(box.height, guess);
    if (r.barHeightPx > 0) {
        const SymbolExtent now = Trial(h, r, heard, box.width, box.height);
        const double bars = now.found ? now.bottom - now.top : box.height;
        const int height = SmallestPassing(box.height + std::llround(r.barHeightPx - bars), side, [&](int height) {
            if (static_cast<long long>(box.width) * height > c.maxPixels) {
                return true;
            }
            const SymbolExtent e = Trial(h, r, heard, box.width, height);
            return e.found && e.bottom - e.top >= r.barHeightPx - 1e-6;
        });
        if (height == 0) {
            TooLarge(r, "bars more than " + std::to_string(side) + " pixels high");
        }
        // The text under the bars grows with the box and may take a little more width.
        box.width = widthFor(height, box.width);
        box.height = height;
    }
    return box;
}

// The box of a 2D symbol: its modules counted on one trial draw, times r.module (PDF417 rows
// are y-height modules high).
Box SizeMatrix(void* h, const Request& r, Heard& heard)
{
    const Catalog& c = TheCatalog();
    const TypeInfo& info = Info(r.type);
    const bool pdf417 = info.name == "pdf417";
    SymbolExtent e;
    for (long long side = std::max(info.defaultWidth, info.defaultHeight);; side *= 2) {
        e = Trial(h, r, heard, static_cast<int>(side), static_cast<int>(side));
        if (e.found) {
            break;
        }
        if (side * side * 4 > c.maxPixels) {
            TooLarge(r, "a box beyond the canvas limit");
        }
    }
    const long long columns = std::llround((e.right - e.left) / e.module);
    const long long rows = std::llround((e.bottom - e.top) / e.moduleHeight);
    long long rowModules = 1;
    if (pdf417) {
        rowModules = r.yHeight;
        for (const ValueOption& o : c.options) {
            if (rowModules < 1 && o.name == "y_height") {
                rowModules = std::llround(o.defaultNumber);
            }
        }
        rowModules = std::max<long long>(rowModules, 1);
    }
    long long width = columns * r.module;
    long long height = rows * rowModules * r.module;
    if (FindDraw(r.draw)->arguments == std::vector<std::string>{"size"}) {
        // A square request of PDF417 keeps its height and takes its natural width.
        width = height = pdf417 ? height : std::max(width, height);
    }
    if (width > c.maxSide || height > c.maxSide || width * height > c.maxPixels) {
        TooLarge(r, std::to_string(width) + " x " + std::to_string(height) + " pixels");
    }
    return Box{static_cast<int>(width), static_cast<int>(height)};
}

// The box in which the symbol is drawn at r.module pixels a module. The trial draws run without
// the bar adjustments and without fit width; the adjustments are put back after them.
Box SizeByModule(void* h, const Request& r, Heard& heard)
{
    const TypeInfo& info = Info(r.type);
    if (info.name == "yubin") {
        return Box{info.defaultWidth, r.height}; // its width follows its height
    }
    barcode_set_fit_width(h, 0);
    barcode_set_px_adjust_black(h, 0);
    barcode_set_px_adjust_white(h, 0);
    const Box box = info.linear ? SizeLinear(h, r, heard) : SizeMatrix(h, r, heard);
    barcode_set_px_adjust_black(h, r.pxAdjustBlack);
    barcode_set_px_adjust_white(h, r.pxAdjustWhite);
    return box;
}

// Pixels as a length at the request's resolution, for --verbose: " (0.254 mm)".
std::string Length(double pixels, const Request& r)
{
    return r.dpi > 0 ? " (" + Number(pixels * kMmPerInch / r.dpi) + " mm)" : std::string();
}

// What --verbose reports: the module and image sizes drawn.
std::string Notes(const Request& r, const std::string& image)
{
    std::string notes;
    if (r.byModule) {
        notes = "module " + std::to_string(r.module) + " px" + Length(r.module, r);
        if (r.xDimMm > 0) {
            notes += " for --x-dim " + Number(r.xDimMm) + " mm at " + Number(r.dpi) + " dpi";
        }
        if (r.barHeightPx > 0) {
            notes += ", bars " + std::to_string(r.barHeightPx) + " px" + Length(r.barHeightPx, r) + " high";
        }
        notes += "; ";
    }
    long long width = 0;
    long long height = 0;
    if (ImageSize(image, &width, &height)) {
        notes += "image " + std::to_string(width) + " x " + std::to_string(height) + " px";
        if (r.dpi > 0) {
            notes += " (" + Number(width * kMmPerInch / r.dpi) + " x " + Number(height * kMmPerInch / r.dpi) +
                     " mm at " + Number(r.dpi) + " dpi)";
        }
        if (r.rotate != 0) {
            notes += ", turned " + std::to_string(r.rotate) + " degrees";
        }
    }
    return notes;
}

// Applies the options in `args` from `first` on, in order: a later value wins.
void ParseOptions(Request& r, const std::vector<std::string>& args, size_t first)
{
    for (size_t i = first; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--verbose") {
            r.verbose = true;
            continue;
        }
        if (a == "--no-gs1-check") {
            r.gs1Check = false;
            continue;
        }
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
    const Catalog& c = TheCatalog();
    const TypeInfo& info = Info(r.type);
    const bool byHeight = FindDraw(r.draw)->arguments == std::vector<std::string>{"height"};
    const bool yubin = byHeight || info.name == "yubin";
    const bool asked = r.module > 0 || r.xDimMm > 0 || r.barHeight > 0;
    if (r.module > 0 && r.xDimMm > 0) {
        throw UsageError("--module and --x-dim both give the module width: give one");
    }
    if (r.xDimMm > 0 && r.dpi <= 0) {
        throw UsageError("--x-dim needs --dpi (the printer's dots per inch) to become pixels");
    }
    if (r.barHeightIsLength && r.dpi <= 0) {
        throw UsageError("--bar-height in mm, in or mil needs --dpi (the printer's dots per inch)");
    }
    if (r.barHeight > 0 && (!info.linear || yubin)) {
        NotFor(std::string("--bar-height") + (yubin ? " (its bars follow the module)" : ""), r.type);
    }
    if (asked && r.width > 0) {
        throw UsageError("--width fixes the box, while --module, --x-dim and --bar-height size it from the symbol: "
                         "give one or the other");
    }
    if (r.barHeight > 0 && r.height > 0) {
        throw UsageError("--bar-height and --height both set the height: give one");
    }
    if (asked && r.height > 0 && (!info.linear || yubin)) {
        throw UsageError("the box of a " + info.title + " symbol sized by module follows the symbol: --height goes "
                         "with --width only");
    }
    if (asked && r.fitWidth) {
        throw UsageError("--fit-width stretches the symbol over a --width box; it does not go with --module, "
                         "--x-dim or --bar-height");
    }
    r.byModule = asked || (r.width == 0 && r.height == 0 && !r.fitWidth);
    if (r.byModule) {
        if (r.xDimMm > 0) {
            const double px = std::round(r.xDimMm * r.dpi / kMmPerInch);
            if (px < 1 || px > kMaxModule) {
                throw UsageError("--x-dim " + Number(r.xDimMm) + "mm at " + Number(r.dpi) + " dpi is " +
                                 Number(r.xDimMm * r.dpi / kMmPerInch) + " pixels a module: it must come to 1 to " +
                                 std::to_string(kMaxModule));
            }
            r.module = static_cast<int>(px);
        } else if (r.module == 0) {
            r.module = info.linear ? kLinearModule : kMatrixModule;
        }
        if (r.barHeight > 0) {
            const double px = r.barHeightIsLength ? r.barHeight * r.dpi / kMmPerInch : r.barHeight * r.module;
            if (std::round(px) < 1 || px > static_cast<double>(c.maxSide)) {
                throw UsageError("--bar-height comes to " + Number(px) + " pixels: it must come to 1 to " +
                                 std::to_string(c.maxSide));
            }
            r.barHeightPx = static_cast<int>(std::round(px));
        }
        if (yubin) {
            r.height = r.module * kYubinHeightPerModule;
        }
        if (byHeight && r.height * kYubinWidthPerHeight > static_cast<double>(c.maxSide)) {
            throw UsageError("the Japan Post barcode at " + std::to_string(r.module) + " pixels a module is beyond " +
                             "the canvas limit of " + std::to_string(c.maxSide) + " pixels across");
        }
    } else {
        if (r.width == 0) {
            r.width = info.defaultWidth;
        }
        if (r.height == 0) {
            r.height = info.defaultHeight;
        }
        // The canvas the drawing function makes, against the library's limits.
        const std::vector<std::string>& box = FindDraw(r.draw)->arguments;
        if (byHeight) {
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
    }
    const size_t nul = r.text.find('\0');
    if (nul != std::string::npos) {
        throw DrawError("the text holds a NUL byte (at byte " + std::to_string(nul + 1) +
                        "), which cannot be drawn: the text would end there");
    }
    return r;
}

int TypeNumber(const std::string& name)
{
    return ParseType(name);
}

void CheckSharedOptions(const std::vector<std::string>& options)
{
    for (size_t i = 0; i < options.size(); i += 2) {
        const std::string& a = options[i];
        if (a == "-o" || a == "--output") {
            throw UsageError("batch takes no " + a + ": each line names its file inside DIR");
        }
        if (IsFlag(a)) {
            --i; // no value follows
            continue;
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

Rendered Produce(const Request& request)
{
    Request r = request;
    r.text = LibraryText(r);
    Heard heard;
    const Listening listening(heard);
    Handle h(r.type);
    if (h == nullptr) {
        throw DrawError(Info(r.type).title + " (type " + std::to_string(r.type) + ") is not built into this library");
    }
    for (const auto& set : r.setters) {
        set(h);
    }
    if (r.byModule) {
        const Box box = SizeByModule(h, r, heard);
        r.width = box.width;
        r.height = box.height;
        heard.errors.clear();
    }
    const bool svg = r.format == "svg";
    barcode_set_output_format(h, r.format.c_str());
    if (!DrawRequest(h, r.draw, r.text, r.width, r.height)) {
        const std::string reason = Failure(r, heard);
        if (!r.byModule || Info(r.type).name == "yubin") {
            throw DrawError(reason);
        }
        // The box was sized by trial draws as SVG without the bar adjustments: the black one
        // may widen the last bar past it, and a raster's text (set in its own font) may need a
        // few pixels more than the SVG's. A wider box keeps the module up to the next one.
        const bool linear = Info(r.type).linear;
        const long long room = linear ? static_cast<long long>(r.width) * (r.module + 1) / r.module - 1
                                      : static_cast<long long>(r.width) + std::max(r.pxAdjustBlack, 0);
        const int limit = static_cast<int>(std::min<long long>(room, TheCatalog().maxSide));
        const int width = SmallestPassing(r.width + 1, limit, [&](int w) {
            heard.errors.clear();
            return DrawRequest(h, r.draw, r.text, w, linear ? r.height : r.height + (w - r.width));
        });
        if (width == 0) {
            throw DrawError(reason);
        }
        r.height += linear ? 0 : width - r.width;
        r.width = width;
        if (!DrawRequest(h, r.draw, r.text, r.width, r.height)) {
            throw DrawError(Failure(r, heard));
        }
    }
    Rendered out;
    const std::string image = Result(h, svg);
    if (image.empty()) {
        throw DrawError("the library returned no " + r.format + " image: " + LibraryReason(heard));
    }
    Margins m{r.margin, r.margin, r.margin, r.margin};
    double drawnModule = 0;
    if (r.margin < 0) {
        std::string document = svg ? image : std::string();
        if (document.empty()) {
            barcode_set_output_format(h, "svg");
            document = DrawRequest(h, r.draw, r.text, r.width, r.height) ? barcode_get_svg(h) : "";
        }
        const SymbolExtent extent = MeasureSvg(document, r.fg);
        if (!extent.found) {
            throw DrawError("cannot measure the module width of the symbol; give --margin N");
        }
        m = QuietZoneMargins(extent, Info(r.type).quiet, r.pxAdjustBlack);
        drawnModule = extent.module;
    }
    if (r.byModule && drawnModule > 0 && r.pxAdjustBlack == 0 && std::lround(drawnModule) != r.module) {
        // Sizing by module promises the module: a layout it does not know fails loudly.
        throw DrawError("the box sized for " + std::to_string(r.module) + " pixels a module drew " +
                        Number(drawnModule) + " pixels a module; give --width and --height");
    }
    try {
        out.bytes = svg ? FrameSvg(image, m, r.bg, r.rotate) : FramePng(image, m, r.bg, r.rotate);
    } catch (const std::exception& e) {
        throw DrawError(e.what());
    }
    out.warnings = Joined(heard.warnings, "; ");
    if (r.verbose) {
        out.notes = Notes(r, out.bytes);
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
           "  --module N              pixels a module; the box follows the symbol, so it always fits\n"
           "                          (default without --width or --height: 2, 2D symbols 4)\n"
           "  --dpi D --x-dim L       the module as a length (0.33mm, 0.013in, 13mil; a plain number\n"
           "                          is mm) at D dots per inch, rounded to whole pixels\n"
           "  --bar-height B          linear bars B modules high, or a length (15mm) with --dpi\n"
           "  --width W, --height H   a fixed box in pixels instead (default 400 x 150; 2D: 300 x 300);\n"
           "                          a symbol that does not fit it fails; --height alone with --module\n"
           "                          keeps the box height of a linear symbol\n"
           "  --rotate 0|90|180|270   turn the image clockwise (vertical labels)\n"
           "  --verbose               report the module and image sizes on standard error\n"
           "  --no-gs1-check          draw GS1 element strings without checking them\n"
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
    out << "\nGS1: GS1-128 and the DataBar types check element strings against the AI table (lengths,\n"
           "characters, check digits, dates) and take the bracket form \"(01)04912345678904(15)261231\"\n"
           "as well as the library's own \"{FNC1}0104912345678904{AI}15261231\"; DataBar also takes a\n"
           "GTIN-14 whose check digit is right.\n"
           "\nbatch: options after DIR apply to every line; a line's own options (fourth field) win.\n"
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
           "  lumeo code128 PARCEL-2024-00815 --dpi 300 --x-dim 0.33mm --bar-height 15mm -o p.png\n"
           "  lumeo gs1-128 \"(01)04912345678904(15)261231\" --module 3 --rotate 90 -o side.svg\n"
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
