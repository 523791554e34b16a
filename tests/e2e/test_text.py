"""Text outside the ANSI code page: paths, options, arguments and configuration files saved as
UTF-8, on the real runtime under a Western (1252) and a Japanese (932) system."""

import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
import standin  # noqa: E402
from test_splash import WRITERS  # noqa: E402

REPORT_SOURCE = r"""
package app;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;

public class Report {
    static void paths(StringBuilder out, String name, String value) throws Exception {
        out.append(name).append('=').append(value).append('\n');
        for (String entry : value.split(";")) {
            File file = new File(entry);
            if (!entry.isEmpty() && file.exists()) {
                out.append(name).append(".canonical=").append(file.getCanonicalPath()).append('\n');
            }
        }
    }

    public static void main(String[] args) throws Exception {
        StringBuilder out = new StringBuilder();
        paths(out, "class.path", System.getProperty("java.class.path"));
        paths(out, "library.path", System.getProperty("java.library.path"));
        out.append("n=").append(System.getProperty("n")).append('\n');
        for (String arg : args) out.append("arg=").append(arg).append('\n');
        Files.write(Paths.get(System.getProperty("report")), out.toString().getBytes(StandardCharsets.UTF_8));
    }
}
"""

JAPANESE = "\u65e5\u672c\u8a9e"                      # 日本語: in 932, not in 1252
GREEK = "\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac"  # Ελληνικά: "ά" is in neither
ASTRAL = "\U0001F600"                                 # 😀: in no ANSI code page
ARGUMENTS = [JAPANESE, GREEK, ASTRAL, "caf\u00e9 " + ASTRAL + "x", "a b"]


def report_lines(path):
    lines = {}
    for line in path.read_text(encoding="utf-8").splitlines():
        name, _, value = line.partition("=")
        lines.setdefault(name, []).append(value)
    return lines


class RealRuntimeTextTest(harness.TestCase):
    """A Java program reports its class path, library path, a property and its arguments."""

    def make_app(self, folder_name):
        root = harness.temp_dir("text-") / folder_name
        app = harness.App(64, name="report", folder=root)
        # The runtime stays in an ASCII folder: Wine's loader reports a library loaded by its
        # short name under its long name, so the VM would find its home as "?" here.
        jre = harness.win_path(harness.real_jre()[0])
        harness.compile_java({"app/Report.java": REPORT_SOURCE}, harness.temp_dir("javac-"),
                             jar=app.folder / "lib" / "a.jar")
        (app.folder / "lib" / "b").mkdir()
        harness.compile_java({"other/B.java": "package other; public class B {}"},
                             harness.temp_dir("javac-"), jar=app.folder / "lib" / "b.jar")
        (app.folder / "native").mkdir()
        self.report = harness.temp_dir("report-") / "report.txt"
        # Saved as UTF-8 without a mark, as Notepad does; "lib/*.jar" as Java projects write it.
        app.write_ini("[Java Runtime Environment]\n"
                      "JRE Path=%s\n"
                      "Main Class=app.Report\n"
                      "Library Path=native\n"
                      "Virtual Machine Parameters=-Dn=caf\u00e9 -Dreport=%s\n"
                      "[Class Path]\n"
                      "Class Path=lib/*.jar\n" % (jre, harness.win_path(self.report)),
                      encoding="utf-8")
        return app

    def test_paths_arguments_and_utf8_configuration_under_1252_and_932(self):
        harness.require_real_jre(self)
        # The folders carry no character outside the BMP: the runtime's own class loader
        # cannot open a class path entry under such a folder, whoever passes it (it
        # percent-encodes each half of the pair on its own and then fails to decode it).
        rows = (
            # (system locale, folder name, property n as Java sees it, short names expected)
            ("de_DE.UTF-8", JAPANESE + " " + GREEK, "caf\u00e9", True),
            ("ja_JP.UTF-8", JAPANESE, None, False),
            ("ja_JP.UTF-8", GREEK, None, True),
        )
        for locale, folder_name, property_n, short_names in rows:
            with self.subTest(locale=locale, folder=folder_name):
                app = self.make_app(folder_name)
                env = {"LC_ALL": locale}
                result = app.run(ARGUMENTS, env=env, timeout=120)
                self.assertExitCode(result, 0)
                lines = report_lines(self.report)
                # Main's arguments are Java strings: exact, astral characters included.
                self.assertEqual(lines.get("arg"), ARGUMENTS)
                # Every class path entry names the jar itself (by its short name where the
                # code page lacks a character), never a "?" that names nothing.
                expected_jars = sorted(str(harness.win_path(app.folder / "lib" / n)).lower()
                                       for n in ("a.jar", "b.jar"))
                self.assertEqual(sorted(p.lower() for p in lines.get("class.path.canonical", [])),
                                 expected_jars, lines)
                self.assertNotIn("?", lines["class.path"][0])
                canonical_libraries = [p.lower() for p in lines.get("library.path.canonical", [])]
                self.assertIn(harness.win_path(app.folder).lower(), canonical_libraries, lines)
                self.assertIn(harness.win_path(app.folder / "native").lower(), canonical_libraries)
                # A user option gets the code page's default character, never a look-alike.
                if property_n is not None:
                    self.assertEqual(lines["n"], [property_n])
                else:
                    self.assertNotEqual(lines["n"], ["cafe"])
                # The diagnostics tool names each substitution.
                check = app.check(ARGUMENTS, env=env)
                substituted = [d for d in check["decisions"]
                               if d.get("stage") == "options" and d.get("what") == "short-name"]
                self.assertEqual(bool(substituted), short_names, check["decisions"])

    def test_one_log_file_for_both_streams(self):
        # The usual set-up of a windowed application: both streams into one log, named
        # outside the code page; nothing written by one stream is overwritten by the other.
        jre = harness.require_real_jre(self)
        app = harness.App(64, name="both", folder=harness.temp_dir("text-") / JAPANESE)
        harness.compile_java({"app/Both.java": (
            "package app;\npublic class Both { public static void main(String[] a) {\n"
            "System.out.println(\"1 out\"); System.err.println(\"2 err \u00e9\");\n"
            "System.out.println(\"3 out\"); System.err.println(\"4 err\"); } }\n")},
            harness.temp_dir("javac-"), jar=app.folder / "both.jar")
        log = app.folder / (GREEK + ".log")
        log.write_bytes(b"earlier run\r\n")
        app.write_ini("[Java Runtime Environment]\nJRE Path=%s\nMain Class=app.Both\n"
                      "[Class Path]\nClass Path=both.jar\n[Application]\n"
                      "Output File=%s\nError File=%s\nOutput Append=yes\n"
                      % (harness.win_path(jre), harness.win_path(log), harness.win_path(log)),
                      encoding="utf-8")
        result = app.run(env={"LC_ALL": "de_DE.UTF-8"}, timeout=120)
        self.assertExitCode(result, 0)
        self.assertEqual(log.read_bytes().decode("cp1252").splitlines(),
                         ["earlier run", "1 out", "2 err \u00e9", "3 out", "4 err"])


