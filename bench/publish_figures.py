#!/usr/bin/env python3
"""Writes the figures of one `bench/run.sh --runs N` into the performance guide.

    bench/publish_figures.py build-bench/runs docs/performance.md [other guides...]

Everything the guide quotes is taken from that one summary, so no figure is
copied by hand:
  - the table after "## Every figure": build-bench/runs/summary.md whole;
  - the first table headed "| Figure" in "## Figures": its rows with a target;
  - the big-file table (headed "| Platform | Outputs"): every row's per-run
    medians, as bench_bigfile printed them in run-N.txt, summarised as the
    median over the runs with their range;
  - a figure quoted in the prose, written <!--fig NAME-->...<!--/fig--> (its
    median and range) or <!--held NAME-->...<!--/held--> (in how many runs
    its target held), gets the summary's text.
Other guides named after the first get their quoted figures only. A quoted
name the summary lacks is an error, so a renamed figure cannot
leave an old number behind.
"""

import re
import statistics
import sys
from pathlib import Path


def read_summary(runs: Path):
    """name -> (median and range, target, held), from summary.md."""
    lines = (runs / "summary.md").read_text().splitlines()
    figures = {}
    for line in lines[2:]:
        cells = re.match(r"^\| `(.*)` \| (.*) \| (.*) \| (.*) \|$", line)
        if not cells:
            raise SystemExit(f"summary.md: not a figure's row: {line}")
        name, value, target, held = cells.groups()
        figures[name] = (re.sub(r"\s+", " ", value), target, held)
    return lines, figures


BIGFILE_ROW = re.compile(
    r"^(offscreen|Xvfb)\s+(\d+)\s+([\d.]+)\s+(\S.*?)\s+"
    r"([\d.]+) \([^)]*\)\s+([\d.]+) \([^)]*\)\s+([\d.]+) \([^)]*\)\s+"
    r"([\d.]+)x\s+([\d.]+)\s+([\d.]+)x$"
)


def bigfile_table(runs: Path):
    rows = {}
    order = []
    for run in sorted(runs.glob("run-*.txt")):
        for line in run.read_text().splitlines():
            match = BIGFILE_ROW.match(line.strip())
            if not match:
                continue
            key = match.group(1, 2, 4)
            if key not in rows:
                rows[key] = {"mib": float(match.group(3)), "values": [[] for _ in range(5)]}
                order.append(key)
            for slot, group in enumerate((5, 6, 7, 8, 9)):
                rows[key]["values"][slot].append(float(match.group(group)))
    if not rows:
        raise SystemExit(f"no big-file rows in {runs}/run-*.txt")

    def spread(values, form, unit=""):
        return (
            f"{statistics.median(values):{form}}{unit}"
            f" ({min(values):{form}}-{max(values):{form}})"
        )

    table = [
        "| Platform | Outputs | File | Program | Start-up ms | Close ms | dd conv=fsync ms"
        " | Close/dd | Peak MiB | Peak/file |",
        "|---|---|---|---|---|---|---|---|---|---|",
    ]
    for key in order:
        platform, outputs, program = key
        start, close, dd, close_dd, peak = rows[key]["values"]
        mib = rows[key]["mib"]
        peak_mib = statistics.median(peak)
        # A file of a few MiB against the program's own start says nothing.
        per_file = f"{peak_mib / mib:.2f}x" if int(outputs) >= 10000 else "-"
        table.append(
            f"| {platform} | {int(outputs):,} | {mib:.1f} MiB | {program}"
            f" | {spread(start, '.0f')} | {spread(close, '.0f')} | {spread(dd, '.0f')}"
            f" | {spread(close_dd, '.2f', 'x')} | {peak_mib:.1f} | {per_file} |"
        )
    return table


def replace_table(lines, start, table):
    """Replaces the table that begins at lines[start]."""
    end = start
    while end < len(lines) and lines[end].startswith("|"):
        end += 1
    return lines[:start] + table + lines[end:]


def find(lines, predicate, after=0, what=""):
    for index in range(after, len(lines)):
        if predicate(lines[index]):
            return index
    raise SystemExit(f"the guide has no {what}")


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    runs, guide = Path(sys.argv[1]), Path(sys.argv[2])
    summary, figures = read_summary(runs)
    lines = guide.read_text().splitlines()

    every = find(lines, lambda l: l == "## Every figure", what='"## Every figure"')
    lines = replace_table(
        lines, find(lines, lambda l: l.startswith("| Figure"), every, "table of every figure"), summary
    )
    figures_heading = find(lines, lambda l: l == "## Figures", what='"## Figures"')
    targets = summary[:2] + [line for line in summary[2:] if not line.endswith("| - | - |")]
    lines = replace_table(
        lines,
        find(lines, lambda l: l.startswith("| Figure"), figures_heading, "table of targets"),
        targets,
    )
    lines = replace_table(
        lines,
        find(lines, lambda l: l.startswith("| Platform | Outputs"), what="big-file table"),
        bigfile_table(runs),
    )

    missing = []

    def quote(match):
        kind, name = match.group(1), match.group(2)
        if name not in figures:
            missing.append(name)
            return match.group(0)
        value = figures[name][0] if kind == "fig" else figures[name][2]
        return f"<!--{kind} {name}-->{value}<!--/{kind}-->"

    texts = {guide: "\n".join(lines) + "\n"}
    for other in map(Path, sys.argv[3:]):
        texts[other] = other.read_text()
    for path in texts:
        texts[path] = re.sub(r"<!--(fig|held) (.+?)-->.*?<!--/\1-->", quote, texts[path], flags=re.S)
    if missing:
        raise SystemExit("the summary has no figure named:\n  " + "\n  ".join(sorted(set(missing))))
    for path, text in texts.items():
        path.write_text(text)


if __name__ == "__main__":
    main()
