# SPDX-License-Identifier: MIT
"""Files the tool and batch mode write: a failed, killed or interrupted write never loses or
truncates a good file nor leaves a temporary file behind; batch mode stays inside its folder,
catches duplicates, and counts only what it really wrote. CSV files as spreadsheets write them."""

import io
import os
import re
import shutil
import signal
import subprocess
import time

import pytest

LUMEO = os.environ["LUMEO"]
FAULTS = os.environ.get("LUMEO_WRITE_FAULTS", "")
SANITIZED = os.environ.get("LUMEO_SANITIZED") == "1"
PNG_END = b"IEND\xaeB`\x82"


def lumeo(*args, cwd=None, env=None, input=None):
    return subprocess.run([LUMEO, *map(str, args)], capture_output=True, cwd=cwd, env=env, input=input, timeout=600)


def fault_env(fault):
    if not FAULTS or not os.path.exists(FAULTS):
        pytest.skip("the write-fault library is not built")
    env = dict(os.environ, LD_PRELOAD=FAULTS, LUMEO_FAULT=fault)
    if SANITIZED:
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"
    return env


def whole_png(data):
    return data.startswith(b"\x89PNG\r\n\x1a\n") and data.endswith(PNG_END)


def leftovers(folder):
    """Temporary files the tool may have left anywhere below the folder."""
    return sorted(str(p.relative_to(folder)) for p in folder.rglob(".*lumeo-*"))


def files(folder):
    return sorted(str(p.relative_to(folder)) for p in folder.rglob("*") if p.is_file() or p.is_symlink())


def wait_until_stopped(process):
    """Waits (bounded) until the process has stopped itself inside the fault library."""
    for _ in range(6000):
        try:
            with open(f"/proc/{process.pid}/stat") as stat:
                state = stat.read().rsplit(")", 1)[1].split()[0]
        except FileNotFoundError:
            state = "X"
        if state in "TtZX":
            return state
        time.sleep(0.01)
    return state


