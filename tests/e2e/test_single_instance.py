"""Single instance, end to end: a primary launcher running the stand-in runtime, and later
starts of the same executable that hand their arguments to it.

The primary's main waits for a file, so it runs until a test lets it go. secondaryMain is
scripted; the stand-in logs every call with its arguments and the process that made it.

VMBOOT_SI_ROUNDS sets how many rounds of twenty simultaneous starts run (default 5).
"""

import os
import shutil
import struct
import sys
import time
import unittest
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import harness  # noqa: E402
import standin  # noqa: E402

ROUNDS = int(os.environ.get("VMBOOT_SI_ROUNDS", "5"))


def write_bmp(path, width=120, height=80):
    """A plain 24-bit bitmap, enough for the splash window."""
    row = bytes([40, 120, 200] * width)
    row += b"\0" * ((4 - len(row) % 4) % 4)
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    Path(path).write_bytes(header + info + pixels)
    return path


class Fixture:
    """One launcher copy with a stand-in runtime beside it and a scripted main class."""

    def __init__(self, bitness, secondary=None, secondary_form="int", secondary_result=0,
                 single="yes", app_type=None, create_wait_file=None, folder=None,
                 main_exit=None, splash=False, create_result=0):
        self.app = harness.App(bitness, folder=folder)
        self.log = self.app.folder / "standin.log"
        self.stop = self.app.folder / "stop-main"
        self.release = self.app.folder / "release-secondary"
        runtime = self.app.folder / ("jre64" if bitness == 64 else "jre")
        self.runtime = runtime
        self.make_runtime = lambda create_result: standin.make_runtime(
            runtime, bitness, log=harness.win_path(self.log), create_result=create_result,
            create_wait_file=(harness.win_path(create_wait_file) if create_wait_file else None))
        self.make_runtime(create_result)
        classes = self.app.folder / "classes"
        main = ["mark main", "wait-file %s" % harness.win_path(self.stop)]
        if main_exit is not None:
            main.append("exit %d" % main_exit)
        if secondary is not None:
            secondary = [a.replace("{release}", harness.win_path(self.release))
                         for a in secondary]
        standin.write_class(classes, "app.Main",
                            standin.script(main=main, secondary=secondary,
                                           secondary_form=secondary_form,
                                           secondary_result=secondary_result))
        application = ["Single Instance=%s" % single]
        if app_type:
            application.append("Application Type=%s" % app_type)
        display = []
        if splash:
            image = write_bmp(self.app.folder / "splash.bmp")
            display = ["[Display]", "Splash Screen=%s" % harness.win_path(image)]
        self.app.write_ini("\n".join(display + [
            "[Java Runtime Environment]",
            "Main Class=app.Main",
            "[Class Path]",
            "Class Path=%s" % harness.win_path(classes),
            "[Application]",
        ] + application) + "\n")

    def start(self, args=(), timeout=120):
        return self.app.start(list(args), timeout=timeout)

    def events(self, name, **fields):
        return standin.events(standin.read_log(self.log), name, **fields)

    def wait_event(self, name, count=1, timeout=60, starts=(), **fields):
        """Waits for `count` stand-in events; on failure the report names how each of
        `starts` (launcher processes) ended, or that it still runs."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            found = self.events(name, **fields)
            if len(found) >= count:
                return found
            time.sleep(0.1)
        states = ["%s: %s" % (start.command_line, "running" if start.poll()
                              else start.wait(1).describe()) for start in starts]
        raise AssertionError("no %d %r events within %s s; log:\n%s\n%s"
                             % (count, name, timeout, self.log.read_text(errors="replace")
                                if self.log.exists() else "(no log)", "\n".join(states)))

    def start_primary(self):
        primary = self.start(["primary"])
        self.wait_event("main")
        return primary

    def stop_main(self):
        self.stop.write_text("stop")


class SingleInstanceTests(harness.TestCase):
    BITNESS = 64

    def setUp(self):
        self.processes = []

    def tearDown(self):
        for fixture, process in self.processes:
            fixture.stop_main()
            fixture.release.write_text("go")
        for _, process in self.processes:
            if process.poll():
                process.wait(60)

    def fixture(self, **kwargs):
        return Fixture(self.BITNESS, **kwargs)

    def primary(self, fixture):
        process = fixture.start_primary()
        self.processes.append((fixture, process))
        return process

    def finish_primary(self, fixture, process, expected=0):
        fixture.stop_main()
        self.assertExitCode(process.wait(60), expected)

    def test_int_form_answer_is_the_exit_code(self):
        f = self.fixture(secondary=["mark secondary"], secondary_form="int", secondary_result=7)
        primary = self.primary(f)
        second = f.start(["x", "y z"]).wait(60)
        self.assertExitCode(second, 7)
        calls = f.events("secondary_main")
        self.assertEqual([c["args"] for c in calls], [["x", "y z"]])
        self.assertEqual(calls[0]["form"], "int")
        self.assertEqual(calls[0]["pid"], primary.pid)
        self.finish_primary(f, primary)

    def test_void_form_ends_the_second_start_at_once(self):
        f = self.fixture(secondary=["mark secondary", "wait-file {release}"],
                         secondary_form="void")
        primary = self.primary(f)
        second = f.start(["v"]).wait(60)
        # Answered while secondaryMain still waits: the answer came before the call's end.
        self.assertExitCode(second, 0)
        f.wait_event("mark", text="secondary")
        self.assertEqual(f.events("secondary_main_end"), [])
        f.release.write_text("go")
        f.wait_event("secondary_main_end")
        self.assertEqual([c["args"] for c in f.events("secondary_main")], [["v"]])
        self.finish_primary(f, primary)

    def test_argument_shapes(self):
        f = self.fixture(secondary=[], secondary_form="int", secondary_result=3)
        primary = self.primary(f)
        cases = [
            ([], []),                         # no arguments: none, as main would get
            (["e1", "", "after-empty"], ["e1", "", "after-empty"]),  # empty ones travel too
            (["", "x", ""], ["", "x", ""]),
            (["-nosplash", "\u00e4\u00df"], ["-nosplash", "\u00e4\u00df"]),
        ]
        for number, (sent, delivered) in enumerate(cases, 1):
            with self.subTest(sent=sent):
                self.assertExitCode(f.start(sent).wait(60), 3)
                calls = f.wait_event("secondary_main", count=number)
                self.assertEqual(calls[-1]["args"], delivered)
        self.finish_primary(f, primary)

    def test_long_arguments_arrive_whole(self):
        f = self.fixture(secondary=[], secondary_form="int", secondary_result=3)
        primary = self.primary(f)
        cases = [
            ["x" * 259, "y" * 259],                     # just over one block
            ["C:\\docs\\" + "p" * 171] * 3,          # three dropped files
            ["-open"] + ["q" * 1000] * 20,              # many blocks
        ]
        for number, sent in enumerate(cases, 1):
            self.assertExitCode(f.start(sent).wait(60), 3)
            calls = f.wait_event("secondary_main", count=number)
            self.assertEqual(calls[-1]["args"], sent)
        self.finish_primary(f, primary)

    def test_settings_that_leave_the_protocol_off(self):
        for single, app_type in (("Yes", None), ("yes", "service")):
            with self.subTest(single=single, app_type=app_type):
                f = self.fixture(secondary=[], secondary_form="int", secondary_result=3,
                                 single=single, app_type=app_type)
                first = self.primary(f)
                second = f.start(["again"])
                self.processes.append((f, second))
                mains = f.wait_event("main", count=2)
                self.assertEqual(mains[1]["args"], ["again"])
                self.assertNotEqual(mains[0]["pid"], mains[1]["pid"])
                self.assertEqual(f.events("secondary_main"), [])
                f.stop_main()
                self.assertExitCode(first.wait(60), 0)
                self.assertExitCode(second.wait(60), 0)

    def test_copies_in_two_folders_run_side_by_side(self):
        a = self.fixture(secondary=[], secondary_form="int", secondary_result=3)
        b = self.fixture(secondary=[], secondary_form="int", secondary_result=4)
        first = self.primary(a)
        second = self.primary(b)  # its own primary: main runs in it
        self.assertNotEqual(a.events("main")[0]["pid"], b.events("main")[0]["pid"])
        # Each copy serves its own second starts.
        self.assertExitCode(b.start(["to-b"]).wait(60), 4)
        self.assertExitCode(a.start(["to-a"]).wait(60), 3)
        self.assertEqual([c["args"] for c in a.events("secondary_main")], [["to-a"]])
        self.assertEqual([c["args"] for c in b.events("secondary_main")], [["to-b"]])
        self.finish_primary(a, first)
        self.finish_primary(b, second)

    def test_second_start_during_splash_is_served_once_main_starts(self):
        go = harness.temp_dir("go-") / "create-vm"
        f = self.fixture(secondary=[], secondary_form="int", secondary_result=11,
                         create_wait_file=go, splash=True)
        primary = f.start(["primary"])
        self.processes.append((f, primary))
        f.wait_event("create_wait_file")  # the primary is creating its VM: main not yet called
        harness.UiDriver().wait_dialog(timeout=30, pid=primary, window_class="SplashScreenWindow")
        second = f.start(["early"])
        time.sleep(3)
        self.assertTrue(second.poll(), "the second start ended before main started")
        self.assertEqual(f.events("secondary_main"), [])
        go.write_text("go")
        self.assertExitCode(second.wait(60), 11)
        log = standin.read_log(f.log)
        order = [e["event"] for e in log if e["event"] in ("main", "secondary_main")]
        self.assertEqual(order, ["main", "secondary_main"])
        self.assertEqual(f.events("secondary_main")[0]["args"], ["early"])
        self.finish_primary(f, primary)

    def test_primary_ending_during_the_call_ends_the_start_with_its_code(self):
        # secondaryMain ends the primary with System.exit(9) before it answers (a "--quit"):
        # the call had begun, so the start ends with the primary's exit code and never runs
        # main with the same arguments.
        f = self.fixture(secondary=["exit 9"], secondary_form="int", secondary_result=3)
        primary = self.primary(f)
        second = f.start(["--quit"])
        self.processes.append((f, second))
        self.assertExitCode(primary.wait(60), 9)
        self.assertExitCode(second.wait(60), 9)
        self.assertEqual([m["args"] for m in f.events("main")], [["primary"]])

    def test_dry_run_reports_the_role_and_hands_nothing_over(self):
        f = self.fixture(secondary=[], secondary_form="int", secondary_result=3)

        def role(report):
            found = [d for d in report["decisions"]
                     if d["stage"] == "instance" and d["what"] == "role"]
            self.assertEqual(len(found), 1, report["decisions"])
            return found[0]

        alone = f.app.check(["a"])
        self.assertEqual(alone["outcome"], "run-in-process")
        self.assertEqual(role(alone)["role"], "primary")
        # The dry run made no block: a real start is still the primary.
        primary = self.primary(f)
        beside = f.app.check(["a"])
        self.assertEqual(beside["outcome"], "forward-to-primary")
        self.assertEqual(role(beside)["role"], "second")
        self.assertEqual(role(beside)["primaryProcessId"], str(primary.pid))
        long = f.app.check(["x" * 600])
        self.assertEqual(long["outcome"], "forward-to-primary")
        self.assertEqual(role(long)["argumentBlocks"], "2")
        # Nothing was posted: the primary only serves the real start that follows.
        self.assertExitCode(f.start(["real"]).wait(60), 3)
        self.assertEqual([c["args"] for c in f.events("secondary_main")], [["real"]])
        self.finish_primary(f, primary)

    def test_twenty_simultaneous_starts_each_get_their_own_answer(self):
        f = self.fixture(secondary=["return-arg"], secondary_form="int")
        primary = self.primary(f)
        expected_calls = 0
        for round_number in range(ROUNDS):
            with self.subTest(round=round_number):
                numbers = [1000 + 100 * round_number + i for i in range(20)]
                processes = [f.start([str(n), "tag-%d" % n]) for n in numbers]
                with ThreadPoolExecutor(len(processes)) as pool:
                    results = list(pool.map(lambda p: p.wait(180), processes))
                for number, result in zip(numbers, results):
                    self.assertExitCode(result, number)
                expected_calls += 20
                calls = f.wait_event("secondary_main", count=expected_calls)
                received = [tuple(c["args"]) for c in calls
                            if c["args"] and c["args"][0] in {str(n) for n in numbers}]
                self.assertEqual(sorted(received),
                                 sorted((str(n), "tag-%d" % n) for n in numbers),
                                 "each start's arguments recorded exactly once, unmixed")
                self.assertEqual(len(calls), expected_calls)
        self.finish_primary(f, primary)


    def test_primary_that_never_reaches_main(self):
        # VM creation fails in the primary: its message box stays up while a second start
        # waits. Once the primary ends (-1), the waiting start starts over as a primary of
        # its own (and, on the same broken runtime, fails the same way); a start after the
        # runtime is mended is served as usual.
        f = self.fixture(secondary=[], secondary_form="int", secondary_result=6, create_result=-4)
        primary, dialog = self.run_with_dialog(f.app, args=["primary"], press=None)
        self.processes.append((f, primary))
        second = f.start(["early"])
        time.sleep(2)
        self.assertTrue(second.poll(), "the second start ended while the primary was alive")
        harness.UiDriver().press("OK", hwnd=dialog["hwnd"])
        self.assertExitCode(primary.wait(60), -1)
        result, _ = self.run_with_dialog(second)
        self.assertExitCode(result, -1)
        self.assertEqual(f.events("secondary_main"), [])
        f.make_runtime(0)
        again = self.primary(f)
        self.assertExitCode(f.start(["late"]).wait(60), 6)
        self.assertEqual([c["args"] for c in f.events("secondary_main")], [["late"]])
        self.finish_primary(f, again)

    def test_second_start_killed_mid_hand_over(self):
        # A second start killed while the primary serves it: the primary's answer goes
        # nowhere, and the next start is served with its own arguments and answer.
        f = self.fixture(secondary=["mark secondary", "wait-file {release}", "return-arg"],
                         secondary_form="int")
        primary = self.primary(f)
        doomed = f.start(["41"])
        f.wait_event("mark", text="secondary")
        doomed.kill()
        f.release.write_text("go")
        f.wait_event("secondary_main_end")
        started = time.time()
        self.assertExitCode(f.start(["42"]).wait(60), 42)
        self.assertLess(time.time() - started, 30)
        self.assertEqual([c["args"] for c in f.events("secondary_main")], [["41"], ["42"]])
        self.finish_primary(f, primary)

    def test_main_class_without_secondary_main(self):
        # secondaryMain is optional: the second start ends with 0 at once, the primary runs on.
        f = self.fixture(secondary=None, main_exit=5)
        primary = self.primary(f)
        self.assertExitCode(f.start(["orphan"]).wait(30), 0)
        self.assertTrue(primary.poll(), "the primary ended")
        self.assertEqual(f.events("secondary_main"), [])
        f.stop_main()
        self.assertExitCode(primary.wait(60), 5)

    def test_first_start_handing_over_to_the_pair_product_leaves_the_protocol(self):
        # The first start hands the launch to the pair product and waits for it ("Pair Return
        # Code"). Later starts must not queue up behind it as second instances: each one
        # hands over too, so the pair product runs main for every start.
        f = self.fixture(secondary=[], secondary_form="int", secondary_result=3)
        pair_folder = f.app.folder / "pair"
        pair_folder.mkdir()
        pair_exe = pair_folder / "pair.exe"
        shutil.copyfile(f.app.exe, pair_exe)
        other = f.app.folder / "other-processor"
        (other / "bin" / "client").mkdir(parents=True)
        probe = "probe_x86.dll" if self.BITNESS == 64 else "probe_x64.dll"
        shutil.copyfile(harness.tool_path(probe), other / "bin" / "client" / "jvm.dll")
        runtime = pair_folder / ("jre64" if self.BITNESS == 64 else "jre")
        shutil.copytree(f.runtime, runtime)
        ini = f.app.ini.read_text(encoding="cp1252")
        f.app.write_ini(ini.replace("Single Instance=yes", ""), name="pair/pair.ini")
        f.app.write_ini(ini.replace("[Java Runtime Environment]",
                                    "[Java Runtime Environment]\nJRE Path=%s"
                                    % harness.win_path(other))
                        + "Pair Product=pair\\pair.exe\nPair Return Code=Yes\n")
        first = f.start(["one"])
        self.processes.append((f, first))
        f.wait_event("main", starts=[first])
        second = f.start(["two"])
        self.processes.append((f, second))
        mains = f.wait_event("main", count=2, timeout=60, starts=[first, second])
        self.assertEqual(sorted(m["args"][0] for m in mains), ["one", "two"])
        f.stop_main()
        self.assertExitCode(first.wait(60), 0)
        self.assertExitCode(second.wait(60), 0)


# The Java side of the real-runtime cases: each class logs what it does, with its process and
# thread, to events.log beside the launcher (one line per event, written under a file lock,
# since several processes of one application write it).
REAL_SOURCES = {
    "si/Log.java": """package si;
