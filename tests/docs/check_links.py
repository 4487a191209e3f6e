#!/usr/bin/env python3
"""Checks the relative links of README.md and docs/*.md: each names a file
that exists, and each #anchor matches a heading of its target as GitHub
makes anchors from headings. Links to other sites are left alone.

usage: check_links.py SOURCE_DIR
"""
import re
import sys
from pathlib import Path

LINK = re.compile(r"!?\[(?:[^\[\]]|\[[^\]]*\])*\]\(([^()\s]+)(?:\s+\"[^\"]*\")?\)")
HEADING = re.compile(r"^ {0,3}(#{1,6})\s+(.*?)\s*#*\s*$")
FENCE = re.compile(r"^ {0,3}(```|~~~)")


def prose_lines(text):
    """The lines outside fenced code blocks, with their numbers."""
    fence = None
    for number, line in enumerate(text.splitlines(), 1):
        match = FENCE.match(line)
        if match:
            fence = None if fence == match.group(1) else fence or match.group(1)
            continue
        if fence is None:
            yield number, line


def slug(heading):
    """GitHub's anchor for a heading: lower case, markup and punctuation
    other than hyphens and underscores dropped, spaces turned into hyphens."""
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", heading)
    text = re.sub(r"[`*]", "", text).lower()
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(path, cache={}):
    if path not in cache:
        seen = {}
        for _, line in prose_lines(path.read_text(encoding="utf-8")):
            match = HEADING.match(line)
            if match:
                base = slug(match.group(2))
                count = seen.get(base, 0)
                seen[base] = count + 1
                seen.setdefault(f"{base}-{count}" if count else base, 1)
        cache[path] = set(seen)
    return cache[path]


def main(source):
    root = Path(source).resolve()
    pages = [root / "README.md"] + sorted((root / "docs").glob("*.md"))
    problems = []
    for page in pages:
        for number, line in prose_lines(page.read_text(encoding="utf-8")):
            for target in LINK.findall(re.sub(r"`[^`]*`", "", line)):
                if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                    continue
                file, _, anchor = target.partition("#")
                where = f"{page.relative_to(root)}:{number}: {target}"
                path = (page.parent / file).resolve() if file else page
                if not path.exists():
                    problems.append(f"{where}: no file {file}")
                elif root not in path.parents and path != root:
                    problems.append(f"{where}: leaves the source tree")
                elif anchor and (path.suffix != ".md" or anchor not in anchors(path)):
                    problems.append(f"{where}: no heading #{anchor}")
    for problem in problems:
        print(problem)
    print(f"{len(pages)} pages, {len(problems)} broken link(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
