"""The launcher against the runtime's own java.exe (real Temurin 17), row by row.

Each row starts one program (parity_probe/) once through java.exe and once through the
console launcher, on the same runtime folder with the same class path, with the same command
line sent verbatim; rows that name it also run the windowed launcher with its output in
files. What the program observes (its arguments, chosen properties, standard output, exit
code) must agree, unless the row names a documented difference.

ExecutableParityTest compares the executables themselves with java.exe and javaw.exe: their PE
headers and manifests, read from the files (no Wine needed).

Without a real runtime every test here is skipped with the reason.
"""

import shutil
import struct
import sys
import unittest
import xml.etree.ElementTree as ElementTree
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
import test_splash  # noqa: E402

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


def row(name, args, java="", keys=(), start="app", env=None, windowed=False, error="",
        same_error=False):
    """A program started with `args` after its name: `java` options for java.exe and the
    launcher's [Java Runtime Environment] `keys` saying the same, started in the app's folder
    or a document's, with `env`; the windowed build too when `windowed` (output in files).
    `error`: text both standard errors hold; `same_error`: the console build's standard error
    is java's, line for line."""
    return dict(name=name, args=args, java=java, keys=list(keys), start=start, env=env or {},
                windowed=windowed, error=error, same_error=same_error)


def java_option_row(name, option, **more):
    """A java command option written in "Virtual Machine Parameters"."""
    return row(name, "report", option, ["Virtual Machine Parameters=" + option], **more)


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
    # HotSpot gives main and every thread started without -Xss the executable's reserve.
    row("stack reserve of main and of a new thread", "stack {stack_probe}", windowed=True),
    # The java command's own options: each done as java does it.
    java_option_row("-server", "-server"),
    java_option_row("-client, where the runtime has only the server VM", "-client"),
    java_option_row("-showversion on standard error before main", "-showversion",
                    error="OpenJDK Runtime Environment", same_error=True),
    java_option_row("--show-version on standard output before main", "--show-version"),
    java_option_row("-XshowSettings:vm on standard error before main", "-XshowSettings:vm",
                    error="VM settings:", same_error=True),
    java_option_row("-XshowSettings:vm with heap and stack sizes", "-XshowSettings:vm -Xms16m "
                    "-Xmx64m -Xss512k", error="Max. Heap Size: 64.00M", same_error=True),
    java_option_row("--dry-run: main not called, 0", "--dry-run", windowed=True),
    java_option_row("-splash: shown while the VM starts", "-splash:splash.png", windowed=True),
]