import java.io.*;
import java.nio.channels.FileLock;
import java.nio.charset.StandardCharsets;
import java.nio.file.*;
public final class Log {
    static final Path FOLDER;
    static {
        try {
            FOLDER = Paths.get(Log.class.getProtectionDomain().getCodeSource().getLocation()
                .toURI()).getParent();
        } catch (Exception e) { throw new RuntimeException(e); }
    }
    // Synchronized as well: a second thread of this VM asking for the file lock while one
    // holds it would fail rather than wait.
    public static synchronized void write(String event, String... args) {
        String line = event + "\\t" + ProcessHandle.current().pid() + "\\t"
            + Thread.currentThread().getName() + "\\t" + String.join("\\u001f", args) + "\\n";
        try (FileOutputStream out = new FileOutputStream(FOLDER.resolve("events.log").toFile(), true);
             FileLock lock = out.getChannel().lock()) {
            out.write(line.getBytes(StandardCharsets.UTF_8));
        } catch (IOException e) { throw new UncheckedIOException(e); }
    }
    public static boolean exists(String name) { return Files.exists(FOLDER.resolve(name)); }
    /** Until the test writes the file "stop" (three minutes at most). */
    public static void waitForStop() throws InterruptedException {
        for (int i = 0; i < 1800 && !exists("stop"); i++) Thread.sleep(100);
    }
}
""",
    "si/Serving.java": """package si;
