// SPDX-License-Identifier: MIT
// C interface options, helpers and drawing functions of the GS1 DataBar family.
#include "api/Handle.h"
#include "barcode_lumeo.h"

extern "C" {

void barcode_set_symbol_type_14(void* /*handle*/, const char* /*kind*/) {}

void barcode_set_symbol_type_exp(void* /*handle*/, const char* /*kind*/) {}

void barcode_set_no_of_columns(void* /*handle*/, int /*columns*/) {}

const char* barcode_get_symbol_type_14(void* /*handle*/)
{
    return "";
}

bool barcode_encode_14(void* /*handle*/, const char* /*text*/)
{
    return false;
}

const char* barcode_calculate_check_digit_14(const char* /*text*/)
{
    return "";
}

bool barcode_draw_stacked(void* handle, const char* text, int /*width*/, int /*height*/)
{
    return capi::DrawOn<IBarcodeSymbology>("barcode_draw_stacked", handle, text, {14},
                                           [](IBarcodeSymbology&, const std::string&) { return false; });
}

} // extern "C"
