#!/usr/bin/env python3
"""Makes a benchmark tree: FANOUT^DEPTH leaf folders, FILES files in each, small sizes.

Every call with the same arguments makes the same tree (names, sizes, contents), so two copies
made one after the other are identical. Half of the files end in ".tmp", the other half in
".dat", alternating, so a "*.tmp" mask selects about half of them at every level.

    make_tree.py ROOT [--fanout 10] [--depth 3] [--files 100] [--unique]

Prints the number of files and folders it made.
"""

import argparse
import os
import sys


def make_tree(root, fanout, depth, files_per_folder, unique=False):
    os.makedirs(root)
    files = 0
    folders = 1
    # Sizes 0..255 bytes repeat across the tree; one shared buffer keeps the writes cheap.
    payload = bytes(range(256))

    def fill(folder):
        nonlocal files
        for i in range(files_per_folder):
            ext = "tmp" if i % 2 == 0 else "dat"
            # By default each folder repeats the same names, as real trees do (index.html,
            # Thumbs.db); unique names number the files across the whole tree instead.
            name = "f%07d.%s" % (files, ext) if unique else "file%03d.%s" % (i, ext)
            path = os.path.join(folder, name)
            fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
            size = (i * 37 + files) % 256
            if size:
                os.write(fd, payload[:size])
            os.close(fd)
            files += 1

    # Walk the levels with an explicit stack; files live in the leaves and also in the level-1
    # folders, so both deep and shallow folders hold files to delete.
    stack = [(root, 0)]
    while stack:
        folder, level = stack.pop()
        if level == depth:
            fill(folder)
            continue
        if level == 1:
            fill(folder)
        for k in range(fanout - 1, -1, -1):
            sub = os.path.join(folder, "dir%02d" % k)
            os.mkdir(sub)
            folders += 1
            stack.append((sub, level + 1))
    return files, folders


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("root")
    parser.add_argument("--fanout", type=int, default=10)
    parser.add_argument("--depth", type=int, default=3)
    parser.add_argument("--files", type=int, default=100)
    parser.add_argument("--unique", action="store_true", help="no name twice in the tree")
    args = parser.parse_args()
    if os.path.lexists(args.root):
        sys.exit("make_tree.py: %s already exists" % args.root)
    files, folders = make_tree(args.root, args.fanout, args.depth, args.files,
                               args.unique)
    print("%d files, %d folders" % (files, folders))


if __name__ == "__main__":
    main()
