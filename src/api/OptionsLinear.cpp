// SPDX-License-Identifier: MIT
// C interface options and drawing functions of the basic linear codes and the postal barcode.
#include "barcode_lumeo.h"

#include "api/Handle.h"
#include "linear/Code39.h"

extern "C" {

void barcode_set_show_start_stop(void* handle, int on)
{
    capi::GuardVoid([&] {
        if (auto* code39 = capi::SymbolAs<Code39>(handle, {0})) {
            code39->SetShowStartStop(on != 0);
        }
    });
}

bool barcode_draw_yubin(void* /*handle*/, const char* /*text*/, int /*height*/)
{
    return false;
}

bool barcode_draw_yubin_with_width(void* /*handle*/, const char* /*text*/, int /*width*/, int /*height*/)
{
    return false;
}

} // extern "C"
