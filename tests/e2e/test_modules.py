"""Java 9+ applications: module options copied from java command lines, a main module on a
module path, the console launcher (pipes, exit codes, Ctrl+C), and "Embedded Jar"."""

import ntpath
import subprocess

import harness

HELLO_MODULE = {
    "module-info.java": "module com.example.hello { }\n",
    "com/example/hello/Main.java": """
package com.example.hello;
public class Main {
    public static void main(String[] args) {
        System.out.println("module=" + Main.class.getModule().getName()
            + " main=" + System.getProperty("jdk.module.main")
            + " args=" + String.join(",", args));
    }
}
""",
}

OPENS = {
    "app/Opens.java": """
package app;
public class Opens {
    public static void main(String[] args) throws Exception {
        java.lang.reflect.Field value = String.class.getDeclaredField("value");
        value.setAccessible(true);
        System.out.println("opened desktop=" + ModuleLayer.boot().findModule("java.desktop").isPresent()
            + " x=" + System.getProperty("x"));
    }
}
""",
}

TOOL = {
    "app/Tool.java": """
package app;
import java.io.*;
import java.nio.file.*;
public class Tool {
    public static void main(String[] args) throws Exception {
        switch (args[0]) {
            case "upper": {
                BufferedReader in = new BufferedReader(new InputStreamReader(System.in));
                for (String line; (line = in.readLine()) != null; ) System.out.println(line.toUpperCase());
                System.err.println("done on stderr");
                return;
            }
            case "exit": System.exit(Integer.parseInt(args[1]));
            case "throw": throw new IllegalStateException("boom");
            case "hook": {
                Runtime.getRuntime().addShutdownHook(new Thread(() -> System.out.println("hook ran")));
                Files.createFile(Paths.get(args[1]));
                Thread.sleep(90000);
                System.out.println("not interrupted");
                return;
            }
            case "embedded": System.out.println("embedded " + Tool.class.getProtectionDomain()
                .getCodeSource().getLocation().getPath().endsWith(".exe"));
        }
    }
}
""",
}


def exit_code(returncode):
    """The launcher's signed exit code from Wine's Linux exit status (255 is -1)."""
    return -1 if returncode == 255 else returncode


def console_app(bitness=64, name="tool"):
    """A copy of the console launcher, vmbootc<bitness>.exe, as `name`.exe in a new folder."""
    app = harness.App(bitness, name=name)
    source = harness.dist_dir() / ("vmbootc%d.exe" % bitness)
    if not source.is_file():
        raise harness.HarnessError("%s is missing: run scripts/build.sh" % source)
    app.exe.write_bytes(source.read_bytes())
    return app


def run_console(app, args=(), stdin=b"", env=None, timeout=120):
    """Runs the console launcher as `app.exe < in.txt` with its output and error read through
    pipes. (A Linux pipe as standard input is no pipe to Wine: Java's available() fails on it.)"""
    environment = harness.wine()
    environment.update(env or {})
    source = app.folder / "stdin.txt"
    source.write_bytes(stdin)
    with open(source, "rb") as input_file:
        return subprocess.run(["wine", str(app.exe)] + list(args), stdin=input_file,
                              env=environment, capture_output=True, timeout=timeout,
                              cwd=app.folder)


class ModuleOptionsRealRuntime(harness.TestCase):
    def test_two_word_module_options_reach_the_vm_joined(self):
        harness.require_real_jre(self)
        app = harness.App(64)
        harness.link_real_jre(app.folder)
        harness.compile_java(OPENS, app.folder / "build", release=17, jar=app.folder / "opens.jar")
        app.write_ini("[Java Runtime Environment]\nMain Class=app.Opens\n"
                      "Virtual Machine Parameters=--add-opens java.base/java.lang=ALL-UNNAMED "
                      "--limit-modules java.base,java.logging -Dx=\"a b\"\n"
                      "[Class Path]\nClass Path=opens.jar\n")
        result = app.run(timeout=120)
        self.assertExitCode(result, 0)
        self.assertIn("opened desktop=false x=a b", result.stdout, result.describe())


