// SPDX-License-Identifier: MIT
// C interface options of the JAN/UPC family.
#include "barcode_lumeo.h"

#include "api/Handle.h"

extern "C" {

void barcode_set_extended_guard(void* /*handle*/, int /*on*/) {}

} // extern "C"
