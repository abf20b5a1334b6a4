// SPDX-License-Identifier: MIT
// C interface options and drawing functions of the 2D symbologies.
#include "barcode_lumeo.h"

#include "api/Handle.h"

extern "C" {

void barcode_set_string_encoding(void* /*handle*/, const char* /*name*/) {}
void barcode_set_error_correction_level(void* /*handle*/, const char* /*level*/) {}
void barcode_set_version(void* /*handle*/, int /*version*/) {}
void barcode_set_encode_mode(void* /*handle*/, const char* /*mode*/) {}
void barcode_set_code_size(void* /*handle*/, const char* /*size*/) {}
void barcode_set_encode_scheme(void* /*handle*/, const char* /*scheme*/) {}
void barcode_set_error_level(void* /*handle*/, int /*level*/) {}
void barcode_set_columns(void* /*handle*/, int /*columns*/) {}
void barcode_set_rows(void* /*handle*/, int /*rows*/) {}
void barcode_set_aspect_ratio(void* /*handle*/, double /*ratio*/) {}
void barcode_set_y_height(void* /*handle*/, int /*height*/) {}

bool barcode_draw_2d(void* /*handle*/, const char* /*text*/, int /*size*/)
{
    return false;
}

bool barcode_draw_2d_rect(void* /*handle*/, const char* /*text*/, int /*width*/, int /*height*/)
{
    return false;
}

} // extern "C"
