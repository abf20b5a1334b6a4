// SPDX-License-Identifier: MIT
// The one table of the library's types and options: numbers, names and aliases, the options each
// type accepts (with the C setter, value type, range and default), the drawing functions, the
// quiet zone of each symbology's standard and a default box. lumeo_describe() prints it as JSON;
// the lumeo tool may include this header directly (it holds data only, no code to link).
#pragma once

#include <cstddef>

namespace lumeo_table {

template <class T>
struct List
{
    const T* items;
    std::size_t count;

    constexpr const T* begin() const { return items; }

    constexpr const T* end() const { return items + count; }
};

template <class T, std::size_t N>
constexpr List<T> ListOf(const T (&items)[N])
{
    return {items, N};
}

// A set of type numbers, one bit each.
using TypeSet = unsigned long;

constexpr int kTypeCount = 19;
constexpr TypeSet kAllTypes = (1ul << kTypeCount) - 1;
constexpr TypeSet kLinearTypes = (1ul << 16) - 1;
constexpr TypeSet k2DTypes = (1ul << 16) | (1ul << 17) | (1ul << 18);

constexpr TypeSet Bit(int type)
{
    return 1ul << type;
}

constexpr bool Has(TypeSet set, int type)
{
    return type >= 0 && type < kTypeCount && ((set >> type) & 1ul) != 0;
}

// The margin a symbology's standard asks for, in modules (the narrowest bar or space of the
// drawn symbol). Linear codes get 2 modules above and below, which their standards leave open.
struct QuietZone
{
    double left;
    double right;
    double vertical; // above and below
};

// Japan Post asks for 2 mm around bars 0.6 mm wide: 10/3 modules.
constexpr double kYubinQuiet = 10.0 / 3.0;

struct TypeRow
{
    int number;
    const char* name;  // the lumeo tool's and the Python package's name
    const char* title; // for people
    List<const char*> aliases;
    QuietZone quiet;
    int defaultWidth; // the box drawn when the caller gives none
    int defaultHeight;
};

inline constexpr const char* kNoAliases[] = {""};
inline constexpr const char* kGs1128Aliases[] = {"gs1_128", "ean128"};
inline constexpr const char* kNw7Aliases[] = {"codabar"};
inline constexpr const char* kJan8Aliases[] = {"ean8"};
inline constexpr const char* kJan13Aliases[] = {"ean13"};
inline constexpr const char* kItfAliases[] = {"interleaved2of5"};
inline constexpr const char* kDataBar14Aliases[] = {"gs1databar14", "databar-omnidirectional"};
inline constexpr const char* kDataBarLimitedAliases[] = {"gs1databarlimited"};
inline constexpr const char* kDataBarExpandedAliases[] = {"gs1databarexpanded"};
inline constexpr const char* kYubinAliases[] = {"yubincustomer", "japanpost"};
inline constexpr const char* kQrAliases[] = {"qrcode"};

constexpr List<const char*> kNone{kNoAliases, 0};

inline constexpr TypeRow kTypes[] = {
    {0, "code39", "Code 39", kNone, {10, 10, 2}, 400, 150},
    {1, "code93", "Code 93", kNone, {10, 10, 2}, 400, 150},
    {2, "code128", "Code 128", kNone, {10, 10, 2}, 400, 150},
    {3, "gs1-128", "GS1-128", ListOf(kGs1128Aliases), {10, 10, 2}, 400, 150},
    {4, "nw7", "NW-7 (Codabar)", ListOf(kNw7Aliases), {10, 10, 2}, 400, 150},
    {5, "matrix2of5", "Matrix 2 of 5", kNone, {10, 10, 2}, 400, 150},
    {6, "nec2of5", "NEC 2 of 5", kNone, {10, 10, 2}, 400, 150},
    {7, "jan8", "JAN-8 (EAN-8)", ListOf(kJan8Aliases), {7, 7, 2}, 400, 150},
    {8, "jan13", "JAN-13 (EAN-13)", ListOf(kJan13Aliases), {11, 7, 2}, 400, 150},
    {9, "upca", "UPC-A", kNone, {9, 9, 2}, 400, 150},
    {10, "upce", "UPC-E", kNone, {9, 7, 2}, 400, 150},
    {11, "itf", "ITF (Interleaved 2 of 5)", ListOf(kItfAliases), {10, 10, 2}, 400, 150},
    {12, "databar14", "GS1 DataBar Omnidirectional", ListOf(kDataBar14Aliases), {1, 1, 1}, 400, 150},
    {13, "databar-limited", "GS1 DataBar Limited", ListOf(kDataBarLimitedAliases), {1, 5, 1}, 400, 150},
    {14, "databar-expanded", "GS1 DataBar Expanded", ListOf(kDataBarExpandedAliases), {1, 1, 1}, 400, 150},
    {15,
     "yubin",
     "Japan Post customer barcode",
     ListOf(kYubinAliases),
     {kYubinQuiet, kYubinQuiet, kYubinQuiet},
     400,
     150},
    {16, "qr", "QR Code", ListOf(kQrAliases), {4, 4, 4}, 300, 300},
    {17, "datamatrix", "Data Matrix", kNone, {1, 1, 1}, 300, 300},
    {18, "pdf417", "PDF417", kNone, {2, 2, 2}, 300, 300},
};
static_assert(sizeof(kTypes) / sizeof(kTypes[0]) == kTypeCount, "one row per type number");

// The drawing functions: the kind names of the tool and the Python package, and the box
// arguments each takes after the text.
struct DrawRow
{
    const char* kind;
    const char* function;
    TypeSet types;
    List<const char*> arguments;
};

inline constexpr const char* kWidthHeight[] = {"width", "height"};
inline constexpr const char* kSize[] = {"size"};
inline constexpr const char* kHeight[] = {"height"};

inline constexpr DrawRow kDraws[] = {
    {"1d", "barcode_draw_1d", kAllTypes, ListOf(kWidthHeight)},
    {"2d", "barcode_draw_2d", k2DTypes, ListOf(kSize)},
    {"2d_rect", "barcode_draw_2d_rect", k2DTypes, ListOf(kWidthHeight)},
    {"yubin", "barcode_draw_yubin", Bit(15), ListOf(kHeight)},
    {"yubin_with_width", "barcode_draw_yubin_with_width", Bit(15), ListOf(kWidthHeight)},
    {"convenience", "barcode_draw_convenience", Bit(3), ListOf(kWidthHeight)},
    {"stacked", "barcode_draw_stacked", Bit(14), ListOf(kWidthHeight)},
};

// What an option's setter takes.
enum class ValueKind
{
    Bool,   // int, 0 or non-zero
    Int,    // int within [min, max]
    Double, // double within [min, max]; a bound that is absent is "none"
    Choice, // one of the strings, matched exactly
    Color   // four ints r, g, b, a, each 0..255
};

struct OptionRow
{
    const char* name;   // the setter without "barcode_set_"; the Python keyword
    const char* setter; // the C function
    ValueKind kind;
    TypeSet types;
    double min; // Int and Double
    double max;
    bool hasMin;
    bool hasMax;
    List<const char*> choices; // Choice
    const char* defaultJson;   // the default as a JSON value
    int otherDefaultType;      // a type whose default differs (-1: none)
    const char* otherDefaultJson;
    const char* flag; // the lumeo tool's option
    const char* help;
};

inline constexpr const char* kFormats[] = {"png", "png8", "jpg", "jpeg", "svg", "SVG"};
inline constexpr const char* kCodeModes[] = {"A", "B", "C", "AUTO"};
inline constexpr const char* kEncodings[] = {"utf-8", "UTF-8", "shift-jis", "Shift-JIS", "shift_jis"};
inline constexpr const char* kQrLevels[] = {"L", "M", "Q", "H"};
inline constexpr const char* kQrModes[] = {"AUTO", "BYTE", "NUMERIC", "ALPHANUMERIC", "KANJI"};
inline constexpr const char* kCodeSizes[] = {
    "AUTO",    "10x10",   "12x12",   "14x14", "16x16", "18x18", "20x20", "22x22", "24x24", "26x26", "32x32",
    "36x36",   "40x40",   "44x44",   "48x48", "52x52", "64x64", "72x72", "80x80", "88x88", "96x96", "104x104",
    "120x120", "132x132", "144x144", "8x18",  "8x32",  "12x26", "12x36", "16x36", "16x48"};
inline constexpr const char* kSchemes[] = {"AUTO", "ASCII", "C40", "TEXT", "X12", "EDIFACT", "BASE256"};
inline constexpr const char* kLayouts14[] = {"OMNIDIRECTIONAL", "STACKED", "STACKED_OMNIDIRECTIONAL"};
inline constexpr const char* kLayoutsExp[] = {"UNSTACKED", "STACKED"};

constexpr double kIntMin = -2147483648.0;
constexpr double kIntMax = 2147483647.0;

constexpr List<const char*> kNoChoices{kNoAliases, 0};

constexpr OptionRow Flag(const char* name, const char* setter, TypeSet types, const char* defaultJson, const char* flag,
                         const char* help)
{
    return {name, setter, ValueKind::Bool, types, 0, 1, true, true, kNoChoices, defaultJson, -1, nullptr, flag, help};
}

constexpr OptionRow Number(const char* name, const char* setter, ValueKind kind, TypeSet types, double min, double max,
                           bool hasMin, bool hasMax, const char* defaultJson, const char* flag, const char* help)
{
    return {name, setter, kind, types, min, max, hasMin, hasMax, kNoChoices, defaultJson, -1, nullptr, flag, help};
}

constexpr OptionRow Choice(const char* name, const char* setter, TypeSet types, List<const char*> choices,
                           const char* defaultJson, const char* flag, const char* help)
{
    return {name, setter, ValueKind::Choice, types, 0, 0, false, false, choices, defaultJson, -1, nullptr, flag, help};
}

inline constexpr OptionRow kOptions[] = {
    Choice("output_format", "barcode_set_output_format", kAllTypes, ListOf(kFormats), "\"png\"", "--format",
           "output format"),
    {"foreground_color", "barcode_set_foreground_color", ValueKind::Color, kAllTypes, 0, 255, true, true, kNoChoices,
     "[0,0,0,255]", -1, nullptr, "--fg", "bar colour"},
    {"background_color", "barcode_set_background_color", ValueKind::Color, kAllTypes, 0, 255, true, true, kNoChoices,
     "[255,255,255,255]", -1, nullptr, "--bg", "background colour"},
    Number("px_adjust_black", "barcode_set_px_adjust_black", ValueKind::Int, kAllTypes, kIntMin, kIntMax, true, true,
           "0", "--px-black", "pixels added to every bar"),
    Number("px_adjust_white", "barcode_set_px_adjust_white", ValueKind::Int, kAllTypes, kIntMin, kIntMax, true, true,
           "0", "--px-white", "pixels added to every space"),
    {"fit_width", "barcode_set_fit_width", ValueKind::Bool, kAllTypes, 0, 1, true, true, kNoChoices, "false", 3, "true",
     "--fit-width", "keep fractional module widths"},
    Flag("show_text", "barcode_set_show_text", kLinearTypes, "true", "--show-text", "human-readable text"),
    Number("text_font_scale", "barcode_set_text_font_scale", ValueKind::Double, kLinearTypes, 0, 0, true, false, "1.0",
           "--font-scale", "text size factor"),
    Number("text_gap", "barcode_set_text_gap", ValueKind::Double, kLinearTypes, 0, 0, false, false, "1.0", "--text-gap",
           "gap factor between bars and text"),
    Flag("text_even_spacing", "barcode_set_text_even_spacing", kLinearTypes, "true", "--even-spacing",
         "spread the text characters"),
    Flag("show_start_stop", "barcode_set_show_start_stop", Bit(0) | Bit(4), "true", "--start-stop",
         "print the start/stop characters"),
    Choice("code_mode", "barcode_set_code_mode", Bit(2), ListOf(kCodeModes), "\"AUTO\"", "--code-mode",
           "Code 128 code set"),
    Flag("extended_guard", "barcode_set_extended_guard", Bit(7) | Bit(8) | Bit(9) | Bit(10), "true", "--extended-guard",
         "JAN/UPC guard bars reaching into the text"),
    Choice("string_encoding", "barcode_set_string_encoding", k2DTypes, ListOf(kEncodings), "\"utf-8\"", "--encoding",
           "text encoding of 2D symbols"),
    Choice("error_correction_level", "barcode_set_error_correction_level", Bit(16), ListOf(kQrLevels), "\"M\"",
           "--level", "QR error correction"),
    Number("version", "barcode_set_version", ValueKind::Int, Bit(16), 0, 40, true, true, "0", "--qr-version",
           "QR version, 1-40 (0: automatic)"),
    Choice("encode_mode", "barcode_set_encode_mode", Bit(16), ListOf(kQrModes), "\"AUTO\"", "--mode",
           "QR encoding mode"),
    Choice("code_size", "barcode_set_code_size", Bit(17), ListOf(kCodeSizes), "\"AUTO\"", "--code-size",
           "Data Matrix rows x columns"),
    Choice("encode_scheme", "barcode_set_encode_scheme", Bit(17), ListOf(kSchemes), "\"ASCII\"", "--scheme",
           "Data Matrix encodation"),
    Number("error_level", "barcode_set_error_level", ValueKind::Int, Bit(18), 0, 8, true, true, "2", "--error-level",
           "PDF417 error correction level"),
    Number("columns", "barcode_set_columns", ValueKind::Int, Bit(18), 0, 30, true, true, "0", "--columns",
           "PDF417 data columns"),
    Number("rows", "barcode_set_rows", ValueKind::Int, Bit(18), 0, 90, true, true, "0", "--rows", "PDF417 rows"),
    Number("aspect_ratio", "barcode_set_aspect_ratio", ValueKind::Double, Bit(18), 0.001, 1000, true, true, "0.5",
           "--aspect-ratio", "PDF417 aspect ratio"),
    Number("y_height", "barcode_set_y_height", ValueKind::Int, Bit(18), 1, kIntMax, true, true, "3", "--y-height",
           "PDF417 row height in modules"),
    Choice("symbol_type_14", "barcode_set_symbol_type_14", Bit(12), ListOf(kLayouts14), "\"OMNIDIRECTIONAL\"",
           "--databar14", "DataBar Omnidirectional layout"),
    Choice("symbol_type_exp", "barcode_set_symbol_type_exp", Bit(14), ListOf(kLayoutsExp), "\"UNSTACKED\"",
           "--databar-exp", "DataBar Expanded layout"),
    Number("no_of_columns", "barcode_set_no_of_columns", ValueKind::Int, Bit(14), 0, 10, true, true, "0",
           "--block-columns", "DataBar Expanded blocks per row (0: 2)"),
};

inline const char* KindName(ValueKind kind)
{
    switch (kind) {
    case ValueKind::Bool: return "bool";
    case ValueKind::Int: return "int";
    case ValueKind::Double: return "double";
    case ValueKind::Choice: return "choice";
    case ValueKind::Color: return "color";
    }
    return "";
}

} // namespace lumeo_table
