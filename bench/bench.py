#!/usr/bin/env python3
"""Times sweepwell against the standard tools on identical trees, in one run.

Pairs (each run on its own freshly made tree; the two tools of a pair alternate which goes
first, and the median of the repetitions is reported):

  delete-folder (delete-to-recycle-bin = False)       vs  rm -rf TREE
  delete-folder, console to a file instead of null    vs  rm -rf TREE
  delete-files-recursive "TREE/*.tmp" (half the files) vs  find TREE -name '*.tmp' -delete
  delete-files-recursive "TREE/*" to the trash         vs  find TREE -type f -exec gio trash {} +
  delete-folders-named "TREE/dir03" (every dir03)      vs  find TREE -type d -name dir03 -prune
                                                            -exec rm -rf {} +

sweepwell runs with stdin from /dev/null, XDG_DATA_HOME in the bench folder (so its log and
trash stay there) and stdout to /dev/null unless the row says otherwise. Every run is checked:
exit status 0 and the expected files gone, else the bench stops with an error.
"""

import argparse
import datetime
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_tree  # noqa: E402


def count_files(root):
    total = 0
    for _, _, files in os.walk(root):
        total += len(files)
    return total


def fs_type(path):
    # findmnt names ext4 as ext4 (stat -f only knows "ext2/ext3").
    for argv in (["findmnt", "-n", "-o", "FSTYPE", "-T", path], ["stat", "-f", "-c", "%T", path]):
        try:
            out = subprocess.run(argv, capture_output=True, text=True)
        except OSError:
            continue
        if out.returncode == 0 and out.stdout.strip():
            return out.stdout.split()[0]
    return "unknown"


class Bench:
    def __init__(self, args, base):
        self.args = args
        self.root = tempfile.mkdtemp(prefix="sweepwell-bench.", dir=base)
        self.xdg = os.path.join(self.root, "xdg")
        os.mkdir(self.xdg)
        self.counter = 0

    def fresh_tree(self, files_per_folder, unique=False):
        self.counter += 1
        path = os.path.join(self.root, "tree%03d" % self.counter)
        files, _ = make_tree.make_tree(path, self.args.fanout, self.args.depth, files_per_folder,
                                       unique)
        # Both tools start from the same state: everything written out, nothing pending.
        os.sync()
        return path, files

    def fresh_data_home(self):
        """An empty XDG_DATA_HOME (so an empty trash) for one run."""
        path = os.path.join(self.root, "xdg%03d" % self.counter)
        os.mkdir(path)
        self.last_data_home = path
        return path

    def sweepwell(self, lines, stdout_path=None, data_home=None):
        script = os.path.join(self.root, "run%03d.loom" % self.counter)
        with open(script, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        env = dict(os.environ, XDG_DATA_HOME=data_home or self.xdg)
        out = open(stdout_path, "ab") if stdout_path else subprocess.DEVNULL
        try:
            start = time.perf_counter()
            rc = subprocess.run([self.args.sweepwell, script], stdin=subprocess.DEVNULL,
                                stdout=out, env=env).returncode
            elapsed = time.perf_counter() - start
        finally:
            if stdout_path:
                out.close()
        if rc != 0:
            sys.exit("bench: sweepwell exited with %d on %s" % (rc, script))
        return elapsed

    def tool(self, argv, env=None):
        start = time.perf_counter()
        rc = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            env=env).returncode
        elapsed = time.perf_counter() - start
        if rc != 0:
            sys.exit("bench: %s exited with %d" % (" ".join(argv), rc))
        return elapsed


def run_pair(bench, reps, files_per_folder, ours, theirs, check, unique=False):
    """ours/theirs take a fresh tree path and return seconds; check(tree, files) verifies."""
    mine, other = [], []
    for i in range(reps):
        order = [(ours, mine), (theirs, other)]
        if i % 2:
            order.reverse()
        for action, results in order:
            tree, files = bench.fresh_tree(files_per_folder, unique)
            results.append(action(tree))
            check(tree, files)
            shutil.rmtree(tree, ignore_errors=True)
    return mine, other


def gone(tree, _files):
    if os.path.lexists(tree):
        sys.exit("bench: %s still exists after deleting it" % tree)


def dat_left(files_per_folder):
    """Checks that exactly the .dat files stayed (make_tree.py alternates .tmp and .dat)."""
    def check(tree, files):
        expected = files // files_per_folder * (files_per_folder // 2)
        left = count_files(tree)
        if left != expected:
            sys.exit("bench: %d files left in %s, expected %d" % (left, tree, expected))
    return check


def no_folder_named(name):
    """Checks that no folder of that name is left and that the rest of the tree stayed."""
    def check(tree, _files):
        if not os.path.isdir(tree):
            sys.exit("bench: %s is gone, only its %s folders were to go" % (tree, name))
        for folder, subs, _ in os.walk(tree):
            if name in subs:
                sys.exit("bench: %s/%s is still there" % (folder, name))
    return check


