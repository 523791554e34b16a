"""The splash screen end to end: the launcher's own image window (read back from the X
display), the splash switch, the runtime's splashscreen.dll through the stand-in, the owner of
message boxes, and the launcher's processor use while it waits."""

import os
import struct
import subprocess
import time
import zlib
from pathlib import Path

import harness
import standin

SCREEN_WIDTH, SCREEN_HEIGHT = 1280, 1024
SPLASH_CLASS = "SplashScreenWindow"
CS_DROPSHADOW = 0x00020000
MAIN_CLASS = "com.example.App"

# Quadrant colours of the test images: top-left, top-right, bottom-left, bottom-right.
QUADRANTS = ((230, 20, 20), (20, 200, 40), (30, 40, 220), (240, 220, 30))


# ---------------------------------------------------------------------------------------------
# Test images, written here so that their size and colours are known exactly


def _quadrant_rows(width, height):
    return [[QUADRANTS[(2 if y >= height // 2 else 0) + (1 if x >= width // 2 else 0)]
             for x in range(width)] for y in range(height)]


def write_png(path, width, height):
    raw = b"".join(b"\0" + bytes(c for px in row for c in px)
                   for row in _quadrant_rows(width, height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data)))
    Path(path).write_bytes(
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
        + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def write_bmp(path, width, height):
    stride = (width * 3 + 3) & ~3
    pixels = b"".join(bytes(c for px in row for c in reversed(px)) + b"\0" * (stride - width * 3)
                      for row in reversed(_quadrant_rows(width, height)))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    Path(path).write_bytes(header + info + pixels)


def write_gif(path, width, height):
    # A clear code before every second pixel keeps every LZW code 3 bits wide.
    palette = b"".join(bytes(c) for c in QUADRANTS)
    indices = [QUADRANTS.index(px) for row in _quadrant_rows(width, height) for px in row]
    codes = []
    for i in range(0, len(indices), 2):
        codes += [4] + indices[i:i + 2]
    codes.append(5)
    bits = count = 0
    packed = bytearray()
    for code in codes:
        bits |= code << count
        count += 3
        while count >= 8:
            packed.append(bits & 0xFF)
            bits >>= 8
            count -= 8
    if count:
        packed.append(bits & 0xFF)
    blocks = b"".join(bytes([len(packed[i:i + 255])]) + bytes(packed[i:i + 255])
                      for i in range(0, len(packed), 255))
    Path(path).write_bytes(
        b"GIF89a" + struct.pack("<HHBBB", width, height, 0xF1, 0, 0) + palette
        + b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, 0) + b"\x02" + blocks + b"\x00\x3b")


def write_jpeg(path, width, height):
    png = Path(path).with_suffix(".source.png")
    write_png(png, width, height)
    subprocess.run(["convert", str(png), "-quality", "95", str(path)], check=True,
                   stdin=subprocess.DEVNULL, capture_output=True, timeout=60)


WRITERS = {"png": write_png, "bmp": write_bmp, "gif": write_gif, "jpg": write_jpeg}


# ---------------------------------------------------------------------------------------------
# The X display


class Screen:
    """One capture of the whole X display as raw RGB (kept as PNG for a look by eye when
    VMBOOT_KEEP_TEMP=1)."""

    def __init__(self, folder, name):
        raw = Path(folder) / (name + ".rgb")
        subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:%s" % raw], check=True,
                       env=harness.wine(), stdin=subprocess.DEVNULL, capture_output=True,
                       timeout=60)
        self.data = raw.read_bytes()
        self.width, self.height = SCREEN_WIDTH, SCREEN_HEIGHT
        if len(self.data) != self.width * self.height * 3:
            raise harness.HarnessError("unexpected screen capture size %d" % len(self.data))
        subprocess.run(["convert", "-size", "%dx%d" % (self.width, self.height), "-depth", "8",
                        "rgb:%s" % raw, str(raw.with_suffix(".png"))],
                       stdin=subprocess.DEVNULL, capture_output=True, timeout=60)

    def pixel(self, x, y):
        offset = (y * self.width + x) * 3
        return tuple(self.data[offset:offset + 3])


