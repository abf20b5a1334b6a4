// SPDX-License-Identifier: MIT
// C interface options of the JAN/UPC family.
#include "api/Handle.h"
#include "barcode_lumeo.h"
#include "eanupc/EanUpcSymbol.h"

extern "C" {

void barcode_set_extended_guard(void* handle, int on)
{
    capi::Enter();
    capi::GuardVoid([&] {
        if (auto* symbol =
                capi::OptionTarget<EanUpcSymbol>("barcode_set_extended_guard", handle, capi::Types({7, 8, 9, 10}))) {
            symbol->SetExtendedGuard(on != 0);
        }
    });
}

} // extern "C"
