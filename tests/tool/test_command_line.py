# SPDX-License-Identifier: MIT
"""The tool's command line as a table: exit status, reason on standard error, and standard output
that is a whole image, the listing asked for, or nothing at all."""

import ctypes
import io
import json
import os
import re
import subprocess

import pytest

LUMEO = os.environ["LUMEO"]
HERE = os.path.dirname(os.path.abspath(__file__))
MAN_PAGE = os.path.join(HERE, "..", "..", "tools", "lumeo.1")
SANITIZED = os.environ.get("LUMEO_SANITIZED") == "1"


def lumeo(*args, input=None, cwd=None, env=None):
    return subprocess.run([LUMEO, *map(str, args)], input=input, capture_output=True, cwd=cwd, timeout=600,
                          env=env)


def whole_png(data):
    """A PNG file from its signature to its IEND chunk, which an independent reader opens."""
    if not (data.startswith(b"\x89PNG\r\n\x1a\n") and data.endswith(b"IEND\xaeB`\x82")):
        return False
    image = pytest.importorskip("PIL.Image").open(io.BytesIO(data))
    image.load()
    return image.width > 0 and image.height > 0


def whole_svg(data):
    return data.startswith(b"<?xml") and data.rstrip().endswith(b"</svg>") and data.count(b"<svg") == 1


# Standard output: "png" or "svg" (a whole image and nothing else), "empty", or a regular expression
# the whole output must match.
PNG, SVG, EMPTY = "png", "svg", "empty"
VERSIONS = r"lumeo \d+\.\d+\.\d+\nbarcode_lumeo library \d+\.\d+\.\d+\n"