public final class Serving {
    public static void main(String[] args) throws Exception {
        Log.write("main", args);
        // "brief": main returns soon and the VM ends, while later starts keep arriving.
        if (Log.exists("brief")) Thread.sleep(1500); else Log.waitForStop();
    }
    public static int secondaryMain(String[] args) throws Exception {
        Log.write("enter", args);
        Thread.sleep(300);
        // How applications implement "--quit": the start that asked gets the exit code.
        if (args[0].equals("--quit")) System.exit(3);
        Log.write("leave", args);
        return Integer.parseInt(args[0]);
    }
}
""",
    "si/Plain.java": """package si;
import java.awt.Frame;
public final class Plain {
    public static void main(String[] args) throws Exception {
        Frame frame = new Frame("plain");
        frame.setSize(300, 200);
        frame.setVisible(true);
        // "shown": the frame stays as it is, for another program's window to cover it.
        boolean iconify = args.length == 0;
        if (iconify) frame.setExtendedState(Frame.ICONIFIED);
        for (int i = 0; i < 100 && iconify && frame.getExtendedState() != Frame.ICONIFIED; i++)
            Thread.sleep(50);
        Log.write("main", "" + frame.getExtendedState());
        for (int i = 0; i < 1800 && iconify && !Log.exists("stop"); i++) {
            if (frame.getExtendedState() == Frame.NORMAL) { Log.write("restored"); break; }
            Thread.sleep(100);
        }
        Log.waitForStop();
        frame.dispose();
    }
}
""",
    "si/Busy.java": """package si;
