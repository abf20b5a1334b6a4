# SPDX-License-Identifier: MIT
"""The Python package over the shared library: every type, decoder round trips, reasons, options."""

import base64
import io
import os
import re
import struct
import subprocess
import sys
import threading

import pytest

import barcode_lumeo as bl

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"

# type name: (text, keyword arguments of the draw, zxing format name or None, decoded text)
SAMPLES = {
    "code39": ("LUMEO-39", dict(width=400, height=120), "Code39", "LUMEO-39"),
    "code93": ("PN-4711/B", dict(width=400, height=120), "Code93", "PN-4711/B"),
    "code128": ("Order 2024-00815", dict(width=500, height=120), "Code128", "Order 2024-00815"),
    "gs1-128": ("{FNC1}0104912345678904{AI}15261231", dict(width=500, height=120), "Code128",
                "010491234567890415261231"),
    "nw7": ("A0123-4567-89B", dict(width=400, height=120), "Codabar", "0123-4567-89"),
    "matrix2of5": ("20240415", dict(width=400, height=120), None, None),
    "nec2of5": ("0123456789", dict(width=400, height=120), None, None),
    "jan8": ("4901234", dict(width=300, height=120), "EAN8", "49012347"),
    "jan13": ("490123456789", dict(width=400, height=120), "EAN13", "4901234567894"),
    "upca": ("03600029145", dict(width=400, height=120), "UPCA", "036000291452"),
    "upce": ("0425261", dict(width=300, height=120), "UPCE", "04252614"),
    "itf": ("14901234567891", dict(width=400, height=120), "ITF", "14901234567891"),
    "databar14": ("0491234567890", dict(width=400, height=120), "DataBar", "04912345678904"),
    "databar-limited": ("0491234567890", dict(width=400, height=120), None, None),
    "databar-expanded": ("0190012345678908{AI}3103001750", dict(width=600, height=120), "DataBarExpanded",
                         "01900123456789083103001750"),
    "yubin": ("2630023 3-30-8-403", dict(height=45, draw="yubin"), None, None),
    "qr": ("https://example.jp/lumeo?item=4901234567894", dict(width=250), "QRCode",
           "https://example.jp/lumeo?item=4901234567894"),
    "datamatrix": ("LUMEO DATA MATRIX 2024", dict(width=200), "DataMatrix", "LUMEO DATA MATRIX 2024"),
    "pdf417": ("LUMEO PDF417 SAMPLE", dict(width=400, height=200), "PDF417", "LUMEO PDF417 SAMPLE"),
}


def open_barcode(name, **options):
    """A Barcode of the type, or a skip while the type is not built into the library."""
    try:
        return bl.Barcode(name, **options)
    except bl.BarcodeError as e:
        if "not built" in str(e):
            pytest.skip(f"{name} is not built into this library yet")
        raise


def png_size(png):
    assert png[:8] == PNG_SIGNATURE
    return struct.unpack(">II", png[16:24])


def decode(png, pad=40):
    """The texts zxing-cpp reads from the PNG, with a white margin added around it."""
    zxingcpp = pytest.importorskip("zxingcpp")
    image_module = pytest.importorskip("PIL.Image")
    ops = pytest.importorskip("PIL.ImageOps")
    image = ops.expand(image_module.open(io.BytesIO(png)).convert("L"), pad, fill=255)
    return [(r.format.name, r.text) for r in zxingcpp.read_barcodes(image)]


def test_all_nineteen_types_are_known():
    assert sorted(bl.TYPES.values()) == list(range(19))
    assert set(SAMPLES) == set(bl.TYPES)


@pytest.mark.parametrize("name", sorted(SAMPLES, key=bl.TYPES.get))
def test_every_type_gives_png_data_uri_and_svg(name):
    text, box, _, _ = SAMPLES[name]
    with open_barcode(name) as barcode:
        png = barcode.png(text, **box)
        width, height = png_size(png)
        assert width > 0 and height > 0
        uri = barcode.data_uri(text, **box)
        assert uri.startswith("data:image/png;base64,")
        assert base64.b64decode(uri.split(",", 1)[1]) == png
        svg = barcode.svg(text, **box)
        assert svg.startswith("<?xml") and "<svg" in svg and svg.rstrip().endswith("</svg>")
        assert barcode.is_svg_output  # the handle stays in the format of its last draw


