"""The sample's installer, dist/sample/HelloApp.msi (built on Linux by wixl), as a user meets
it: Wine's msiexec installs it per machine, a .hello document opened through the shell starts
the installed HelloApp on the real runtime with the document's path, a second document goes
to the running program's secondaryMain (Single Instance), and the uninstall leaves nothing
behind."""

import subprocess
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import harness  # noqa: E402

PRODUCT = "vmboot Sample"
PROG_ID = "vmbootSample.Hello"
UPGRADE_CODE = "{96481F37-5029-4428-909C-FF162F0CD741}"
# Wine would otherwise write the shortcut out as a desktop entry of the Linux user.
NO_MENUS = {"WINEDLLOVERRIDES": "mscoree,mshtml,winemenubuilder.exe="}


def windows_folder(variable):
    """The Linux path of a folder that a Windows environment variable names (C: drive)."""
    result = harness.run_wine(["cmd", "/c", "echo", "%" + variable + "%"], timeout=60)
    text = result.stdout.decode(errors="replace").strip()
    if text[1:3] != ":\\":
        raise harness.HarnessError("%%%s%% is not a folder: %r" % (variable, text))
    drive = Path(harness.wine()["WINEPREFIX"]) / ("drive_" + text[0].lower())
    return drive.joinpath(*text[3:].split("\\")), text