def close_to(colour, expected, tolerance):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


def cpu_seconds(pid):
    """User plus system time of a Linux process, None once it has ended."""
    try:
        fields = Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()
    except OSError:
        return None
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


# ---------------------------------------------------------------------------------------------
# One launcher with the stand-in runtime beside it


class SplashApp:
    """A launcher with the stand-in runtime beside it, a scripted main class and a splash
    image of `image` = (format, width, height[, file name]) named by "Splash Screen" unless
    `display` says otherwise."""

    def __init__(self, bitness, main, image=("png", 64, 48), display=None, runtime_keys=(),
                 splash_library=None, create_result=0, application_keys=()):
        self.app = harness.App(bitness)
        self.folder = self.app.folder
        self.log = self.folder / "standin.log"
        self.go = self.folder / "go"
        standin.make_runtime(self.folder / ("jre64" if bitness == 64 else "jre"), bitness,
                             splash=splash_library, create_result=create_result)
        standin.write_class(self.folder / "classes", MAIN_CLASS, standin.script(main=main))
        settings = {}
        if image is not None:
            kind, width, height = image[:3]
            name = image[3] if len(image) > 3 else "splash." + kind
            WRITERS[kind](self.folder / name, width, height)
            settings["Splash Screen"] = name
        settings.update(display or {})
        lines = (["[Java Runtime Environment]", "Main Class=" + MAIN_CLASS] + list(runtime_keys)
                 + ["[Class Path]", "Class Path=classes", "[Display]"]
                 + ["%s=%s" % item for item in settings.items()]
                 + ["[Application]"] + list(application_keys))
        self.app.write_ini("\n".join(lines) + "\n")

    def start(self, args=()):
        return self.app.start(list(args), env={standin.LOG_ENV: harness.win_path(self.log)},
                              timeout=120)

    def release_main(self):
        self.go.write_text("go")

    def events(self):
        return standin.read_log(self.log)

    def wait_for_mark(self, text, process, timeout=60):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if standin.events(self.events(), "mark", text=text):
                return
            if not process.poll():
                raise AssertionError("launcher ended before main reached %r: %s"
                                     % (text, process.wait().describe()))
            time.sleep(0.1)
        raise AssertionError("main did not reach %r" % text)


def waiting_main(*before):
    """A main that marks its start, then stays until the test creates the file "go"."""
    return list(before) + ["mark started", "wait-file go", "mark released"]


