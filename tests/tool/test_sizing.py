# SPDX-License-Identifier: MIT
"""Sizing by module, rotation and GS1 element strings through the tool: every row is drawn, read back
with zxing-cpp, and measured in pixels, or refused with exit status 1 and its reason."""

import io
import os
import re
import shutil
import subprocess

import pytest

LUMEO = os.environ["LUMEO"]


def lumeo(*args, cwd=None):
    return subprocess.run([LUMEO, *map(str, args)], capture_output=True, cwd=cwd, timeout=600)


def image(png):
    return pytest.importorskip("PIL.Image").open(io.BytesIO(png)).convert("L")


def read(png):
    zxingcpp = pytest.importorskip("zxingcpp")
    return [re.sub(r"[()\x1d]", "", r.text) for r in zxingcpp.read_barcodes(image(png))]


def dark_runs(values):
    runs, count = [], 0
    for v in list(values) + [255]:
        if v < 128:
            count += 1
        elif count:
            runs.append(count)
            count = 0
    return runs


def module_and_bars(png):
    """The narrowest dark run across the row a third of the way down (the module), and the
    tallest dark run down the columns (the bars of a linear symbol)."""
    im = image(png)
    w, h = im.size
    px = im.load()
    module = min(dark_runs(px[x, h // 3] for x in range(w)))
    bars = max(max(dark_runs(px[x, y] for y in range(h)) or [0]) for x in range(w))
    return module, bars


# arguments after TYPE TEXT, text read back, module in pixels, bar height in pixels (None: not checked)
SIZING = [
    (["code128", "ABC123"], "ABC123", 2, None),  # the default of linear symbols
    (["code128", "ABC123", "--module", 3], "ABC123", 3, None),
    (["code128", "ABC123", "--dpi", 300, "--x-dim", "0.254mm"], "ABC123", 3, None),
    (["code128", "ABC123", "--dpi", 600, "--x-dim", "10mil"], "ABC123", 6, None),
    (["code128", "ABC123", "--dpi", 203, "--x-dim", "0.0197in"], "ABC123", 4, None),
    (["code39", "A"], "A", 2, None),  # the text is wider than the symbol
    (["jan13", "490123456789", "--module", 3], "4901234567894", 3, None),
    (["upce", "0425261"], "04252614", 2, None),
    (["itf", "14901234567891", "--bar-height", 40], "14901234567891", 2, 80),
    (["code128", "ABC123", "--dpi", 300, "--x-dim", "0.254mm", "--bar-height", "10mm"], "ABC123", 3, 118),
    (["code128", "ABC123", "--module", 2, "--height", 60], "ABC123", 2, None),
    (["databar14", "0491234567890", "--module", 3], "04912345678904", 3, None),
    (["databar-expanded", "0190012345678908{AI}3103001750"], "01900123456789083103001750", 2, None),
    (["gs1-128", "(01)04912345678904(15)261231", "--module", 3], "010491234567890415261231", 3, None),
    (["qr", "HELLO"], "HELLO", 4, None),  # the default of 2D symbols
    (["qr", "HELLO", "--draw", "2d", "--module", 3], "HELLO", 3, None),
    (["datamatrix", "HELLO", "--module", 5], "HELLO", 5, None),
    (["pdf417", "HELLO", "--module", 2], "HELLO", 2, None),
    (["pdf417", "HELLO", "--draw", "2d", "--module", 3, "--y-height", 4], "HELLO", 3, None),
]


@pytest.mark.parametrize("args, text, module, bars", SIZING, ids=[" ".join(map(str, r[0]))[:48] for r in SIZING])
def test_the_box_follows_the_module(args, text, module, bars):
    run = lumeo(*args, "--verbose", "-o", "-")
    if b"not built into this library" in run.stderr:
        pytest.skip(run.stderr.decode().strip())
    assert run.returncode == 0, run.stderr
    assert run.stderr.decode().startswith(f"lumeo: module {module} px"), run.stderr
    assert text in read(run.stdout)
    got_module, got_bars = module_and_bars(run.stdout)
    assert got_module == module
    if bars is not None:
        assert got_bars == bars
    if "pdf417" in args:  # rows of y-height modules (3 unless given)
        rows = 4 if "--y-height" in args else 3
        column = [image(run.stdout).load()[x, y] for x in [image(run.stdout).size[0] // 2]
                  for y in range(image(run.stdout).size[1])]
        assert min(len(r) for r in re.findall(r"0+|1+", "".join("0" if v < 128 else "1" for v in column))
                   [1:-1]) % (rows * module) == 0


ROTATIONS = [
    ("code128", "ABC123", "png8", 90),
    ("code128", "ABC123", "png", 270),
    ("jan13", "490123456789", "png8", 180),
    ("qr", "HELLO", "png8", 90),
    ("code128", "ABC123", "svg", 90),
    ("gs1-128", "{FNC1}0104912345678904{AI}15261231", "svg", 270),
    ("qr", "HELLO", "svg", 180),
]


def raster(data, fmt, tmp_path):
    if fmt != "svg":
        return data
    if shutil.which("rsvg-convert") is None:
        pytest.skip("rsvg-convert is not installed")
    (tmp_path / "a.svg").write_bytes(data)
    return subprocess.run(["rsvg-convert", tmp_path / "a.svg"], capture_output=True, check=True).stdout


@pytest.mark.parametrize("kind, text, fmt, degrees", ROTATIONS, ids=[f"{r[0]}-{r[2]}-{r[3]}" for r in ROTATIONS])
def test_a_turned_symbol_swaps_its_sides_and_reads(tmp_path, kind, text, fmt, degrees):
    upright = lumeo(kind, text, "--format", fmt, "-o", "-")
    turned = lumeo(kind, text, "--format", fmt, "--rotate", degrees, "-o", "-")
    assert upright.returncode == 0 and turned.returncode == 0, turned.stderr
    a = image(raster(upright.stdout, fmt, tmp_path))
    b = image(raster(turned.stdout, fmt, tmp_path))
    assert b.size == (a.size if degrees == 180 else a.size[::-1])
    if fmt != "svg":  # the same pixels turned (a rasteriser smooths turned text differently)
        assert b.rotate(degrees, expand=True).tobytes() == a.tobytes()  # PIL turns anticlockwise
    assert re.sub(r"\{FNC1\}|\{AI\}", "", text)[:12] in "".join(read(raster(turned.stdout, fmt, tmp_path)))


# type, text, extra options, exit status, reason on standard error, text read back
GS1 = [
    ("gs1-128", "(01)04912345678904(15)261231", [], 0, "", "010491234567890415261231"),
    ("gs1-128", "{FNC1}0104912345678904{AI}15261231", [], 0, "", "010491234567890415261231"),
    ("gs1-128", "(10)AB\\(1\\)(21)7", [], 0, "", "10AB121\x1d7"),
    ("gs1-128", "(01)04912345678905", [], 1, "AI (01): check digit should be 4, not 5", None),
    ("gs1-128", "(01)04912345678904(15)261331", [], 1, "AI (15): month 13 is not a month", None),
    ("gs1-128", "(10)ABCDEFGHIJKLMNOPQRSTU", [], 1, "AI (10): 21 characters, at most 20", None),
    ("gs1-128", "(9999)12", [], 1, "AI (9999): unknown application identifier", None),
    ("gs1-128", "{FNC1}0104912345678905", [], 1, "AI (01): check digit should be 4, not 5", None),
    ("gs1-128", "(01)04912345678905", ["--no-gs1-check"], 0, "", "0104912345678905"),
    ("databar-expanded", "0190012345678909", [], 1, "AI (01): check digit should be 8, not 9", None),
    ("databar-expanded", "(01)90012345678908(3103)001750", [], 0, "", "01900123456789083103001750"),
    ("databar14", "04912345678904", [], 0, "", "04912345678904"),
    ("databar14", "04912345678905", [], 1, "AI (01): check digit should be 4, not 5", None),
    ("databar14", "(01)04912345678904", [], 0, "", "04912345678904"),
    ("databar-limited", "(01)01501234567899", [], 0, "", None),  # zxing-cpp 1.4 reads no DataBar Limited
    ("databar-limited", "(01)24912345678908", [], 1, "holds only GTINs starting with 0 or 1", None),
]


@pytest.mark.parametrize("kind, text, options, code, reason, want", GS1, ids=[f"{r[0]} {r[1]}"[:48] for r in GS1])
def test_gs1_element_strings_are_checked_before_drawing(kind, text, options, code, reason, want):
    run = lumeo(kind, text, *options, "-o", "-")
    err = run.stderr.decode()
    assert run.returncode == code, err
    assert reason in err
    if code == 0:
        assert want is None or want.replace("\x1d", "") in [t.replace("\x1d", "") for t in read(run.stdout)]
    else:
        assert err.startswith(f'lumeo: the GS1 element string "{text[:40]}') and run.stdout == b""


def test_batch_takes_the_sizing_options_per_line_and_shared(tmp_path):
    (tmp_path / "lines.csv").write_text("code128,ABC,a.png,--module 3 --rotate 90\n"
                                        "gs1-128,(01)04912345678905,b.png\n"
                                        "qr,HELLO,c.png\n")
    run = lumeo("batch", "lines.csv", "out", "--dpi", 300, "--verbose", cwd=tmp_path)
    err = run.stderr.decode()
    assert run.returncode == 1
    assert "lines.csv:1: module 3 px (0.254 mm); image 156 x 264 px" in err
    assert "lines.csv:2: the GS1 element string" in err and "check digit should be 4, not 5" in err
    assert "lines.csv:3: module 4 px (0.3387 mm)" in err
    a = (tmp_path / "out" / "a.png").read_bytes()
    assert image(a).size == (156, 264) and "ABC" in read(a)
