/* SPDX-License-Identifier: MIT */
/*
 * barcode_lumeo: barcode generation with PNG and SVG output, behind a flat C interface.
 *
 * Ownership and lifetimes
 *   - barcode_create() returns a handle that the caller releases with barcode_destroy().
 *     A null handle is accepted everywhere and makes the call do nothing.
 *   - barcode_get_base64() and barcode_get_svg() share one string slot in the handle: the
 *     pointer either returns stays valid until the next call of either on the same handle,
 *     or until barcode_destroy(). On failure they return a static empty string, never null.
 *   - barcode_get_image_data() returns bytes owned by the handle, valid until its next call
 *     on the same handle or until barcode_destroy().
 *   - barcode_calculate_check_digit_14() returns a process-wide string, valid until its next call.
 *   - A handle must be used by one thread at a time.
 *
 * Symbology type numbers for barcode_create():
 *    0 Code 39        1 Code 93        2 Code 128       3 GS1-128        4 NW-7
 *    5 Matrix 2 of 5  6 NEC 2 of 5     7 JAN-8          8 JAN-13         9 UPC-A
 *   10 UPC-E         11 ITF           12 DataBar 14    13 DataBar Limited
 *   14 DataBar Expanded               15 Japan Post customer barcode
 *   16 QR Code       17 Data Matrix   18 PDF417
 */
#ifndef BARCODE_LUMEO_H
#define BARCODE_LUMEO_H

#include <stdbool.h>

#if defined(_WIN32)
#if defined(BARCODE_BUILDING_LIBRARY)
#define BARCODE_API __declspec(dllexport)
#else
#define BARCODE_API __declspec(dllimport)
#endif
#else
#define BARCODE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Creation and destruction. */
BARCODE_API void* barcode_create(int type);
BARCODE_API void barcode_destroy(void* handle);

/* Options of every symbology. */
BARCODE_API void barcode_set_output_format(void* handle, const char* format);
BARCODE_API void barcode_set_foreground_color(void* handle, int r, int g, int b, int a);
BARCODE_API void barcode_set_background_color(void* handle, int r, int g, int b, int a);
BARCODE_API void barcode_set_px_adjust_black(void* handle, int px);
BARCODE_API void barcode_set_px_adjust_white(void* handle, int px);
BARCODE_API void barcode_set_fit_width(void* handle, int on);

/* Human-readable text of linear symbols (types 0 to 15). */
BARCODE_API void barcode_set_show_text(void* handle, int on);
BARCODE_API void barcode_set_text_font_scale(void* handle, double scale);
BARCODE_API void barcode_set_text_gap(void* handle, double gap);
BARCODE_API void barcode_set_text_even_spacing(void* handle, int on);

/* Options of particular symbologies. */
BARCODE_API void barcode_set_show_start_stop(void* handle, int on);
BARCODE_API void barcode_set_code_mode(void* handle, const char* mode);
BARCODE_API void barcode_set_extended_guard(void* handle, int on);
BARCODE_API void barcode_set_string_encoding(void* handle, const char* name);
BARCODE_API void barcode_set_error_correction_level(void* handle, const char* level);
BARCODE_API void barcode_set_version(void* handle, int version);
BARCODE_API void barcode_set_encode_mode(void* handle, const char* mode);
BARCODE_API void barcode_set_code_size(void* handle, const char* size);
BARCODE_API void barcode_set_encode_scheme(void* handle, const char* scheme);
BARCODE_API void barcode_set_error_level(void* handle, int level);
BARCODE_API void barcode_set_columns(void* handle, int columns);
BARCODE_API void barcode_set_rows(void* handle, int rows);
BARCODE_API void barcode_set_aspect_ratio(void* handle, double ratio);
BARCODE_API void barcode_set_y_height(void* handle, int height);
BARCODE_API void barcode_set_symbol_type_14(void* handle, const char* kind);
BARCODE_API void barcode_set_symbol_type_exp(void* handle, const char* kind);
BARCODE_API void barcode_set_no_of_columns(void* handle, int columns);

/* GS1 DataBar Omnidirectional helpers. */
BARCODE_API const char* barcode_get_symbol_type_14(void* handle);
BARCODE_API bool barcode_encode_14(void* handle, const char* text);
BARCODE_API const char* barcode_calculate_check_digit_14(const char* text);

/* Drawing. Each returns true when the symbol was drawn. */
BARCODE_API bool barcode_draw_1d(void* handle, const char* text, int width, int height);
BARCODE_API bool barcode_draw_2d(void* handle, const char* text, int size);
BARCODE_API bool barcode_draw_2d_rect(void* handle, const char* text, int width, int height);
BARCODE_API bool barcode_draw_yubin(void* handle, const char* text, int height);
BARCODE_API bool barcode_draw_yubin_with_width(void* handle, const char* text, int width, int height);
BARCODE_API bool barcode_draw_convenience(void* handle, const char* text, int width, int height);
BARCODE_API bool barcode_draw_stacked(void* handle, const char* text, int width, int height);

/* Results. */
BARCODE_API const char* barcode_get_base64(void* handle);
BARCODE_API const char* barcode_get_svg(void* handle);
BARCODE_API const unsigned char* barcode_get_image_data(void* handle, int* size);
BARCODE_API bool barcode_is_svg_output(void* handle);

#ifdef __cplusplus
}
#endif

#endif /* BARCODE_LUMEO_H */
