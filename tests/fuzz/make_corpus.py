#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the seed corpora and dictionaries of the fuzzers under tests/fuzz.

- corpus/capi/<family>/: programs in the input format of FuzzCApi.cpp (op byte, slot byte,
  arguments), one folder per symbology family, and corpus/capi/formats/ for the output formats;
- dict/fuzz_capi.dict: whole calls with the extreme values (output formats, pixel adjustments,
  font scales and gaps, canvas sides, PDF417 row heights) for libFuzzer to splice into programs;
- corpus/<fuzzer>/ and dict/<fuzzer>.dict of the other harnesses: a few inputs in the form each
  reads (see the head of its source) and the tokens of its syntax.

Run from anywhere; the files are rewritten in place:
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
         "STACKED_OMNIDIRECTIONAL", "UNSTACKED", "gif", "16X48", "png8", "PNG8", "PNG", "Png8", "png8 ", "bmp",
         "webp"]
SPECIAL_INTS = [-2**31, -100000, -1, 0, 1, 2, 3, 8, 40, 41, 90, 91, 1000, 2441, 16384, 16385, 23000, 100000,
                2**31 - 1, 1033, 1128, 2237, 2442, 4000, 4096, 6324, 6325, 8192, 12000, 16000, 16383, -16384, -16385,
                -1000000, 1000000, 40000000, 40000001, -2**31 + 1, 2**31 - 2, -2, 10, 255, 256, 65535, 65536]
SPECIAL_DOUBLES = ["nan", "inf", "-inf", 0.0, "-0", 1e300, -1e300, 1e9, -1.0, 0.5, 1.5, 1000.0, 0.001, 1e-300,
                   "denorm_min", "max", "lowest", "min", "-min", "-denorm_min", -1e-300, 1e-10, 1e10, 1e15, 65536.0,
                   2.5, -0.5]
FORMATS = ["png", "png8", "svg", "SVG", "jpg", "jpeg", "JPEG", "", "gif", "PNG8"]

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
        if s == v and type(s) is type(v):
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


SEEDS["formats"] = {
    # Ordinary draws in the raster formats the other families leave out.
    "code39-png8": create(0, 0) + op("output_format", 0, enc_string("png8"))
    + draw("draw_1d", 0, "ABC-123", 300, 100, consume=1),
    "qr-png8": create(0, 16) + op("output_format", 0, enc_string("png8")) + draw("draw_2d", 0, "https://example.com/", 200),
    "pdf417-jpg": create(0, 18) + op("output_format", 0, enc_string("jpg"))
    + draw("draw_2d_rect", 0, "PDF417 0123456789", 400, 150, consume=1),
}


def capi_dictionary():
    """Whole calls on slot 0 (and the create calls of every type) with the extreme values."""
    entries = {}
    for t in range(19):
        entries["create_%d" % t] = create(0, t)
    for f in FORMATS:
        entries["format_%s" % (f or "renderer").replace(" ", "_")] = op("output_format", 0, enc_string(f))
    for name in ("px_black", "px_white"):
        for v in (-100000, -16384, -1000000, 1000000, 100000, -2**31, 2**31 - 1):
            entries["%s_%d" % (name, v)] = op(name, 0, enc_int(v))
        entries[name + "_wide_negative"] = op(name, 0, bytes([5, 0xFF, 0xFF]))
    for name in ("font_scale", "text_gap", "aspect_ratio"):
        for v in ("nan", "inf", "-inf", "-0", 0.0, 1e300, -1e300, 1e-300, "denorm_min", "max", "lowest", -1.0):
            entries["%s_%s" % (name, v)] = op(name, 0, enc_double(v))
    for v in (1, 2, 3, 10, 100, 1000, 100000, 2**31 - 1):
        entries["y_height_%d" % v] = op("y_height", 0, enc_int(v))
    # Tall and wide boxes; the largest areas, whose draws take seconds, come from the numbers alone.
    for w, h in ((1033, 2237), (100, 4000), (120, 16000), (16384, 1), (1, 16384), (16385, 100), (300, 16384)):
        entries["box_%dx%d" % (w, h)] = enc_int(w) + enc_int(h)
    for v in (1128, 4000, 6324, 16384):
        entries["side_%d" % v] = enc_int(v)
    entries["get_image_data"] = op("get_image_data", 0, bytes([1]))
    entries["get_base64"] = op("get_base64", 0)
    return entries


