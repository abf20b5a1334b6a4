# SPDX-License-Identifier: MIT
"""The playground page of lumeo serve in headless Chromium: the page's own script fills the form
(from the #fragment, as a shared link does), and the symbol it shows reads back with zxing-cpp."""

import base64
import html
import os
import re
import shutil
import subprocess
import sys
import urllib.parse

import pytest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_serve import Server, zxing  # noqa: E402


def chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        if shutil.which(name):
            return shutil.which(name)
    pytest.skip("chromium is not installed (scripts/setup.sh installs it)")


def page_dom(browser, profile, address):
    run = subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                          "--no-first-run", f"--user-data-dir={profile}", "--virtual-time-budget=15000",
                          "--dump-dom", address], capture_output=True, timeout=120)
    if run.returncode != 0 or b"<html" not in run.stdout:
        pytest.skip(f"chromium cannot start here: {run.stderr.decode(errors='replace')[-400:]}")
    return run.stdout.decode()


def element(dom, id_):
    match = re.search(rf'<(\w+)[^>]* id="{id_}"[^>]*>([^<]*)', dom) or re.search(rf'<(\w+) id="{id_}"[^>]*>([^<]*)', dom)
    assert match, f"no #{id_} in the page"
    return match


# fragment the page is opened with, the text read back (None: a refusal), what the page shows
CASES = [
    ({"type": "datamatrix", "text": "PLAYGROUND DM", "module": "6"}, "PLAYGROUND DM", "/v1/datamatrix.png?"),
    ({"type": "qr", "text": "https://example.jp/play?x=1&y=2", "level": "H", "format": "svg"},
     "https://example.jp/play?x=1&y=2", "/v1/qr.svg?"),
    ({"type": "code128", "text": "PLAY-128", "module": "3"}, "PLAY-128", "/v1/code128.png?"),
    ({"type": "jan13", "text": "12"}, None, "requires 12 or 13 digits"),
]


@pytest.mark.parametrize("fragment, want, shown", CASES, ids=[c[0]["type"] for c in CASES])
def test_the_page_fills_its_form_and_shows_a_symbol_that_reads(tmp_path, fragment, want, shown):
    browser = chromium()
    s = Server(tmp_path)
    try:
        dom = page_dom(browser, tmp_path / "profile",
                       f"http://127.0.0.1:{s.port}/#" + urllib.parse.urlencode(fragment))
    finally:
        code, errors = s.stop()
    assert code == 0 and errors == b""
    state = re.search(r'<body data-state="(\w+)"', dom)
    assert state, "the page never drew"
    if want is None:
        assert state.group(1) == "error"
        assert shown in html.unescape(element(dom, "error").group(2))
        return
    assert state.group(1) == "ready"
    url = html.unescape(element(dom, "url").group(2))
    assert url.startswith(f"http://127.0.0.1:{s.port}{shown}")
    assert urllib.parse.parse_qs(urllib.parse.urlsplit(url).query)["text"] == [want]
    src = re.search(r'id="symbol"[^>]* src="data:([^;]+);base64,([^"]+)"', dom)
    assert src, "no image in the page"
    image = base64.b64decode(src.group(2))
    if src.group(1) == "image/svg+xml":
        image = subprocess.run(["rsvg-convert", "--format", "png"], input=image, capture_output=True,
                               check=True).stdout
    assert want in zxing(image)
