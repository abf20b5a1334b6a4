// SPDX-License-Identifier: MIT
// lumeo_describe(): the table of api/TypeTable.h, the limits and the version as one JSON document.
#include "api/Handle.h"
#include "api/TypeTable.h"
#include "barcode_lumeo_ext.h"
#include "core/Limits.h"

#include <nlohmann/json.hpp>
#include <string>

namespace {

using Json = nlohmann::ordered_json;
using namespace lumeo_table;

Json TypeNumbers(TypeSet set)
{
    Json numbers = Json::array();
    for (int t = 0; t < kTypeCount; ++t) {
        if (Has(set, t)) {
            numbers.push_back(t);
        }
    }
    return numbers;
}

Json Strings(List<const char*> list)
{
    Json strings = Json::array();
    for (const char* s : list) {
        strings.push_back(s);
    }
    return strings;
}

Json Bound(bool has, double value)
{
    if (!has) {
        return nullptr;
    }
    // Whole bounds as integers, so that int options read as ints.
    const auto whole = static_cast<long long>(value);
    return static_cast<double>(whole) == value ? Json(whole) : Json(value);
}

Json Option(const OptionRow& o, int type)
{
    Json option;
    option["name"] = o.name;
    option["setter"] = o.setter;
    option["value"] = KindName(o.kind);
    if (o.kind == ValueKind::Choice) {
        option["choices"] = Strings(o.choices);
    } else if (o.kind != ValueKind::Bool) {
        option["min"] = Bound(o.hasMin, o.min);
        option["max"] = Bound(o.hasMax, o.max);
    }
    const bool other = type >= 0 && type == o.otherDefaultType;
    option["default"] = Json::parse(other ? o.otherDefaultJson : o.defaultJson);
    option["flag"] = o.flag;
    option["help"] = o.help;
    if (type < 0) {
        option["types"] = TypeNumbers(o.types);
    }
    return option;
}

Json Type(const TypeRow& t)
{
    Json type;
    type["number"] = t.number;
    type["name"] = t.name;
    type["title"] = t.title;
    type["aliases"] = Strings(t.aliases);
    type["linear"] = capi::IsLinear(t.number);
    type["built"] = capi::IsBuilt(t.number);
    Json draws = Json::array();
    for (const DrawRow& d : kDraws) {
        if (Has(d.types, t.number)) {
            draws.push_back(d.kind);
        }
    }
    type["draw"] = std::move(draws);
    type["default_size"] = {{"width", t.defaultWidth}, {"height", t.defaultHeight}};
    type["quiet_zone"] = {{"left", t.quiet.left}, {"right", t.quiet.right}, {"vertical", t.quiet.vertical}};
    type["max_text_bytes"] = capi::MaxTextBytes(t.number);
    Json options = Json::array();
    for (const OptionRow& o : kOptions) {
        if (Has(o.types, t.number)) {
            options.push_back(Option(o, t.number));
        }
    }
    type["options"] = std::move(options);
    return type;
}

std::string Document()
{
    Json doc;
    doc["library"] = "barcode_lumeo";
    doc["version"] = lumeo_version();
    Json types = Json::array();
    for (const TypeRow& t : kTypes) {
        types.push_back(Type(t));
    }
    doc["types"] = std::move(types);
    Json draws = Json::array();
    for (const DrawRow& d : kDraws) {
        draws.push_back({{"kind", d.kind},
                         {"function", d.function},
                         {"arguments", Strings(d.arguments)},
                         {"types", TypeNumbers(d.types)}});
    }
    doc["draw_functions"] = std::move(draws);
    Json options = Json::array();
    for (const OptionRow& o : kOptions) {
        options.push_back(Option(o, -1));
    }
    doc["options"] = std::move(options);
    doc["limits"] = {{"max_canvas_side", limits::kMaxCanvasSide},
                     {"max_canvas_pixels", limits::kMaxCanvasPixels},
                     {"max_linear_text_bytes", limits::kMaxLinearTextBytes},
                     {"max_compact_text_bytes", limits::kMaxCompactTextBytes}};
    doc["error_codes"] = {"bad_handle", "bad_text",  "too_long",  "canvas_limit",
                          "bad_option", "no_memory", "no_output", "internal"};
    return doc.dump(1);
}

} // namespace

extern "C" {

const char* lumeo_describe(void)
{
    // Built once, on first use (thread-safe), and kept for the life of the process.
    static const std::string document = capi::Guard<std::string>("", [] { return Document(); });
    return document.c_str();
}

} // extern "C"
