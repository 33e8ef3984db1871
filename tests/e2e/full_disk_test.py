#!/usr/bin/env python3
"""A full disk under the portable build: INCLUDE is a small tmpfs, mounted by the test (as root).
The files that do not fit fail to copy and stay whole where they were; nothing partial or
temporary is left in INCLUDE; the notice names them and the exit code is 1. Smaller files that
fit are moved. Exits with 77 (skipped) where mounting is not permitted."""
import os
import subprocess
import sys
import tempfile

EXE = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else "build/native/veldra-install"
SKIPPED = 77
KIB = 1024


def main():
    with tempfile.TemporaryDirectory() as d:
        include = os.path.join(d, "INCLUDE")
        os.mkdir(include)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=512k", "tmpfs", include],
                                 capture_output=True, text=True)
        if mounted.returncode != 0:
            print("SKIPPED: cannot mount a tmpfs here:", mounted.stderr.strip())
            return SKIPPED
        try:
            files = {"small1.h": os.urandom(100 * KIB), "big.h": os.urandom(2048 * KIB),
                     "small2.h": os.urandom(100 * KIB), "bigger.h": os.urandom(4096 * KIB),
                     "x.lib": os.urandom(300 * KIB)}
            for name, content in files.items():
                with open(os.path.join(d, name), "wb") as f:
                    f.write(content)
            done = subprocess.run([EXE], cwd=d, capture_output=True, text=True, timeout=60)
            notice = done.stdout.removeprefix("veldra-install: ").removesuffix("\n")
            lines = notice.split("\n")
            problems = []
            if done.returncode != 1:
                problems.append(f"exit code {done.returncode}, expected 1")
            if lines[:2] != ["VELDRA was not completely installed.",
                             "These files could not be moved:"]:
                problems.append(f"unexpected notice: {notice!r}")
            if sorted(lines[2:]) != ["big.h", "bigger.h"]:
                problems.append(f"named {lines[2:]}, expected big.h and bigger.h")
            for name in ("big.h", "bigger.h"):
                with open(os.path.join(d, name), "rb") as f:
                    if f.read() != files[name]:
                        problems.append(f"{name} is not whole where it was")
            for name in ("small1.h", "small2.h"):
                with open(os.path.join(include, name), "rb") as f:
                    if f.read() != files[name] or os.path.exists(os.path.join(d, name)):
                        problems.append(f"{name} was not moved")
            with open(os.path.join(d, "LIB", "x.lib"), "rb") as f:
                if f.read() != files["x.lib"]:
                    problems.append("x.lib was not moved")
            left = sorted(os.listdir(include))
            if left != ["small1.h", "small2.h"]:
                problems.append(f"INCLUDE holds {left}")
        finally:
            subprocess.run(["umount", include], check=True)
    for problem in problems:
        print("FAILED:", problem)
    if not problems:
        print("ok: what fitted was moved, the rest stayed whole and was named")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
