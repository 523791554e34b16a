"""The uncaught-exception dialog and the missing-runtime dialog, end to end under Wine with
the stand-in runtime, driven through the UI driver."""

import os
import shutil
import sys
import unittest
import uuid
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
import standin  # noqa: E402

MAIN = "com.example.App"

EXCEPTION_TEXTS = [
    "The java process has thrown the following uncaught exception:",
    "Press Ignore to continue and ignore the exception or press Stop to close the application.",
    "WARNING: If you choose to Stop the application any unsaved data will be lost.",
]


def control(dialog, control_id):
    for c in dialog["controls"]:
        if c["id"] == control_id:
            return c
    raise AssertionError("no control %d in %s" % (control_id, dialog))


def ini_text(path):
    """A profile file as the profile functions wrote it: UTF-16 after a byte-order mark,
    else the ANSI code page."""
    data = Path(path).read_bytes()
    return data.decode("utf-16") if data[:2] == b"\xff\xfe" else data.decode("cp1252")


class ExceptionDialogTest(harness.TestCase):
    def make_app(self, failure_check="yes", main=None):
        app = harness.App(64)
        self.log = app.folder / "standin.jsonl"
        standin.make_runtime(app.folder / "jre64", 64, log=harness.win_path(self.log))
        script = main or ["throw java.lang.IllegalStateException Gr\u00fc\u00dfe \u20ac \u65e5\u672c"]
        standin.write_class(app.folder / "classes", MAIN, standin.script(main=script))
        app.write_ini("\n".join([
            "[Java Runtime Environment]", "Main Class=%s" % MAIN,
            "[Class Path]", "Class Path=%s" % harness.win_path(app.folder / "classes"),
            "[Application]", "Failure Check=%s" % failure_check, ""]))
        return app

    def open_dialog(self, app):
        process = app.start(timeout=90)
        ui = harness.UiDriver()
        dialog = ui.wait_dialog(timeout=60, pid=process)
        return process, ui, dialog

    def test_texts_and_trace(self):
        app = self.make_app()
        process, ui, dialog = self.open_dialog(app)
        try:
            self.assertDialog(dialog, caption="Java Exception", icon="error")
            self.assertEqual(control(dialog, 1)["text"], "Ignore")
            self.assertEqual(control(dialog, 2)["text"], "Stop")
            self.assertEqual(control(dialog, 209)["text"], "Uncaught Exception")
            for text in EXCEPTION_TEXTS:
                self.assertIn(text, dialog["texts"])
            trace = control(dialog, 208)["text"]
            # Non-ASCII characters of the message arrive unchanged.
            self.assertTrue(trace.startswith(
                "java.lang.IllegalStateException: Gr\u00fc\u00dfe \u20ac \u65e5\u672c\r\n"), trace)
        finally:
            ui.press("Ignore")
        result = process.wait(60)
        # Ignored, the exception still ends the program as a failed one.
        self.assertExitCode(result, 1)
        events = standin.read_log(self.log)
        # The trace was captured without JNI calls made while the exception was pending.
        self.assertFalse(standin.events(events, "jni_warning"), events)

    def test_endings(self):
        cases = [
            ("press Ignore", lambda ui: ui.press("Ignore"), 1),
            ("press Stop", lambda ui: ui.press("Stop"), -1),
            ("Enter", lambda ui: ui.key("enter"), 1),
            ("Esc", lambda ui: ui.key("esc"), -1),
            ("close box", lambda ui: ui.close(), -1),
        ]
        for name, action, code in cases:
            with self.subTest(name):
                app = self.make_app(failure_check="YES" if code == -1 else "Yes")
                process, ui, dialog = self.open_dialog(app)
                action(ui)
                result = process.wait(60)
                self.assertExitCode(result, code, dialog)
                if code == -1:
                    exits = standin.events(standin.read_log(self.log), "system_exit")
                    self.assertEqual([e.get("code") for e in exits], [-1])

    def test_resizing_keeps_the_layout_and_the_minimum_size(self):
        app = self.make_app()
        process, ui, dialog = self.open_dialog(app)
        try:
            rect = dialog["rect"]
            before = {c["id"]: c["rect"] for c in dialog["controls"]}
            ui.resize(rect["width"] + 240, rect["height"] + 160)
            grown = ui.info()
            self.assertEqual(grown["rect"]["width"], rect["width"] + 240)
            after = {c["id"]: c["rect"] for c in grown["controls"]}
            for button in (1, 2):  # both keep their distance to the bottom-right corner
                self.assertEqual(after[button]["left"] - before[button]["left"], 240)
                self.assertEqual(after[button]["top"] - before[button]["top"], 160)
            self.assertEqual(after[208]["width"] - before[208]["width"], 240)
            self.assertEqual(after[208]["height"] - before[208]["height"], 160)
            for text in (211, 212):  # hint and warning stay under the trace box
                self.assertEqual(after[text]["top"] - before[text]["top"], 160)
                self.assertGreaterEqual(after[text]["top"], after[208]["bottom"])
            ui.resize(200, 120)
            shrunk = ui.info()
            self.assertEqual(shrunk["rect"]["width"], rect["width"])
            self.assertEqual(shrunk["rect"]["height"], rect["height"])
            ui.screenshot(harness.temp_dir("shot-") / "exception-resized.png")
        finally:
            ui.press("Ignore")
        self.assertExitCode(process.wait(60), 1)

    def test_no_dialog_without_failure_check(self):
        for value in ("", "no"):
            with self.subTest(failure_check=value):
                app = self.make_app(failure_check=value)
                result = app.run(timeout=60)
                # Not reported, but not a success either.
                self.assertExitCode(result, 1)
                self.assertTrue(standin.events(standin.read_log(self.log), "main_end"))


