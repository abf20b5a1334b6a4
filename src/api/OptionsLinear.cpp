// SPDX-License-Identifier: MIT
// C interface options and drawing functions of the basic linear codes and the postal barcode.
#include "api/Handle.h"
#include "barcode_lumeo.h"
#include "linear/Code39.h"
#include "linear/NW7.h"
#include "postal/YubinCustomer.h"

extern "C" {

void barcode_set_show_start_stop(void* handle, int on)
{
    capi::Enter();
    capi::GuardVoid([&] {
        if (capi::OptionTarget<IBarcodeSymbology>("barcode_set_show_start_stop", handle, capi::Types({0, 4}))
            == nullptr) {
            return;
        }
        if (auto* code39 = capi::SymbolAs<Code39>(handle, {0})) {
            code39->SetShowStartStop(on != 0);
        } else if (auto* nw7 = capi::SymbolAs<NW7>(handle, {4})) {
            nw7->SetShowStartStop(on != 0);
        }
    });
}

bool barcode_draw_yubin(void* handle, const char* text, int height)
{
    return capi::DrawOn<YubinCustomer>(
        "barcode_draw_yubin", handle, text, {15},
        [height](YubinCustomer& yubin, const std::string& t) { return yubin.Draw(t, 0, 0, height); });
}

bool barcode_draw_yubin_with_width(void* handle, const char* text, int width, int height)
{
    return capi::DrawOn<YubinCustomer>(
        "barcode_draw_yubin_with_width", handle, text, {15},
        [width, height](YubinCustomer& yubin, const std::string& t) { return yubin.Draw(t, 0, 0, width, height); });
}

} // extern "C"
