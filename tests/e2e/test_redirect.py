"""Redirection of System.out and System.err to files, end to end with the stand-in runtime."""

import datetime
import re
import shutil
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
import standin  # noqa: E402

MAIN = "com.example.App"


class RedirectTest(harness.TestCase):
    def make_app(self, application_keys, main=("println out hello-out", "println err hello-err")):
        app = harness.App(64)
        self.log = app.folder / "standin.jsonl"
        standin.make_runtime(app.folder / "jre64", 64, log=harness.win_path(self.log))
        standin.write_class(app.folder / "classes", MAIN, standin.script(main=list(main)))
        lines = ["[Java Runtime Environment]", "Main Class=%s" % MAIN,
                 "[Class Path]", "Class Path=%s" % harness.win_path(app.folder / "classes"),
                 "[Application]"]
        lines += ["%s=%s" % item for item in application_keys.items()]
        app.write_ini("\n".join(lines) + "\n")
        return app

    def run_app(self, app, cwd=None):
        result = app.run(cwd=cwd)
        self.assertExitCode(result, 0)
        self.events = standin.read_log(self.log)
        self.assertEqual(len(standin.events(self.events, "main_end")), 1, self.events)
        return result

    def test_replace_and_append(self):
        for append, expected in (("", "hello-out\r\n"), ("yes", "old\r\nhello-out\r\n"),
                                 ("Yes", "hello-out\r\n")):
            with self.subTest(append=append):
                folder = harness.temp_dir("out-")
                out = folder / "out.log"
                out.write_bytes(b"old\r\n")
                app = self.make_app({"Output File": harness.win_path(out), "Output Append": append})
                self.run_app(app)
                self.assertEqual(out.read_bytes().decode(), expected)

    def test_error_stream_append(self):
        folder = harness.temp_dir("err-")
        err = folder / "err.log"
        err.write_bytes(b"first\r\n")
        app = self.make_app({"Error File": harness.win_path(err), "Error Append": "yes"})
        result = self.run_app(app)
        self.assertEqual(err.read_bytes(), b"first\r\nhello-err\r\n")
        self.assertIn("hello-out", result.stdout)

    def test_missing_folders_are_created(self):
        folder = harness.temp_dir("deep-")
        out = folder / "a" / "b b" / "\u00e9t\u00e9" / "out.log"
        err = folder / "x" / "err.log"
        app = self.make_app({"Output File": harness.win_path(out), "Error File": harness.win_path(err)})
        self.run_app(app)
        self.assertEqual(out.read_bytes(), b"hello-out\r\n")
        self.assertEqual(err.read_bytes(), b"hello-err\r\n")

    def test_relative_names_lie_in_the_launcher_folder(self):
        # Started through a file association, the current folder is the document's.
        documents = harness.temp_dir("documents-")
        app = self.make_app({"Output File": "logs\\out.log", "Error File": "err.log"})
        self.run_app(app, cwd=documents)
        self.assertEqual(list(documents.iterdir()), [])
        self.assertEqual((app.folder / "logs" / "out.log").read_bytes(), b"hello-out\r\n")
        self.assertEqual((app.folder / "err.log").read_bytes(), b"hello-err\r\n")

    def test_time_pattern_names_share_one_instant(self):
        folder = harness.temp_dir("stamp-")
        app = self.make_app({
            "Output File": harness.win_path(folder) + "\\out_%yyyyMMdd-HHmmss-L%.log",
            "Error File": harness.win_path(folder) + "\\err_%yyyyMMdd-HHmmss-L%.log",
        })
        before = datetime.datetime.now()
        self.run_app(app)
        names = sorted(p.name for p in folder.iterdir())
        self.assertEqual(len(names), 2, names)
        pattern = re.compile(r"^(err|out)_(\d{8}-\d{6})-(\d{1,3})\.log$")
        matches = [pattern.match(n) for n in names]
        self.assertTrue(all(matches), names)
        # Both names carry the same instant, and it is today's local date (or just after midnight).
        self.assertEqual(matches[0].group(2, 3), matches[1].group(2, 3))
        stamp = datetime.datetime.strptime(matches[0].group(2), "%Y%m%d-%H%M%S")
        self.assertLess(abs((stamp - before).total_seconds()), 24 * 3600)
        # Milliseconds without leading zeros.
        self.assertFalse(matches[0].group(3).startswith("0") and matches[0].group(3) != "0")
        self.assertEqual((folder / names[1]).read_bytes(), b"hello-out\r\n")

    def run_past_dialog(self, app, failed):
        """Runs the launcher, which names the file it cannot open in one message before the
        VM starts; OK lets the program run on."""
        result, dialog = self.run_with_dialog(app, press="OK", timeout=90)
        self.assertEqual(dialog["message"], "The program's output cannot be written to %s; it "
                         "runs on without that file." % harness.win_path(failed))
        self.assertEqual(dialog["icon"], "error")
        self.assertExitCode(result, 0)
        self.events = standin.read_log(self.log)
        self.assertEqual(len(standin.events(self.events, "main_end")), 1, self.events)
        # Said once: the Java side does not try the file again, so no stack trace follows.
        self.assertFalse(standin.events(self.events, "file_open_failed"), self.events)
        self.assertFalse(standin.events(self.events, "exception_describe"), self.events)
        return result

    def test_file_that_cannot_be_opened_is_reported_and_the_launch_goes_on(self):
        # A folder cannot be opened as a file: the output stays on the process's stdout, and
        # the error file receives only what the program writes there.
        folder = harness.temp_dir("bad-")
        err = folder / "err.log"
        app = self.make_app({"Output File": harness.win_path(folder),
                             "Error File": harness.win_path(err)})
        result = self.run_past_dialog(app, folder)
        self.assertIn("hello-out", result.stdout)
        self.assertEqual(err.read_bytes(), b"hello-err\r\n")
        self.assertFalse(standin.events(self.events, "jni_warning"), self.events)

    def test_error_file_failure_leaves_the_error_stream_of_the_process(self):
        # The error file fails after the output file succeeded: the program's errors go to
        # the process's own error stream.
        folder = harness.temp_dir("bad2-")
        out = folder / "out.log"
        app = self.make_app({"Output File": harness.win_path(out),
                             "Error File": harness.win_path(folder)})
        result = self.run_past_dialog(app, folder)
        self.assertEqual(out.read_bytes(), b"hello-out\r\n")
        self.assertNotIn("FileNotFoundException", result.stderr)
        self.assertIn("hello-err", result.stderr)

    def test_console_build_says_it_in_one_line_on_standard_error(self):
        folder = harness.temp_dir("bad3-")
        app = self.make_app({"Output File": harness.win_path(folder)})
        shutil.copyfile(harness.dist_dir() / "vmbootc64.exe", app.exe)
        result = self.run_app(app)
        self.assertEqual(result.stderr.splitlines(),
                         ["The program's output cannot be written to %s; it runs on without "
                          "that file." % harness.win_path(folder), "hello-err"])
        self.assertEqual(result.stdout.splitlines(), ["hello-out"])

    def test_output_and_error_naming_one_file_share_one_stream(self):
        # The common "one log file for both" set-up, written directly, through the same time
        # pattern, and in another letter case; two streams would overwrite each other.
        main = ("println out line-1-out", "println err line-2-err", "println out line-3-out")
        expected = b"line-1-out\r\nline-2-err\r\nline-3-out\r\n"
        for label, out_name, err_name in (
                ("same name", "app.log", "app.log"),
                ("same pattern", "app_%yyyyMMdd%.log", "app_%yyyyMMdd%.log"),
                ("letter case", "app.log", "APP.LOG")):
            with self.subTest(label):
                folder = harness.temp_dir("both-")
                app = self.make_app({"Output File": harness.win_path(folder) + "\\" + out_name,
                                     "Error File": harness.win_path(folder) + "\\" + err_name},
                                    main=main)
                self.run_app(app)
                files = list(folder.iterdir())
                self.assertEqual(len(files), 1, files)
                self.assertEqual(files[0].read_bytes(), expected)
        with self.subTest("append kept when one side appends"):
            folder = harness.temp_dir("both-")
            log = folder / "app.log"
            log.write_bytes(b"earlier\r\n")
            app = self.make_app({"Output File": harness.win_path(log),
                                 "Error File": harness.win_path(log), "Error Append": "yes"},
                                main=main)
            self.run_app(app)
            self.assertEqual(log.read_bytes(), b"earlier\r\n" + expected)

    def test_redirection_holds_no_local_references_into_main(self):
        # main may run (or park) for the whole session: what the redirection obtained is
        # released before it starts, so main begins with as many references as without it.
        counts = {}
        for label, keys in (("plain", {}),
                            ("both", {"Output File": "%TEMP%\\vmboot-refs\\out.log",
                                      "Error File": "%TEMP%\\vmboot-refs\\err.log"})):
            app = self.make_app(keys)
            self.run_app(app)
            main = standin.events(self.events, "main")
            self.assertEqual(len(main), 1, self.events)
            counts[label] = main[0]["live_local_refs"]
        self.assertEqual(counts["both"], counts["plain"], counts)


if __name__ == "__main__":
    harness.main()