class MainModuleRealRuntime(harness.TestCase):
    def setUp(self):
        harness.require_real_jre(self)
        self.app = harness.App(64, name="hello")
        harness.link_real_jre(self.app.folder)
        self.jar = harness.compile_java(HELLO_MODULE, self.app.folder / "build", release=17,
                                        jar=self.app.folder / "mods" / "hello.jar")

    def test_main_module_on_the_module_path(self):
        subprocess.run(["jar", "--update", "--file", str(self.jar),
                        "--main-class", "com.example.hello.Main"], check=True)
        (self.app.folder / "more").mkdir()
        cases = [
            # (Main Module, Module Path, parameters): a class given or the module's own, a
            # folder or jars; a module path in the parameters adds to "Module Path".
            ("com.example.hello/com.example.hello.Main", "mods\\*.jar", "-Xmx64m"),
            ("com.example.hello", "mods", "-p more -Xmx64m"),
        ]
        for main_module, module_path, parameters in cases:
            with self.subTest(main_module=main_module, module_path=module_path):
                self.app.write_ini("[Java Runtime Environment]\nMain Module=%s\nModule Path=%s\n"
                                   "Virtual Machine Parameters=%s\n[Application]\nCmd=x\n"
                                   % (main_module, module_path, parameters))
                result = self.app.run(args=["a b"], timeout=120)
                self.assertExitCode(result, 0)
                self.assertIn("module=com.example.hello main=com.example.hello args=a b,x",
                              result.stdout, result.describe())

    def test_vmbootcheck_shows_the_module_decisions(self):
        self.app.write_ini("[Java Runtime Environment]\n"
                           "Main Module=com.example.hello/com.example.hello.Main\n"
                           "Module Path=mods\\hello.jar\n")
        report = self.app.check()
        self.assertEqual(report["mainModule"], "com.example.hello/com.example.hello.Main")
        self.assertEqual(report["message"], "")
        self.assertEqual(report["vmOptions"],
                         ["--module-path=" + harness.win_path(self.jar),
                          "-Djdk.module.main=com.example.hello",
                          "-Dsun.java.command=com.example.hello/com.example.hello.Main",
                          "-Dsun.java.launcher=SUN_STANDARD"])
        self.assertIn({"stage": "check", "what": "launcher", "build": "windows"},
                      report["decisions"])
        decisions = [d for d in report["decisions"] if d["what"] == "main-module"]
        self.assertEqual([d["stage"] for d in decisions], ["config", "options"], decisions)
        self.assertEqual(decisions[1]["launchTarget"], "com.example.hello/com.example.hello.Main")


class MainModuleConfiguration:
    bitness = 64

    def test_main_class_and_main_module_both_set(self):
        app = harness.App(self.bitness)
        app.write_ini("[Java Runtime Environment]\nMain Class=a.B\nMain Module=m/a.B\n")
        result, dialog = self.run_with_dialog(app)
        self.assertDialog(dialog, message="Main Class and Main Module are both specified in INI "
                          "file. Specify only one of them.", icon="error")
        self.assertExitCode(result, -1)

    def test_runtime_without_module_support(self):
        import standin
        # No module image (checked before the VM is created), or a VM without the helper.
        for module_image, launcher_helper in ((False, True), (True, False)):
            with self.subTest(module_image=module_image, launcher_helper=launcher_helper):
                app = harness.App(self.bitness)
                runtime = standin.make_runtime(
                    app.folder / ("jre64" if self.bitness == 64 else "jre"), self.bitness,
                    launcher_helper=launcher_helper)
                if module_image:
                    (runtime / "lib").mkdir()
                    (runtime / "lib" / "modules").write_bytes(b"")
                app.write_ini("[Java Runtime Environment]\nMain Module=com.example.hello\n")
                result, dialog = self.run_with_dialog(app)
                self.assertDialog(dialog, message="The main module com.example.hello needs a Java "
                                  "Runtime Environment of version 9 or later.\n", icon="error")
                self.assertExitCode(result, -1)


