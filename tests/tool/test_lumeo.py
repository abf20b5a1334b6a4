# SPDX-License-Identifier: MIT
"""The lumeo tool end to end: quiet zones, piping, formats, batch mode, reasons on failure."""

import io
import os
import pty
import re
import shutil
import struct
import subprocess
import threading

import pytest

LUMEO = os.environ["LUMEO"]
SANITIZED = os.environ.get("LUMEO_SANITIZED") == "1"
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def lumeo(*args, input=None, cwd=None):
    return subprocess.run([LUMEO, *map(str, args)], input=input, capture_output=True, cwd=cwd, timeout=600)


def png_size(png):
    assert png[:8] == PNG_SIGNATURE, png[:16]
    return struct.unpack(">II", png[16:24])


def png_rows(png):
    """Grey levels of a PNG, one list per row."""
    image = pytest.importorskip("PIL.Image").open(io.BytesIO(png)).convert("L")
    data = list(image.getdata())
    return [data[y * image.width:(y + 1) * image.width] for y in range(image.height)]


def zbar(path):
    if shutil.which("zbarimg") is None:
        pytest.skip("zbarimg is not installed")
    run = subprocess.run(["zbarimg", "-q", "--raw", str(path)], capture_output=True, text=True)
    return run.stdout.strip()


def zxing(png):
    zxingcpp = pytest.importorskip("zxingcpp")
    image = pytest.importorskip("PIL.Image")
    return [r.text for r in zxingcpp.read_barcodes(image.open(io.BytesIO(png)).convert("L"))]


def skip_if_not_built(run):
    if b"not built into this library" in run.stderr:
        pytest.skip(run.stderr.decode().strip())


# A symbol straight from the tool, nothing added by the test, must read: the quiet zone is there.
# type, text, options, decoder, text read (zbar reads UPC as EAN-13), quiet zone of the standard in
# modules: left, right, and above/below for 2D symbols (None: not checked)
QUIET_ZONE_CASES = [
    ("code39", "LUMEO-39", [], "zbar", "LUMEO-39", (10, 10, None)),
    ("code93", "PN-4711/B", [], "zbar", "PN-4711/B", (10, 10, None)),
    ("code128", "Order 2024-00815", ["--width", 500], "zbar", "Order 2024-00815", (10, 10, None)),
    ("nw7", "A0123-4567-89B", [], "zbar", "A0123-4567-89B", (10, 10, None)),
    ("jan8", "4901234", ["--width", 300], "zbar", "49012347", (7, 7, None)),
    ("jan13", "490123456789", ["--extended-guard", 1], "zbar", "4901234567894", (11, 7, None)),
    ("upca", "03600029145", [], "zbar", "0036000291452", (9, 9, None)),
    ("upce", "0425261", ["--width", 300], "zbar", "0042100005264", (9, 7, None)),
    ("itf", "14901234567891", [], "zbar", "14901234567891", (10, 10, None)),
    ("qr", "https://example.jp/lumeo", ["--draw", "2d", "--width", 200], "zbar", "https://example.jp/lumeo", (4, 4, 4)),
    ("gs1-128", "{FNC1}0104912345678904{AI}15261231", ["--width", 500], "zxing", "010491234567890415261231",
     (10, 10, None)),
    ("databar14", "0491234567890", [], "zxing", "04912345678904", (1, 1, None)),
    ("databar-expanded", "0190012345678908{AI}3103001750", ["--width", 600], "zxing",
     "01900123456789083103001750", (1, 1, None)),
    ("datamatrix", "LUMEO DATA MATRIX", ["--draw", "2d", "--width", 160], "zxing", "LUMEO DATA MATRIX", (1, 1, 1)),
    ("pdf417", "LUMEO PDF417", ["--width", 400, "--height", 160], "zxing", "LUMEO PDF417", (2, 2, 2)),
    ("yubin", "2630023 3-30-8-403", ["--draw", "yubin", "--height", 45], None, None, (3.33, 3.33, 3.33)),
]


