"""The first steps of every launch, end to end: reading the configuration file beside the
executable and reporting a missing main class, in both builds."""

import re
import subprocess
import unittest

import harness

MAIN_CLASS_MISSING = {
    "en": "Main class was not specified in INI file.",
    "de": "Main class in der INI-Datei nicht spezifiziert.",
}
BITNESSES = (64, 32)


class MainClassMissingTest(harness.TestCase):
    def assert_main_class_message(self, app, language="en", env=None, raw=None):
        result, dialog = self.run_with_dialog(app, env=env, raw=raw)
        self.assertDialog(dialog, message=MAIN_CLASS_MISSING[language], icon="error",
                          buttons=["OK"], result=result)
        # No caption is given, so the system's default caption shows.
        self.assertTrue(dialog["caption"], self.context(result, dialog))
        self.assertIsNone(dialog["owner"], self.context(result, dialog))
        self.assertExitCode(result, -1, dialog)

    def test_without_configuration_file(self):
        for bitness in BITNESSES:
            with self.subTest(bitness=bitness):
                self.assert_main_class_message(harness.App(bitness))

    def test_with_empty_or_blank_main_class(self):
        cases = {
            "empty value": '[Java Runtime Environment]\nMain Class=\n',
            "blank value": '[Java Runtime Environment]\nMain Class=   \n',
            "other keys only": '[Java Runtime Environment]\nJRE Path=C:\\nowhere\n'
                               '[Class Path]\nClass Path=app.jar\n',
            "key in another section": '[Application]\nMain Class=demo.Main\n',
            "empty file": '',
        }
        for bitness in BITNESSES:
            for name, text in cases.items():
                with self.subTest(bitness=bitness, case=name):
                    app = harness.App(bitness)
                    app.write_ini(text)
                    self.assert_main_class_message(app)

    def test_messages_in_the_system_language_not_the_user_s(self):
        # Wine takes the system's locale from LC_CTYPE and the user's from LC_MESSAGES. The
        # 32-bit build carries English resources only; Japanese is in neither build.
        german, japanese = "de_DE.UTF-8", "ja_JP.UTF-8"
        for bitness, language, env in (
                (64, "de", {"LC_ALL": german}), (32, "en", {"LC_ALL": german}),
                (64, "de", {"LC_CTYPE": german, "LC_MESSAGES": japanese}),
                (64, "en", {"LC_CTYPE": japanese, "LC_MESSAGES": german})):
            with self.subTest(bitness=bitness, env=env):
                self.assert_main_class_message(harness.App(bitness), language, env=env)

    def test_unquoted_program_path_with_spaces(self):
        # The launcher finds its configuration through its own module path, not through the
        # command line, whose first item is cut at the space.
        for bitness in BITNESSES:
            with self.subTest(bitness=bitness):
                folder = harness.temp_dir() / "My App"
                app = harness.App(bitness, name="launcher", folder=folder)
                self.assert_main_class_message(app, raw=app.win_exe + " first second")


class MainClassGivenTest(harness.TestCase):
    """Only this layer's part: a main class that is present is accepted, wherever the file
    puts it, and reaches the launch in slash form; whatever later stages show must not be
    the missing-main-class message."""

    def assert_no_main_class_message(self, app):
        process = app.start(timeout=60)
        ui = harness.UiDriver()
        try:
            dialog = ui.wait_dialog(timeout=20, pid=process)
        except (harness.ProcessEnded, harness.UiTimeout):
            dialog = None
        if dialog is not None:
            self.assertNotIn(dialog["message"], MAIN_CLASS_MISSING.values(),
                             self.context(None, dialog))
        if process.running():
            process.kill()
        result = process.wait(60)
        # Whatever happened next, the launcher did not crash (an exception code would show).
        if result.code is not None:
            self.assertGreaterEqual(result.code, -1, self.context(result, dialog))
            self.assertLess(result.code, 0x10000, self.context(result, dialog))

    def test_main_class_in_main_or_append_section(self):
        cases = {
            "main section": ('[Java Runtime Environment]\nMain Class=demo.Main\n',
                             "demo/Main"),
            # A value only in the append section is read with one leading space.
            "append section only": ('[Java Runtime Environment+]\nMain Class=demo.Main\n',
                                    " demo/Main"),
            "main section wins": ('[Java Runtime Environment]\nMain Class=a.B\n'
                                  '[Java Runtime Environment+]\nMain Class=c.D\n', "a/B"),
            "quoted value": ('[Java Runtime Environment]\nMain Class="demo.sub.Main"\n',
                             "demo/sub/Main"),
            "lower-case names": ('[java runtime environment]\nmain class=demo.Main\n',
                                 "demo/Main"),
        }
        for bitness in BITNESSES:
            for name, (text, expected) in cases.items():
                with self.subTest(bitness=bitness, case=name):
                    app = harness.App(bitness)
                    app.write_ini(text)
                    report = app.check()
                    self.assertEqual(report["mainClass"], expected, report)
                    self.assertNotIn(report["message"], MAIN_CLASS_MISSING.values())
                    self.assert_no_main_class_message(app)

    def test_dry_run_reports_the_missing_main_class(self):
        for bitness in BITNESSES:
            with self.subTest(bitness=bitness):
                report = harness.App(bitness).check()
                self.assertEqual(report["exitCode"], -1, report)
                self.assertEqual(report["mainClass"], "", report)
                messages = [d for d in report["decisions"]
                            if d["stage"] == "launch" and d["what"] == "message"]
                self.assertEqual([m.get("id") for m in messages], ["210"], report)


