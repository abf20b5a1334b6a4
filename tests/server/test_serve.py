# SPDX-License-Identifier: MIT
"""lumeo serve end to end: a server on an ephemeral port, symbols read back with zxing-cpp, every
refusal with its JSON reason, caching, metrics, limits, a slow client, a graceful stop, and junk."""

import base64
import http.client
import io
import json
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import threading
import time
import urllib.parse

import pytest

LUMEO = os.environ["LUMEO"]
SANITIZED = os.environ.get("LUMEO_SANITIZED") == "1"


class Server:
    """One `lumeo serve` process on a port of its own, with its access log and standard error."""

    def __init__(self, tmp, *options):
        self.log = tmp / "access.log"
        self.errors = open(tmp / "stderr.txt", "w+b")
        self.process = subprocess.Popen([LUMEO, "serve", "--listen", "127.0.0.1:0", "--access-log", str(self.log),
                                         *map(str, options)], stdout=subprocess.PIPE, stderr=self.errors)
        line = self.process.stdout.readline().decode()
        match = re.search(r"http://127\.0\.0\.1:(\d+)/", line)
        assert match, f"no port in {line!r}"
        self.port = int(match.group(1))

    def connect(self, timeout=60):
        return http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)

    def request(self, method, target, body=None, headers=None, connection=None):
        c = connection or self.connect()
        c.request(method, target, body=body, headers=headers or {})
        r = c.getresponse()
        data = r.read()
        if connection is None:
            c.close()
        return r.status, dict(r.getheaders()), data

    def get(self, target, **kw):
        return self.request("GET", target, **kw)

    def metrics(self):
        text = self.get("/metrics")[2].decode()
        return {m.group(1): float(m.group(2)) for m in re.finditer(r"^(\S+) (\S+)$", text, re.M)}

    def rss_kb(self):
        status = open(f"/proc/{self.process.pid}/status").read()
        return int(re.search(r"VmRSS:\s+(\d+) kB", status).group(1))

    def stop(self, sig=signal.SIGTERM):
        if self.process.poll() is None:
            self.process.send_signal(sig)
        code = self.process.wait(timeout=120)
        self.errors.seek(0)
        return code, self.errors.read()


@pytest.fixture(scope="module")
def server(tmp_path_factory):
    s = Server(tmp_path_factory.mktemp("serve"))
    yield s
    code, errors = s.stop()
    assert code == 0
    assert errors == b"", "the service printed on standard error"  # not a line per bad request
    log = s.log.read_text()
    assert "SECRET-TEXT" not in log and "?" not in log  # neither the text nor any query is logged


def zxing(png):
    zxingcpp = pytest.importorskip("zxingcpp")
    image = pytest.importorskip("PIL.Image")
    return [re.sub(r"[()\x1d]", "", r.text) for r in zxingcpp.read_barcodes(image.open(io.BytesIO(png)).convert("L"))]


def rasterise(svg):
    if shutil.which("rsvg-convert") is None:
        pytest.skip("rsvg-convert is not installed")
    return subprocess.run(["rsvg-convert", "--format", "png"], input=svg, capture_output=True, check=True).stdout


def tool(*args):
    run = subprocess.run([LUMEO, *args, "-o", "-"], capture_output=True, timeout=120)
    assert run.returncode == 0, run.stderr
    return run.stdout


def url(type_, ext, **params):
    return f"/v1/{type_}{ext}?" + urllib.parse.urlencode(params)


