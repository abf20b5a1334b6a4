# SPDX-License-Identifier: MIT
"""Reasons per thread, logging, defaults from the library's table, quiet zones, NUL bytes,
integer ranges, fork safety and finding the library."""

import ctypes
import io
import logging
import os
import shutil
import signal
import struct
import subprocess
import sys
import threading
import time
from pathlib import Path

import pytest

import barcode_lumeo as bl
from barcode_lumeo import _library

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png_header(png):
    assert png[:8] == PNG_SIGNATURE
    width, height, depth, colour = struct.unpack(">IIBB", png[16:26])
    return width, height, depth, colour


# Per-thread reasons ------------------------------------------------------------------------------

# Each thread draws a text its symbology rejects with a reason of its own.
FAILING = [
    ("code39", "ABC~", "[Code39] Invalid character in CODE39: ~", "bad_text"),
    ("code39", "ABC!", "[Code39] Invalid character in CODE39: !", "bad_text"),
    ("jan13", "123", "[Jan13] Jan13 barcode requires 12 or 13 digits", "bad_text"),
    ("jan8", "12", "[Jan8] Jan8 barcode requires 7 or 8 digits", "bad_text"),
    ("itf", "12a", "[ITF] ITF barcode requires numeric digits only", "bad_text"),
    ("databar14", "12345678901234", "[GS1 DataBar] Input too long (max 13 digits)", "too_long"),
    ("upce", "1234", "[UpcE] Invalid length (must be 6, 7 or 8 digits).", "bad_text"),
    ("qr", "", "[QR] No data to encode (empty text or failed conversion)", "bad_text"),
]


def test_eight_threads_each_get_their_own_reason(capfd):
    rounds = 60
    wrong = []
    start = threading.Barrier(len(FAILING))

    def work(name, text, reason, code):
        with bl.Barcode(name) as failing, bl.Barcode("code128") as good:
            start.wait()
            for i in range(rounds):
                try:
                    failing.png(text, 300, 100)
                    wrong.append(f"{name} {text!r} drew")
                except bl.BarcodeError as e:
                    if e.reason != reason or e.code != code:
                        wrong.append(f"{name}: {e.reason!r} ({e.code})")
                good.png(f"OK-{i}", 300, 80)  # successes in between clear nothing of the others

    threads = [threading.Thread(target=work, args=row) for row in FAILING]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert wrong == []
    captured = capfd.readouterr()
    assert captured.out == "" and captured.err == ""  # the library's lines went to logging


def test_library_lines_go_to_logging(caplog):
    with caplog.at_level(logging.DEBUG, logger="barcode_lumeo"):
        with bl.Barcode("jan13") as jan, pytest.raises(bl.BarcodeError):
            jan.png("123", 300, 100)
        with bl.Barcode("qr") as qr:
            # A value the package would refuse, straight through the C interface: the library warns.
            _library.library().barcode_set_version(qr._handle, 41)
    records = [(r.name, r.levelno, r.getMessage()) for r in caplog.records]
    assert ("barcode_lumeo", logging.ERROR, "[Jan13] Jan13 barcode requires 12 or 13 digits") in records
    assert ("barcode_lumeo", logging.WARNING, "Warning: Invalid QR Code version (41). Setting to auto.") in records


# Defaults from the library's table ---------------------------------------------------------------


def test_types_names_and_aliases_come_from_the_library():
    table = bl.describe()
    assert bl.TYPES == {t["name"]: t["number"] for t in table["types"]}
    with bl.Barcode("EAN13") as by_alias, bl.Barcode("codabar") as nw7:
        assert (by_alias.type, by_alias.name, nw7.type) == (8, "jan13", 4)
    assert bl.library_version() == table["version"]


def test_ints_are_accepted_where_digits_are_expected():
    with bl.Barcode("jan13") as jan:
        assert jan.png(4901234567894, 300, 100) == jan.png("4901234567894", 300, 100)
    with pytest.raises(TypeError):
        bl.Barcode("jan13").png(True, 300, 100)


def test_every_type_has_a_default_size():
    # Without a box the symbol is sized by module (4 pixels for 2D, 2 for linear, as the lumeo
    # tool does): QR version 1 is 21 modules; Code 128 "x" is 46 modules in the default height.
    # With fit width (a stretch over a box) the type's default box stays.
    with bl.Barcode("qr", quiet_zone=False) as qr, bl.Barcode("code128", quiet_zone=False) as code:
        assert png_header(qr.png("x"))[:2] == (84, 84)
        assert png_header(code.png("x"))[:2] == (92, 150)
    with bl.Barcode("code128", quiet_zone=False, fit_width=True) as code:
        assert png_header(code.png("x"))[:2] == (400, 150)