def write_dictionary(name, entries):
    os.makedirs(os.path.join(HERE, "dict"), exist_ok=True)
    with open(os.path.join(HERE, "dict", name + ".dict"), "w") as f:
        f.write("# Written by tests/fuzz/make_corpus.py.\n")
        for key, value in entries.items():
            raw = value.encode("utf-8") if isinstance(value, str) else value
            text = "".join(chr(b) if 0x20 <= b < 0x7F and b not in (0x22, 0x5C) else "\\x%02X" % b for b in raw)
            f.write('%s="%s"\n' % (key, text))


def tokens(*words):
    return {"t%d" % i: w for i, w in enumerate(words)}


def u16(v):
    return bytes([v >> 8, v & 255])


OTHER_SEEDS = {
    "fuzz_compact_png": {
        # shape, sizes, pad, palette count - 1 (2 bytes), kind, seed (2 bytes), then row operations.
        "two-colours-runs": bytes([0, 39, 9, 0]) + u16(1) + bytes([7]) + u16(0)
        + bytes([3, 9, 0, 0, 5, 0, 1, 20, 0, 0, 1, 2, 7, 0, 9, 0, 1, 0, 5, 0]),
        "grey-levels": bytes([1, 63, 20, 1]) + u16(3) + bytes([1]) + u16(7) + bytes([4, 3, 0, 3, 2, 3, 0, 4, 0, 9]),
        "grey-16": bytes([2, 99, 30, 2]) + u16(15) + bytes([2]) + u16(9) + bytes([7, 0, 0, 0, 6, 1, 8, 0, 0, 1]),
        "grey-256": bytes([3, 255, 4, 3]) + u16(255) + bytes([3]) + u16(1) + bytes([7, 0, 0, 7, 0, 1]),
        "alpha": bytes([4, 120, 12, 0]) + u16(40) + bytes([5]) + u16(3) + bytes([4, 7, 0, 39, 1, 2, 2, 0, 7, 0, 1]),
        "300-colours": bytes([5, 255, 8, 1]) + u16(299) + bytes([4]) + u16(11) + bytes([7, 0, 0, 1, 7, 0, 1]),
        "257-colours-one-pixel": bytes([6, 200, 3, 0]) + u16(256) + bytes([0]) + u16(5)
        + bytes([4, 1, 0, 255, 2, 1, 0, 10, 1, 0]),
        "tall-100x4000": bytes([55, 0]) + u16(1) + bytes([7]) + u16(0) + bytes([3, 30, 0, 0, 40, 0, 1, 2, 2, 0, 50]),
        "tall-120x16000": bytes([56, 1]) + u16(2) + bytes([4]) + u16(2) + bytes([3, 20, 0, 0, 60, 0, 1, 0, 5, 1]),
        # A linear symbol's rows: a bar row, thousands of rows with its pointer, then text rows.
        "bars-then-text": bytes([55, 0]) + u16(39) + bytes([4]) + u16(6) + bytes([3, 4, 0, 2, 4, 0, 1, 0, 9])
        + u16(3900) + bytes([4, 1]) + u16(39) + bytes([4, 2]) + u16(39) + bytes([2, 3, 0, 5, 0, 9]),
        "wide-rows": bytes([58, 28, 2, 0]) + u16(30) + bytes([4]) + u16(4) + bytes([7, 0, 0, 2, 1, 0, 0, 0, 3]),
        "medium": bytes([48, 0x03, 0x20, 200, 1]) + u16(9) + bytes([6]) + u16(8)
        + bytes([3, 50, 0, 1, 100, 0, 2, 2, 1, 3, 0, 5, 0, 2, 0, 8, 1, 0, 4]),
    },
    "fuzz_row_deflater": {
        # length mode and value, row count, then per row an operation and a repeat byte.
        "short-rows": bytes([0, 9, 20, 4, 1, 0, 1, 200, 2, 1, 0, 5, 9, 3, 4, 0, 200, 5, 0, 9, 170]),
        "repeats": bytes([6, 24, 6, 3, 10, 1, 40, 2, 230, 1, 240, 2, 2, 0, 10, 7, 0, 250, 0x10, 0]),
        "window": bytes([6, 42, 3, 4, 2, 0, 1, 255, 0x40, 0, 2, 1, 0, 0, 1, 5, 100]),
        "raw-bytes": bytes([0, 31, 2, 0]) + bytes(range(32)) + bytes([170, 0]) + bytes(range(100, 132)) + bytes([0]),
    },
    "fuzz_gs1_128": {
        "gtin-batch": b"\x01{FNC1}0104912345678904{FNC1}10ABC123",
        "set-b-fnc1": b"\x01123{FNC1}45",
        "ai-only": b"\x01{AI}0112345",
        "controls": b"\x01\x01\x02abc\x7f{FNC1}99",
        "elements": bytes([0, 2, ord("A"), ord("B"), 3, 2, 20]) + b"0104912345678904" + bytes([33, 4]) + b"LOT7",
    },
    "fuzz_databar_expanded": {
        "method-1": b"\x010195012345678903",
        "method-2": b"\x01{AI}10ABC",
        "method-3": b"\x010190012345678908{AI}3103001750",
        "method-4": b"\x010190012345678908{AI}3202009999",
        "method-5": b"\x010190012345678908{AI}39221234",
        "method-6": b"\x010190012345678908{AI}3932978123",
        "method-7": b"\x010190012345678908{AI}3103001750{AI}11251231",
        "general": b"\x010194912345678907{AI}10LOT-42a!%[{AI}21SN12345",
        "elements": bytes([0, 1, 4, 5, 6, 7, 8, 9, 0, 1, 2, 3, 4, 5, 6, 3, 0, 1, 2, 3, 2, 7, 1, 9, 12, 31, 6, 3, 65]),
    },
    "fuzz_sjis_conversion": {
        "ascii": b"\x00ABC \\~",
        "kana-sjis": b"\x00\x82\xa0",
        "kana-utf8": "\x00\u3042".encode("utf-8"),
        "address-utf8": ("\x00\u6771\u4eac\u90fd\u5343\u4ee3\u7530\u533a\u4e38\u306e\u5185\uff11\u4e01\u76ee"
                         "\uff5e").encode("utf-8"),
        "address-sjis": b"\x00" + "\u6771\u4eac\u90fd\u5343\u4ee3\u7530\u533a\uff5e\u2460\u2252".encode("cp932"),
        "half-width": b"\x00\xb1\xb2\xb3ABC",
        "code-points": bytes([1, 10, 0, 66, 13, 1, 0, 15, 0, 10, 19, 0, 5, 2, 0, 200]),
        "pairs": bytes([2, 0, 10, 20, 200, 1, 60, 40, 5, 65, 16, 9]),
    },
    "fuzz_tool_csv": {
        "batch": b"\x00# shelf labels\ntype,text,file,options\ncode128,GOOD-1,good1.png\n"
        b"qr,\"HELLO, \"\"WORLD\"\"\",qr/hello.png,--draw 2d --width 150\ncode128,\"open quote,z.png\n"
        b"code128,ok,../escape.png\ncode128,too few\ncode128,again,good1.png\r\n"
        b"jan13,4901234567894,sub/dir/j.svg,--extended-guard 1\n",
        "paths": b"\x01a,b,/abs.png\na,b,./x/../y.png\na,b,x/./y.png\na,b,.\na,b,sub/\n",
        "fields": b"\x80qr\xffHELLO, \"WORLD\"\xffq.png\xff--draw 2d",
        "spreadsheet": b"\x0a\xef\xbb\xbftype,text,file,options\r\ncode128,\"two\r\nlines\",a.png,--width 300\r\n"
        b"qr,\"x\ny\",\"q\n.png\",--draw 2d\r\n  # a comment\r\n\r\ncode128,z,b.png,-o c.png\r\n"
        b"code128,z,d.png,--output=e.png\r\ncode128,nul\x00,f.png\r\ncode128,\"open\r\n",
        "nul-fields": b"\x98code128\xffA\x00B\xffn.png\xff--height 80",
    },
    "fuzz_tool_cli": {
        "code128": b"code128\0Order 2024-00815\0-o\0order.png\0--width\0600\0--height\0150",
        "qr": b"qr\0https://example.jp/\0--draw\02d\0--width\0240\0--level\0H\0-o\0qr.svg",
        "colours": b"jan13\0490123456789\0--fg\0255,0,0\0--bg\00,0,0,0\0--margin\00\0-o\0-",
        "pdf417": b"pdf417\0PDF417\0--y-height\010\0--format\0png8\0--aspect-ratio\01e-300\0-o\0p.png",
        "databar": b"databar-expanded\00190012345678908\0--draw\0stacked\0--block-columns\02\0-o\0d.png",
        "datamatrix": b"17\0DM\0--code-size\016x48\0--scheme\0C40\0--encoding\0shift-jis\0-o\0m.svg",
        "by-module": b"code128\0PARCEL\0--dpi\0300\0--x-dim\00.33mm\0--bar-height\015mm\0--rotate\090\0-o\0p.png",
        "gs1": b"gs1-128\0(01)04912345678904(15)261231\0--module\03\0--no-gs1-check\0--verbose\0-o\0g.svg",
    },
}