def mapped_x_windows(width, height):
    """X windows of that size on the display (Wine maps every shown top-level window)."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], env=harness.wine(), check=True,
                          stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=60).stdout
    return [line for line in tree.splitlines() if " %dx%d+" % (width, height) in line]


def set_screen_dpi(test, dpi):
    """Sets the DPI that Wine gives every process started from now on (it reads LogPixels
    when a process starts) and restores the previous value when the test ends."""
    key = "HKCU\\Control Panel\\Desktop"
    before = harness.reg_query("HKEY_CURRENT_USER\\Control Panel\\Desktop") or {}

    def put(value):
        if value is None:
            harness.run_wine(["reg", "delete", key, "/v", "LogPixels", "/f"])
        else:
            harness.run_wine(["reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                              str(value), "/f"])
    test.addCleanup(put, before.get("LogPixels"))
    put(dpi)


def splash_windows(ui, process):
    return [w for w in ui.list_windows(process.pid) if w["class"] == SPLASH_CLASS]


def splash_calls(events):
    return [(e["call"], e.get("file"), e.get("jar")) for e in events if e["event"] == "splash"]


def index_of(events, name, **fields):
    for i, event in enumerate(events):
        if event.get("event") == name and all(event.get(k) == v for k, v in fields.items()):
            return i
    raise AssertionError("no %s event %s in the log" % (name, fields))


class SplashTestBase(harness.TestCase):
    bitness = 64

    def setUp(self):
        self.ui = harness.UiDriver()
        self.processes = []

    def tearDown(self):
        for process in self.processes:
            if process.poll():
                process.kill()

    def launch(self, splash_app, args=()):
        process = splash_app.start(args)
        self.processes.append(process)
        return process

    def wait_splash(self, process, timeout=60):
        return self.ui.wait_dialog(timeout=timeout, pid=process, window_class=SPLASH_CLASS)

    def finish(self, splash_app, process, expected=0):
        splash_app.release_main()
        result = process.wait(120)
        self.assertExitCode(result, expected)
        return result

    # -----------------------------------------------------------------------------------------
    # The image window

    def test_image_is_centred_on_the_primary_screen_in_every_format(self):
        # (format, width, height, shadow text, drop shadow expected)
        cases = [("png", 400, 300, "true", True), ("bmp", 401, 301, "True", False),
                 ("jpg", 320, 240, "", False), ("gif", 200, 150, "TRUE", False)]
        for kind, width, height, shadow, dropShadow in cases:
            with self.subTest(kind=kind, shadow=shadow):
                splash_app = SplashApp(self.bitness, waiting_main(), image=(kind, width, height),
                                       display={"Splash Screen Shadow": shadow})
                process = self.launch(splash_app)
                window = self.wait_splash(process)
                left, top = (SCREEN_WIDTH - width) // 2, (SCREEN_HEIGHT - height) // 2
                self.assertEqual((window["rect"]["left"], window["rect"]["top"],
                                  window["rect"]["width"], window["rect"]["height"]),
                                 (left, top, width, height), window)
                self.assertEqual(window["caption"], "")
                self.assertFalse(window["topmost"])
                self.assertEqual(bool(window["class_style"] & CS_DROPSHADOW), dropShadow, window)
                splash_app.wait_for_mark("started", process)

                screen = Screen(splash_app.folder, "screen-%s" % kind)
                tolerance = 12 if kind == "jpg" else 2
                quarter_x, quarter_y = width // 4, height // 4
                probes = [(left + quarter_x, top + quarter_y, QUADRANTS[0]),
                          (left + width - quarter_x, top + quarter_y, QUADRANTS[1]),
                          (left + quarter_x, top + height - quarter_y, QUADRANTS[2]),
                          (left + width - quarter_x, top + height - quarter_y, QUADRANTS[3])]
                for x, y, colour in probes:
                    self.assertTrue(close_to(screen.pixel(x, y), colour, tolerance),
                                    "pixel %d,%d is %s, not %s" % (x, y, screen.pixel(x, y), colour))
                # The image ends where the window ends: just outside it, the image's edge
                # colours are gone.
                outside = [(left - 2, top + quarter_y, QUADRANTS[0]),
                           (left + width + 1, top + quarter_y, QUADRANTS[1]),
                           (left + quarter_x, top - 2, QUADRANTS[0]),
                           (left + quarter_x, top + height + 1, QUADRANTS[2])]
                for x, y, colour in outside:
                    self.assertFalse(close_to(screen.pixel(x, y), colour, 40),
                                     "pixel %d,%d outside the window is %s" % (x, y, colour))
                result = self.finish(splash_app, process)
                self.assertTrue(standin.events(splash_app.events(), "mark", text="released"),
                                result.describe())

    def test_closes_at_teardown_before_the_vm_is_destroyed(self):
        # Once released, main returns while a non-daemon Java thread keeps the VM (and so the
        # process) alive for a while; the splash must be gone meanwhile.
        splash_app = SplashApp(self.bitness, waiting_main() + ["thread 8000"],
                               image=("png", 120, 80))
        process = self.launch(splash_app)
        window = self.wait_splash(process)
        splash_app.wait_for_mark("started", process)
        splash_app.release_main()
        self.assertTrue(self.ui.wait_gone(window["hwnd"], timeout=20))
        self.assertTrue(process.poll(), "the launcher should still wait for the Java thread")
        self.assertExitCode(process.wait(120), 0)
        events = splash_app.events()
        self.assertLess(index_of(events, "main_end"), index_of(events, "destroyed"))

    def test_closes_when_main_throws(self):
        # A runtime from IBM's registry root parks the VM thread after main, so the launcher
        # never reaches its teardown: only the uncaught exception can close the splash.
        self.addCleanup(harness.clear_java_registry)
        for throws in (True, False):
            with self.subTest(throws=throws):
                main = waiting_main()
                if throws:
                    main.append("throw java.lang.IllegalStateException boom")
                splash_app = SplashApp(self.bitness, main, image=("bmp", 100, 60),
                                       runtime_keys=["VM Provider=IBM"])
                harness.register_ibm_runtime(
                    self.bitness, splash_app.folder / ("jre64" if self.bitness == 64 else "jre"))
                process = self.launch(splash_app)
                window = self.wait_splash(process)
                splash_app.wait_for_mark("started", process)
                splash_app.release_main()
                deadline = time.time() + 30
                while not standin.events(splash_app.events(), "main_end") and time.time() < deadline:
                    time.sleep(0.1)
                self.assertTrue(standin.events(splash_app.events(), "main_end",
                                               exception=throws))
                gone = self.ui.wait_gone(window["hwnd"], timeout=10 if throws else 4)
                self.assertEqual(gone, throws)
                self.assertTrue(process.poll())
                process.kill()

    def test_close_from_another_program_removes_it_at_once(self):
        splash_app = SplashApp(self.bitness, waiting_main(), image=("png", 300, 200))
        process = self.launch(splash_app)
        window = self.wait_splash(process)
        splash_app.wait_for_mark("started", process)
        start = time.time()
        self.ui.close(window["hwnd"])
        self.assertTrue(self.ui.wait_gone(window["hwnd"], timeout=10))
        self.assertLess(time.time() - start, 3.0)
        # On the display: Wine without a window manager keeps an activated window mapped
        # until its two-second wait for the withdrawal has passed.
        probe = (SCREEN_WIDTH // 2 - 75, SCREEN_HEIGHT // 2 - 50)
        while True:
            colour = Screen(splash_app.folder, "after-close").pixel(*probe)
            if not close_to(colour, QUADRANTS[0], 40) or time.time() - start > 6.0:
                break
            time.sleep(0.2)
        self.assertFalse(close_to(colour, QUADRANTS[0], 40), colour)
        self.assertLess(time.time() - start, 6.0)
        self.assertTrue(process.poll())
        result = self.finish(splash_app, process)
        self.assertTrue(standin.events(splash_app.events(), "mark", text="released"),
                        result.describe())

    # -----------------------------------------------------------------------------------------
    # When no image window appears

    def test_switch_and_settings_that_show_no_window(self):
        # (arguments, "Splash Screen" value or None for an image, window expected)
        cases = [(["-nosplash"], None, False), (["a", "/nosplash"], None, False),
                 (["-NOSPLASH"], None, True), (["-nosplash2"], None, True),
                 ([], "", False)]
        for args, setting, shown in cases:
            with self.subTest(args=args, setting=setting):
                display = {"Splash Screen Shadow": "true", "Preffer Native Splash Screen": "Yes"}
                if setting is not None:
                    display["Splash Screen"] = setting
                splash_app = SplashApp(self.bitness, waiting_main("print-args out"),
                                       display=display)
                process = self.launch(splash_app, args)
                splash_app.wait_for_mark("started", process)
                self.assertEqual(len(splash_windows(self.ui, process)), 1 if shown else 0)
                result = self.finish(splash_app, process)
                self.assertEqual(result.stdout.split(), args)
                self.assertEqual(standin.events(splash_app.events(), "main")[0]["args"], args)

    def test_unreadable_image_gives_an_empty_window_and_no_message(self):
        for name, content in (("missing.png", None), ("garbage.png", b"not an image"),
                              ("truncated.png", b"\x89PNG\r\n\x1a\n\0\0")):
            with self.subTest(image=name):
                splash_app = SplashApp(self.bitness, waiting_main(), image=None,
                                       display={"Splash Screen": name})
                if content is not None:
                    (splash_app.folder / name).write_bytes(content)
                process = self.launch(splash_app)
                splash_app.wait_for_mark("started", process)
                windows = self.ui.list_windows(process.pid)
                self.assertEqual([w["class"] for w in windows], [SPLASH_CLASS], windows)
                self.assertEqual((windows[0]["rect"]["width"], windows[0]["rect"]["height"]),
                                 (0, 0))
                self.finish(splash_app, process)

    # -----------------------------------------------------------------------------------------
    # The runtime's splash library

    def native_app(self, library, main, native="YES", image_name="splash.png", create_result=0,
                   application_keys=()):
        return SplashApp(self.bitness, main, image=("png", 90, 60, image_name),
                         display={"Preffer Native Splash Screen": native},
                         splash_library=library, create_result=create_result,
                         application_keys=application_keys)

    def test_runtime_library_gets_its_four_calls_in_order(self):
        for library, image_name in (("full", "splash.png"), ("full", "spläsh é.png"),
                                    ("noclose", "splash.png")):
            with self.subTest(library=library, image=image_name):
                splash_app = self.native_app(library, waiting_main(), image_name=image_name)
                process = self.launch(splash_app)
                splash_app.wait_for_mark("started", process)
                # Not through the window driver: its first start in Wine stalls while a
                # launcher without any window waits for its VM thread.
                self.assertEqual(mapped_x_windows(90, 60), [])
                self.finish(splash_app, process)
                events = splash_app.events()
                # A relative name reaches the library as a path in the launcher's folder.
                image = harness.win_path(splash_app.folder / image_name)
                expected = [("SplashInit", None, None), ("SplashLoadFile", image, None),
                            ("SplashSetFileJarName", image, "")]
                if library == "full":
                    expected.append(("SplashClose", None, None))
                self.assertEqual(splash_calls(events), expected)
                # Shown before the VM starts; closed only when the launcher ends.
                self.assertLess(index_of(events, "splash", call="SplashSetFileJarName"),
                                index_of(events, "create"))
                if library == "full":
                    self.assertLess(index_of(events, "destroyed"),
                                    index_of(events, "splash", call="SplashClose"))

    def test_image_window_instead_when_the_library_is_unusable(self):
        # (library variant, native key): a missing entry point, no library, or not asked for.
        for library, native in (("noinit", "Yes"), ("noloadfile", "yes"), ("nosetjar", "YES"),
                                (None, "Yes"), ("full", ""), ("full", "No")):
            with self.subTest(library=library, native=native):
                splash_app = self.native_app(library, waiting_main(), native=native)
                process = self.launch(splash_app)
                window = self.wait_splash(process)
                self.assertEqual((window["rect"]["width"], window["rect"]["height"]), (90, 60))
                self.assertEqual(len(mapped_x_windows(90, 60)), 1)
                self.finish(splash_app, process)
                # A splash the library never opened is not closed either.
                self.assertEqual(splash_calls(splash_app.events()), [])

    def test_runtime_splash_closed_after_a_failed_vm_start(self):
        splash_app = self.native_app("full", waiting_main(), create_result=-4)
        result, dialog = self.run_with_dialog(splash_app.app, env={
            standin.LOG_ENV: harness.win_path(splash_app.log)})
        self.assertExitCode(result, -1, dialog)
        self.assertIn("not enough memory", dialog["message"])
        self.assertIsNone(dialog["owner"])
        events = splash_app.events()
        self.assertEqual([c[0] for c in splash_calls(events)],
                         ["SplashInit", "SplashLoadFile", "SplashSetFileJarName", "SplashClose"])
        self.assertLess(index_of(events, "create_result"),
                        index_of(events, "splash", call="SplashClose"))

    def test_runtime_splash_closed_before_the_exception_dialog(self):
        splash_app = self.native_app("full", ["throw java.lang.IllegalStateException boom"],
                                     application_keys=["Failure Check=Yes"])
        process, dialog = self.run_with_dialog(splash_app.app, press=None, env={
            standin.LOG_ENV: harness.win_path(splash_app.log)})
        self.processes.append(process)
        # Read while the dialog is still up.
        calls = [c[0] for c in splash_calls(splash_app.events())]
        self.assertEqual(calls, ["SplashInit", "SplashLoadFile", "SplashSetFileJarName",
                                 "SplashClose"], self.context(dialog=dialog))
        self.ui.press("Ignore", hwnd=dialog["hwnd"])
        self.assertExitCode(process.wait(60), 1, dialog)
        self.assertEqual(len(splash_calls(splash_app.events())), 4)

    # -----------------------------------------------------------------------------------------
    # Message boxes and waiting

    def test_message_box_is_owned_by_the_image_window(self):
        splash_app = SplashApp(self.bitness, waiting_main(), image=("png", 500, 400),
                               create_result=-4)
        process, dialog = self.run_with_dialog(splash_app.app, press=None, env={
            standin.LOG_ENV: harness.win_path(splash_app.log)})
        self.processes.append(process)
        self.assertEqual(dialog["owner_class"], SPLASH_CLASS, self.context(dialog=dialog))
        self.assertIn("not enough memory", dialog["message"])
        splash = splash_windows(self.ui, process)
        self.assertEqual(len(splash), 1)
        self.assertEqual(dialog["owner"]["hwnd"], splash[0]["hwnd"])
        self.ui.press("OK", hwnd=dialog["hwnd"])
        self.assertExitCode(process.wait(60), -1, dialog)

    def test_no_thread_spins_while_the_launcher_waits(self):
        # main waits, then returns while a Java thread runs on: the launcher first waits for
        # the VM thread, then stops the splash thread (which Wine takes up to two seconds to
        # end) and waits in DestroyJavaVM.
        splash_app = SplashApp(self.bitness, waiting_main() + ["thread 3000"],
                               image=("png", 200, 100))
        process = self.launch(splash_app)
        self.wait_splash(process)
        splash_app.wait_for_mark("started", process)
        pid = harness.linux_pid_of(splash_app.app.win_exe)
        self.assertIsNotNone(pid, "no Linux process for %s" % splash_app.app.win_exe)
        before = cpu_seconds(pid)
        time.sleep(2)
        waiting = cpu_seconds(pid) - before
        splash_app.release_main()
        start = last = cpu_seconds(pid)
        while True:
            now = cpu_seconds(pid)
            if now is None:
                break
            last = now
            time.sleep(0.05)
        self.assertExitCode(process.wait(60), 0)
        self.assertLess(waiting, 0.5, "processor time while main waited")
        self.assertLess(last - start, 1.0, "processor time from main's end to the process end")


class Splash64Test(SplashTestBase):
    bitness = 64

    def test_image_follows_the_screen_scale_at_144_dpi(self):
        """At 150 % an image is taken as drawn for 100 % and shown at 1.5 times its size,
        unless one named for that scale lies beside it; one for 200 % is not taken."""
        set_screen_dpi(self, 144)
        splash_app = SplashApp(self.bitness, waiting_main(), image=("png", 64, 48))
        write_png(splash_app.folder / "splash@2x.png", 128, 96)
        # (the image for 150 %, or None; the window's expected size)
        for scaled, (width, height) in ((None, (96, 72)), ((90, 66), (90, 66))):
            with self.subTest(scaled=scaled):
                if scaled:
                    write_png(splash_app.folder / "splash@150pct.png", *scaled)
                    splash_app.go.unlink()  # main waits again
                process = self.launch(splash_app)
                window = self.wait_splash(process)
                left, top = (SCREEN_WIDTH - width) // 2, (SCREEN_HEIGHT - height) // 2
                self.assertEqual((window["rect"]["left"], window["rect"]["top"],
                                  window["rect"]["width"], window["rect"]["height"]),
                                 (left, top, width, height), window)
                splash_app.wait_for_mark("started", process)
                # The whole image fills the window: three eighths in is still the first
                # quadrant, five eighths in the last (a crop would show more of the first).
                screen = Screen(splash_app.folder, "screen-dpi-%s" % (scaled is not None))
                for fraction, colour in ((0.375, QUADRANTS[0]), (0.625, QUADRANTS[3])):
                    x, y = left + int(width * fraction), top + int(height * fraction)
                    self.assertTrue(close_to(screen.pixel(x, y), colour, 12),
                                    "pixel %d,%d is %s, not %s"
                                    % (x, y, screen.pixel(x, y), colour))
                self.finish(splash_app, process)


class Splash32Test(SplashTestBase):
    bitness = 32


del SplashTestBase

if __name__ == "__main__":
    harness.main()
