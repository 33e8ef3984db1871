#!/usr/bin/env python3
"""Checks veldra-install.exe as a file: a 32-bit GUI program for Intel 80386 that imports only
Windows system DLLs, small, with its manifest and version information embedded."""
import os
import re
import subprocess
import sys
import unittest

EXE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "build/win32/veldra-install.exe"
VERSION = sys.argv.pop(1) if len(sys.argv) > 1 else "1.0.0"
SYSTEM_DLLS = re.compile(r"^(kernel32|user32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\.dll$",
                         re.IGNORECASE)


class Executable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.headers = subprocess.run(["i686-w64-mingw32-objdump", "-p", EXE], check=True,
                                     capture_output=True, text=True).stdout
        with open(EXE, "rb") as f:
            cls.image = f.read()

    def test_pe32_gui_program_for_i386(self):
        self.assertIn("file format pei-i386", self.headers)
        self.assertRegex(self.headers, r"Magic\s+010b\s+\(PE32\)")
        self.assertRegex(self.headers, r"Subsystem\s+00000002\s+\(Windows GUI\)")

    def test_imports_only_system_dlls(self):
        dlls = re.findall(r"DLL Name: (\S+)", self.headers)
        self.assertIn("KERNEL32.dll", dlls)
        self.assertIn("USER32.dll", dlls)
        self.assertEqual([d for d in dlls if not SYSTEM_DLLS.match(d)], [])

    def test_small(self):
        self.assertLessEqual(len(self.image), 64 * 1024)

    def test_manifest(self):
        manifest = re.search(rb"<assembly.*?</assembly>", self.image, re.DOTALL)
        self.assertIsNotNone(manifest)
        text = manifest.group(0).decode("utf-8")
        self.assertRegex(text, r'requestedExecutionLevel level="asInvoker"')
        self.assertRegex(text, r"<activeCodePage[^>]*>UTF-8</activeCodePage>")
        self.assertRegex(text, r"<dpiAware[^>]*>true")
        self.assertRegex(text, r'name="Microsoft.Windows.Common-Controls" version="6\.0\.0\.0"')

    def test_version_information(self):
        def has_value(key, value):
            utf16 = [re.escape(text.encode("utf-16-le")) for text in (key, value)]
            return re.search(utf16[0] + b"(?:\0\0)+" + utf16[1] + b"\0\0", self.image) is not None
        self.assertTrue(has_value("ProductName", "VELDRA"))
        self.assertTrue(has_value("FileDescription", "VELDRA development files installer"))
        self.assertTrue(has_value("FileVersion", VERSION))


if __name__ == "__main__":
    unittest.main(verbosity=2)
