#!/usr/bin/env python3
"""End-to-end tests of the portable build: runs the installer in fresh directories, the way a
user would, and checks what it printed, its exit code and the files it left."""
import os
import subprocess
import sys
import tempfile
import unittest

from program import DIR, TOO_LONG, SUCCESS, incomplete, make_tree, read_tree

EXE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "build/native/veldra-install"


def run(directory, *args):
    done = subprocess.run([EXE, *args], cwd=directory, capture_output=True, timeout=60)
    return done.returncode, done.stdout.decode("utf-8", "surrogateescape")


ROAD = {"a.h": "header a", "b.h": "header b", "x.lib": "library x", "readme.txt": "read me",
        "sub/deep.h": "deep"}
ROAD_AFTER = {"INCLUDE": DIR, "INCLUDE/a.h": "header a", "INCLUDE/b.h": "header b", "LIB": DIR,
              "LIB/x.lib": "library x", "readme.txt": "read me", "sub": DIR, "sub/deep.h": "deep"}

# (title, files before, exit code, notice, files after)
CASES = [
    ("road of one run", ROAD, 0, SUCCESS, ROAD_AFTER),
    ("nothing to move", {}, 0, SUCCESS, {"INCLUDE": DIR, "LIB": DIR}),
    ("upper-case names", {"A.H": "a", "X.LIB": "x"}, 0, SUCCESS,
     {"INCLUDE": DIR, "INCLUDE/A.H": "a", "LIB": DIR, "LIB/X.LIB": "x"}),
    ("older version replaced", {"a.h": "new", "INCLUDE/a.h": "old"}, 0, SUCCESS,
     {"INCLUDE": DIR, "INCLUDE/a.h": "new", "LIB": DIR}),
    ("INCLUDE is a regular file", {"INCLUDE": "a file", "a.h": "a", "x.lib": "x"}, 1,
     incomplete("a.h"), {"INCLUDE": "a file", "a.h": "a", "LIB": DIR, "LIB/x.lib": "x"}),
    ("directory named d.h", {"d.h": DIR, "a.h": "a"}, 1, incomplete("d.h"),
     {"d.h": DIR, "INCLUDE": DIR, "INCLUDE/a.h": "a", "LIB": DIR}),
    ("names that are not ours", {"a.hpp": "1", "b.h.bak": "2", "foo.library": "3"}, 0, SUCCESS,
     {"a.hpp": "1", "b.h.bak": "2", "foo.library": "3", "INCLUDE": DIR, "LIB": DIR}),
]


class EndToEnd(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="veldra-e2e-")
        self.root = self.dir.name

    def tearDown(self):
        self.dir.cleanup()

    def test_cases(self):
        for title, before, code, notice, after in CASES:
            with self.subTest(title), tempfile.TemporaryDirectory() as root:
                make_tree(root, before)
                self.assertEqual(run(root), (code, f"veldra-install: {notice}\n"))
                self.assertEqual(read_tree(root), after)

    def test_second_run_finds_nothing_left(self):
        make_tree(self.root, ROAD)
        run(self.root)
        self.assertEqual(run(self.root), (0, f"veldra-install: {SUCCESS}\n"))
        self.assertEqual(read_tree(self.root), ROAD_AFTER)

    def test_arguments_are_part_of_the_caption(self):
        self.assertEqual(run(self.root, "a", "b"), (0, f"veldra-install a b: {SUCCESS}\n"))

    def test_file_name_too_long_for_the_target_path(self):
        # About 300 characters of directory and a 250-character name exceed the 512 of a path.
        base = os.path.join(self.root, *["d" * 60] * 5)
        long_name = "n" * 248 + ".h"
        make_tree(base, {long_name: "long", "a.h": "a"})
        self.assertEqual(run(base), (1, f"veldra-install: {incomplete(long_name)}\n"))
        self.assertEqual(read_tree(base), {long_name: "long", "INCLUDE": DIR, "INCLUDE/a.h": "a",
                                           "LIB": DIR})

    def test_current_directory_deeper_than_498_characters(self):
        deep = os.path.join(self.root, *["d" * 100] * 5)
        make_tree(deep, {"a.h": "a"})
        self.assertEqual(run(deep), (1, f"veldra-install: {TOO_LONG}\n"))
        self.assertEqual(read_tree(deep), {"a.h": "a"})


if __name__ == "__main__":
    unittest.main(verbosity=2)
