# SPDX-License-Identifier: MIT
"""Finding the shared library, declaring its C functions, and taking its diagnostic lines into
Python's ``logging`` (logger "barcode_lumeo")."""

from __future__ import annotations

import atexit
import ctypes
import ctypes.util
import json
import logging
import os
import sysconfig
import threading
from pathlib import Path
from typing import Any, Dict, List, Optional, Sequence, Tuple

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

#: The extension interface (barcode_lumeo_ext.h): per-thread reasons, the log callback, the table.
LOG_CALLBACK = ctypes.CFUNCTYPE(None, ctypes.c_int, ctypes.c_char_p, ctypes.c_void_p)
EXTENSIONS: Dict[str, Tuple[Any, Sequence[Any]]] = {
    "lumeo_last_error": (_S, []),
    "lumeo_last_error_code": (_S, []),
    "lumeo_set_log": (None, [LOG_CALLBACK, _P]),
    "lumeo_describe": (_S, []),
    "lumeo_version": (_S, []),
}

#: The logger that receives the library's lines (errors, warnings, progress, dumps).
logger = logging.getLogger("barcode_lumeo")
logger.addHandler(logging.NullHandler())  # silent unless the program configures logging

_LEVELS = {0: logging.ERROR, 1: logging.WARNING, 2: logging.INFO, 3: logging.DEBUG}


class LibraryNotFoundError(OSError):
    """The shared library could not be loaded from any of the places tried."""


def _build_tree() -> List[Path]:
    """Libraries of a build tree when the package is imported from its source checkout
    (bindings/python/barcode_lumeo): <checkout>/build and the other build*/ folders."""
    here = Path(__file__).resolve().parent
    checkout = here.parent.parent.parent
    if not (checkout / "include" / "barcode_lumeo.h").is_file():
        return []
    found = []
    for build in [checkout / "build"] + sorted(p for p in checkout.glob("build*") if p.name != "build"):
        found.extend(sorted(build.glob("libbarcode_lumeo.so*")))
    return found


def _installed() -> List[str]:
    """The installed library: the system's search, then the usual prefixes (an install under
    /usr/local that the loader cache does not list yet)."""
    found = []
    system = ctypes.util.find_library("barcode_lumeo")
    if system:
        found.append(system)
    found.extend(_SONAMES)
    multiarch = sysconfig.get_config_var("MULTIARCH") or ""
    for prefix in ("/usr/local", "/usr"):
        for libdir in (f"{prefix}/lib/{multiarch}" if multiarch else None, f"{prefix}/lib", f"{prefix}/lib64"):
            if libdir:
                found.extend(str(p) for p in sorted(Path(libdir).glob("libbarcode_lumeo.so*")))
    return found


def candidates() -> List[str]:
    """Where the library is looked for, in order: the environment variable alone when it is
    set; otherwise a copy beside this package, the build tree of a source checkout, then the
    installed library."""
    explicit = os.environ.get(LIBRARY_ENV)
    if explicit:
        return [explicit]
    here = Path(__file__).resolve().parent
    found = [str(p) for p in sorted(here.glob("libbarcode_lumeo.so*"))]
    found.extend(str(p) for p in _build_tree())
    found.extend(_installed())
    seen = set()
    return [c for c in found if not (c in seen or seen.add(c))]


def _log_line(level: int, line: Optional[bytes], user: Optional[int]) -> None:
    try:
        text = (line or b"").decode("utf-8", "replace")
        logger.log(_LEVELS.get(level, logging.DEBUG), "%s", text)
    except Exception:  # an exception must not cross back into the library
        pass


#: Kept for the life of the process: the library holds a pointer to it.
_log_callback = LOG_CALLBACK(_log_line)

_load_lock = threading.Lock()
_loaded: Optional[ctypes.CDLL] = None
_table: Optional[Dict[str, Any]] = None


def _declare(lib: ctypes.CDLL, prototypes: Dict[str, Tuple[Any, Sequence[Any]]]) -> None:
    for name, (restype, argtypes) in prototypes.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = list(argtypes)


def library() -> ctypes.CDLL:
    """The loaded library with its functions declared (loaded on first use). Its diagnostic
    lines go to the "barcode_lumeo" logger from then on, never to the process's streams."""
    global _loaded
    with _load_lock:
        if _loaded is None:
            # Progress and dump lines would cost a call into Python for every line; the caller
            # may still ask for them by setting the variable to something else first.
            os.environ.setdefault("BARCODE_LUMEO_QUIET", "1")
            failures = []
            for path in candidates():
                try:
                    lib = ctypes.CDLL(path)
                    _declare(lib, PROTOTYPES)
                    _declare(lib, EXTENSIONS)
                except (OSError, AttributeError) as e:
                    failures.append(f"{path}: {e}")
                    continue
                lib.lumeo_set_log(_log_callback, None)
                # The callback must not outlive the interpreter: lines after exit are printed.
                atexit.register(lib.lumeo_set_log, LOG_CALLBACK(), None)
                _loaded = lib
                break
            else:
                raise LibraryNotFoundError(
                    "the barcode_lumeo library was not found; install it, build it in the source "
                    f"checkout's build/ folder, or set {LIBRARY_ENV} to the path of "
                    f"libbarcode_lumeo.so ({'; '.join(failures) or 'nothing tried'})"
                )
        return _loaded


def table() -> Dict[str, Any]:
    """The library's table of types, options, quiet zones and limits (lumeo_describe())."""
    global _table
    lib = library()
    with _load_lock:
        if _table is None:
            _table = json.loads(lib.lumeo_describe().decode("utf-8"))
        return _table


def last_error() -> Tuple[str, str]:
    """The reason and code of the calling thread's last failed call into the library."""
    lib = library()
    reason = (lib.lumeo_last_error() or b"").decode("utf-8", "replace")
    code = (lib.lumeo_last_error_code() or b"").decode("ascii", "replace")
    return reason, code


def _reinit_after_fork() -> None:
    # A fork while another thread held the lock would leave the child a lock nobody releases.
    global _load_lock
    _load_lock = threading.Lock()


os.register_at_fork(after_in_child=_reinit_after_fork)
