#!/usr/bin/env python3
"""Turns gcovr's JSON summary into the per-folder table scripts/coverage prints, and counts
the size of the test suite against the code (non-blank, non-comment lines of C++ sources).
With --count-only PATH..., prints only those counts."""
import json
import os
import sys


def code_lines(path):
    """Non-blank lines that are not only a comment."""
    count, in_block = 0, False
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            s = line.strip()
            if in_block:
                if "*/" not in s:
                    continue
                in_block, s = False, s.split("*/", 1)[1].strip()
            if s.startswith("/*"):
                if "*/" not in s:
                    in_block = True
                    continue
                s = s.split("*/", 1)[1].strip()
            if s and not s.startswith("//"):
                count += 1
    return count


def tree_lines(root):
    total = 0
    for folder, _, files in os.walk(root):
        total += sum(code_lines(os.path.join(folder, f)) for f in files
                     if f.endswith((".cpp", ".h")))
    return total


def group_of(filename):
    parts = filename.split("/")
    return "/".join(parts[:2]) if len(parts) > 2 else parts[0]


def pct(covered, total):
    return 100.0 * covered / total if total else 100.0


def count_only(paths):
    """Prints the counted lines of each file or folder given, and their sum."""
    grand = 0
    for path in paths:
        n = tree_lines(path) if os.path.isdir(path) else code_lines(path)
        grand += n
        print(f"{n:6d} {path}")
    print(f"{grand:6d} total")


def main():
    if sys.argv[1] == "--count-only":
        count_only(sys.argv[2:])
        return
    with open(sys.argv[1], encoding="utf-8") as f:
        files = json.load(f)["files"]
    groups = {}
    for entry in files:
        g = groups.setdefault(group_of(entry["filename"]), [0, 0, 0, 0])
        g[0] += entry["line_covered"]
        g[1] += entry["line_total"]
        g[2] += entry["function_covered"]
        g[3] += entry["function_total"]

    def row(name, g):
        print(f"{name:<18} {pct(g[0], g[1]):6.1f}% {g[1]:6d} {pct(g[2], g[3]):6.1f}% {g[3]:5d}")

    def total(names):
        return [sum(groups[n][i] for n in names) for i in range(4)]

    print(f"{'folder':<18} {'lines':>7} {'of':>6} {'funcs':>7} {'of':>5}")
    for name in sorted(groups):
        row(name, groups[name])
    src = total([n for n in groups if n.startswith("src")])
    everything = total(list(groups))
    row("src/ total", src)
    row("tools/ total", total([n for n in groups if n.startswith("tools")]))
    row("src/ + tools/", everything)

    tests, code = tree_lines("tests"), tree_lines("src") + tree_lines("tools")
    print(f"tests/code: {tests} / {code} = {tests / code:.3f}")
    print(f"lines: {pct(everything[0], everything[1]):.1f}% "
          f"functions: {pct(everything[2], everything[3]):.1f}%")


if __name__ == "__main__":
    main()
