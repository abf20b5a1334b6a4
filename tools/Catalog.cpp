// SPDX-License-Identifier: MIT
#include "Catalog.h"

#include "barcode_lumeo.h"
#include "barcode_lumeo_ext.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

namespace lumeo {
namespace {

using Json = nlohmann::json;

// The setters the tool calls, by their C name, as functions of the checked command-line value.
using Apply = std::function<void(void*, const std::string&)>;

Apply Whole(void (*set)(void*, int))
{
    return [set](void* h, const std::string& v) { set(h, static_cast<int>(ToLong(v))); };
}

Apply Real(void (*set)(void*, double))
{
    return [set](void* h, const std::string& v) { set(h, ToDouble(v)); };
}

Apply Word(void (*set)(void*, const char*))
{
    return [set](void* h, const std::string& v) { set(h, v.c_str()); };
}

Apply Colour(void (*set)(void*, int, int, int, int))
{
    return [set](void* h, const std::string& v) {
        const Color c = ToColor(v);
        set(h, c.r, c.g, c.b, c.a);
    };
}

const std::map<std::string, Apply>& Setters()
{
    static const std::map<std::string, Apply> setters = {
        {"barcode_set_foreground_color", Colour(barcode_set_foreground_color)},
        {"barcode_set_background_color", Colour(barcode_set_background_color)},
        {"barcode_set_px_adjust_black", Whole(barcode_set_px_adjust_black)},
        {"barcode_set_px_adjust_white", Whole(barcode_set_px_adjust_white)},
        {"barcode_set_fit_width", Whole(barcode_set_fit_width)},
        {"barcode_set_show_text", Whole(barcode_set_show_text)},
        {"barcode_set_text_font_scale", Real(barcode_set_text_font_scale)},
        {"barcode_set_text_gap", Real(barcode_set_text_gap)},
        {"barcode_set_text_even_spacing", Whole(barcode_set_text_even_spacing)},
        {"barcode_set_show_start_stop", Whole(barcode_set_show_start_stop)},
        {"barcode_set_code_mode", Word(barcode_set_code_mode)},
        {"barcode_set_extended_guard", Whole(barcode_set_extended_guard)},
        {"barcode_set_string_encoding", Word(barcode_set_string_encoding)},
        {"barcode_set_error_correction_level", Word(barcode_set_error_correction_level)},
        {"barcode_set_version", Whole(barcode_set_version)},
        {"barcode_set_encode_mode", Word(barcode_set_encode_mode)},
        {"barcode_set_code_size", Word(barcode_set_code_size)},
        {"barcode_set_encode_scheme", Word(barcode_set_encode_scheme)},
        {"barcode_set_error_level", Whole(barcode_set_error_level)},
        {"barcode_set_columns", Whole(barcode_set_columns)},
        {"barcode_set_rows", Whole(barcode_set_rows)},
        {"barcode_set_aspect_ratio", Real(barcode_set_aspect_ratio)},
        {"barcode_set_y_height", Whole(barcode_set_y_height)},
        {"barcode_set_symbol_type_14", Word(barcode_set_symbol_type_14)},
        {"barcode_set_symbol_type_exp", Word(barcode_set_symbol_type_exp)},
        {"barcode_set_no_of_columns", Whole(barcode_set_no_of_columns)},
        // barcode_set_output_format is the tool's own --format.
    };
    return setters;
}

TypeSet SetOf(const Json& numbers)
{
    TypeSet set = 0;
    for (const Json& n : numbers) {
        const int t = n.get<int>();
        if (t >= 0 && t < 64) {
            set |= 1ul << t;
        }
    }
    return set;
}

double Bound(const Json& value, double unbounded)
{
    return value.is_number() ? value.get<double>() : unbounded;
}

Kind KindOf(const std::string& value)
{
    static const std::map<std::string, Kind> kinds = {
        {"bool", Kind::Bool}, {"int", Kind::Int}, {"double", Kind::Double}, {"choice", Kind::Choice}, {"color", Kind::Color}};
    const auto k = kinds.find(value);
    if (k == kinds.end()) {
        throw std::runtime_error("an option of unknown value type \"" + value + "\"");
    }
    return k->second;
}

} // namespace

Catalog ReadCatalog(const std::string& json)
{
    constexpr double kInf = std::numeric_limits<double>::infinity();
    Catalog c;
    try {
        const Json doc = Json::parse(json);
        c.version = doc.at("version").get<std::string>();
        for (const Json& t : doc.at("types")) {
            TypeInfo info;
            info.number = t.at("number").get<int>();
            info.name = t.at("name").get<std::string>();
            info.title = t.at("title").get<std::string>();
            info.aliases = t.at("aliases").get<std::vector<std::string>>();
            const Json& q = t.at("quiet_zone");
            info.quiet = {q.at("left").get<double>(), q.at("right").get<double>(), q.at("vertical").get<double>()};
            info.defaultWidth = t.at("default_size").at("width").get<int>();
            info.defaultHeight = t.at("default_size").at("height").get<int>();
            info.built = t.at("built").get<bool>();
            info.linear = t.value("linear", true);
            if (info.number != static_cast<int>(c.types.size())) {
                throw std::runtime_error("the types are not listed by number");
            }
            c.types.push_back(std::move(info));
        }
        for (const Json& o : doc.at("options")) {
            const auto setter = Setters().find(o.at("setter").get<std::string>());
            if (setter == Setters().end()) {
                continue;
            }
            ValueOption option;
            option.name = o.at("name").get<std::string>();
            option.flag = o.at("flag").get<std::string>();
            option.help = o.at("help").get<std::string>();
            option.kind = KindOf(o.at("value").get<std::string>());
            if (option.kind == Kind::Choice) {
                option.choices = o.at("choices").get<std::vector<std::string>>();
            } else if (option.kind == Kind::Bool || option.kind == Kind::Color) {
                option.min = 0;
                option.max = option.kind == Kind::Bool ? 1 : 255;
            } else {
                option.min = Bound(o.at("min"), -kInf);
                option.max = Bound(o.at("max"), kInf);
            }
            const Json& byDefault = o.value("default", Json());
            option.defaultNumber = byDefault.is_number() ? byDefault.get<double>()
                                   : byDefault.is_boolean() ? (byDefault.get<bool>() ? 1.0 : 0.0)
                                                            : 0.0;
            option.types = SetOf(o.at("types"));
            option.apply = setter->second;
            c.options.push_back(std::move(option));
        }
        for (const Json& d : doc.at("draw_functions")) {
            c.draws.push_back({d.at("kind").get<std::string>(), d.at("function").get<std::string>(),
                               d.at("arguments").get<std::vector<std::string>>(), SetOf(d.at("types"))});
        }
        c.maxSide = doc.at("limits").at("max_canvas_side").get<long long>();
        c.maxPixels = doc.at("limits").at("max_canvas_pixels").get<long long>();
    } catch (const Json::exception& e) {
        throw std::runtime_error(std::string("cannot read the library's description of its types: ") + e.what());
    }
    if (c.types.empty() || c.draws.empty()) {
        throw std::runtime_error("the library describes no types");
    }
    return c;
}

const Catalog& TheCatalog()
{
    static const Catalog catalog = ReadCatalog(lumeo_describe());
    return catalog;
}

long long ToLong(const std::string& s)
{
    if (s.empty() || std::isspace(static_cast<unsigned char>(s[0]))) {
        throw std::invalid_argument(s);
    }
    size_t used = 0;
    const long long v = std::stoll(s, &used);
    if (used != s.size()) {
        throw std::invalid_argument(s);
    }
    return v;
}

double ToDouble(const std::string& s)
{
    if (s.empty() || std::isspace(static_cast<unsigned char>(s[0]))) {
        throw std::invalid_argument(s);
    }
    size_t used = 0;
    const double v = std::stod(s, &used);
    if (used != s.size() || !std::isfinite(v)) {
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
        const long long v = ToLong(part);
        if (v < 0 || v > 255) {
            throw std::out_of_range(s);
        }
        c.push_back(static_cast<int>(v));
    }
    if (c.size() == 3) {
        c.push_back(255);
    }
    if (c.size() != 4 || s.back() == ',') {
        throw std::invalid_argument(s);
    }
    return Color{c[0], c[1], c[2], c[3]};
}

} // namespace lumeo
