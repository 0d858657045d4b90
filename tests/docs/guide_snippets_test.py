#!/usr/bin/python3
"""The code blocks of docs/ ("```cpp" fences) compile as they stand against an installed
tree: each one a translation unit of its own at -Wall -Wextra -Werror, linked so that
every call it makes is one that the installed libraries export (tests/docs/snippets)."""
import glob
import os
import re
import shutil
import sys

SOURCE = os.environ["VX_SOURCE_DIR"]
sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
from outside_build import BINARY, build, install  # noqa: E402

# Fixed folders, so that a compiler cache knows the builds again.
WORK = os.path.join(BINARY, "tests", "guide-snippets")


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    snippets = os.path.join(WORK, "src")
    os.makedirs(snippets)
    count = 0
    for page in sorted(glob.glob(os.path.join(SOURCE, "docs", "*.md"))):
        text = open(page, encoding="utf-8").read()
        stem = os.path.splitext(os.path.basename(page))[0].replace("-", "_")
        for n, block in enumerate(re.findall(r"^```cpp\n(.*?)^```$", text, re.S | re.M)):
            with open(os.path.join(snippets, "%s_%d.cpp" % (stem, n)), "w", encoding="utf-8") as f:
                f.write(block)
            count += 1
    if count == 0:
        print("no code blocks in docs/", file=sys.stderr)
        return 1
    prefix = os.path.join(WORK, "prefix")
    install(prefix)
    try:
        build(os.path.join(SOURCE, "tests", "docs", "snippets"), os.path.join(WORK, "build"), prefix,
              "-DVX_SNIPPETS=" + snippets)
    except RuntimeError as e:
        print(e, file=sys.stderr)
        return 1
    return 0


sys.exit(main())
