#!/usr/bin/env python3
"""Fails when a source file includes a header of a higher layer: README.md's layer table lists the
folders from the lowest layer up, and each may use only itself and the rows before it.
Usage: layers.py ROOT"""
import os
import re
import sys

root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
readme = open(os.path.join(root, "README.md"), encoding="utf-8").read()
table = readme.split("## A map of the house", 1)[1].split("\n## ", 1)[0]
# The table's folders in order: "platform/" (a folder) or "common/Adif" (one header and source).
folders = [m.group(1) for line in table.splitlines() if line.startswith("| ")
           for m in [re.search(r"`([^`]+)`", line.split("|")[2])] if m]
if len(folders) < 6:
    sys.exit("layers.py: no layer table in README.md")


def row_of(path):
    """The path's row in the table, the most specific entry winning; None when it has none."""
    stem = os.path.splitext(path)[0]
    for i, f in enumerate(folders):
        if not f.endswith("/") and stem == f:
            return i
    rows = [i for i, f in enumerate(folders) if f.endswith("/") and path.startswith(f)]
    return rows[0] if rows else None


include = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
bad = 0
for folder in sorted({f.split("/")[0] for f in folders}):
    for dirpath, _, names in os.walk(os.path.join(root, folder)):
        for name in sorted(names):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.relpath(os.path.join(dirpath, name), root)
            own = row_of(path)
            with open(os.path.join(root, path), encoding="latin-1") as src:
                for inc in include.findall(src.read()):
                    row = row_of(inc)
                    if row is not None and own is not None and row > own:
                        print(f"{path} includes {inc}, of a layer above {folders[own]} in the "
                              "layer table of README.md")
                        bad = 1
sys.exit(bad)