# Every type: its text, parameters, and what zxing-cpp reads (None: a type it cannot read, whose
# bytes are checked against the tool's instead).
TYPES = [
    ("code39", "LUMEO-39", {}, "LUMEO-39"),
    ("code93", "PN-4711/B", {}, "PN-4711/B"),
    ("code128", "Order 2024-00815", {}, "Order 2024-00815"),
    ("gs1-128", "(01)04912345678904(15)261231", {}, "010491234567890415261231"),
    ("nw7", "A0123-4567-89B", {}, "0123-4567-89"),  # zxing-cpp 1.4 drops the start and stop
    ("matrix2of5", "1234567890", {}, None),
    ("nec2of5", "1234567890", {}, None),
    ("jan8", "4901234", {}, "49012347"),
    ("jan13", "490123456789", {}, "4901234567894"),
    ("upca", "03600029145", {}, "036000291452"),
    ("upce", "0425261", {}, "04252614"),
    ("itf", "14901234567891", {}, "14901234567891"),
    ("databar14", "0491234567890", {}, "04912345678904"),
    ("databar-limited", "1501234567890", {}, None),
    ("databar-expanded", "(01)90012345678908(3103)001750", {}, "01900123456789083103001750"),
    ("yubin", "2630023 3-30-8-403", {}, None),
    ("qr", "https://example.jp/lumeo?item=4901234567894", {"level": "H"}, "https://example.jp/lumeo?item=4901234567894"),
    ("datamatrix", "LUMEO DATA MATRIX", {}, "LUMEO DATA MATRIX"),
    ("pdf417", "LUMEO PDF417", {}, "LUMEO PDF417"),
]


def test_the_table_covers_every_type(server):
    types = json.loads(server.get("/v1/types")[2])["types"]
    assert {t["name"] for t in types if t["built"]} <= {row[0] for row in TYPES}


@pytest.mark.parametrize("kind, text, params, want", TYPES, ids=[row[0] for row in TYPES])
def test_every_type_reads_back_from_png_and_svg(server, kind, text, params, want):
    options = [a for k, v in params.items() for a in (f"--{k}", v)]
    for ext, content_type, tool_format in ((".png", "image/png", "png8"), (".svg", "image/svg+xml", "svg")):
        status, headers, body = server.get(url(kind, ext, text=text, **params))
        assert status == 200, body
        assert headers["Content-Type"] == content_type
        # The same bytes as the tool draws: one request code for both.
        assert body == tool(kind, text, *options, "--format", tool_format)
        if want is not None:
            png = body if ext == ".png" else rasterise(body)
            assert want in zxing(png), ext
    # format=png is the RGBA encoding, format=datauri the palette PNG as a data URI.
    status, headers, rgba = server.get(url(kind, "", text=text, format="png", **params))
    assert status == 200 and rgba == tool(kind, text, *options, "--format", "png")
    status, headers, uri = server.get(url(kind, "", text=text, format="datauri", **params))
    assert status == 200 and headers["Content-Type"].startswith("text/plain")
    assert uri.startswith(b"data:image/png;base64,")
    assert base64.b64decode(uri[22:]) == tool(kind, text, *options, "--format", "png8")


J = "application/json"
LONG_URL = "/v1/qr.png?text=" + "A" * 9000
BIG_BODY = b"[" + b'{"type":"qr","text":"x"},' * 50000 + b"]"