def interrupted(args, fault, sig, cwd):
    """Runs the tool until the fault stops it, sends `sig`, lets it go on, returns its exit status."""
    process = subprocess.Popen([LUMEO, *map(str, args)], cwd=cwd, env=fault_env(fault), stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    assert wait_until_stopped(process) in "Tt", "the tool did not stop inside the write"
    process.send_signal(sig)
    process.send_signal(signal.SIGCONT)
    process.communicate(timeout=600)
    return process.returncode


# The single tool replacing a good file: (situation, fault, signal or None, exit status, reason)
TOOL_ROWS = [
    ("killed in the write", "stop-in-write", signal.SIGKILL, -signal.SIGKILL, None),
    ("interrupted in the write", "stop-in-write", signal.SIGINT, -signal.SIGINT, None),
    ("terminated before the rename", "stop-before-rename", signal.SIGTERM, -signal.SIGTERM, None),
    ("hung up before the rename", "stop-before-rename", signal.SIGHUP, -signal.SIGHUP, None),
    ("disk full in the write", "enospc-after:1000", None, 1, "No space left on device"),
]


@pytest.mark.parametrize("situation, fault, sig, code, reason", TOOL_ROWS, ids=[r[0] for r in TOOL_ROWS])
def test_a_failed_or_interrupted_write_keeps_the_old_file_and_leaves_nothing(tmp_path, situation, fault, sig,
                                                                             code, reason):
    assert lumeo("code39", "OLD", "-o", "a.png", cwd=tmp_path).returncode == 0
    old = (tmp_path / "a.png").read_bytes()
    if sig is None:
        run = lumeo("code39", "NEW-AND-LONGER", "-o", "a.png", cwd=tmp_path, env=fault_env(fault))
        assert run.returncode == code and reason in run.stderr.decode()
    else:
        assert interrupted(["code39", "NEW-AND-LONGER", "-o", "a.png"], fault, sig, tmp_path) == code
    assert (tmp_path / "a.png").read_bytes() == old
    assert files(tmp_path) == ["a.png"] and leftovers(tmp_path) == []


def test_an_interrupted_first_write_leaves_no_file_at_all(tmp_path):
    assert interrupted(["code39", "NEW", "-o", "a.png"], "stop-in-write", signal.SIGKILL, tmp_path) == -9
    assert files(tmp_path) == []


def test_a_replaced_file_is_whole_keeps_its_permissions_and_a_link_stays_a_link(tmp_path):
    assert lumeo("code39", "OLD", "-o", "real.png", cwd=tmp_path).returncode == 0
    os.chmod(tmp_path / "real.png", 0o640)
    os.symlink("real.png", tmp_path / "link.png")
    run = lumeo("code39", "NEW-AND-LONGER", "-o", "link.png", cwd=tmp_path)
    assert run.returncode == 0, run.stderr
    assert os.readlink(tmp_path / "link.png") == "real.png"
    assert whole_png((tmp_path / "real.png").read_bytes())
    assert os.stat(tmp_path / "real.png").st_mode & 0o777 == 0o640
    assert leftovers(tmp_path) == []


def test_devices_are_written_in_place():
    full = lumeo("code39", "ABC", "--format", "png", "-o", "/dev/full")
    assert full.returncode == 1 and "cannot write /dev/full: No space left on device" in full.stderr.decode()
    null = lumeo("code39", "ABC", "--format", "svg", "-o", "/dev/null")
    assert null.returncode == 0 and null.stderr == b""


FILL_AND_WRITE = r'''
set -u
mount -t tmpfs -o size=256k tmpfs "$1" || exit 99
cd "$1"
"$2" code39 OLD -o a.png || exit 98
cp a.png before.png
dd if=/dev/zero of=filler bs=1k 2>/dev/null
"$2" code39 NEW-AND-LONGER -o a.png 2>&1
echo "exit $?"
cmp -s a.png before.png && echo "old file kept"
ls -A
'''


def run_on_a_full_tmpfs(folder):
    script = ["sh", "-c", FILL_AND_WRITE, "sh", str(folder), LUMEO]
    for prefix in ([["unshare", "-rm"]] if shutil.which("unshare") else []) + ([[]] if os.geteuid() == 0 else []):
        if prefix == [] and os.geteuid() == 0:
            run = subprocess.run(script, capture_output=True, text=True, timeout=600)
            subprocess.run(["umount", str(folder)], capture_output=True)
        else:
            run = subprocess.run(prefix + script, capture_output=True, text=True, timeout=600)
        if run.returncode != 99:
            return run
    pytest.skip("no small tmpfs can be mounted here")


def test_a_full_disk_keeps_the_old_file_and_leaves_no_temporary_file(tmp_path):
    folder = tmp_path / "small"
    folder.mkdir()
    run = run_on_a_full_tmpfs(folder)
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    assert lines[:3] == ["lumeo: cannot write a.png: No space left on device", "exit 1", "old file kept"]
    assert sorted(lines[3:]) == ["a.png", "before.png", "filler"]


# Batch mode in hostile folders. Each row: situation, how to prepare the run folder, the CSV lines,
# exit status, summary, the files below out/ afterwards, reasons by CSV line number.
def link(target, name):
    def make(root):
        (root / name).parent.mkdir(parents=True, exist_ok=True)
        os.symlink(target, root / name)
    return make


def make_file(name, data=b"OUTSIDE"):
    def make(root):
        (root / name).parent.mkdir(parents=True, exist_ok=True)
        (root / name).write_bytes(data)
    return make


BATCH_ROWS = [
    ("output option in the options field",
     [],
     ["code39,A,a.png,-o ../escaped.png", "code39,B,b.png,--width 200 --output /tmp/lumeo-escaped.png",
      "code39,OK,ok.png"],
     1, "wrote 1 of 3 symbols to out; 2 failed", ["ok.png"],
     {1: "may not name an output (-o)", 2: "may not name an output (--output)"}),
    ("symbolic link to a file outside",
     [make_file("outside.png"), link("../outside.png", "out/link.png")],
     ["code39,A,link.png", "code39,OK,ok.png"],
     1, "wrote 1 of 2 symbols to out; 1 failed", ["link.png", "ok.png"],
     {1: "cannot write out/link.png: it is a symbolic link, which is not followed"}),
    ("symbolic link to a folder outside",
     [lambda root: (root / "elsewhere").mkdir(), link("../elsewhere", "out/sub")],
     ["code39,A,sub/x.png", "code39,B,sub/deeper/y.png"],
     1, "wrote 0 of 2 symbols to out; 2 failed", ["sub"],
     {1: "cannot write into out/sub: it is a symbolic link", 2: "out/sub: it is a symbolic link"}),
    ("duplicate names, written differently",
     [],
     ["code39,A,a.png", "code39,B,./a.png", "code39,C,sub//b.png", "code39,D,sub/./b.png", "code39,E,sub/../a.png"],
     1, "wrote 2 of 5 symbols to out; 3 failed", ["a.png", "sub/b.png"],
     {2: "line 1 writes a.png already", 4: "line 3 writes sub/b.png already", 5: "must be a relative path inside"}),
    ("a symbolic link aliasing a folder inside",
     [lambda root: (root / "out/real").mkdir(parents=True), link("real", "out/alias")],
     ["code39,A,real/a.png", "code39,B,alias/a.png"],
     1, "wrote 1 of 2 symbols to out; 1 failed", ["alias", "real/a.png"],
     {2: "out/alias: it is a symbolic link"}),
    ("a file in the way of a folder",
     [make_file("out/blocker", b"not a folder")],
     ["code39,A,blocker/x.png", "code39,B,fine/y.png"],
     1, "wrote 1 of 2 symbols to out; 1 failed", ["blocker", "fine/y.png"],
     {1: "cannot make the folder out/blocker: a file of that name is in the way"}),
    ("a folder name too long",
     [],
     ["code39,A," + "d" * 300 + "/x.png", "code39,B,ok.png"],
     1, "wrote 1 of 2 symbols to out; 1 failed", ["ok.png"],
     {1: "File name too long"}),
    ("NUL bytes in text, name and options",
     [],
     ["code39,A\0B,text.png", "code39,AB,a\0b.png", "code39,AB,opt.png,--width 3\0" + "00", "code39,OK,ok.png"],
     1, "wrote 1 of 4 symbols to out; 3 failed", ["ok.png"],
     {1: "the text holds a NUL byte (at byte 2)", 2: "the file name holds a NUL byte", 3: "the options hold"}),
]


@pytest.mark.parametrize("situation, prepare, lines, code, summary, left, reasons", BATCH_ROWS,
                         ids=[r[0] for r in BATCH_ROWS])
def test_batch_stays_in_its_folder(tmp_path, situation, prepare, lines, code, summary, left, reasons):
    for make in prepare:
        make(tmp_path)
    (tmp_path / "lines.csv").write_bytes("\n".join(lines).encode() + b"\n")
    run = lumeo("batch", "lines.csv", "out", cwd=tmp_path)
    assert run.returncode == code, run.stderr
    assert run.stdout.decode() == f"lumeo: {summary}\n"
    assert files(tmp_path / "out") == left
    errors = run.stderr.decode().splitlines()
    assert sorted(int(re.match(r"lumeo: lines.csv:(\d+): ", e).group(1)) for e in errors) == sorted(reasons)
    for number, fragment in reasons.items():
        assert fragment in next(e for e in errors if e.startswith(f"lumeo: lines.csv:{number}: "))
    # Nothing was written anywhere but out/, and what is there is whole.
    assert not (tmp_path / "escaped.png").exists() and not os.path.exists("/tmp/lumeo-escaped.png")
    assert [p.name for p in tmp_path.iterdir() if p.name not in ("out", "lines.csv", "outside.png", "elsewhere")] == []
    if (tmp_path / "outside.png").exists():
        assert (tmp_path / "outside.png").read_bytes() == b"OUTSIDE"
    if (tmp_path / "elsewhere").exists():
        assert list((tmp_path / "elsewhere").iterdir()) == []
    for name in left:
        if name.endswith(".png") and not (tmp_path / "out" / name).is_symlink():
            assert whole_png((tmp_path / "out" / name).read_bytes())
    assert leftovers(tmp_path) == []


@pytest.mark.skipif(os.geteuid() == 0, reason="root writes into any folder")
def test_batch_line_in_an_unwritable_folder_fails_alone(tmp_path):
    (tmp_path / "out/locked").mkdir(parents=True)
    os.chmod(tmp_path / "out/locked", 0o555)
    (tmp_path / "lines.csv").write_text("code39,A,locked/x.png\ncode39,B,open/y.png\n")
    run = lumeo("batch", "lines.csv", "out", cwd=tmp_path)
    os.chmod(tmp_path / "out/locked", 0o755)
    assert run.returncode == 1 and run.stdout == b"lumeo: wrote 1 of 2 symbols to out; 1 failed\n"
    assert "lines.csv:1: cannot write out/locked/x.png: Permission denied" in run.stderr.decode()
    assert files(tmp_path / "out") == ["open/y.png"]


def batch_lines(count, word="ITEM"):
    return "".join(f"code128,{word}-{i:04d},items/{i}.png,--width 200 --height 60\n" for i in range(count))


def test_batch_on_a_full_disk_counts_only_what_it_wrote(tmp_path):
    (tmp_path / "lines.csv").write_text(batch_lines(12))
    (tmp_path / "out/items").mkdir(parents=True)
    (tmp_path / "out/items/0.png").write_bytes(b"OLD")
    run = lumeo("batch", "lines.csv", "out", cwd=tmp_path, env=fault_env("enospc-after:6000"))
    written = [p for p in (tmp_path / "out/items").iterdir() if whole_png(p.read_bytes())]
    failed = run.stderr.decode().splitlines()
    assert run.returncode == 1
    assert 0 < len(written) < 12 and len(failed) == 12 - len(written)
    assert run.stdout.decode() == f"lumeo: wrote {len(written)} of 12 symbols to out; {len(failed)} failed\n"
    assert all("No space left on device" in line for line in failed)
    if (tmp_path / "out/items/0.png") not in written:
        assert (tmp_path / "out/items/0.png").read_bytes() == b"OLD"
    assert leftovers(tmp_path) == []


# fault, signal, and whether the batch replaces the files of an earlier run (renames) or makes
# new ones (linked straight to their names, so even SIGKILL leaves nothing behind)
@pytest.mark.parametrize("fault, sig, replace", [
    ("stop-in-write", signal.SIGKILL, False),
    ("stop-in-write", signal.SIGTERM, True),
    ("stop-before-rename:5", signal.SIGTERM, True),
    ("stop-before-rename:3", signal.SIGINT, True),
])
def test_an_interrupted_batch_leaves_whole_files_and_no_temporary_file(tmp_path, fault, sig, replace):
    (tmp_path / "lines.csv").write_text(batch_lines(40))
    out = tmp_path / "out"
    if replace:
        assert lumeo("batch", "lines.csv", "out", cwd=tmp_path).returncode == 0
        (tmp_path / "lines.csv").write_text(batch_lines(40, "NEW"))
    before = files(out) if out.exists() else []
    assert interrupted(["batch", "lines.csv", "out"], fault, sig, tmp_path) == -sig
    assert leftovers(tmp_path) == []
    assert all(whole_png(p.read_bytes()) for p in out.rglob("*.png"))
    if replace:
        assert files(out) == before


SPREADSHEET = (
    "\ufefftype,text,file,options\r\n"
    '"qr","BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Taro Yamada\r\nADR:;;1-2-3 Marunouchi, Chiyoda-ku;Tokyo\r\nEND:VCARD",'
    "vcard.png,--draw 2d\r\n"
    "code128,SHARED,shared.png\r\n"
    "code128,OWN,own.png,--width 200\r\n"
    '"code128","""QUOTED"", 2",quoted.png\r\n'
    "jan13,123,bad.png\r\n"
)


def test_batch_reads_csv_as_spreadsheets_write_it_and_shares_command_line_options(tmp_path):
    (tmp_path / "sheet.csv").write_bytes(SPREADSHEET.encode("utf-8"))
    run = lumeo("batch", "sheet.csv", "out", "--width", 300, "--height", 80, "--margin", 0, cwd=tmp_path)
    assert run.returncode == 1
    assert run.stdout == b"lumeo: wrote 4 of 5 symbols to out; 1 failed\n"
    # The failing record starts on line 10: the vCard's line breaks count.
    assert re.fullmatch(r"lumeo: sheet\.csv:10: the JAN-13 .* could not be drawn from \"123\".*\n", run.stderr.decode())
    image = pytest.importorskip("PIL.Image")
    out = tmp_path / "out"
    assert image.open(out / "shared.png").size == (300, 80)
    assert image.open(out / "own.png").size == (200, 80)  # the line's own option wins
    assert image.open(out / "vcard.png").size == (300, 300)
    zxingcpp = pytest.importorskip("zxingcpp")
    read = lambda name: [r.text for r in zxingcpp.read_barcodes(image.open(out / name).convert("L"))]
    assert read("vcard.png") == ["BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Taro Yamada\r\n"
                                 "ADR:;;1-2-3 Marunouchi, Chiyoda-ku;Tokyo\r\nEND:VCARD"]
    assert read("quoted.png") == ['"QUOTED", 2']


def test_batch_option_of_no_line_type_fails_the_line_with_its_reason(tmp_path):
    (tmp_path / "mixed.csv").write_text("qr,HELLO,qr.png\ncode39,HELLO,c39.png\n")
    run = lumeo("batch", "mixed.csv", "out", "--level", "H", cwd=tmp_path)
    assert run.returncode == 1 and run.stdout == b"lumeo: wrote 1 of 2 symbols to out; 1 failed\n"
    assert "mixed.csv:2: option --level does not apply to code39" in run.stderr.decode()
