# SPDX-License-Identifier: MIT
"""Barcodes as PNG bytes, data URIs and SVG documents, from the barcode_lumeo library.

    >>> from barcode_lumeo import Barcode
    >>> with Barcode("qr", error_correction_level="H") as qr:
    ...     png = qr.png("https://example.jp/")
    >>> png[:4]
    b'\\x89PNG'

Options are keyword arguments named after the library's setters (``barcode_set_code_mode``
is ``code_mode=``); an option that does not apply to the symbology, or a value outside its range,
raises ``ValueError``. A draw that fails raises :class:`BarcodeError` with the library's reason
and code. The types, their options, default sizes and quiet zones come from the library's own
table (``lumeo_describe()``). The library's diagnostic lines go to the ``logging`` logger
"barcode_lumeo".

Draws release the interpreter lock while the library works: ``Barcode`` objects on separate
threads draw in parallel.
"""

from __future__ import annotations

import base64
import ctypes
import math
import operator
import os
import threading
import weakref
from typing import Any, Dict, FrozenSet, List, Optional, Sequence, Tuple, Union

from . import _quiet, _sizing
from ._library import LIBRARY_ENV, LibraryNotFoundError, last_error, library, logger, table

__all__ = [
    "Barcode",
    "BarcodeError",
    "LibraryNotFoundError",
    "LIBRARY_ENV",
    "TYPES",
    "DRAW_KINDS",
    "OPTIONS",
    "available_types",
    "calculate_check_digit_14",
    "describe",
    "library_version",
    "logger",
]

__version__ = "0.1.0"

Color = Union[Tuple[int, int, int], Tuple[int, int, int, int]]
Text = Union[str, bytes, int]

_INT_MIN, _INT_MAX = -(2**31), 2**31 - 1

#: The raster formats of :meth:`Barcode.png` and :meth:`Barcode.data_uri` ("png8": the compact
#: palette PNG; "png": RGBA; "jpg"/"jpeg": RGBA PNG bytes labelled image/jpeg in a data URI).
RASTER_FORMATS = ("png8", "png", "jpg", "jpeg")


class BarcodeError(ValueError):
    """A symbol could not be made. ``reason`` is the library's own message (the one it would
    print), ``code`` its stable code ("bad_text", "too_long", "canvas_limit", "bad_option",
    "no_memory", "no_output", "bad_handle", "internal"); both come from the thread that drew."""

    def __init__(self, reason: str, *, code: str = "", symbology: str = "", text: Optional[bytes] = None) -> None:
        super().__init__(reason)
        self.reason = reason
        self.code = code
        self.symbology = symbology
        self.text = text


# The library's table ------------------------------------------------------------------------


def describe() -> Dict[str, Any]:
    """The library's table of types, options, drawing functions, quiet zones and limits."""
    return table()


def library_version() -> str:
    return library().lumeo_version().decode("ascii")


def _types() -> List[Dict[str, Any]]:
    return table()["types"]


def _names() -> Dict[str, int]:
    names: Dict[str, int] = {}
    for t in _types():
        names[t["name"]] = t["number"]
        for alias in t["aliases"]:
            names.setdefault(alias, t["number"])
    return names


def __getattr__(name: str) -> Any:
    # The tables are read from the library on first use, so importing needs no library.
    if name == "TYPES":
        return {t["name"]: t["number"] for t in _types()}
    if name == "DRAW_KINDS":
        return {
            d["kind"]: (d["function"], frozenset(d["types"]), tuple(d["arguments"]))
            for d in table()["draw_functions"]
        }
    if name == "OPTIONS":
        return {o["name"]: o for o in table()["options"]}
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


