"""vmbootcheck explains a launch: for the same fixtures, its JSON report names the runtime,
options, arguments and outcome that the launcher then really produces with the stand-in."""

import json
import shutil
import subprocess

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
        self.assertEqual(standin.options(log), report["vmOptions"] + ["abort", "exit"])
        self.assertEqual(standin.events(log, "main")[0]["args"], report["arguments"])

    def test_typical_start_with_private_runtime(self):
        standin.make_runtime(self.app.folder / self.private, self.bitness)
        lib = self.app.folder / "lib"
        for name in ("a.jar", "b.jar"):
            standin.write_jar(lib / name, {})
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "Virtual Machine Parameters=-Xmx50p -Dmode=\"two words\" -Xss2m\n"
                           "[Class Path]\nClass Path=classes;lib\\*.jar\n"
                           "[Application]\nCmd=extra \"c d\"\n")
        report = self.check(["x", "ü"])
        self.assertEqual(report["outcome"], "run-in-process")
        self.assertEqual(report["arguments"], ["x", "ü", "extra", "c d"])
        self.assertEqual(report["vmThreadStackSize"], 2 * 1024 * 1024)
        self.assertTrue(any(o.startswith("-Xmx") and o.endswith("K") for o in report["vmOptions"]),
                        report["vmOptions"])
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
                         report["vmOptions"] + ["abort", "exit"])

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

    def test_missing_configuration_stops_with_message(self):
        report = self.check()
        self.assertEqual(report["outcome"], "stop")
        self.assertEqual(report["exitCode"], -1)
        self.assertEqual(report["message"], "Main class was not specified in INI file.")
        result, dialog = self.launch()
        self.assertEqual(result.code, -1)
        self.assertEqual(dialog["message"], report["message"])

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