if __name__ == "__main__":
    harness.main()


# Functions that the systems the manifest declares (Windows Vista and later) do not all have.
# Importing one keeps an executable from starting at all on the older systems, with a loader
# error before any of the launcher's code runs. Where the launcher can use one, it resolves
# it at run time (AddDllDirectory, for instance) and has a fallback.
NEWER_THAN_VISTA = {
    "KERNEL32.dll": {
        # Windows 7 without KB2533623, or Windows 8
        "AddDllDirectory", "RemoveDllDirectory", "SetDefaultDllDirectories",
        "GetSystemTimePreciseAsFileTime", "CreateFile2", "CopyFile2", "GetCurrentThreadStackLimits",
        "WaitOnAddress", "WakeByAddressSingle", "WakeByAddressAll",
        "InitializeSynchronizationBarrier", "EnterSynchronizationBarrier",
        "DeleteSynchronizationBarrier", "GetProcessMitigationPolicy",
        "SetProcessMitigationPolicy", "CreateFileMappingFromApp", "MapViewOfFileFromApp",
        "GetFirmwareType", "GetCurrentPackageId", "GetPackageFamilyName",
        # Windows 7
        "TryAcquireSRWLockExclusive", "TryAcquireSRWLockShared", "GetActiveProcessorCount",
        "GetMaximumProcessorCount", "GetLogicalProcessorInformationEx",
        "QueryUnbiasedInterruptTime", "CreateRemoteThreadEx", "GetThreadGroupAffinity",
        "SetThreadGroupAffinity", "GetProcessGroupAffinity", "ResolveLocaleName",
        "PowerCreateRequest", "AddIntegrityLabelToBoundaryDescriptor",
        "K32GetModuleFileNameExW", "K32EnumProcessModules", "K32GetProcessMemoryInfo",
        # Windows 10
        "SetThreadDescription", "GetThreadDescription", "SetProcessDefaultCpuSets",
    },
    "USER32.dll": {
        "ChangeWindowMessageFilterEx", "CalculatePopupWindowPosition", "RegisterTouchWindow",
        "IsTouchWindow", "GetGestureInfo", "SetGestureConfig", "QueryDisplayConfig",
        "SetDisplayConfig", "GetDisplayConfigBufferSizes", "GetWindowDisplayAffinity",
        "SetWindowDisplayAffinity", "GetPointerInfo", "EnableMouseInPointer",
        "SetProcessDpiAwarenessContext", "SetThreadDpiAwarenessContext", "GetDpiForWindow",
        "GetDpiForSystem", "AdjustWindowRectExForDpi", "GetSystemMetricsForDpi",
        "SystemParametersInfoForDpi", "EnableNonClientDpiScaling",
    },
    "ADVAPI32.dll": {
        "AddMandatoryAce", "RegLoadAppKeyW", "EventWriteEx", "EventSetInformation",
    },
}
SYSTEM_DLLS = {"KERNEL32.dll", "USER32.dll", "GDI32.dll", "ADVAPI32.dll", "msvcrt.dll"}


def imported_functions(executable):
    """{DLL name: set of imported function names} from the executable's import table."""
    output = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(executable)],
                            check=True, capture_output=True, text=True).stdout
    imports, current = {}, None
    for line in output.splitlines():
        found = re.match(r"\s*DLL Name: (\S+)", line)
        if found:
            current = imports.setdefault(found.group(1), set())
            continue
        entry = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\w+)\s*$", line)
        if current is not None and entry:
            current.add(entry.group(1))
        elif not line.strip():
            current = None
    return imports


class ImportTableTest(unittest.TestCase):
    def test_both_launchers_import_nothing_newer_than_the_declared_systems(self):
        for bitness in BITNESSES:
            with self.subTest(bitness=bitness):
                imports = imported_functions(harness.launcher_path(bitness))
                self.assertIn("KERNEL32.dll", imports)
                self.assertGreater(len(imports["KERNEL32.dll"]), 50, "import table not read")
                self.assertLessEqual(set(imports), SYSTEM_DLLS)
                newer = {dll: sorted(names & NEWER_THAN_VISTA.get(dll, set()))
                         for dll, names in imports.items()}
                self.assertEqual({dll: names for dll, names in newer.items() if names}, {})
