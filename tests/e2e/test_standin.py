"""The stand-in runtime's fixtures (standin.py) as launcher tests use them: runtime folders
built by make_runtime, scripted classes in folders and stored jars, and the log, driven by
standin_host's probe mode (a minimal launcher of our own) under Wine."""

import unittest

import harness
import standin


class Probe:
    """Runs `standin_host probe <jvm.dll> <class path> <main class> args...` of one bitness."""

    def __init__(self, bitness):
        harness.require_bitness(bitness)
        self.bitness = bitness
        self.folder = harness.temp_dir("standin-")
        self.log = self.folder / "log.jsonl"

    def run(self, runtime, class_path, main_class, args=(), kind="server", env=None):
        host = standin.standin_dir(self.bitness) / "standin_host.exe"
        full_env = {standin.LOG_ENV: harness.win_path(self.log)}
        full_env.update(env or {})
        result = harness.run_wine([host, "probe", harness.win_path(runtime / "bin" / kind / "jvm.dll"),
                                   class_path, main_class] + list(args), env=full_env, timeout=60)
        code = result.returncode - 256 if result.returncode > 127 else result.returncode
        return code, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")

    def events(self):
        return standin.read_log(self.log)


class StandinFixtureTest(unittest.TestCase):
    def test_jar_program_runs_with_fixture_settings(self):
        for bitness in (64, 32):
            with self.subTest(bitness=bitness):
                probe = Probe(bitness)
                runtime = standin.make_runtime(probe.folder / "jre", bitness, vm_dirs=("client", "server"),
                                               default_stack_size=3 << 20)
                jar = standin.write_jar(probe.folder / "lib" / "app.jar", {
                    "com.example.App": standin.script(main=["print-args out", "println err done", "exit 5"]),
                })
                code, out, err = probe.run(runtime, harness.win_path(jar), "com/example/App",
                                           ["eins", "zwei drei", "Grüße"], kind="client")
                self.assertEqual(code, 5, out + err)
                self.assertIn("eins\r\nzwei drei\r\nGrüße\r\n", out)
                self.assertIn("done\r\n", err)
                log = probe.events()
                self.assertEqual(standin.events(log, "default_init_args")[0]["java_stack_size"], 3 << 20)
                self.assertEqual(standin.options(log), ["-Djava.class.path=" + harness.win_path(jar), "abort", "exit"])
                self.assertEqual(standin.events(log, "main")[0]["args"], ["eins", "zwei drei", "Grüße"])
                self.assertEqual(len(standin.events(log, "check_and_load_main", name="com.example.App")), 1)
                self.assertEqual(standin.events(log, "exit_hook")[0]["code"], 5)

    def test_folder_class_without_launcher_helper(self):
        probe = Probe(64)
        runtime = standin.make_runtime(probe.folder / "jre", 64, launcher_helper=False)
        classes = probe.folder / "classes"
        standin.write_class(classes, "com.example.App", standin.script(main=["thread 300", "mark main-done"]))
        code, out, err = probe.run(runtime, harness.win_path(classes), "com/example/App")
        self.assertEqual(code, 0, out + err)
        log = probe.events()
        self.assertEqual(standin.events(log, "find_class", name="sun/launcher/LauncherHelper")[0]["found"], False)
        self.assertTrue(standin.events(log, "find_class", name="com/example/App", found=True))
        names = [e["event"] for e in log]
        # DestroyJavaVM returned only after the program's thread had ended.
        self.assertLess(names.index("thread_end"), names.index("destroyed"))

    def test_creation_failure_and_missing_exports(self):
        probe = Probe(32)
        failing = standin.make_runtime(probe.folder / "failing", 32, create_result=-4)
        code, out, _ = probe.run(failing, ".", "com/example/App")
        self.assertEqual(code, 83, out)
        self.assertIn("HOST create failed -4", out)
        self.assertEqual(standin.events(probe.events(), "create_result")[-1]["result"], -4)
        no_default = standin.make_runtime(probe.folder / "nodefault", 32, variant="nodefault")
        code, out, _ = probe.run(no_default, ".", "com/example/App")
        self.assertEqual(code, 82, out)

    def test_declared_unknown_option_and_log_named_in_config(self):
        probe = Probe(64)
        classes = probe.folder / "classes"
        option = "-Djava.class.path=" + harness.win_path(classes)
        runtime = standin.make_runtime(probe.folder / "jre", 64, unknown_options=[option],
                                       log=harness.win_path(probe.folder / "cfg-log.jsonl"))
        code, _, err = probe.run(runtime, harness.win_path(classes), "com/example/App",
                                 env={standin.LOG_ENV: ""})
        self.assertEqual(code, 83)
        self.assertIn("Unrecognized option: " + option, err)
        log = standin.read_log(probe.folder / "cfg-log.jsonl")
        self.assertEqual(standin.events(log, "create_result")[-1]["result"], -1)

    def test_splash_variants(self):
        for splash in standin.SPLASH_VARIANTS:
            folder = harness.temp_dir("splash-")
            runtime = standin.make_runtime(folder, 64, splash=splash)
            self.assertTrue((runtime / "bin" / "splashscreen.dll").is_file())
        with self.assertRaises(ValueError):
            standin.make_runtime(harness.temp_dir("bad-"), 64, variant="nosuch")


if __name__ == "__main__":
    unittest.main()
