# SPDX-License-Identifier: MIT
"""Quiet zones: the library draws a symbol flush against its box, so the package measures the
module width of the drawn symbol (from the same symbol drawn as SVG) and adds the margin that the
symbology's standard asks for, as the ``lumeo`` tool does. The margins in modules come from the
library's own table (``lumeo_describe()``)."""

from __future__ import annotations

import math
import operator
import re
import struct
import zlib
from dataclasses import dataclass
from typing import Dict, List, Optional, Sequence, Tuple

Color = Tuple[int, int, int, int]

# Largest framed image, in pixels: far beyond any label, small enough to allocate.
_MAX_PIXELS = 1 << 28

_ATTRIBUTE = re.compile(r'\s([a-zA-Z-]+)="([^"]*)"')


@dataclass
class Extent:
    """Where the dark rectangles of a drawn symbol lie on its canvas, and the narrowest one."""

    module: float
    module_height: float
    left: float
    top: float
    right: float
    bottom: float
    width: float
    height: float


@dataclass
class Margins:
    left: int = 0
    top: int = 0
    right: int = 0
    bottom: int = 0

    def empty(self) -> bool:
        return not (self.left or self.top or self.right or self.bottom)


def _attributes(tag: str) -> Dict[str, str]:
    return dict(_ATTRIBUTE.findall(tag))


def _number(text: Optional[str]) -> float:
    try:
        return float(text) if text is not None else math.nan
    except ValueError:
        return math.nan


def measure_svg(svg: str, fg: Sequence[int]) -> Optional[Extent]:
    """The extent of the rectangles painted in the colour ``fg``; None when there are none."""
    start = svg.find("<svg")
    end = svg.find(">", start)
    if start < 0 or end < 0:
        return None
    head = _attributes(svg[start:end])
    width, height = _number(head.get("width")), _number(head.get("height"))
    if math.isnan(width) or math.isnan(height):
        return None
    fill = f"rgb({fg[0] & 255},{fg[1] & 255},{fg[2] & 255})"
    # The library writes each rectangle's attributes in one order: read them with one pattern.
    rects = re.findall(r'<rect x="([^"]*)" y="([^"]*)" width="([^"]*)" height="([^"]*)" fill="' + re.escape(fill)
                       + '"', svg[end:])
    if not rects:
        rects = [(a.get("x"), a.get("y"), a.get("width"), a.get("height"))
                 for a in map(_attributes, re.findall(r"<rect\b[^>]*>", svg[end:])) if a.get("fill") == fill]
    if not rects:
        return None
    try:
        xs, ys, ws, hs = (list(map(float, column)) for column in zip(*rects))
    except ValueError:
        return None
    if min(ws) <= 0 or min(hs) <= 0 or not all(map(math.isfinite, xs + ys + ws + hs)):
        # Degenerate rectangles (a zero-width bar) are skipped one by one.
        kept = [r for r in zip(xs, ys, ws, hs) if r[2] > 0 and r[3] > 0 and all(map(math.isfinite, r))]
        if not kept:
            return None
        xs, ys, ws, hs = (list(column) for column in zip(*kept))
    return Extent(min(ws), min(hs), min(xs), min(ys), max(map(operator.add, xs, ws)),
                  max(map(operator.add, ys, hs)), width, height)


def quiet_zone_margins(extent: Extent, zone: Dict[str, float], px_adjust_black: int = 0) -> Margins:
    """The pixels still missing on each side for the zone (in modules), counting the blank canvas
    already around the symbol. The bar adjustment is taken off the narrowest bar."""
    module = max(extent.module - px_adjust_black, 1.0)

    def missing(modules: float, blank: float) -> int:
        need = math.ceil(modules * module - 1e-6) - math.floor(max(blank, 0.0) + 1e-6)
        return int(need) if need > 0 else 0

    return Margins(
        left=missing(zone["left"], extent.left),
        right=missing(zone["right"], extent.width - extent.right),
        top=missing(zone["vertical"], extent.top),
        bottom=missing(zone["vertical"], extent.height - extent.bottom),
    )


def _check_size(width: int, height: int) -> None:
    if width <= 0 or height <= 0 or width * height > _MAX_PIXELS:
        raise ValueError(f"the image with its quiet zone would be too large ({width} x {height})")