def test_png_is_the_compact_png_unless_rgba_is_asked_for():
    with bl.Barcode("code128") as code:
        compact = png_header(code.png("ABC", 300, 80))
        rgba = png_header(code.png("ABC", 300, 80, format="png"))
        assert compact[3] in (0, 3) and rgba[3] == 6  # grey or palette; RGBA
        assert compact[:2] == rgba[:2]


# Quiet zones ---------------------------------------------------------------------------------------


def modules_of(svg):
    """The narrowest dark rectangle of a document."""
    import re

    return min(float(w) for w in re.findall(r'width="([0-9.]+)" height="[0-9.]+" fill="rgb\(0,0,0\)"', svg))


@pytest.mark.parametrize("name, text, zone", [("qr", "HELLO", 4), ("datamatrix", "HELLO", 1), ("pdf417", "HELLO", 2)])
def test_2d_symbols_get_the_standard_margin(name, text, zone):
    with bl.Barcode(name, quiet_zone=False) as plain, bl.Barcode(name) as framed:
        bare = plain.svg(text, 200)
        module = modules_of(bare)
        width, height = png_header(plain.png(text, 200))[:2]
        framed_png = framed.png(text, 200)
        framed_svg = framed.svg(text, 200)
    margin = zone * module
    fw, fh = png_header(framed_png)[:2]
    # The blank canvas the symbol already has (right and below) counts toward the zone.
    assert margin <= fw - width <= 2 * margin
    assert margin <= fh - height <= 2 * margin
    assert f'viewBox="-{int(margin)} -{int(margin)} ' in framed_svg


def test_a_qr_code_on_a_grey_page_scans_only_with_its_quiet_zone():
    zxingcpp = pytest.importorskip("zxingcpp")
    image = pytest.importorskip("PIL.Image")
    ops = pytest.importorskip("PIL.ImageOps")

    def on_grey(png):
        page = ops.expand(image.open(io.BytesIO(png)).convert("L"), 30, fill=90)
        return [r.text for r in zxingcpp.read_barcodes(page)]

    with bl.Barcode("qr") as qr:
        text = "https://example.jp/lumeo?item=4901234567894"
        assert on_grey(qr.png(text, 4 * 45)) == [text]
        assert on_grey(qr.png(text, 4 * 45, quiet_zone=12)) == [text]


def test_linear_quiet_zone_counts_the_blank_space_already_there():
    with bl.Barcode("jan13", quiet_zone=False) as plain, bl.Barcode("jan13") as framed:
        bare = png_header(plain.png("4901234567894", 300, 100))
        wide = png_header(framed.png("4901234567894", 300, 100))
    # Modules of 2 pixels. JAN-13 keeps room for its leading digit at the left and for its text
    # below: only 3 pixels of width and the 2 modules above are missing. The same sizes as
    # `lumeo jan13 4901234567894 --width 300 --height 100`.
    assert bare[:2] == (300, 100)
    assert wide[:2] == (303, 104)


# NUL bytes and integer ranges ---------------------------------------------------------------------


@pytest.mark.parametrize(
    "call",
    [
        lambda: bl.Barcode("qr").png("https://a.example/\0evil"),
        lambda: bl.Barcode("qr").svg(b"ABC\0DEF"),
        lambda: bl.Barcode("qr", error_correction_level="H\0"),
        lambda: bl.Barcode("qr", output_format="png\0"),
        lambda: bl.Barcode("qr").png("ABC", format="png8\0"),
        lambda: bl.calculate_check_digit_14("012345678901\x002"),
    ],
)
def test_nul_bytes_are_refused_with_a_reason(call):
    with pytest.raises(ValueError, match="NUL"):
        call()


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda: bl.Barcode("code39").png("ABC", 2**32 + 300, 100), OverflowError),
        (lambda: bl.Barcode("code39").png("ABC", 300, -(2**31) - 1), OverflowError),
        (lambda: bl.Barcode("qr").png("ABC", 2**64), OverflowError),
        (lambda: bl.Barcode("pdf417", columns=2**32 + 3), OverflowError),
        (lambda: bl.Barcode("pdf417", columns=31), ValueError),
        (lambda: bl.Barcode("pdf417", aspect_ratio=0), ValueError),
        (lambda: bl.Barcode("pdf417", aspect_ratio=float("nan")), ValueError),
        (lambda: bl.Barcode("qr", version=41), ValueError),
        (lambda: bl.Barcode("qr", version=-1), ValueError),
        (lambda: bl.Barcode("code39", px_adjust_black=2**31), OverflowError),
        (lambda: bl.Barcode("code39", foreground_color=(2**32, 0, 0)), OverflowError),
        (lambda: bl.Barcode("code39").png("ABC", 300.5, 100), TypeError),
        (lambda: bl.Barcode("code39", quiet_zone=2**40), OverflowError),
    ],
)
def test_integers_out_of_range_are_refused_not_wrapped(call, error):
    with pytest.raises(error):
        call()


