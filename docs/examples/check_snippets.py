#!/usr/bin/env python3
"""Checks that every ```cpp block of a guide appears, as consecutive lines, in one of the
example sources, so that the guide shows only code that compiles and runs.
usage: check_snippets.py GUIDE.md EXAMPLE.cpp..."""
import re
import sys


def lines_of(text):
    return [line.rstrip() for line in text.splitlines()]


def contains(haystack, needle):
    n = len(needle)
    return any(haystack[i:i + n] == needle for i in range(len(haystack) - n + 1))


def main():
    guide = open(sys.argv[1], encoding="utf-8").read()
    sources = [lines_of(open(p, encoding="utf-8").read()) for p in sys.argv[2:]]
    blocks = re.findall(r"```cpp\n(.*?)```", guide, flags=re.S)
    bad = 0
    for number, block in enumerate(blocks, 1):
        # Indentation may differ: compare with the block's common indentation removed.
        wanted = [line.strip() for line in lines_of(block)]
        if not any(contains([line.strip() for line in src], wanted) for src in sources):
            bad += 1
            print(f"guide block {number} is not in any example:\n{block}")
    print(f"{len(blocks)} code blocks, {bad} not found in the examples")
    return 1 if bad or not blocks else 0


if __name__ == "__main__":
    sys.exit(main())