def without_sharing(text):
    """The version line as java.exe shows it here: the launcher maps a class-data-sharing
    archive of its own (a documented difference), which the VM's version names."""
    return text.replace("mixed mode, sharing)", "mixed mode)")


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
        test_splash.write_png(folder / "splash.png", 64, 48)
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
        if "{stack_probe}" in r["args"]:
            r = dict(r, args=r["args"].replace("{stack_probe}", '"%s"' % harness.win_path(
                harness.tool_path("stack_probe.dll"))))
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
                self.assertEqual(without_sharing(console.stdout), java.stdout, info)
                self.assertIn(r["error"], java.stderr, info)
                self.assertIn(r["error"], console.stderr, info)
                if r["same_error"]:
                    self.assertEqual(without_sharing(console.stderr), java.stderr, info)
                if files is not None:
                    info += "\n--- windowed ---\n%s" % files.describe()
                    self.assertEqual(files.code, java.code, info)
                    self.assertEqual(without_sharing(files.stdout), java.stdout, info)
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

    def test_xdiag_details_a_wrong_main_class(self):
        jar = harness.win_path(self.folder / "lib" / "parity.jar")
        java = self.run_line(self.folder / "jre64" / "bin" / "java.exe",
                             '-cp "%s" -Xdiag parity.Nope' % jar, self.folder, {})
        self.write_ini(["Virtual Machine Parameters=-Xdiag"], False, main="parity.Nope")
        console = self.run_line(self.console.exe, "", self.folder, {})
        for result in (java, console):
            self.assertEqual(result.code, 1, result.describe())
            self.assertIn("Caused by: java.lang.ClassNotFoundException: parity.Nope",
                          result.stderr, result.describe())

    def test_show_settings_shows_javas_categories(self):
        # The properties differ where the README says (java.library.path); the categories and
        # the VM and locale settings are java's.
        def sections(text):
            return [line for line in text.splitlines() if line and not line[0].isspace()]

        jar = harness.win_path(self.folder / "lib" / "parity.jar")
        java = self.run_line(self.folder / "jre64" / "bin" / "java.exe",
                             '-cp "%s" -XshowSettings %s report' % (jar, MAIN), self.folder, {})
        self.write_ini(["Virtual Machine Parameters=-XshowSettings"], False)
        console = self.run_line(self.console.exe, "report", self.folder, {})
        info = "--- java ---\n%s\n--- launcher ---\n%s" % (java.describe(), console.describe())
        self.assertEqual(sections(java.stderr)[:2], ["VM settings:", "Property settings:"],
                         info)
        self.assertEqual(sections(console.stderr), sections(java.stderr), info)
        self.assertEqual(console.stdout, java.stdout, info)
        for line in ("    sun.java.launcher = SUN_STANDARD", "    Using VM: "):
            self.assertIn(line, console.stderr, info)
        self.assertEqual(java.stderr.split("Property settings:")[0],
                         console.stderr.split("Property settings:")[0], info)
        self.assertEqual(java.stderr.split("Locale settings")[1],
                         console.stderr.split("Locale settings")[1], info)

    def test_options_that_end_java_are_named_and_the_program_runs(self):
        # java prints its version and ends; the launcher says the option has no place there
        # and runs the program.
        self.write_ini(["Virtual Machine Parameters=-version -Dparity.value=kept"], False)
        console = self.run_line(self.console.exe, "report", self.folder, {})
        self.assertEqual(console.code, 0, console.describe())
        self.assertIn('"-version" in Virtual Machine Parameters would end java before the '
                      'program starts.', console.stderr, console.describe())
        self.assertIn("parity.value: kept", console.stdout, console.describe())

    def test_launcher_name_in_the_parameters_is_overridden_as_by_java(self):
        jar = harness.win_path(self.folder / "lib" / "parity.jar")
        java = self.run_line(self.folder / "jre64" / "bin" / "java.exe",
                             '-cp "%s" -Dsun.java.launcher=packager %s report' % (jar, MAIN),
                             self.folder, {})
        self.write_ini(["Virtual Machine Parameters=-Dsun.java.launcher=packager"], False)
        console = self.run_line(self.console.exe, "report", self.folder, {})
        self.assertEqual(console.code, 0, console.describe())
        self.assertIn("sun.java.launcher: SUN_STANDARD", java.stdout, java.describe())
        self.assertIn("sun.java.launcher: SUN_STANDARD", console.stdout, console.describe())

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


# ---------------------------------------------------------------------------------------------
# The executables themselves

TERMINAL_SERVER_AWARE = 0x8000
NX_COMPAT = 0x0100
DYNAMIC_BASE = 0x0040
HIGH_ENTROPY_VA = 0x0020
RT_MANIFEST = 24
# java.exe's 32-bit builds reserve 320 KiB per thread (no 32-bit java.exe is at hand here).
JAVA32_STACK_RESERVE = 320 * 1024