class MissingRuntimeDialogTest(harness.TestCase):
    """Runs picker_launcher (the launcher with a scripted folder picker) as the application:
    each Browse press answers with the next folder of VMBOOT_TEST_PICKED_FOLDERS."""

    def setUp(self):
        harness.clear_java_registry()
        self.product = "vmboot dialog test " + uuid.uuid4().hex[:8]
        self.log = harness.temp_dir("log-") / "standin.jsonl"

    def make_app(self, jvm_type="", runtime_keys=()):
        app = harness.App(64)
        shutil.copyfile(harness.tool_path("picker_launcher"), app.exe)
        standin.write_class(app.folder / "classes", MAIN,
                            standin.script(main=["println out started"]))
        app.write_ini("\n".join([
            "[Product Information]", "Product Name=%s" % self.product, "Product Code=42",
            "[Java Runtime Environment]", "Main Class=%s" % MAIN, "JVM Type=%s" % jvm_type,
            *runtime_keys, "[Class Path]", "Class Path=%s" % harness.win_path(app.folder / "classes"), ""]))
        return app

    def runtime(self, vm_dirs=("server",)):
        return standin.make_runtime(harness.temp_dir("rt-") / "jre", 64, vm_dirs=vm_dirs,
                                    log=harness.win_path(self.log))

    def start(self, app, folders, env=None, args=()):
        env = dict(env or {},
                   VMBOOT_TEST_PICKED_FOLDERS=";".join(harness.win_path(f) for f in folders))
        process = app.start(list(args), env=env, timeout=120)
        ui = harness.UiDriver()
        dialog = ui.wait_dialog(timeout=60, pid=process)
        return process, ui, dialog

    def per_user_ini(self):
        prefix = Path(harness.wine()["WINEPREFIX"])
        found = list(prefix.glob("drive_c/users/*/AppData/Roaming/%s/42/app.ini" % self.product))
        return found[0] if found else None

    def test_message_for_each_jvm_type(self):
        cases = [
            ("server", "The Java Runtime Environment (JRE) was not found. Please download and "
                       "install a JRE with a server JVM (latest version) from:"),
            ("", "The Java Runtime Environment (JRE) was not found. Please download and "
                 "install a JRE (latest version) from:"),
            ("favor_server", "The Java Runtime Environment (JRE) was not found. Please download "
                             "and install a JRE (latest version) from:"),
        ]
        for jvm_type, message in cases:
            with self.subTest(jvm_type=jvm_type):
                app = self.make_app(jvm_type)
                process, ui, dialog = self.start(app, [])
                try:
                    self.assertDialog(dialog, caption="JRE Not Found", icon="error")
                    self.assertEqual(control(dialog, 203)["text"], message)
                    self.assertEqual(control(dialog, 205)["text"], "https://openjdk.org/install/")
                    self.assertFalse(control(dialog, 1)["enabled"])
                finally:
                    ui.press("Cancel")
                self.assertExitCode(process.wait(60), -1, dialog)
                self.assertIsNone(self.per_user_ini())

    def test_ok_follows_the_picked_folder_and_the_choice_is_remembered(self):
        empty = harness.temp_dir("empty-")
        runtime = self.runtime()
        app = self.make_app()
        process, ui, dialog = self.start(app, [empty, runtime])
        self.assertFalse(control(dialog, 1)["enabled"])
        ui.press("Browse...")
        dialog = ui.info()
        self.assertEqual(control(dialog, 201)["text"], harness.win_path(empty))
        self.assertFalse(control(dialog, 1)["enabled"])
        ui.press("Browse...")
        dialog = ui.info()
        self.assertEqual(control(dialog, 201)["text"], harness.win_path(runtime))
        self.assertTrue(control(dialog, 1)["enabled"])
        ui.press("OK")
        result = process.wait(90)
        self.assertExitCode(result, 0, dialog)
        self.assertIn("started", result.stdout)

        ini = self.per_user_ini()
        self.assertIsNotNone(ini, "no per-user configuration written")
        text = ini_text(ini)
        self.assertIn("[Java Runtime Environment]", text)
        self.assertIn("JRE Path=%s\\" % harness.win_path(runtime), text)

        # The next start of the real launcher finds the runtime without asking.
        shutil.copyfile(harness.launcher_path(64), app.exe)
        again = app.run(timeout=60)
        self.assertExitCode(again, 0)
        self.assertIn("started", again.stdout)

    def test_a_runtime_outside_the_version_range_is_refused_with_the_reason(self):
        old = self.runtime()
        (old / "release").write_text('JAVA_VERSION="1.8.0_392"\n')
        new = self.runtime()
        (new / "release").write_text('JAVA_VERSION="17.0.9"\n')
        app = self.make_app(runtime_keys=("Minimum Version=17",))
        process, ui, dialog = self.start(app, [old, new])
        hint = control(dialog, 206)["text"]
        ui.press("Browse...")
        dialog = ui.info()
        self.assertFalse(control(dialog, 1)["enabled"])
        self.assertEqual(control(dialog, 206)["text"],
                         "Java 8.0.392 found; this application needs minimum version 17.0.")
        ui.press("Browse...")
        dialog = ui.info()
        self.assertTrue(control(dialog, 1)["enabled"])
        self.assertEqual(control(dialog, 206)["text"], hint)
        ui.press("OK")
        result = process.wait(90)
        self.assertExitCode(result, 0, dialog)
        self.assertIn("started", result.stdout)
        self.assertIn("JRE Path=%s\\" % harness.win_path(new), ini_text(self.per_user_ini()))

    def test_a_folder_outside_the_code_page_turns_an_existing_ansi_file_into_utf16(self):
        # A per-user file an older version wrote in the ANSI code page, with more in it.
        appdata = harness.temp_dir("appdata-")
        user_file = appdata / self.product / "42" / "app.ini"
        user_file.parent.mkdir(parents=True)
        user_file.write_bytes(b"; kept\r\n[Other]\r\nName=Caf\xe9\r\n"
                              b"[Java Runtime Environment]\r\nJRE Path=\r\n")
        runtime = standin.make_runtime(harness.temp_dir("rt-") / "\u7530\u4e2d jre", 64,
                                       log=harness.win_path(self.log))
        app = self.make_app()
        process, ui, dialog = self.start(app, [runtime], {"APPDATA": harness.win_path(appdata)})
        ui.press("Browse...")
        self.assertTrue(control(ui.info(), 1)["enabled"])
        ui.press("OK")
        result = process.wait(90)
        self.assertExitCode(result, 0, dialog)

        data = user_file.read_bytes()
        self.assertEqual(data[:2], b"\xff\xfe", data[:40])
        text = data.decode("utf-16")
        self.assertIn("JRE Path=%s\\\r\n" % harness.win_path(runtime), text)
        self.assertTrue(text.startswith("; kept\r\n[Other]\r\nName=Caf\u00e9\r\n"), text)
        # The next start of the real launcher finds it without asking.
        shutil.copyfile(harness.launcher_path(64), app.exe)
        again = app.run(env={"APPDATA": harness.win_path(appdata)}, timeout=60)
        self.assertExitCode(again, 0)
        self.assertIn("started", again.stdout)

    def test_server_only_refuses_a_client_runtime(self):
        client = self.runtime(vm_dirs=("client",))
        app = self.make_app("server")
        process, ui, dialog = self.start(app, [client])
        try:
            ui.press("Browse...")
            dialog = ui.info()
            self.assertEqual(control(dialog, 201)["text"], harness.win_path(client))
            self.assertFalse(control(dialog, 1)["enabled"])
        finally:
            ui.close()
        self.assertExitCode(process.wait(60), -1, dialog)
        self.assertIsNone(self.per_user_ini())

    def pair_product(self, app):
        recorder = app.folder / "pair product.exe"
        shutil.copyfile(harness.tool_path("pair_recorder"), recorder)
        return recorder, app.folder / "pair-record.txt"

    def test_a_pick_for_the_other_processor_hands_over_and_both_files_remember_it(self):
        other = harness.temp_dir("rt-") / "jre32"
        (other / "bin" / "client").mkdir(parents=True)
        shutil.copyfile(harness.tool_path("probe_x86.dll"), other / "bin" / "client" / "jvm.dll")
        app = self.make_app()
        recorder, record = self.pair_product(app)
        with open(app.ini, "ab") as ini:
            ini.write(b"[Application]\r\nPair Product=pair product.exe\r\n"
                      b"Pair Return Code=Yes\r\n")
        env = {"VMBOOT_PAIR_RECORD": harness.win_path(record), "VMBOOT_PAIR_EXIT_CODE": "7"}
        process, ui, dialog = self.start(app, [other], env, ["one", "two words"])
        ui.press("Browse...")
        self.assertTrue(control(ui.info(), 1)["enabled"])
        ui.press("OK")
        result = process.wait(90)
        # The same start hands over, with its own command line.
        self.assertExitCode(result, 7, dialog)
        self.assertEqual(record.read_text(encoding="utf-8").splitlines(),
                         [app.command_line(["one", "two words"])])
        expected = "JRE Path=%s\\" % harness.win_path(other)
        ini = self.per_user_ini()
        self.assertIsNotNone(ini)
        self.assertIn(expected, ini_text(ini))
        pair_ini = ini.parent / "pair product.ini"
        self.assertTrue(pair_ini.is_file(), "the pair product's per-user file")
        self.assertIn(expected, ini_text(pair_ini))

    def test_a_service_remembers_the_pick_beside_both_executables(self):
        runtime = self.runtime()
        app = self.make_app()
        self.pair_product(app)
        with open(app.ini, "ab") as ini:
            ini.write(b"[Application]\r\nApplication Type=service\r\n"
                      b"Pair Product=pair product.exe\r\n")
        process, ui, dialog = self.start(app, [runtime])
        ui.press("Browse...")
        ui.press("OK")
        result = process.wait(90)
        self.assertExitCode(result, 0, dialog)
        self.assertIn("started", result.stdout)
        expected = "JRE Path=%s\\" % harness.win_path(runtime)
        for ini in (app.ini, app.folder / "pair product.ini"):
            self.assertIn(expected, ini_text(ini), ini)
        self.assertIsNone(self.per_user_ini(), "a service keeps nothing per user")
        # The shipped launcher starts again without asking.
        shutil.copyfile(harness.launcher_path(64), app.exe)
        again = app.run(timeout=60)
        self.assertExitCode(again, 0)
        self.assertIn("started", again.stdout)

    def test_cancel_after_a_usable_pick_remembers_nothing(self):
        runtime = self.runtime()
        app = self.make_app()
        process, ui, dialog = self.start(app, [runtime])
        ui.press("Browse...")
        self.assertTrue(control(ui.info(), 1)["enabled"])
        ui.press("Cancel")
        self.assertExitCode(process.wait(60), -1, dialog)
        self.assertIsNone(self.per_user_ini())


