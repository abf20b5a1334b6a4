#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Python draws on several threads: the throughput of 2 threads (each with its own Barcode)
against 1, for a plain draw and for the default draw with its quiet zone. Not a test: prints the
figures (the goal is 1.6x or more on two cores for the plain draw).

    BARCODE_LUMEO_LIBRARY=build/libbarcode_lumeo.so PYTHONPATH=bindings/python \\
        /usr/bin/python3 bench/python_threads.py [seconds per measurement]
"""

import statistics
import sys
import threading
import time

import barcode_lumeo as bl

# (label, type, text, drawing method, keyword arguments)
CASES = [
    ("qr 1000 png (RGBA), no quiet zone", "qr", "https://example.jp/lumeo?item=4901234567894", "png",
     dict(width=1000, format="png", quiet_zone=False)),
    ("code128 1200x300 png8 with text", "code128", "Order 2024-00815", "png",
     dict(width=1200, height=300, quiet_zone=False)),
    ("pdf417 svg 600", "pdf417", "PDF417 lumeo sample 2024 " * 8, "svg", dict(width=600, quiet_zone=False)),
    ("qr 300 png8, no quiet zone", "qr", "https://example.jp/lumeo?item=4901234567894", "png",
     dict(width=300, quiet_zone=False)),
    ("qr 300 png8, quiet zone (default)", "qr", "https://example.jp/lumeo?item=4901234567894", "png",
     dict(width=300)),
]


def throughput(threads, name, text, method, options, seconds):
    """Draws per second of `threads` threads drawing for `seconds`."""
    counts = [0] * threads
    start, stop = threading.Barrier(threads + 1), threading.Event()

    def work(i):
        with bl.Barcode(name) as barcode:
            draw = getattr(barcode, method)
            draw(text, **options)
            start.wait()
            while not stop.is_set():
                draw(text, **options)
                counts[i] += 1

    workers = [threading.Thread(target=work, args=(i,)) for i in range(threads)]
    for w in workers:
        w.start()
    start.wait()
    began = time.perf_counter()
    time.sleep(seconds)
    stop.set()
    elapsed = time.perf_counter() - began
    for w in workers:
        w.join()
    return sum(counts) / elapsed


def load():
    try:
        with open("/proc/loadavg") as f:
            return f.read().split()[0]
    except OSError:
        return "?"


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 1.0
    print(f"{'case':36} {'1 thread/s':>11} {'2 threads/s':>12} {'ratio':>6}   (load {load()})")
    for label, name, text, method, options in CASES:
        ratios, ones, twos = [], [], []
        for _ in range(5):
            one = throughput(1, name, text, method, options, seconds)
            two = throughput(2, name, text, method, options, seconds)
            ones.append(one)
            twos.append(two)
            ratios.append(two / one)
        print(f"{label:36} {statistics.median(ones):11.0f} {statistics.median(twos):12.0f} "
              f"{statistics.median(ratios):6.2f}")


if __name__ == "__main__":
    main()