class MainModuleConfiguration64(MainModuleConfiguration, harness.TestCase):
    bitness = 64


class MainModuleConfiguration32(MainModuleConfiguration, harness.TestCase):
    bitness = 32


class ConsoleLauncherRealRuntime(harness.TestCase):
    def setUp(self):
        harness.require_real_jre(self)
        self.app = console_app(64)
        harness.link_real_jre(self.app.folder)
        harness.compile_java(TOOL, self.app.folder / "build", release=17,
                             jar=self.app.folder / "tool.jar")
        self.app.write_ini("[Java Runtime Environment]\nMain Class=app.Tool\n"
                           "[Class Path]\nClass Path=tool.jar\n"
                           "[Application]\nFailure Check=Yes\n")

    def test_pipes_carry_standard_input_output_and_error(self):
        result = run_console(self.app, ["upper"], stdin=b"hello\r\nworld\r\n")
        self.assertEqual(exit_code(result.returncode), 0, result)
        self.assertEqual(result.stdout.replace(b"\r\n", b"\n"), b"HELLO\nWORLD\n")
        self.assertIn(b"done on stderr", result.stderr)

    def test_exit_codes_as_the_java_command_gives(self):
        cases = [(["exit", "3"], 3, None),
                 # No dialog at a console, even with "Failure Check": the VM prints the trace.
                 (["throw"], 1, b"java.lang.IllegalStateException: boom")]
        for args, code, error in cases:
            with self.subTest(args=args):
                result = run_console(self.app, args)
                self.assertEqual(exit_code(result.returncode), code, result)
                if error:
                    self.assertIn(error, result.stderr)

    def press(self, *mode):
        """Runs the application in the console of ctrl_event.exe, which presses Ctrl+C (or
        closes the console) once the application has registered its shutdown hook."""
        ready = self.app.folder / "ready.txt"
        result = subprocess.run(
            ["wine", str(harness.tool_path("ctrl_event"))] + list(mode)
            + [harness.win_path(ready), harness.win_path(self.app.exe), "hook",
               harness.win_path(ready)],
            env=harness.wine(), stdin=subprocess.DEVNULL, capture_output=True, timeout=180,
            cwd=self.app.folder)
        return result, "stdout: %r\nstderr: %r" % (result.stdout, result.stderr)

    def test_ctrl_c_runs_the_shutdown_hooks(self):
        result, details = self.press()
        self.assertIn(b"sent CTRL_C_EVENT", result.stderr, details)
        self.assertIn(b"hook ran", result.stdout, details)
        self.assertNotIn(b"not interrupted", result.stdout, details)
        # 128 + SIGINT, as the java command ends on Ctrl+C.
        self.assertEqual(exit_code(result.returncode), 130, details)

    def test_closing_the_console_runs_the_shutdown_hooks(self):
        result, details = self.press("--close")
        if b"CTRL_CLOSE_EVENT received" not in result.stderr:
            # Wine's console ends its processes when its window closes, without the event.
            self.skipTest("the console sent no CTRL_CLOSE_EVENT: " + details)
        self.assertIn(b"hook ran", result.stdout, details)
        self.assertNotIn(b"not interrupted", result.stdout, details)
        # 128 + SIGTERM, as the java command ends when its console is closed.
        self.assertEqual(exit_code(result.returncode), 143, details)


