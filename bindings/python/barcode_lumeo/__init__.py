# SPDX-License-Identifier: MIT
"""Barcodes as PNG bytes, data URIs and SVG documents, from the barcode_lumeo library.

    >>> from barcode_lumeo import Barcode
    >>> with Barcode("qr", error_correction_level="H") as qr:
    ...     png = qr.png("https://example.jp/", 300)
    >>> png[:4]
    b'\\x89PNG'

Options are keyword arguments named after the library's setters (``barcode_set_code_mode``
is ``code_mode=``); an option that does not apply to the symbology raises ``ValueError``.
A draw that fails raises :class:`BarcodeError` with the library's reason.
"""

from __future__ import annotations

import ctypes
import sys
import threading
from dataclasses import dataclass
from typing import Any, Dict, FrozenSet, List, Optional, Sequence, Tuple, Union

from ._library import LIBRARY_ENV, LibraryNotFoundError, call_hearing_stderr, library

__all__ = [
    "Barcode",
    "BarcodeError",
    "LibraryNotFoundError",
    "LIBRARY_ENV",
    "TYPES",
    "DRAW_KINDS",
    "available_types",
    "calculate_check_digit_14",
]

__version__ = "0.1.0"

#: Type names (as the ``lumeo`` tool knows them) and the library's type numbers.
TYPES: Dict[str, int] = {
    "code39": 0,
    "code93": 1,
    "code128": 2,
    "gs1-128": 3,
    "nw7": 4,
    "matrix2of5": 5,
    "nec2of5": 6,
    "jan8": 7,
    "jan13": 8,
    "upca": 9,
    "upce": 10,
    "itf": 11,
    "databar14": 12,
    "databar-limited": 13,
    "databar-expanded": 14,
    "yubin": 15,
    "qr": 16,
    "datamatrix": 17,
    "pdf417": 18,
}
_NAMES = {number: name for name, number in TYPES.items()}

ALL: FrozenSet[int] = frozenset(range(19))
LINEAR: FrozenSet[int] = frozenset(range(16))
TWO_D: FrozenSet[int] = frozenset({16, 17, 18})

#: The drawing functions: kind -> (C function, the types it draws, the box arguments it takes).
DRAW_KINDS: Dict[str, Tuple[str, FrozenSet[int], Tuple[str, ...]]] = {
    "1d": ("barcode_draw_1d", ALL, ("width", "height")),
    "2d": ("barcode_draw_2d", TWO_D, ("width",)),
    "2d_rect": ("barcode_draw_2d_rect", TWO_D, ("width", "height")),
    "yubin": ("barcode_draw_yubin", frozenset({15}), ("height",)),
    "yubin_with_width": ("barcode_draw_yubin_with_width", frozenset({15}), ("width", "height")),
    "convenience": ("barcode_draw_convenience", frozenset({3}), ("width", "height")),
    "stacked": ("barcode_draw_stacked", frozenset({14}), ("width", "height")),
}

Color = Union[Tuple[int, int, int], Tuple[int, int, int, int]]
Text = Union[str, bytes]

_CODE_SIZES = ("AUTO",) + tuple(
    f"{n}x{n}" for n in (10, 12, 14, 16, 18, 20, 22, 24, 26, 32, 36, 40, 44, 48, 52, 64, 72, 80, 88, 96, 104, 120, 132, 144)
) + ("8x18", "8x32", "12x26", "12x36", "16x36", "16x48")


@dataclass(frozen=True)
class _Option:
    kind: str  # "int", "bool", "float", "str" or "color"
    types: FrozenSet[int]
    choices: Tuple[str, ...] = ()


# Keyword options: the setter barcode_set_<name>, what it takes and the types it applies to.
OPTIONS: Dict[str, _Option] = {
    "foreground_color": _Option("color", ALL),
    "background_color": _Option("color", ALL),
    "px_adjust_black": _Option("int", ALL),
    "px_adjust_white": _Option("int", ALL),
    "fit_width": _Option("bool", ALL),
    "show_text": _Option("bool", LINEAR),
    "text_font_scale": _Option("float", LINEAR),
    "text_gap": _Option("float", LINEAR),
    "text_even_spacing": _Option("bool", LINEAR),
    "show_start_stop": _Option("bool", frozenset({0, 4})),
    "code_mode": _Option("str", frozenset({2}), ("A", "B", "C", "AUTO")),
    "extended_guard": _Option("bool", frozenset({7, 8, 9, 10})),
    "string_encoding": _Option("str", TWO_D, ("utf-8", "UTF-8", "shift-jis", "Shift-JIS", "shift_jis")),
    "error_correction_level": _Option("str", frozenset({16}), ("L", "M", "Q", "H")),
    "version": _Option("int", frozenset({16})),
    "encode_mode": _Option("str", frozenset({16}), ("AUTO", "BYTE", "NUMERIC", "ALPHANUMERIC", "KANJI")),
    "code_size": _Option("str", frozenset({17}), _CODE_SIZES),
    "encode_scheme": _Option("str", frozenset({17}), ("AUTO", "ASCII", "C40", "TEXT", "X12", "EDIFACT", "BASE256")),
    "error_level": _Option("int", frozenset({18})),
    "columns": _Option("int", frozenset({18})),
    "rows": _Option("int", frozenset({18})),
    "aspect_ratio": _Option("float", frozenset({18})),
    "y_height": _Option("int", frozenset({18})),
    "symbol_type_14": _Option("str", frozenset({12}), ("OMNIDIRECTIONAL", "STACKED", "STACKED_OMNIDIRECTIONAL")),
    "symbol_type_exp": _Option("str", frozenset({14}), ("UNSTACKED", "STACKED")),
    "no_of_columns": _Option("int", frozenset({14})),
}

