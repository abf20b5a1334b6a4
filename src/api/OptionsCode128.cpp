// SPDX-License-Identifier: MIT
// C interface options and drawing functions of the Code 128 family.
#include "barcode_lumeo.h"

#include "api/Handle.h"

extern "C" {

void barcode_set_code_mode(void* /*handle*/, const char* /*mode*/) {}

bool barcode_draw_convenience(void* /*handle*/, const char* /*text*/, int /*width*/, int /*height*/)
{
    return false;
}

} // extern "C"