class StandinTextTest(harness.TestCase):
    """The native splash image and a redirection file named outside the code page."""

    def test_splash_image_and_output_file(self):
        rows = (
            # (system locale, folder name, image name, short names expected)
            ("de_DE.UTF-8", JAPANESE + " " + GREEK + " " + ASTRAL, GREEK + ASTRAL + ".png", True),
            ("ja_JP.UTF-8", JAPANESE, JAPANESE + ".png", False),
        )
        for locale, folder_name, image, short_names in rows:
            with self.subTest(locale=locale, folder=folder_name):
                app = harness.App(64, folder=harness.temp_dir("text-") / folder_name)
                log = app.folder / "standin.jsonl"
                standin.make_runtime(app.folder / "jre64", 64, splash="full")
                standin.write_class(app.folder / "classes", "com.example.App",
                                    standin.script(main=["println out hello"]))
                WRITERS["png"](app.folder / image, 64, 48)
                app.write_ini("[Java Runtime Environment]\nMain Class=com.example.App\n"
                              "[Class Path]\nClass Path=classes\n"
                              "[Application]\nOutput File=%s\\out %s.log\n"
                              "[Display]\nSplash Screen=%s\\%s\n"
                              "Preffer Native Splash Screen=Yes\n"
                              % (folder_name, ASTRAL, app.win_folder, image), encoding="utf-8")
                env = {"LC_ALL": locale, standin.LOG_ENV: harness.win_path(log)}
                result = app.run(env=env)
                self.assertExitCode(result, 0)
                out = app.folder / folder_name / ("out %s.log" % ASTRAL)
                self.assertEqual(out.read_bytes(), b"hello\r\n")
                loaded = [e["file"] for e in standin.read_log(log)
                          if e.get("event") == "splash" and e.get("call") == "SplashLoadFile"]
                self.assertEqual(len(loaded), 1)
                self.assertNotIn("?", loaded[0])
                check = app.check(env=env)
                substituted = [d for d in check["decisions"]
                               if d.get("stage") == "splash" and d.get("what") == "short-name"]
                if short_names:
                    self.assertEqual([d["shortPath"] for d in substituted], loaded)
                else:
                    self.assertEqual(substituted, [])
                    self.assertEqual(loaded, [app.win_folder + "\\" + image])


if __name__ == "__main__":
    harness.main()