# arguments, standard input, exit status, fragments of standard error in this order, standard output
ROWS = [
    # the image alone on standard output, and not a word on standard error
    (["qr", "HELLO", "--draw", "2d", "--qr-version", "4", "-o", "-"], None, 0, [], PNG),
    (["qr", "HELLO", "--draw", "2d", "--version", "4", "-o", "-"], None, 0, [], PNG),  # the old spelling
    (["code128", "ABC", "--format", "svg", "-o", "-"], None, 0, [], SVG),
    (["code128", "-", "-o", "-"], b"PIPED-2024\r\n", 0, [], PNG),
    (["pdf417", "LUMEO", "--format", "png", "-o", "-"], None, 0, [], PNG),
    # a symbol that cannot be drawn: 1, the tool's English reason first, then the library's own
    (["pdf417", "A" * 5100, "-o", "-"], None, 1,
     ["could not be drawn", "does not fit this symbology", "The text is too big."], EMPTY),
    (["jan13", "123", "-o", "-"], None, 1, ['could not be drawn from "123"', "[Jan13]"], EMPTY),
    (["code39", "abc#", "-o", "-"], None, 1, ["could not be drawn", "characters", "[Code39]"], EMPTY),
    (["qr", "-", "--draw", "2d", "-o", "-"], b"https://a.example/\0evil", 1, ["NUL byte (at byte 19)"], EMPTY),
    (["code128", "-", "-o", "-"], b"A\0", 1, ["NUL byte (at byte 2)"], EMPTY),
    # unusable command lines: 2, whatever the value is wrong with
    (["qr", "HELLO", "--draw", "2d", "--version", "41", "-o", "-"], None, 2,
     ["bad value for --version: 41 (a whole number from 0 to 40)"], EMPTY),
    (["qr", "HELLO", "--qr-version", "-1", "-o", "-"], None, 2, ["--qr-version: -1"], EMPTY),
    (["code39", "A", "--width", "-5", "-o", "-"], None, 2, ["bad value for --width: -5 (from 1 to 16384"], EMPTY),
    (["code39", "A", "--width", "0", "-o", "-"], None, 2, ["--width: 0"], EMPTY),
    (["code39", "A", "--height", "nan", "-o", "-"], None, 2, ["--height: nan"], EMPTY),
    (["code39", "A", "--width", "1e9", "-o", "-"], None, 2, ["--width: 1e9"], EMPTY),
    (["code39", "A", "--width", "16385", "-o", "-"], None, 2, ["--width: 16385"], EMPTY),
    (["code39", "A", "--width", "99999999999999999999", "-o", "-"], None, 2, ["--width"], EMPTY),
    (["code39", "A", "--width", "10000", "--height", "5000", "-o", "-"], None, 2, ["40000000 pixels"], EMPTY),
    (["qr", "A", "--draw", "2d", "--width", "16384", "-o", "-"], None, 2, ["16384 x 16384"], EMPTY),
    (["yubin", "2630023", "--draw", "yubin", "--height", "1000", "-o", "-"], None, 2, ["at most 728"], EMPTY),
    (["code39", "A", "--margin", "nan", "-o", "-"], None, 2, ["--margin: nan"], EMPTY),
    (["code39", "A", "--margin", "-3", "-o", "-"], None, 2, ["--margin: -3"], EMPTY),
    (["code39", "A", "--font-scale", "nan", "-o", "-"], None, 2, ["--font-scale: nan (a finite number)"], EMPTY),
    (["code39", "A", "--text-gap", "inf", "-o", "-"], None, 2, ["--text-gap: inf"], EMPTY),
    (["pdf417", "A", "--aspect-ratio", "0", "-o", "-"], None, 2, ["--aspect-ratio: 0"], EMPTY),
    (["pdf417", "A", "--columns", "31", "-o", "-"], None, 2, ["--columns: 31"], EMPTY),
    (["code39", "A", "--fg", "256,0,0", "-o", "-"], None, 2, ["--fg: 256,0,0"], EMPTY),
    (["code39", "A", "--bg", "1,2", "-o", "-"], None, 2, ["--bg: 1,2"], EMPTY),
    (["code39", "A", "--show-text", "2", "-o", "-"], None, 2, ["--show-text: 2 (0 or 1)"], EMPTY),
    (["code39", "A", "--draw", "3d", "-o", "-"], None, 2, ["--draw: 3d"], EMPTY),
    (["code39", "A", "--level", "H", "-o", "-"], None, 2, ["does not apply to code39"], EMPTY),
    (["code39", "A", "--bogus", "1", "-o", "-"], None, 2, ["unknown option --bogus"], EMPTY),
    (["code39", "A", "-o"], None, 2, ["-o needs a value"], EMPTY),
    (["code39", "A"], None, 2, ["-o FILE is required"], EMPTY),
    (["code39", "A", "-o", "a.gif"], None, 2, ["cannot tell the format"], EMPTY),
    (["nosuch", "A", "-o", "-"], None, 2, ["unknown type 'nosuch'"], EMPTY),
    (["--width", "-5", "code39", "A", "-o", "-"], None, 2, ["unknown type '--width'"], EMPTY),
    ([], None, 2, ["usage: lumeo"], EMPTY),
    (["--version", "5"], None, 2, ["--qr-version"], EMPTY),
    (["--list", "qr"], None, 2, ["--list takes no other arguments"], EMPTY),
    # sizing by module, rotation: values and combinations that cannot be used
    (["code39", "A", "--module", "0", "-o", "-"], None, 2, ["bad value for --module: 0 (a whole number"], EMPTY),
    (["code39", "A", "--module", "2", "--width", "300", "-o", "-"], None, 2, ["--width fixes the box"], EMPTY),
    (["code39", "A", "--module", "2", "--x-dim", "0.3mm", "--dpi", "300", "-o", "-"], None, 2,
     ["--module and --x-dim both"], EMPTY),
    (["code39", "A", "--x-dim", "0.33mm", "-o", "-"], None, 2, ["--x-dim needs --dpi"], EMPTY),
    (["code39", "A", "--x-dim", "0.01mm", "--dpi", "300", "-o", "-"], None, 2, ["0.1181 pixels a module"], EMPTY),
    (["code39", "A", "--x-dim", "1ft", "--dpi", "300", "-o", "-"], None, 2, ["bad value for --x-dim: 1ft"], EMPTY),
    (["code39", "A", "--bar-height", "15mm", "-o", "-"], None, 2, ["--bar-height in mm, in or mil needs --dpi"], EMPTY),
    (["code39", "A", "--bar-height", "20", "--height", "90", "-o", "-"], None, 2, ["both set the height"], EMPTY),
    (["qr", "A", "--bar-height", "20", "-o", "-"], None, 2, ["--bar-height does not apply to qr"], EMPTY),
    (["qr", "A", "--module", "3", "--height", "90", "-o", "-"], None, 2, ["--height goes with --width only"], EMPTY),
    (["code39", "A", "--module", "3", "--fit-width", "1", "-o", "-"], None, 2, ["--fit-width stretches"], EMPTY),
    (["code39", "A", "--rotate", "45", "-o", "-"], None, 2, ["--rotate: 45 (0, 90, 180 or 270"], EMPTY),
    (["batch", "x.csv", "out", "--verbose", "--rotate", "45"], None, 2, ["--rotate: 45"], EMPTY),
    # a fixed box too small for the symbol: 1, with the library's reason
    (["code128", "ABC", "--width", "30", "-o", "-"], None, 1, ["could not be drawn", "needs 68 pixels"], EMPTY),
    (["qr", "HELLO", "--draw", "2d", "--width", "10", "-o", "-"], None, 1, ["could not be drawn", "box"], EMPTY),
    (["batch", "x.csv"], None, 2, ["batch FILE.csv DIR"], EMPTY),
    (["batch", "x.csv", "out", "-o", "y.png"], None, 2, ["batch takes no -o"], EMPTY),
    (["batch", "x.csv", "out", "--level", "Z"], None, 2, ["one of L|M|Q|H"], EMPTY),
    (["batch", "x.csv", "out", "--width"], None, 2, ["--width needs a value"], EMPTY),
    (["batch", "x.csv", "out", "--bogus", "1"], None, 2, ["unknown option --bogus"], EMPTY),
    # what was asked for, on standard output
    (["--version"], None, 0, [], VERSIONS),
    (["--help"], None, 0, [], r"usage: lumeo [\s\S]*examples:[\s\S]*"),
    (["--list"], None, 0, [], r"Every type accepts:\n[\s\S]*18  pdf417 - PDF417\n[\s\S]*"),
]


