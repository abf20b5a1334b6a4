// SPDX-License-Identifier: MIT
// The types, options and drawing functions the tool offers, read from the library's own table
// (lumeo_describe()), so that the tool, the Python package and the documentation agree.
#pragma once

#include "QuietZone.h"

#include <functional>
#include <string>
#include <vector>

namespace lumeo {

// A set of type numbers, one bit each.
using TypeSet = unsigned long;

inline bool Has(TypeSet set, int type)
{
    return type >= 0 && type < 64 && ((set >> type) & 1ul) != 0;
}

struct TypeInfo
{
    int number = 0;
    std::string name;  // on the command line; the number and the aliases work too
    std::string title; // for people
    std::vector<std::string> aliases;
    QuietZoneModules quiet{0, 0, 0}; // from the symbology's standard
    int defaultWidth = 0;            // the box when none is given
    int defaultHeight = 0;
    bool linear = true; // false for the 2D symbols (QR Code, Data Matrix, PDF417)
    bool built = true; // false: the symbology is left out of this library
};

enum class Kind
{
    Bool,   // 0 or 1
    Int,    // a whole number in [min, max]
    Double, // a finite number in [min, max]
    Choice, // one of the choices, exactly
    Color   // R,G,B[,A], each 0 to 255
};

// An option that takes a value, applied through one of the library's setters.
struct ValueOption
{
    std::string name; // the library's (the setter without barcode_set_)
    std::string flag; // on the command line
    std::string help;
    Kind kind = Kind::Int;
    double min = 0; // -infinity / +infinity where unbounded
    double max = 0;
    std::vector<std::string> choices;
    double defaultNumber = 0; // the library's default of a number or a flag (0 for the others)
    TypeSet types = 0;
    std::function<void(void*, const std::string&)> apply; // the value is checked first
};

struct DrawKind
{
    std::string kind;     // --draw KIND
    std::string function; // barcode_draw_...
    std::vector<std::string> arguments; // after the text: "width", "height" or "size"
    TypeSet types = 0;
};

struct Catalog
{
    std::vector<TypeInfo> types; // by number
    std::vector<ValueOption> options;
    std::vector<DrawKind> draws;
    long long maxSide = 0; // canvas limits
    long long maxPixels = 0;
    std::string version;
};

// Reads a document of lumeo_describe(); options whose setter the tool does not know are left
// out. Throws std::runtime_error when the document cannot be read.
Catalog ReadCatalog(const std::string& json);

// The library's table, read once.
const Catalog& TheCatalog();

// Values from the command line; std::invalid_argument or std::out_of_range when malformed.
long long ToLong(const std::string& s);
double ToDouble(const std::string& s); // finite numbers only
Color ToColor(const std::string& s);   // R,G,B or R,G,B,A, each 0 to 255

} // namespace lumeo
