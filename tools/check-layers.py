#!/usr/bin/env python3
"""The program's folders depend one way only: app -> install -> net and texts -> framework.
Every quoted #include of a source file is resolved as the build resolves it (its own folder
first, then app/ and framework/ by bare name, else a path from the root); a file that includes a
folder it may not, or a feature folder that defines a member of the window's class, is named and
the check fails."""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Which folders each folder's files may include.
MAY_INCLUDE = {
    "app": {"app", "install", "net", "texts", "framework"},
    "install": {"install", "net", "texts", "framework"},
    "net": {"net", "framework"},
    "texts": {"texts", "framework"},
    "framework": {"framework"},
}
SOURCE = re.compile(r"\.(h|cpp)$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(including_dir, name):
    """The folder of the tree that `#include "name"` in a file of `including_dir` reaches."""
    if os.path.isfile(os.path.join(ROOT, including_dir, name)):
        return including_dir
    for bare in ("app", "framework"):  # the include directories of the build
        if os.path.isfile(os.path.join(ROOT, bare, name)):
            return bare
    if os.path.isfile(os.path.join(ROOT, name)):
        return name.split("/")[0]
    return None  # a system or generated header


def main():
    wrong = []
    for folder, allowed in MAY_INCLUDE.items():
        for name in sorted(os.listdir(os.path.join(ROOT, folder))):
            if not SOURCE.search(name):
                continue
            path = os.path.join(folder, name)
            with open(os.path.join(ROOT, path), encoding="utf-8") as f:
                text = f.read()
            for included in INCLUDE.findall(text):
                reached = folder_of(folder, included)
                if reached and reached not in allowed:
                    wrong.append("%s includes %s (%s/ may not be included from %s/)"
                                 % (path, included, reached, folder))
            if folder != "app" and re.search(r"\bTmainForm::", text):
                wrong.append("%s defines a member of TmainForm: the window's handlers live in app/" % path)
    for line in wrong:
        print(line)
    print("%d include(s) against the folders' order" % len(wrong))
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
