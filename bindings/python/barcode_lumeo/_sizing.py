# SPDX-License-Identifier: MIT
"""Sizing by module, as the ``lumeo`` tool does it: the box is computed from the symbol so that each
module is a whole number of pixels and the symbol always fits. Linear symbols: trial draws as SVG
find the narrowest box width at which the module is reached (and the box height whose bars reach
``bar_height``); 2D symbols: one trial draw counts the modules. The library draws every trial, so
its own layout decides."""

from __future__ import annotations

import math
import re
from dataclasses import dataclass
from typing import Any, Callable, Dict, Optional, Tuple

from . import _quiet
from ._library import last_error, table

MM_PER_INCH = 25.4
MAX_MODULE = 500
LINEAR_MODULE, MATRIX_MODULE = 2, 4
YUBIN_HEIGHT_PER_MODULE = 6
_UNITS = {"mm": 1.0, "mil": MM_PER_INCH / 1000, "in": MM_PER_INCH}
_KEYS = ("module", "dpi", "x_dim", "bar_height", "rotate")


@dataclass
class Request:
    module: int
    height: Optional[int]  # a fixed box height (linear symbols)
    bar_height: int  # pixels; 0: from the box height


def turn(sizing: Dict[str, Any]) -> int:
    unknown = set(sizing) - set(_KEYS)
    if unknown:
        raise TypeError(f"unknown keyword argument {sorted(unknown)[0]!r}")
    degrees = sizing.get("rotate") or 0
    if isinstance(degrees, bool) or degrees not in (0, 90, 180, 270):
        raise ValueError(f"rotate takes 0, 90, 180 or 270 (degrees clockwise), not {degrees!r}")
    return degrees


def _length(name: str, value: Any, plain: str) -> Tuple[float, bool]:
    """A positive length in millimetres (True) or a plain number (False, in `plain` units)."""
    if isinstance(value, str):
        match = re.fullmatch(r"\s*([0-9.eE+-]+)\s*(mm|in|mil)?\s*", value)
        number = float(match.group(1)) if match and re.fullmatch(r"[0-9.eE+-]+", match.group(1)) else math.nan
        unit = match.group(2) if match else None
        amount, is_length = (number * _UNITS[unit], True) if unit else (number, False)
    elif isinstance(value, (int, float)) and not isinstance(value, bool):
        amount, is_length = float(value), False
    else:
        amount, is_length = math.nan, False
    if not (amount > 0 and math.isfinite(amount)):
        raise ValueError(f"{name} takes a positive number of {plain} or a length such as '0.33mm', not {value!r}")
    return amount, is_length


def request(barcode: Any, draw: str, width: Optional[int], height: Optional[int],
            sizing: Dict[str, Any]) -> Optional[Request]:
    """What sizing by module asks for; None for a fixed box."""
    info = barcode._info
    module, dpi, x_dim, bar_height = (sizing.get(k) for k in _KEYS[:4])
    asked = module is not None or x_dim is not None or bar_height is not None
    yubin = info["name"] == "yubin"
    if module is not None and x_dim is not None:
        raise ValueError("module and x_dim both give the module width: give one")
    if asked and width is not None:
        raise ValueError("width fixes the box, while module, x_dim and bar_height size it from the symbol")
    if bar_height is not None and (height is not None or not info["linear"] or yubin):
        raise ValueError(f"bar_height does not apply to {barcode.name} with a height" if height is not None
                         else f"bar_height does not apply to {barcode.name}")
    if asked and height is not None and (not info["linear"] or yubin):
        raise ValueError(f"the box of {barcode.name} sized by module follows the symbol: height goes with width")
    if asked and barcode._fit_width_set and barcode._fit_width:
        raise ValueError("fit_width stretches the symbol over a fixed box; it does not go with module sizing")
    if not (asked or (width is None and height is None and not barcode._fit_width_set)):
        return None
    if dpi is not None and (isinstance(dpi, bool) or not isinstance(dpi, (int, float)) or not 1 <= dpi <= 100000):
        raise ValueError(f"dpi takes dots per inch from 1 to 100000, not {dpi!r}")
    if x_dim is not None:
        if dpi is None:
            raise ValueError("x_dim needs dpi (the printer's dots per inch) to become pixels")
        mm, _ = _length("x_dim", x_dim, "millimetres")
        module = round(mm * dpi / MM_PER_INCH)
        if not 1 <= module <= MAX_MODULE:
            raise ValueError(f"x_dim {x_dim!r} at {dpi} dpi comes to {mm * dpi / MM_PER_INCH:.4g} pixels a module; "
                             f"it must come to 1 to {MAX_MODULE}")
    elif module is None:
        module = LINEAR_MODULE if info["linear"] else MATRIX_MODULE
    elif isinstance(module, bool) or not isinstance(module, int) or not 1 <= module <= MAX_MODULE:
        raise ValueError(f"module takes a whole number of pixels from 1 to {MAX_MODULE}, not {module!r}")
    bars = 0
    if bar_height is not None:
        amount, is_length = _length("bar_height", bar_height, "modules")
        if is_length and dpi is None:
            raise ValueError("bar_height as a length needs dpi (the printer's dots per inch)")
        bars = round(amount * dpi / MM_PER_INCH if is_length else amount * module)
        if not 1 <= bars <= table()["limits"]["max_canvas_side"]:
            raise ValueError(f"bar_height {bar_height!r} comes to {bars} pixels")
    if yubin:
        height = module * YUBIN_HEIGHT_PER_MODULE
    return Request(module, height, bars)


