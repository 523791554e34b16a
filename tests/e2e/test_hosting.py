"""VM hosting end to end: the launcher under Wine with the stand-in runtime, both builds.

Each test assembles an application folder (launcher copy, .ini, jar with a scripted main
class, the stand-in runtime shipped beside the executable) and reads back from the stand-in's
log what the launcher did to the VM: the options in order, the stack of the thread that
created it, the environment it saw, the main class and main's arguments."""

import re
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import harness  # noqa: E402
import standin  # noqa: E402

MAIN = "com.example.App"
MIB = 1024 * 1024


def physical_memory_bytes():
    for line in Path("/proc/meminfo").read_text().splitlines():
        if line.startswith("MemTotal:"):
            return int(line.split()[1]) * 1024
    raise RuntimeError("no MemTotal")


class HostingTests:
    """The tests; mixed into one TestCase per build (BITS)."""

    BITS = 64

    @classmethod
    def setUpClass(cls):
        try:
            harness.launcher_path(cls.BITS)
            standin.standin_dir(cls.BITS)
        except (harness.HarnessError, FileNotFoundError) as missing:
            raise unittest.SkipTest(str(missing))

    # --- fixtures ---------------------------------------------------------------------------

    def make_app(self, main=(), classes=None, runtime=None, jre_keys="", app_keys="",
                 class_path="app.jar", main_class=MAIN, parameters=None):
        """An application folder with the stand-in runtime shipped as jre64\\ (jre\\)."""
        app = harness.App(self.BITS)
        self.runtime = standin.make_runtime(
            app.folder / ("jre64" if self.BITS == 64 else "jre"), self.BITS, **(runtime or {}))
        if classes is None:
            classes = {MAIN: standin.script(main=list(main))}
        standin.write_jar(app.folder / "app.jar", classes)
        lines = ["[Java Runtime Environment]", "Main Class=%s" % main_class]
        if parameters is not None:
            lines.append("Virtual Machine Parameters=%s" % parameters)
        lines += [jre_keys, "[Class Path]", "Class Path=%s" % class_path, "[Application]",
                  app_keys]
        app.write_ini("\n".join(lines) + "\n", encoding="utf-16")
        self.log_path = app.folder / "standin.log"
        return app

    def env(self, extra=None):
        env = {standin.LOG_ENV: harness.win_path(self.log_path)}
        env.update(extra or {})
        return env

    def run_app(self, app, args=(), env=None, cwd=None, timeout=60):
        result = app.run(args, env=self.env(env), cwd=cwd, timeout=timeout)
        log = standin.read_log(self.log_path)
        self.assertFalse(result.timed_out, "timed out\n" + result.describe())
        self.assertEqual(standin.events(log, "jni_warning"), [],
                         "a JNI call was made with an exception pending")
        return result, log

    def run_expecting_dialog(self, app, args=(), env=None):
        result, dialog = self.run_with_dialog(app, args, env=self.env(env))
        return result, dialog, standin.read_log(self.log_path)

    def assertMessage(self, dialog, expected, result=None):
        """The message box text (its final line break aside) and its error icon."""
        info = self.context(result, dialog)
        self.assertEqual(dialog["message"].rstrip("\r\n"), expected, info)
        self.assertEqual(dialog["icon"], "error", info)

    def vm_options(self, log):
        """The options after the VM's print hook, which comes first: the VM reports a bad
        option as soon as it reads it."""
        options = standin.options(log)
        self.assertEqual(options[:1], ["vfprintf"], options)
        return options[1:]

    def win(self, *parts):
        return "\\".join([harness.win_path(parts[0])] + list(parts[1:]))

    @staticmethod
    def matching(log, event_name, **fields):
        """Events called `event_name` whose fields equal `fields` (a field may be "name")."""
        return [e for e in log if e.get("event") == event_name
                and all(e.get(k) == v for k, v in fields.items())]

    def one(self, log, event_name, **fields):
        found = self.matching(log, event_name, **fields)
        self.assertEqual(len(found), 1,
                         "expected one %s %s event in %s" % (event_name, fields, log))
        return found[0]

    def index(self, log, event_name, **fields):
        for i, event in enumerate(log):
            if event.get("event") == event_name and all(event.get(k) == v
                                                         for k, v in fields.items()):
                return i
        self.fail("no %s event in %s" % (event_name, log))

    # --- the typical start ------------------------------------------------------------------

    def test_typical_start(self):
        app = self.make_app(class_path="lib\\*.jar", parameters="-Xmx50p")
        (app.folder / "app.jar").rename(app.folder / "spare")
        (app.folder / "lib").mkdir()
        (app.folder / "spare").rename(app.folder / "lib" / "app.jar")
        standin.write_jar(app.folder / "lib" / "util.jar", {"com.example.Util": "x"})
        result, log = self.run_app(app)
        self.assertExitCode(result, 0)

        options = self.vm_options(log)
        self.assertEqual(len(options), 6, options)
        self.assertTrue(options[0].startswith("-Djava.class.path="), options)
        entries = options[0][len("-Djava.class.path="):]
        # No empty entry: the VM would read one as the current folder.
        self.assertEqual(sorted(entries.split(";")),
                         [self.win(app.folder, "lib", "app.jar"),
                          self.win(app.folder, "lib", "util.jar")])
        heap = re.fullmatch(r"-Xmx(\d+)K", options[1])
        self.assertIsNotNone(heap, options)
        if self.BITS == 64:
            # Half the physical memory in KiB; Wine counts the total a few pages differently.
            half = (physical_memory_bytes() >> 10) // 2
            self.assertAlmostEqual(int(heap.group(1)), half, delta=half // 10000)
        else:
            self.assertLess(int(heap.group(1)), 1 << 22)  # half of a 32-bit amount
            self.assertGreater(int(heap.group(1)), 0)
        # The main class and arguments, where jcmd, jps and crash reports look for them.
        self.assertEqual(options[2:], ["-Dsun.java.command=" + MAIN,
                                       "-Dsun.java.launcher=SUN_STANDARD", "abort", "exit"])
        hooks = [e["extra_info"] for e in standin.events(log, "option")]
        self.assertEqual(hooks, [True, False, False, False, False, True, True])

        create = self.one(log, "create")
        self.assertEqual(create["version"], 0x00010002)
        self.assertFalse(create["ignore_unrecognized"])
        self.one(log, "check_and_load_main", name=MAIN, found=True)
        self.assertEqual(self.one(log, "main")["args"], [])  # an empty String[]
        # The VM was created on a thread of its own and destroyed at teardown, on another.
        self.assertNotEqual(self.one(log, "destroy")["tid"], create["tid"])
        self.one(log, "destroyed")
        self.assertIn(create["tid"], [e["tid"] for e in standin.events(log, "detach", result=0)])

    def test_option_order_with_library_path(self):
        app = self.make_app(jre_keys="Library Path=native", parameters="-Dfirst=1 -Dsecond=2")
        result, log = self.run_app(app)
        self.assertExitCode(result, 0)
        options = self.vm_options(log)
        self.assertTrue(options[0].startswith("-Djava.library.path=native;%s\\;"
                                              % harness.win_path(app.folder)), options)
        self.assertTrue(options[0].endswith(";%s;." % self.win(self.runtime, "lib")), options)
        self.assertNotIn(";;", options[0])
        self.assertEqual(options[1], "-Djava.class.path=%s" % self.win(app.folder, "app.jar"))
        self.assertEqual(options[2:], ["-Dfirst=1", "-Dsecond=2", "-Dsun.java.command=" + MAIN,
                                       "-Dsun.java.launcher=SUN_STANDARD", "abort", "exit"])

    # --- the VM thread's stack --------------------------------------------------------------

    def test_stack_size_from_xss(self):
        app = self.make_app(parameters="-Xss1m -Xss2m", runtime={"default_stack_size": 3 * MIB})
        result, log = self.run_app(app)
        self.assertExitCode(result, 0)
        self.assertEqual(self.vm_options(log)[1:3], ["-Xss1m", "-Xss2m"])  # both passed on
        self.assertEqual(standin.events(log, "default_init_args"), [])
        self.assertEqual(self.one(log, "create")["stack_reserve"], 2 * MIB)

    def test_stack_size_from_vm_default(self):
        app = self.make_app(runtime={"default_stack_size": 3 * MIB})
        result, log = self.run_app(app)
        self.assertExitCode(result, 0)
        self.assertEqual(self.one(log, "default_init_args")["version"], 0x00010001)
        self.assertEqual(self.one(log, "create")["stack_reserve"], 3 * MIB)

    # --- parameters, expansion, arguments ---------------------------------------------------

    def test_quoted_parameters_with_spaces(self):
        app = self.make_app(
            parameters='-Dpath="C:\\Program Files\\x"  "-Dwhole=a b" -Dplain=1')
        result, log = self.run_app(app)
        self.assertExitCode(result, 0)
        self.assertEqual(self.vm_options(log)[1:4],
                         ["-Dpath=C:\\Program Files\\x", "-Dwhole=a b", "-Dplain=1"])

    def test_environment_references(self):
        # QL_APP_HOME names the launcher's folder wherever the launcher was started from.
        app = self.make_app(parameters="-Dhome=%VMBOOT_TEST_HOME% -Dgone=%VMBOOT_NOT_DEFINED% "
                                       "-Dapp=%QL_APP_HOME%\\data",
                            class_path="%QL_APP_HOME%\\app.jar",
                            app_keys="Cmd=%VMBOOT_TEST_HOME%")
        result, log = self.run_app(app, env={"VMBOOT_TEST_HOME": "D:\\some where"},
                                   cwd=harness.temp_dir("cwd-"))
        self.assertExitCode(result, 0)
        options = self.vm_options(log)
        self.assertEqual(options[0].rstrip(";"),
                         "-Djava.class.path=%s" % self.win(app.folder, "app.jar"))
        self.assertEqual(options[1:4], ["-Dhome=D:\\some where", "-Dgone=%VMBOOT_NOT_DEFINED%",
                                        "-Dapp=%s" % self.win(app.folder, "data")])
        # "Cmd" is expanded before it is split.
        self.assertEqual(self.one(log, "main")["args"], ["D:\\some", "where"])

    def test_cmd_items_follow_command_line_arguments(self):
        app = self.make_app(app_keys='Cmd=a "b c"  d')
        result, log = self.run_app(app, args=["x", "y z"])
        self.assertExitCode(result, 0)
        self.assertEqual(self.one(log, "main")["args"], ["x", "y z", "a", "b c", "d"])

    def test_non_ascii_arguments_reach_main_unchanged(self):
        arguments = ["Gr\u00fc\u00dfe", "\u65e5\u672c\u8a9e \u0436", "\U0001F600", "-nosplash"]
        app = self.make_app()
        result, log = self.run_app(app, args=arguments)
        self.assertExitCode(result, 0)
        self.assertEqual(self.one(log, "main")["args"], arguments)

    # --- how the program ends ---------------------------------------------------------------

    def test_system_exit_status_is_the_exit_code(self):
        app = self.make_app(main=["exit 3"])
        result, log = self.run_app(app)
        self.assertExitCode(result, 3)
        self.one(log, "exit_hook", code=3)

    def test_main_returning_waits_for_non_daemon_thread(self):
        app = self.make_app(main=["thread 1500", "mark main-returns"])
        started = time.monotonic()
        result, log = self.run_app(app)
        self.assertExitCode(result, 0)
        self.assertGreaterEqual(time.monotonic() - started, 1.4)
        self.assertLess(self.index(log, "mark", text="main-returns"), self.index(log, "thread_end"))
        self.assertLess(self.index(log, "thread_end"), self.index(log, "destroyed"))

    def test_service_application_destroys_vm_on_vm_thread(self):
        app = self.make_app(app_keys="Application Type=service")
        result, log = self.run_app(app)
        self.assertExitCode(result, 0)
        self.assertEqual(self.one(log, "destroy")["tid"], self.one(log, "create")["tid"])

    def test_vm_thread_parks_only_for_a_runtime_from_ibms_root(self):
        # Allowing IBM's runtimes does not park a VM that is not IBM's: the program ends.
        app = self.make_app(jre_keys="VM Provider=any")
        result, log = self.run_app(app)
        self.assertExitCode(result, 0)
        self.assertEqual(len(standin.events(log, "destroy")), 1, result.describe())
        # Chosen from IBM's own registry root, the VM thread parks after main.
        app = self.make_app(main=["mark main-returns"], jre_keys="VM Provider=IBM")
        self.addCleanup(harness.clear_java_registry)
        harness.register_ibm_runtime(self.BITS, app.folder / ("jre64" if self.BITS == 64 else "jre"))
        process = app.start(env=self.env())
        try:
            deadline = time.monotonic() + 60
            while time.monotonic() < deadline:
                if standin.events(standin.read_log(self.log_path), "mark"):
                    break
                time.sleep(0.2)
            time.sleep(3)
            self.assertTrue(process.poll(), "the launcher ended although the VM thread parks")
            log = standin.read_log(self.log_path)
            self.assertNotEqual(standin.events(log, "mark"), [], "main did not run")
            self.assertEqual(standin.events(log, "detach"), [])
            self.assertEqual(standin.events(log, "destroy"), [])
        finally:
            process.kill()

    # --- failures ---------------------------------------------------------------------------

    def test_unrecognised_option(self):
        app = self.make_app(parameters="-Xbogus", runtime={"unknown_options": ["-Xbogus"]})
        result, dialog, log = self.run_expecting_dialog(app)
        self.assertExitCode(result, -1, dialog)
        # The VM's own message, printed through the launcher's hook, follows the launcher's.
        self.assertMessage(dialog, "JNI exception: failed to create the Java VM\nReason: unknown."
                           "\n\nUnrecognized option: -Xbogus", result)
        self.assertIn("-Xbogus", standin.options(log))
        self.assertEqual(standin.events(log, "main"), [])

    def test_reason_text_for_each_jni_failure(self):
        reasons = {-1: "unknown", -2: "thread detached from VM", -3: "JNI version error",
                   -4: "not enough memory", -5: "VM already created", -6: "invalid arguments",
                   -77: "", 5: ""}
        for code, reason in reasons.items():
            with self.subTest(code=code):
                app = self.make_app(runtime={"create_result": code})
                result, dialog, _ = self.run_expecting_dialog(app)
                self.assertExitCode(result, -1, dialog)
                self.assertMessage(dialog, "JNI exception: failed to create the Java VM\n"
                                           "Reason: %s." % reason, result)

    def test_library_without_required_entry_point(self):
        for variant in ("nocreate", "nodefault"):
            with self.subTest(variant=variant):
                app = self.make_app(runtime={"variant": variant})
                result, dialog, log = self.run_expecting_dialog(app)
                self.assertExitCode(result, -1, dialog)
                self.assertMessage(dialog, "Windows exception: cannot find CreateJavaVM JNI "
                                           "(errno = 127).", result)
                self.assertEqual(standin.events(log, "create"), [])

    def test_library_that_does_not_load(self):
        app = self.make_app()
        jvm = self.runtime / "bin" / "server" / "jvm.dll"
        jvm.write_bytes(b"MZ not really a library")
        result, dialog, _ = self.run_expecting_dialog(app)
        self.assertExitCode(result, -1, dialog)
        self.assertTrue(dialog["message"].startswith(
            "Failed to load Java VM library: %s (errno = " % self.win(jvm)), dialog["message"])

    def test_runtime_without_find_class_from_boot_loader(self):
        app = self.make_app(runtime={"variant": "nofind"}, main_class="com/example/App")
        result, log = self.run_app(app, args=["a"])
        self.assertExitCode(result, 0)
        self.assertEqual(standin.events(log, "check_and_load_main"), [])
        self.one(log, "find_class", name="com/example/App", found=True)
        self.assertEqual(self.one(log, "main")["args"], ["a"])

    def test_runtime_without_launcher_helper(self):
        app = self.make_app(runtime={"launcher_helper": False})
        result, log = self.run_app(app)
        self.assertExitCode(result, 0)
        self.one(log, "find_class", name="sun/launcher/LauncherHelper", found=False)
        self.one(log, "find_class", name="com/example/App", found=True)
        self.assertEqual(self.one(log, "main")["args"], [])

    def test_main_class_missing(self):
        cases = [
            ("com.example.Missing", {"launcher_helper": False}),
            # LauncherHelper leaves its exception pending; the FindClass fallback still runs.
            ("com.example.Missing", {"launcher_helper_failure": "throw"}),
            # The name is decoded from the VM's modified UTF-8, not the ANSI code page.
            ("com.example.\u00dcbersicht\u65e5", {"launcher_helper": False}),
        ]
        for name, runtime in cases:
            with self.subTest(name=name, runtime=runtime):
                app = self.make_app(main_class=name, runtime=runtime)
                result, dialog, log = self.run_expecting_dialog(app)
                self.assertExitCode(result, -1, dialog)
                self.assertMessage(dialog, "Could not find the main class %s."
                                   % name.replace(".", "/"), result)
                self.assertTrue(standin.events(log, "exception_describe"), log)
                self.assertEqual(standin.events(log, "jni_warning"), [])
                self.assertEqual(standin.events(log, "main"), [])

    def test_main_method_missing(self):
        # Like HotSpot, the stand-in leaves NoSuchMethodError pending: the launcher prints it
        # to the Java error stream and ends with -1, without a message box of its own.
        classes = {MAIN: standin.script(has_main=False)}
        app = self.make_app(classes=classes, runtime={"launcher_helper": False})
        result, log = self.run_app(app)
        self.assertExitCode(result, -1)
        self.assertIn("java.lang.NoSuchMethodError: main", result.stderr)
        self.assertTrue(standin.events(log, "exception_describe"), log)
        self.assertEqual(standin.events(log, "main"), [])

    # --- environment ------------------------------------------------------------------------

    def test_path_and_runtime_variables(self):
        app = self.make_app()
        result, log = self.run_app(app)
        self.assertExitCode(result, 0)
        create = self.one(log, "create")
        bin_folder = self.win(self.runtime, "bin")
        self.assertEqual(create["ql_jvm_path"], self.win(self.runtime, "bin", "server", "jvm.dll"))
        self.assertEqual(create["ql_jvm_home"], harness.win_path(self.runtime))
        self.assertTrue(create["path"].endswith(";" + bin_folder), create["path"])
        original_path = create["path"][:-len(";" + bin_folder)]

        for system_path in ("D:\\tools", "D:\\tools;"):
            with self.subTest(system_path=system_path):
                app = self.make_app(jre_keys="System Path=%s\nLibrary Path=native" % system_path)
                result, log = self.run_app(app)
                self.assertExitCode(result, 0)
                runtime = self.runtime
                self.assertEqual(self.one(log, "create")["path"],
                                 "D:\\tools;%s;%s" % (original_path, self.win(runtime, "bin")))
                self.assertEqual(self.vm_options(log)[0],
                                 "-Djava.library.path=native;%s\\;%s;%s;."
                                 % (harness.win_path(app.folder), original_path,
                                    self.win(runtime, "lib")))

    def test_override_working_dir(self):
        elsewhere = harness.temp_dir("cwd-")
        for value, expected in (("YES", None), ("no", elsewhere)):
            with self.subTest(value=value):
                app = self.make_app(app_keys="Override WorkingDir=%s" % value)
                result, log = self.run_app(app, cwd=elsewhere)
                self.assertExitCode(result, 0)
                folder = app.folder if expected is None else expected
                self.assertEqual(self.one(log, "create")["cwd"].rstrip("\\"),
                                 harness.win_path(folder))


class Hosting64(HostingTests, harness.TestCase):
    BITS = 64


class Hosting32(HostingTests, harness.TestCase):
    BITS = 32



class RuntimeBinFolderTest(harness.TestCase):
    """Every runtime since Java 9 needs this: jvm.dll (in bin\\server) imports the C runtime
    that ships only in the runtime's bin folder (vcruntime140.dll). Wine has its own copies
    built in, so the test makes Wine take only the runtime's files for those names."""

    NATIVE_ONLY = {"WINEDLLOVERRIDES": "vcruntime140,vcruntime140_1=n"}

    def make_app(self, without=()):
        jre = harness.require_real_jre(self)
        app = harness.App(64)
        if without:
            # The runtime with some files of bin left out, everything else linked.
            runtime = app.folder / "jre64"
            runtime.mkdir()
            for entry in jre.iterdir():
                if entry.name != "bin":
                    (runtime / entry.name).symlink_to(entry)
            (runtime / "bin").mkdir()
            for entry in (jre / "bin").iterdir():
                if entry.name not in without:
                    (runtime / "bin" / entry.name).symlink_to(entry)
        else:
            harness.link_real_jre(app.folder)
        harness.compile_java({"app/Main.java": "package app;\npublic class Main {\n"
                              "  public static void main(String[] a) { System.exit(7); }\n}\n"},
                             app.folder / "build", jar=app.folder / "app.jar")
        app.write_ini("[Java Runtime Environment]\nMain Class=app.Main\n"
                      "[Class Path]\nClass Path=app.jar\n")
        return app

    def test_vm_library_dependency_found_only_in_the_runtime_bin_folder(self):
        app = self.make_app()
        result = app.run(["-nosplash"], env=self.NATIVE_ONLY, timeout=120)
        self.assertExitCode(result, 7)

    def test_without_the_bin_folder_copy_the_vm_library_does_not_load(self):
        # The control: with the override, Wine's own copy is not taken, so the run above
        # loaded the one in bin.
        app = self.make_app(without=("vcruntime140.dll", "vcruntime140_1.dll"))
        result, dialog = self.run_with_dialog(app, args=["-nosplash"], env=self.NATIVE_ONLY,
                                              timeout=120)
        self.assertIn("Failed to load Java VM library", dialog["message"],
                      self.context(result, dialog))
        self.assertExitCode(result, -1, dialog)


if __name__ == "__main__":
    harness.main()