def runs(row, dark):
    lengths, count = [], 0
    for value in row + [255 if dark else 0]:
        if (value < 128) == dark:
            count += 1
        elif count:
            lengths.append(count)
            count = 0
    return lengths


def blank_sides(rows, two_d):
    """Module width (narrowest dark run) and the blank pixels left, right, above and below."""
    dark_rows = [y for y, row in enumerate(rows) if min(row) < 128]
    # Linear symbols: a row just under the top of the bars, above any text; 2D: every row.
    sample = [rows[y] for y in dark_rows] if two_d else [rows[dark_rows[0] + 2]]
    module = min(min(runs(row, True)) for row in sample if min(row) < 128)
    left = min(next(x for x, v in enumerate(row) if v < 128) for row in sample if min(row) < 128)
    right = min(next(x for x, v in enumerate(reversed(row)) if v < 128) for row in sample if min(row) < 128)
    return module, left, right, dark_rows[0], len(rows) - 1 - dark_rows[-1]


@pytest.mark.parametrize("kind, text, options, decoder, want, zone", QUIET_ZONE_CASES,
                         ids=[c[0] for c in QUIET_ZONE_CASES])
def test_symbols_from_the_tool_have_their_quiet_zone_and_read_as_they_are(tmp_path, kind, text, options, decoder,
                                                                           want, zone):
    out = tmp_path / f"{kind}.png"
    run = lumeo(kind, text, "-o", out, *options)
    skip_if_not_built(run)
    assert run.returncode == 0, run.stderr
    module, left, right, top, bottom = blank_sides(png_rows(out.read_bytes()), zone[2] is not None)
    assert left >= zone[0] * module and right >= zone[1] * module
    if zone[2] is not None:
        assert min(top, bottom) >= zone[2] * module
    if decoder == "zbar":
        assert zbar(out) == want
    elif decoder == "zxing":
        assert want in [re.sub(r"[()\x1d]", "", t) for t in zxing(out.read_bytes())]


# Box and expected image size: Code 128 "ABC" is 68 modules of 4 px in a 300 px box (28 px of it
# blank on the right), so 40 px go left, 12 right, 8 on top and none below the text; QR version 1
# is 21 modules of 4 px in a 100 px box with 16 px blank right and below.
SIZE_CASES = [
    (["code128", "ABC", "--width", 300, "--height", 80], (352, 88), 40),
    (["qr", "HELLO", "--draw", "2d", "--width", 100], (116, 116), 16),
    (["code128", "ABC", "--width", 300, "--height", 80, "--margin", 0], (300, 80), 0),
    (["code128", "ABC", "--width", 300, "--height", 80, "--margin", 25], (350, 130), 25),
    (["qr", "HELLO", "--draw", "2d", "--width", 100, "--margin", 7], (114, 114), 7),
]


@pytest.mark.parametrize("args, size, first_dark", SIZE_CASES)
def test_quiet_zone_is_measured_in_modules_or_set_in_pixels(tmp_path, args, size, first_dark):
    run = lumeo(*args, "-o", "-")
    assert run.returncode == 0, run.stderr
    assert png_size(run.stdout) == size
    rows = png_rows(run.stdout)
    dark_columns = [x for x in range(size[0]) if any(row[x] < 128 for row in rows)]
    assert dark_columns[0] == first_dark
    svg = lumeo(*args, "--format", "svg", "-o", "-").stdout.decode()
    assert f'width="{size[0]}" height="{size[1]}"' in svg


def test_svg_gets_the_same_quiet_zone_as_png(tmp_path):
    svg = lumeo("code128", "ABC", "--width", 300, "--height", 80, "--bg", "250,250,240", "-o", tmp_path / "a.svg")
    assert svg.returncode == 0, svg.stderr
    document = (tmp_path / "a.svg").read_text()
    assert 'viewBox="-40 -8 352 88"' in document
    assert '<rect x="-40" y="-8" width="352" height="88" fill="rgb(250,250,240)"/>' in document