def test_boxes_the_library_refuses_carry_its_code():
    with bl.Barcode("code39") as code, pytest.raises(bl.BarcodeError) as caught:
        code.png("ABC", 0, 100)
    assert caught.value.code == "canvas_limit" and "Invalid canvas size 0x100" in caught.value.reason


# Fork safety ---------------------------------------------------------------------------------------


def test_fork_while_other_threads_draw():
    """A child forked while other threads draw (and while one holds a Barcode's lock) can draw
    with that Barcode and a new one. Each child has 20 seconds."""
    stop = threading.Event()
    shared = bl.Barcode("qr")

    def draw():
        with bl.Barcode("qr") as mine:
            while not stop.is_set():
                mine.png("FORK-WHILE-DRAWING", 120)
                with shared._lock:
                    pass

    holder_ready, release = threading.Event(), threading.Event()

    def hold():
        with shared._lock:  # held across every fork below
            holder_ready.set()
            release.wait()

    workers = [threading.Thread(target=draw) for _ in range(3)] + [threading.Thread(target=hold)]
    for t in workers:
        t.start()
    holder_ready.wait()
    failures = []
    try:
        for _ in range(8):
            time.sleep(0.02)
            pid = os.fork()
            if pid == 0:
                signal.alarm(20)
                try:
                    ok = shared.png("CHILD", 120)[:8] == PNG_SIGNATURE
                    with bl.Barcode("qr") as fresh:
                        ok = ok and fresh.png("CHILD", 120)[:8] == PNG_SIGNATURE
                    os._exit(0 if ok else 1)
                except BaseException:
                    os._exit(2)
            deadline = time.monotonic() + 30
            while True:
                done, status = os.waitpid(pid, os.WNOHANG)
                if done:
                    break
                if time.monotonic() > deadline:
                    os.kill(pid, signal.SIGKILL)
                    os.waitpid(pid, 0)
                    status = -1
                    break
                time.sleep(0.01)
            if status != 0:
                failures.append(status)
    finally:
        stop.set()
        release.set()
        for t in workers:
            t.join()
        shared.close()
    assert failures == []


# Finding the library -----------------------------------------------------------------------------


def test_the_library_of_a_source_checkout_build_is_found(tmp_path):
    """A package imported from its source checkout finds <checkout>/build without the variable."""
    library = Path(_library.library()._name).resolve()
    checkout = tmp_path / "checkout"
    (checkout / "include").mkdir(parents=True)
    (checkout / "include" / "barcode_lumeo.h").write_text("/* marker */\n")
    (checkout / "build").mkdir()
    shutil.copy(library, checkout / "build" / "libbarcode_lumeo.so.0")
    package = checkout / "bindings" / "python" / "barcode_lumeo"
    shutil.copytree(Path(bl.__file__).parent, package,
                    ignore=shutil.ignore_patterns("libbarcode_lumeo.so*", "__pycache__"))
    env = {k: v for k, v in os.environ.items() if k != "BARCODE_LUMEO_LIBRARY"}
    env["PYTHONPATH"] = str(package.parent)
    run = subprocess.run(
        [sys.executable, "-c",
         "import barcode_lumeo as bl, barcode_lumeo._library as lib\n"
         "print(lib.library()._name)\n"
         "print(len(bl.Barcode('qr').png('FOUND')))"],
        env=env, capture_output=True, text=True, cwd=tmp_path,
    )
    assert run.returncode == 0, run.stderr
    found, size = run.stdout.split()
    assert Path(found) == checkout / "build" / "libbarcode_lumeo.so.0" and int(size) > 100


def test_draws_release_the_interpreter_lock():
    """Another thread runs Python code while a call is inside the library (encoding an RGBA PNG
    of 500 x 500 takes milliseconds there): the lock is released around the library's work."""
    counter = [0]
    stop = threading.Event()

    def spin():
        while not stop.is_set():
            counter[0] += 1

    # A long switch interval: the spinner can only run while this thread has let the lock go,
    # not because the interpreter took it away from this thread between two bytecodes.
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1.0)
    spinner = threading.Thread(target=spin)
    spinner.start()
    progressed = []
    try:
        lib = _library.library()
        with bl.Barcode("qr") as qr:
            lib.barcode_set_output_format(qr._handle, b"png")
            size = ctypes.c_int(0)
            for _ in range(3):
                assert lib.barcode_draw_2d(qr._handle, b"https://example.jp/lumeo?item=4901234567894", 500)
                before = counter[0]
                assert lib.barcode_get_image_data(qr._handle, ctypes.byref(size))  # the PNG encoding
                progressed.append(counter[0] - before)
    finally:
        stop.set()
        spinner.join()
        sys.setswitchinterval(interval)
    assert max(progressed) > 0, progressed
