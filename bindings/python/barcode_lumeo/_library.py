# SPDX-License-Identifier: MIT
"""Finding the shared library, declaring its C functions, and hearing what it prints."""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import tempfile
import threading
from pathlib import Path
from typing import Any, Callable, Dict, List, Optional, Sequence, Tuple

#: Names the full path of the shared library to load; nothing else is tried when it is set.
LIBRARY_ENV = "BARCODE_LUMEO_LIBRARY"

_SONAMES = ("libbarcode_lumeo.so.0", "libbarcode_lumeo.so")

_P = ctypes.c_void_p
_S = ctypes.c_char_p
_I = ctypes.c_int
_D = ctypes.c_double
_B = ctypes.c_bool

# The 43 functions of the C interface: name -> (result type, argument types).
PROTOTYPES: Dict[str, Tuple[Any, Sequence[Any]]] = {
    "barcode_create": (_P, [_I]),
    "barcode_destroy": (None, [_P]),
    "barcode_set_output_format": (None, [_P, _S]),
    "barcode_set_foreground_color": (None, [_P, _I, _I, _I, _I]),
    "barcode_set_background_color": (None, [_P, _I, _I, _I, _I]),
    "barcode_set_px_adjust_black": (None, [_P, _I]),
    "barcode_set_px_adjust_white": (None, [_P, _I]),
    "barcode_set_fit_width": (None, [_P, _I]),
    "barcode_set_show_text": (None, [_P, _I]),
    "barcode_set_text_font_scale": (None, [_P, _D]),
    "barcode_set_text_gap": (None, [_P, _D]),
    "barcode_set_text_even_spacing": (None, [_P, _I]),
    "barcode_set_show_start_stop": (None, [_P, _I]),
    "barcode_set_code_mode": (None, [_P, _S]),
    "barcode_set_extended_guard": (None, [_P, _I]),
    "barcode_set_string_encoding": (None, [_P, _S]),
    "barcode_set_error_correction_level": (None, [_P, _S]),
    "barcode_set_version": (None, [_P, _I]),
    "barcode_set_encode_mode": (None, [_P, _S]),
    "barcode_set_code_size": (None, [_P, _S]),
    "barcode_set_encode_scheme": (None, [_P, _S]),
    "barcode_set_error_level": (None, [_P, _I]),
    "barcode_set_columns": (None, [_P, _I]),
    "barcode_set_rows": (None, [_P, _I]),
    "barcode_set_aspect_ratio": (None, [_P, _D]),
    "barcode_set_y_height": (None, [_P, _I]),
    "barcode_set_symbol_type_14": (None, [_P, _S]),
    "barcode_set_symbol_type_exp": (None, [_P, _S]),
    "barcode_set_no_of_columns": (None, [_P, _I]),
    "barcode_get_symbol_type_14": (_S, [_P]),
    "barcode_encode_14": (_B, [_P, _S]),
    "barcode_calculate_check_digit_14": (_S, [_S]),
    "barcode_draw_1d": (_B, [_P, _S, _I, _I]),
    "barcode_draw_2d": (_B, [_P, _S, _I]),
    "barcode_draw_2d_rect": (_B, [_P, _S, _I, _I]),
    "barcode_draw_yubin": (_B, [_P, _S, _I]),
    "barcode_draw_yubin_with_width": (_B, [_P, _S, _I, _I]),
    "barcode_draw_convenience": (_B, [_P, _S, _I, _I]),
    "barcode_draw_stacked": (_B, [_P, _S, _I, _I]),
    "barcode_get_base64": (_S, [_P]),
    "barcode_get_svg": (_S, [_P]),
    "barcode_get_image_data": (ctypes.POINTER(ctypes.c_ubyte), [_P, ctypes.POINTER(_I)]),
    "barcode_is_svg_output": (_B, [_P]),
}


class LibraryNotFoundError(OSError):
    """The shared library could not be loaded from any of the places tried."""


def candidates() -> List[str]:
    """Where the library is looked for, in order: the environment variable alone when it is
    set; otherwise a copy beside this package, then the system's library search."""
    explicit = os.environ.get(LIBRARY_ENV)
    if explicit:
        return [explicit]
    here = Path(__file__).resolve().parent
    found = [str(p) for p in sorted(here.glob("libbarcode_lumeo.so*"))]
    system = ctypes.util.find_library("barcode_lumeo")
    if system:
        found.append(system)
    found.extend(_SONAMES)
    return found


_load_lock = threading.Lock()
_loaded: Optional[ctypes.CDLL] = None


def library() -> ctypes.CDLL:
    """The loaded library with its functions declared (loaded on first use)."""
    global _loaded
    with _load_lock:
        if _loaded is None:
            # Progress lines would land in the caller's standard output; the caller may still
            # ask for them by setting the variable to something else first.
            os.environ.setdefault("BARCODE_LUMEO_QUIET", "1")
            failures = []
            for path in candidates():
                try:
                    lib = ctypes.CDLL(path)
                except OSError as e:
                    failures.append(f"{path}: {e}")
                    continue
                for name, (restype, argtypes) in PROTOTYPES.items():
                    function = getattr(lib, name)
                    function.restype = restype
                    function.argtypes = list(argtypes)
                _loaded = lib
                break
            else:
                raise LibraryNotFoundError(
                    "the barcode_lumeo library was not found; install it or set "
                    f"{LIBRARY_ENV} to the path of libbarcode_lumeo.so ({'; '.join(failures)})"
                )
        return _loaded


# The library prints the reason of a failed draw on standard error (file descriptor 2), which
# belongs to the whole process: one capture at a time.
_capture_lock = threading.Lock()


def call_hearing_stderr(function: Callable[..., Any], *args: Any) -> Tuple[Any, str]:
    """Calls `function` and returns its result with what it printed on standard error."""
    with _capture_lock:
        try:
            sys.stderr.flush()
        except (AttributeError, ValueError):
            pass
        try:
            saved = os.dup(2)
        except OSError:
            return function(*args), ""
        with tempfile.TemporaryFile() as sink:
            try:
                os.dup2(sink.fileno(), 2)
                try:
                    result = function(*args)
                finally:
                    _flush_c_streams()
                    os.dup2(saved, 2)
            finally:
                os.close(saved)
            sink.seek(0)
            printed = sink.read().decode("utf-8", "replace")
    return result, printed


try:
    _libc: Optional[ctypes.CDLL] = ctypes.CDLL(None)
except OSError:
    _libc = None


def _flush_c_streams() -> None:
    if _libc is not None:
        _libc.fflush(None)