# What barcode_get_base64 returns when it has no image to encode.
_FALLBACK_URI = (
    "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVQI12P4//8/AAX+Av7czFnnAAAAAElFTkSuQmCC"
)


class BarcodeError(ValueError):
    """A symbol could not be made. ``reason`` is the library's own message when it printed one,
    otherwise one written here."""

    def __init__(self, reason: str, *, symbology: str = "", text: Optional[bytes] = None) -> None:
        super().__init__(reason)
        self.reason = reason
        self.symbology = symbology
        self.text = text


def _type_number(symbology: Union[int, str]) -> int:
    if isinstance(symbology, bool):
        raise TypeError("the symbology is a type number or a name such as 'qr'")
    if isinstance(symbology, int):
        if symbology not in ALL:
            raise ValueError(f"type number {symbology} is outside 0..18")
        return symbology
    if isinstance(symbology, str) and symbology.lower() in TYPES:
        return TYPES[symbology.lower()]
    raise ValueError(f"unknown symbology {symbology!r}; one of {', '.join(TYPES)} or 0..18")


def _bytes(text: Text) -> bytes:
    data = text.encode("utf-8") if isinstance(text, str) else bytes(text)
    if b"\0" in data:
        raise ValueError("the text must not contain NUL characters")
    return data


def _shown(data: bytes) -> str:
    shown = data.decode("utf-8", "replace")
    return repr(shown if len(shown) <= 40 else shown[:40] + "...")


def available_types() -> List[str]:
    """The names of the symbologies built into the loaded library."""
    lib = library()
    names = []
    for name, number in TYPES.items():
        handle = lib.barcode_create(number)
        if handle:
            names.append(name)
            lib.barcode_destroy(handle)
    return names


_check_digit_lock = threading.Lock()


def calculate_check_digit_14(text: Text) -> str:
    """The GS1 DataBar Omnidirectional check digit of 13 digits; "" when the text is rejected
    (or DataBar is not built into the library)."""
    with _check_digit_lock:  # the library keeps the result in one process-wide string
        result = library().barcode_calculate_check_digit_14(_bytes(text))
        return (result or b"").decode("ascii", "replace")


