"""The launcher against the runtime's own java.exe (real Temurin 17), row by row.

Each row starts one program (parity_probe/) once through java.exe and once through the
console launcher, on the same runtime folder with the same class path, with the same command
line sent verbatim; rows that name it also run the windowed launcher with its output in
files. What the program observes (its arguments, chosen properties, standard output, exit
code) must agree, unless the row names a documented difference.

Without a real runtime every test here is skipped with the reason.
"""

import shutil
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

HERE = Path(__file__).resolve().parent
MAIN = "parity.Main"
LIB_MODULE = {
    "module-info.java": "module lib { exports lib; }\n",
    "lib/Lib.java": "package lib;\npublic final class Lib {\n"
                    "    public static void main(String[] args) {\n"
                    "        System.out.println(System.getProperty(\"sun.java.command\"));\n"
                    "        System.out.println(String.join(\"|\", args));\n"
                    "    }\n}\n",
}


def row(name, args, java="", keys=(), start="app", env=None, windowed=False, error=""):
    """A program started with `args` after its name: `java` options for java.exe and the
    launcher's [Java Runtime Environment] `keys` saying the same, started in the app's folder
    or a document's, with `env`; the windowed build too when `windowed` (output in files).
    `error`: text both standard errors hold."""
    return dict(name=name, args=args, java=java, keys=list(keys), start=start, env=env or {},
                windowed=windowed, error=error)


ROWS = [
    row("arguments as every Windows program splits them",
        'report --name="John Smith" "say \\"hi\\"" a"b c"d x\ty "" tail\\\\ "C:\\dir\\\\" '
        '"D:\\" "a""b c" @args.txt \u00e9t\u00e9', windowed=True),
    row("class path, library path and sun.java.command; no current folder from a document's",
        "report x", keys=["Library Path=native"], start="document"),
    row("-D values with spaces", "report", '"-Dparity.value=a b"',
        ['Virtual Machine Parameters=-Dparity.value="a b"']),
    row("_JAVA_OPTIONS", "report", env={"_JAVA_OPTIONS": "-Dparity.value=env"},
        error="Picked up _JAVA_OPTIONS: -Dparity.value=env"),
    row("module path without a main module", "module", "-p mods --add-modules lib",
        ["Module Path=mods", "Virtual Machine Parameters=--add-modules lib"]),
    row("System.exit", "exit 7", windowed=True),
    row("Runtime.halt", "halt 5"),
    row("uncaught exception", "throw", windowed=True,
        error='Exception in thread "main" java.lang.IllegalStateException: boom'),
    row("non-daemon thread and shutdown hook", "threads", windowed=True),
    # The VM writes this on standard output, as java.exe shows; the windowed build into its
    # Output File, without a dialog.
    row("VM cannot be created", "report", "-Xmx1k", ["Virtual Machine Parameters=-Xmx1k"],
        windowed=True),
    row("relative Output File from a document's folder", "report x", start="document",
        windowed=True),
    row("VM Provider=any with a HotSpot runtime", "threads", keys=["VM Provider=any"],
        windowed=True),
]