@pytest.mark.parametrize("args, stdin, code, reasons, stdout", ROWS,
                         ids=[" ".join(r[0])[:40] or "(none)" for r in ROWS])
def test_exit_status_reason_and_standard_output(tmp_path, args, stdin, code, reasons, stdout):
    run = lumeo(*args, input=stdin, cwd=tmp_path)
    err = run.stderr.decode(errors="replace")
    assert run.returncode == code, err
    at = 0
    for fragment in reasons:
        found = err.find(fragment, at)
        assert found >= 0, f"{fragment!r} (in this order) not in {err!r}"
        at = found + len(fragment)
    if code == 0 and stdout in (PNG, SVG):
        assert err == "", "a draw that works says nothing"
    if stdout == PNG:
        assert whole_png(run.stdout)
    elif stdout == SVG:
        assert whole_svg(run.stdout)
    elif stdout == EMPTY:
        assert run.stdout == b""
    else:
        assert re.fullmatch(stdout, run.stdout.decode()), run.stdout[:200]
    assert not any(p.name.startswith(".") for p in tmp_path.iterdir()), "no temporary file stays behind"


def test_a_failure_names_the_reason_on_one_line_prefixed_by_the_tool():
    run = lumeo("jan13", "123", "-o", "-")
    lines = run.stderr.decode().splitlines()
    assert len(lines) == 1 and lines[0].startswith("lumeo: the JAN-13 (EAN-13) symbol could not be drawn")