# method, target, headers, body; status, a fragment of the reason, the field (None: null)
REFUSALS = [
    ("GET", "/v1/nope.png?text=A", {}, None, 404, "unknown type 'nope'", "type"),
    ("GET", "/v1/nope?text=A&format=svg", {}, None, 404, "GET /v1/types lists the types", "type"),
    ("GET", "/v2/qr.png?text=A", {}, None, 404, "no such path", None),
    ("GET", "/v1/qr/x.png?text=A", {}, None, 404, "no such path", None),
    ("GET", "/v1/qr.png", {}, None, 400, "the text is missing", "text"),
    ("GET", "/v1/qr.png?text=A&text=B", {}, None, 400, "more than once", "text"),
    ("GET", "/v1/jan13.png?text=12", {}, None, 400, "Jan13 barcode requires 12 or 13 digits", "text"),
    ("GET", "/v1/code39.svg?text=abc%23", {}, None, 400, "could not be drawn from \"abc#\"", "text"),
    ("GET", "/v1/code128.png?text=A%00B", {}, None, 400, "NUL byte (at byte 2)", "text"),
    ("GET", "/v1/gs1-128.png?text=(01)04912345678905", {}, None, 400, "check digit should be 4, not 5", "text"),
    ("GET", "/v1/qr.png?text=A&width=abc", {}, None, 400, "bad value for width: abc (a whole number of pixels)", "width"),
    ("GET", "/v1/qr.png?text=A&level=Z", {}, None, 400, "bad value for level: Z (one of L|M|Q|H)", "level"),
    ("GET", "/v1/qr.png?text=A&extended-guard=1", {}, None, 400, "option extended-guard does not apply to qr",
     "extended-guard"),
    ("GET", "/v1/qr.png?text=A&bogus=1", {}, None, 400, "unknown option bogus", "bogus"),
    ("GET", "/v1/qr.png?text=A&output=/tmp/x.png", {}, None, 400, "unknown parameter 'output'", "output"),
    ("GET", "/v1/qr.png?text=A&verbose=1", {}, None, 400, "unknown parameter 'verbose'", "verbose"),
    ("GET", "/v1/qr.png?text=A&format=svg", {}, None, 400, "differs from the extension", "format"),
    ("GET", "/v1/qr?text=A&format=gif", {}, None, 400, "bad value for format: 'gif'", "format"),
    ("GET", "/v1/qr.png?text=A&module=2&width=100", {}, None, 400, "width fixes the box", "width"),
    ("GET", "/v1/pdf417.png?text=" + "A" * 3000, {}, None, 400, "does not fit this symbology", "text"),
    ("GET", "/v1/batch", {}, None, 405, "GET is not allowed here (POST, OPTIONS)", None),
    ("POST", "/v1/qr.png?text=A", {}, b"x", 405, "POST is not allowed here", None),
    ("DELETE", "/healthz", {}, None, 405, "DELETE is not allowed here", None),
    ("POST", "/v1/batch", {}, b"{", 400, "the body is not JSON", "body"),
    ("POST", "/v1/batch", {}, b'{"type":"qr"}', 400, "not a JSON array", "body"),
    ("POST", "/v1/batch", {}, b"[" * 100 + b"]" * 100, 400, "nests deeper than 16 levels", "body"),
    ("POST", "/v1/batch", {}, json.dumps([{"type": "qr", "text": "x"}] * 1001).encode(), 413,
     "the batch has 1001 items, at most 1000", "body"),
    ("POST", "/v1/batch", {}, BIG_BODY, 413, "the body is over the limit of 1048576 bytes", None),
    ("GET", LONG_URL, {}, None, 414, "the URL is over the limit of 8192 bytes", None),
    ("GET", "/healthz", {f"X-Filler-{i}": "v" * 1000 for i in range(20)}, None, 431, "over the limit of 16384", None),
    ("GET", "/healthz", {"X-Long": "v" * 9000}, None, 400, "the request cannot be read", None),
]


@pytest.mark.parametrize("method, target, headers, body, status, reason, field", REFUSALS,
                         ids=[f"{r[4]}-{r[1][:40]}" for r in REFUSALS])
def test_every_refusal_says_why_in_json(server, method, target, headers, body, status, reason, field):
    got, response_headers, data = server.request(method, target, body=body, headers=headers)
    assert got == status, data
    assert response_headers["Content-Type"] == J
    answer = json.loads(data)
    assert reason in answer["error"]
    assert answer["field"] == field
    assert "ETag" not in response_headers
    if status == 405:
        assert "GET" in response_headers["Allow"] or "POST" in response_headers["Allow"]


def test_batch_answers_in_order_with_the_bad_item_failing_alone(server):
    items = [
        {"type": "qr", "text": "FIRST", "level": "Q"},
        {"type": "code128", "text": "SECOND", "format": "svg"},
        {"type": "jan13", "text": "12"},
        {"type": "datamatrix", "text": "FOURTH", "module": 6},
        {"type": "nope", "text": "x"},
        {"type": "pdf417", "text": "SIXTH", "format": "png"},
    ]
    status, headers, data = server.request("POST", "/v1/batch", body=json.dumps(items).encode(),
                                           headers={"Content-Type": J})
    assert status == 200 and headers["Content-Type"] == J
    results = json.loads(data)
    assert [r["ok"] for r in results] == [True, True, False, True, False, True]
    assert "requires 12 or 13 digits" in results[2]["error"] and results[2]["field"] == "text"
    assert "unknown type 'nope'" in results[4]["error"] and results[4]["field"] == "type"
    assert "FIRST" in zxing(base64.b64decode(results[0]["data_uri"].split(",", 1)[1]))
    assert "SECOND" in zxing(rasterise(results[1]["svg"].encode()))
    assert "FOURTH" in zxing(base64.b64decode(results[3]["data_uri"].split(",", 1)[1]))
    assert "SIXTH" in zxing(base64.b64decode(results[5]["data_uri"].split(",", 1)[1]))