def _type_number(symbology: Union[int, str]) -> int:
    if isinstance(symbology, bool):
        raise TypeError("the symbology is a type number or a name such as 'qr'")
    count = len(_types())
    if isinstance(symbology, int):
        if not 0 <= symbology < count:
            raise ValueError(f"type number {symbology} is outside 0..{count - 1}")
        return symbology
    if isinstance(symbology, str):
        names = _names()
        key = symbology.strip().lower()
        if key in names:
            return names[key]
    known = ", ".join(t["name"] for t in _types())
    raise ValueError(f"unknown symbology {symbology!r}; one of {known} or 0..{count - 1}")


def _no_nul(what: str, data: bytes) -> bytes:
    if b"\0" in data:
        raise ValueError(f"{what} must not contain NUL characters (the library would cut it there)")
    return data


def _text_bytes(text: Text) -> bytes:
    if isinstance(text, bool):
        raise TypeError("the text is a str, bytes or an int of digits, not a bool")
    if isinstance(text, int):
        return str(text).encode("ascii")
    if isinstance(text, str):
        data = text.encode("utf-8")
    elif isinstance(text, (bytes, bytearray, memoryview)):
        data = bytes(text)
    else:
        raise TypeError(f"the text is a str, bytes or an int of digits, not {type(text).__name__}")
    return _no_nul("the text", data)


def _c_int(what: str, value: Any) -> int:
    if isinstance(value, float):
        raise TypeError(f"{what} takes a whole number, not {value!r}")
    number = operator.index(value)
    if not _INT_MIN <= number <= _INT_MAX:
        raise OverflowError(f"{what} {number} does not fit the library's 32-bit int")
    return number


def _shown(data: bytes) -> str:
    shown = data.decode("utf-8", "replace")
    return repr(shown if len(shown) <= 40 else shown[:40] + "...")


def available_types() -> List[str]:
    """The names of the symbologies built into the loaded library."""
    return [t["name"] for t in _types() if t["built"]]


def calculate_check_digit_14(text: Text) -> str:
    """The GS1 DataBar Omnidirectional check digit of 13 digits; "" when the text is rejected
    (or DataBar is not built into the library)."""
    # The library keeps the result per thread: no lock is needed.
    result = library().barcode_calculate_check_digit_14(_text_bytes(text))
    return (result or b"").decode("ascii", "replace")


# Every open Barcode, so that a forked child can give each a fresh lock.
_instances: "weakref.WeakSet[Barcode]" = weakref.WeakSet()


def _reinit_after_fork() -> None:
    for barcode in list(_instances):
        barcode._lock = threading.RLock()


os.register_at_fork(after_in_child=_reinit_after_fork)