def reg_add(view, key, name, data, kind="REG_SZ"):
    """One value under HKLM (view 64 or 32) or, for a key starting with HKCU, the user's."""
    full = key if key.startswith("HKCU\\") else "HKLM\\" + key
    result = harness.run_wine(["reg", "add", full, "/v", name, "/t", kind, "/d", str(data),
                               "/f", "/reg:%d" % view])
    if result.returncode != 0:
        raise harness.HarnessError("reg add failed: %s" % result.stdout.decode(errors="replace"))


TEMURIN_KEY = "Software\\Eclipse Adoptium\\JDK\\17.0.9.9\\hotspot\\MSI"

DETAILS = {
    "en": ("Details >>", "below the minimum version",
           "provider not allowed"),
    "de": ("Details >>", "älter als die Mindestversion",
           "Anbieter nicht zugelassen"),
}


class RuntimeReportTest(harness.TestCase):
    """The missing-runtime dialog's Details list: every runtime the search saw, and why it
    was not taken, in the system's language."""

    def setUp(self):
        harness.clear_java_registry()
        self.addCleanup(harness.clear_java_registry)

    def test_details_list_the_runtimes_seen_in_english_and_german(self):
        old = standin.make_runtime(harness.temp_dir("rt-") / "jre16", 64)
        temurin = standin.make_runtime(harness.temp_dir("rt-") / "temurin", 64,
                                       vm_dirs=("server",))
        reg_add(64, "Software\\IBM\\Java2 Runtime Environment\\1.6", "JavaHome",
                harness.win_path(old))
        reg_add(64, TEMURIN_KEY, "Path", harness.win_path(temurin) + "\\")
        # The installer's feature flag beside the folder: a number, never a folder.
        reg_add(64, TEMURIN_KEY, "JavaHome", 1, "REG_DWORD")
        for language, env in (("en", {}), ("de", {"LC_ALL": "de_DE.UTF-8"})):
            with self.subTest(language=language):
                button, too_old, provider = DETAILS[language]
                app = harness.App(64)
                # IBM runtimes only: the vendors' runtimes carry on Sun's.
                app.write_ini("[Java Runtime Environment]\nMain Class=%s\nMinimum Version=1.8\n"
                              "VM Provider=ibm\n[Class Path]\nClass Path=x.jar\n" % MAIN)
                process = app.start(env=env, timeout=120)
                ui = harness.UiDriver()
                dialog = ui.wait_dialog(timeout=60, pid=process)
                try:
                    self.assertFalse(control(dialog, 221)["visible"], dialog)
                    before = dialog["rect"]["height"]
                    ui.press(button)
                    dialog = ui.info()
                    self.assertTrue(control(dialog, 221)["visible"], dialog)
                    self.assertGreater(dialog["rect"]["height"], before)
                    lines = control(dialog, 221)["text"].splitlines()
                    # No "JRE Path" is set: the launcher folder is probed, but not reported.
                    self.assertEqual(lines, [
                        "%s - HKLM\\Software\\IBM\\Java2 Runtime Environment\\1.6 "
                        "(64-bit): %s (1.6, JRE)" % (too_old, harness.win_path(old)),
                        "%s - HKLM\\%s (64-bit): %s\\ (17.0.9.9, JDK)"
                        % (provider, TEMURIN_KEY, harness.win_path(temurin)),
                    ], dialog)
                    if language == "en":
                        ui.screenshot(harness.temp_dir("shot-") / "missing-details.png")
                finally:
                    ui.press(id=2)
                self.assertExitCode(process.wait(60), -1, dialog)


if __name__ == "__main__":
    harness.main()
