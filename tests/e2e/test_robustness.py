"""Bad input of every kind: the launcher ends with a clear message or the documented fallback,
never crashes or hangs, always leaves an exit code, and changes nothing on disk it should not.

Each case states its expected outcome: the message the user sees (by its English text) or
none, and the exit code. Both builds run every case."""

import os
import random
import shutil
import threading
from pathlib import Path

import harness
import standin

APP_CLASS = "com.example.App"
MAIN_CLASS_MISSING = "Main class was not specified in INI file."
CLASS_PATH_NOT_FOUND = ("None of the Java Class Path entries in the INI file was found:\n%s\n"
                        "The application may be damaged; reinstall it.")
GOOD_INI = """[Java Runtime Environment]
Main Class=com.example.App
[Class Path]
Class Path=classes
"""


def snapshot(folder):
    """Every file below `folder` with its size and modification time."""
    state = {}
    for path in Path(folder).rglob("*"):
        if path.is_file():
            stat = path.stat()
            state[str(path.relative_to(folder))] = (stat.st_size, stat.st_mtime_ns)
    return state


class Robustness:
    bitness = 64

    def setUp(self):
        self.app = harness.App(self.bitness, name="robust")
        self.log = self.app.folder / "standin.log"
        self.env = {standin.LOG_ENV: harness.win_path(self.log)}
        self.private = "jre64" if self.bitness == 64 else "jre"

    # Fixtures ---------------------------------------------------------------------------

    def runtime(self, folder=None, **options):
        return standin.make_runtime(folder or (self.app.folder / self.private), self.bitness,
                                    **options)

    def main_class(self, actions=("print-args out",), folder="classes"):
        standin.write_class(self.app.folder / folder, APP_CLASS, standin.script(main=list(actions)))

    def launch(self, args=(), env=None, raw=None, timeout=90, press=None):
        """Runs the launcher; a dialog it shows is recorded and answered (Cancel when offered,
        else the first button). Returns (result, dialogs)."""
        all_env = dict(self.env, **(env or {}))
        if raw is not None:
            process = self.app.start_raw(raw, env=all_env, timeout=timeout)
        else:
            process = self.app.start(args, env=all_env, timeout=timeout)
        ui = harness.UiDriver()
        dialogs = []
        while True:
            try:
                dialog = ui.wait_dialog(timeout=timeout, pid=process)
            except harness.ProcessEnded:
                break
            except harness.UiTimeout:
                process.kill()
                break
            dialogs.append(dialog)
            buttons = dialog["buttons"]
            ui.press(press or ("Cancel" if "Cancel" in buttons else buttons[0]))
            if len(dialogs) > 5:
                process.kill()
                break
        return process.wait(timeout), dialogs

    def assertOutcome(self, result, dialogs, code, messages=()):
        info = result.describe() + "\ndialogs: %r" % [d.get("message") for d in dialogs]
        self.assertFalse(result.timed_out, "hung\n" + info)
        self.assertEqual([d["message"] for d in dialogs], list(messages), info)
        self.assertEqual(result.code, code, info)

    def main_arguments(self):
        calls = standin.events(standin.read_log(self.log), "main")
        self.assertEqual(len(calls), 1, standin.read_log(self.log))
        return calls[0]["args"]

    # Configuration files ------------------------------------------------------------------

    def test_configuration_files(self):
        self.runtime()
        self.main_class()
        rng = random.Random(1234)
        cases = [
            ("missing", None, -1, [MAIN_CLASS_MISSING]),
            ("empty", b"", -1, [MAIN_CLASS_MISSING]),
            ("binary garbage", bytes(rng.randrange(256) for _ in range(64 * 1024)), -1,
             [MAIN_CLASS_MISSING]),
            ("UTF-16 with byte-order mark",
             b"\xff\xfe" + GOOD_INI.replace("\n", "\r\n").encode("utf-16-le"), 0, []),
        ]
        for name, content, code, messages in cases:
            with self.subTest(name):
                self.app.ini.unlink(missing_ok=True)
                if content is not None:
                    self.app.write_ini(content)
                before = snapshot(self.app.folder / "classes")
                result, dialogs = self.launch(["x"])
                self.assertOutcome(result, dialogs, code, messages)
                self.assertEqual(snapshot(self.app.folder / "classes"), before)

    def test_ten_megabyte_file_and_hundred_thousand_character_value(self):
        self.runtime()
        self.main_class()
        filler = "".join("; comment line %06d with some padding text to make it long\n" % i
                         for i in range(11 * 1024 * 1024 // 60))
        big = "x" * 100_000
        self.app.write_ini(filler + GOOD_INI.replace(
            "[Class Path]", "Virtual Machine Parameters=-Dbig=%s\n[Class Path]" % big))
        self.assertGreater(self.app.ini.stat().st_size, 10 * 1024 * 1024)
        result, dialogs = self.launch(["a"], timeout=180)
        self.assertOutcome(result, dialogs, 0)
        # The profile functions return at most 32,766 characters of a value (as Wine's do); the
        # launch goes on with what they return rather than failing.
        received = [o for o in standin.options(standin.read_log(self.log)) if o.startswith("-Dbig=")]
        self.assertEqual(len(received), 1)
        self.assertGreaterEqual(len(received[0]), 32_000)
        self.assertTrue(big.startswith(received[0][len("-Dbig="):]), "option text changed")
        self.assertEqual(self.main_arguments(), ["a"])

    def test_every_key_only_in_append_sections(self):
        # Append-section values arrive with one leading space: the class path entry " classes"
        # names no folder, so the launch stops naming it, before any VM is created.
        self.runtime()
        self.main_class()
        self.app.write_ini("[Java Runtime Environment+]\nMain Class=com.example.App\n"
                           "[Class Path+]\nClass Path=classes\n"
                           "[Application+]\nCmd=extra\n")
        result, dialogs = self.launch()
        self.assertFalse(result.timed_out, result.describe())
        self.assertEqual([d["message"] for d in dialogs],
                         [CLASS_PATH_NOT_FOUND % " classes"], result.describe())
        self.assertEqual(result.code, -1, result.describe())
        self.assertEqual(standin.events(standin.read_log(self.log), "create"), [])

    # Non-ASCII text -----------------------------------------------------------------------

    def test_non_ascii_arguments_reach_main_unchanged(self):
        self.runtime()
        self.main_class()
        self.app.write_ini(GOOD_INI)
        arguments = ["Grüße", "Ελληνικά", "中文", "mixed Ä 字 Ω", ""]
        result, dialogs = self.launch(arguments)
        self.assertOutcome(result, dialogs, 0)
        self.assertEqual(self.main_arguments(), arguments)

    def test_non_ascii_folders(self):
        # The class path reaches the VM in the ANSI code page: a folder name the code page can
        # hold is passed as it is, one it cannot hold by its short name; both run.
        for folder_name in ("Übung Ärger", "Δοκιμή 测试"):
            with self.subTest(folder_name):
                self.app = harness.App(self.bitness, name="робот",
                                       folder=harness.temp_dir("nonascii-") / folder_name)
                self.log = self.app.folder / "standin.log"
                self.env = {standin.LOG_ENV: harness.win_path(self.log)}
                self.runtime()
                self.main_class()
                self.app.write_ini(GOOD_INI + "[Application]\nOutput File=Ausgabe Größe\\out.log\n")
                result, dialogs = self.launch(["ü"])
                self.assertFalse(result.timed_out, result.describe())
                self.assertOutcome(result, dialogs, 0)
                self.assertEqual(self.main_arguments(), ["ü"])
                self.assertTrue((self.app.folder / "Ausgabe Größe" / "out.log").is_file())

    # Per-user files -----------------------------------------------------------------------

    def test_no_per_user_file_without_a_per_user_folder(self):
        # APPDATA unset, started from C:\ : the per-user path would be
        # C:\<Product Name>\<Product Code>\robust.ini, which any local user can create. A
        # "JRE Path" planted there (naming a damaged runtime) must not be read.
        self.runtime()
        self.main_class()
        product = "Planted%d" % random.randrange(10**6)
        self.app.write_ini("[Product Information]\nProduct Name=%s\nProduct Code=1\n"
                           % product + GOOD_INI)
        planted_runtime = self.runtime(folder=harness.temp_dir("planted-") / "rt",
                                       variant="nocreate")
        drive_c = Path(harness.wine()["WINEPREFIX"]) / "drive_c"
        planted = drive_c / product / "1" / "robust.ini"
        planted.parent.mkdir(parents=True)
        self.addCleanup(shutil.rmtree, drive_c / product, True)
        planted.write_text("[Java Runtime Environment]\r\nJRE Path=%s\r\n"
                           % harness.win_path(planted_runtime), encoding="cp1252")
        before = snapshot(drive_c / product)
        process = self.app.start(["x"], env=dict(self.env, APPDATA=None), cwd="C:\\",
                                 timeout=90)
        result = process.wait(90)
        self.assertOutcome(result, [], 0)
        self.assertEqual(self.main_arguments(), ["x"])
        self.assertEqual(snapshot(drive_c / product), before)

    # Registry data ------------------------------------------------------------------------

    def registry_case(self, value_line, subkey="1.8"):
        view = "" if self.bitness == 64 else "Wow6432Node\\"
        harness.clear_java_registry()
        harness.reg_import("[HKEY_LOCAL_MACHINE\\Software\\%sJavaSoft\\JRE\\%s]\n%s\n"
                           % (view, subkey, value_line))

    def test_odd_java_home_values(self):
        rt = self.runtime(folder=harness.temp_dir("rt-"))
        self.main_class()
        self.app.write_ini(GOOD_INI)
        home = harness.win_path(rt)
        unterminated = ",".join("%02x,00" % ord(c) for c in home)
        os.environ["VMBOOT_ROBUST_HOME"] = home
        expand = ",".join("%02x,00" % ord(c) for c in "%VMBOOT_ROBUST_HOME%") + ",00,00"
        cases = [
            ("missing", '"Other"="x"', False),
            ("empty", '"JavaHome"=""', False),
            ("points nowhere", '"JavaHome"="C:\\\\no\\\\such\\\\runtime"', False),
            ("DWORD instead of text", '"JavaHome"=dword:00000001', False),
            ("not terminated", '"JavaHome"=hex(1):' + unterminated, True),
            ("REG_EXPAND_SZ", '"JavaHome"=hex(2):' + expand, True),
        ]
        try:
            for name, line, found in cases:
                with self.subTest(name):
                    self.registry_case(line)
                    self.log.unlink(missing_ok=True)
                    result, dialogs = self.launch(env={"VMBOOT_ROBUST_HOME": home})
                    self.assertFalse(result.timed_out, result.describe())
                    if found:
                        self.assertOutcome(result, dialogs, 0)
                    else:
                        self.assertEqual(result.code, -1, result.describe())
                        self.assertEqual(len(dialogs), 1, dialogs)
                        self.assertIn("Java Runtime Environment (JRE) was not found",
                                      dialogs[0]["message"])
        finally:
            harness.clear_java_registry()

    def test_a_thousand_registered_runtimes(self):
        common = self.runtime(folder=harness.temp_dir("common-"))
        newest = self.runtime(folder=harness.temp_dir("newest-"))
        self.main_class()
        self.app.write_ini(GOOD_INI)
        view = "" if self.bitness == 64 else "Wow6432Node\\"
        lines = []
        for i in range(999):
            lines.append('[HKEY_LOCAL_MACHINE\\Software\\%sJavaSoft\\JRE\\1.%d.0_%d]\n"JavaHome"="%s"\n'
                         % (view, 6 + i % 3, i, harness.win_path(common).replace("\\", "\\\\")))
        lines.append('[HKEY_LOCAL_MACHINE\\Software\\%sJavaSoft\\JRE\\17.0.2]\n"JavaHome"="%s"\n'
                     % (view, harness.win_path(newest).replace("\\", "\\\\")))
        harness.clear_java_registry()
        try:
            harness.reg_import("".join(lines))
            result, dialogs = self.launch(timeout=180)
            self.assertOutcome(result, dialogs, 0)
            created = standin.events(standin.read_log(self.log), "create")
            self.assertTrue(created, standin.read_log(self.log))
            self.assertTrue(created[-1]["ql_jvm_home"].lower().startswith(
                harness.win_path(newest).rstrip("\\").lower()), created[-1])
        finally:
            harness.clear_java_registry()

    # Damaged VM libraries -----------------------------------------------------------------

    def test_damaged_or_foreign_vm_library(self):
        self.main_class()
        other = 32 if self.bitness == 64 else 64
        foreign = standin.standin_dir(other) / "jvm" / "full" / "jvm.dll"
        rng = random.Random(99)
        cases = [
            ("empty", b""),
            ("truncated after the DOS header", b"MZ" + bytes(62)),
            ("DOS header pointing past the end", b"MZ" + bytes(58) + b"\xff\xff\xff\x7f"),
            ("garbage", bytes(rng.randrange(256) for _ in range(20000))),
            ("other processor", foreign.read_bytes()),
        ]
        for name, content in cases:
            with self.subTest(name):
                rt = self.runtime(folder=self.app.folder / "rt")
                (rt / "bin" / "server" / "jvm.dll").write_bytes(content)
                self.app.write_ini(GOOD_INI.replace("[Class Path]", "JRE Path=rt\n[Class Path]"))
                result, dialogs = self.launch()
                self.assertFalse(result.timed_out, result.describe())
                self.assertEqual(result.code, -1, result.describe())
                self.assertEqual(len(dialogs), 1, dialogs)
                self.assertTrue(dialogs[0]["message"].startswith("Failed to load Java VM library: "),
                                dialogs[0]["message"])
                self.assertEqual(dialogs[0]["icon"], "error")

    def test_foreign_vm_library_with_pair_product_hands_over(self):
        self.main_class()
        other = 32 if self.bitness == 64 else 64
        rt = self.runtime(folder=self.app.folder / "rt")
        shutil.copyfile(standin.standin_dir(other) / "jvm" / "full" / "jvm.dll",
                        rt / "bin" / "server" / "jvm.dll")
        recorder = harness.tool_path("pair_recorder", 64)
        shutil.copyfile(recorder, self.app.folder / "pair.exe")
        record = self.app.folder / "pair.txt"
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\nJRE Path=rt\n"
                           "[Class Path]\nClass Path=classes\n"
                           "[Application]\nPair Product=pair.exe\nPair Return Code=Yes\n")
        result, dialogs = self.launch(["a b"], env={"VMBOOT_PAIR_RECORD": harness.win_path(record),
                                                    "VMBOOT_PAIR_EXIT_CODE": "7"})
        self.assertOutcome(result, dialogs, 7)
        self.assertIn('"a b"', record.read_text(encoding="utf-8"))

    # Per-user folder and output files -----------------------------------------------------

    def test_unusable_per_user_folder(self):
        self.runtime()
        self.main_class()
        self.app.write_ini("[Product Information]\nProduct Name=Robust\nProduct Code=1\n" + GOOD_INI)
        blocker = self.app.folder / "appdata-is-a-file"
        blocker.write_text("not a folder")
        for name, appdata in (("missing", self.app.folder / "no" / "such" / "appdata"),
                              ("a file", blocker), ("unset", None)):
            with self.subTest(name):
                self.log.unlink(missing_ok=True)
                env = {"APPDATA": harness.win_path(appdata) if appdata else ""}
                result, dialogs = self.launch(["q"], env=env)
                self.assertOutcome(result, dialogs, 0)
                self.assertEqual(self.main_arguments(), ["q"])
        self.assertFalse((self.app.folder / "no").exists())
        self.assertEqual(blocker.read_text(), "not a folder")

    def test_output_file_in_a_folder_that_cannot_be_created(self):
        self.runtime()
        self.main_class(actions=("println out hello", "print-args err"))
        blocker = self.app.folder / "blocker"
        blocker.write_text("a file where a folder should be")
        self.app.write_ini(GOOD_INI + "[Application]\nOutput File=blocker\\sub\\out.log\n")
        result, dialogs = self.launch(["e"])
        # Said once, and the program runs on without the file.
        target = harness.win_path(self.app.folder / "blocker" / "sub" / "out.log")
        self.assertOutcome(result, dialogs, 0, ["The program's output cannot be written to %s; "
                                                "it runs on without that file." % target])
        self.assertEqual(self.main_arguments(), ["e"])
        self.assertEqual(blocker.read_text(), "a file where a folder should be")

    # Sizes and concurrency ----------------------------------------------------------------

    def test_class_path_of_twenty_thousand_jars(self):
        self.runtime()
        self.main_class()
        lib = self.app.folder / "lib"
        lib.mkdir()
        for i in range(20000):
            (lib / ("j%05d.jar" % i)).write_bytes(b"")
        self.app.write_ini(GOOD_INI.replace("Class Path=classes", "Class Path=classes;lib\\*.jar"))
        result, dialogs = self.launch(timeout=300)
        self.assertOutcome(result, dialogs, 0)
        class_path = [o for o in standin.options(standin.read_log(self.log))
                      if o.startswith("-Djava.class.path=")]
        self.assertEqual(len(class_path), 1)
        entries = class_path[0][len("-Djava.class.path="):].split(";")
        self.assertNotIn("", entries)
        self.assertEqual(sum(e.endswith(".jar") for e in entries), 20000)

    def test_fifty_second_instances_at_once(self):
        self.runtime()
        release = self.app.folder / "release"
        standin.write_class(self.app.folder / "classes", APP_CLASS, standin.script(
            main=["wait-file %s" % harness.win_path(release)], secondary=[],
            secondary_form="int", secondary_result=5))
        self.app.write_ini(GOOD_INI + "[Application]\nSingle Instance=yes\n")
        primary = self.app.start(env=self.env, timeout=300)
        try:
            # Wait until main has started (the stand-in logs it) before the crowd arrives.
            for _ in range(300):
                if standin.events(standin.read_log(self.log), "main"):
                    break
                threading.Event().wait(0.2)
            results = [None] * 50

            def second(i):
                results[i] = self.app.run(["n%d" % i], env=self.env, timeout=240)

            threads = [threading.Thread(target=second, args=(i,)) for i in range(50)]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            for i, result in enumerate(results):
                self.assertFalse(result.timed_out, "second instance %d hung" % i)
                self.assertEqual(result.code, 5, result.describe())
        finally:
            release.write_text("go")
            primary_result = primary.wait(120)
        self.assertEqual(primary_result.code, 0, primary_result.describe())


class Robustness64(Robustness, harness.TestCase):
    bitness = 64


class Robustness32(Robustness, harness.TestCase):
    bitness = 32


if __name__ == "__main__":
    harness.main()