class Barcode:
    """One symbology with its options: a handle of the library, released by :meth:`close` or at
    the end of a ``with`` block. An instance may be shared between threads; its calls take turns.
    Separate instances draw in parallel.

    ``output_format`` is the raster format of :meth:`png` and :meth:`data_uri` (default "png8",
    the compact palette PNG); ``quiet_zone`` the margin added around every symbol: True (the
    default) for the margin of the symbology's standard, False for none, or a number of pixels.
    """

    def __init__(
        self,
        symbology: Union[int, str],
        *,
        output_format: Optional[str] = None,
        quiet_zone: Union[bool, int] = True,
        **options: Any,
    ) -> None:
        self._handle: Optional[int] = None
        self._lock = threading.RLock()
        self.type = _type_number(symbology)
        self._info = _types()[self.type]
        self.name: str = self._info["name"]
        self._options: Dict[str, Dict[str, Any]] = {o["name"]: o for o in self._info["options"]}
        self._all_options = {o["name"]: o for o in table()["options"]}
        self._draw_kinds = {d["kind"]: d for d in table()["draw_functions"]}
        self._lib = library()
        if not self._info["built"]:
            raise BarcodeError(f"{self.name} (type {self.type}) is not built into this library",
                               code="bad_handle", symbology=self.name)
        self._handle = self._lib.barcode_create(self.type)
        if not self._handle:
            self._handle = None
            reason, code = last_error()
            raise BarcodeError(reason or f"{self.name} (type {self.type}) could not be made", code=code,
                               symbology=self.name)
        _instances.add(self)
        self.output_format: Optional[str] = None
        self.quiet_zone = self._checked_quiet_zone(quiet_zone)
        # What the quiet zone needs to know about the drawn symbol.
        self._fg: Tuple[int, ...] = tuple(self._options["foreground_color"]["default"])
        self._bg: Tuple[int, ...] = tuple(self._options["background_color"]["default"])
        self._px_black = 0
        self._px_white = 0
        # The library's own default (GS1-128 stretches over its box unless told otherwise).
        self._fit_width = bool(self._options["fit_width"]["default"])
        self._fit_width_set = "fit_width" in options
        self._y_height = 0
        self.set(output_format=output_format, **options)

    # Options ---------------------------------------------------------------------------------

    def set(self, **options: Any) -> "Barcode":
        """Sets options by setter name: ``set(code_mode="C", show_text=False)``. Returns self.
        Every value is checked against the library's table first; nothing is set when one fails."""
        output_format = options.pop("output_format", None)
        if output_format is not None:
            if not isinstance(output_format, str):
                raise TypeError(f"output_format is a string such as 'png8', not {output_format!r}")
            _no_nul("output_format", output_format.encode("utf-8"))
        checked = [(name, self._checked(name, value)) for name, value in options.items()]
        with self._lock:
            handle = self._require_handle()
            for name, args in checked:
                getattr(self._lib, "barcode_set_" + name)(handle, *args)
                if name == "foreground_color":
                    self._fg = tuple(args)
                elif name == "background_color":
                    self._bg = tuple(args)
                elif name == "px_adjust_black":
                    self._px_black = args[0]
                elif name == "px_adjust_white":
                    self._px_white = args[0]
                elif name == "fit_width":
                    self._fit_width = bool(args[0])
                    self._fit_width_set = True
                elif name == "y_height":
                    self._y_height = args[0]
            if output_format is not None:
                self.output_format = output_format
        return self

    def _checked(self, name: str, value: Any) -> Sequence[Any]:
        option = self._options.get(name)
        if option is None:
            if name not in self._all_options:
                known = ", ".join(["output_format", "quiet_zone"] + list(self._all_options))
                raise TypeError(f"unknown option {name!r}; known: {known}")
            takers = ", ".join(_types()[t]["name"] for t in self._all_options[name]["types"])
            raise ValueError(f"{name} does not apply to {self.name} (it applies to {takers})")
        kind = option["value"]
        if kind == "color":
            try:
                channels = tuple(_c_int(name, c) for c in value)
            except TypeError:
                raise ValueError(f"{name} takes (r, g, b) or (r, g, b, a) with values 0..255, not {value!r}") from None
            if len(channels) == 3:
                channels += (255,)
            if len(channels) != 4 or any(not 0 <= c <= 255 for c in channels):
                raise ValueError(f"{name} takes (r, g, b) or (r, g, b, a) with values 0..255, not {value!r}")
            return channels
        if kind == "choice":
            if not isinstance(value, str):
                raise ValueError(f"{name} takes one of {', '.join(option['choices'])}, not {value!r}")
            _no_nul(name, value.encode("utf-8"))
            if value not in option["choices"]:
                raise ValueError(f"{name} takes one of {', '.join(option['choices'])}, not {value!r}")
            return (value.encode("ascii"),)
        if kind == "bool":
            return (1 if value else 0,)
        low, high = option.get("min"), option.get("max")
        if kind == "double":
            number = float(value)
            if not math.isfinite(number):
                raise ValueError(f"{name} takes a finite number, not {value!r}")
        else:
            number = _c_int(name, value)
        if (low is not None and number < low) or (high is not None and number > high):
            span = f"{'' if low is None else low}..{'' if high is None else high}"
            raise ValueError(f"{name} takes {span}, not {value!r}")
        return (number,)

    @staticmethod
    def _checked_quiet_zone(quiet_zone: Union[bool, int]) -> Union[bool, int]:
        if isinstance(quiet_zone, bool):
            return quiet_zone
        pixels = _c_int("quiet_zone", quiet_zone)
        if not 0 <= pixels <= 10000:
            raise ValueError(f"quiet_zone takes True, False or 0..10000 pixels, not {quiet_zone!r}")
        return pixels

    # Drawing ---------------------------------------------------------------------------------

    def png(
        self,
        text: Text,
        width: Optional[int] = None,
        height: Optional[int] = None,
        *,
        draw: str = "1d",
        format: Optional[str] = None,
        quiet_zone: Optional[Union[bool, int]] = None,
        **sizing: Any,
    ) -> bytes:
        """The symbol as the bytes of a PNG file: the compact palette PNG ("png8") unless
        ``format`` (or the object's ``output_format``) asks for "png" (RGBA).

        Without ``width`` and ``height`` the box follows the symbol (see :meth:`svg` for
        ``module``, ``dpi``, ``x_dim``, ``bar_height`` and ``rotate``)."""
        raster = self._raster_format(format)
        return self._image(text, width, height, draw, raster, quiet_zone, sizing)

    def data_uri(
        self,
        text: Text,
        width: Optional[int] = None,
        height: Optional[int] = None,
        *,
        draw: str = "1d",
        format: Optional[str] = None,
        quiet_zone: Optional[Union[bool, int]] = None,
        **sizing: Any,
    ) -> str:
        """The symbol as a base64 ``data:`` URI of the same PNG file as :meth:`png`."""
        raster = self._raster_format(format)
        data = self._image(text, width, height, draw, raster, quiet_zone, sizing)
        label = "image/jpeg" if raster in ("jpg", "jpeg") else "image/png"
        return f"data:{label};base64," + base64.b64encode(data).decode("ascii")

    def svg(
        self,
        text: Text,
        width: Optional[int] = None,
        height: Optional[int] = None,
        *,
        draw: str = "1d",
        quiet_zone: Optional[Union[bool, int]] = None,
        **sizing: Any,
    ) -> str:
        """The symbol as an SVG 1.1 document.

        Sizing, as the ``lumeo`` tool does it: without ``width`` and ``height`` (and without
        ``fit_width``) the box is computed from the symbol so that it always fits, at ``module``
        pixels a module (default 2, and 4 for 2D symbols), or ``x_dim`` (millimetres, or a string
        such as "0.33mm", "0.013in", "13mil") at ``dpi`` dots per inch, rounded to whole pixels;
        ``bar_height`` gives the bars of a linear symbol in modules, or as a length string
        ("15mm") with ``dpi``. A fixed box (``width``/``height``) that the symbol does not fit
        raises :class:`BarcodeError`. ``rotate`` (0, 90, 180 or 270) turns the image clockwise."""
        data = _text_bytes(text)
        zone = self._zone(quiet_zone)
        rotate = _sizing.turn(sizing)
        with self._lock:
            self._draw_sized(data, width, height, draw, "svg", sizing)
            document = self._fetch_svg(data)
            margins = self._margins(zone, document)
            framed = _quiet.frame_svg(document, margins, self._bg) if margins else document
            return _quiet.turn_svg(framed, rotate)

    def _raster_format(self, format: Optional[str]) -> str:
        chosen = format if format is not None else (self.output_format or "png8")
        if not isinstance(chosen, str):
            raise TypeError(f"format is a string such as 'png8', not {chosen!r}")
        _no_nul("format", chosen.encode("utf-8"))
        if chosen.lower() == "svg":
            raise ValueError("svg() draws SVG documents; png() and data_uri() take png8, png, jpg or jpeg")
        return chosen

    def _zone(self, quiet_zone: Optional[Union[bool, int]]) -> Union[bool, int]:
        return self.quiet_zone if quiet_zone is None else self._checked_quiet_zone(quiet_zone)

    def _image(self, text: Text, width: Optional[int], height: Optional[int], draw: str, raster: str,
               quiet_zone: Optional[Union[bool, int]], sizing: Dict[str, Any]) -> bytes:
        rotate = _sizing.turn(sizing)
        return _quiet.turn_png(self._framed(text, width, height, draw, raster, quiet_zone, sizing), rotate)

    def _sized(self, data: bytes, width: Optional[int], height: Optional[int], draw: str,
               sizing: Dict[str, Any]) -> Tuple[Optional[int], Optional[int]]:
        """The box: as given, or computed from the symbol (sizing by module)."""
        request = _sizing.request(self, draw, width, height, sizing)
        if request is None:
            return width, height
        self._box(draw, width, height)  # the draw kind applies
        handle = self._require_handle()
        trial = _sizing.Trials(self, data, draw)
        self._lib.barcode_set_fit_width(handle, 0)
        self._lib.barcode_set_px_adjust_black(handle, 0)
        self._lib.barcode_set_px_adjust_white(handle, 0)
        try:
            return _sizing.box(self, request, trial)  # fit width stays off for the draw itself
        finally:
            self._lib.barcode_set_px_adjust_black(handle, self._px_black)
            self._lib.barcode_set_px_adjust_white(handle, self._px_white)

    def _draw_sized(self, data: bytes, width: Optional[int], height: Optional[int], draw: str,
                    output_format: str, sizing: Dict[str, Any]) -> List[int]:
        """Draws in the box given or sized by module. A sized box widens up to the next module
        when the raster's text (in its own font) or the black bar adjustment needs more room than
        the SVG trials without it measured."""
        handle = self._require_handle()
        try:
            sized_width, sized_height = self._sized(data, width, height, draw, sizing)
            if (sized_width, sized_height) == (width, height):
                return self._draw(data, width, height, draw, output_format)
            try:
                return self._draw(data, sized_width, sized_height, draw, output_format)
            except BarcodeError as first:
                if self._info["name"] == "yubin" or sized_width is None:
                    raise
                linear = self._info["linear"]
                module = _sizing.module_of(self, sizing)
                room = sized_width * (module + 1) // module - 1 if linear else sized_width + max(self._px_black, 0)
                for w in range(sized_width + 1, min(room, table()["limits"]["max_canvas_side"]) + 1):
                    try:
                        return self._draw(data, w, sized_height if linear else sized_height + w - sized_width,
                                          draw, output_format)
                    except BarcodeError:
                        continue
                raise first
        finally:
            self._lib.barcode_set_fit_width(handle, 1 if self._fit_width else 0)

    def _framed(self, text: Text, width: Optional[int], height: Optional[int], draw: str, raster: str,
                quiet_zone: Optional[Union[bool, int]], sizing: Dict[str, Any]) -> bytes:
        data = _text_bytes(text)
        zone = self._zone(quiet_zone)
        # The RGBA formats with a margin: drawn as the compact PNG (the same pixels), framed, and
        # written as RGBA here, which is faster than reading the library's filtered RGBA file.
        rgba = zone is not False and raster in ("png", "jpg", "jpeg")
        with self._lock:
            args = self._draw_sized(data, width, height, draw, "png8" if rgba else raster, sizing)
            size = ctypes.c_int(0)
            pointer = self._lib.barcode_get_image_data(self._handle, ctypes.byref(size))
            if not pointer or size.value <= 0:
                reason, code = last_error()
                raise BarcodeError(reason or "the library returned no PNG data", code=code or "no_output",
                                   symbology=self.name, text=data)
            image = ctypes.string_at(pointer, size.value)
            if zone is False:
                return image
            document = None
            if zone is True:
                # The module width and the blank space around the bars, from the same symbol as SVG.
                self._call_draw(data, draw, args, "svg")
                document = self._fetch_svg(data)
            margins = self._margins(zone, document) or _quiet.Margins()
            return _quiet.frame_png(image, margins, self._bg, rgba=rgba)

    def _margins(self, zone: Union[bool, int], document: Optional[str]) -> Optional[_quiet.Margins]:
        if zone is False:
            return None
        if zone is not True:
            return _quiet.Margins(zone, zone, zone, zone)
        extent = _quiet.measure_svg(document or "", self._fg)
        if extent is None:
            return None  # nothing dark to measure (a symbol in the background colour)
        return _quiet.quiet_zone_margins(extent, self._info["quiet_zone"], self._px_black)

    def _fetch_svg(self, data: bytes) -> str:
        document = (self._lib.barcode_get_svg(self._handle) or b"").decode("utf-8", "replace")
        if not document:
            reason, code = last_error()
            raise BarcodeError(reason or "the library returned no SVG document", code=code or "no_output",
                               symbology=self.name, text=data)
        return document

    def _box(self, draw: str, width: Optional[int], height: Optional[int]) -> List[int]:
        kind = self._draw_kinds.get(draw)
        if kind is None:
            raise ValueError(f"unknown draw kind {draw!r}; one of {', '.join(self._draw_kinds)}")
        if self.type not in kind["types"]:
            raise ValueError(f"draw={draw!r} does not apply to {self.name}")
        default = self._info["default_size"]
        if width is None:
            width = default["width"]
            if height is None:
                height = default["height"]
        if height is None:
            # A 2D symbol fills a square by default; a linear one takes the default height.
            height = width if not self._info["linear"] else default["height"]
        sizes = {"width": width, "height": height, "size": width}
        return [_c_int(name, sizes[name]) for name in kind["arguments"]]

    def _draw(self, data: bytes, width: Optional[int], height: Optional[int], draw: str,
              output_format: str) -> List[int]:
        args = self._box(draw, width, height)
        self._call_draw(data, draw, args, output_format)
        return args

    def _call_draw(self, data: bytes, draw: str, args: List[int], output_format: str) -> None:
        handle = self._require_handle()
        function = getattr(self._lib, "barcode_draw_" + draw)
        self._lib.barcode_set_output_format(handle, output_format.encode("utf-8"))
        if function(handle, data, *args):
            return
        # Read on this thread, right after the call: the library keeps the reason per thread.
        reason, code = last_error()
        if not reason:
            box = " x ".join(str(a) for a in args)
            reason = f"the library could not draw {self.name} from {_shown(data)} in a {box} box as {output_format}"
        raise BarcodeError(reason, code=code or "internal", symbology=self.name, text=data)

    # GS1 DataBar Omnidirectional ------------------------------------------------------------

    def encode_14(self, text: Text) -> bool:
        """Whether DataBar Omnidirectional accepts the text (type 12 only)."""
        with self._lock:
            return bool(self._lib.barcode_encode_14(self._require_handle(), _text_bytes(text)))

    @property
    def symbol_type_14(self) -> str:
        """The DataBar Omnidirectional layout; "" for other types."""
        with self._lock:
            return (self._lib.barcode_get_symbol_type_14(self._require_handle()) or b"").decode("ascii")

    @property
    def is_svg_output(self) -> bool:
        """Whether the handle's output format is currently SVG (it is after :meth:`svg`)."""
        with self._lock:
            return bool(self._lib.barcode_is_svg_output(self._require_handle()))

    # Lifetime --------------------------------------------------------------------------------

    def _require_handle(self) -> int:
        if self._handle is None:
            raise ValueError("the barcode is closed")
        return self._handle

    def close(self) -> None:
        """Releases the handle; further calls raise ``ValueError``. Closing twice is harmless."""
        with self._lock:
            handle, self._handle = self._handle, None
            if handle is not None:
                self._lib.barcode_destroy(handle)

    @property
    def closed(self) -> bool:
        return self._handle is None

    def __enter__(self) -> "Barcode":
        return self

    def __exit__(self, *exc: Any) -> None:
        self.close()

    def __del__(self) -> None:
        if getattr(self, "_handle", None) is not None:
            try:
                self.close()
            except Exception:  # interpreter shutdown
                pass

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        return f"<Barcode {self.name} (type {self.type}), {state}>"