@pytest.mark.parametrize("name", [n for n in sorted(SAMPLES, key=bl.TYPES.get) if SAMPLES[n][2]])
def test_decoder_reads_what_the_package_draws(name):
    text, box, fmt, expected = SAMPLES[name]
    with open_barcode(name) as barcode:
        results = decode(barcode.png(text, **box))
    # GS1 element strings may come back with parentheses or group separators around the AIs.
    assert (fmt, expected) in [(f, re.sub(r"[()\x1d]", "", t)) for f, t in results]


def test_a_rejected_text_raises_with_the_library_reason(capfd):
    with bl.Barcode("jan13") as barcode:
        with pytest.raises(bl.BarcodeError) as caught:
            barcode.png("123", 300, 100)
    assert caught.value.reason.startswith("[Jan13] ")
    assert "12 or 13 digits" in caught.value.reason
    assert caught.value.symbology == "jan13" and caught.value.text == b"123"
    assert capfd.readouterr().err == ""  # heard, not repeated


def test_a_failure_the_library_does_not_explain_still_has_a_reason():
    with bl.Barcode("qr") as barcode:
        with pytest.raises(bl.BarcodeError) as caught:
            barcode.png("A" * 8000, 300)
    assert caught.value.reason.strip()


@pytest.mark.parametrize(
    "name, options, error",
    [
        ("code39", dict(colour=(1, 2, 3)), TypeError),
        ("code39", dict(error_correction_level="H"), ValueError),
        ("qr", dict(error_correction_level="h"), ValueError),
        ("code128", dict(code_mode="D"), ValueError),
        ("qr", dict(foreground_color=(0, 0)), ValueError),
        ("qr", dict(background_color=(0, 0, 256)), ValueError),
        ("qr", dict(show_text=True), ValueError),
        ("upca", dict(show_start_stop=True), ValueError),
    ],
)
def test_options_are_checked_before_the_library_sees_them(name, options, error):
    with pytest.raises(error):
        bl.Barcode(name, **options)


@pytest.mark.parametrize(
    "name, text, box, options, fragment",
    [
        ("code128", "ABC", dict(width=300, height=80), dict(foreground_color=(0, 0, 128)), 'fill="rgb(0,0,128)"'),
        ("qr", "ABC", dict(width=100), dict(background_color=(250, 240, 230, 128)), 'fill-opacity="0.50"'),
        ("code39", "ABC", dict(width=300, height=80), dict(show_text=False), None),
    ],
)
def test_options_reach_the_symbol(name, text, box, options, fragment):
    with bl.Barcode(name) as plain, bl.Barcode(name, **options) as styled:
        assert plain.svg(text, **box) != styled.svg(text, **box)
        if fragment:
            assert fragment in styled.svg(text, **box)


def test_draw_kinds_follow_their_types():
    with bl.Barcode("code39") as code39:
        with pytest.raises(ValueError):
            code39.png("ABC", 100, draw="2d")
        # A linear symbol without a height takes the type's default height.
        assert png_size(code39.png("ABC", 100, quiet_zone=False)) == (100, 150)
    with bl.Barcode("yubin", quiet_zone=False) as yubin:
        width, height = png_size(yubin.png("1000001", height=30, draw="yubin"))
        assert (width, height) == (676, 30)
    with bl.Barcode("qr", quiet_zone=False) as qr:
        assert png_size(qr.png("ABC", 120, draw="2d")) == (120, 120)
        assert png_size(qr.png("ABC", 160, 120, draw="2d_rect")) == (160, 120)


def test_raster_format_and_later_options():
    with bl.Barcode("qr", output_format="jpg") as qr:
        assert qr.data_uri("ABC", 100).startswith("data:image/jpeg;base64,iVBORw0KGgo")  # PNG bytes
        qr.set(output_format="png", error_correction_level="H")
        assert qr.data_uri("ABC", 100).startswith("data:image/png;base64,")
        with pytest.raises(bl.BarcodeError):
            qr.set(output_format="gif").png("ABC", 100)


def test_context_manager_releases_the_handle():
    with bl.Barcode(16) as qr:
        qr.png("ABC", 100)
    assert qr.closed
    with pytest.raises(ValueError):
        qr.png("ABC", 100)
    qr.close()  # twice is harmless