def pe_header(data):
    """The optional header's fields that Windows reads when it starts a program."""
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[offset:offset + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    sections, optional_size = struct.unpack_from("<H12xH", data, offset + 6)
    optional = offset + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    wide = magic == 0x20B
    header = {"bits": 64 if wide else 32}
    header["os"] = struct.unpack_from("<HH", data, optional + 40)
    header["subsystemVersion"] = struct.unpack_from("<HH", data, optional + 48)
    header["subsystem"], header["dllCharacteristics"] = struct.unpack_from("<HH", data,
                                                                           optional + 68)
    header["stackReserve"], header["stackCommit"] = struct.unpack_from(
        "<QQ" if wide else "<II", data, optional + 72)
    directories = optional + (112 if wide else 96)
    header["resources"] = struct.unpack_from("<II", data, directories + 2 * 8)
    table = optional + optional_size
    header["sections"] = [struct.unpack_from("<8xIIII", data, table + 40 * i)
                          for i in range(sections)]
    return header


def manifest(data):
    """The text of the first RT_MANIFEST resource, or None."""
    header = pe_header(data)
    rva, size = header["resources"]
    if not rva:
        return None
    # (virtual size, address, raw size, raw offset) of the section holding the resources.
    for virtual_size, address, _, raw in header["sections"]:
        if address <= rva < address + virtual_size:
            base = raw + rva - address
            break
    else:
        return None

    def first_entry(directory, wanted=None):
        named, numbered = struct.unpack_from("<HH", data, base + directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
            if wanted is None or name == wanted:
                return target
        return None

    target = first_entry(0, RT_MANIFEST)
    for _ in range(2):  # name, then language
        if target is None or not target & 0x80000000:
            return None
        target = first_entry(target & 0x7FFFFFFF)
    if target is None:
        return None
    data_rva, data_size = struct.unpack_from("<II", data, base + target)
    start = base + data_rva - rva
    return data[start:start + data_size].decode("utf-8-sig")


def manifest_fields(text):
    """What Windows reads from a manifest, independent of its namespace prefixes."""
    root = ElementTree.fromstring(text)

    def local(element):
        return element.tag.rsplit("}", 1)[-1]

    fields = {"supportedOS": set(), "dependencies": set()}
    for element in root.iter():
        name = local(element)
        if name in ("dpiAware", "dpiAwareness"):
            fields[name] = (element.text or "").strip()
        elif name == "supportedOS":
            fields["supportedOS"].add(element.get("Id").lower())
        elif name == "requestedExecutionLevel":
            fields["executionLevel"] = (element.get("level"), element.get("uiAccess"))
        elif name == "dependentAssembly":
            for identity in element:
                if local(identity) == "assemblyIdentity":
                    fields["dependencies"].add(tuple(identity.get(key) for key in (
                        "name", "version", "publicKeyToken", "processorArchitecture")))
    return fields


class ExecutableParityTest(unittest.TestCase):
    """Every shipped executable against the runtime's java.exe (console) or javaw.exe
    (windowed), field by field; the 32-bit builds against java.exe's documented 32-bit stack
    reserve."""

    # (file in dist/, its java counterpart, embeds the launcher's manifest)
    EXECUTABLES = [
        ("vmboot64.exe", "javaw.exe", True), ("vmboot32.exe", "javaw.exe", True),
        ("vmbootc64.exe", "java.exe", True), ("vmbootc32.exe", "java.exe", True),
        ("vmbootcheck64.exe", "java.exe", True), ("vmbootcheck32.exe", "java.exe", True),
        ("vmbootbrand64.exe", "java.exe", False), ("vmbootbrand32.exe", "java.exe", False),
    ]

    def setUp(self):
        self.bin = harness.require_real_jre(self) / "bin"

    def executables(self):
        for name, java, has_manifest in self.EXECUTABLES:
            path = harness.dist_dir() / name
            if not path.is_file():
                self.fail("%s was not built (run scripts/build.sh)" % path)
            yield name, path.read_bytes(), (self.bin / java).read_bytes(), has_manifest

    def test_pe_header_is_java_exes(self):
        for name, data, java_data, _ in self.executables():
            with self.subTest(name):
                ours, java = pe_header(data), pe_header(java_data)
                self.assertEqual(java["bits"], 64)
                expected_reserve = java["stackReserve"] if ours["bits"] == 64 \
                    else JAVA32_STACK_RESERVE
                self.assertEqual(ours["stackReserve"], expected_reserve)
                self.assertEqual(ours["stackCommit"], java["stackCommit"])
                self.assertEqual(ours["subsystem"], java["subsystem"])
                self.assertEqual(ours["subsystemVersion"], java["subsystemVersion"])
                self.assertEqual(ours["os"], java["os"])
                # High-entropy addresses exist only for 64-bit programs.
                bits = TERMINAL_SERVER_AWARE | NX_COMPAT | DYNAMIC_BASE
                if ours["bits"] == 64:
                    bits |= HIGH_ENTROPY_VA
                self.assertEqual(ours["dllCharacteristics"] & bits,
                                 java["dllCharacteristics"] & bits,
                                 "0x%04x against java's 0x%04x" % (
                                     ours["dllCharacteristics"], java["dllCharacteristics"]))
                self.assertTrue(java["dllCharacteristics"] & TERMINAL_SERVER_AWARE)

    def test_manifest_is_java_exes(self):
        for name, data, java_data, has_manifest in self.executables():
            if not has_manifest:
                continue
            with self.subTest(name):
                ours, java = manifest(data), manifest(java_data)
                self.assertIsNotNone(ours, "no RT_MANIFEST")
                self.assertIsNotNone(java, "java's RT_MANIFEST not found")
                ours, java = manifest_fields(ours), manifest_fields(java)
                for field in ("dpiAware", "dpiAwareness", "supportedOS", "executionLevel",
                              "dependencies"):
                    self.assertEqual(ours.get(field), java.get(field), field)
                self.assertIn("PerMonitorV2", java["dpiAwareness"])


if __name__ == "__main__":
    harness.main()