class InstallerTests(harness.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.msi = harness.dist_dir() / "sample" / "HelloApp.msi"
        if not cls.msi.is_file():
            raise unittest.SkipTest("%s is missing: run scripts/build.sh (wixl)" % cls.msi)

    def msiexec(self, *args):
        result = harness.run_wine(["msiexec"] + list(args), env=NO_MENUS, timeout=300)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))

    def uninstall_quietly(self, package):
        """Removes what a failed run may have left installed."""
        harness.run_wine(["msiexec", "/x", harness.win_path(package), "/qn"], env=NO_MENUS,
                         timeout=300)

    def newer_package(self):
        """The sample's package as the next release builds it: the version raised."""
        source = (harness.repo_root() / "sample" / "HelloApp.wxs").read_text()
        self.assertIn('Version="1.0.0.0"', source)
        wxs = harness.temp_dir("wxs-") / "HelloApp.wxs"
        wxs.write_text(source.replace('Version="1.0.0.0"', 'Version="1.0.1.0"'))
        package = wxs.parent / "HelloApp-1.0.1.msi"
        subprocess.run(["wixl", "-a", "x64", "-D", "SampleDir=.", "-o", str(package), str(wxs)],
                       cwd=str(self.msi.parent), capture_output=True, check=True, timeout=120)
        return package

    def open_with_shell(self, document):
        """Opens a document as Explorer does: ShellExecute's "open" through `start`. Nothing
        of ours is inherited: Wine's background processes would keep the pipes open."""
        subprocess.run(["wine", "start", harness.win_path(document)], env=harness.wine(),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120, check=True)

    def wait_for(self, condition, timeout, what):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if condition():
                return
            time.sleep(0.5)
        self.fail("%s within %s s" % (what, timeout))

    def test_install_open_documents_and_uninstall(self):
        jre = harness.require_real_jre(self)
        # `wine cmd` is a 32-bit program: its ProgramFiles is the 32-bit folder.
        program_files, _ = windows_folder("ProgramW6432")
        folder = program_files / PRODUCT
        local, _ = windows_folder("LOCALAPPDATA")
        # Windows puts a per-machine shortcut into the common Start menu; Wine's installer
        # puts it into the user's.
        shortcuts = [windows_folder(variable)[0] / "Microsoft/Windows/Start Menu/Programs"
                     / (PRODUCT + ".lnk") for variable in ("ProgramData", "APPDATA")]
        installer_cache = Path(harness.wine()["WINEPREFIX"]) / "drive_c/windows/Installer"
        log = local / PRODUCT / "logs" / "HelloApp-out.log"
        # The installed program finds the runtime as on a user's machine: registered.
        harness.clear_java_registry()
        harness.reg_import('[HKEY_LOCAL_MACHINE\\Software\\JavaSoft\\JRE\\17]\n"JavaHome"="%s"\n'
                           % harness.win_path(jre).replace("\\", "\\\\"))
        self.addCleanup(harness.clear_java_registry)
        self.uninstall_quietly(self.msi)
        self.addCleanup(self.uninstall_quietly, self.msi)
        log.unlink(missing_ok=True)

        # Every build is a new product of the one upgrade code: a newer package replaces an
        # installed one only while that code stays.
        properties = subprocess.run(["msiinfo", "export", str(self.msi), "Property"],
                                    capture_output=True, text=True, check=True).stdout
        self.assertIn("UpgradeCode\t" + UPGRADE_CODE, properties.splitlines())
        self.msiexec("/i", harness.win_path(self.msi), "/qn")
        for name in ("HelloApp.exe", "HelloApp.ini", "splash.png", "lib/hello-app.jar",
                     "lib/sample-util.jar"):
            self.assertTrue((folder / name).is_file(), name)
        self.assertEqual(len([s for s in shortcuts if s.is_file()]), 1, shortcuts)
        # The shortcut's icon is the branded executable's, kept by the installer for it.
        icons = list(installer_cache.glob("*/HelloApp.exe"))
        self.assertEqual([i.read_bytes() for i in icons],
                         [(self.msi.parent / "HelloApp.exe").read_bytes()], icons)
        self.assertEqual(harness.reg_query("HKLM\\Software\\Classes\\.hello"), {"": PROG_ID})
        exe = "C:\\Program Files\\%s\\HelloApp.exe" % PRODUCT
        self.assertEqual(
            harness.reg_query("HKLM\\Software\\Classes\\%s\\shell\\open\\command" % PROG_ID),
            {"": '"%s" "%%1"' % exe})

        # Paths with spaces: "%1" in quotes keeps each one a single argument.
        documents = harness.temp_dir("docs-") / "My Notes"
        documents.mkdir()
        first = documents / "first note.hello"
        first.write_text("Hello from the first note\n")
        second = documents / "second note.hello"
        second.write_text("Hello from the second note\n")
        self.open_with_shell(first)
        ui = harness.UiDriver()
        ui.wait_dialog(timeout=180, title="vmboot sample", any_class=True)
        self.open_with_shell(second)
        self.wait_for(lambda: log.is_file() and b"second note" in log.read_bytes(), 90,
                      "the second document did not reach secondaryMain")
        ui.close()
        self.wait_for(lambda: harness.linux_pid_of(exe) is None, 60,
                      "HelloApp did not end after its window was closed")

        report = log.read_bytes().decode("cp1252")
        main_part, _, later_part = report.partition("== Opened by a later start")
        self.assertIn("  document: %s\r\n" % harness.win_path(first), main_part)
        self.assertIn("  document's first line: Hello from the first note", main_part)
        self.assertIn("    [0] %s\r\n" % harness.win_path(second), later_part)
        self.assertIn("  document's first line: Hello from the second note", later_part)
        self.assertNotIn("second note", main_part)

        # A newer version replaces the installed one instead of installing beside it.
        newer = self.newer_package()
        self.addCleanup(self.uninstall_quietly, newer)
        self.msiexec("/i", harness.win_path(newer), "/qn")
        self.assertEqual(len(list(installer_cache.glob("*/HelloApp.exe"))), 1)
        self.assertTrue((folder / "HelloApp.exe").is_file())

        self.msiexec("/x", harness.win_path(newer), "/qn")
        self.assertFalse(folder.exists(), sorted(str(p) for p in folder.rglob("*")))
        self.assertEqual([s for s in shortcuts if s.exists()], [])
        self.assertEqual(list(installer_cache.glob("*/HelloApp.exe")), [])
        for key in ("Software\\Classes\\.hello", "Software\\Classes\\" + PROG_ID,
                    "Software\\vmboot sample"):
            self.assertIsNone(harness.reg_query("HKLM\\" + key), key)


if __name__ == "__main__":
    unittest.main()
