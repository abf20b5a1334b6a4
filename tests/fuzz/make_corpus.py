#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the seed corpus of fuzz_capi: one folder per symbology family under tests/fuzz/corpus.

Each seed is a small program in the input format of tests/fuzz/FuzzCApi.cpp (op byte, slot byte,
arguments). Run from anywhere; the files are rewritten in place:
    python3 tests/fuzz/make_corpus.py
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# Must match FuzzCApi.cpp.
WORDS = ["png", "svg", "SVG", "jpg", "jpeg", "JPEG", "", "A", "B", "C", "AUTO", "L", "M", "Q", "H", "NUMERIC",
         "ALPHANUMERIC", "KANJI", "BYTE", "utf-8", "UTF-8", "shift-jis", "Shift-JIS", "shift_jis", "10x10", "16x48",
         "144x144", "8x18", "ASCII", "C40", "TEXT", "X12", "EDIFACT", "BASE256", "OMNIDIRECTIONAL", "STACKED",
         "STACKED_OMNIDIRECTIONAL", "UNSTACKED", "gif", "16X48"]
SPECIAL_INTS = [-2**31, -100000, -1, 0, 1, 2, 3, 8, 40, 41, 90, 91, 1000, 2441, 16384, 16385, 23000, 100000,
                2**31 - 1]
SPECIAL_DOUBLES = ["nan", "inf", "-inf", 0.0, "-0", 1e300, -1e300, 1e9, -1.0, 0.5, 1.5, 1000.0, 0.001, 1e-300]

OPS = {name: i for i, name in enumerate([
    "create", "destroy", "output_format", "foreground", "background", "px_black", "px_white", "fit_width",
    "show_text", "font_scale", "text_gap", "even_spacing", "show_start_stop", "code_mode", "extended_guard",
    "string_encoding", "ec_level", "version", "encode_mode", "code_size", "encode_scheme", "error_level",
    "columns", "rows", "aspect_ratio", "y_height", "symbol_type_14", "symbol_type_exp", "no_of_columns",
    "get_symbol_type_14", "encode_14", "check_digit_14", "draw_1d", "draw_2d", "draw_2d_rect", "draw_yubin",
    "draw_yubin_with_width", "draw_convenience", "draw_stacked", "get_base64", "get_svg", "get_image_data",
    "is_svg_output"])}


def enc_int(v):
    if 0 <= v <= 255:
        return bytes([0, v])
    if 0 <= v <= 1023:
        return bytes([1, v >> 2, (v & 3) << 6])
    if -255 <= v < 0:
        return bytes([2, -v])
    return bytes([3, SPECIAL_INTS.index(v)])


def enc_double(v):
    for i, s in enumerate(SPECIAL_DOUBLES):
        if s == v:
            return bytes([0, i])
    if v >= 0 and v * 16 == int(v * 16) and v * 16 <= 255:
        return bytes([2, int(v * 16)])
    return bytes([1]) + struct.pack(">d", v)


def enc_string(s):
    if s is None:
        return bytes([255])
    if s in WORDS:
        return bytes([96 + WORDS.index(s)])
    raw = s.encode("utf-8") if isinstance(s, str) else s
    assert len(raw) < 96
    return bytes([len(raw)]) + raw


def op(name, slot, *args):
    out = bytes([OPS[name], slot])
    for a in args:
        out += a
    return out


def create(slot, type_):
    return op("create", slot, bytes([type_]))


def draw(name, slot, text, width, height=0, consume=0):
    """Every drawing function reads a text and two numbers: draw_2d uses the first (its size),
    draw_yubin the second (its height)."""
    return op(name, slot, enc_string(text), enc_int(width), enc_int(height), bytes([consume]))


def both_formats(slot, body):
    """The body in PNG, then in SVG."""
    return body + op("output_format", slot, enc_string("svg")) + body


