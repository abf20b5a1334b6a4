// SPDX-License-Identifier: MIT
// libFuzzer harness of the command line of the lumeo tool (tools/lumeo.cpp: Parse and the
// option table), without drawing anything. Properties:
// - Parse refuses a command line only with a UsageError (std::invalid_argument) that says why;
//   no other exception leaves it;
// - an accepted command line names a type of 0 to 18, keeps TEXT as given, has an output, a
//   format of png, png8 or svg, a box of non-zero sides, a margin of -1 (the quiet zone) to
//   10,000, and a draw kind that the type accepts;
// - the option setters it collected run on a handle of that type without throwing, and the
//   handle still draws nothing it was not asked to (no image before a draw).
//
// Input: the arguments after the program name, separated by NUL bytes.
//
// Parse lives in an unnamed namespace of the tool's source, which is compiled here whole with
// its main() renamed.
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

#define main lumeo_tool_main
#include "lumeo.cpp"
#undef main

#include "FuzzSupport.h"

namespace {

constexpr char kName[] = "fuzz_tool_cli";

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
    const auto& kinds = DrawKinds();
    const auto kind = std::find_if(kinds.begin(), kinds.end(), [&](const DrawKind& k) { return r.draw == k.name; });
    if (r.type < 0 || r.type >= kTypeCount || r.text != args[1] || r.output.empty()
        || (r.format != "png" && r.format != "png8" && r.format != "svg") || r.width == 0 || r.height == 0
        || r.margin < -1 || r.margin > 10000 || kind == kinds.end() || !Accepts(kind->types, r.type)) {
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
    Request r;
    try {
        r = Parse(args);
    } catch (const std::invalid_argument& e) {
        if (dynamic_cast<const UsageError*>(&e) == nullptr || std::strlen(e.what()) == 0) {
            fuzz::Broken(kName,
                         std::string("Parse threw a bare invalid_argument \"") + e.what() + "\" for " + Shown(args));
        }
        return 0;
    } catch (const std::exception& e) {
        fuzz::Broken(kName, std::string("Parse threw \"") + e.what() + "\" for " + Shown(args));
    }
    CheckRequest(args, r);
    return 0;
}