def module_of(barcode: Any, sizing: Dict[str, Any]) -> int:
    """The module of a request already checked by request()."""
    if sizing.get("x_dim") is not None:
        return round(_length("x_dim", sizing["x_dim"], "millimetres")[0] * sizing["dpi"] / MM_PER_INCH)
    if sizing.get("module") is not None:
        return sizing["module"]
    return LINEAR_MODULE if barcode._info["linear"] else MATRIX_MODULE


class Trials:
    """Trial draws of one text as SVG: the extent of the dark rectangles, or None when the box is
    too small for the symbol (any other failure raises)."""

    def __init__(self, barcode: Any, data: bytes, draw: str) -> None:
        self.barcode, self.data, self.draw = barcode, data, draw

    def __call__(self, width: int, height: int) -> Optional[_quiet.Extent]:
        b = self.barcode
        args = b._box(self.draw, width, height)
        b._lib.barcode_set_output_format(b._handle, b"svg")
        if not getattr(b._lib, "barcode_draw_" + self.draw)(b._handle, self.data, *args):
            reason, code = last_error()
            if code == "canvas_limit":
                return None
            from . import BarcodeError
            raise BarcodeError(reason or "the library could not draw the symbol", code=code or "internal",
                               symbology=b.name, text=self.data)
        return _quiet.measure_svg((b._lib.barcode_get_svg(b._handle) or b"").decode("utf-8", "replace"), b._fg)


def smallest_passing(guess: int, limit: int, passes: Callable[[int], bool]) -> int:
    """The smallest n in [1, limit] for which passes(n) holds, searched from guess in doubling
    steps then halved; 0 when not even limit passes."""
    hi = min(max(guess, 1), limit)
    lo = 0
    if passes(hi):
        step = 1
        while hi > 1:
            below = max(hi - step, 1)
            if not passes(below):
                lo = below
                break
            hi, step = below, step * 2
    else:
        lo, step = hi, 1
        while True:
            if lo >= limit:
                return 0
            above = min(lo + step, limit)
            if passes(above):
                hi = above
                break
            lo, step = above, step * 2
    while hi - lo > 1:
        mid = (lo + hi) // 2
        if passes(mid):
            hi = mid
        else:
            lo = mid
    return hi


def _too_large(barcode: Any, r: Request, what: str) -> Exception:
    from . import BarcodeError
    return BarcodeError(f"{barcode.name} at {r.module} pixels a module needs {what}", code="canvas_limit",
                        symbology=barcode.name)


def box(barcode: Any, r: Request, trial: Trials) -> Tuple[int, int]:
    info = barcode._info
    limits = table()["limits"]
    side, pixels = limits["max_canvas_side"], limits["max_canvas_pixels"]
    if info["name"] == "yubin":
        return info["default_size"]["width"], r.height
    if not info["linear"]:
        size = max(info["default_size"]["width"], info["default_size"]["height"])
        while (e := trial(size, size)) is None:
            if size * size * 4 > pixels:
                raise _too_large(barcode, r, "a box beyond the canvas limit")
            size *= 2
        columns = round((e.right - e.left) / e.module)
        rows = round((e.bottom - e.top) / e.module_height)
        row_modules = 1
        if info["name"] == "pdf417":
            row_modules = max(barcode._y_height or int(barcode._options["y_height"]["default"]), 1)
        width, height = columns * r.module, rows * row_modules * r.module
        if trial.draw == "2d":
            width = height = height if info["name"] == "pdf417" else max(width, height)
        if width > side or height > side or width * height > pixels:
            raise _too_large(barcode, r, f"{width} x {height} pixels")
        return width, height
    height = r.height or info["default_size"]["height"]
    lib, handle = barcode._lib, barcode._handle
    lib.barcode_set_fit_width(handle, 1)
    width = info["default_size"]["width"]
    while (e := trial(width, height)) is None or e.module < 0.05:
        if width >= side:
            raise _too_large(barcode, r, f"more than {side} pixels across")
        width = min(width * 4, side)
    lib.barcode_set_fit_width(handle, 0)

    def width_for(h: int, guess: int) -> int:
        def passes(w: int) -> bool:
            if w * h > pixels:
                return True
            got = trial(w, h)
            return got is not None and round(got.module) >= r.module
        found = smallest_passing(guess, side, passes)
        if not found:
            raise _too_large(barcode, r, f"more than {side} pixels across")
        return found

    width = width_for(height, math.ceil(width * r.module / e.module - 1e-6))
    if r.bar_height:
        now = trial(width, height)
        bars = now.bottom - now.top if now else height

        def tall(h: int) -> bool:
            if width * h > pixels:
                return True
            got = trial(width, h)
            return got is not None and got.bottom - got.top >= r.bar_height - 1e-6
        found = smallest_passing(height + round(r.bar_height - bars), side, tall)
        if not found:
            raise _too_large(barcode, r, f"bars more than {side} pixels high")
        width, height = width_for(found, width), found
    return width, height
