// SPDX-License-Identifier: MIT
// libFuzzer harness of the command line of the lumeo tool (tools/Command.cpp: Parse,
// CheckSharedOptions and the option table), without drawing anything. Properties:
// - Parse refuses a command line only with a UsageError (exit status 2) that says why; no
//   other exception leaves it (a DrawError only for a NUL byte in TEXT, which a command line
//   cannot hold);
// - an accepted command line names a type of 0 to 18, keeps TEXT as given, has an output, a
//   format of png, png8 or svg, a margin of -1 (the quiet zone) to 10,000, a turn of 0, 90, 180
//   or 270 degrees, and a draw kind that the type accepts; a fixed box has sides of 1 to 16,384
//   pixels within the limit on the area (the postal barcode's width by its height), while a box
//   sized by module has a module of 1 to 500 pixels, no width (and no height for 2D symbols),
//   bars of 0 (from the box) to 16,384 pixels on linear symbols only, no fit width, and was
//   asked for with --module, --x-dim or --bar-height or by giving no box at all;
// - the option setters it collected run on a handle of that type without throwing, and the
//   handle still draws nothing it was not asked to (no image before a draw);
// - the options after TEXT, given to every line of a batch, are refused only with a UsageError,
//   always when one of them names an output.
//
// Input: the arguments after the program name, separated by NUL bytes.
//
// The option table lives in an unnamed namespace of the tool's source, which is compiled here
// whole (the tool's other sources are compiled beside it).
#include "Command.cpp"
#include "FuzzSupport.h"

namespace {

constexpr char kName[] = "fuzz_tool_cli";

using lumeo::DrawError;
using lumeo::Request;
using lumeo::UsageError;

std::string Shown(const std::vector<std::string>& args)
{
    std::string s;
    for (const std::string& a : args) {
        s += (s.empty() ? "" : " ") + fuzz::Shown(a);
    }
    return s;
}

void CheckRequest(const std::vector<std::string>& args, const Request& r)
{
    using namespace lumeo;
    const Catalog& c = TheCatalog();
    const DrawKind* kind = FindDraw(r.draw);
    const bool sized = kind != nullptr && kind->arguments == std::vector<std::string>{"size"};
    const bool byHeight = kind != nullptr && kind->arguments == std::vector<std::string>{"height"};
    const long long area = static_cast<long long>(r.width) * (sized ? r.width : r.height);
    const bool boxed = byHeight ? r.height * kYubinWidthPerHeight <= static_cast<double>(c.maxSide)
                                : area <= c.maxPixels;
    const long long types = static_cast<long long>(c.types.size());
    const bool common = r.type >= 0 && r.type < types && r.text == args[1] && !r.output.empty() &&
                        (r.format == "png" || r.format == "png8" || r.format == "svg") && r.margin >= -1 &&
                        r.margin <= 10000 && r.rotate % 90 == 0 && r.rotate >= 0 && r.rotate < 360 &&
                        kind != nullptr && Has(kind->types, r.type);
    bool box = false;
    if (common && r.byModule) {
        const bool linear = Info(r.type).linear;
        const auto given = [&args](const char* flag) {
            return std::find(args.begin() + 2, args.end(), flag) != args.end();
        };
        const bool asked = given("--module") || given("--x-dim") || given("--bar-height");
        box = r.module >= 1 && r.module <= kMaxModule && r.width == 0 && (linear || r.height == 0 || byHeight) &&
              r.height >= 0 && r.height <= c.maxSide && r.barHeightPx >= 0 && r.barHeightPx <= c.maxSide &&
              (linear || r.barHeightPx == 0) && !r.fitWidth &&
              (asked || (!given("--width") && !given("--height") && !given("--fit-width")));
    } else if (common) {
        box = r.width >= 1 && r.width <= c.maxSide && r.height >= 1 && r.height <= c.maxSide && boxed;
    }
    if (!box) {
        fuzz::Broken(kName, "an accepted command line gives a request out of bounds: " + Shown(args));
    }
    void* h = barcode_create(r.type);
    if (h == nullptr) {
        return; // a type left out of this build
    }
    try {
        for (const auto& set : r.setters) {
            set(h);
        }
    } catch (const std::exception& e) {
        fuzz::Broken(kName, std::string("a setter threw \"") + e.what() + "\" for " + Shown(args));
    }
    int size = -1;
    if (barcode_get_image_data(h, &size) != nullptr || size != 0) {
        fuzz::Broken(kName, "an image before any draw");
    }
    barcode_destroy(h);
}

void CheckShared(const std::vector<std::string>& args)
{
    const std::vector<std::string> options(args.begin() + std::min<std::size_t>(2, args.size()), args.end());
    bool output = false;
    for (std::size_t i = 0; i < options.size(); i += 2) {
        if (lumeo::IsFlag(options[i])) {
            --i;
            continue;
        }
        output = output || options[i] == "-o" || options[i] == "--output";
    }
    try {
        lumeo::CheckSharedOptions(options);
    } catch (const UsageError& e) {
        if (std::strlen(e.what()) == 0) {
            fuzz::Broken(kName, "CheckSharedOptions refused without a reason: " + Shown(options));
        }
        return;
    } catch (const std::exception& e) {
        fuzz::Broken(kName, std::string("CheckSharedOptions threw \"") + e.what() + "\" for " + Shown(options));
    }
    if (output) {
        fuzz::Broken(kName, "shared options that name an output are accepted: " + Shown(options));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    setenv("BARCODE_LUMEO_QUIET", "1", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size && args.size() <= 64; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back() += static_cast<char>(data[i]);
        }
    }
    CheckShared(args);
    Request r;
    try {
        r = lumeo::Parse(args);
    } catch (const UsageError& e) {
        if (std::strlen(e.what()) == 0) {
            fuzz::Broken(kName, "Parse refused without a reason: " + Shown(args));
        }
        return 0;
    } catch (const std::exception& e) {
        fuzz::Broken(kName, std::string("Parse threw \"") + e.what() + "\" for " + Shown(args));
    }
    CheckRequest(args, r);
    return 0;
}
