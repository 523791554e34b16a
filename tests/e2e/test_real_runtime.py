"""The launcher on a real Java runtime (64-bit HotSpot, scripts/real_jre.sh), end to end.

What the stand-in runtime cannot show: a Java program really runs, prints and exits with its
status, and the launcher cooperates with the VM's own behaviour (DestroyJavaVM waiting for
non-daemon threads, LauncherHelper's error handling, the exit hook, printStackTrace, the
splash library, the decoding of option strings). One probe program (real_probe/) serves
every case; its first argument picks what it does, and it reports "key: value" lines on
standard output, which each case redirects to logs\\out.log.

Without a real runtime every test here is skipped with the reason.
"""

import datetime
import os
import re
import shutil
import sys
import time
import unittest
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

HERE = Path(__file__).resolve().parent
PROBE_SOURCES = ("Main.java", "NoMain.java")
GRUESSE = "Gr\u00fc\u00dfe \u65e5\u672c"

_probe_jar = None
_shipped_jre = None


def probe_jar():
    """The probe program, compiled once per test process."""
    global _probe_jar
    if _probe_jar is None:
        folder = harness.temp_dir("probe-")
        sources = {"probe/" + name: (HERE / "real_probe" / name).read_text(encoding="utf-8")
                   for name in PROBE_SOURCES}
        _probe_jar = harness.compile_java(sources, folder, release=8, jar=folder / "probe.jar")
    return _probe_jar


def shipped_jre():
    """A copy of the real runtime with its default class data archive, as every full JDK and
    JRE ships it (bin\\server\\classes.jsa), made once per test process."""
    global _shipped_jre
    if _shipped_jre is None:
        copy = harness.temp_dir("shipped-") / "jre"
        shutil.copytree(harness.real_jre()[0], copy, symlinks=False)
        made = harness.run_wine([copy / "bin" / "java.exe", "-Xshare:dump", "-Xlog:cds=off"],
                                timeout=300)
        if not (copy / "bin" / "server" / "classes.jsa").is_file():
            raise harness.HarnessError("no default archive made\n%r" % (made,))
        _shipped_jre = copy
    return _shipped_jre


def version_jar(folder, version):
    """A jar of gen.Version with V = `version`, stored, with fixed entry times: jars of equal
    length versions have equal sizes, as a reproducible build's do."""
    classes = harness.compile_java(
        {"gen/Version.java": "package gen; public class Version { public static final String V;"
                             " static { V = \"%s\"; } }" % version},
        harness.temp_dir("version-"))
    jar = Path(folder) / "version.jar"
    with zipfile.ZipFile(jar, "w", zipfile.ZIP_STORED) as archive:
        info = zipfile.ZipInfo("gen/Version.class", date_time=(2020, 1, 1, 0, 0, 0))
        archive.writestr(info, (classes / "gen" / "Version.class").read_bytes())
    os.utime(jar, (1600000000, 1600000000))
    return jar


def archive_kinds(folder):
    """The kinds of file in the archive folder but the remembered jar keys (jars.<name>)."""
    return sorted(p.suffix for p in folder.iterdir() if not p.name.startswith("jars."))


def escape(text):
    """The probe's escaping of non-ASCII text."""
    return "".join(c if 0x20 <= ord(c) < 0x7F and c != "\\" else "\\u%04x" % ord(c)
                   for c in text)


def total_memory_bytes():
    with open("/proc/meminfo") as meminfo:
        for line in meminfo:
            if line.startswith("MemTotal:"):
                return int(line.split()[1]) * 1024
    raise harness.HarnessError("no MemTotal in /proc/meminfo")