def test_threads_draw_the_same_bytes_as_one_thread_and_keep_their_own_reasons():
    texts = [f"LUMEO-{i:03d}" for i in range(24)]
    with bl.Barcode("code128") as barcode:
        expected = {t: barcode.png(t, 300, 80) for t in texts}
    results, reasons = {}, []

    def work(offset):
        with bl.Barcode("code128") as mine, bl.Barcode("jan13") as failing:
            for t in texts[offset::4]:
                results[t] = mine.png(t, 300, 80)
                try:
                    failing.png(t, 300, 80)
                except bl.BarcodeError as e:
                    reasons.append(e.reason)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == expected
    assert len(reasons) == len(texts) and all(r.startswith("[Jan13] ") for r in reasons)


def test_type_names_and_numbers():
    with bl.Barcode("QR") as by_name, bl.Barcode(16) as by_number:
        assert by_name.type == by_number.type == 16
    for bad in (19, -1, "ean99"):
        with pytest.raises(ValueError):
            bl.Barcode(bad)


def test_databar_helpers_answer_for_other_types_and_unbuilt_ones():
    with bl.Barcode("code39") as code39:
        assert code39.symbol_type_14 == ""
        assert code39.encode_14("0491234567890") is False
    assert bl.calculate_check_digit_14("123") == ""
    if "databar14" in bl.available_types():
        assert bl.calculate_check_digit_14("0123456789012") == "8"


def test_a_missing_library_is_named(tmp_path):
    env = dict(os.environ, BARCODE_LUMEO_LIBRARY=str(tmp_path / "nowhere.so"))
    run = subprocess.run(
        [sys.executable, "-c", "import barcode_lumeo; barcode_lumeo.available_types()"],
        env=env, capture_output=True, text=True,
    )
    assert run.returncode != 0
    assert "LibraryNotFoundError" in run.stderr and "BARCODE_LUMEO_LIBRARY" in run.stderr


def narrowest_dark_run(png):
    """The module: the narrowest dark run across the row a third of the way down."""
    image = pytest.importorskip("PIL.Image").open(io.BytesIO(png)).convert("L")
    w, h = image.size
    row = [image.getpixel((x, h // 3)) < 128 for x in range(w)] + [False]
    runs, count = [], 0
    for dark in row:
        if dark:
            count += 1
        elif count:
            runs.append(count)
            count = 0
    return min(runs)


# type, draw keywords, module in pixels, text read back (sizing as the lumeo tool does it)
SIZING = [
    ("code128", dict(), 2, "ABC123"),
    ("code128", dict(module=3), 3, "ABC123"),
    ("code128", dict(dpi=300, x_dim="0.254mm", bar_height="10mm"), 3, "ABC123"),
    ("code128", dict(dpi=600, x_dim=0.254), 6, "ABC123"),
    ("jan13", dict(module=3), 3, "4901234567894"),
    ("qr", dict(draw="2d", module=3), 3, "HELLO"),
    ("pdf417", dict(module=2), 2, "HELLO"),
]


@pytest.mark.parametrize("name, keywords, module, want", SIZING, ids=[f"{r[0]}-{r[1]}" for r in SIZING])
def test_the_box_follows_the_module_as_in_the_tool(name, keywords, module, want):
    text = {"jan13": "490123456789", "qr": "HELLO", "pdf417": "HELLO"}.get(name, "ABC123")
    with open_barcode(name) as barcode:
        png = barcode.png(text, **keywords)
        assert narrowest_dark_run(png) == module
        assert want in [t for _, t in decode(png)]
        turned = barcode.png(text, rotate=90, **keywords)
        assert png_size(turned) == png_size(png)[::-1]
        assert want in [t for _, t in decode(turned)]
        svg = barcode.svg(text, rotate=270, **keywords)
        width, height = png_size(png)
        assert f'width="{height}" height="{width}"' in svg


def test_sizing_refuses_what_cannot_be_used():
    with bl.Barcode("code128") as barcode:
        for keywords, reason in ((dict(module=0), "module takes"), (dict(x_dim="0.3mm"), "x_dim needs dpi"),
                                 (dict(module=2, width=300), "width fixes the box"), (dict(rotate=45), "rotate"),
                                 (dict(bar_height="5mm"), "needs dpi")):
            width = keywords.pop("width", None)
            with pytest.raises(ValueError, match=reason):
                barcode.png("ABC", width, **keywords)
        with pytest.raises(bl.BarcodeError) as failure:
            barcode.png("ABC", 30)  # a fixed box the symbol does not fit
        assert failure.value.code == "canvas_limit"
