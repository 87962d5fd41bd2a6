#!/usr/bin/env python3
"""Runs scripts/name-texts.py over copies of the fixtures: it names what it can, twice the same, and
lists the numbers it cannot name."""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(os.path.dirname(os.path.dirname(HERE)), "scripts", "name-texts.py")


def run(folder):
    return subprocess.run([sys.executable, TOOL, "--header", os.path.join(HERE, "TextId.h"), "--lang",
                           os.path.join(HERE, "texts.lang"), folder], capture_output=True, text=True)


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def main():
    failures = []
    with tempfile.TemporaryDirectory() as work:
        for name in ("bare.h", "unnamed.h", "clean.h"):
            shutil.copy(os.path.join(HERE, name), work)
        first = run(work)
        if read(os.path.join(work, "bare.h")) != read(os.path.join(HERE, "bare.named.h")):
            failures.append("bare.h was not named as bare.named.h shows:\n" + read(os.path.join(work, "bare.h")))
        if read(os.path.join(work, "clean.h")) != read(os.path.join(HERE, "clean.h")):
            failures.append("clean.h was changed")
        unnamed = read(os.path.join(work, "unnamed.h"))
        if "lang::text(57950) + lang::text(147) + lang::text(TextId::DownloadComplete)" not in unnamed:
            failures.append("unnamed.h: expected 57950 and 147 kept and 57894 named:\n" + unnamed)
        if first.returncode == 0 or "text 57950 has no name" not in first.stderr or \
                "text 147 has no name" not in first.stderr:
            failures.append("the numbers without a name were not reported:\n" + first.stderr)
        named = {n: read(os.path.join(work, n)) for n in ("bare.h", "unnamed.h", "clean.h")}
        second = run(work)
        if any(read(os.path.join(work, n)) != text for n, text in named.items()) or "0 file(s) changed" not in second.stdout:
            failures.append("a second run changed files:\n" + second.stdout)
    for failure in failures:
        print("FAILED:", failure)
    print("rewrite test:", "failed" if failures else "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
