"""The harness itself: exact command lines, environment, exit codes and the window driver,
checked against probe.exe (a GUI program that reports what it was started with)."""

import json
import os
import re
import shutil
import subprocess
from pathlib import Path

import harness


class ProbeRun:
    """Starts probe.exe of one bitness from a copy in a fresh folder."""

    def __init__(self, bitness, folder_name="probe"):
        self.folder = harness.temp_dir() / folder_name
        self.folder.mkdir(parents=True)
        self.exe = self.folder / "probe.exe"
        shutil.copyfile(harness.tool_path("probe", bitness), self.exe)
        self.out = self.folder / "out.json"

    def start(self, command_line, env=None, **kwargs):
        full_env = {"PROBE_OUT": harness.win_path(self.out)}
        full_env.update(env or {})
        return harness.spawn(command_line, env=full_env, **kwargs)

    def report(self):
        return json.loads(self.out.read_text(encoding="utf-8"))


class SpawnTest(harness.TestCase):
    def test_command_line_reaches_the_program_verbatim(self):
        cases = [
            ("quoted program, plain args", '"{exe}" a "b c"'),
            ("empty argument", '"{exe}" "" x'),
            ("unbalanced quote", '"{exe}" "rest of  line'),
            ("tabs and double spaces", '"{exe}"  a\tb   c  '),
            ("non-ASCII text", '"{exe}" Grüße 日本語 "Ωmega ü"'),
            ("backslashes before quote", '"{exe}" "C:\\dir\\" x'),
        ]
        for bitness in (64, 32):
            probe = ProbeRun(bitness)
            for name, template in cases:
                with self.subTest(bitness=bitness, case=name):
                    line = template.format(exe=harness.win_path(probe.exe))
                    result = probe.start(line).wait(60)
                    self.assertExitCode(result, 0)
                    self.assertEqual(probe.report()["cmdline"], line)

    def test_unquoted_program_path_with_spaces(self):
        probe = ProbeRun(64, folder_name="with space")
        line = harness.win_path(probe.exe) + " arg"
        # Wine's own search would quote a found program path; naming the program keeps the
        # command line as given, as Windows does in both cases.
        result = probe.start(line, application=harness.win_path(probe.exe)).wait(60)
        self.assertExitCode(result, 0)
        self.assertEqual(probe.report()["cmdline"], line)

    def test_exit_codes_are_signed_32_bit(self):
        probe = ProbeRun(64)
        for code in (0, 1, -1, 255, 256, -2147483648, 2147483647):
            with self.subTest(code=code):
                result = probe.start('"%s"' % harness.win_path(probe.exe),
                                     env={"PROBE_EXIT": str(code)}).wait(60)
                self.assertExitCode(result, code)

    def test_environment_current_directory_and_output(self):
        probe = ProbeRun(32)
        work = harness.temp_dir("cwd-")
        env = {"PROBE_ENV": "VMBOOT_A,VMBOOT_B,VMBOOT_GONE",
               "VMBOOT_A": "Wert ü %PATH% \"q\"", "VMBOOT_B": "", "VMBOOT_GONE": None,
               "PROBE_STDOUT": "to stdout ü\n", "PROBE_STDERR": "to stderr\n"}
        result = probe.start('"%s"' % harness.win_path(probe.exe), env=env, cwd=work).wait(60)
        self.assertExitCode(result, 0)
        report = probe.report()
        self.assertEqual(report["env"], {"VMBOOT_A": "Wert ü %PATH% \"q\"", "VMBOOT_B": "",
                                         "VMBOOT_GONE": None})
        self.assertEqual(report["cwd"].rstrip("\\").lower(), harness.win_path(work).lower())
        self.assertIn("to stdout ü", result.stdout)
        self.assertIn("to stderr", result.stderr)

    def test_timeout_ends_the_program(self):
        probe = ProbeRun(64)
        # A message box nobody answers keeps the program alive until the timeout.
        result = probe.start('"%s"' % harness.win_path(probe.exe),
                             env={"PROBE_MESSAGE": "wait"}, timeout=2).wait(60)
        self.assertTrue(result.timed_out)
        self.assertIsNone(result.code)

    def test_quote_argument(self):
        self.assertEqual(harness.command_line("C:\\a b\\x.exe", ["p", "", "q r", "s\\"]),
                         '"C:\\a b\\x.exe" p "" "q r" s\\')
        # The C runtime's rules: a backslash before each quote, doubled before a closing one.
        self.assertEqual(harness.quote_argument('a"b'), '"a\\"b"')
        self.assertEqual(harness.quote_argument('a b\\'), '"a b\\\\"')


class RegistryTest(harness.TestCase):
    def test_import_into_both_views_and_clear_every_java_root(self):
        harness.reg_import(
            '[HKEY_LOCAL_MACHINE\\Software\\JavaSoft\\JDK\\17]\n'
            '"JavaHome"="C:\\\\jdk 17 \\"ü\\""\n'
            '"Count"=dword:0000002a\n'
            '[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\IBM\\Java2 Runtime Environment\\1.8]\n'
            '"JavaHome"="C:\\\\ibm"\n')
        self.assertEqual(harness.reg_query("HKLM\\Software\\JavaSoft\\JDK\\17", view=64),
                         {"JavaHome": 'C:\\jdk 17 "ü"', "Count": 42})
        # The 32-bit view is a separate tree: the 64-bit key is not seen there.
        self.assertIsNone(harness.reg_query("HKLM\\Software\\JavaSoft\\JDK\\17", view=32))
        self.assertEqual(
            harness.reg_query("HKLM\\Software\\IBM\\Java2 Runtime Environment\\1.8", view=32),
            {"JavaHome": "C:\\ibm"})

        harness.clear_java_registry()
        for key, view in (("HKLM\\Software\\JavaSoft", 64), ("HKLM\\Software\\IBM", 32)):
            with self.subTest(key=key, view=view):
                self.assertIsNone(harness.reg_query(key, view=view))


