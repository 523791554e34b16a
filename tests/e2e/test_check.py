"""vmbootcheck explains a launch: for the same fixtures, its JSON report names the runtime,
options, arguments and outcome that the launcher then really produces with the stand-in."""

import json
import shutil
import subprocess
import zipfile

import harness
import standin

APP_CLASS = "com.example.App"


class CheckAgreesWithLauncher:
    bitness = 64

    def setUp(self):
        self.app = harness.App(self.bitness, name="checked")
        self.log = self.app.folder / "standin.log"
        self.env = {standin.LOG_ENV: harness.win_path(self.log)}
        self.private = "jre64" if self.bitness == 64 else "jre"
        standin.write_class(self.app.folder / "classes", APP_CLASS,
                            standin.script(main=["print-args out"]))

    def check(self, args=(), env=None):
        """Runs vmbootcheck --json on the launcher copy; returns the parsed report."""
        tool = harness.dist_dir() / ("vmbootcheck%d.exe" % self.bitness)
        environment = harness.wine()
        environment.update(env or {})
        result = subprocess.run(["wine", str(tool), "--json", harness.win_path(self.app.exe)]
                                + list(args), env=environment, stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=120, cwd=self.app.folder)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        return json.loads(result.stdout.decode("utf-8"))

    def launch(self, args=(), press="Cancel"):
        """Runs the launcher; answers a dialog if one appears. Returns (result, dialog)."""
        process = self.app.start(args, env=self.env, timeout=90)
        ui = harness.UiDriver()
        dialog = None
        try:
            dialog = ui.wait_dialog(timeout=60, pid=process)
            buttons = dialog["buttons"]
            ui.press(press if press in buttons else buttons[0])
        except harness.ProcessEnded:
            pass
        return process.wait(90), dialog

    def assert_same_launch(self, report, args=()):
        """The report's runtime, options and arguments are what the stand-in VM received."""
        result, dialog = self.launch(args)
        self.assertIsNone(dialog, dialog)
        self.assertEqual(result.code, report["exitCode"], result.describe())
        log = standin.read_log(self.log)
        created = standin.events(log, "create")
        self.assertEqual(len(created), 1, log)
        self.assertEqual(created[0]["ql_jvm_path"].lower(), report["vmLibrary"].lower())
        self.assertEqual(standin.options(log), ["vfprintf"] + report["vmOptions"] + ["abort", "exit"])
        self.assertEqual(standin.events(log, "main")[0]["args"], report["arguments"])

    def test_typical_start_with_private_runtime(self):
        standin.make_runtime(self.app.folder / self.private, self.bitness)
        lib = self.app.folder / "lib"
        for name in ("a.jar", "b.jar"):
            standin.write_jar(lib / name, {})
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "Virtual Machine Parameters=-Xmx50p -Dmode=\"two words\" -Xss2m "
                           "-Dhome=%QL_APP_HOME%\n"
                           "[Class Path]\nClass Path=classes;lib\\*.jar\n"
                           "[Application]\nCmd=extra \"c d\"\n")
        report = self.check(["x", "ü"])
        self.assertEqual(report["outcome"], "run-in-process")
        self.assertEqual(report["arguments"], ["x", "ü", "extra", "c d"])
        self.assertEqual(report["vmThreadStackSize"], 2 * 1024 * 1024)
        self.assertTrue(any(o.startswith("-Xmx") and o.endswith("K") for o in report["vmOptions"]),
                        report["vmOptions"])
        self.assertIn("-Dhome=" + harness.win_path(self.app.folder), report["vmOptions"])
        stages = {d["stage"] for d in report["decisions"]}
        self.assertTrue({"config", "discovery"} <= stages, stages)
        self.assert_same_launch(report, ["x", "ü"])

    def test_java_command_option_is_named_and_left_out(self):
        standin.make_runtime(self.app.folder / self.private, self.bitness)
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "Virtual Machine Parameters=-cp lib\\x.jar -Dkeep=1\n"
                           "[Class Path]\nClass Path=classes\n")
        message = ('"-cp" in Virtual Machine Parameters is a java command option. Use the INI '
                   'key "Class Path" instead.')
        report = self.check()
        self.assertEqual(report["message"], message)
        self.assertIn("-Dkeep=1", report["vmOptions"])
        self.assertFalse({"-cp", "lib\\x.jar"} & set(report["vmOptions"]), report["vmOptions"])
        # As every message of the option step, it does not end the launch.
        result, dialog = self.launch(press="OK")
        self.assertEqual(dialog["message"], message)
        self.assertEqual(result.code, 0, result.describe())
        self.assertEqual(standin.options(standin.read_log(self.log)),
                         ["vfprintf"] + report["vmOptions"] + ["abort", "exit"])

    def test_java_launcher_options_are_taken_as_java_takes_them(self):
        runtime = standin.make_runtime(self.app.folder / self.private, self.bitness,
                                       vm_dirs=("client", "server"))
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "Virtual Machine Parameters=-server -showversion -XshowSettings:vm "
                           "-Xdiag --dry-run -splash:pic.png -version -Dkeep=1\n"
                           "[Class Path]\nClass Path=classes\n")
        report = self.check()
        taken = {d["option"]: d["taken"] for d in report["decisions"]
                 if d["what"] == "java-option"}
        self.assertEqual(taken, {
            "-server": "server VM preferred",
            "-showversion": "version printed before main",
            "-XshowSettings:vm": "settings printed before main",
            "-Xdiag": "passed as -Dsun.java.launcher.diag=true",
            "--dry-run": "main class loaded, not run",
            "-splash:pic.png": "splash image",
            "-version": "left out: java ends before main"})
        self.assertEqual(report["vmLibrary"].lower(),
                         harness.win_path(runtime / "bin" / "server" / "jvm.dll").lower())
        self.assertEqual(report["vmOptions"][1:], [
            "-Dsun.java.launcher.diag=true", "-Dkeep=1", "-Dsun.java.command=" + APP_CLASS,
            "-Dsun.java.launcher=SUN_STANDARD"])
        self.assertEqual(report["message"], '"-version" in Virtual Machine Parameters would end '
                         'java before the program starts. It is left out; remove it from the '
                         'INI file.')
        splash = [d for d in report["decisions"] if d["stage"] == "splash"]
        self.assertTrue(any(d.get("image", "").endswith("\\pic.png") for d in splash), splash)
        # Without -server the search order puts the client VM first, as before.
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "Virtual Machine Parameters=-client\n"
                           "[Class Path]\nClass Path=classes\n")
        self.assertEqual(self.check()["vmLibrary"].lower(),
                         harness.win_path(runtime / "bin" / "client" / "jvm.dll").lower())

    def test_registered_runtime_chosen_by_version(self):
        older = standin.make_runtime(harness.temp_dir("older-"), self.bitness)
        newer = standin.make_runtime(harness.temp_dir("newer-"), self.bitness)
        view = "" if self.bitness == 64 else "Wow6432Node\\"
        harness.clear_java_registry()
        try:
            harness.reg_import(
                '[HKEY_LOCAL_MACHINE\\Software\\%sJavaSoft\\JRE\\1.8]\n"JavaHome"="%s"\n'
                '[HKEY_LOCAL_MACHINE\\Software\\%sJavaSoft\\JRE\\11.0.2]\n"JavaHome"="%s"\n'
                % (view, harness.win_path(older).replace("\\", "\\\\"),
                   view, harness.win_path(newer).replace("\\", "\\\\")))
            self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                               "Preferred versions=1.8\n[Class Path]\nClass Path=classes\n")
            report = self.check()
            self.assertEqual(report["outcome"], "run-in-process")
            self.assertTrue(report["vmLibrary"].lower().startswith(
                harness.win_path(older).lower()), report["vmLibrary"])
            self.assert_same_launch(report)
        finally:
            harness.clear_java_registry()

    def test_class_sharing_only_on_hotspot_from_java_13(self):
        runtime = standin.make_runtime(self.app.folder / self.private, self.bitness)
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "[Class Path]\nClass Path=classes\n")
        local = harness.temp_dir("local-")
        self.env["LOCALAPPDATA"] = harness.win_path(local)
        # A Java 8 runtime is refused on its version; the stand-in VM is not HotSpot.
        for version, reason in (("1.8.0_392", "the runtime is older than Java 13"),
                                ("17.0.9", "the VM is not HotSpot")):
            with self.subTest(version):
                self.log.unlink(missing_ok=True)
                (runtime / "release").write_text('JAVA_VERSION="%s"\n' % version)
                report = self.check(env=self.env)
                self.assertEqual([(d["what"], d["reason"]) for d in report["decisions"]
                                  if d["stage"] == "sharing"], [("off", reason)])
                self.assert_same_launch(report)
                self.assertFalse((local / "vmboot").exists())

    def test_missing_configuration_stops_with_message(self):
        report = self.check()
        self.assertEqual(report["outcome"], "stop")
        self.assertEqual(report["exitCode"], -1)
        self.assertEqual(report["message"], "Main class was not specified in INI file.")
        result, dialog = self.launch()
        self.assertEqual(result.code, -1)
        self.assertEqual(dialog["message"], report["message"])

    def test_class_path_that_matches_nothing_stops_naming_the_entries(self):
        # The application's jar is missing: no VM is created without the class path.
        standin.make_runtime(self.app.folder / self.private, self.bitness)
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "Virtual Machine Parameters=-Dmode=x\n"
                           "[Class Path]\nClass Path=app.jar;;lib\\*.jar\n")
        report = self.check()
        self.assertEqual(report["outcome"], "stop")
        self.assertEqual(report["exitCode"], -1)
        self.assertEqual(report["message"],
                         "None of the Java Class Path entries in the INI file was found:\n"
                         "app.jar\nlib\\*.jar\nThe application may be damaged; reinstall it.")
        missing = [d["entry"] for d in report["decisions"] if d["what"] == "entry-not-found"]
        self.assertEqual(missing, ["app.jar", "lib\\*.jar"])
        result, dialog = self.launch()
        self.assertEqual(result.code, -1, result.describe())
        self.assertEqual(dialog["message"], report["message"])
        self.assertEqual(standin.events(standin.read_log(self.log), "create"), [])

    def test_keys_the_launcher_would_ignore_are_pointed_out(self):
        standin.make_runtime(self.app.folder / self.private, self.bitness)
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "Virtual Machine Paramters=-Xmx1g\n"
                           "[Class Path]\nClass Path=classes\n"
                           "[Application]\nJRE Path=jre64\nCmd=x\n[Splash]\nImage=s.png\n")
        report = self.check()
        self.assertEqual(report["outcome"], "run-in-process")
        noted = [(d["what"], d["section"], d["key"], d["belongsIn"])
                 for d in report["decisions"] if d["stage"] == "config"
                 and d["what"] in ("unknown-key", "misplaced-key", "unknown-section")]
        self.assertEqual(noted, [
            ("unknown-key", "Java Runtime Environment", "Virtual Machine Paramters", ""),
            ("misplaced-key", "Application", "JRE Path", "Java Runtime Environment"),
            ("unknown-section", "Splash", "", "")])

    def test_manifest_attributes_only_java_jar_acts_on_are_pointed_out(self):
        standin.make_runtime(self.app.folder / self.private, self.bitness)
        lib = self.app.folder / "lib"
        lib.mkdir()
        manifest = ("Manifest-Version: 1.0\r\nMain-Class: com.example.App\r\n"
                    "Add-Opens: java.desktop/sun.awt java.base/java.lang\r\n"
                    "Launcher-Agent-Class: com.example.Agent\r\n\r\n")
        # Compressed as the jar tool does; a jar before it without the class is passed over.
        with zipfile.ZipFile(lib / "b-app.jar", "w", zipfile.ZIP_DEFLATED) as jar:
            jar.writestr("META-INF/MANIFEST.MF", manifest)
            jar.writestr("com/example/App.class", b"\xca\xfe\xba\xbe")
        with zipfile.ZipFile(lib / "a-util.jar", "w", zipfile.ZIP_DEFLATED) as jar:
            jar.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n"
                         "Add-Opens: java.base/java.util\r\n\r\n")
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "Virtual Machine Parameters=--add-opens java.base/java.lang=ALL-UNNAMED\n"
                           "[Class Path]\nClass Path=lib\\a-util.jar;lib\\b-app.jar\n")
        report = self.check()
        self.assertEqual(report["outcome"], "run-in-process")
        noted = [(d["jar"].rsplit("\\", 1)[-1], d["attribute"], d["value"])
                 for d in report["decisions"] if d["what"] == "manifest-attribute-not-carried"]
        self.assertEqual(noted, [("b-app.jar", "Add-Opens", "java.desktop/sun.awt"),
                                 ("b-app.jar", "Launcher-Agent-Class", "com.example.Agent")])

    def test_no_runtime_means_the_missing_runtime_dialog(self):
        harness.clear_java_registry()
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "[Class Path]\nClass Path=classes\n")
        report = self.check()
        self.assertEqual(report["outcome"], "missing-runtime-dialog")
        self.assertEqual(report["exitCode"], -1)
        result, dialog = self.launch(press="Cancel")
        self.assertEqual(result.code, -1)
        self.assertIsNotNone(dialog, "the launcher showed no missing-runtime dialog")
        self.assertIn("Java Runtime Environment (JRE) was not found", dialog["message"])

    def test_damaged_own_runtime_is_named_instead_of_a_download(self):
        # The shipped folder without its files, or "JRE Path" naming a folder of the
        # application that is gone: reinstalling mends it, a downloaded Java would not.
        harness.clear_java_registry()
        shipped = self.app.folder / self.private
        for label, jre_path, folder in (("shipped folder empty", "", shipped),
                                        ("JRE Path gone", "JRE Path=runtime\n",
                                         self.app.folder / "runtime")):
            with self.subTest(label):
                if not jre_path:
                    shipped.mkdir()
                self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                                   + jre_path + "[Class Path]\nClass Path=classes\n")
                expected = ("The Java Runtime Environment (JRE) shipped with this application "
                            "is missing or damaged:\n%s\\\nPlease reinstall the application."
                            % harness.win_path(folder))
                report = self.check()
                self.assertEqual(report["outcome"], "missing-runtime-dialog")
                shown = [d["message"] for d in report["decisions"]
                         if d["what"] == "missing-runtime-dialog"]
                self.assertEqual(shown, [expected])
                result, dialog = self.launch(press="Cancel")
                self.assertEqual(result.code, -1)
                # The dialog's message, before the link and the browse hint.
                self.assertTrue(dialog["message"].lower().startswith(expected.lower() + "\n"),
                                dialog["message"])
                if not jre_path:
                    shipped.rmdir()

    def test_other_processor_runtime_is_handed_over(self):
        other = 32 if self.bitness == 64 else 64
        rt = standin.make_runtime(self.app.folder / "rt", other)
        shutil.copyfile(harness.tool_path("pair_recorder", 64), self.app.folder / "pair.exe")
        record = self.app.folder / "pair.txt"
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\nJRE Path=rt\n"
                           "[Class Path]\nClass Path=classes\n"
                           "[Application]\nPair Product=pair.exe\n")
        report = self.check(["h"])
        self.assertEqual(report["outcome"], "hand-over")
        self.assertTrue(report["handOver"])
        self.assertTrue(report["vmLibrary"].lower().startswith(harness.win_path(rt).lower()))
        self.env["VMBOOT_PAIR_RECORD"] = harness.win_path(record)
        result, dialog = self.launch(["h"])
        self.assertIsNone(dialog, dialog)
        self.assertEqual(result.code, 0, result.describe())
        for _ in range(100):
            if record.exists():
                break
            harness.time.sleep(0.1)
        self.assertTrue(record.read_text(encoding="utf-8").strip().endswith(" h"))
        self.assertEqual(standin.read_log(self.log), [])


class CheckAgreesWithLauncher64(CheckAgreesWithLauncher, harness.TestCase):
    bitness = 64


class CheckAgreesWithLauncher32(CheckAgreesWithLauncher, harness.TestCase):
    bitness = 32


if __name__ == "__main__":
    harness.main()