def test_the_library_stays_off_standard_output_even_when_asked_to_talk():
    env = dict(os.environ, BARCODE_LUMEO_QUIET="0")
    for args in (["qr", "HELLO", "--draw", "2d"], ["pdf417", "HELLO"], ["datamatrix", "HELLO", "--draw", "2d"],
                 ["code39", "HELLO"]):
        run = lumeo(*args, "-o", "-", env=env)
        assert run.returncode == 0 and whole_png(run.stdout), run.stderr


def options_of(text):
    return set(re.findall(r"(?<![\w-])--[a-z0-9][a-z0-9-]*", text))


def test_the_man_page_covers_every_option_and_command():
    page = open(MAN_PAGE, encoding="utf-8").read().replace("\\-", "-")
    documented = options_of(page)
    helped = options_of(lumeo("--help").stdout.decode()) | options_of(lumeo("--list").stdout.decode())
    assert helped - documented == set(), "options missing from lumeo.1"
    assert documented - helped - {"--version", "--help", "--list"} == set(), "lumeo.1 names options the tool lacks"
    for kind in re.findall(r"^    (\w+) +", lumeo("--help").stdout.decode(), re.M):
        assert f".B {kind}" in page.replace("\\", ""), f"--draw {kind} missing from lumeo.1"
    for word in (".SH EXIT STATUS", ".SH EXAMPLES", "batch", "gallery", "byte-order mark", "symbolic link"):
        assert word in page


def describe():
    """The library's own table, from lumeo_describe() of the library the tool runs with."""
    path = os.environ.get("LUMEO_LIBRARY")
    if not path or SANITIZED:
        pytest.skip("no uninstrumented library to load here")
    library = ctypes.CDLL(path)
    library.lumeo_describe.restype = ctypes.c_char_p
    return json.loads(library.lumeo_describe().decode())


def test_the_list_is_the_library_table():
    table = describe()
    listing = lumeo("--list").stdout.decode()
    blocks = re.split(r"^ ?(?=\d+  )", listing.split("their own options:\n", 1)[1], flags=re.M)[1:]
    assert len(blocks) == len(table["types"])
    common = listing.split("Types, their quiet zones", 1)[0]
    for block, t in zip(blocks, table["types"]):
        head = block.splitlines()[0]
        assert head.startswith(f"{t['number']}  {t['name']} - {t['title']}")
        for alias in t["aliases"]:
            assert alias in head
        q = t["quiet_zone"]
        assert f"quiet zone {q['left']:.4g} left, {q['right']:.4g} right, {q['vertical']:.4g} above" in block
        assert block.splitlines()[2].split()[1:] == t["draw"]
        for option in t["options"]:
            if option["flag"] == "--format":
                continue
            assert re.search(rf"^    {re.escape(option['flag'])} ", block + common, re.M), (t["name"], option["flag"])
            if option["value"] == "choice":
                assert f"{option['flag']} {'|'.join(option['choices'])}\n" in block + common


def test_the_tool_takes_the_library_names_ranges_and_limits():
    table = describe()
    for t in table["types"]:
        for name in [t["name"], str(t["number"])] + t["aliases"]:
            run = lumeo(name, "x", "--width", 0, "-o", "-")
            assert "unknown type" not in run.stderr.decode(), name
    limit = table["limits"]["max_canvas_side"]
    assert lumeo("code39", "A", "--width", limit + 1, "-o", "-").returncode == 2
    for option in table["options"]:
        if option["value"] == "int" and option["max"] is not None and option["max"] < 2 ** 31 - 1:
            kind = table["types"][option["types"][0]]["name"]
            too_big = lumeo(kind, "1", "--draw", "1d", option["flag"], option["max"] + 1, "-o", "-")
            assert too_big.returncode == 2 and f"{option['flag']}: {option['max'] + 1}" in too_big.stderr.decode()