def test_etag_answers_304_without_drawing_and_metrics_move(server):
    target = url("qr", ".png", text="SECRET-TEXT", module=5)
    before = server.metrics()
    status, headers, png = server.get(target)
    assert status == 200
    etag = headers["ETag"]
    assert re.fullmatch(r'"[0-9a-f]{32}"', etag)
    assert headers["Cache-Control"] == "public, max-age=31536000, immutable"
    # The same request with its parameters in another order is the same image.
    assert server.get(url("qr", ".png", module=5, text="SECRET-TEXT"))[1]["ETag"] == etag
    assert server.get(url("qr", ".svg", text="SECRET-TEXT", module=5))[1]["ETag"] != etag
    drawn = server.metrics()["lumeo_draws_total"]
    for tags in (etag, f'"other", {etag}', f"W/{etag}", "*"):
        status, headers, body = server.get(target, headers={"If-None-Match": tags})
        assert (status, body, headers["ETag"]) == (304, b"", etag)
    key = 'lumeo_requests_total{type="qr",status="304"}'
    # A request is counted once its answer is sent: the client may ask for the metrics first.
    for _ in range(200):
        after = server.metrics()
        if after.get(key, 0) - before.get(key, 0) >= 4:
            break
        time.sleep(0.01)
    assert after["lumeo_draws_total"] == drawn  # no 304 drew anything
    assert server.get(target, headers={"If-None-Match": '"other"'})[0] == 200
    assert after[key] - before.get(key, 0) == 4
    assert after["lumeo_draws_total"] - before["lumeo_draws_total"] == 3
    assert after["lumeo_request_duration_seconds_count"] > before["lumeo_request_duration_seconds_count"]
    assert after["lumeo_response_bytes_total"] - before["lumeo_response_bytes_total"] >= len(png)
    assert after["lumeo_requests_in_flight"] >= 1  # the metrics request itself


def test_health_page_types_and_cors_preflight(server):
    assert server.get("/healthz")[:1] == (200,)
    status, headers, page = server.get("/")
    assert status == 200 and headers["Content-Type"].startswith("text/html")
    assert b"http://" not in page and b"https://" not in page  # no external assets
    status, headers, _ = server.request("OPTIONS", "/v1/batch")
    assert status == 204 and headers["Allow"] == "POST, OPTIONS"