def test_text_from_standard_input_and_image_to_standard_output():
    run = lumeo("code128", "-", "-o", "-", input=b"PIPED-2024\n")
    assert run.returncode == 0 and run.stderr == b""
    assert zxing(run.stdout) == ["PIPED-2024"]
    svg = lumeo("qr", "-", "--format", "svg", "-o", "-", input=b"\xe6\x9d\xb1\xe4\xba\xac\r\n")
    assert svg.returncode == 0 and svg.stdout.startswith(b"<?xml")


def test_format_follows_the_file_name_or_the_flag(tmp_path):
    assert lumeo("code39", "ABC", "-o", tmp_path / "a.SVG").returncode == 0
    assert (tmp_path / "a.SVG").read_bytes().startswith(b"<?xml")
    assert lumeo("code39", "ABC", "--format", "svg", "-o", tmp_path / "b.png").returncode == 0
    assert (tmp_path / "b.png").read_bytes().startswith(b"<?xml")
    palette = lumeo("code39", "ABC", "--format", "png8", "-o", "-")
    if palette.returncode == 0:
        assert png_size(palette.stdout) and palette.stdout[25] == 3  # colour type 3: palette
    else:
        assert palette.stderr.strip(), "a failed png8 draw gives a reason"


FAILURES = [
    (["jan13", "123", "-o", "x.png"], 1, "[Jan13]"),
    (["code39", "ABC", "--level", "H", "-o", "x.png"], 2, "does not apply to code39"),
    (["qr", "ABC", "--level", "X", "-o", "x.png"], 2, "one of L|M|Q|H"),
    (["qr", "ABC", "--format", "gif", "-o", "x.png"], 2, "png|png8|svg"),
    (["qr", "ABC", "--margin", "-3", "-o", "x.png"], 2, "--margin"),
    (["code39", "ABC", "-o", "x.gif"], 2, "cannot tell the format"),
    (["code39", "ABC", "-o", "no/such/dir/x.png"], 1, "cannot write"),
    (["qr", "A" * 8000, "-o", "x.png"], 1, "could not be drawn"),
    (["batch", "missing.csv"], 2, "batch FILE.csv DIR"),
]


@pytest.mark.parametrize("args, code, reason", FAILURES, ids=[" ".join(f[0])[:30] for f in FAILURES])
def test_every_failure_exits_non_zero_with_a_reason(tmp_path, args, code, reason):
    run = lumeo(*args, cwd=tmp_path)
    assert run.returncode == code
    assert reason in run.stderr.decode()


BATCH = '''# shelf labels
type,text,file,options
code128,GOOD-1,good1.png
jan13,123,bad-jan.png
qr,"HELLO, ""WORLD""",qr/hello.png,--draw 2d --width 150
code39,abc,x.png,--level H
nosuch,abc,y.png
code128,"open quote,z.png
code128,ok,../escape.png
code128,too few
code128,again,good1.png
jan13,4901234567894,sub/dir/j.svg,--extended-guard 1
'''


def test_batch_writes_good_lines_and_names_every_bad_one(tmp_path):
    (tmp_path / "labels.csv").write_text(BATCH)
    run = lumeo("batch", "labels.csv", "out", cwd=tmp_path)
    assert run.returncode == 1
    assert b"wrote 3 of 10 symbols to out; 7 failed" in run.stdout
    errors = run.stderr.decode().splitlines()
    assert [int(re.match(r"lumeo: labels.csv:(\d+): ", e).group(1)) for e in errors] == [4, 6, 7, 8, 9, 10, 11]
    assert "[Jan13]" in errors[0] and "could not be drawn" in errors[0]
    assert "line 3 writes good1.png already" in errors[-1]
    out = tmp_path / "out"
    assert sorted(str(p.relative_to(out)) for p in out.rglob("*.*")) == ["good1.png", "qr/hello.png", "sub/dir/j.svg"]
    assert zxing((out / "good1.png").read_bytes()) == ["GOOD-1"]
    assert zxing((out / "qr/hello.png").read_bytes()) == ['HELLO, "WORLD"']
    assert not (tmp_path / "escape.png").exists()


