#!/usr/bin/env python3
"""Times two sweepwell builds against each other on identical trees, in one run.

  python3 bench/compare_builds.py OLD_SWEEPWELL NEW_SWEEPWELL [--dir /dev/shm] [--reps 7]

For delete-folder and for delete-files-recursive "*.tmp", each repetition makes a fresh tree per
build (bench/make_tree.py) and runs the two builds in turn, alternating which goes first. Besides
the wall time it reports the processor time (user + system) of each run, which a machine busy
with other work changes far less than the wall time: it is the figure to compare when the
machine is shared. Medians, and the new build's as a ratio of the old one's.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_tree  # noqa: E402

COMMANDS = {
    "delete-folder": lambda tree: 'cleaner.delete-folder = "%s"' % tree,
    "delete-files-recursive *.tmp": lambda tree: 'cleaner.delete-files-recursive = "%s/*.tmp"'
    % tree,
}


def run(sweepwell, folder, name, command):
    tree = os.path.join(folder, name)
    make_tree.make_tree(tree, 10, 3, ARGS.files)
    os.sync()
    script = tree + ".loom"
    with open(script, "w", encoding="utf-8") as f:
        f.write("cleaner.delete-to-recycle-bin = False\n%s\n" % COMMANDS[command](tree))
    env = dict(os.environ, XDG_DATA_HOME=os.path.join(folder, "xdg"))
    start = time.perf_counter()
    child = subprocess.Popen([sweepwell, script], stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, env=env)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit("compare: %s exited with status %d" % (sweepwell, status))
    shutil.rmtree(tree, ignore_errors=True)
    return wall, usage.ru_utime + usage.ru_stime


def main():
    folder = tempfile.mkdtemp(prefix="sweepwell-compare.", dir=ARGS.dir)
    try:
        print("| command | old wall | new wall | new/old | old cpu | new cpu | new/old |")
        print("|---|---:|---:|---:|---:|---:|---:|")
        for command in COMMANDS:
            times = {ARGS.old: [], ARGS.new: []}
            for rep in range(ARGS.reps):
                order = [ARGS.old, ARGS.new] if rep % 2 == 0 else [ARGS.new, ARGS.old]
                for k, build in enumerate(order):
                    times[build].append(run(build, folder, "t%d-%d" % (rep, k), command))
            med = {b: [statistics.median(t[i] for t in times[b]) for i in (0, 1)] for b in times}
            old, new = med[ARGS.old], med[ARGS.new]
            print("| %s | %.3f | %.3f | %.2f | %.3f | %.3f | %.2f |" % (
                command, old[0], new[0], new[0] / old[0], old[1], new[1], new[1] / old[1]))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--dir", default="/dev/shm" if os.access("/dev/shm", os.W_OK) else None)
    parser.add_argument("--reps", type=int, default=7)
    parser.add_argument("--files", type=int, default=20, help="files per folder")
    ARGS = parser.parse_args()
    main()