SEEDS = {
    "linear": {
        "code39": create(0, 0) + both_formats(0, draw("draw_1d", 0, "ABC-123", 300, 100)),
        "code39-startstop": create(0, 0) + op("show_start_stop", 0, enc_int(1))
        + draw("draw_1d", 0, "CODE39", 200, 60, consume=1),
        "code93": create(0, 1) + both_formats(0, draw("draw_1d", 0, "CODE93 x", 400, 120)),
        "nw7": create(1, 4) + draw("draw_1d", 1, "A0123-4567B", 300, 80)
        + op("text_gap", 1, enc_double(2.0)) + draw("draw_1d", 1, "A0123-4567B", 300, 80),
        "twoof5": create(0, 5) + draw("draw_1d", 0, "20240415", 300, 80) + create(1, 6)
        + draw("draw_1d", 1, "0123456789", 300, 80),
        "itf-options": create(0, 11) + op("fit_width", 0, enc_int(1)) + op("px_black", 0, enc_int(-2))
        + op("px_white", 0, enc_int(3)) + both_formats(0, draw("draw_1d", 0, "14901234567891", 333, 90)),
    },
    "code128": {
        "code128": create(0, 2) + both_formats(0, draw("draw_1d", 0, "Code 128 \u00e9", 400, 100)),
        "code128-modes": create(0, 2) + op("code_mode", 0, enc_string("C"))
        + draw("draw_1d", 0, "0123456789", 300, 100) + op("code_mode", 0, enc_string("A"))
        + draw("draw_1d", 0, "HELLO", 300, 100),
        "gs1-128": create(0, 3) + both_formats(0, draw("draw_1d", 0, "{FNC1}0104912345678904{AI}10LOT", 500, 120)),
        "payment": create(0, 3) + both_formats(0, draw("draw_convenience", 0,
                                                           "9191234500012345678901234567810261231000150", 500, 160)),
        "payment-scale": create(0, 3) + op("font_scale", 0, enc_double(1e9))
        + draw("draw_convenience", 0, "9191234500012345678901234567810261231000150", 1000, 100),
    },
    "eanupc": {
        "jan8": create(0, 7) + both_formats(0, draw("draw_1d", 0, "4901234", 300, 150)),
        "jan13-guard": create(0, 8) + op("extended_guard", 0, enc_int(1))
        + both_formats(0, draw("draw_1d", 0, "490123456789", 300, 120)),
        "upca": create(0, 9) + op("font_scale", 0, enc_double(1.5))
        + both_formats(0, draw("draw_1d", 0, "03600029145", 400, 150)),
        "upce-scale": create(0, 10) + op("font_scale", 0, enc_double(-1.0)) + draw("draw_1d", 0, "425261", 300, 150),
    },
    "databar": {
        "omni": create(0, 12) + both_formats(0, draw("draw_1d", 0, "0123456789012", 300, 100))
        + op("get_symbol_type_14", 0) + op("encode_14", 0, enc_string("0123456789012"))
        + op("check_digit_14", 0, enc_string("0123456789012")),
        "stacked": create(0, 12) + op("symbol_type_14", 0, enc_string("STACKED"))
        + draw("draw_1d", 0, "0123456789012", 200, 100),
        "limited": create(0, 13) + both_formats(0, draw("draw_1d", 0, "0123456789012", 300, 100)),
        "expanded": create(0, 14) + op("symbol_type_exp", 0, enc_string("STACKED")) + op("no_of_columns", 0,
                                                                                            enc_int(2))
        + both_formats(0, draw("draw_stacked", 0, "0195012345678903{AI}3103001750", 300, 200)),
    },
    "postal": {
        "yubin": create(0, 15) + both_formats(0, draw("draw_yubin", 0, "2630023 3-30-8-403", 0, 45)),
        "yubin-width": create(0, 15) + draw("draw_yubin_with_width", 0, "1000001 1-2-3", 500, 60)
        + draw("draw_1d", 0, "!!!", 100, 30),
    },
    "qr": {
        "qr": create(0, 16) + both_formats(0, draw("draw_2d", 0, "https://example.com/", 200)),
        "qr-options": create(0, 16) + op("version", 0, enc_int(10)) + op("ec_level", 0, enc_string("H"))
        + op("encode_mode", 0, enc_string("KANJI")) + op("string_encoding", 0, enc_string("shift-jis"))
        + draw("draw_2d_rect", 0, "\u65e5\u672c", 300, 200),
    },
    "datamatrix": {
        "datamatrix": create(0, 17) + both_formats(0, draw("draw_2d", 0, "DM 0123456789", 200)),
        "datamatrix-options": create(0, 17) + op("code_size", 0, enc_string("16x48"))
        + op("encode_scheme", 0, enc_string("C40")) + draw("draw_2d_rect", 0, "RECTANGULAR", 480, 200),
    },
    "pdf417": {
        "pdf417": create(0, 18) + both_formats(0, draw("draw_2d_rect", 0, "PDF417 0123456789", 400, 150)),
        "pdf417-options": create(0, 18) + op("columns", 0, enc_int(5)) + op("rows", 0, enc_int(10))
        + op("error_level", 0, enc_int(4)) + op("aspect_ratio", 0, enc_double(2.0)) + op("y_height", 0, enc_int(4))
        + draw("draw_2d", 0, "PDF417 options", 200),
    },
}


def main():
    corpus = os.path.join(HERE, "corpus")
    for family, seeds in SEEDS.items():
        folder = os.path.join(corpus, family)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
