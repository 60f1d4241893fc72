#!/usr/bin/env python3
"""Checks that the folders under src/ stack: a file in src/X (subfolders
included) may include only its own folder and the folders below X.

Usage: check-layers.py SRC LAYER...   (the layers top to bottom, as the build
links them)

Prints one line per include of a folder above the file's own ("FILE:LINE:
...") and exits 1 when there is any; a folder under SRC that is no layer also
fails, so a new folder gets its place in the order before it is used.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/')


def upward_includes(src, layers):
    """The faults as (file, line, text), files relative to src's parent."""
    rank = {name: index for index, name in enumerate(layers)}
    faults = []
    for folder in sorted(os.listdir(src)):
        if not os.path.isdir(os.path.join(src, folder)):
            continue
        if folder not in rank:
            faults.append((os.path.join("src", folder), 0, "is no layer: add it to the order"))
            continue
        for root, dirs, files in os.walk(os.path.join(src, folder)):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(root, name)
                shown = os.path.join("src", os.path.relpath(path, src))
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        match = INCLUDE.match(line)
                        if not match or match.group(1) not in rank:
                            continue
                        included = match.group(1)
                        if rank[included] < rank[folder]:
                            faults.append((shown, number, f"{folder} includes {included}, a layer above it"))
    return faults


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    faults = upward_includes(argv[1], argv[2:])
    for path, number, text in faults:
        print(f"{path}:{number}: {text}")
    if faults:
        print("layers, top to bottom: " + " ".join(argv[2:]))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
