"""Branded copies of the launcher, end to end: vmbootbrand (the Linux build, as a CI machine
runs it) writes the copy, Windows' own readers (GetFileVersionInfoW, ExtractIconExW, through
the fileinfo tool) see the application's version block and icon, and the copy still starts
the application on the stand-in runtime."""

import json
import shutil
import struct
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import harness  # noqa: E402
import standin  # noqa: E402

MAIN = "com.example.App"
# One colour per size, so that the size Windows picks shows in the pixel it reads.
COLOURS = {16: 0x0000FF, 32: 0xFF0000, 48: 0x00FF00}


def icon_file(colours):
    """An .ico of solid 32-bit bitmaps, one per size."""
    images = []
    for size, rgb in sorted(colours.items()):
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        pixels = struct.pack("<I", 0xFF000000 | rgb) * (size * size)
        mask = b"\0" * (((size + 31) // 32) * 4 * size)
        images.append((size, header + pixels + mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


class BrandTests:
    BITS = 64

    @classmethod
    def setUpClass(cls):
        try:
            harness.launcher_path(cls.BITS)
            standin.standin_dir(cls.BITS)
            harness.tool_path("fileinfo")
        except (harness.HarnessError, FileNotFoundError) as missing:
            raise unittest.SkipTest(str(missing))
        cls.tool = harness.dist_dir() / "vmbootbrand"
        if not cls.tool.is_file():
            raise unittest.SkipTest("%s is missing: run scripts/build.sh" % cls.tool)

    def brand(self, output, *options, source=None):
        icon = harness.temp_dir("icon-") / "app.ico"
        icon.write_bytes(icon_file(COLOURS))
        source = source or harness.launcher_path(self.BITS)
        result = subprocess.run([str(self.tool), "--icon", str(icon)] + list(options)
                                + [str(source), str(output)],
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")
        return icon

    def test_windows_build_of_the_tool_writes_the_same_copy(self):
        linux_copy = harness.temp_dir("brand-") / "Caf\u00e9.exe"
        icon = self.brand(linux_copy, "--name", "Caf\u00e9", "--version", "1.2")
        windows_copy = harness.temp_dir("brand-") / linux_copy.name
        result = harness.run_wine([harness.dist_dir() / ("vmbootbrand%d.exe" % self.BITS), "--icon",
                                   harness.win_path(icon), "--name", "Caf\u00e9", "--version", "1.2",
                                   harness.win_path(harness.launcher_path(self.BITS)),
                                   harness.win_path(windows_copy)], timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(windows_copy.read_bytes(), linux_copy.read_bytes())

    def file_info(self, path):
        result = harness.run_wine([harness.tool_path("fileinfo"), harness.win_path(path)], timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        return json.loads(result.stdout.decode("utf-8"))

    def test_windows_reads_the_branded_version_block_and_icon(self):
        output = harness.temp_dir("brand-") / "Hello.exe"
        self.brand(output, "--name", "Hello \u00c4pp", "--company", "Example Ltd",
                   "--copyright", "\u00a9 2026 Example", "--version", "2.3.4.5")
        info = self.file_info(output)
        self.assertEqual(info.get("file_version"), "2.3.4.5", info)
        self.assertEqual(info.get("product_version"), "2.3.4.5", info)
        self.assertEqual(info["strings"], {
            "ProductName": "Hello \u00c4pp", "FileDescription": "Hello \u00c4pp",
            "CompanyName": "Example Ltd", "LegalCopyright": "\u00a9 2026 Example",
            "FileVersion": "2.3.4.5", "ProductVersion": "2.3.4.5",
            "OriginalFilename": "Hello.exe", "InternalName": "Hello"})
        self.assertEqual(info["icon_groups"], 1, info)
        self.assertEqual(info["large"], {"width": 32, "height": 32, "center": "%06x" % COLOURS[32]})
        # Wine's ExtractIconExW scales the large image for the small icon (a launcher linked
        # with windres and the same .ico shows the same); Windows takes the 16-pixel one.
        self.assertEqual((info["small"]["width"], info["small"]["height"]), (16, 16), info)
        self.assertIn(info["small"]["center"], ("%06x" % COLOURS[16], "%06x" % COLOURS[32]), info)
        # Each size of the .ico is there to be picked.
        for size, colour in ((16, COLOURS[16]), (48, COLOURS[48])):
            self.assertEqual(info["sized"][str(size)],
                             {"width": size, "height": size, "center": "%06x" % colour}, info)

    def test_branding_a_branded_copy_is_branding_the_launcher(self):
        first = harness.temp_dir("brand-") / "Hello.exe"
        self.brand(first, "--name", "First", "--string", "Comments=first branding",
                   "--company", "First Ltd", "--version", "9.9", "--execution-level",
                   "requireAdministrator")
        options = ("--name", "Hello", "--version", "1.2", "--execution-level", "asInvoker")
        once = harness.temp_dir("brand-") / "Hello.exe"
        self.brand(once, *options)
        twice = harness.temp_dir("brand-") / "Hello.exe"
        self.brand(twice, *options, source=first)
        self.assertEqual(twice.read_bytes(), once.read_bytes())
        # The launcher's resources are replaced, not carried along beside the new ones.
        growth = once.stat().st_size - harness.launcher_path(self.BITS).stat().st_size
        self.assertLess(growth, len(icon_file(COLOURS)) + 4096)
        info = self.file_info(twice)
        self.assertEqual(info["strings"], {
            "ProductName": "Hello", "FileDescription": "Hello", "FileVersion": "1.2",
            "ProductVersion": "1.2", "OriginalFilename": "Hello.exe", "InternalName": "Hello"})
        signer = shutil.which("osslsigncode")
        if signer:
            folder = harness.temp_dir("sign-")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                            str(folder / "key.pem"), "-out", str(folder / "cert.pem"), "-days", "2",
                            "-subj", "/CN=vmboot test"], check=True, capture_output=True)
            signed = folder / "Hello.exe"
            subprocess.run([signer, "sign", "-certs", str(folder / "cert.pem"), "-key",
                            str(folder / "key.pem"), "-in", str(twice), "-out", str(signed)],
                           check=True, capture_output=True)
            result = subprocess.run([signer, "verify", "-CAfile", str(folder / "cert.pem"),
                                     str(signed)], capture_output=True, text=True)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertIn("Signature verification: ok", result.stdout)

    def test_errors_name_the_file_at_fault(self):
        bad_icon = harness.temp_dir("icon-") / "broken.ico"
        bad_icon.write_bytes(b"GIF89a not an icon")
        launcher = str(harness.launcher_path(self.BITS))
        output = str(harness.temp_dir("brand-") / "Hello.exe")
        for options, expected in (
                (["--icon", str(bad_icon)], "vmbootbrand: %s: not a usable .ico file" % bad_icon),
                (["--version", "1.x"], 'vmbootbrand: "1.x" is not a version number'),
                (["--string", "Comments=" + "x" * 40000],
                 "vmbootbrand: the version strings are too long")):
            result = subprocess.run([str(self.tool)] + options + [launcher, output],
                                    capture_output=True, text=True, timeout=60)
            self.assertEqual(result.returncode, 1, result.stderr)
            self.assertTrue(result.stderr.startswith(expected), result.stderr)
            self.assertNotIn(launcher, result.stderr)

    def test_branded_copy_starts_the_application(self):
        app = harness.App(self.BITS)
        runtime_folder = app.folder / ("jre64" if self.BITS == 64 else "jre")
        standin.make_runtime(runtime_folder, self.BITS)
        standin.write_jar(app.folder / "app.jar", {MAIN: standin.script(main=["exit 7"])})
        app.write_ini("[Java Runtime Environment]\nMain Class=%s\n[Class Path]\nClass Path=app.jar\n" % MAIN)
        self.brand(app.exe, "--name", "App", "--execution-level", "asInvoker")
        log_path = app.folder / "standin.log"
        result = app.run(["one"], env={standin.LOG_ENV: harness.win_path(log_path)})
        self.assertExitCode(result, 7)
        log = standin.read_log(log_path)
        self.assertEqual([e["args"] for e in standin.events(log, "main")], [["one"]], log)


class Brand64(BrandTests, harness.TestCase):
    BITS = 64


class Brand32(BrandTests, harness.TestCase):
    BITS = 32


if __name__ == "__main__":
    unittest.main()