class UiDriverTest(harness.TestCase):
    def start_message_box(self, bitness, **env):
        probe = ProbeRun(bitness)
        full_env = {"PROBE_MESSAGE": "Hello from the probe", "PROBE_EXIT": "100"}
        full_env.update(env)
        return probe.start('"%s"' % harness.win_path(probe.exe), env=full_env, timeout=60)

    def test_describes_a_message_box_and_presses_its_button(self):
        for bitness in (64, 32):
            with self.subTest(bitness=bitness):
                process = self.start_message_box(bitness, PROBE_CAPTION="Probe caption")
                ui = harness.UiDriver()
                dialog = ui.wait_dialog(timeout=30, pid=process)
                self.assertEqual(dialog["pid"], process.pid)
                self.assertDialog(dialog, message="Hello from the probe", icon="error",
                                  buttons=["OK"], caption="Probe caption")
                self.assertEqual(dialog["class"], "#32770")
                self.assertIsNone(dialog["owner"])
                self.assertGreater(dialog["rect"]["width"], 50)
                ui.press("OK")
                # MessageBox returns IDOK (1), added to the probe's exit code.
                self.assertExitCode(process.wait(60), 101, dialog)

    def test_icons_are_told_apart(self):
        for icon in ("warning", "information"):
            with self.subTest(icon=icon):
                process = self.start_message_box(64, PROBE_ICON=icon)
                ui = harness.UiDriver()
                dialog = ui.wait_dialog(timeout=30, pid=process)
                self.assertEqual(dialog["icon"], icon, json.dumps(dialog))
                ui.key("enter")
                self.assertExitCode(process.wait(60), 101, dialog)

    def test_title_filter_keys_close_and_screenshot(self):
        process = self.start_message_box(64, PROBE_CAPTION="Titled", PROBE_ICON="question")
        ui = harness.UiDriver()
        with self.assertRaises(harness.UiTimeout):
            ui.wait_dialog(timeout=1, title="Another title")
        dialog = ui.wait_dialog(timeout=30, title="Titled")
        self.assertDialog(dialog, buttons=["&Yes", "&No"] if "&Yes" in dialog["buttons"]
                          else ["Yes", "No"])
        shot = ui.screenshot(harness.temp_dir() / "dialog.png")
        self.assertTrue(shot.read_bytes().startswith(b"\x89PNG"))
        ui.key("tab")
        ui.key("space")  # Tab moved the focus from Yes to No
        self.assertExitCode(process.wait(60), 100 + 7, dialog)  # IDNO

    def test_escape_ends_a_message_box(self):
        process = self.start_message_box(32)
        ui = harness.UiDriver()
        dialog = ui.wait_dialog(timeout=30, pid=process)
        ui.key("esc")
        result = process.wait(60)
        # Windows answers IDOK for a box with only OK, Wine IDCANCEL.
        self.assertIn(result.code, (101, 102), self.context(result, dialog))

    def test_process_end_is_reported_while_waiting(self):
        probe = ProbeRun(64)
        process = probe.start('"%s"' % harness.win_path(probe.exe), env={"PROBE_EXIT": "3"})
        with self.assertRaises(harness.ProcessEnded) as caught:
            harness.UiDriver().wait_dialog(timeout=30, pid=process)
        # The code is known when the end was seen while waiting, not when it came first.
        self.assertIn(caught.exception.exit_code, (3, None))
        self.assertExitCode(process.wait(60), 3)

    def test_close_and_resize(self):
        process = self.start_message_box(64)
        ui = harness.UiDriver()
        dialog = ui.wait_dialog(timeout=30, pid=process)
        resized = ui.resize(dialog["rect"]["width"] + 40, dialog["rect"]["height"] + 20)
        self.assertEqual(resized["rect"]["width"], dialog["rect"]["width"] + 40)
        ui.close()
        self.assertTrue(ui.wait_gone(timeout=30))
        result = process.wait(60)
        # Windows answers IDOK for a box with only OK, Wine IDCANCEL.
        self.assertIn(result.code, (101, 102), self.context(result, dialog))


class EmulationTest(harness.TestCase):
    def test_wrapper_registers_qemu_for_32_bit_programs(self):
        script = harness.repo_root() / "scripts" / "emulate_i386.sh"
        if not Path("/usr/bin/qemu-i386").is_file():
            self.skipTest("qemu-user is not installed")
        if tuple(int(n) for n in re.findall(r"\d+", os.uname().release)[:2]) < (6, 7):
            self.skipTest("Linux before 6.7 has no binfmt_misc per user namespace")
        inside = subprocess.run(
            ["bash", str(script), "sh", "-c",
             "cat /proc/sys/fs/binfmt_misc/vmboot-i386; /usr/lib/wine/wine --version; exit 3"],
            stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=60)
        self.assertEqual(inside.returncode, 3, inside.stderr)
        self.assertIn("interpreter /usr/bin/qemu-i386", inside.stdout)
        self.assertIn("flags: PF", inside.stdout)
        self.assertIn("wine-", inside.stdout)


if __name__ == "__main__":
    harness.main()
