#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A product label from Python: JAN-13 and QR as PNG and SVG files, a data URI for a web page,
and the library's own reason when a text is rejected.

    python3 label.py [DIR]      writes DIR/product.png, DIR/product.svg and DIR/link.png
"""

import sys
from pathlib import Path

from barcode_lumeo import Barcode, BarcodeError


def main(out: Path) -> int:
    with Barcode("jan13", extended_guard=True, foreground_color=(20, 20, 60)) as jan:
        (out / "product.png").write_bytes(jan.png("490123456789", 300, 120))
        (out / "product.svg").write_text(jan.svg("490123456789", 300, 120))
        try:
            jan.png("12345", 300, 120)
        except BarcodeError as e:
            print(f"rejected: {e.reason}")

    with Barcode("qr", error_correction_level="H") as qr:
        (out / "link.png").write_bytes(qr.png("https://example.jp/item/4901234567894", 200, draw="2d"))
        uri = qr.data_uri("https://example.jp/item/4901234567894", 120, draw="2d")
        print(f'<img src="{uri[:40]}..."> ({len(uri)} characters)')

    for name in ("product.png", "product.svg", "link.png"):
        print(f"wrote {out / name}")
    return 0


if __name__ == "__main__":
    sys.exit(main(Path(sys.argv[1] if len(sys.argv) > 1 else ".")))
