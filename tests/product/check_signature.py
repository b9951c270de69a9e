#!/usr/bin/env python3
"""Checks the Authenticode signatures of built programs with osslsigncode: each verifies against
the given root, a copy with one byte changed does not, and where a program has a version block,
the signature names the program as its file description does.
Usage: check_signature.py <root certificate> <exe>..."""
import os
import re
import subprocess
import sys
import tempfile

from check_resources import RT_VERSION, resources, version_tree


def verify(root, path):
    """(passed, the signature's text description)"""
    run = subprocess.run(["osslsigncode", "verify", "-CAfile", root, "-in", path],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    described = re.search(r"^\s*Text description: (.*?)\s*$", run.stdout, re.M)
    passed = run.returncode == 0 and "Signature verification: ok" in run.stdout
    return passed, described.group(1) if described else None


def file_description(data):
    block = resources(data).get((RT_VERSION, 1, 1033))
    if block is None:
        return None
    strings = version_tree(block)[2]["StringFileInfo"][2]
    return next(iter(strings.values()))[2]["FileDescription"][1].decode("utf-16-le").rstrip("\0")


def checks(root, path):
    with open(path, "rb") as f:
        data = f.read()
    passed, described = verify(root, path)
    changed = bytearray(data)
    changed[len(changed) // 2] ^= 0x01
    with tempfile.TemporaryDirectory() as scratch:
        copy = os.path.join(scratch, os.path.basename(path))
        with open(copy, "wb") as f:
            f.write(changed)
        changed_passed, _ = verify(root, copy)
    out = [("signature verifies", passed, True), ("a changed byte fails it", changed_passed, False)]
    description = file_description(data)
    if description is not None:
        out.append(("signature names the file description", described, description))
    return out


def main(root, paths):
    failed, count = [], 0
    for path in paths:
        for what, got, want in checks(root, path):
            count += 1
            if got != want:
                failed.append(f"FAILED: {path}: {what}: {got!r}, expected {want!r}")
    print("\n".join(failed + [f"{count - len(failed)} passed, {len(failed)} failed"]))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2:]))