class ParityTest(harness.TestCase):
    folder = None

    @classmethod
    def setUpClass(cls):
        if harness.real_jre()[0] is None:
            return
        cls.folder = folder = harness.temp_dir("parity-")
        harness.link_real_jre(folder)
        sources = {"parity/" + name: (HERE / "parity_probe" / name).read_text("utf-8")
                   for name in ("Main.java", "BadInit.java")}
        harness.compile_java(sources, harness.temp_dir("parity-src-"), release=11,
                             jar=folder / "lib" / "parity.jar")
        harness.compile_java(LIB_MODULE, harness.temp_dir("parity-lib-"), release=11,
                             jar=folder / "mods" / "lib.jar")
        (folder / "native").mkdir()
        document = folder / "document"
        document.mkdir()
        (document / "planted.txt").write_text("from the document's folder")
        cls.windowed = harness.App(64, name="app", folder=folder)
        cls.console = harness.App(64, name="tool", folder=folder)
        cls.console.exe.write_bytes((harness.dist_dir() / "vmbootc64.exe").read_bytes())

    def setUp(self):
        harness.require_real_jre(self)

    def write_ini(self, java_keys, windowed, main=MAIN, application=()):
        lines = ["[Java Runtime Environment]"] + list(java_keys) + ["Main Class=" + main,
                 "[Class Path]", "Class Path=lib\\parity.jar", "[Application]"]
        lines += list(application)
        if windowed:
            lines += ["Output File=logs\\out.log", "Error File=logs\\err.log"]
        for app in (self.console, self.windowed):
            app.write_ini("\n".join(lines) + "\n")

    def run_line(self, program, line, cwd, env, timeout=90):
        return harness.spawn('"%s" %s' % (harness.win_path(program), line), env=env, cwd=cwd,
                             timeout=timeout, application=harness.win_path(program)).wait(
                                 timeout + 60)

    def run_row(self, r):
        """(java, console, windowed or None): each a Result; the windowed one carries the
        program's output files as its standard output and error."""
        cwd = self.folder / r["start"] if r["start"] == "document" else self.folder
        timeout = 90
        # The options name the same files as the launcher's keys do, relative to the app.
        java_options = r["java"].replace("-p mods", '-p "%s"' % harness.win_path(
            self.folder / "mods"))
        jar = harness.win_path(self.folder / "lib" / "parity.jar")
        java = self.run_line(self.folder / "jre64" / "bin" / "java.exe",
                             '-cp "%s" %s %s %s' % (jar, java_options, MAIN, r["args"]),
                             cwd, r["env"], timeout)
        self.write_ini(r["keys"], False)
        console = self.run_line(self.console.exe, r["args"], cwd, r["env"], timeout)
        files = None
        if r["windowed"]:
            self.write_ini(r["keys"], True)
            logs = self.folder / "logs"
            shutil.rmtree(logs, ignore_errors=True)
            files = self.run_line(self.windowed.exe, r["args"], cwd, r["env"], timeout)
            files.stdout, files.stderr = [
                (logs / name).read_bytes().decode("cp1252", "replace")
                if (logs / name).is_file() else "" for name in ("out.log", "err.log")]
        return java, console, files

    def check_rows(self, rows):
        for r in rows:
            with self.subTest(r["name"]):
                java, console, files = self.run_row(r)
                info = "--- java ---\n%s\n--- launcher ---\n%s" % (java.describe(),
                                                                   console.describe())
                self.assertFalse(java.timed_out or console.timed_out, info)
                self.assertEqual(console.code, java.code, info)
                self.assertEqual(console.stdout, java.stdout, info)
                self.assertIn(r["error"], java.stderr, info)
                self.assertIn(r["error"], console.stderr, info)
                if files is not None:
                    info += "\n--- windowed ---\n%s" % files.describe()
                    self.assertEqual(files.code, java.code, info)
                    self.assertEqual(files.stdout, java.stdout, info)
                    self.assertIn(r["error"], files.stderr, info)

    def test_rows_agree_with_java(self):
        self.check_rows(ROWS)

    def test_wrong_main_class(self):
        # java.exe and the console build print the runtime's message; the windowed build,
        # with no console, shows it in its dialog. All end with 1.
        jar = harness.win_path(self.folder / "lib" / "parity.jar")
        java = self.run_line(self.folder / "jre64" / "bin" / "java.exe",
                             '-cp "%s" parity.Nope' % jar, self.folder, {})
        self.write_ini([], False, main="parity.Nope")
        console = self.run_line(self.console.exe, "", self.folder, {})
        message = "Error: Could not find or load main class parity.Nope"
        for result in (java, console):
            self.assertEqual(result.code, 1, result.describe())
            self.assertIn(message, result.stderr, result.describe())
        result, dialog = self.run_with_dialog(self.windowed, raw='"%s"' % self.windowed.win_exe,
                                              timeout=90)
        self.assertIn(message, dialog["message"], dialog)
        self.assertExitCode(result, 1, dialog)

    def test_thread_locale_of_main(self):
        # A German user on a Japanese system (Wine takes the user's locale from LC_MESSAGES,
        # the system's from LC_CTYPE): JNI code on main sees the user's locale, as under
        # java.exe, although the launcher's messages are in the system's language.
        library = harness.win_path(harness.dist_dir() / "tools" / "thread_locale.dll")
        env = {"LC_CTYPE": "ja_JP.UTF-8", "LC_MESSAGES": "de_DE.UTF-8"}
        java, console, files = self.run_row(row("thread locale", 'thread-locale "%s"' % library,
                                                env=env, windowed=True))
        info = "--- java ---\n%s\n--- launcher ---\n%s\n--- windowed ---\n%s" % (
            java.describe(), console.describe(), files.describe())
        self.assertEqual(java.stdout.strip(), "threadLocale: 0x407", info)
        self.assertEqual(console.stdout, java.stdout, info)
        self.assertEqual(files.stdout, java.stdout, info)

    def test_failing_static_initialiser(self):
        # java.exe and the console build print the trace and end with 1; the windowed build
        # writes it into its Error File and shows it: in the error dialog, or in the exception
        # dialog with "Failure Check", where Ignore and Stop both end with javaw's 1.
        jar = harness.win_path(self.folder / "lib" / "parity.jar")
        java = self.run_line(self.folder / "jre64" / "bin" / "java.exe",
                             '-cp "%s" parity.BadInit' % jar, self.folder, {})
        self.write_ini([], False, main="parity.BadInit")
        console = self.run_line(self.console.exe, "", self.folder, {})
        info = "--- java ---\n%s\n--- launcher ---\n%s" % (java.describe(), console.describe())
        # The VM prints the prefix itself, the rest is printStackTrace; java.exe's C runtime
        # buffers the VM's part into a pipe, so that it comes last there.
        prefix = 'Exception in thread "main" '
        trace = "java.lang.ExceptionInInitializerError\r\nCaused by: java.lang.IllegalState" \
                "Exception: no setting\r\n\tat parity.BadInit.setting(BadInit.java:"
        cause = "Caused by: java.lang.IllegalStateException: no setting"
        self.assertEqual(java.code, 1, info)
        self.assertEqual(console.code, 1, info)
        self.assertIn(prefix, java.stderr, info)
        self.assertTrue(java.stderr.startswith(trace), info)
        self.assertTrue(console.stderr.startswith(prefix + trace), info)
        self.assertEqual(console.stderr.replace(prefix, ""), java.stderr.replace(prefix, ""),
                         info)
        self.assertEqual(console.stdout, "", info)
        logs = self.folder / "logs"
        for failure_check, button in (("", "OK"), ("Failure Check=Yes", "Ignore"),
                                      ("Failure Check=Yes", "Stop")):
            with self.subTest(failure_check=failure_check, button=button):
                shutil.rmtree(logs, ignore_errors=True)
                self.write_ini([], True, main="parity.BadInit",
                               application=[failure_check] if failure_check else [])
                process, dialog = self.run_with_dialog(
                    self.windowed, raw='"%s"' % self.windowed.win_exe, press=None, timeout=90)
                err = (logs / "err.log").read_bytes().decode("cp1252", "replace")
                # Written before the dialog shows: what the console build prints.
                self.assertEqual(err, console.stderr, dialog)
                shown = dialog["message"] if not failure_check else next(
                    c["text"] for c in dialog["controls"] if c["id"] == 208)
                self.assertIn(trace, shown, dialog)
                ui = harness.UiDriver()
                ui.current = dialog
                ui.press(button)
                self.assertExitCode(process.wait(60), 1, dialog)

    def test_main_module(self):
        java = self.run_line(self.folder / "jre64" / "bin" / "java.exe",
                             '-p "%s" -m lib/lib.Lib a "b c"' % harness.win_path(
                                 self.folder / "mods"), self.folder, {})
        for app in (self.console, self.windowed):
            app.write_ini("[Java Runtime Environment]\nMain Module=lib/lib.Lib\n"
                          "Module Path=mods\n")
        console = self.run_line(self.console.exe, 'a "b c"', self.folder, {})
        info = "--- java ---\n%s\n--- launcher ---\n%s" % (java.describe(), console.describe())
        self.assertEqual(java.code, 0, info)
        self.assertEqual(console.code, 0, info)
        self.assertEqual(console.stdout, java.stdout, info)

    def test_vm_that_cannot_be_created_in_the_windowed_build(self):
        # What the VM prints while it is created has no console to go to: the windowed build
        # shows it in its dialog. -Xmx1k makes the VM end the process itself, with java's 1;
        # an option it does not know fails the creation, a launch failure of the launcher's.
        for option, message, code in (
                ("-Xmx1k", "Error occurred during initialization of VM\nToo small", 1),
                ("-XX:+NoSuchOption", "Unrecognized VM option 'NoSuchOption'", -1)):
            with self.subTest(option):
                self.write_ini(["Virtual Machine Parameters=" + option], False)
                result, dialog = self.run_with_dialog(
                    self.windowed, raw='"%s" report' % self.windowed.win_exe, timeout=60)
                self.assertIn(message, dialog["message"], dialog)
                self.assertExitCode(result, code, dialog)


if __name__ == "__main__":
    harness.main()