public final class Busy {
    public static void main(String[] args) throws Exception {
        Log.write("main", args);
        Log.waitForStop();
    }
    public static void secondaryMain(String[] args) throws Exception {
        Log.write("enter", args);
        // "busy": a question that keeps the user for up to 30 s.
        for (int i = 0; i < 300 && args[0].equals("busy") && !Log.exists("release"); i++)
            Thread.sleep(100);
        Log.write("leave", args);
    }
}
""",
    "si/Throwing.java": """package si;
public final class Throwing {
    public static void main(String[] args) throws Exception {
        Log.write("main", args);
        Log.waitForStop();
    }
    public static int secondaryMain(String[] args) {
        if (args[0].equals("bad")) throw new IllegalStateException("refused " + args[0]);
        Log.write("enter", args);
        return 5;
    }
}
""",
    "si/Restart.java": """package si;
public final class Restart {
    public static void main(String[] args) throws Exception {
        Log.write("main", args);
        if (args[0].equals("first")) {
            // The new start arrives while this VM runs its shutdown hooks.
            Runtime.getRuntime().addShutdownHook(new Thread(() -> {
                try { Thread.sleep(3000); } catch (InterruptedException e) { }
                Log.write("hook-done");
            }));
            new ProcessBuilder(args[1], "restarted").start();
            System.exit(0);
        }
        Log.write("enter-loop", args);
        Log.waitForStop();
    }
    public static int secondaryMain(String[] args) {
        Log.write("enter", args);
        return 0;
    }
}
""",
}

_real_classes = None


def real_classes():
    """The classes above, compiled once per test process."""
    global _real_classes
    if _real_classes is None:
        _real_classes = harness.compile_java(REAL_SOURCES, harness.temp_dir("si-java-"),
                                             release=11)
    return _real_classes


class RealApp:
    """A launcher copy on the real runtime with one of the classes above as main class."""

    def __init__(self, main_class, application=()):
        self.app = harness.App(64)
        harness.link_real_jre(self.app.folder)
        classes = self.app.folder / "classes"
        shutil.copytree(real_classes(), classes)
        self.log = self.app.folder / "events.log"
        self.app.write_ini("\n".join([
            "[Java Runtime Environment]",
            "Main Class=%s" % main_class,
            "[Class Path]",
            "Class Path=classes",
            "[Application]",
            "Single Instance=yes",
            "Error File=logs\\err.log",
        ] + list(application)) + "\n")

    def start(self, args=()):
        return self.app.start(list(args), timeout=300)

    def events(self, name=None):
        """(event, pid, thread, args) tuples, in the order written."""
        if not self.log.exists():
            return []
        found = []
        for line in self.log.read_text(encoding="utf-8").splitlines():
            event, pid, thread, args = line.split("\t")
            if name is None or event == name:
                found.append((event, int(pid), thread, args.split("\x1f") if args else []))
        return found

    def wait_events(self, name, count=1, timeout=120):
        deadline = time.time() + timeout
        while time.time() < deadline:
            found = self.events(name)
            if len(found) >= count:
                return found
            time.sleep(0.2)
        raise AssertionError("no %d %r events in %s s:\n%s" % (
            count, name, timeout, self.log.read_text(errors="replace")
            if self.log.exists() else "(no log)"))

    def stop(self):
        (self.app.folder / "stop").write_text("stop")


class RealSingleInstanceTests(harness.TestCase):
    """Single instance with real applications on the real runtime."""

    def setUp(self):
        harness.require_real_jre(self)
        self.apps = []

    def tearDown(self):
        for app, process in self.apps:
            app.stop()
        for app, process in self.apps:
            if process.poll():
                process.wait(60)

    def real_app(self, main_class, application=()):
        return RealApp(main_class, application)

    def start(self, app, args):
        process = app.start(args)
        self.apps.append((app, process))
        return process

    def test_calls_run_one_at_a_time_in_arrival_order_after_main(self):
        app = self.real_app("si.Serving")
        primary = self.start(app, ["0"])
        # Starts that arrive while the primary still creates its VM, then while it serves.
        numbers = [11, 12, 13, 14]
        seconds = []
        for number in numbers:
            seconds.append(self.start(app, [str(number)]))
            time.sleep(0.7)
        for number, second in zip(numbers, seconds):
            self.assertExitCode(second.wait(120), number)
        log = app.events()
        self.assertEqual(log[0][0], "main", "secondaryMain ran before main:\n%s" % log)
        calls = [e for e in log if e[0] in ("enter", "leave")]
        self.assertEqual([(e[0], e[3]) for e in calls],
                         [(kind, [str(n)]) for n in numbers for kind in ("enter", "leave")],
                         "calls overlapped or came out of order")
        self.assertEqual({e[1] for e in calls}, {primary.pid})
        app.stop()
        self.assertExitCode(primary.wait(60), 0)

    def test_arguments_arrive_whole(self):
        app = self.real_app("si.Serving")
        primary = self.start(app, ["0", "e1", "", "after-empty"])
        self.assertEqual(app.wait_events("main")[0][3], ["0", "e1", "", "after-empty"])
        cases = [
            ["51"] + ["C:\\Users\\someone\\Documents\\" + "p" * 155 + ".txt"] * 3,
            # As main gets them: an empty argument ends nothing.
            ["52", "e1", "", "after-empty"],
        ]
        for sent in cases:
            self.assertExitCode(app.start(sent).wait(120), int(sent[0]))
            self.assertEqual(app.events("enter")[-1][3], sent)
        app.stop()
        self.assertExitCode(primary.wait(60), 0)

    def test_quit_through_system_exit_runs_main_exactly_once(self):
        app = self.real_app("si.Serving")
        primary = self.start(app, ["0"])
        app.wait_events("main")
        quitting = app.start(["--quit"])
        self.assertExitCode(primary.wait(60), 3)
        self.assertExitCode(quitting.wait(60), 3)
        time.sleep(2)
        self.assertEqual([e[3] for e in app.events("main")], [["0"]], app.events())
        self.assertEqual([e[3] for e in app.events("enter")], [["--quit"]])

    def test_void_form_starts_behind_a_busy_call_end_at_once_in_order(self):
        app = self.real_app("si.Busy")
        primary = self.start(app, [])
        app.wait_events("main")
        self.assertExitCode(app.start(["busy"]).wait(60), 0)
        app.wait_events("enter")
        for name in ("v1", "v2", "v3"):
            started = time.time()
            self.assertExitCode(app.start([name]).wait(60), 0)
            self.assertLess(time.time() - started, 10, "%s waited for the busy call" % name)
        self.assertEqual([e[3] for e in app.events("enter")], [["busy"]])
        (app.app.folder / "release").write_text("go")
        app.wait_events("leave", count=4)
        calls = [(e[0], e[3][0]) for e in app.events() if e[0] in ("enter", "leave")]
        self.assertEqual(calls, [(kind, name) for name in ("busy", "v1", "v2", "v3")
                                 for kind in ("enter", "leave")])
        app.stop()
        self.assertExitCode(primary.wait(60), 0)

    def test_a_hand_over_lock_held_elsewhere_ends_the_start_within_its_bound(self):
        message = "did not take over this start within 30 seconds"
        for build in ("windowed", "console"):
            with self.subTest(build):
                app = self.real_app("si.Serving")
                if build == "console":
                    app.app.exe.write_bytes((harness.dist_dir() / "vmbootc64.exe").read_bytes())
                primary = self.start(app, ["0"])
                app.wait_events("main")
                names = [d for d in app.app.check(["61"])["decisions"]
                         if d["stage"] == "instance" and d["what"] == "names"][0]
                holder = harness.UiDriver().hold_mutex(names["handOverLock"], 120000)
                try:
                    started = time.time()
                    if build == "windowed":
                        start, dialog = self.run_with_dialog(app.app, args=["61"], press=None,
                                                             timeout=90)
                        elapsed = time.time() - started
                        self.assertIn(message, dialog["message"])
                        self.assertEqual(dialog["pid"], start.pid)
                        harness.UiDriver().press("OK", hwnd=dialog["hwnd"])
                        result = start.wait(60)
                    else:
                        result = app.start(["61"]).wait(90)
                        elapsed = time.time() - started
                        self.assertIn(message, result.stderr)
                    # A failed launch, which the console build ends with 1, as java does.
                    self.assertExitCode(result, -1 if build == "windowed" else 1)
                    self.assertGreater(elapsed, 20)
                    self.assertLess(elapsed, 50)
                finally:
                    holder.kill()
                    holder.wait(30)
                # Nothing was started or delivered; with the lock free, starts are served.
                self.assertEqual(len(app.events("main")), 1)
                self.assertEqual(app.events("enter"), [])
                self.assertExitCode(app.start(["62"]).wait(120), 62)
                app.stop()
                self.assertExitCode(primary.wait(60), 0)

    def test_one_identity_however_the_path_is_spelled(self):
        app = self.real_app("si.Serving")
        primary = self.start(app, ["0"])
        app.wait_events("main")
        linked = harness.temp_dir("link-") / "linked"
        linked.symlink_to(app.app.folder, target_is_directory=True)
        spellings = [
            ("letter case", app.app.win_exe.upper()),
            ("linked folder", harness.win_path(linked / app.app.exe.name)),
        ]
        for number, (label, path) in enumerate(spellings, 31):
            with self.subTest(label):
                start = app.app.start_raw('"%s" %d' % (path, number), application=path)
                self.assertExitCode(start.wait(120), number)
                self.assertEqual(app.events("enter")[-1][1:4:2], (primary.pid, [str(number)]))
        self.assertEqual(len(app.events("main")), 1)
        app.stop()
        self.assertExitCode(primary.wait(60), 0)

    def assertInFront(self, process):
        foreground = None
        for _ in range(50):
            foreground = harness.UiDriver().foreground()
            if foreground and foreground["pid"] == process.pid:
                return
            time.sleep(0.2)
        self.fail("%s is not in front: %s" % (process.pid, foreground))

    def test_without_secondary_main_a_start_ends_at_once_and_shows_the_primary(self):
        for case in ("iconified", "covered"):
            with self.subTest(case):
                app = self.real_app("si.Plain")
                primary = self.start(app, [] if case == "iconified" else ["shown"])
                main = app.wait_events("main")
                if case == "iconified":
                    self.assertEqual(main[0][3], ["1"], "the frame was not iconified")
                else:
                    # Another program's window comes up in front of the primary's.
                    other = self.real_app("si.Plain")
                    cover = self.start(other, ["shown"])
                    other.wait_events("main")
                    self.assertInFront(cover)
                started = time.time()
                self.assertExitCode(app.start(["again"]).wait(60), 0)
                self.assertLess(time.time() - started, 30)
                if case == "iconified":
                    app.wait_events("restored", timeout=30)
                self.assertInFront(primary)
                self.assertTrue(primary.poll(), "the primary ended")
                app.stop()
                self.assertExitCode(primary.wait(60), 0)

    def test_a_throwing_secondary_main_is_reported_and_ends_the_start_with_one(self):
        app = self.real_app("si.Throwing")
        primary = self.start(app, [])
        app.wait_events("main")
        self.assertExitCode(app.start(["bad"]).wait(60), 1)
        errors = (app.app.folder / "logs" / "err.log").read_text(errors="replace")
        self.assertIn("java.lang.IllegalStateException: refused bad", errors)
        self.assertIn("at si.Throwing.secondaryMain", errors)
        # The primary goes on serving.
        self.assertExitCode(app.start(["good"]).wait(60), 5)
        app.stop()
        self.assertExitCode(primary.wait(60), 0)
        # With "Failure Check" the primary's exception dialog shows it as well: Ignore goes on
        # serving, Stop ends the application as it does for main.
        for button, ended in (("Ignore", 0), ("Stop", -1)):
            with self.subTest(button):
                app = self.real_app("si.Throwing", application=["Failure Check=Yes"])
                primary = self.start(app, [])
                app.wait_events("main")
                second = app.start(["bad"])
                ui = harness.UiDriver()
                dialog = ui.wait_dialog(timeout=90, pid=primary)
                trace = next(c["text"] for c in dialog["controls"] if c["id"] == 208)
                self.assertTrue(trace.startswith(
                    "java.lang.IllegalStateException: refused bad\r\n"
                    "\tat si.Throwing.secondaryMain("), trace)
                ui.press(button)
                self.assertExitCode(second.wait(60), 1)
                if button == "Ignore":
                    self.assertExitCode(app.start(["good"]).wait(60), 5)
                    app.stop()
                self.assertExitCode(primary.wait(60), ended)

    def test_starts_while_the_primary_ends_are_never_lost(self):
        app = self.real_app("si.Serving")
        (app.app.folder / "brief").write_text("")
        numbers = list(range(21, 29))
        processes = []
        for number in numbers:
            processes.append(self.start(app, [str(number)]))
            time.sleep(0.5)
        codes = [p.wait(180).code for p in processes]
        log = app.events()
        mains = {e[3][0]: e[1] for e in log if e[0] == "main"}
        served = {e[3][0]: e[1] for e in log if e[0] == "enter"}
        for number, code in zip(numbers, codes):
            key = str(number)
            self.assertEqual((key in mains) + (key in served), 1,
                             "start %s delivered %s times:\n%s"
                             % (key, (key in mains) + (key in served), log))
            self.assertEqual(code, 0 if key in mains else number, key)
        self.assertGreater(len(mains), 1, "no start found its primary ending")

    def test_allowing_ibm_runtimes_does_not_keep_the_process_alive(self):
        # "VM Provider=any" with the HotSpot runtime chosen: the VM thread does not park, so
        # the process ends with main, and the next start is a primary of its own.
        app = self.real_app("si.Serving")
        text = app.app.ini.read_text(encoding="cp1252")
        app.app.write_ini(text.replace("[Class Path]", "VM Provider=any\n[Class Path]"))
        (app.app.folder / "brief").write_text("")
        self.assertExitCode(self.start(app, ["41"]).wait(60), 0)
        self.assertExitCode(self.start(app, ["42"]).wait(60), 0)
        self.assertEqual([e[3] for e in app.events("main")], [["41"], ["42"]])

    def test_an_application_that_restarts_itself_comes_back(self):
        app = self.real_app("si.Restart")
        first = self.start(app, ["first", app.app.win_exe])
        self.assertExitCode(first.wait(120), 0)
        restarted = app.wait_events("enter-loop", timeout=120)
        self.assertEqual(restarted[0][3], ["restarted"])
        self.assertNotEqual(restarted[0][1], app.events("main")[0][1])
        self.assertEqual(app.events("enter"), [], "the restart went to the ending primary")
        hook = app.events("hook-done")
        self.assertEqual(len(hook), 1)
        app.stop()


class SingleInstanceTests32(SingleInstanceTests):
    BITNESS = 32


if __name__ == "__main__":
    unittest.main()