class ConsoleLauncherMessages:
    bitness = 64

    def test_messages_go_to_standard_error_without_a_window(self):
        app = console_app(self.bitness)
        app.write_ini("[Java Runtime Environment]\nMain Class=\n")
        cases = [({}, b"Main class was not specified in INI file.\r\n")]
        if self.bitness == 64:
            cases.append(({"LC_ALL": "de_DE.UTF-8"},
                          b"Main class in der INI-Datei nicht spezifiziert.\r\n"))
        for env, text in cases:
            with self.subTest(env=env):
                result = run_console(app, env=env)
                self.assertEqual(exit_code(result.returncode), 1, result)
                # Contains, not equals: a loaded Wine may add lines of its own.
                self.assertIn(text, result.stderr)
                self.assertEqual(result.stdout, b"")

    def test_missing_runtime_is_reported_not_asked_for(self):
        harness.clear_java_registry()
        app = console_app(self.bitness)
        # A folder outside the application's: a missing folder of its own is a damaged install.
        app.write_ini("[Java Runtime Environment]\nMain Class=a.B\nMinimum Version=1.8\n"
                      "JRE Path=..\\nowhere\n[Class Path]\nClass Path=a.jar\n")
        launcher = [d for d in app.check()["decisions"] if d["stage"] == "check"]
        self.assertEqual(launcher, [{"stage": "check", "what": "launcher", "build": "console"}])
        result = run_console(app)
        self.assertEqual(exit_code(result.returncode), 1, result)
        self.assertIn(b"The Java Runtime Environment (JRE) was not found. Please download and "
                      b"install a JRE (minimum version 1.8) from: https://openjdk.org/install/\r\n",
                      result.stderr)
        # Then what the dialog's Details list would show, a runtime a line.
        # Named as Windows resolves it, without the "..".
        self.assertIn(("folder missing - JRE Path: %s\\nowhere\\\r\n"
                       % ntpath.dirname(app.win_folder)).encode(), result.stderr)


class ConsoleLauncherMessages64(ConsoleLauncherMessages, harness.TestCase):
    bitness = 64


class ConsoleLauncherMessages32(ConsoleLauncherMessages, harness.TestCase):
    bitness = 32


class EmbeddedJar(harness.TestCase):
    def test_embedded_jar_puts_the_executable_first(self):
        import standin
        app = harness.App(64)
        standin.make_runtime(app.folder / "jre64", 64)
        cases = [
            # ("Embedded Jar", "Class Path", class path option or None, message)
            ("Yes", "", app.win_exe, ""),
            ("yes", "a.jar", app.win_exe + ";" + app.win_folder + "\\a.jar", ""),
            ("YES", ";", app.win_exe, ""),
            ("No", "", None, "Java Class Path was not specified in INI file."),
            ("", "", None, "Java Class Path was not specified in INI file."),
        ]
        (app.folder / "a.jar").write_bytes(b"")
        for embedded, class_path, option, message in cases:
            with self.subTest(embedded=embedded, class_path=class_path):
                app.write_ini("[Java Runtime Environment]\nMain Class=app.Tool\n"
                              "[Class Path]\nClass Path=%s\n[Application]\nEmbedded Jar=%s\n"
                              % (class_path, embedded))
                report = app.check()
                self.assertEqual(report["message"], message)
                options = [o for o in report["vmOptions"] if o.startswith("-Djava.class.path=")]
                expected = [] if option is None else ["-Djava.class.path=" + option]
                self.assertEqual(options, expected)

    def test_classes_inside_the_executable_run_on_the_real_runtime(self):
        harness.require_real_jre(self)
        app = harness.App(64)
        harness.link_real_jre(app.folder)
        jar = harness.compile_java(TOOL, app.folder / "build", release=17,
                                   jar=app.folder / "build" / "tool.jar")
        # What a vendor ships: the launcher with the application's jar appended.
        app.exe.write_bytes(app.exe.read_bytes() + jar.read_bytes())
        app.write_ini("[Java Runtime Environment]\nMain Class=app.Tool\n"
                      "[Application]\nEmbedded Jar=yEs\n")
        result = app.run(args=["embedded"], timeout=120)
        self.assertExitCode(result, 0)
        self.assertIn("embedded true", result.stdout, result.describe())
