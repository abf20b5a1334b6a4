// SPDX-License-Identifier: MIT
// The drawing requests of `lumeo serve`: a type and its parameters, as a URL or a batch item
// gives them, turned into the tool's own request (tools/Command.h: the same type names, option
// names, sizing by module, quiet zones and GS1 checks), and the image it draws.
#pragma once

#include "Command.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace lumeo::serve {

// A request the service refuses: the HTTP status, the reason, and the parameter at fault
// ("" when no single one is: the JSON field is then null).
struct Refusal
{
    int status = 400;
    std::string error;
    std::string field;
};

// The parameters of one drawing request in the order given: ("text", ...), ("width", "300"),
// ("level", "H"): every tool option without its two dashes.
using Params = std::vector<std::pair<std::string, std::string>>;

// What the service answers with: the PNG file (RGBA or palette), the SVG document, or a data URI
// of the palette PNG.
enum class Output
{
    Png,
    Png8,
    Svg,
    DataUri
};

// "png", "png8", "svg" or "datauri"; false for any other word.
bool ParseOutput(const std::string& word, Output* output);

struct Prepared
{
    Request request;
    Output output = Output::Png8;
    std::string typeName; // the type's own name, also for an alias or a number
    std::string etag;     // a strong validator, quoted: "\"0123...\""
    Params params;        // as given, for the field a refusal of the draw names
};

// Checks a request without drawing it; `type` as in the URL (name, alias or number). The output
// is `output`, or the format parameter's when `fixed` is false (a URL without an extension, a
// batch item); a format parameter that differs from a fixed output is refused. Returns false with
// the refusal: 404 for an unknown type or one not built, 400 for any fault in a parameter.
bool Prepare(const std::string& type, const Params& params, Output output, bool fixed, Prepared* prepared,
             Refusal* refusal);

// Draws a prepared request: the response body, or false with the library's reason (400) for
// this very draw. `warnings` receives the library's warnings, joined by "; ".
bool Draw(const Prepared& prepared, std::string* body, std::string* warnings, Refusal* refusal);

// The Content-Type of an output.
const char* ContentType(Output output);

// Base64 of `bytes` (RFC 4648, with padding).
std::string Base64(const std::string& bytes);

// The reason of a refusal as the JSON the service sends: {"error": "...", "field": "..."|null}.
std::string ErrorJson(const Refusal& refusal);

// The body of POST /v1/batch: a JSON array of at most `maxItems` objects {type, text, format?,
// option: value...}. Answers a JSON array of {ok: true, data_uri | svg} or {ok: false, error,
// field} in the order of the items; false with the refusal when the body is not such an array.
// `beforeDraw` is called before each item is drawn: it returns "" to go on, or the reason why
// this item and the ones after it fail (the batch ran out of time).
bool Batch(const std::string& body, size_t maxItems, const std::function<std::string()>& beforeDraw,
           std::string* out, Refusal* refusal);

// The types, their options and the parameters every type takes, as JSON for the playground.
std::string TypesJson();

} // namespace lumeo::serve
