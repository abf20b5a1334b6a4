// SPDX-License-Identifier: MIT
#include "Drawing.h"

#include "Catalog.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>

namespace lumeo::serve {
namespace {

using Json = nlohmann::json;

// Deeper JSON than this is refused before it is parsed: no invoice needs it, and the parser and
// the document it builds are recursive.
constexpr int kMaxJsonDepth = 16;

// Parameters the service does not take from a request: it writes no file and reports nothing on
// the side; the image is the response.
const char* const kRefused[] = {"output", "o", "verbose"};

// The parameters that size the box, in the order a refusal about the box names them.
const char* const kSizeParams[] = {"width", "height", "module", "x-dim", "bar-height", "dpi"};

const char* const kOutputs[] = {"png", "png8", "svg", "datauri"};

std::string Dump(const Json& j)
{
    // A reason can quote text that is not UTF-8: it is sent with replacement characters.
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// At most 40 bytes of what a client sent, for a reason.
std::string Quoted(const std::string& s)
{
    std::string shown;
    for (const char c : s.substr(0, 40)) {
        const auto u = static_cast<unsigned char>(c);
        shown += u < 0x20 || u == 0x7F ? '?' : c;
    }
    return "'" + shown + (s.size() > 40 ? "...'" : "'");
}

bool IsName(const std::string& name)
{
    if (name.empty() || name.size() > 40 || name[0] == '-') {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; });
}

// The parameter a reason of the tool's parser names first (it writes options as --name), or "".
std::string FieldOf(const std::string& reason, const Params& params)
{
    std::string field;
    size_t first = std::string::npos;
    for (const auto& param : params) {
        const std::string flag = "--" + param.first;
        for (size_t at = reason.find(flag); at != std::string::npos && at < first; at = reason.find(flag, at + 1)) {
            const size_t end = at + flag.size();
            const char next = end < reason.size() ? reason[end] : ' ';
            if (!((next >= 'a' && next <= 'z') || (next >= '0' && next <= '9') || next == '-')) {
                first = at;
                field = param.first;
                break;
            }
        }
    }
    if (field.empty() && (reason.find("TEXT") != std::string::npos || reason.find("text") != std::string::npos)) {
        return "text";
    }
    return field;
}

// A reason of the tool's parser in the words of a URL: options without their dashes.
std::string InUrlTerms(std::string reason, const Params& params)
{
    static const std::pair<const char*, const char*> kPhrases[] = {
        {"lumeo --list shows what each type accepts", "GET /v1/types shows what each type accepts"},
        {"lumeo --list shows the types", "GET /v1/types lists the types"},
        {"give --margin N", "give margin=N"},
        {"\" as png8: ", "\": "}, // .png is the palette PNG
    };
    for (const auto& [tool, url] : kPhrases) {
        const size_t at = reason.find(tool);
        if (at != std::string::npos) {
            reason.replace(at, std::strlen(tool), url);
        }
    }
    std::vector<std::string> names{"width", "height", "module", "x-dim", "bar-height", "dpi", "margin", "rotate", "draw"};
    for (const auto& param : params) {
        names.push_back(param.first);
    }
    for (const std::string& name : names) {
        const std::string flag = "--" + name;
        for (size_t at = reason.find(flag); at != std::string::npos; at = reason.find(flag, at)) {
            const size_t end = at + flag.size();
            const char next = end < reason.size() ? reason[end] : ' ';
            if ((next >= 'a' && next <= 'z') || (next >= '0' && next <= '9') || next == '-') {
                at = end;
                continue;
            }
            reason.erase(at, 2);
        }
    }
    return reason;
}

// The parameter a failed draw is about: the box when the reason speaks of it, else the text.
std::string DrawField(const std::string& reason, const Params& params)
{
    if (reason.find("box") == std::string::npos && reason.find("canvas limit") == std::string::npos) {
        return "text";
    }
    for (const char* size : kSizeParams) {
        for (const auto& param : params) {
            if (param.first == size) {
                return size;
            }
        }
    }
    return "";
}

// 128 bits of two FNV-1a lanes over the normalised request.
std::string Fingerprint(const std::string& data)
{
    uint64_t a = 0xcbf29ce484222325ull;
    uint64_t b = 0x84222325cbf29ce4ull;
    for (const char c : data) {
        a = (a ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
        b = (b ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
        b ^= b >> 29;
    }
    char hex[40];
    std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(a),
                  static_cast<unsigned long long>(b));
    return hex;
}

// Every request with the same type, output and parameters (in any order between names) draws the
// same bytes with the same library: the tag names them.
std::string Etag(int type, Output output, const Params& params)
{
    Params sorted = params;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    std::string data = Versions();
    data += '\0' + std::to_string(type) + '\0' + kOutputs[static_cast<int>(output)] + '\0';
    for (const auto& [name, value] : sorted) {
        data += std::to_string(name.size()) + ':' + name + std::to_string(value.size()) + ':' + value;
    }
    return "\"" + Fingerprint(data) + "\"";
}

// A batch item's value as the text of a URL parameter; false for one that has none.
bool ValueText(const Json& v, std::string* text)
{
    if (v.is_string()) {
        *text = v.get<std::string>();
    } else if (v.is_boolean()) {
        *text = v.get<bool>() ? "1" : "0";
    } else if (v.is_number_integer() || v.is_number_unsigned()) {
        *text = v.dump();
    } else if (v.is_number_float()) {
        const double d = v.get<double>();
        *text = std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15 ? std::to_string(static_cast<long long>(d))
                                                                                : v.dump();
    } else {
        return false;
    }
    return true;
}

// The nesting depth of a JSON text, strings skipped; stops counting past `limit`.
int JsonDepth(const std::string& text, int limit)
{
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > limit) {
                return deepest;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

Json ItemFailure(const Refusal& r)
{
    return Json{{"ok", false}, {"error", r.error}, {"field", r.field.empty() ? Json() : Json(r.field)}};
}

} // namespace

bool ParseOutput(const std::string& word, Output* output)
{
    for (size_t i = 0; i < std::size(kOutputs); ++i) {
        if (word == kOutputs[i]) {
            *output = static_cast<Output>(i);
            return true;
        }
    }
    return false;
}

const char* ContentType(Output output)
{
    switch (output) {
    case Output::Svg: return "image/svg+xml";
    case Output::DataUri: return "text/plain; charset=utf-8";
    case Output::Png:
    case Output::Png8: break;
    }
    return "image/png";
}

bool Prepare(const std::string& type, const Params& params, Output output, bool fixed, Prepared* prepared,
             Refusal* refusal)
{
    const auto refuse = [refusal](int status, std::string error, std::string field) {
        *refusal = Refusal{status, std::move(error), std::move(field)};
        return false;
    };
    const int number = type.find('\0') == std::string::npos ? TypeNumber(type) : -1;
    if (number < 0) {
        return refuse(404, "unknown type " + Quoted(type) + " (GET /v1/types lists the types)", "type");
    }
    const TypeInfo& info = TheCatalog().types.at(static_cast<size_t>(number));
    if (!info.built) {
        return refuse(404, info.title + " (type " + info.name + ") is not built into this library", "type");
    }
    std::vector<std::string> args{type, "", "-o", "-", "--format", ""};
    int texts = 0;
    for (const auto& [name, value] : params) {
        if (name == "text") {
            args[1] = value;
            ++texts;
        } else if (name == "format") {
            Output asked = Output::Png8;
            if (!ParseOutput(value, &asked)) {
                return refuse(400, "bad value for format: " + Quoted(value) + " (one of png|png8|svg|datauri)", "format");
            }
            if (fixed && asked != output) {
                return refuse(400, "format=" + value + " differs from the extension of the path: give one", "format");
            }
            output = asked;
        } else if (!IsName(name) || std::find(std::begin(kRefused), std::end(kRefused), name) != std::end(kRefused)) {
            return refuse(400, "unknown parameter " + Quoted(name) + " (GET /v1/types lists the parameters)", name);
        } else if (name == "no-gs1-check") {
            if (value == "1" || value == "true" || value.empty()) {
                args.push_back("--no-gs1-check");
            } else if (value != "0" && value != "false") {
                return refuse(400, "bad value for no-gs1-check: " + Quoted(value) + " (0 or 1)", name);
            }
        } else {
            args.push_back("--" + name);
            args.push_back(value);
        }
    }
    if (texts != 1) {
        return refuse(400, texts == 0 ? "the text is missing (text=...)" : "the text is given more than once", "text");
    }
    args[5] = output == Output::Svg ? "svg" : output == Output::Png ? "png" : "png8";
    try {
        prepared->request = Parse(args);
    } catch (const UsageError& e) {
        return refuse(400, InUrlTerms(e.what(), params), FieldOf(e.what(), params));
    } catch (const DrawError& e) {
        return refuse(400, InUrlTerms(e.what(), params), "text");
    }
    prepared->output = output;
    prepared->typeName = info.name;
    prepared->etag = Etag(number, output, params);
    prepared->params = params;
    return true;
}

bool Draw(const Prepared& prepared, std::string* body, std::string* warnings, Refusal* refusal)
{
    try {
        Rendered out = Produce(prepared.request);
        *body = prepared.output == Output::DataUri ? "data:image/png;base64," + Base64(out.bytes) : std::move(out.bytes);
        *warnings = std::move(out.warnings);
        return true;
    } catch (const DrawError& e) {
        *refusal = Refusal{400, InUrlTerms(e.what(), prepared.params), DrawField(e.what(), prepared.params)};
    } catch (const UsageError& e) {
        *refusal = Refusal{400, InUrlTerms(e.what(), prepared.params), FieldOf(e.what(), prepared.params)};
    }
    return false;
}

std::string Base64(const std::string& bytes)
{
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                           static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    if (i < bytes.size()) {
        const bool two = i + 1 < bytes.size();
        const uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                           (two ? static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 : 0);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += two ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string ErrorJson(const Refusal& refusal)
{
    return Dump(Json{{"error", refusal.error}, {"field", refusal.field.empty() ? Json() : Json(refusal.field)}});
}

bool Batch(const std::string& body, size_t maxItems, const std::function<std::string()>& beforeDraw,
           std::string* out, Refusal* refusal)
{
    if (JsonDepth(body, kMaxJsonDepth) > kMaxJsonDepth) {
        *refusal = Refusal{400, "the body nests deeper than " + std::to_string(kMaxJsonDepth) + " levels", "body"};
        return false;
    }
    const Json items = Json::parse(body, nullptr, false);
    if (items.is_discarded() || !items.is_array()) {
        *refusal = Refusal{400,
                           items.is_discarded() ? "the body is not JSON: a JSON array of {\"type\", \"text\", ...} "
                                                  "objects is expected"
                                                : "the body is not a JSON array of {\"type\", \"text\", ...} objects",
                           "body"};
        return false;
    }
    if (items.size() > maxItems) {
        *refusal = Refusal{413, "the batch has " + std::to_string(items.size()) + " items, at most " +
                                    std::to_string(maxItems) + " are drawn in one request", "body"};
        return false;
    }
    Json results = Json::array();
    std::string stop;
    for (const Json& item : items) {
        if (!item.is_object()) {
            results.push_back(ItemFailure({400, "an item is not an object {\"type\", \"text\", ...}", ""}));
            continue;
        }
        Params params;
        std::string type;
        Refusal r;
        for (const auto& [key, value] : item.items()) {
            std::string text;
            if (!ValueText(value, &text)) {
                r = {400, "bad value for " + Quoted(key) + ": a string, number or true/false is expected", key};
                break;
            }
            if (key == "type") {
                type = text;
            } else {
                params.emplace_back(key, text);
            }
        }
        if (r.error.empty() && !item.contains("type")) {
            r = {400, "the item has no type", "type"};
        }
        Prepared prepared;
        std::string drawn;
        std::string warnings;
        if (r.error.empty() && Prepare(type, params, Output::DataUri, false, &prepared, &r)) {
            if (stop.empty()) {
                stop = beforeDraw();
            }
            if (!stop.empty()) {
                r = {503, stop, ""};
            } else if (Draw(prepared, &drawn, &warnings, &r)) {
                Json ok{{"ok", true}};
                if (prepared.output == Output::Svg) {
                    ok["svg"] = std::move(drawn);
                } else {
                    ok["data_uri"] = prepared.output == Output::DataUri
                                         ? std::move(drawn)
                                         : "data:image/png;base64," + Base64(drawn);
                }
                if (!warnings.empty()) {
                    ok["warnings"] = warnings;
                }
                results.push_back(std::move(ok));
                continue;
            }
        }
        results.push_back(ItemFailure(r));
    }
    *out = Dump(results);
    return true;
}

std::string TypesJson()
{
    static const std::string json = [] {
        const Catalog& c = TheCatalog();
        Json types = Json::array();
        for (const TypeInfo& t : c.types) {
            Json options = Json::array();
            for (const ValueOption& o : c.options) {
                if (Has(o.types, t.number)) {
                    options.push_back(o.flag.substr(2));
                }
            }
            Json draws = Json::array();
            for (const DrawKind& d : c.draws) {
                if (Has(d.types, t.number)) {
                    draws.push_back(d.kind);
                }
            }
            types.push_back({{"name", t.name}, {"title", t.title}, {"aliases", t.aliases}, {"linear", t.linear},
                             {"built", t.built}, {"draw", draws}, {"options", options}});
        }
        Json options = Json::array();
        for (const ValueOption& o : c.options) {
            static const char* const kKinds[] = {"bool", "int", "double", "choice", "color"};
            Json option{{"name", o.flag.substr(2)}, {"help", o.help}, {"kind", kKinds[static_cast<int>(o.kind)]}};
            if (o.kind == Kind::Choice) {
                option["choices"] = o.choices;
            } else if (o.kind == Kind::Int || o.kind == Kind::Double) {
                option["min"] = std::isinf(o.min) ? Json() : Json(o.min);
                option["max"] = std::isinf(o.max) ? Json() : Json(o.max);
            }
            options.push_back(std::move(option));
        }
        const Json parameters = {
            {{"name", "text"}, {"help", "the text to encode"}},
            {{"name", "format"}, {"help", "png (RGBA), png8 (palette; what .png gives), svg or datauri"}},
            {{"name", "module"}, {"help", "pixels a module; the box follows the symbol (the default: 2, 2D 4)"}},
            {{"name", "width"}, {"help", "a fixed box width in pixels instead"}},
            {{"name", "height"}, {"help", "a fixed box height in pixels"}},
            {{"name", "margin"}, {"help", "pixels of background on every side (default: the quiet zone)"}},
            {{"name", "dpi"}, {"help", "dots per inch, for x-dim and bar-height as lengths"}},
            {{"name", "x-dim"}, {"help", "the module as a length (0.33mm, 13mil)"}},
            {{"name", "bar-height"}, {"help", "linear bars in modules, or a length with dpi"}},
            {{"name", "rotate"}, {"help", "0, 90, 180 or 270 degrees clockwise"}},
            {{"name", "draw"}, {"help", "how to draw (the type's draw kinds)"}},
            {{"name", "no-gs1-check"}, {"help", "1: draw GS1 element strings without checking them"}},
        };
        return Dump(Json{{"version", c.version}, {"types", types}, {"options", options}, {"parameters", parameters}});
    }();
    return json;
}

} // namespace lumeo::serve