def trashed_into(bench):
    """Checks that every file left the tree and arrived in the run's own home trash."""
    def check(tree, files):
        left = count_files(tree)
        if left:
            sys.exit("bench: %d files left in %s after trashing" % (left, tree))
        trash = os.path.join(bench.last_data_home, "Trash")
        for sub in ("files", "info"):
            have = len(os.listdir(os.path.join(trash, sub)))
            if have != files:
                sys.exit("bench: %s/%s holds %d entries, expected %d" % (trash, sub, have, files))
    return check


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sweepwell", required=True)
    parser.add_argument("--dir", required=True, help="folder to make the bench folder in")
    parser.add_argument("--trash-dir", help="folder for the trash pair (gio refuses tmpfs)")
    parser.add_argument("--reps", type=int, default=3)
    parser.add_argument("--fanout", type=int, default=10)
    parser.add_argument("--depth", type=int, default=3)
    parser.add_argument("--files", type=int, default=100, help="files per folder")
    parser.add_argument("--trash-files", type=int, default=5,
                        help="files per folder of the trash tree (5 gives about 5 000)")
    parser.add_argument("--no-trash", action="store_true", help="skip the trash pairs")
    parser.add_argument("--markdown", help="append the result table to this file")
    args = parser.parse_args()

    bench = Bench(args, args.dir)
    rows = []
    try:
        sw = lambda lines, out=None: bench.sweepwell(lines, out)  # noqa: E731
        print("bench folder: %s (%s)" % (bench.root, fs_type(bench.root)), flush=True)

        a, b = run_pair(
            bench, args.reps, args.files,
            lambda t: sw(["cleaner.delete-to-recycle-bin = False",
                          'cleaner.delete-folder = "%s"' % t, "cleaner.done"]),
            lambda t: bench.tool(["rm", "-rf", t]), gone)
        rows.append(("delete-folder", "rm -rf", a, b))

        console = os.path.join(bench.root, "console.txt")
        a, b = run_pair(
            bench, args.reps, args.files,
            lambda t: sw(["cleaner.delete-to-recycle-bin = False",
                          'cleaner.delete-folder = "%s"' % t, "cleaner.done"], console),
            lambda t: bench.tool(["rm", "-rf", t]), gone)
        rows.append(("delete-folder, stdout to a file", "rm -rf", a, b))

        a, b = run_pair(
            bench, args.reps, args.files,
            lambda t: sw(["cleaner.delete-to-recycle-bin = False",
                          'cleaner.delete-files-recursive = "%s/*.tmp"' % t, "cleaner.done"]),
            lambda t: bench.tool(["find", t, "-name", "*.tmp", "-delete"]), dat_left(args.files))
        rows.append(("delete-files-recursive *.tmp", "find -name '*.tmp' -delete", a, b))

        a, b = run_pair(
            bench, args.reps, args.files,
            lambda t: sw(["cleaner.delete-to-recycle-bin = False",
                          'cleaner.delete-folders-named = "%s/dir03"' % t, "cleaner.done"]),
            lambda t: bench.tool(["find", t, "-type", "d", "-name", "dir03", "-prune",
                                  "-exec", "rm", "-rf", "{}", "+"]),
            no_folder_named("dir03"))
        rows.append(("delete-folders-named dir03", "find -name dir03 -prune -exec rm -rf", a, b))

        if args.no_trash:
            trash_fs = None
        elif shutil.which("gio"):
            trash_bench = Bench(args, args.trash_dir or args.dir)
            try:
                # Every run starts with an empty trash, so later runs do not pay for the names
                # that earlier ones left there. Two trees: one whose folders repeat the same
                # names (file000.tmp is in each of them) and one with no name twice.
                for unique, label in ((False, "names repeated in every folder"),
                                      (True, "every name unique")):
                    a, b = run_pair(
                        trash_bench, args.reps, args.trash_files,
                        lambda t: trash_bench.sweepwell(
                            ["cleaner.delete-to-recycle-bin = True",
                             'cleaner.delete-files-recursive = "%s/*"' % t, "cleaner.done"],
                            data_home=trash_bench.fresh_data_home()),
                        lambda t: trash_bench.tool(
                            ["find", t, "-type", "f", "-exec", "gio", "trash", "{}", "+"],
                            dict(os.environ, XDG_DATA_HOME=trash_bench.fresh_data_home())),
                        trashed_into(trash_bench), unique)
                    rows.append(("trash every file, %s" % label,
                                 "find -type f -exec gio trash {} +", a, b))
                trash_fs = fs_type(trash_bench.root)
            finally:
                shutil.rmtree(trash_bench.root, ignore_errors=True)
        else:
            print("gio is not installed: the trash pair is skipped", flush=True)
            trash_fs = None
    finally:
        shutil.rmtree(bench.root, ignore_errors=True)

    files_big = make_tree_count(args.fanout, args.depth, args.files)
    files_small = make_tree_count(args.fanout, args.depth, args.trash_files)
    lines = []
    lines.append("Run of %s on %s, %s, %d cores, bench folder on %s%s." % (
        datetime.date.today().isoformat(), platform.node() or "this machine",
        platform.platform(), os.cpu_count(), fs_type(args.dir),
        (", trash pair on %s" % trash_fs) if trash_fs else ""))
    lines.append("Tree: %d files in %d folders (trash pair: %d files); median of %d runs each, "
                 "tools alternating." % (files_big, folders_count(args.fanout, args.depth),
                                         files_small, args.reps))
    lines.append("")
    lines.append("| sweepwell | seconds | tool | seconds | ratio | runs (sweepwell / tool) |")
    lines.append("|---|---:|---|---:|---:|---|")
    for name, tool, mine, other in rows:
        m, o = statistics.median(mine), statistics.median(other)
        lines.append("| %s | %.3f | %s | %.3f | %.2f | %s / %s |" % (
            name, m, tool, o, m / o if o else float("inf"),
            " ".join("%.3f" % x for x in mine), " ".join("%.3f" % x for x in other)))
    text = "\n".join(lines)
    print(text)
    if args.markdown:
        with open(args.markdown, "a", encoding="utf-8") as f:
            f.write(text + "\n\n")


def make_tree_count(fanout, depth, files):
    # Leaves at the last level plus the folders of level 1 hold files (see make_tree.py).
    return (fanout ** depth + (fanout if depth > 1 else 0)) * files


def folders_count(fanout, depth):
    return sum(fanout ** level for level in range(depth + 1))


if __name__ == "__main__":
    main()
