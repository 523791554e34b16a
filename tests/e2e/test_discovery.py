"""Runtime discovery seen from outside: which runtime a launcher takes is observed through
what it does next. A VM library of the other processor makes a launcher hand over to its
pair product, here pair_recorder.exe, which records the command line it got and exits with
the code in VMBOOT_PAIR_EXIT_CODE."""

import os
import shutil
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import standin  # noqa: E402

BITNESSES = (64, 32)
OTHER_MACHINE = {64: "x86", 32: "x64"}
OWN_MACHINE = {64: "x64", 32: "x86"}
PAIR_FAILED = ("Windows exception: the launcher for the other processor type could not be "
               "started (errno = 2).")
# ERROR_CIRCULAR_DEPENDENCY: a hand-over that would lead back into a launcher.
PAIR_LOOP = PAIR_FAILED.replace("errno = 2", "errno = 1059")


def ini(pair_product="", pair_return_code="", jre_path=None, extra_jre="", product=""):
    text = "[Product Information]\n%s\n[Java Runtime Environment]\nMain Class=app.Main\n" % product
    if jre_path is not None:
        text += "JRE Path=%s\n" % jre_path
    text += extra_jre
    text += "[Class Path]\nClass Path=app.jar\n"
    text += "[Application]\nPair Product=%s\n" % pair_product
    if pair_return_code:
        text += "Pair Return Code=%s\n" % pair_return_code
    return text


def make_runtime(folder, machine, vm="client", marker=False):
    """A runtime folder whose VM library is the probe DLL of `machine` ("x86", "x64")."""
    folder = Path(folder)
    library = folder / "bin" / vm / "jvm.dll"
    library.parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(harness.tool_path("probe_%s.dll" % machine), library)
    if marker:
        (folder / "bin" / "java.dll").write_bytes(b"")
    return folder


def register(view, root, version, java_home):
    """Registers a runtime under HKLM in the 64- or 32-bit view. `reg add` with an explicit
    view, because which view a plain `wine regedit` import reaches depends on the Wine build."""
    key = "HKLM\\Software\\%s\\%s" % (root, version)
    result = harness.run_wine(["reg", "add", key, "/v", "JavaHome", "/t", "REG_SZ",
                               "/d", str(java_home), "/f", "/reg:%d" % view])
    if result.returncode != 0:
        raise harness.HarnessError("reg add failed: %s" % result.stdout.decode(errors="replace"))


def clear_java_registry():
    """Removes every Java runtime registration from both registry views, in one import: a
    `reg delete` per root and view starts some twenty Wine processes per test."""
    harness.clear_java_registry()