class Barcode:
    """One symbology with its options: a handle of the library, released by :meth:`close` or at
    the end of a ``with`` block. An instance may be shared between threads; its calls take turns."""

    def __init__(self, symbology: Union[int, str], *, output_format: str = "png", **options: Any) -> None:
        self.type = _type_number(symbology)
        self.name = _NAMES[self.type]
        self._lib = library()
        self._lock = threading.RLock()
        self._handle: Optional[int] = self._lib.barcode_create(self.type)
        if not self._handle:
            self._handle = None
            raise BarcodeError(f"{self.name} (type {self.type}) is not built into this library", symbology=self.name)
        #: The raster format used by :meth:`png` and :meth:`data_uri` ("png"; "jpg" and "jpeg"
        #: label the data URI image/jpeg; other formats the library may know are passed through).
        self.output_format = output_format
        self.set(**options)

    # Options ---------------------------------------------------------------------------------

    def set(self, **options: Any) -> "Barcode":
        """Sets options by setter name: ``set(code_mode="C", show_text=False)``. Returns self."""
        output_format = options.pop("output_format", None)
        checked = [(name, self._checked(name, value)) for name, value in options.items()]
        with self._lock:
            handle = self._require_handle()
            for name, args in checked:
                getattr(self._lib, "barcode_set_" + name)(handle, *args)
            if output_format is not None:
                self.output_format = str(output_format)
        return self

    def _checked(self, name: str, value: Any) -> Sequence[Any]:
        option = OPTIONS.get(name)
        if option is None:
            raise TypeError(f"unknown option {name!r}; known: output_format, {', '.join(OPTIONS)}")
        if self.type not in option.types:
            takers = ", ".join(_NAMES[t] for t in sorted(option.types))
            raise ValueError(f"{name} does not apply to {self.name} (it applies to {takers})")
        if option.kind == "color":
            channels = tuple(int(c) for c in value)
            if len(channels) == 3:
                channels += (255,)
            if len(channels) != 4 or any(not 0 <= c <= 255 for c in channels):
                raise ValueError(f"{name} takes (r, g, b) or (r, g, b, a) with values 0..255, not {value!r}")
            return channels
        if option.kind == "str":
            if value not in option.choices:
                raise ValueError(f"{name} takes one of {', '.join(option.choices)}, not {value!r}")
            return (str(value).encode("ascii"),)
        if option.kind == "float":
            return (float(value),)
        if option.kind == "bool":
            return (1 if value else 0,)
        return (int(value),)

    # Drawing ---------------------------------------------------------------------------------

    def png(self, text: Text, width: Optional[int] = None, height: Optional[int] = None, *, draw: str = "1d") -> bytes:
        """The symbol as the bytes of a PNG file."""
        with self._lock:
            self._draw(text, width, height, draw, self.output_format)
            size = ctypes.c_int(0)
            data = self._lib.barcode_get_image_data(self._handle, ctypes.byref(size))
            if not data or size.value <= 0:
                raise BarcodeError("the library returned no PNG data", symbology=self.name)
            return ctypes.string_at(data, size.value)

    def data_uri(
        self, text: Text, width: Optional[int] = None, height: Optional[int] = None, *, draw: str = "1d"
    ) -> str:
        """The symbol as a base64 ``data:`` URI of a PNG file."""
        with self._lock:
            self._draw(text, width, height, draw, self.output_format)
            uri = (self._lib.barcode_get_base64(self._handle) or b"").decode("ascii", "replace")
            if not uri.startswith("data:") or uri == _FALLBACK_URI:
                raise BarcodeError(f"the library could not encode the image: {uri or 'no result'}", symbology=self.name)
            return uri

    def svg(self, text: Text, width: Optional[int] = None, height: Optional[int] = None, *, draw: str = "1d") -> str:
        """The symbol as an SVG 1.1 document."""
        with self._lock:
            self._draw(text, width, height, draw, "svg")
            document = (self._lib.barcode_get_svg(self._handle) or b"").decode("utf-8", "replace")
            if not document:
                raise BarcodeError("the library returned no SVG document", symbology=self.name)
            return document

    def _draw(self, text: Text, width: Optional[int], height: Optional[int], draw: str, output_format: str) -> None:
        data = _bytes(text)
        if draw not in DRAW_KINDS:
            raise ValueError(f"unknown draw kind {draw!r}; one of {', '.join(DRAW_KINDS)}")
        function, types, box = DRAW_KINDS[draw]
        if self.type not in types:
            raise ValueError(f"draw={draw!r} does not apply to {self.name}")
        if height is None and self.type in TWO_D:
            height = width
        sizes = {"width": width, "height": height}
        missing = [name for name in box if sizes[name] is None]
        if missing:
            raise TypeError(f"draw={draw!r} needs {' and '.join(missing)}")
        args = [int(sizes[name]) for name in box]  # type: ignore[arg-type]
        handle = self._require_handle()
        self._lib.barcode_set_output_format(handle, output_format.encode("ascii"))
        drawn, printed = call_hearing_stderr(getattr(self._lib, function), handle, data, *args)
        if drawn:
            if printed:
                sys.stderr.write(printed)  # not ours to swallow
            return
        box_text = " x ".join(str(a) for a in args)
        # Debug lines (printed when BARCODE_LUMEO_QUIET is not 1) are no reason.
        lines = [line.strip() for line in printed.splitlines() if line.strip() and not line.startswith("DEBUG")]
        reason = "; ".join(lines) or (
            f"the library could not draw {self.name} from {_shown(data)} in a {box_text} box as {output_format} "
            "and gave no reason (text the symbology cannot encode, too much data, or an unknown output format)"
        )
        raise BarcodeError(reason, symbology=self.name, text=data)

    # GS1 DataBar Omnidirectional ------------------------------------------------------------

    def encode_14(self, text: Text) -> bool:
        """Whether DataBar Omnidirectional accepts the text (type 12 only)."""
        with self._lock:
            return bool(self._lib.barcode_encode_14(self._require_handle(), _bytes(text)))

    @property
    def symbol_type_14(self) -> str:
        """The DataBar Omnidirectional layout; "" for other types."""
        with self._lock:
            return (self._lib.barcode_get_symbol_type_14(self._require_handle()) or b"").decode("ascii")

    @property
    def is_svg_output(self) -> bool:
        """Whether the handle's output format is currently SVG (it is while :meth:`svg` draws)."""
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