def test_each_request_gets_its_own_reason_under_concurrency(server):
    failures = []

    def worker(n):
        c = server.connect()
        for i in range(40):
            text = f"{n}X{i}"
            status, _, data = server.get(url("jan13", ".png", text=text), connection=c)
            if status != 400 or f'from \\"{text}\\"' not in data.decode():
                failures.append((text, data))
        c.close()

    threads = [threading.Thread(target=worker, args=(n,)) for n in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []


def test_a_slow_client_is_cut_off_while_others_are_served(tmp_path):
    s = Server(tmp_path, "--read-timeout", "2", "--threads", "1")
    try:
        slow = socket.create_connection(("127.0.0.1", s.port))
        request = b"GET /healthz HTTP/1.1\r\nHost: x\r\n" + b"X-Drip: " + b"a" * 200 + b"\r\n\r\n"
        cut = threading.Event()

        def drip():
            try:
                for byte in request:  # a byte every 50 ms: 12 s for the whole request
                    slow.sendall(bytes([byte]))
                    time.sleep(0.05)
            except OSError:
                cut.set()

        dripper = threading.Thread(target=drip)
        dripper.start()
        served = 0
        c = s.connect()
        while dripper.is_alive() and served < 2000:
            status, _, data = s.get(url("code128", ".png", text=f"N{served}"), connection=c)
            assert status == 200
            served += 1
        dripper.join()
        answer = slow.recv(4096)
        assert cut.is_set() or answer.startswith(b"HTTP/1.1 408"), answer
        assert served > 0
        for _ in range(200):  # counted once the connection is closed
            if s.metrics()["lumeo_connections_cut_total"] >= 1:
                break
            time.sleep(0.01)
        assert s.metrics()["lumeo_connections_cut_total"] >= 1
    finally:
        code, errors = s.stop()
    assert code == 0 and errors == b""


BATCH_ITEMS = 60 if SANITIZED else 400


def slow_batch(n=BATCH_ITEMS):
    """A batch that draws for a while: long enough to be caught in flight."""
    return json.dumps([{"type": "qr", "text": f"ITEM {i} " + "x" * 200, "level": "H"} for i in range(n)]).encode()


def wait_for_draws(s, above):
    while s.metrics().get("lumeo_draws_total", 0) <= above:
        time.sleep(0.01)


def test_a_full_queue_answers_503_with_retry_after(tmp_path):
    s = Server(tmp_path, "--threads", "1", "--queue", "0")
    try:
        result = {}
        batch = threading.Thread(target=lambda: result.update(r=s.request("POST", "/v1/batch", body=slow_batch())))
        batch.start()
        wait_for_draws(s, 0)
        status, headers, data = s.get(url("qr", ".png", text="LATE"))
        batch.join()
        assert status == 503 and headers["Retry-After"] == "1"
        assert "the queue is full" in json.loads(data)["error"]
        assert result["r"][0] == 200
        assert s.get(url("qr", ".png", text="LATE"))[0] == 200  # free again
    finally:
        code, errors = s.stop()
    assert code == 0 and errors == b""


def test_sigterm_finishes_the_batch_in_flight_then_exits_0(tmp_path):
    s = Server(tmp_path)
    result = {}
    batch = threading.Thread(target=lambda: result.update(r=s.request("POST", "/v1/batch", body=slow_batch())))
    batch.start()
    wait_for_draws(s, 0)
    code, errors = s.stop(signal.SIGTERM)
    batch.join()
    assert code == 0 and errors == b""
    status, _, data = result["r"]
    assert status == 200
    assert len(json.loads(data)) == BATCH_ITEMS and all(r["ok"] for r in json.loads(data))
    with pytest.raises(OSError):
        socket.create_connection(("127.0.0.1", s.port), timeout=5)


def test_the_access_log_has_the_text_only_when_asked_and_cors_answers_other_origins(tmp_path):
    s = Server(tmp_path, "--log-text", "--cors", "https://shop.example")
    status, headers, _ = s.get(url("qr", ".png", text="SHOWN"))
    assert headers["Access-Control-Allow-Origin"] == "https://shop.example"
    assert "ETag" in headers["Access-Control-Expose-Headers"]
    s.get("/v1/nope.svg?text=x")
    status, headers, _ = s.request("OPTIONS", "/v1/qr.png", headers={"Origin": "https://shop.example",
                                                                   "Access-Control-Request-Method": "GET"})
    assert status == 204 and headers["Access-Control-Allow-Methods"] == "GET, HEAD, OPTIONS"
    s.stop()
    # One line a request, written once it is answered (so not always in the order sent).
    lines = sorted(line.split(" ", 1)[1] for line in s.log.read_text().splitlines())
    assert len(lines) == 3, lines
    assert re.fullmatch(r"GET /v1/nope\.svg 404 \d+ \d+ text=x", lines[0]), lines
    assert re.fullmatch(r"GET /v1/qr\.png 200 \d+ \d+ text=SHOWN", lines[1]), lines
    assert re.fullmatch(r"OPTIONS /v1/qr\.png 204 0 \d+", lines[2]), lines


# The RSS the service may reach after the junk below: it starts near 16 MB and stays near 50 MB
# (everyday canvases are reused from at most 4 heaps, canvases of large boxes are mapped and given
# back); AddressSanitizer keeps freed memory for a while.
RSS_BOUND_KB = (1024 if SANITIZED else 128) * 1024


def junk_request(rng, kind=None):
    """A request with random bytes in its path, query, headers or body."""
    def noise(n):
        return bytes(rng.randrange(256) for _ in range(rng.randrange(n)))

    def word(n):
        return urllib.parse.quote(noise(n), safe="").encode()

    kind = rng.randrange(8) if kind is None else kind
    types = [b"qr", b"code128", b"jan13", b"pdf417", b"datamatrix", b"yubin", b"nope", b"batch", b"types"]
    path = b"/v1/" + rng.choice(types) + rng.choice([b".png", b".svg", b""])
    query = b"text=" + word(40)
    for _ in range(rng.randrange(4)):
        query += b"&" + rng.choice([b"width", b"height", b"module", b"level", b"format", b"margin", b"rotate", b"draw",
                                    b"qr-version", b"fg", b"x-dim", b"dpi", b"bar-height", word(8)]) + b"=" + word(8)
    headers = b"Host: x\r\n"
    body = b""
    method = b"GET"
    if kind == 0:
        path = b"/" + word(60)
    elif kind == 1:
        path = b"/v1/" + noise(30).replace(b" ", b"").replace(b"\r", b"").replace(b"\n", b"")
    elif kind == 2:
        headers += noise(200) + b"\r\n"
    elif kind == 3:
        method, path, query = b"POST", b"/v1/batch", b""
        body = rng.choice([noise(300), json.dumps([{"type": rng.choice(["qr", "nope", 7]), "text": noise(20).hex(),
                                                    rng.choice(["width", "level", "x"]): rng.randrange(-5, 5000)}
                                                   for _ in range(rng.randrange(5))]).encode()])
        headers += b"Content-Length: %d\r\n" % len(body)
    elif kind == 4:
        method = rng.choice([b"PUT", b"DELETE", b"PATCH", b"OPTIONS", b"HEAD", b"FOO", noise(6)])
    elif kind == 5:
        headers += b"If-None-Match: " + word(40) + b"\r\nRange: bytes=" + word(10) + b"\r\n"
    elif kind == 6:
        # Lengths that cannot be, and one that the body has.
        headers += b"Content-Length: " + rng.choice([b"-1", b"99999999999999999999", b"abc", b"10"]) + b"\r\n"
        body = bytes(rng.randrange(256) for _ in range(10))
    return method + b" " + path + b"?" + query + b" HTTP/1.1\r\n" + headers + b"\r\n" + body


def read_status(sock):
    """The status of one response, its body skipped; None when the server closed the connection."""
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            return None, False
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    status = int(head.split(b" ", 2)[1])
    length = re.search(rb"(?i)content-length: (\d+)", head)
    length = int(length.group(1)) if length else 0
    while len(rest) < length:
        chunk = sock.recv(65536)
        if not chunk:
            break
        rest += chunk
    return status, b"connection: close" not in head.lower()


def test_twenty_thousand_junk_requests_from_eight_connections(tmp_path):
    s = Server(tmp_path)
    per_connection = 2500 if not SANITIZED else 500
    statuses = {}
    errors = []
    lock = threading.Lock()

    def client(seed):
        rng = random.Random(seed)
        sock = None
        for _ in range(per_connection):
            request = junk_request(rng)
            try:
                if sock is None:
                    sock = socket.create_connection(("127.0.0.1", s.port), timeout=30)
                sock.sendall(request)
                head = request.split(b" ", 1)[0] == b"HEAD"
                status, keep = read_status(sock) if not head else (None, False)
            except OSError as e:
                status, keep = None, False
                if not isinstance(e, (ConnectionResetError, BrokenPipeError)):
                    errors.append(repr(e))
            with lock:
                statuses[status] = statuses.get(status, 0) + 1
            if not keep:
                if sock is not None:
                    sock.close()
                sock = None
        if sock is not None:
            sock.close()

    threads = [threading.Thread(target=client, args=(seed,)) for seed in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    rss = s.rss_kb()
    alive = s.get(url("qr", ".png", text="STILL HERE"))
    code, stderr = s.stop()
    assert errors == []
    assert sum(statuses.values()) == 8 * per_connection
    assert [st for st in statuses if st is not None and st >= 500 and st != 503] == [], statuses
    assert statuses.get(200, 0) > 0 and statuses.get(400, 0) > 0, statuses
    assert alive[0] == 200 and "STILL HERE" in zxing(alive[2])
    assert rss < RSS_BOUND_KB, f"RSS {rss} kB"
    assert code == 0 and stderr == b""