class DiscoveryTest(harness.TestCase):

    def setUp(self):
        clear_java_registry()
        self.addCleanup(clear_java_registry)

    def pair_product(self, folder):
        """A copy of the recorder in `folder`; returns (Windows path, record file)."""
        recorder = Path(folder) / "pair product.exe"
        shutil.copyfile(harness.tool_path("pair_recorder"), recorder)
        return harness.win_path(recorder), Path(folder) / "pair-record.txt"

    def pair_env(self, record, code=None):
        env = {"VMBOOT_PAIR_RECORD": harness.win_path(record)}
        if code is not None:
            env["VMBOOT_PAIR_EXIT_CODE"] = str(code)
        return env

    def read_record(self, record, timeout=30):
        """The recorded command lines; waits for the pair product that runs on alone."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            if record.is_file():
                text = record.read_text(encoding="utf-8")
                if text.endswith("\n"):
                    return text.splitlines()
            time.sleep(0.2)
        return []

    # -- the alternate registry view -------------------------------------------------------

    def test_runtime_only_in_the_alternate_view_hands_over_with_the_command_line(self):
        for bitness in BITNESSES:
            for return_code in ("", "yes"):
                with self.subTest(bitness=bitness, pair_return_code=return_code):
                    clear_java_registry()
                    app = harness.App(bitness)
                    runtime = make_runtime(app.folder.parent / ("rt-%d" % bitness),
                                           OTHER_MACHINE[bitness])
                    alternate = 32 if bitness == 64 else 64
                    register(alternate, "JavaSoft\\Java Runtime Environment", "1.8",
                             harness.win_path(runtime))
                    pair, record = self.pair_product(app.folder)
                    app.write_ini(ini(pair_product=pair, pair_return_code=return_code))
                    args = ["first", "two words", "-nosplash"]
                    result = app.run(args, env=self.pair_env(record, 7))
                    self.assertExitCode(result, 7 if return_code else 0)
                    self.assertEqual(self.read_record(record), [app.command_line(args)])

    def test_without_a_pair_product_the_alternate_view_is_never_searched(self):
        for bitness in BITNESSES:
            with self.subTest(bitness=bitness):
                clear_java_registry()
                app = harness.App(bitness)
                runtime = make_runtime(app.folder.parent / ("rt-%d" % bitness),
                                       OTHER_MACHINE[bitness])
                register(32 if bitness == 64 else 64, "JavaSoft\\Java Runtime Environment",
                         "1.8", harness.win_path(runtime))
                app.write_ini(ini())
                process = app.start(timeout=60)
                ui = harness.UiDriver()
                try:
                    # Nothing found: the missing-runtime dialog, cancelled.
                    dialog = ui.wait_dialog(timeout=30, pid=process)
                    self.assertIn("JRE", dialog["caption"], self.context(None, dialog))
                    ui.press("Cancel")
                except harness.ProcessEnded:
                    pass
                self.assertExitCode(process.wait(60), -1)

    def test_native_view_wins_over_the_alternate_view(self):
        bitness = 64
        app = harness.App(bitness)
        # Both libraries are of the other processor: the native one is loaded in process
        # (registry runtimes get no processor check) and fails; the alternate one would have
        # been handed over.
        native = make_runtime(app.folder.parent / "native", OTHER_MACHINE[bitness])
        alternate = make_runtime(app.folder.parent / "alternate", OTHER_MACHINE[bitness])
        register(64, "JavaSoft\\Java Runtime Environment", "1.6", harness.win_path(native))
        register(32, "JavaSoft\\Java Runtime Environment", "1.8", harness.win_path(alternate))
        pair, record = self.pair_product(app.folder)
        app.write_ini(ini(pair_product=pair, pair_return_code="Yes"))
        result, dialog = self.run_with_dialog(app, args=["-nosplash"],
                                              env=self.pair_env(record, 7), press="OK")
        self.assertIn("native\\bin\\client\\jvm.dll", dialog["message"],
                      self.context(result, dialog))
        self.assertExitCode(result, -1, dialog)
        self.assertEqual(self.read_record(record, timeout=2), [])

    # -- the pair product ------------------------------------------------------------------

    def test_missing_pair_product_is_reported(self):
        for bitness in BITNESSES:
            with self.subTest(bitness=bitness):
                clear_java_registry()
                app = harness.App(bitness)
                runtime = make_runtime(app.folder.parent / ("rt-%d" % bitness),
                                       OTHER_MACHINE[bitness])
                app.write_ini(ini(pair_product=harness.win_path(app.folder / "absent.exe"),
                                  jre_path=harness.win_path(runtime)))
                result, dialog = self.run_with_dialog(app, press="OK")
                self.assertEqual(dialog["message"].strip(), PAIR_FAILED,
                                 self.context(result, dialog))
                self.assertEqual(dialog["icon"], "error", self.context(result, dialog))
                self.assertExitCode(result, -1, dialog)

    def test_pair_product_leading_back_to_a_launcher_is_refused(self):
        # Each start of such a chain would start the next without end: the launcher refuses
        # a hand-over to itself, and one by a process that a hand-over started.
        for bitness in BITNESSES:
            runtime = make_runtime(harness.temp_dir("rt-") / "other", OTHER_MACHINE[bitness])
            with self.subTest(bitness=bitness, case="its own name"):
                app = harness.App(bitness)
                app.write_ini(ini(pair_product="app.exe", pair_return_code="Yes",
                                  jre_path=harness.win_path(runtime)))
                result, dialog = self.run_with_dialog(app, press="OK")
                self.assertEqual(dialog["message"].strip(), PAIR_LOOP,
                                 self.context(result, dialog))
                self.assertExitCode(result, -1, dialog)
            with self.subTest(bitness=bitness, case="two launchers naming each other"):
                first = harness.App(bitness)
                second = harness.App(bitness, name="other", folder=first.folder)
                first.write_ini(ini(pair_product="other.exe", pair_return_code="Yes",
                                    jre_path=harness.win_path(runtime)))
                second.write_ini(ini(pair_product="app.exe", pair_return_code="Yes",
                                     jre_path=harness.win_path(runtime)), name="other.ini")
                process = first.start()
                ui = harness.UiDriver()
                dialog = ui.wait_dialog(timeout=60)
                self.assertNotEqual(dialog["pid"], process.pid, "the first launcher refused")
                self.assertEqual(dialog["message"].strip(), PAIR_LOOP, self.context(None, dialog))
                ui.press("OK")
                result = process.wait(60)
                # The second launcher's -1 comes back through "Pair Return Code".
                self.assertExitCode(result, -1, dialog)

    def test_jre_path_of_the_other_processor_hands_over(self):
        for bitness in BITNESSES:
            with self.subTest(bitness=bitness):
                app = harness.App(bitness)
                runtime = make_runtime(app.folder.parent / ("rt-%d" % bitness),
                                       OTHER_MACHINE[bitness])
                pair, record = self.pair_product(app.folder)
                app.write_ini(ini(pair_product=pair, pair_return_code="YES",
                                  jre_path=harness.win_path(runtime)))
                result = app.run(["x"], env=self.pair_env(record, 3))
                self.assertExitCode(result, 3)
                self.assertEqual(self.read_record(record), [app.command_line(["x"])])

    def test_jre_path_of_the_own_processor_stays_in_process(self):
        for bitness in BITNESSES:
            with self.subTest(bitness=bitness):
                app = harness.App(bitness)
                runtime = make_runtime(app.folder.parent / ("own-%d" % bitness),
                                       OWN_MACHINE[bitness])
                pair, record = self.pair_product(app.folder)
                app.write_ini(ini(pair_product=pair, pair_return_code="Yes",
                                  jre_path=harness.win_path(runtime)))
                # The probe DLL loads but is no VM: the in-process launch reports that.
                result, dialog = self.run_with_dialog(app, args=["-nosplash"],
                                                      env=self.pair_env(record, 9), press="OK")
                self.assertIn("CreateJavaVM", dialog["message"], self.context(result, dialog))
                self.assertExitCode(result, -1, dialog)
                self.assertEqual(self.read_record(record, timeout=2), [])

    def test_jre_path_of_the_other_processor_without_pair_product_fails_to_load(self):
        for bitness in BITNESSES:
            with self.subTest(bitness=bitness):
                app = harness.App(bitness)
                runtime = make_runtime(app.folder.parent / ("rt-%d" % bitness),
                                       OTHER_MACHINE[bitness])
                app.write_ini(ini(jre_path=harness.win_path(runtime)))
                result, dialog = self.run_with_dialog(app, args=["-nosplash"], press="OK")
                self.assertTrue(dialog["message"].startswith("Failed to load Java VM library: "),
                                self.context(result, dialog))
                self.assertIn("jvm.dll", dialog["message"], self.context(result, dialog))
                self.assertExitCode(result, -1, dialog)

    def test_shipped_runtime_never_hands_over(self):
        for bitness in BITNESSES:
            with self.subTest(bitness=bitness):
                app = harness.App(bitness)
                shipped = "jre64" if bitness == 64 else "jre"
                make_runtime(app.folder / shipped, OTHER_MACHINE[bitness], marker=True)
                pair, record = self.pair_product(app.folder)
                # JRE Path names a folder without a runtime, so the shipped one is next.
                app.write_ini(ini(pair_product=pair, pair_return_code="Yes",
                                  jre_path="nothing-here"))
                result, dialog = self.run_with_dialog(app, args=["-nosplash"], press="OK")
                self.assertTrue(dialog["message"].startswith("Failed to load Java VM library: "),
                                self.context(result, dialog))
                self.assertIn(shipped + "\\bin\\client\\jvm.dll", dialog["message"])
                self.assertExitCode(result, -1, dialog)
                self.assertEqual(self.read_record(record, timeout=2), [])

    # -- forms of "JRE Path" ---------------------------------------------------------------

    def test_jre_path_forms(self):
        bitness = 64
        for form in ("relative", "backslash-relative", "absolute", "unc-shaped", "empty",
                     "parent-relative"):
            with self.subTest(form=form):
                app = harness.App(bitness)
                if form in ("relative", "backslash-relative"):
                    runtime, value = app.folder / "rt", "rt" if form == "relative" else "\\rt"
                elif form == "parent-relative":
                    runtime = app.folder.parent / ("up-" + app.folder.name)
                    value = "..\\" + runtime.name
                elif form == "absolute":
                    runtime = harness.temp_dir("abs-")
                    value = harness.win_path(runtime)
                elif form == "unc-shaped":
                    runtime = harness.temp_dir("unc-")
                    value = "\\\\?\\" + harness.win_path(runtime)
                else:
                    runtime, value = app.folder, ""
                make_runtime(runtime, OTHER_MACHINE[bitness])
                pair, record = self.pair_product(app.folder)
                app.write_ini(ini(pair_product=pair, pair_return_code="Yes", jre_path=value))
                result = app.run(env=self.pair_env(record, 11))
                self.assertExitCode(result, 11)
                self.assertEqual(len(self.read_record(record)), 1)

    def test_per_user_jre_path_overrides_the_shipped_one(self):
        bitness = 64
        app = harness.App(bitness)
        appdata = harness.temp_dir("appdata-")
        per_user = make_runtime(harness.temp_dir("per-user-"), OTHER_MACHINE[bitness])
        shipped = harness.temp_dir("shipped-")  # no runtime at all
        pair, record = self.pair_product(app.folder)
        product = "Product Name=Acme Tools\nProduct Code=Widget\n"
        app.write_ini(ini(pair_product=pair, pair_return_code="Yes",
                          jre_path=harness.win_path(shipped), product=product))
        env = dict(self.pair_env(record, 5), APPDATA=harness.win_path(appdata))

        # Without the per-user file the shipped folder is tried and nothing is found.
        result = self.run_cancelling_dialog(app, env)
        self.assertExitCode(result, -1)

        user_file = appdata / "Acme Tools" / "Widget" / "app.ini"
        user_file.parent.mkdir(parents=True)
        user_file.write_bytes(("[Java Runtime Environment]\r\nJRE Path=%s\r\n"
                               % harness.win_path(per_user)).encode("cp1252"))
        result = app.run(env=env)
        self.assertExitCode(result, 5)
        self.assertEqual(len(self.read_record(record)), 1)

    def run_cancelling_dialog(self, app, env):
        process = app.start(env=env, timeout=60)
        ui = harness.UiDriver()
        try:
            ui.wait_dialog(timeout=30, pid=process)
            ui.press("Cancel")
        except harness.ProcessEnded:
            pass
        return process.wait(60)


class RegistrySelectionTest(harness.TestCase):
    """Registered stand-in runtimes, each logging to its own file: the one that creates the
    VM is the one the rules chose."""

    def setUp(self):
        clear_java_registry()
        self.addCleanup(clear_java_registry)

    def test_configurations_choose_among_registered_runtimes(self):
        bitness = 64
        base = harness.temp_dir("registered-")
        runtimes = {}

        def add(name, root, version, home, vm_dirs):
            folder = base / name
            standin.make_runtime(folder if home is None else folder / home, bitness,
                                 vm_dirs=vm_dirs, log=harness.win_path(base / (name + ".jsonl")))
            register(64, root, version, harness.win_path(folder))
            runtimes[name] = base / (name + ".jsonl")

        add("jre7", "JavaSoft\\Java Runtime Environment", "1.7.0_80", None, ("client",))
        add("jre8", "JavaSoft\\Java Runtime Environment", "1.8.0_191", None, ("client", "server"))
        add("kit11", "JavaSoft\\Java Development Kit", "11", "jre", ("server",))
        add("ibm6", "IBM\\Java2 Runtime Environment", "1.6", None, ("classic",))

        cases = [
            ("", "kit11"),
            ("Preferred versions=1.7;1.8\n", "jre7"),
            ("Preferred versions=1.9\n", "kit11"),
            ("JVM Source=favor_JRE\n", "jre8"),
            ("JVM Source=only_JDK\nMinimum Version=12\n", None),
            ("Maximum Version=1.8.0_100\n", "jre7"),
            ("Minimum Version=1.8\nMaximum Version=1.8\n", "jre8"),
            ("VM Provider=IBM\n", "ibm6"),
            ("VM Provider=any\nJVM Source=only_JRE\nJVM Type=server\n", "jre8"),
        ]
        for keys, expected in cases:
            with self.subTest(keys=keys):
                app = harness.App(bitness)
                classes = app.folder / "classes"
                standin.write_class(classes, "app.Main", standin.script(main=["exit 0"]))
                app.write_ini("[Java Runtime Environment]\nMain Class=app.Main\n%s"
                              "[Class Path]\nClass Path=classes\n" % keys)
                for log in runtimes.values():
                    if log.exists():
                        log.unlink()
                process = app.start(["-nosplash"], timeout=60)
                ui = harness.UiDriver()
                try:
                    # Nothing acceptable: the missing-runtime dialog, cancelled.
                    dialog = ui.wait_dialog(timeout=20 if expected is None else 5, pid=process)
                    ui.press("Cancel")
                except (harness.ProcessEnded, harness.UiTimeout):
                    dialog = None
                result = process.wait(60)
                ran = sorted(name for name, log in runtimes.items()
                             if standin.events(standin.read_log(log), "create"))
                self.assertEqual(ran, [expected] if expected else [],
                                 self.context(result, dialog))
                self.assertExitCode(result, 0 if expected else -1, dialog)


def reg_value(view, key, name, data, kind="REG_SZ"):
    result = harness.run_wine(["reg", "add", key, "/v", name, "/t", kind, "/d", str(data),
                               "/f", "/reg:%d" % view])
    if result.returncode != 0:
        raise harness.HarnessError("reg add failed: %s" % result.stdout.decode(errors="replace"))


class VendorRuntimeTest(harness.TestCase):
    """Runtimes registered only by an OpenJDK vendor's installer."""

    MAIN = ("package app;\n"
            "public class Main {\n"
            "    public static void main(String[] args) {\n"
            "        System.out.println(\"running on \" + System.getProperty(\"java.version\"));\n"
            "    }\n"
            "}\n")

    def setUp(self):
        clear_java_registry()
        self.addCleanup(clear_java_registry)

    def test_the_real_runtime_registered_the_temurin_way_runs(self):
        jre = harness.require_real_jre(self)
        key = "HKLM\\Software\\Eclipse Adoptium\\JRE\\17.0.17.10\\hotspot\\MSI"
        reg_value(64, key, "Path", harness.win_path(jre) + "\\")
        # What the installer keeps beside the folder: feature flags, not paths.
        for flag in ("JavaHome", "Main", "EnvironmentPath"):
            reg_value(64, key, flag, 1, "REG_DWORD")
        app = harness.App(64)
        jar = harness.compile_java({"app/Main.java": self.MAIN}, app.folder / "build",
                                   jar=app.folder / "app.jar")
        self.assertTrue(jar.is_file())
        # No runtime key of the configuration names a vendor: the default finds it.
        app.write_ini("[Java Runtime Environment]\nMain Class=app.Main\n"
                      "[Class Path]\nClass Path=app.jar\n")
        result = app.run(["-nosplash"], timeout=120)
        self.assertExitCode(result, 0)
        self.assertIn("running on 17.0.17", result.stdout)

        # vmbootcheck names the same runtime, and says why nothing earlier was taken.
        report = app.check(["-nosplash"])
        self.assertEqual(report["vmLibrary"].lower(),
                         (harness.win_path(jre) + "\\bin\\server\\jvm.dll").lower())
        vendor = [r for r in report["runtimesSeen"] if r["origin"] == "vendor"]
        self.assertEqual(len(vendor), 1, report["runtimesSeen"])
        # The runtime's own release file, not the installer's numbering.
        self.assertEqual(vendor[0]["version"], "17.0.17")
        self.assertEqual(vendor[0]["kind"], "JRE")
        self.assertEqual(vendor[0]["rejected"], "")
        # No "JRE Path" is set: the launcher folder it stands for is no runtime anyone named.
        self.assertEqual([r for r in report["runtimesSeen"] if r["origin"] == "jre-path"], [])

        # With the vendor keys turned off the same machine has no runtime for it.
        app.write_ini("[Java Runtime Environment]\nMain Class=app.Main\n"
                      "Vendor Runtimes=no\n[Class Path]\nClass Path=app.jar\n")
        self.assertEqual(app.check()["outcome"], "missing-runtime-dialog")

    def test_java_home_on_request(self):
        jre = harness.require_real_jre(self)
        app = harness.App(64)
        harness.compile_java({"app/Main.java": self.MAIN}, app.folder / "build",
                             jar=app.folder / "app.jar")
        env = {"JAVA_HOME": harness.win_path(jre) + "\\bin\\"}
        for use, expected in (("yes", 0), ("", -1)):
            with self.subTest(use_java_home=use):
                app.write_ini("[Java Runtime Environment]\nMain Class=app.Main\n"
                              "Use JAVA_HOME=%s\n[Class Path]\nClass Path=app.jar\n" % use)
                if expected == 0:
                    result = app.run(["-nosplash"], env=env, timeout=120)
                    self.assertExitCode(result, 0)
                    self.assertIn("running on 17.0.17", result.stdout)
                else:
                    report = app.check(env=env)
                    self.assertEqual(report["outcome"], "missing-runtime-dialog")
                    self.assertFalse([r for r in report["runtimesSeen"]
                                      if r["origin"] == "java-home"])


if __name__ == "__main__":
    harness.main()
