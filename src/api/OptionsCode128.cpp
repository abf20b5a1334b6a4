// SPDX-License-Identifier: MIT
// C interface options and drawing functions of the Code 128 family.
#include "api/Handle.h"
#include "barcode_lumeo.h"
#include "code128/Code128.h"
#include "code128/GS1_128.h"

#include <cstring>

namespace {

struct CodeModeName
{
    const char* name;
    int value;
};

constexpr CodeModeName kCodeModes[] = {{"A", 0}, {"B", 1}, {"C", 2}, {"AUTO", 3}};

} // namespace

extern "C" {

void barcode_set_code_mode(void* handle, const char* mode)
{
    capi::Enter();
    capi::GuardVoid([&] {
        constexpr const char* kFunction = "barcode_set_code_mode";
        auto* code128 = capi::OptionTarget<Code128>(kFunction, handle, capi::Types({2}), mode);
        if (code128 == nullptr) {
            return;
        }
        for (const CodeModeName& m : kCodeModes) {
            if (std::strcmp(mode, m.name) == 0) {
                code128->SetCodeMode(m.value);
                return;
            }
        }
        capi::NoteBadValue(kFunction, std::string("Unknown code mode \"") + mode + "\": ignored");
    });
}

bool barcode_draw_convenience(void* handle, const char* text, int width, int height)
{
    return capi::DrawOn<GS1_128>(
        "barcode_draw_convenience", handle, text, {3},
        [&](GS1_128& symbol, const std::string& t) { return symbol.DrawConvenience(t, 0, 0, width, height); });
}

} // extern "C"
