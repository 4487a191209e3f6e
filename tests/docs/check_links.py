#!/usr/bin/env python3
"""usage: check_links.py SOURCE_DIR
Every relative link of README.md and docs/*.md names a file that exists, and
every #anchor a heading of its target, as GitHub makes anchors of headings."""
import re
import sys
from pathlib import Path

LINK = re.compile(r"\[(?:[^\[\]]|\[[^\]]*\])*\]\(([^()\s]+)\)")
HEADING = re.compile(r"^ {0,3}#{1,6}\s+(.*?)\s*#*\s*$")
FENCE = re.compile(r"^ {0,3}(```|~~~)")


def prose(path):
    """The numbered lines outside fenced code blocks."""
    fence = None
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        match = FENCE.match(line)
        if match:
            fence = None if fence == match.group(1) else fence or match.group(1)
        elif fence is None:
            yield number, line


def anchors(path):
    """GitHub's anchors: lower case, punctuation but - and _ dropped, spaces
    to hyphens, -1, -2 ... after a repeated one."""
    seen = {}
    for _, line in prose(path):
        if match := HEADING.match(line):
            text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", match.group(1))
            base = re.sub(r"[^\w\- ]", "", re.sub(r"[`*]", "", text).lower()).replace(" ", "-")
            count = seen.get(base, 0)
            seen[base] = count + 1
            if count:
                seen[f"{base}-{count}"] = 1
    return set(seen)


def main(source):
    root = Path(source).resolve()
    pages = [root / "README.md"] + sorted((root / "docs").glob("*.md"))
    problems = []
    for page in pages:
        for number, line in prose(page):
            for target in LINK.findall(re.sub(r"`[^`]*`", "", line)):
                if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                    continue  # another site
                file, _, anchor = target.partition("#")
                path = (page.parent / file).resolve() if file else page
                where = f"{page.relative_to(root)}:{number}: {target}"
                if not path.exists():
                    problems.append(f"{where}: no file {file}")
                elif anchor and (path.suffix != ".md" or anchor not in anchors(path)):
                    problems.append(f"{where}: no heading #{anchor}")
    print("\n".join(problems + [f"{len(pages)} pages, {len(problems)} broken link(s)"]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