def test_batch_refuses_a_file_name_that_names_the_output_directory(tmp_path):
    (tmp_path / "dirs.csv").write_text("code128,A,.\ncode128,B,sub/.\ncode128,C,sub/./c.png\n")
    run = lumeo("batch", "dirs.csv", "out", cwd=tmp_path)
    assert run.returncode == 1
    assert b"wrote 1 of 3 symbols to out; 2 failed" in run.stdout
    assert run.stderr.decode().splitlines() == [
        'lumeo: dirs.csv:1: the file name "." must be a relative path inside out',
        'lumeo: dirs.csv:2: the file name "sub/." must be a relative path inside out']
    assert zxing((tmp_path / "out/sub/c.png").read_bytes()) == ["C"]


@pytest.mark.skipif(SANITIZED, reason="10,000 symbols take too long under the sanitizers")
def test_batch_of_ten_thousand_lines_shows_a_progress_bar_on_a_terminal(tmp_path):
    kinds = ["code128,ITEM-{0:05d},c128/{0}.png,--width 200 --height 50",
             "qr,https://example.jp/{0},qr/{0}.png,--draw 2d --width 84",
             "jan13,{1},jan/{0}.svg",
             "code39,L{0},c39/{0}.png,--width 200 --height 50 --margin 4"]
    lines = [kinds[i % 4].format(i, 490000000000 + i) for i in range(10000)]
    (tmp_path / "big.csv").write_text("\n".join(lines) + "\n")
    controller, terminal = pty.openpty()
    process = subprocess.Popen([LUMEO, "batch", "big.csv", "out"], cwd=tmp_path, stdout=subprocess.PIPE,
                               stderr=terminal)
    os.close(terminal)
    # The terminal is read while the batch runs: a full terminal buffer would hold the bar back.
    screen = []

    def read_screen():
        while True:
            try:
                chunk = os.read(controller, 65536)
            except OSError:
                break
            if not chunk:
                break
            screen.append(chunk)

    reader = threading.Thread(target=read_screen)
    reader.start()
    stdout, _ = process.communicate(timeout=900)
    reader.join(timeout=60)
    os.close(controller)
    screen = b"".join(screen)
    run = subprocess.CompletedProcess(process.args, process.returncode, stdout)
    assert run.returncode == 0
    assert b"wrote 10000 of 10000 symbols" in run.stdout
    assert b"] 10000/10000 100%" in screen and screen.count(b"\r[") >= 1
    assert sum(1 for _ in (tmp_path / "out").rglob("*.*")) == 10000
    assert zxing((tmp_path / "out/qr/9997.png").read_bytes()) == ["https://example.jp/9997"]


def test_batch_without_a_terminal_prints_no_progress_bar(tmp_path):
    (tmp_path / "two.csv").write_text("code128,A,a.png\nqr,B,b.svg\n")
    run = lumeo("batch", "two.csv", "out", cwd=tmp_path)
    assert run.returncode == 0 and run.stderr == b""
    assert run.stdout == b"lumeo: wrote 2 of 2 symbols to out\n"


def test_list_names_every_type_with_its_quiet_zone_and_options():
    run = lumeo("--list")
    text = run.stdout.decode()
    assert run.returncode == 0
    assert len(re.findall(r"^ ?\d+  \S+ - ", text, re.M)) == 19
    assert "quiet zone 11 left, 7 right" in text and "--level L|M|Q|H" in text
    assert "--code-size AUTO|10x10|" in text and "--databar-exp UNSTACKED|STACKED" in text


def test_help_shows_examples():
    run = lumeo("--help")
    assert run.returncode == 0 and b"examples:" in run.stdout and b"lumeo batch" in run.stdout
