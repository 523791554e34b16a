"""vmbootcheck explains a launch: for the same fixtures, its JSON report names the runtime,
options, arguments and outcome that the launcher then really produces with the stand-in."""

import json
import shutil
import struct
import subprocess
import uuid
import zipfile
import zlib

import harness
import standin
from test_config_sources import appdata_folder

APP_CLASS = "com.example.App"

# A program whose main uses java.sql, a module the test runtime (a jlink image of java.base,
# java.datatransfer, java.xml, java.prefs, java.desktop and java.logging) does not hold.
SQL_SOURCES = {
    "com/example/App.java": "package com.example;\npublic class App {\n"
    "    public static void main(String[] a) throws Exception { Db.open(a); }\n}\n",
    "com/example/Db.java": "package com.example;\nclass Db {\n"
    "    static void open(String[] a) throws Exception {\n"
    "        java.util.logging.Logger.getLogger(\"db\").info(\"open\");\n"
    "        System.out.println(java.sql.DriverManager.getDrivers().hasMoreElements());\n"
    "    }\n}\n",
}
TEST_RUNTIME_MODULES = "java.base java.datatransfer java.xml java.prefs java.desktop java.logging"


def png_1x1():
    """The smallest real PNG: one white pixel."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"\x00\xff\xff\xff")) + chunk(b"IEND", b""))


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

    def init(self, jar):
        """Runs vmbootcheck --init on `jar` in the application's folder; returns its text."""
        tool = harness.dist_dir() / ("vmbootcheck%d.exe" % self.bitness)
        result = subprocess.run(["wine", str(tool), "--init", jar], env=harness.wine(),
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=120,
                                cwd=self.app.folder)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return result.stdout.decode("utf-8").replace("\r\n", "\n")

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
            chosen = [r["folder"].lower().rstrip("\\") for r in report["runtimesSeen"]
                      if r["chosen"]]
            self.assertEqual(chosen, [harness.win_path(older).lower()], report["runtimesSeen"])
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

    def keys(self, report):
        """{key: (value, source)} of every key the launch read, in the order read."""
        return {d["key"]: (d["value"], d["source"]) for d in report["decisions"]
                if d["stage"] == "config" and d["what"] == "key"}

    def test_every_key_is_shown_with_its_source_and_a_repeated_section_is_named(self):
        standin.make_runtime(self.app.folder / self.private, self.bitness)
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "Virtual Machine Parameters=-Dmode=first\nClass Data Sharing=No\n"
                           "[Class Path]\nClass Path=classes\n"
                           "[Application]\nSingle Instance=Yes\nOutput File=logs\\out.log\n"
                           "Output Append=yes\nError File=logs\\err.log\nError Append=YES\n"
                           "[Application+]\nCmd=more\n"
                           "[Display]\nKeep Splash Screen=true\nPreffer Native Splash Screen=no\n"
                           "[Java Runtime Environment]\nVirtual Machine Parameters=-Dmode=second\n"
                           "JRE Path=elsewhere\n")
        report = self.check()
        self.assertEqual(report["outcome"], "run-in-process")
        keys = self.keys(report)
        for key, expected in (("Class Path", ("classes", "file")),
                              ("Virtual Machine Parameters", ("-Dmode=first", "file")),
                              ("Class Data Sharing", ("No", "file")),
                              ("Single Instance", ("Yes", "file")),
                              ("Output Append", ("yes", "file")),
                              ("Error Append", ("YES", "file")),
                              ("Cmd", (" more", "append")),
                              ("Keep Splash Screen", ("true", "file")),
                              ("Preffer Native Splash Screen", ("no", "file")),
                              ("Splash Screen", ("", "absent"))):
            self.assertEqual(keys.get(key), expected, key)
        self.assertEqual(keys["Output File"], ("logs\\out.log", "file"))
        self.assertEqual(keys["Error File"], ("logs\\err.log", "file"))
        repeated = [(d["section"], d["unreadKeys"]) for d in report["decisions"]
                    if d["what"] == "repeated-section"]
        self.assertEqual(repeated, [("Java Runtime Environment",
                                     "Virtual Machine Parameters, JRE Path")])
        # "Yes" leaves single instance off, as the launcher does; the check says why.
        case = [(d["key"], d["value"], d["needs"]) for d in report["decisions"]
                if d["what"] == "letter-case-differs"]
        self.assertEqual(case, [("Single Instance", "Yes", "yes"), ("Error Append", "YES", "yes")])
        self.assertNotIn("forward", report["outcome"])
        self.assertIn("-Dmode=first", report["vmOptions"])
        self.assertNotIn("-Dmode=second", report["vmOptions"])
        self.assert_same_launch(report)
        self.assertTrue((self.app.folder / "logs" / "out.log").exists())

    def test_runtime_from_jre_path_is_listed_chosen_and_normalised(self):
        harness.clear_java_registry()
        rt = standin.make_runtime(self.app.folder / "runtime" / "rt", self.bitness)
        (self.app.folder / "app").mkdir()
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "JRE Path=app\\..\\runtime\\rt\n[Class Path]\nClass Path=classes\n")
        report = self.check()
        self.assertEqual(report["outcome"], "run-in-process")
        self.assertNotIn("..", report["vmLibrary"])
        self.assertTrue(report["vmLibrary"].lower().startswith(harness.win_path(rt).lower() + "\\"),
                        report["vmLibrary"])
        seen = [(r["origin"], r["folder"].lower(), r["chosen"]) for r in report["runtimesSeen"]]
        self.assertEqual(seen, [("jre-path", harness.win_path(rt).lower() + "\\", True)])
        self.assert_same_launch(report)

    def test_shipped_runtime_is_listed_chosen(self):
        standin.make_runtime(self.app.folder / self.private, self.bitness)
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "[Class Path]\nClass Path=classes\n")
        report = self.check()
        chosen = [(r["origin"], r["folder"].lower()) for r in report["runtimesSeen"] if r["chosen"]]
        self.assertEqual(chosen, [("bundled", harness.win_path(
            self.app.folder / self.private).lower() + "\\")])

    def test_output_file_that_cannot_be_created_is_said_once_and_the_program_runs(self):
        standin.make_runtime(self.app.folder / self.private, self.bitness)
        (self.app.folder / "logs").write_text("a file where a folder should be")
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "[Class Path]\nClass Path=classes\n"
                           "[Application]\nOutput File=logs\\out.log\n")
        report = self.check()
        problems = [(d["key"], d["problem"]) for d in report["decisions"]
                    if d["what"] == "output-file-not-writable"]
        self.assertEqual(problems, [("Output File", harness.win_path(self.app.folder / "logs")
                                     + " is a file, not a folder")])
        result, dialog = self.launch(press="OK")
        self.assertIsNotNone(dialog)
        self.assertEqual(dialog["message"], "The program's output cannot be written to %s; it "
                         "runs on without that file."
                         % harness.win_path(self.app.folder / "logs" / "out.log"))
        self.assertEqual(result.code, 0, result.describe())
        self.assertEqual(len(standin.events(standin.read_log(self.log), "main")), 1)

    def test_users_own_vm_parameters_come_after_the_applications_unless_elevated(self):
        standin.make_runtime(self.app.folder / self.private, self.bitness)
        # Wine sets APPDATA itself: the file goes where the launcher will look.
        product = "Checked " + uuid.uuid4().hex[:8]
        per_user = appdata_folder() / product / "C1" / "checked.ini"
        per_user.parent.mkdir(parents=True)
        self.addCleanup(shutil.rmtree, per_user.parent.parent, True)
        per_user.write_bytes(b"[Java Runtime Environment]\r\n"
                             b"Virtual Machine Parameters=-Xmx256m -Dwho=\"the user\"\r\n")
        self.app.write_ini("[Product Information]\nProduct Name=%s\nProduct Code=C1\n"
                           "[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "Virtual Machine Parameters=-Xmx128m -Dwho=app\n"
                           "[Class Path]\nClass Path=classes\n" % product)
        # Wine runs every program elevated: the check and a plain start leave them out.
        report = self.check()
        user = [(d["value"], d["source"]) for d in report["decisions"]
                if d["what"] == "key" and d["file"].lower().endswith("\\c1\\checked.ini")
                and d["key"] == "Virtual Machine Parameters"]
        self.assertEqual(user, [('-Xmx256m -Dwho="the user"', "per-user")])
        noted = [(d["used"], d["reason"]) for d in report["decisions"]
                 if d["what"] == "per-user-parameters"]
        self.assertEqual(noted, [("no", "ignored: the process runs elevated")])
        options = report["vmOptions"]
        self.assertNotIn("-Dwho=the user", options)
        self.assert_same_launch(report)
        # A standard user's start passes them after the application's, so they win.
        self.log.unlink()
        process = self.app.start(env=self.env, timeout=90, limited=True)
        result = process.wait(90)
        self.assertEqual(result.code, 0, result.describe())
        after = options.index("-Dwho=app") + 1
        self.assertEqual(standin.options(standin.read_log(self.log)),
                         ["vfprintf"] + options[:after] + ["-Xmx256m", "-Dwho=the user"]
                         + options[after:] + ["abort", "exit"])

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

    def test_init_writes_a_starting_configuration_from_the_manifest(self):
        build = harness.temp_dir("init-")
        (build / "classes" / "images").mkdir(parents=True)
        (build / "classes" / "images" / "splash.png").write_bytes(png_1x1())
        # Five Add-Opens values: the jar tool folds the line after 72 bytes.
        (build / "manifest.txt").write_text(
            "Add-Opens: java.desktop/sun.awt java.base/java.lang java.base/java.util "
            "java.desktop/sun.awt.windows java.base/java.io\n"
            "Add-Exports: java.base/sun.nio.ch\nEnable-Native-Access: ALL-UNNAMED\n"
            "Launcher-Agent-Class: com.example.Agent\nPremain-Class: com.example.Agent\n"
            "SplashScreen-Image: images/splash.png\n")
        harness.compile_java(dict(SQL_SOURCES, **{
            "com/example/Agent.java": "package com.example;\npublic class Agent {\n"
            "    public static void premain(String a) {}\n    public static void agentmain(String a) {}\n}\n"}),
            build, release=11)
        lib = self.app.folder / "lib"
        lib.mkdir()
        # Stored (jar -0): the stand-in runtime, which then runs it, reads no deflated entries.
        subprocess.run(["jar", "--create", "--no-compress", "--file", str(lib / "app.jar"), "--manifest",
                        str(build / "manifest.txt"), "--main-class", APP_CLASS,
                        "-C", str(build / "classes"), "."], check=True)
        with zipfile.ZipFile(lib / "app.jar") as jar:
            self.assertIn("\r\n ", jar.read("META-INF/MANIFEST.MF").decode())  # folded
        standin.write_jar(lib / "util.jar", {"com.example.util.Part": "x"})
        text = self.init("lib\\app.jar")
        keys = [line for line in text.splitlines() if line and not line.startswith(";")]
        self.assertEqual(keys, [
            "[Java Runtime Environment]",
            "Main Class=com.example.App",
            "Minimum Version=11",
            "Virtual Machine Parameters=--add-opens=java.desktop/sun.awt=ALL-UNNAMED "
            "--add-opens=java.base/java.lang=ALL-UNNAMED --add-opens=java.base/java.util=ALL-UNNAMED "
            "--add-opens=java.desktop/sun.awt.windows=ALL-UNNAMED "
            "--add-opens=java.base/java.io=ALL-UNNAMED --add-exports=java.base/sun.nio.ch=ALL-UNNAMED "
            "--enable-native-access=ALL-UNNAMED -javaagent:%QL_APP_HOME%\\lib\\app.jar",
            "[Class Path]",
            "Class Path=lib\\app.jar;lib\\util.jar",
            "[Display]",
            "Splash Screen=lib\\splash.png"], text)
        self.assertEqual((lib / "splash.png").read_bytes(), png_1x1())
        # The configuration as written starts the program, with nothing left to carry over.
        runtime = standin.make_runtime(self.app.folder / self.private, self.bitness)
        (runtime / "release").write_text('JAVA_VERSION="17.0.9"\nMODULES="java.base java.sql '
                                         'java.logging java.desktop"\n')
        self.app.write_ini(text)
        report = self.check()
        self.assertEqual(report["outcome"], "run-in-process", report["message"])
        self.assertEqual([d for d in report["decisions"]
                          if d["what"] in ("manifest-attribute-not-carried", "unknown-key",
                                           "module-missing")], [])
        self.assertIn("-javaagent:%s\\lib\\app.jar" % harness.win_path(self.app.folder),
                      report["vmOptions"])
        self.assert_same_launch(report)
        # A second run keeps the image already there, and says so.
        self.assertIn("already beside the jar", self.init("lib\\app.jar"))

    def test_init_from_a_modular_jar_names_the_main_module(self):
        build = harness.temp_dir("init-")
        harness.compile_java({
            "module-info.java": "module com.example.app { requires java.logging; }\n",
            "com/example/app/Main.java": "package com.example.app;\npublic class Main {\n"
            "    public static void main(String[] a) {}\n}\n"}, build, release=17)
        jar = self.app.folder / "app.jar"
        subprocess.run(["jar", "--create", "--file", str(jar), "--main-class",
                        "com.example.app.Main", "-C", str(build / "classes"), "."], check=True)
        text = self.init("app.jar")
        keys = [line for line in text.splitlines() if line and not line.startswith(";")]
        self.assertEqual(keys, ["[Java Runtime Environment]",
                                "Main Module=com.example.app/com.example.app.Main",
                                "Minimum Version=17", "Module Path=app.jar"], text)
        not_a_jar = self.app.folder / "notes.jar"
        not_a_jar.write_text("not a zip")
        tool = harness.dist_dir() / ("vmbootcheck%d.exe" % self.bitness)
        result = harness.run_wine([tool, "--init", "notes.jar"], cwd=self.app.folder)
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"notes.jar is not a jar file", result.stdout)

    def test_modules_the_runtime_lacks_are_named_with_a_class_and_the_fix(self):
        runtime = standin.make_runtime(self.app.folder / self.private, self.bitness)
        (runtime / "release").write_text('JAVA_VERSION="17.0.17"\nMODULES="%s"\n'
                                         % TEST_RUNTIME_MODULES)
        harness.compile_java(SQL_SOURCES, harness.temp_dir("sql-"), jar=self.app.folder / "app.jar")
        standin.write_jar(self.app.folder / "lib" / "util.jar", {"com.example.util.Part": "x"})
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "[Class Path]\nClass Path=app.jar;lib\\*.jar\n")
        report = self.check()
        self.assertEqual(report["outcome"], "run-in-process")
        modules = [d for d in report["decisions"] if d["stage"] == "modules"]
        self.assertEqual([(d["what"], d.get("module"), d.get("class")) for d in modules], [
            ("runtime-modules", None, None), ("classes-read", None, None),
            ("module-missing", "java.sql", "com.example.Db"), ("jlink", None, None)])
        self.assertEqual(modules[0]["source"], "release")
        self.assertEqual(modules[1]["jars"], "2")
        self.assertEqual(modules[3]["command"],
                         "jlink --add-modules %s,java.sql --output %s"
                         % (TEST_RUNTIME_MODULES.replace(" ", ","),
                            harness.win_path(self.app.folder / self.private)))
        # With the module in the runtime, nothing is named.
        (runtime / "release").write_text('MODULES="%s java.sql"\n' % TEST_RUNTIME_MODULES)
        self.assertEqual([d for d in self.check()["decisions"] if d["what"] == "module-missing"], [])

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

    def test_real_runtime_lacking_java_sql_is_named_and_the_program_fails_on_it(self):
        harness.require_real_jre(self)
        harness.link_real_jre(self.app.folder)
        harness.compile_java(SQL_SOURCES, harness.temp_dir("sql-"), jar=self.app.folder / "app.jar")
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                           "[Class Path]\nClass Path=app.jar\n"
                           "[Application]\nError File=err.txt\n")
        report = self.check()
        self.assertEqual([(d["module"], d["class"]) for d in report["decisions"]
                          if d["what"] == "module-missing"], [("java.sql", "com.example.Db")])
        self.assertEqual([d["modules"] for d in report["decisions"] if d["what"] == "runtime-modules"],
                         [TEST_RUNTIME_MODULES])
        # What the check foretells: the program stops where Db first touches java.sql.
        result = self.app.run(timeout=120)
        self.assertEqual(result.code, 1, result.describe())
        self.assertIn("java.lang.NoClassDefFoundError: java/sql/DriverManager",
                      (self.app.folder / "err.txt").read_text(errors="replace"))

    def test_module_image_is_read_when_the_release_file_is_gone(self):
        jre = harness.require_real_jre(self)
        # The runtime's parts without its release file.
        runtime = self.app.folder / "rt"
        runtime.mkdir()
        for part in ("bin", "conf", "lib", "legal"):
            (runtime / part).symlink_to(jre / part)
        harness.compile_java(SQL_SOURCES, harness.temp_dir("sql-"), jar=self.app.folder / "app.jar")
        self.app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\nJRE Path=rt\n"
                           "[Class Path]\nClass Path=app.jar\n")
        report = self.check()
        listed = [d for d in report["decisions"] if d["what"] == "runtime-modules"]
        self.assertEqual([d["source"] for d in listed], ["lib\\modules"], report["decisions"])
        self.assertEqual(sorted(listed[0]["modules"].split()), sorted(TEST_RUNTIME_MODULES.split()))
        self.assertEqual([d["module"] for d in report["decisions"] if d["what"] == "module-missing"],
                         ["java.sql"])


class CheckAgreesWithLauncher32(CheckAgreesWithLauncher, harness.TestCase):
    bitness = 32


if __name__ == "__main__":
    harness.main()