class RealRuntimeTest(harness.TestCase):
    def setUp(self):
        self.jre = harness.require_real_jre(self)

    def make_app(self, runtime=None, java=(), application=(),
                 display=(), main_class="probe.Main"):
        """A launcher copy with the probe in lib\\ and the real runtime as jre64\\ (runtime
        "jre64"), or no runtime beside it (runtime None: found elsewhere)."""
        app = harness.App(64)
        (app.folder / "lib").mkdir()
        shutil.copyfile(probe_jar(), app.folder / "lib" / "probe.jar")
        if runtime == "jre64":
            harness.link_real_jre(app.folder)
        # The first of two equal keys wins: the case's own keys come first.
        lines = ["[Java Runtime Environment]"] + list(java) + ["Main Class=%s" % main_class]
        lines += ["[Class Path]", "Class Path=lib\\*.jar", "[Application]"] + list(application)
        lines += ["Output File=logs\\out.log", "Error File=logs\\err.log"]
        if display:
            lines += ["[Display]"] + list(display)
        app.write_ini("\n".join(lines) + "\n")
        return app

    def read(self, app, name):
        """A log as the program wrote it: in the runtime's default encoding, windows-1252
        on this system (the probe escapes what that cannot hold)."""
        path = app.folder / "logs" / name
        return path.read_bytes().decode("cp1252", errors="replace") if path.is_file() else ""

    def reported(self, app):
        """The probe's "key: value" lines, in order."""
        pairs = []
        for line in self.read(app, "out.log").splitlines():
            key, sep, value = line.partition(": ")
            if sep:
                pairs.append((key, value))
        return pairs

    def context(self, result=None, dialog=None, app=None):
        text = super().context(result, dialog)
        if app is not None:
            text += "\n--- out.log ---\n%s\n--- err.log ---\n%s" % (self.read(app, "out.log"),
                                                                    self.read(app, "err.log"))
        return text

    # -- exit codes and the program's end -----------------------------------------------------

    def test_exit_codes(self):
        # (case, arguments, extra [Java Runtime Environment] keys, main class, exit code,
        #  text expected in out.log, text expected in err.log)
        trace = 'Exception in thread "main" java.lang.IllegalStateException'
        cases = [
            ("main returns", ["report"], [], "probe.Main", 0, "classPathEntries: 1", ""),
            ("System.exit from main", ["exit", "7"], [], "probe.Main", 7, "", ""),
            ("System.exit from a non-daemon thread after main returned",
             ["thread-exit", "9", "1500"], [], "probe.Main", 9, "thread: done", ""),
            ("main returns while a non-daemon thread runs", ["thread", "2500"], [],
             "probe.Main", 0, "main: returned\r\nthread: done", ""),
            ("uncaught exception without Failure Check", ["throw"], [], "probe.Main", 1, "",
             trace + ": boom Gr\u00fc\u00dfe"),
            ("System.exit after main's uncaught exception",
             ["thread-exit-then-throw", "6", "1500"], [], "probe.Main", 6, "thread: done", trace),
            ("parked VM thread still reports main's uncaught exception",
             ["thread-exit-then-throw", "6", "1500"], ["VM Provider=any"], "probe.Main", 6,
             "thread: done", trace + ": thrown while a thread runs"),
            ("missing main class, reported by LauncherHelper", ["report"], [], "probe.Nope", 1,
             "", "Error: Could not find or load main class probe.Nope"),
            ("missing main method, reported by LauncherHelper", ["report"], [], "probe.NoMain", 1,
             "", "Error: Main method not found in class probe.NoMain"),
        ]
        for name, args, java, main_class, code, out, err in cases:
            with self.subTest(name):
                app = self.make_app("jre64", java=java, main_class=main_class)
                started = time.monotonic()
                result = app.run(args, timeout=90)
                seconds = time.monotonic() - started
                self.assertExitCode(result, code)
                info = self.context(result, app=app)
                self.assertIn(out, self.read(app, "out.log"), info)
                self.assertIn(err, self.read(app, "err.log"), info)
                if args[0] == "thread":
                    # The process lived until the thread ended, not only until main returned.
                    self.assertGreaterEqual(seconds, 2.5, info)

    # -- arguments ------------------------------------------------------------------------------

    def test_arguments_from_command_line_and_cmd(self):
        app = self.make_app("jre64", application=['Cmd=--cmd "two words" \u00e9t\u00e9'])
        line = '"%s" report "%s" plain "" ""' % (app.win_exe, GRUESSE)
        result = app.run_raw(line, timeout=90)
        self.assertExitCode(result, 0)
        args = [value for key, value in self.reported(app) if key == "arg"]
        self.assertEqual(args, [escape(a) for a in ["report", GRUESSE, "plain", "", "",
                                                     "--cmd", "two words", "\u00e9t\u00e9"]],
                         self.context(result, app=app))

    # -- the uncaught-exception dialog -------------------------------------------------------

    def test_exception_dialog_shows_the_real_trace(self):
        # The Error File holds the trace while the dialog asks: a process ended meanwhile
        # (killed here) leaves it behind, and Ignore does not write it a second time.
        logged = 'Exception in thread "main" java.lang.IllegalStateException: boom Gr\u00fc\u00dfe'
        for button, code in (("Ignore", 1), ("Stop", -1), (None, None)):
            with self.subTest(button or "killed while the dialog is up"):
                app = self.make_app("jre64", application=["Failure Check=Yes"])
                process, dialog = self.run_with_dialog(app, ["throw"], press=None, timeout=90)
                trace = next(c["text"] for c in dialog["controls"] if c["id"] == 208)
                self.assertTrue(trace.startswith(
                    "java.lang.IllegalStateException: boom Gr\u00fc\u00dfe \u20ac\r\n"
                    "\tat probe.Main.main(Main.java:"), trace)
                self.assertEqual(self.read(app, "err.log").count(logged), 1,
                                 self.context(None, dialog, app))
                if button is None:
                    process.kill()
                    self.assertEqual(self.read(app, "err.log").count(logged), 1)
                    continue
                ui = harness.UiDriver()
                ui.current = dialog
                ui.press(button)
                result = process.wait(60)
                self.assertExitCode(result, code, dialog)
                self.assertEqual(self.read(app, "err.log").count(logged), 1,
                                 self.context(result, dialog, app))

    # -- output redirection -----------------------------------------------------------------

    def test_time_pattern_and_append(self):
        app = self.make_app("jre64", application=["Output File=logs\\out_%yyyyMMdd%.log",
                                                  "Output Append=yes"])
        for _ in range(2):
            self.assertExitCode(app.run(["streams"], timeout=90), 0)
        names = [p.name for p in (app.folder / "logs").iterdir()]
        dated = [n for n in names if re.fullmatch(r"out_\d{8}\.log", n)]
        self.assertEqual(len(dated), 1, names)
        day = datetime.datetime.strptime(dated[0][4:12], "%Y%m%d").date()
        self.assertLessEqual(abs((day - datetime.date.today()).days), 1)
        self.assertEqual((app.folder / "logs" / dated[0]).read_bytes(),
                         b"out-1\r\nout-2\r\n" * 2)
        self.assertEqual(self.read(app, "err.log"), "err-1\r\n")

    def test_one_file_for_both_streams(self):
        app = self.make_app("jre64", application=["Error File=logs\\out.log"])
        result = app.run(["streams"], timeout=90)
        self.assertExitCode(result, 0)
        self.assertEqual(self.read(app, "out.log"), "out-1\r\nerr-1\r\nout-2\r\n",
                         self.context(result, app=app))

    def test_what_the_vm_itself_writes_lands_in_the_files(self):
        # Not System.out/err: a deprecation warning the VM prints to standard error and the
        # unified log it prints to standard output, as java.exe shows them on its own; a log
        # the VM writes into a file of its own stays in that file.
        options = ["-XX:+UseBiasedLocking", "-Xlog:gc", "-Xlog:gc+init:file=gc-init.log"]
        java = harness.run_wine([self.jre / "bin" / "java.exe"] + options
                                + ["-cp", harness.win_path(probe_jar()), "probe.Main", "streams"],
                                cwd=harness.temp_dir("java-"))
        self.assertEqual(java.returncode, 0, java.stderr)
        warning = [line for line in java.stderr.decode("cp1252").splitlines() if "warning" in line]
        logged = [re.sub(r"^\[[^]]*\]", "", line)
                  for line in java.stdout.decode("cp1252").splitlines() if "[gc]" in line]
        self.assertEqual(len(warning), 1, java.stderr)
        self.assertTrue(logged, java.stdout)
        app = self.make_app("jre64", java=["Virtual Machine Parameters=" + " ".join(options)])
        result = app.run(["streams"], timeout=90)
        self.assertExitCode(result, 0)
        out, err = self.read(app, "out.log"), self.read(app, "err.log")
        self.assertIn(warning[0], err, self.context(result, app=app))
        self.assertIn("err-1\r\n", err)
        for line in logged:
            self.assertIn(line, out, self.context(result, app=app))
        self.assertIn("out-1\r\n", out)
        self.assertIn("[gc,init]", (app.folder / "gc-init.log").read_text(errors="replace"))
        self.assertNotIn("[gc,init]", out + err)

    # -- class path and memory -----------------------------------------------------------------

    def test_class_path_of_200_jars(self):
        app = self.make_app("jre64")
        for i in range(199):
            with zipfile.ZipFile(app.folder / "lib" / ("gen-%03d.jar" % i), "w") as jar:
                jar.writestr("gen/r%d.txt" % i, "%d" % i)
        result = app.run(["report"], timeout=90)
        self.assertExitCode(result, 0)
        reported = dict(self.reported(app))
        self.assertEqual(reported.get("classPathEntries"), "200", self.context(result, app=app))
        self.assertEqual(reported.get("generatedResources"), "199")

    def test_percentage_heap(self):
        app = self.make_app("jre64", java=["Virtual Machine Parameters=-Xmx25p"])
        result = app.run(["report"], timeout=90)
        self.assertExitCode(result, 0)
        reported = int(dict(self.reported(app)).get("maxMemory", "0"))
        expected = total_memory_bytes() * 25 // 100
        # The VM rounds the heap to its region size and may keep a survivor space back.
        self.assertGreater(reported, expected * 0.9, self.context(result, app=app))
        self.assertLess(reported, expected * 1.02)

    # -- the runtime's own splash ------------------------------------------------------------

    def test_native_splash_closes(self):
        image = harness.repo_root() / "sample" / "splash.png"
        for mode in ("splash-close", "splash-window"):
            with self.subTest(mode):
                app = self.make_app("jre64", display=[
                    "Splash Screen=%s" % harness.win_path(image),
                    "Preffer Native Splash Screen=Yes"])
                result = app.run([mode], timeout=90)
                self.assertExitCode(result, 0)
                reported = dict(self.reported(app))
                info = self.context(result, app=app)
                self.assertEqual(reported.get("splashBefore"), "true", info)
                self.assertEqual(reported.get("splashAfter"), "false", info)

    def test_image_splash_goes_when_the_first_window_appears(self):
        # The image is named relative to the launcher, which starts in another folder, as a
        # file association starts it. (keep key, splash expected to stay after the frame)
        for keep in ("", "Yes"):
            with self.subTest(keep=keep):
                app = self.make_app("jre64", display=[
                    "Splash Screen=art\\splash.png", "Keep Splash Screen=%s" % keep])
                (app.folder / "art").mkdir()
                shutil.copyfile(harness.repo_root() / "sample" / "splash.png",
                                app.folder / "art" / "splash.png")
                stop = app.folder / "stop"
                process = app.start(["frame-later", "3000", harness.win_path(stop)],
                                    cwd=harness.temp_dir("elsewhere-"), timeout=180)
                try:
                    ui = harness.UiDriver()
                    splash = ui.wait_dialog(timeout=60, pid=process,
                                            window_class="SplashScreenWindow")
                    self.assertGreater(splash["rect"]["width"], 0, splash)
                    # The toolkit's windows and the hidden frame do not count.
                    deadline = time.time() + 60
                    while not stop.with_name("stop.made").exists() and time.time() < deadline:
                        time.sleep(0.1)
                    time.sleep(1)
                    self.assertTrue(ui.info(splash["hwnd"])["visible"])
                    ui.wait_dialog(timeout=90, pid=process, title="probe frame",
                                   window_class="SunAwtFrame")
                    shown = time.time()
                    if keep:
                        time.sleep(2)
                        self.assertTrue(ui.info(splash["hwnd"])["visible"])
                        ui.close(splash["hwnd"])
                    self.assertTrue(ui.wait_gone(splash["hwnd"], timeout=10))
                    if not keep:
                        # The launcher looks five times a second; the driver's own start
                        # under Wine adds a little.
                        self.assertLess(time.time() - shown, 1.5)
                finally:
                    stop.write_text("stop")
                self.assertExitCode(process.wait(60), 0)

    # -- single instance -----------------------------------------------------------------------

    def test_second_start_reaches_secondary_main_after_main_returned(self):
        app = self.make_app("jre64", application=["Single Instance=yes"])
        release = app.folder / "release"
        primary = app.start(["wait-file", harness.win_path(release)], timeout=180)
        try:
            deadline = time.time() + 90
            while "main: returned" not in self.read(app, "out.log"):
                if not primary.running():
                    self.fail("the primary ended\n" + self.context(primary.wait(), app=app))
                self.assertLess(time.time(), deadline, "main never returned")
                time.sleep(0.2)
            # main has returned; DestroyJavaVM waits for the thread that waits for `release`.
            second = app.run(["a b", "\u00fc"], timeout=90)
            self.assertEqual(second.code, 42, self.context(second, app=app))
            self.assertIn("secondaryMain: [a b][\\u00fc]", self.read(app, "out.log"))
        finally:
            release.write_text("go")
        self.assertExitCode(primary.wait(90), 0)

    # -- where the runtime is found ----------------------------------------------------------

    def test_runtime_found_beside_the_exe_and_through_the_registry(self):
        key = "HKLM\\Software\\JavaSoft\\JRE\\17"
        self.addCleanup(harness.run_wine, ["reg", "delete", key, "/f", "/reg:64"])
        for source in ("jre64", "registry"):
            with self.subTest(source):
                harness.run_wine(["reg", "delete", key, "/f", "/reg:64"])
                if source == "registry":
                    added = harness.run_wine(["reg", "add", key, "/v", "JavaHome", "/t", "REG_SZ",
                                              "/d", harness.win_path(self.jre), "/f", "/reg:64"])
                    self.assertEqual(added.returncode, 0, added.stdout)
                app = self.make_app(source if source == "jre64" else None)
                result = app.run(["report"], timeout=90)
                self.assertExitCode(result, 0)
                home = dict(self.reported(app)).get("java.home", "")
                expected = (harness.win_path(app.folder / "jre64") if source == "jre64"
                            else harness.win_path(self.jre))
                self.assertEqual(home.lower(), expected.lower(), self.context(result, app=app))


    # -- class data sharing -------------------------------------------------------------------

    def sharing_setup(self):
        """A per-user local folder of this case's own; returns the archive folder in it."""
        local = harness.temp_dir("local-")
        self.sharing_env = {"LOCALAPPDATA": harness.win_path(local)}
        return local / "vmboot" / "Class Data"

    def sharing(self, app):
        """What vmbootcheck says the launcher's next start does with archives: (what, fields)."""
        decisions = [d for d in app.check(env=self.sharing_env)["decisions"]
                     if d["stage"] == "sharing"]
        self.assertEqual(len(decisions), 1, decisions)
        return decisions[0]["what"], decisions[0]

    def sharing_start(self, app, entries, env=None):
        result = app.run(["report"], env=dict(self.sharing_env, **(env or {})), timeout=120)
        self.assertExitCode(result, 0)
        self.assertIn(("classPathEntries", str(entries)), self.reported(app),
                      self.context(result, app=app))

    def test_class_data_archive_made_mapped_replaced_and_repaired(self):
        folder = self.sharing_setup()
        app = self.make_app("jre64")
        # A second program beside it, on the same runtime, writing no files.
        other = harness.App(64, name="other", folder=app.folder)
        other.write_ini("[Java Runtime Environment]\nMain Class=probe.Main\n"
                        "[Class Path]\nClass Path=lib\\*.jar\n")
        # Two first starts at once on a runtime without a base archive: one hidden process
        # makes it (its lock keeps a second one out), and no lock or temporary file remains.
        starts = [program.start(["report"], env=self.sharing_env, timeout=120)
                  for program in (app, other)]
        for process in starts:
            self.assertExitCode(process.wait(180), 0)
        deadline = time.monotonic() + 300
        while (not list(folder.glob("base.*.jsa")) or list(folder.glob("*.lock"))
               or list(folder.glob("*.tmp"))) and time.monotonic() < deadline:
            time.sleep(1)
        self.assertEqual(archive_kinds(folder), [".jsa"], list(folder.iterdir()))
        # Second: records the application's archive as it exits.
        self.assertEqual(self.sharing(app)[0], "record")
        self.sharing_start(app, 1)
        recorded = list(folder.glob("app.*.jsa"))
        self.assertEqual(len(recorded), 1, list(folder.iterdir()))
        # Third: maps it; the program's own class comes from it.
        self.assertEqual(self.sharing(app)[0], "map")
        # Relative to the application's folder, the current one: -Xlog reads ":" as a separator.
        self.sharing_start(app, 1, {"_JAVA_OPTIONS": "-Xlog:class+load:file=classes.log"})
        self.assertIn("probe.Main source: shared objects file (top)",
                      (app.folder / "classes.log").read_text(errors="replace"))
        # Another jar on the class path: recorded anew, and the old archive is gone, as are
        # a temporary file of a start that ended two hours ago and a base archive no
        # application has used for two days.
        stale = [(folder / ("app.gone-00000000.%s.tmp" % ("0" * 16)), 2 * 3600),
                 (folder / ("base.%s.%s.jsa" % ("0" * 16, "1" * 16)), 2 * 86400)]
        for path, age in stale:
            path.write_bytes(b"stale")
            os.utime(path, (time.time() - age,) * 2)
        shutil.copyfile(probe_jar(), app.folder / "lib" / "extra.jar")
        self.assertEqual(self.sharing(app)[0], "record")
        # The VM reads JAVA_TOOL_OPTIONS too: its -Xshare:off with a recording would stop the
        # VM at start, so that start records nothing.
        self.sharing_start(app, 2, {"JAVA_TOOL_OPTIONS": "-Xshare:off"})
        self.assertEqual(len(list(folder.glob("app.*.jsa"))), 1)
        self.sharing_start(app, 2)
        replaced = list(folder.glob("app.*.jsa"))
        self.assertEqual(len(replaced), 1, replaced)
        self.assertEqual([path for path, _ in stale if path.exists()], [])
        self.assertEqual(len(list(folder.glob("base.*.jsa"))), 1, list(folder.iterdir()))
        self.assertNotEqual(replaced[0].name, recorded[0].name)
        # Damaged in the middle (a VM that maps such a file may end the process): the start
        # runs as before, without it, and records it anew.
        replaced[0].chmod(0o644)
        with open(replaced[0], "r+b") as archive:
            archive.seek(replaced[0].stat().st_size // 2)
            archive.write(b"\xa5" * 4096)
        self.assertEqual(self.sharing(app)[0], "record")
        self.sharing_start(app, 2)
        self.assertEqual(self.sharing(app)[0], "map")
        # The base archive made again (its dump is not deterministic): the application's
        # archive made on the old one would be refused by the VM, so it is recorded anew.
        for base in folder.glob("base.*.jsa"):
            base.chmod(0o644)
            base.unlink()
        self.sharing_start(app, 2)
        deadline = time.monotonic() + 300
        while (not list(folder.glob("base.*.jsa")) or list(folder.glob("*.lock"))) \
                and time.monotonic() < deadline:
            time.sleep(1)
        self.assertEqual(self.sharing(app)[0], "record")
        self.sharing_start(app, 2)
        self.assertEqual(self.sharing(app)[0], "map")
        self.sharing_start(app, 2, {"_JAVA_OPTIONS": "-Xlog:class+load:file=classes.log"})
        self.assertIn("probe.Main source: shared objects file (top)",
                      (app.folder / "classes.log").read_text(errors="replace"))

    def shipped_app(self, java=(), main_class="probe.Main"):
        app = self.make_app(None, java=java, main_class=main_class)
        (app.folder / "jre64").symlink_to(shipped_jre(), target_is_directory=True)
        return app

    def test_class_data_on_the_runtimes_own_archive(self):
        folder = self.sharing_setup()
        # A heap size keeps the default archive's shape (compressed pointers).
        app = self.shipped_app(java=["Virtual Machine Parameters=-Xmx256m"])
        # No private base archive and no hidden dump: the first start records at once.
        self.assertEqual(self.sharing(app)[0], "record")
        # A temporary file of a dump that was killed a moment ago goes at once.
        folder.mkdir(parents=True)
        killed = folder / ("base.%s.4000000003.tmp" % ("0" * 16))
        killed.write_bytes(b"\0" * 65536)
        self.sharing_start(app, 1)
        self.assertFalse(killed.exists())
        self.assertEqual([p.name for p in folder.glob("base.*")], [])
        self.assertEqual(len(list(folder.glob("app.*.jsa"))), 1, list(folder.iterdir()))
        self.assertEqual(self.sharing(app)[0], "map")
        self.sharing_start(app, 1, {"_JAVA_OPTIONS": "-Xlog:class+load:file=classes.log"})
        self.assertIn("probe.Main source: shared objects file (top)",
                      (app.folder / "classes.log").read_text(errors="replace"))
        # A start that mapped and ran leaves no note of its mapping.
        self.assertEqual(archive_kinds(folder), [".jsa"], list(folder.iterdir()))
        # A note left by a start that died mapping it: the archive is suspect, removed, and
        # the start runs without it.
        archive = next(folder.glob("app.*.jsa"))
        note = folder / (archive.name.rsplit(".", 2)[0] + ".mapping.4000000003")
        note.write_bytes(b"")
        what, fields = self.sharing(app)
        self.assertEqual((what, fields["reason"].split(";")[0]),
                         ("off", "a start that mapped the archive died before main"))
        self.sharing_start(app, 1)
        self.assertFalse(archive.exists())
        self.assertFalse(note.exists())
        self.assertEqual(self.sharing(app)[0], "off")

    def test_class_data_keyed_on_the_jars_content(self):
        folder = self.sharing_setup()
        app = self.shipped_app()
        old = version_jar(harness.temp_dir("v1-"), "AAAA")
        new = version_jar(harness.temp_dir("v2-"), "BBBB")
        self.assertEqual(old.stat().st_size, new.stat().st_size)
        shutil.copy2(old, app.folder / "lib" / "version.jar")
        for what in ("record", "map"):
            self.assertEqual(self.sharing(app)[0], what)
            self.assertExitCode(app.run(["version"], env=self.sharing_env, timeout=120), 0)
            self.assertIn(("version", "AAAA"), self.reported(app))
        # The same size and time, another content: what java.exe would run.
        shutil.copy2(new, app.folder / "lib" / "version.jar")
        self.assertEqual(self.sharing(app)[0], "record")
        self.assertExitCode(app.run(["version"], env=self.sharing_env, timeout=120), 0)
        self.assertIn(("version", "BBBB"), self.reported(app))
        self.assertEqual(len(list(folder.glob("app.*.jsa"))), 1, list(folder.iterdir()))

    def test_class_data_left_out_where_the_vm_would_refuse_it(self):
        folder = self.sharing_setup()
        # Options the VM will not record with: the start runs as java.exe runs it.
        for parameters in ("--limit-modules java.base,java.desktop",
                           "--patch-module java.desktop=nothing",
                           "--upgrade-module-path lib"):
            with self.subTest(parameters):
                app = self.shipped_app(java=["Virtual Machine Parameters=" + parameters])
                what, fields = self.sharing(app)
                self.assertEqual((what, fields["detail"].split("=")[0]),
                                 ("off", parameters.split()[0]))
                self.sharing_start(app, 1)
        # A start whose main class is missing records nothing.
        app = self.shipped_app(main_class="probe.Nope")
        self.assertEqual(self.sharing(app)[0], "record")
        self.assertExitCode(app.run(["report"], env=self.sharing_env, timeout=120), 1)
        self.assertEqual(list(folder.glob("app.*")), [])

    def test_class_data_folder_kept_while_recording(self):
        folder = self.sharing_setup()
        app = self.shipped_app()
        self.assertEqual(self.sharing(app)[0], "record")
        process = app.start(["thread-exit", "7", "9000"], env=self.sharing_env, timeout=120)
        deadline = time.monotonic() + 60
        while not (app.folder / "logs" / "out.log").exists() and time.monotonic() < deadline:
            time.sleep(0.2)
        time.sleep(1)
        harness.run_wine(["cmd", "/c", "rmdir", "/s", "/q", harness.win_path(folder)])
        self.assertExitCode(process.wait(120), 7)
        self.assertEqual(len(list(folder.glob("app.*.jsa"))), 1)

    def test_class_data_sharing_off_by_key_or_for_an_unusable_folder(self):
        folder = self.sharing_setup()
        app = self.make_app("jre64", java=["Class Data Sharing=No"])
        what, fields = self.sharing(app)
        self.assertEqual((what, fields["reason"]), ("off", "Class Data Sharing=No"))
        options = app.check(env=self.sharing_env)["vmOptions"]
        self.assertFalse([o for o in options if "Shared" in o or "Xshare" in o], options)
        # A profile where the folder cannot be made costs only the speed-up.
        folder.parent.write_bytes(b"not a folder")
        app = self.make_app("jre64")
        self.sharing_start(app, 1)


if __name__ == "__main__":
    harness.main()