def turn_svg(svg: str, degrees: int) -> str:
    """The document turned clockwise by 0, 90, 180 or 270 degrees: its content in a group turned
    about the origin and moved back into view, width and height swapped for a quarter turn."""
    turns = (degrees // 90) % 4
    if turns == 0:
        return svg
    start = svg.find("<svg")
    end = svg.find(">", start) + 1
    tag = svg[start:end]
    a = _attributes(tag)
    w, h = a.get("width", ""), a.get("height", "")
    box = a.get("viewBox", "").split()
    x0, y0 = (float(box[0]), float(box[1])) if len(box) == 4 else (0.0, 0.0)
    out_w, out_h = (w, h) if turns == 2 else (h, w)
    for name, value in (("width", out_w), ("height", out_h), ("viewBox", f"0 0 {out_w} {out_h}")):
        tag = re.sub(rf'(\s{name}=")[^"]*(")', lambda k: k.group(1) + value + k.group(2), tag, count=1)
    move = {1: f"translate({h} 0) rotate(90)", 2: f"translate({w} {h}) rotate(180)",
            3: f"translate(0 {w}) rotate(270)"}[turns]
    if x0 or y0:
        move += f" translate({-x0:.10g} {-y0:.10g})"
    close = svg.rfind("</svg>")
    return svg[:start] + tag + f'\n<g transform="{move}">' + svg[end:close] + "</g>\n" + svg[close:]


def turn_png(png: bytes, degrees: int) -> bytes:
    """The PNG file turned clockwise by 0, 90, 180 or 270 degrees, in its own colour type and depth."""
    turns = (degrees // 90) % 4
    if turns == 0:
        return png
    chunks = _chunks(png)
    header = next(data for kind, data in chunks if kind == b"IHDR")
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", header)
    if interlace:
        raise ValueError("the library's PNG is interlaced")
    raw = zlib.decompress(b"".join(data for kind, data in chunks if kind == b"IDAT"))
    if colour in (0, 3):
        rows = [list(r) for r in _indices(_rows(raw, width, height, depth), width, depth)]
        size = 1
    elif colour in (2, 6) and depth == 8:
        size = 4 if colour == 6 else 3
        rows = [[r[i:i + size] for i in range(0, len(r), size)] for r in _rows(raw, width, height, 8 * size)]
    else:
        raise ValueError(f"the library's PNG has colour type {colour} at depth {depth}")
    if turns == 1:
        turned = [list(column) for column in zip(*reversed(rows))]
    elif turns == 2:
        turned = [row[::-1] for row in reversed(rows)]
    else:
        turned = [list(column) for column in reversed(list(zip(*rows)))]
    if size == 1:
        body = b"".join(b"\0" + _pack(bytes(r), depth) for r in turned)
    else:
        body = b"".join(b"\0" + b"".join(r) for r in turned)
    extra = b"".join(_chunk(kind, data) for kind, data in chunks if kind in (b"PLTE", b"tRNS"))
    out_w, out_h = (width, height) if turns == 2 else (height, width)
    return _png(out_w, out_h, depth, colour, extra, body)


def frame_svg(svg: str, m: Margins, bg: Sequence[int]) -> str:
    """The document with ``m`` pixels of background around it: a larger canvas and view box."""
    if m.empty():
        return svg
    start = svg.find("<svg")
    end = svg.find(">", start) + 1
    tag = svg[start:end]
    a = _attributes(tag)
    w = int(_number(a.get("width"))) + m.left + m.right
    h = int(_number(a.get("height"))) + m.top + m.bottom
    _check_size(w, h)
    x0, y0 = -m.left, -m.top
    for name, value in (("width", str(w)), ("height", str(h)), ("viewBox", f"{x0} {y0} {w} {h}")):
        tag = re.sub(rf'(\s{name}=")[^"]*(")', lambda k: k.group(1) + value + k.group(2), tag, count=1)
    background = f'\n  <rect x="{x0}" y="{y0}" width="{w}" height="{h}" fill="rgb({bg[0]},{bg[1]},{bg[2]})"'
    if bg[3] < 255:
        background += f' fill-opacity="{bg[3] / 255:.2f}"'
    background += "/>"
    return svg[:start] + tag + background + svg[end:]


# PNG ---------------------------------------------------------------------------------------------

_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def _chunks(png: bytes) -> List[Tuple[bytes, bytes]]:
    if png[:8] != _SIGNATURE:
        raise ValueError("the library returned no PNG file")
    chunks, at = [], 8
    while at + 8 <= len(png):
        length, kind = struct.unpack(">I4s", png[at:at + 8])
        chunks.append((kind, png[at + 8:at + 8 + length]))
        at += 12 + length
        if kind == b"IEND":
            break
    return chunks


def _chunk(kind: bytes, data: bytes) -> bytes:
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def _unfilter(raw: bytes, width: int, height: int, bits_per_pixel: int) -> List[bytearray]:
    """The rows of the image without their filter bytes."""
    stride = (width * bits_per_pixel + 7) // 8
    bpp = max(1, bits_per_pixel // 8)
    rows: List[bytearray] = []
    previous = bytearray(stride)
    at = 0
    for _ in range(height):
        kind = raw[at]
        row = bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        if kind == 1:
            for i in range(bpp, stride):
                row[i] = (row[i] + row[i - bpp]) & 255
        elif kind == 2:
            row = bytearray((a + b) & 255 for a, b in zip(row, previous))
        elif kind == 3:
            for i in range(stride):
                left = row[i - bpp] if i >= bpp else 0
                row[i] = (row[i] + ((left + previous[i]) >> 1)) & 255
        elif kind == 4:
            for i in range(stride):
                a = row[i - bpp] if i >= bpp else 0
                b = previous[i]
                c = previous[i - bpp] if i >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        elif kind != 0:
            raise ValueError(f"the library's PNG has an unknown filter {kind}")
        rows.append(row)
        previous = row
    return rows


def _unpack(row: bytes, width: int, depth: int) -> bytes:
    """Sub-byte pixels (depth 1, 2 or 4) as one byte each."""
    if depth == 8:
        return bytes(row[:width])
    per_byte = 8 // depth
    mask = (1 << depth) - 1
    out = bytearray()
    for byte in row:
        out.extend((byte >> (8 - depth * (k + 1))) & mask for k in range(per_byte))
    return bytes(out[:width])


def _pack(indices: bytes, depth: int) -> bytes:
    if depth == 8:
        return indices
    per_byte = 8 // depth
    out = bytearray((len(indices) + per_byte - 1) // per_byte)
    for i, v in enumerate(indices):
        out[i // per_byte] |= v << (8 - depth * (i % per_byte + 1))
    return bytes(out)


def _rows(raw: bytes, width: int, height: int, bits_per_pixel: int) -> List[bytes]:
    """The image's rows without filter bytes; rows written with filter 0 ("none", all of the
    library's compact PNG files) are plain slices."""
    stride = (width * bits_per_pixel + 7) // 8
    if len(raw) < height * (stride + 1):
        raise ValueError("the library's PNG is truncated")
    if not any(raw[0:height * (stride + 1):stride + 1]):
        return [raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)] for y in range(height)]
    return [bytes(r) for r in _unfilter(raw, width, height, bits_per_pixel)]


def _repeat(index: int, count: int, depth: int) -> int:
    """``count`` pixels of ``index`` at ``depth`` bits as one integer."""
    if count <= 0:
        return 0
    return index * ((1 << (count * depth)) - 1) // ((1 << depth) - 1)


def _frame_indexed(rows: List[bytes], width: int, depth: int, index: int, m: Margins) -> bytes:
    """Filter-0 scanlines of ``rows`` (pixels of ``depth`` bits) with ``m`` pixels of ``index``
    around them, computed a whole row at a time."""
    out_w = width + m.left + m.right
    stride = (width * depth + 7) // 8
    out_stride = (out_w * depth + 7) // 8
    pad_in = stride * 8 - width * depth
    pad_out = out_stride * 8 - out_w * depth
    after = m.right * depth + pad_out
    prefix = _repeat(index, m.left, depth) << (width * depth + after)
    suffix = _repeat(index, m.right, depth) << pad_out
    blank = b"\0" + (_repeat(index, out_w, depth) << pad_out).to_bytes(out_stride, "big")
    body = bytearray(blank * m.top)
    for row in rows:
        pixels = int.from_bytes(row, "big") >> pad_in
        body += b"\0" + (prefix | (pixels << after) | suffix).to_bytes(out_stride, "big")
    body += blank * m.bottom
    return bytes(body)


def _indices(rows: List[bytes], width: int, depth: int) -> List[bytes]:
    """Each row as one byte per pixel."""
    if depth == 8:
        return [bytes(r[:width]) for r in rows]
    per_byte = 8 // depth
    mask = (1 << depth) - 1
    table = [bytes((b >> (8 - depth * (k + 1))) & mask for k in range(per_byte)) for b in range(256)]
    return [b"".join(map(table.__getitem__, r))[:width] for r in rows]


def _rgba_rows(indices: List[bytes], palette: List[Tuple[int, ...]]) -> List[bytes]:
    """Palette indices as RGBA pixels, a channel at a time."""
    channels = [bytes(p[c] for p in palette) + bytes(256 - len(palette)) for c in range(4)]
    out = []
    for row in indices:
        pixels = bytearray(4 * len(row))
        for c in range(4):
            pixels[c::4] = row.translate(channels[c])
        out.append(bytes(pixels))
    return out


def _palette_of(chunks: List[Tuple[bytes, bytes]], colour: int, depth: int) -> List[Tuple[int, ...]]:
    if colour == 0:  # grey levels
        levels = 1 << depth
        return [(v * 255 // (levels - 1),) * 3 + (255,) for v in range(levels)]
    plte = next(data for kind, data in chunks if kind == b"PLTE")
    alpha = next((data for kind, data in chunks if kind == b"tRNS"), b"")
    return [tuple(plte[i:i + 3]) + (alpha[i // 3] if i // 3 < len(alpha) else 255,) for i in range(0, len(plte), 3)]


def frame_png(png: bytes, m: Margins, bg: Sequence[int], rgba: bool = False) -> bytes:
    """The PNG file with ``m`` pixels of background around it. Palette and grey images (the
    library's "png8") stay so, at their bit depth where the background fits it; with ``rgba``
    the result is an RGBA image (the pixels of the library's "png")."""
    chunks = _chunks(png)
    header = next(data for kind, data in chunks if kind == b"IHDR")
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", header)
    if interlace:
        raise ValueError("the library's PNG is interlaced")
    if m.empty() and not rgba:
        return png
    raw = zlib.decompress(b"".join(data for kind, data in chunks if kind == b"IDAT"))
    out_w, out_h = width + m.left + m.right, height + m.top + m.bottom
    _check_size(out_w, out_h)
    want = tuple(bg[:4])
    extra = b""
    if colour in (0, 3):
        palette = _palette_of(chunks, colour, depth)
        rows = _rows(raw, width, height, depth)
        if rgba:
            indices = _indices(rows, width, depth)
            return frame_png(_png(width, height, 8, 6, b"", b"".join(b"\0" + r for r in _rgba_rows(indices, palette))),
                             m, bg)
        if want in palette:
            index = palette.index(want)
        elif len(palette) < 256:
            palette.append(want)
            index = len(palette) - 1
        else:
            index = min(range(len(palette)), key=lambda i: sum((a - b) ** 2 for a, b in zip(palette[i], want)))
        out_depth = depth
        if len(palette) > 1 << depth:  # the background took a new entry past the depth
            out_depth = next(d for d in (1, 2, 4, 8) if len(palette) <= 1 << d)
            rows = [_pack(r, out_depth) for r in _indices(rows, width, depth)]
        body = _frame_indexed(rows, width, out_depth, index, m)
        if colour == 0 and len(palette) == 1 << depth:
            out_colour = 0  # the background is one of the grey levels: the image stays grey
        else:
            out_colour = 3
            extra = _chunk(b"PLTE", b"".join(bytes(p[:3]) for p in palette))
            alphas = [p[3] for p in palette]
            while alphas and alphas[-1] == 255:
                alphas.pop()
            if alphas:
                extra += _chunk(b"tRNS", bytes(alphas))
        return _png(out_w, out_h, out_depth, out_colour, extra, body)
    if colour in (2, 6) and depth == 8:
        channels = 4 if colour == 6 else 3
        rows = _rows(raw, width, height, 8 * channels)
        pixel = bytes(bg[:channels])
        blank = b"\0" + pixel * out_w
        left, right = pixel * m.left, pixel * m.right
        body = bytearray(blank * m.top)
        for r in rows:
            body += b"\0" + left + r + right
        body += blank * m.bottom
        return _png(out_w, out_h, 8, colour, b"", bytes(body))
    raise ValueError(f"the library's PNG has colour type {colour} at depth {depth}")


def _png(width: int, height: int, depth: int, colour: int, extra: bytes, scanlines: bytes) -> bytes:
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0)
    return (_SIGNATURE + _chunk(b"IHDR", ihdr) + extra + _chunk(b"IDAT", zlib.compress(scanlines))
            + _chunk(b"IEND", b""))
