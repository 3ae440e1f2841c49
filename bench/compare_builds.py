#!/usr/bin/env python3
"""Times two sweepwell builds against each other on identical trees, in one run.

  python3 bench/compare_builds.py OLD_SWEEPWELL NEW_SWEEPWELL [--dir /dev/shm] [--reps 7]
      [--tools] [--old-search OLD_QUERN_SEARCH --new-search NEW_QUERN_SEARCH]

For delete-folder and for delete-files-recursive "*.tmp", each repetition makes a fresh tree per
contender (bench/make_tree.py) and runs the contenders in turn, rotating which goes first. With
--tools, the standard tool for the same job runs beside the two builds on a tree of its own:
`rm -rf` and `find -name '*.tmp' -delete`.

With --old-search and --new-search (bench/quern_search.cpp compiled against each build's
library), the library's search of one tree (RefreshEx2(root, "*")) is timed too, on one tree
made once and only read, beside `find root` and `find root -printf` of sizes and times (which,
like the search, looks at every entry). The quern rows give the whole program (loading the
library, the call, freeing the result) and, in brackets, the call alone as the program reports it.

Besides the wall time it reports the processor time (user + system) of each run, which a machine
busy with other work changes far less than the wall time: it is the figure to compare when the
machine is shared. Every figure is a median with the range (lowest-highest) of the runs beside
it, and the new build's median as a ratio of the old one's.
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

TOOLS = {
    "delete-folder": ("rm -rf", lambda tree: ["rm", "-rf", tree]),
    "delete-files-recursive *.tmp": (
        "find -name '*.tmp' -delete",
        lambda tree: ["find", tree, "-name", "*.tmp", "-delete"],
    ),
}


def timed(argv, env=None, capture=False):
    """Runs argv; returns (wall, cpu, its standard output or None)."""
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE if capture else subprocess.DEVNULL, env=env)
    out = child.stdout.read() if capture else None
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit("compare: %s exited with status %d" % (argv[0], status))
    return wall, usage.ru_utime + usage.ru_stime, out


def run_delete(contender, folder, name, command):
    tree = os.path.join(folder, name)
    make_tree.make_tree(tree, 10, 3, ARGS.files)
    os.sync()
    if contender == TOOLS[command][0]:
        wall, cpu, _ = timed(TOOLS[command][1](tree))
    else:
        script = tree + ".loom"
        with open(script, "w", encoding="utf-8") as f:
            f.write("cleaner.delete-to-recycle-bin = False\n%s\n" % COMMANDS[command](tree))
        env = dict(os.environ, XDG_DATA_HOME=os.path.join(folder, "xdg"))
        wall, cpu, _ = timed([contender, script], env=env)
    if command == "delete-folder" and os.path.exists(tree):
        sys.exit("compare: %s left %s" % (contender, tree))
    shutil.rmtree(tree, ignore_errors=True)
    return wall, cpu


def summary(values):
    return "%.3f (%.3f-%.3f)" % (statistics.median(values), min(values), max(values))


def rotate(contenders, rep):
    k = rep % len(contenders)
    return contenders[k:] + contenders[:k]


def print_rows(labels, times, old, new):
    """One row per contender; the new build's ratios to the old one's after it."""
    for contender, label in labels:
        walls = [t[0] for t in times[contender]]
        cpus = [t[1] for t in times[contender]]
        extra = ""
        if len(times[contender][0]) > 2:
            extra = " [call %s]" % summary([t[2] for t in times[contender]])
        ratio = ""
        if contender == new:
            med = lambda c, i: statistics.median(t[i] for t in times[c])  # noqa: E731
            ratio = "%.2f | %.2f" % (med(new, 0) / med(old, 0), med(new, 1) / med(old, 1))
        else:
            ratio = " | "
        print("| %s | %s%s | %s | %s |" % (label, summary(walls), extra, summary(cpus), ratio))


def deletes(folder):
    for command in COMMANDS:
        contenders = [ARGS.old, ARGS.new]
        labels = [(ARGS.old, "old " + command), (ARGS.new, "new " + command)]
        if ARGS.tools:
            tool = TOOLS[command][0]
            contenders.append(tool)
            labels.append((tool, tool))
        times = {c: [] for c in contenders}
        for rep in range(ARGS.reps):
            for k, contender in enumerate(rotate(contenders, rep)):
                times[contender].append(run_delete(contender, folder, "t%d-%d" % (rep, k), command))
        print_rows(labels, times, ARGS.old, ARGS.new)


def count_found(search, tree):
    child = subprocess.run([search, "--count", tree], stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, check=True)
    return int(child.stderr.decode().split()[-1])


def searches(folder):
    tree = os.path.join(folder, "search")
    make_tree.make_tree(tree, 10, 3, ARGS.search_files)
    os.sync()
    entries = sum(len(d) + len(f) for _, d, f in os.walk(tree))
    for search in (ARGS.old_search, ARGS.new_search):
        found = count_found(search, tree)
        if found != entries:
            sys.exit("compare: %s found %d entries of %d" % (search, found, entries))
    find, printf = "find root", "find root -printf '%s %T@ %A@'"
    argvs = {
        ARGS.old_search: [ARGS.old_search, tree],
        ARGS.new_search: [ARGS.new_search, tree],
        find: ["find", tree],
        printf: ["find", tree, "-printf", "%s %T@ %A@\n"],
    }
    contenders = list(argvs)
    times = {c: [] for c in contenders}
    for rep in range(ARGS.reps):
        for contender in rotate(contenders, rep):
            quern = contender in (ARGS.old_search, ARGS.new_search)
            wall, cpu, out = timed(argvs[contender], capture=quern)
            times[contender].append((wall, cpu, float(out)) if quern else (wall, cpu))
    labels = [(ARGS.old_search, "old search RefreshEx2(root, \"*\")"),
              (ARGS.new_search, "new search RefreshEx2(root, \"*\")"),
              (find, find), (printf, printf)]
    print("\nsearch tree: %d entries" % entries)
    print_rows(labels, times, ARGS.old_search, ARGS.new_search)
    shutil.rmtree(tree, ignore_errors=True)


def main():
    folder = tempfile.mkdtemp(prefix="sweepwell-compare.", dir=ARGS.dir)
    try:
        print("machine: %d cores, load average at the start %s" % (
            os.cpu_count(), " ".join(open("/proc/loadavg").read().split()[:3])))
        print("| contender | wall s, median (range) | cpu s, median (range) | new/old wall | "
              "new/old cpu |")
        print("|---|---|---|---:|---:|")
        deletes(folder)
        if ARGS.old_search and ARGS.new_search:
            searches(folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--dir", default="/dev/shm" if os.access("/dev/shm", os.W_OK) else None)
    parser.add_argument("--reps", type=int, default=7)
    parser.add_argument("--files", type=int, default=20, help="files per folder")
    parser.add_argument("--tools", action="store_true", help="time the standard tools beside")
    parser.add_argument("--old-search", help="quern_search built against the old library")
    parser.add_argument("--new-search", help="quern_search built against the new library")
    parser.add_argument("--search-files", type=int, default=197,
                        help="files per folder of the search's tree")
    ARGS = parser.parse_args()
    main()
