"""Where the runtime folder comes from ("JRE Path" beside the executable, in the per-user
file, for a service) and where a relative pair product is found, end to end with the
stand-in runtime."""

import shutil
import uuid
from pathlib import Path, PureWindowsPath

import harness
import standin

MAIN_CLASS = "demo.Main"


def appdata_folder():
    """The Linux folder behind the APPDATA of the test prefix (Wine sets APPDATA itself)."""
    result = harness.run_wine(["cmd", "/c", "echo", "%APPDATA%"], timeout=60)
    text = result.stdout.decode(errors="replace").strip().splitlines()[-1].strip()
    windows = PureWindowsPath(text)
    if windows.drive.upper() != "C:":
        raise harness.HarnessError("unexpected APPDATA %r" % text)
    return Path(harness.wine()["WINEPREFIX"]) / "drive_c" / Path(*windows.parts[1:])


class ConfigurationTest(harness.TestCase):
    def make_app(self, bitness=64, application_lines=()):
        """An application whose main class ends the VM with 7, a stand-in runtime "rt"
        beside it and another one "other" elsewhere; a product name of its own so that
        its per-user file is fresh."""
        app = harness.App(bitness)
        classes = app.folder / "classes"
        standin.write_class(classes, MAIN_CLASS, standin.script(main=["exit 7"]))
        self.log = harness.temp_dir("log-") / "standin.jsonl"
        self.shipped = standin.make_runtime(app.folder / "rt", bitness)
        self.other = standin.make_runtime(harness.temp_dir("rt-") / "other", bitness)
        self.product = "Product " + uuid.uuid4().hex[:8]
        self.ini_head = ("[Product Information]\nProduct Name=%s\nProduct Code=v1\n"
                         "[Class Path]\nClass Path=classes\n"
                         "[Application]\n%s\n" % (self.product, "\n".join(application_lines)))
        return app

    def per_user_file(self, name="app"):
        folder = appdata_folder() / self.product / "v1"
        return folder / (name + ".ini")

    def write_per_user(self, text, name="app"):
        path = self.per_user_file(name)
        path.parent.mkdir(parents=True, exist_ok=True)
        self.addCleanup(shutil.rmtree, str(path.parent.parent), True)
        path.write_bytes(text.replace("\n", "\r\n").encode("cp1252"))

    def run_app(self, app, **kwargs):
        result = app.run(env={standin.LOG_ENV: harness.win_path(self.log)}, **kwargs)
        events = standin.read_log(self.log)
        creates = standin.events(events, "create")
        library = creates[-1].get("ql_jvm_path") if creates else None
        return result, library

    def assertLibraryIn(self, library, folder, result):
        self.assertIsNotNone(library, "no VM was created: %s" % result.describe())
        expected = harness.win_path(folder).lower() + "\\bin\\"
        self.assertTrue(str(library).lower().startswith(expected),
                        "%s is not in %s (%s)" % (library, expected, result.describe()))

    def test_relative_jre_path_hangs_off_the_launcher_folder(self):
        app = self.make_app()
        app.write_ini(self.ini_head + "[Java Runtime Environment]\nMain Class=%s\nJRE Path=rt\n"
                      % MAIN_CLASS)
        result, library = self.run_app(app, cwd=harness.temp_dir("cwd-"))
        self.assertLibraryIn(library, self.shipped, result)
        self.assertExitCode(result, 7)

    def test_per_user_file_wins_once_it_exists(self):
        app = self.make_app()
        app.write_ini(self.ini_head + "[Java Runtime Environment]\nMain Class=%s\nJRE Path=rt\n"
                      % MAIN_CLASS)
        self.write_per_user("[Java Runtime Environment]\nJRE Path=%s\\\n"
                            % harness.win_path(self.other))
        result, library = self.run_app(app)
        self.assertLibraryIn(library, self.other, result)
        self.assertExitCode(result, 7)

    def test_an_empty_or_stale_per_user_value_leaves_the_applications_own(self):
        # The folder remembered for the user no longer hides the application's "JRE Path"
        # (nor does an empty value stand for the launcher folder).
        app = self.make_app()
        standin.make_runtime(app.folder, 64)
        app.write_ini(self.ini_head + "[Java Runtime Environment]\nMain Class=%s\nJRE Path=%s\n"
                      % (MAIN_CLASS, harness.win_path(self.other)))
        for value in ("", harness.win_path(harness.temp_dir("gone-") / "uninstalled")):
            with self.subTest(value=value):
                self.write_per_user("[Java Runtime Environment]\nJRE Path=%s\n" % value)
                result, library = self.run_app(app)
                self.assertLibraryIn(library, self.other, result)
                self.assertExitCode(result, 7)

    def test_service_ignores_the_per_user_file(self):
        app = self.make_app(application_lines=["Application Type=service"])
        app.write_ini(self.ini_head + "[Java Runtime Environment]\nMain Class=%s\nJRE Path=rt\n"
                      % MAIN_CLASS)
        self.write_per_user("[Java Runtime Environment]\nJRE Path=%s\\\n"
                            % harness.win_path(self.other))
        result, library = self.run_app(app)
        self.assertLibraryIn(library, self.shipped, result)
        self.assertExitCode(result, 7)

    def test_append_sections_extend_and_file_values_hide(self):
        app = self.make_app()
        app.write_ini(self.ini_head + "[Java Runtime Environment]\nMain Class=%s\nJRE Path=rt\n"
                      "[Java Runtime Environment+]\nJRE Path=ignored\n"
                      "Virtual Machine Parameters=-Dfrom.append=1\n" % MAIN_CLASS)
        result, library = self.run_app(app)
        self.assertLibraryIn(library, self.shipped, result)
        options = standin.options(standin.read_log(self.log))
        self.assertIn("-Dfrom.append=1", options, result.describe())
        self.assertExitCode(result, 7)


class PairProductTest(harness.TestCase):
    def test_relative_pair_product_is_found_beside_the_launcher(self):
        # A 64-bit launcher that finds a 32-bit runtime hands over to its pair product; a
        # relative name means the file beside the launcher, wherever it was started from.
        app = harness.App(64)
        runtime = standin.make_runtime(app.folder / "rt32", 32)
        shutil.copyfile(harness.tool_path("pair_recorder", 64), app.folder / "pair.exe")
        record = harness.temp_dir("pair-") / "record.txt"
        app.write_ini("[Java Runtime Environment]\nMain Class=%s\nJRE Path=rt32\n"
                      "[Application]\nPair Product=pair.exe\nPair Return Code=Yes\n" % MAIN_CLASS)
        result = app.run(args=["one", "two words"], cwd=harness.temp_dir("elsewhere-"),
                         env={"VMBOOT_PAIR_RECORD": harness.win_path(record),
                              "VMBOOT_PAIR_EXIT_CODE": "5"})
        self.assertTrue(record.exists(), "pair product not started: %s" % result.describe())
        line = record.read_text(encoding="utf-8").splitlines()[0]
        self.assertEqual(line, app.command_line(["one", "two words"]))
        self.assertExitCode(result, 5)
        self.assertTrue(runtime.exists())


if __name__ == "__main__":
    harness.main()
