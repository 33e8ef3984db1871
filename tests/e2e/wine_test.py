#!/usr/bin/env python3
"""End-to-end tests of veldra-install.exe under Wine: each case runs the program in a fresh
folder, waits for its message box, reads the box's caption (the window title) and its text (from
Wine's trace of the call that shows it), dismisses it with a key press, then checks the exit
code and the files.

Needs a display and a Wine prefix: run it through scripts/with-wine.sh."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from program import DIR, SUCCESS, incomplete, make_tree, read_tree

EXE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "build/win32/veldra-install.exe"

BOX_CALL = re.compile(r'Call user32\.MessageBoxA\([0-9a-f]+,[0-9a-f]+ "((?:[^"\\]|\\.)*)",'
                      r'[0-9a-f]+ "((?:[^"\\]|\\.)*)",([0-9a-f]+)\)')


def unescape(text):
    """Undoes the C-style escapes of Wine's trace and decodes the bytes as UTF-8."""
    out = bytearray()
    i = 0
    while i < len(text):
        if text[i] != "\\":
            out += text[i].encode("utf-8")
            i += 1
        elif text[i + 1] == "x":
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
        else:
            out += {"n": b"\n", "r": b"\r", "t": b"\t"}.get(text[i + 1], text[i + 1].encode())
            i += 2
    return out.decode("utf-8")


def find_box(process, timeout=30):
    """Waits for the program's visible window and returns its X id."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and process.poll() is None:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname",
                                r"^veldra-install\.exe$"], capture_output=True, text=True)
        if found.stdout.strip():
            return found.stdout.split()[0]
        time.sleep(0.1)
    return None


def run_exe(directory, exe=EXE, args=()):
    """Runs the program in `directory` and answers its box.
    Returns (exit code, box text, box caption, window title)."""
    env = dict(os.environ, WINEDEBUG="+relay")
    with tempfile.TemporaryFile() as trace:
        process = subprocess.Popen(["wine", exe, *args], cwd=directory, env=env,
                                   stdout=subprocess.DEVNULL, stderr=trace)
        window = find_box(process)
        title = None
        if window is not None:
            title = subprocess.run(["xdotool", "getwindowname", window], capture_output=True,
                                   text=True).stdout.rstrip("\n")
            subprocess.run(["xdotool", "key", "--window", window, "Return"], check=True)
        try:
            code = process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()
            raise
        trace.seek(0)
        calls = BOX_CALL.findall(trace.read().decode("utf-8", "replace"))
    assert len(calls) == 1, f"expected one message box, traced {len(calls)}"
    text, caption, box_type = calls[0]
    assert int(box_type, 16) == 0, "a plain box with an OK button"
    return code, unescape(text), unescape(caption), title


ROAD = {"a.h": "header a", "b.h": "header b", "x.lib": "library x", "readme.txt": "read me"}
ROAD_AFTER = {"INCLUDE": DIR, "INCLUDE/a.h": "header a", "INCLUDE/b.h": "header b", "LIB": DIR,
              "LIB/x.lib": "library x", "readme.txt": "read me"}
CJK = "\u6570\u636e.h"

# (title, files before, runs, where the exe lives and its arguments, exit code, notice, caption,
#  files after)
CASES = [
    ("road of one run", ROAD, 1, None, 0, SUCCESS, "veldra-install.exe", ROAD_AFTER),
    ("nothing to move", {}, 1, None, 0, SUCCESS, "veldra-install.exe",
     {"INCLUDE": DIR, "LIB": DIR}),
    ("a second run", ROAD, 2, None, 0, SUCCESS, "veldra-install.exe", ROAD_AFTER),
    ("upper-case names", {"A.H": "a", "X.LIB": "x"}, 1, None, 0, SUCCESS, "veldra-install.exe",
     {"INCLUDE": DIR, "INCLUDE/A.H": "a", "LIB": DIR, "LIB/X.LIB": "x"}),
    ("names whose short names end in .LIB",
     {"foo.library": "1", "libx.libs": "2", "X.LIB2": "3", "y.lib": "4"}, 1, None, 0, SUCCESS,
     "veldra-install.exe", {"foo.library": "1", "libx.libs": "2", "X.LIB2": "3", "INCLUDE": DIR,
                            "LIB": DIR, "LIB/y.lib": "4"}),
    ("a name outside Latin-1", {CJK: "data"}, 1, None, 0, SUCCESS, "veldra-install.exe",
     {"INCLUDE": DIR, "INCLUDE/" + CJK: "data", "LIB": DIR}),
    ("a directory named d.h", {"d.h": DIR, "a.h": "a"}, 1, None, 1, incomplete("d.h"),
     "veldra-install.exe", {"d.h": DIR, "INCLUDE": DIR, "INCLUDE/a.h": "a", "LIB": DIR}),
    ("INCLUDE is a regular file", {"INCLUDE": "a file", "a.h": "a", "x.lib": "x"}, 1, None, 1,
     incomplete("a.h"), "veldra-install.exe",
     {"INCLUDE": "a file", "a.h": "a", "LIB": DIR, "LIB/x.lib": "x"}),
    ("started by a path with spaces, with an argument", {"a.h": "a"}, 1,
     ("tools with spaces", ["now"]), 0, SUCCESS, 'veldra-install.exe" now',
     {"INCLUDE": DIR, "INCLUDE/a.h": "a", "LIB": DIR}),
]


class WineEndToEnd(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Wine's call trace is limited to the one call these tests read.
        subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude",
                        "/t", "REG_SZ", "/d", "user32.MessageBoxA", "/f"],
                       check=True, capture_output=True)

    def test_cases(self):
        for title, before, runs, placement, code, notice, caption, after in CASES:
            with self.subTest(title), tempfile.TemporaryDirectory() as root:
                work = os.path.join(root, "work")
                os.makedirs(work)
                make_tree(work, before)
                exe, args = EXE, []
                if placement is not None:
                    folder, args = placement
                    exe = os.path.join(root, folder, "veldra-install.exe")
                    os.makedirs(os.path.dirname(exe))
                    shutil.copy(EXE, exe)
                for _ in range(runs):
                    self.assertEqual(run_exe(work, exe, args), (code, notice, caption, caption))
                self.assertEqual(read_tree(work), after)


if __name__ == "__main__":
    unittest.main(verbosity=2)
