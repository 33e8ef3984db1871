#!/usr/bin/env python3
"""Bad input for the portable build, as one table: special files, symlinks, links back to the
source, awkward names, a huge sparse file and a read-only one. Each case checks that nothing was
lost and that the notice and the exit code are honest."""
import os
import socket
import stat
import subprocess
import sys
import tempfile
import unittest

from program import INCOMPLETE, SUCCESS

EXE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "build/native/veldra-install"
GIB = 1 << 30


def run(directory):
    done = subprocess.run([EXE], cwd=directory, capture_output=True, timeout=120)
    notice = os.fsdecode(done.stdout)
    prefix = "veldra-install: "
    assert notice.startswith(prefix) and notice.endswith("\n"), notice
    return done.returncode, notice[len(prefix):-1]


def write(path, content=b"content"):
    with open(path, "wb") as f:
        f.write(content)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def special_files(d):
    os.mkfifo(os.path.join(d, "fifo.h"))
    listener = socket.socket(socket.AF_UNIX)
    listener.bind(os.path.join(d, "socket.h"))
    os.mkdir(os.path.join(d, "dir.h"))
    write(os.path.join(d, "a.h"), b"a")
    return listener  # kept open while the installer runs


def check_special_files(t, d, result):
    t.assertEqual(result[0], 1)
    t.assertTrue(result[1].startswith(INCOMPLETE))
    t.assertEqual(sorted(result[1].split("\n")[2:]), ["dir.h", "fifo.h", "socket.h"])
    t.assertTrue(stat.S_ISFIFO(os.lstat(os.path.join(d, "fifo.h")).st_mode))
    t.assertTrue(stat.S_ISSOCK(os.lstat(os.path.join(d, "socket.h")).st_mode))
    t.assertTrue(os.path.isdir(os.path.join(d, "dir.h")))
    t.assertEqual(read(os.path.join(d, "INCLUDE", "a.h")), b"a")


def dangling_symlink(d):
    os.symlink("nowhere", os.path.join(d, "dangling.h"))


def check_dangling_symlink(t, d, result):
    t.assertEqual(result, (1, INCOMPLETE + "\ndangling.h"))
    t.assertEqual(os.readlink(os.path.join(d, "dangling.h")), "nowhere")


def symlink_at_target(d):
    outside = os.path.join(os.path.dirname(d), "outside.txt")
    write(outside, b"outside, must stay")
    os.mkdir(os.path.join(d, "INCLUDE"))
    os.symlink(outside, os.path.join(d, "INCLUDE", "a.h"))
    write(os.path.join(d, "a.h"), b"new header")


def check_symlink_at_target(t, d, result):
    t.assertEqual(result, (0, SUCCESS))
    t.assertEqual(read(os.path.join(os.path.dirname(d), "outside.txt")), b"outside, must stay")
    t.assertFalse(os.path.islink(os.path.join(d, "INCLUDE", "a.h")))
    t.assertEqual(read(os.path.join(d, "INCLUDE", "a.h")), b"new header")


def include_leads_back(d):
    os.symlink(".", os.path.join(d, "INCLUDE"))
    write(os.path.join(d, "a.h"), b"only copy")
    write(os.path.join(d, "x.lib"), b"library")


def check_include_leads_back(t, d, result):
    t.assertEqual(result, (1, INCOMPLETE + "\na.h"))
    t.assertEqual(read(os.path.join(d, "a.h")), b"only copy")
    t.assertEqual(read(os.path.join(d, "LIB", "x.lib")), b"library")


def hard_link_target(d):
    os.mkdir(os.path.join(d, "INCLUDE"))
    write(os.path.join(d, "a.h"), b"only copy")
    os.link(os.path.join(d, "a.h"), os.path.join(d, "INCLUDE", "a.h"))


def check_hard_link_target(t, d, result):
    t.assertEqual(result, (1, INCOMPLETE + "\na.h"))
    t.assertEqual(read(os.path.join(d, "a.h")), b"only copy")
    t.assertEqual(read(os.path.join(d, "INCLUDE", "a.h")), b"only copy")


AWKWARD = [b"with space.h", b"-leading-dash.h", b"new\nline.h", b"back\\slash.h", b"\xff\xfe.h",
           b"n" * 253 + b".h", b"odd \"quote\".lib"]


def awkward_names(d):
    for name in AWKWARD:
        write(os.path.join(os.fsencode(d), name), name)


def check_awkward_names(t, d, result):
    t.assertEqual(result, (0, SUCCESS))
    for name in AWKWARD:
        folder = b"LIB" if name.endswith(b".lib") else b"INCLUDE"
        t.assertEqual(read(os.path.join(os.fsencode(d), folder, name)), name)
    t.assertEqual(sorted(os.listdir(d)), ["INCLUDE", "LIB"])


SPARSE_SAMPLES = [(0, b"start"), (GIB // 3, b"a third"), (GIB - 4, b"end!")]


def sparse_gigabyte(d):
    with open(os.path.join(d, "huge.lib"), "wb") as f:
        for offset, data in SPARSE_SAMPLES:
            f.seek(offset)
            f.write(data)


def check_sparse_gigabyte(t, d, result):
    t.assertEqual(result, (0, SUCCESS))
    path = os.path.join(d, "LIB", "huge.lib")
    t.assertEqual(os.stat(path).st_size, GIB)
    t.assertLess(os.stat(path).st_blocks * 512, 16 << 20, "the copy stays sparse")
    with open(path, "rb") as f:
        for offset, data in SPARSE_SAMPLES:
            f.seek(offset)
            t.assertEqual(f.read(len(data)), data)
        f.seek(GIB // 2)
        t.assertEqual(f.read(4096), bytes(4096))


def read_only_source(d):
    write(os.path.join(d, "ro.h"), b"read only")
    os.chmod(os.path.join(d, "ro.h"), 0o444)


def check_read_only_source(t, d, result):
    t.assertEqual(result, (0, SUCCESS))
    path = os.path.join(d, "INCLUDE", "ro.h")
    t.assertEqual(read(path), b"read only")
    t.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o444)


# (title, set-up in the directory, checks of the outcome)
CASES = [
    ("a FIFO, a socket and a directory that match", special_files, check_special_files),
    ("a dangling symlink", dangling_symlink, check_dangling_symlink),
    ("a symlink at the target name pointing outside", symlink_at_target, check_symlink_at_target),
    ("INCLUDE is a symlink to .", include_leads_back, check_include_leads_back),
    ("the target is a hard link of the source", hard_link_target, check_hard_link_target),
    ("awkward names", awkward_names, check_awkward_names),
    ("a 1 GiB sparse library", sparse_gigabyte, check_sparse_gigabyte),
    ("a read-only source", read_only_source, check_read_only_source),
]


class BadInput(unittest.TestCase):
    def test_cases(self):
        for title, arrange, check in CASES:
            with self.subTest(title), tempfile.TemporaryDirectory() as root:
                d = os.path.join(root, "work")
                os.mkdir(d)
                kept = arrange(d)
                check(self, d, run(d))
                if kept is not None:
                    kept.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
