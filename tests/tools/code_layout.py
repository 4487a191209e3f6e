#!/usr/bin/env python3
"""Checks the layout of the code, folder by folder (panel, editor, config, ctl,
link, ui):

- no circle of includes between the files of one folder: A (A.h or A.cpp)
  including B.h while B, directly or through others of the folder, includes
  A.h. Shared pieces belong below both, not in either;
- no file, class or text named "Extras", "Misc" or "Utils": a name says what
  the file holds.

Usage: code_layout.py SOURCE_DIR. Exit status 1 with the findings listed.
"""

import re
import sys
from pathlib import Path

FOLDERS = ["panel", "editor", "config", "ctl", "link", "ui"]
VAGUE_NAMES = re.compile(r"Extras|Misc|Utils")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)\.h"', re.MULTILINE)


def includes_by_unit(folder):
    """{unit: set of units of the same folder whose header it includes}"""
    sources = sorted(folder.glob("*.h")) + sorted(folder.glob("*.cpp"))
    headers = {path.stem for path in sources if path.suffix == ".h"}
    graph = {path.stem: set() for path in sources}
    for path in sources:
        for name in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            if name in headers and name != path.stem:
                graph[path.stem].add(name)
    return graph


def circles(graph):
    """The strongly connected groups of more than one unit (Tarjan)."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(unit):
        index[unit] = low[unit] = len(index)
        stack.append(unit)
        on_stack.add(unit)
        for other in sorted(graph.get(unit, ())):
            if other not in index:
                visit(other)
                low[unit] = min(low[unit], low[other])
            elif other in on_stack:
                low[unit] = min(low[unit], index[other])
        if low[unit] == index[unit]:
            group = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.append(member)
                if member == unit:
                    break
            if len(group) > 1:
                found.append(sorted(group))

    for unit in sorted(graph):
        if unit not in index:
            visit(unit)
    return found


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    problems = []
    for name in FOLDERS:
        folder = root / name
        for group in circles(includes_by_unit(folder)):
            problems.append(f"{name}/: include circle between {', '.join(group)}")
        for path in sorted(folder.glob("*.h")) + sorted(folder.glob("*.cpp")):
            if VAGUE_NAMES.search(path.name):
                problems.append(f"{name}/{path.name}: a file name that does not say what it holds")
            text = path.read_text(encoding="utf-8", errors="replace")
            for number, line in enumerate(text.splitlines(), 1):
                if VAGUE_NAMES.search(line):
                    problems.append(f"{name}/{path.name}:{number}: {line.strip()}")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
