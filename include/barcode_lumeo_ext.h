/* SPDX-License-Identifier: MIT */
/*
 * barcode_lumeo extensions: additions beside the 43 barcode_* functions, which do not depend on
 * them. A host that never calls these gets exactly the behaviour of barcode_lumeo.h.
 *
 *   - lumeo_last_error() / lumeo_last_error_code(): why the calling thread's last barcode_* call
 *     failed. Every barcode_* call clears them on entry, so after a success both are "".
 *     The text is the first error line the library printed for the failure (the one raised
 *     nearest to the fault; the layers above only repeat it); calls that print nothing (setters
 *     that ignore a value, fetches that find nothing) leave "[function] why". The code is a
 *     stable short token for hosts to branch on (see below). Both pointers are thread-local and
 *     stay valid until the calling thread's next barcode_* or lumeo_* call.
 *   - lumeo_set_log(): route every diagnostic line (errors, warnings, progress, dumps) to the
 *     host. While a callback is set, the library writes nothing to stdout or stderr. NULL
 *     restores the default printing. The callback may be called from any thread that calls into
 *     the library, at most one line at a time; it must not call back into the library. A dump
 *     (a module matrix) comes as one call whose text holds several lines. With
 *     BARCODE_LUMEO_QUIET=1 info and debug lines are not made at all.
 *   - lumeo_describe(): a JSON document (UTF-8) of the types, their names and aliases, the
 *     options each accepts (setter, value type, range, default), the quiet zones, the limits and
 *     the library version. The string is process-wide and stays valid for the process's life.
 *   - lumeo_version(): "MAJOR.MINOR.PATCH".
 *
 * Error codes of lumeo_last_error_code():
 *   ""              no failure
 *   "bad_handle"    a null handle, a type number outside the table, or a drawing function or
 *                   option for another type
 *   "bad_text"      the text holds characters, digits or syntax the symbology does not accept
 *   "too_long"      the text does not fit the symbology or the chosen symbol size
 *   "canvas_limit"  the box is empty, too small for the symbol, or beyond the canvas limits
 *   "bad_option"    an option value the symbology does not accept (a setter that ignored or
 *                   replaced its value, an unknown output format, a null string)
 *   "no_memory"     memory ran out
 *   "no_output"     a fetch found nothing drawn to return
 *   "internal"      any other failure (the text says what)
 */
#ifndef BARCODE_LUMEO_EXT_H
#define BARCODE_LUMEO_EXT_H

#include "barcode_lumeo.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Levels passed to the log callback. */
enum lumeo_log_level
{
    LUMEO_LOG_ERROR = 0,   /* why a draw or fetch failed */
    LUMEO_LOG_WARNING = 1, /* a draw went ahead but something was adjusted or ignored */
    LUMEO_LOG_INFO = 2,    /* progress lines */
    LUMEO_LOG_DEBUG = 3    /* dumps (bit matrices, codeword lists) */
};

typedef void (*lumeo_log_callback)(int level, const char* line, void* user);

BARCODE_API const char* lumeo_last_error(void);
BARCODE_API const char* lumeo_last_error_code(void);
BARCODE_API void lumeo_set_log(lumeo_log_callback callback, void* user);
BARCODE_API const char* lumeo_describe(void);
BARCODE_API const char* lumeo_version(void);

#ifdef __cplusplus
}
#endif

#endif /* BARCODE_LUMEO_EXT_H */
