#!/usr/bin/env python3
"""quern.GetFileB and quern.GetFile2 against pathlib on the same 100 MiB files, in one run.

Each read runs in a fresh Python process (so that its peak memory and page faults are its own),
which imports both modules first and measures only the read: wall time with
time.perf_counter, minor page faults (ru_minflt) and the growth of the peak resident size
(ru_maxrss) across the read, from getrusage. Rows:

  quern.GetFileB(path)                         vs  Path.read_bytes()
  quern.GetFile2(path) on UTF-8 with a mark    vs  Path.read_text(encoding="utf-8-sig", newline="")
  quern.GetFile2(path) on UTF-16 LE with a mark vs Path.read_text(encoding="utf-16", newline="")

The files live on tmpfs (/dev/shm, or --dir) so that the disk plays no part; the folder is
removed at the end. The median of --runs runs is printed, the two of a pair alternating.

    PYTHONPATH=build/python python3 bench/python_io.py [--runs 3] [--mib 100]
"""

import argparse
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile

CHILD = r"""
import resource, sys, time, pathlib
import quern
kind, path = sys.argv[1], sys.argv[2]
fso = quern.orvFSO()
p = pathlib.Path(path)
def read_text(p, encoding):
    # Path.read_text takes newline= from Python 3.13 on; before, this is what it does with it.
    if sys.version_info >= (3, 13):
        return p.read_text(encoding=encoding, newline="")
    with p.open(encoding=encoding, newline="") as f:
        return f.read()
before = resource.getrusage(resource.RUSAGE_SELF)
start = time.perf_counter()
if kind == "quern-bytes":
    data = fso.GetFileB(path, True)
elif kind == "path-bytes":
    data = p.read_bytes()
elif kind == "quern-text":
    data = fso.GetFile2(path, True)
elif kind == "path-text-utf8":
    data = read_text(p, "utf-8-sig")
elif kind == "path-text-utf16":
    data = read_text(p, "utf-16")
seconds = time.perf_counter() - start
after = resource.getrusage(resource.RUSAGE_SELF)
print(seconds, after.ru_minflt - before.ru_minflt, after.ru_maxrss - before.ru_maxrss, len(data))
"""

MAKE = r"""
import os, sys
size, binary, utf8, utf16 = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
with open(binary, "wb") as f:
    f.write(os.urandom(size))
line = "Строка текста, line of text: 0123456789\r\n"
text = line * (size // len(line.encode("utf-8")))
with open(utf8, "wb") as f:
    f.write(b"\xEF\xBB\xBF" + text.encode("utf-8"))
with open(utf16, "wb") as f:
    f.write(b"\xFF\xFE" + text[: size // 2 - 1].encode("utf-16-le"))
"""


def processor():
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def run(kind, path):
    out = subprocess.run([sys.executable, "-c", CHILD, kind, path], check=True,
                         capture_output=True, text=True).stdout.split()
    return float(out[0]), int(out[1]), int(out[2]), int(out[3])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--mib", type=int, default=100)
    parser.add_argument("--dir", default="/dev/shm")
    args = parser.parse_args()
    folder = tempfile.mkdtemp(prefix="quern-bench-", dir=args.dir)
    try:
        size = args.mib * 1024 * 1024
        binary = os.path.join(folder, "binary")
        utf8 = os.path.join(folder, "utf8.txt")
        utf16 = os.path.join(folder, "utf16.txt")
        # Made by a child: a process keeps its parent's peak resident size across exec, so this
        # one must stay small for the children's peaks to be their own.
        subprocess.run([sys.executable, "-c", MAKE, str(size), binary, utf8, utf16], check=True)
        print(f"processor: {processor()}; Python {platform.python_version()}; "
              f"files on {args.dir} (tmpfs); median of {args.runs} fresh processes")
        print(f"{'read':44} {'seconds':>8} {'minflt':>8} {'peak MiB':>9} {'MiB read':>9}")
        pairs = [("GetFileB", binary, "quern-bytes", "Path.read_bytes", "path-bytes"),
                 ("GetFile2 UTF-8", utf8, "quern-text", "Path.read_text utf-8-sig", "path-text-utf8"),
                 ("GetFile2 UTF-16", utf16, "quern-text", "Path.read_text utf-16", "path-text-utf16")]
        for label_a, path, kind_a, label_b, kind_b in pairs:
            results = {kind_a: [], kind_b: []}
            for i in range(args.runs):
                order = (kind_a, kind_b) if i % 2 == 0 else (kind_b, kind_a)
                for kind in order:
                    results[kind].append(run(kind, path))
            file_mib = os.path.getsize(path) / 2**20
            for label, kind in ((label_a, kind_a), (label_b, kind_b)):
                rows = results[kind]
                seconds = statistics.median(r[0] for r in rows)
                faults = statistics.median(r[1] for r in rows)
                peak = statistics.median(r[2] for r in rows) / 1024
                print(f"{label:44} {seconds:8.3f} {faults:8.0f} {peak:9.1f} {file_mib:9.1f}")
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    main()