DICTIONARIES = {
    "fuzz_gs1_128": tokens("{FNC1}", "{AI}", "{F", "{A", "{FNC1}01", "{AI}10", "0104912345678904", "99", "\x7f",
                           "\x00", "abc", "\x80"),
    "fuzz_databar_expanded": tokens("{AI}", "01", "[", "3103", "3202", "3203", "3922", "3932", "310", "320", "11",
                                    "13", "15", "17", "10", "21", "0190012345678908", "019", "001750", "251231",
                                    "ABCDE", "abc", "!%&", "#", "]", "*,-./", "00000000"),
    "fuzz_sjis_conversion": tokens("\x00\x82\xa0", "\xe3\x81\x82", "\x81\x60", "\x87\x40", "\xed\x40",
                                   "\xfa\x40", "\xa1", "\xdf", "\\", "~", "\xc3\xa9", "\xef\xbd\x9e",
                                   "\xe2\x88\x92", "\xf0\x9f\x98\x80", "\xed\xa0\x80", "\xc0\xaf"),
    "fuzz_tool_csv": tokens(",", "\"", "\"\"", "\r\n", "\n", "#", "type,text,file", "../", "/", "./", ".",
                            "--draw 2d", "qr,", "code128,", ".png", ".svg", "\t",
                            b"\xef\xbb\xbf", "\"\r\n", "-o ", "--output=", "\x00", " #"),
    "fuzz_tool_cli": tokens(*(["\0" + w + "\0" for w in (
        "-o", "--output", "--format", "--width", "--height", "--margin", "--draw", "--fg", "--bg", "--fit-width",
        "--px-black", "--px-white", "--show-text", "--font-scale", "--text-gap", "--even-spacing", "--start-stop",
        "--code-mode", "--extended-guard", "--encoding", "--level", "--version", "--mode", "--code-size", "--size",
        "--scheme", "--error-level", "--qr-version", "--columns", "--rows", "--aspect-ratio", "--ratio", "--y-height",
        "--databar14", "--databar-exp", "--block-columns", "--module", "--dpi", "--x-dim", "--bar-height",
        "--rotate", "--verbose", "--no-gs1-check")] + [w + "\0" for w in (
        "code39", "code93", "code128", "gs1-128", "nw7", "matrix2of5", "nec2of5", "jan8", "jan13", "upca", "upce",
        "itf", "databar14", "databar-limited", "databar-expanded", "yubin", "qr", "datamatrix", "pdf417")] + [
        "png", "png8", "svg", "1d", "2d", "yubin", "convenience", "stacked", "-", ".png", ".svg", ".PNG", "0", "-1",
        "10000", "10001", "2147483648", "1e309", "nan", "inf", "0x10", "255,0,0", "1,2,3,4,5", "AUTO", "shift-jis",
        "16x48", "STACKED", " ", "mm", "in", "mil", "0.33mm", "90", "270", "(01)", "{FNC1}"])),
}


def write_seeds(folder, seeds):
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main():
    for family, seeds in SEEDS.items():
        write_seeds(os.path.join(HERE, "corpus", "capi", family), seeds)
    write_dictionary("fuzz_capi", capi_dictionary())
    for fuzzer, seeds in OTHER_SEEDS.items():
        write_seeds(os.path.join(HERE, "corpus", fuzzer[len("fuzz_"):]), seeds)
    for fuzzer, entries in DICTIONARIES.items():
        write_dictionary(fuzzer, entries)


if __name__ == "__main__":
    main()
