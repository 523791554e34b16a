#!/usr/bin/env python3
"""Starts dist/sample/HelloApp.exe under Wine and prints what happened.

On the real 64-bit Java runtime (scripts/real_jre.sh, or VMBOOT_REAL_JRE), linked in as jre64\\
beside the executable, when one can be had: the program really runs, and this prints the
report HelloApp itself wrote to %LOCALAPPDATA%\\vmboot Sample\\logs\\HelloApp-out.log, closes
the window it shows, and prints the exit code.

Otherwise (saying so) with the stand-in runtime of tests/standin: its jvm.dll takes the
launcher's JNI calls, reads the class files from the jars to find main, and logs everything;
it does not execute Java bytecode, so this prints what the launcher did instead (the runtime
it chose, the VM options in order, the class path, the main class and main's arguments, the
redirected streams and the exit code)."""

import shutil
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import harness  # noqa: E402
import standin  # noqa: E402

ARGUMENTS = ["--from-command-line", "Gr\u00fc\u00dfe \u65e5\u672c"]


def log_folder():
    """The Linux path of the folder the sample's configuration names for its logs:
    %LOCALAPPDATA%\\vmboot Sample\\logs in the Wine prefix."""
    result = harness.run_wine(["cmd", "/c", "echo", "%LOCALAPPDATA%"], timeout=60)
    local = result.stdout.decode(errors="replace").strip()
    if local[1:3] != ":\\":
        raise SystemExit("run_sample: no LOCALAPPDATA in the Wine prefix: %r" % local)
    drive = Path(harness.wine()["WINEPREFIX"]) / ("drive_" + local[0].lower())
    return drive.joinpath(*local[3:].split("\\")) / "vmboot Sample" / "logs"


def run_on_real_runtime(folder):
    """Runs the sample on the real runtime; returns the exit code."""
    harness.link_real_jre(folder)
    logs = log_folder()
    for name in ("HelloApp-out.log", "HelloApp-err.log"):
        (logs / name).unlink(missing_ok=True)
    command = harness.command_line(harness.win_path(folder / "HelloApp.exe"), ARGUMENTS)
    process = harness.spawn(command, cwd=folder.parent, timeout=180)
    print("Sample run under Wine: %s" % command)
    print("  real: the launcher (HelloApp.exe), HelloApp.ini, the classes and jars of lib\\,")
    print("  and the Java runtime in jre64\\ (%s)" % harness.real_jre()[0])
    # With "--window" the program shows its greeting in a Swing dialog and exits when it
    # is closed.
    ui = harness.UiDriver()
    try:
        window = ui.wait_dialog(timeout=120, title="vmboot sample", pid=process, any_class=True)
        print("  the program showed its window %r (%s); closing it" % (window["caption"],
                                                                    window["class"]))
        ui.close()
    except (harness.UiTimeout, harness.ProcessEnded) as error:
        print("  no window from the program: %s" % str(error).splitlines()[0])
    result = process.wait(120)
    out = logs / "HelloApp-out.log"
    err = logs / "HelloApp-err.log"
    print("\nWhat the Java program reported (%s):" % out)
    if out.is_file():
        print(out.read_bytes().decode("cp1252", errors="replace").rstrip())
    else:
        print("  (nothing: the file is missing)")
    if err.is_file() and err.stat().st_size:
        print("\n%s:\n" % err + err.read_bytes().decode("cp1252", errors="replace"))
    print("\nLauncher exit code: %s" % result.code)
    if result.code != 0 or not out.is_file():
        print(result.describe())
        return 1
    return 0


def main():
    sample = harness.dist_dir() / "sample"
    if not (sample / "HelloApp.exe").is_file():
        raise SystemExit("run_sample: %s is missing (scripts/build_sample.sh)" % sample)
    folder = harness.temp_dir("sample-") / "HelloApp"
    shutil.copytree(sample, folder)
    jre, why = harness.real_jre()
    if jre is not None:
        raise SystemExit(run_on_real_runtime(folder))
    print("No real Java runtime (%s): running the sample on the stand-in runtime." % why)
    standin.make_runtime(folder / "jre64", 64)
    log = folder / "standin.log"

    command = harness.command_line(harness.win_path(folder / "HelloApp.exe"), ARGUMENTS)
    process = harness.spawn(command, env={standin.LOG_ENV: harness.win_path(log)},
                            cwd=folder.parent, timeout=60)
    result = process.wait(120)
    events = standin.read_log(log)

    print("Sample run under Wine: %s" % command)
    print("  real: the launcher (HelloApp.exe), HelloApp.ini, the classes and jars of lib\\")
    print("  stand-in: the Java runtime in jre64\\ (a test jvm.dll that logs what it is asked"
          " to do and does not run bytecode)")
    create = next(iter(standin.events(events, "create")), None)
    if create is None:
        print("The VM was never created. Launcher output:\n" + result.describe())
        raise SystemExit(1)
    print("\nRuntime chosen:  %s" % create["ql_jvm_path"])
    print("QL_JVM_HOME:     %s" % create["ql_jvm_home"])
    print("Working folder:  %s" % create["cwd"])
    print("VM thread stack: %s bytes reserved" % create["stack_reserve"])
    print("\nVM options, in order:")
    for i, option in enumerate(standin.options(events)):
        print("  [%d] %s" % (i, option))
    for option in standin.options(events):
        if option.startswith("-Djava.class.path="):
            print("\nClass path:")
            for entry in option[len("-Djava.class.path="):].split(";"):
                if entry:
                    print("  " + entry)
    for event in standin.events(events, "check_and_load_main"):
        print("\nMain class loaded through LauncherHelper: %s (found: %s)"
              % (event["name"], event["found"]))
    for event in standin.events(events, "main"):
        print("main(String[]) of %s called with %d arguments:" % (event["class"],
                                                                 len(event["args"])))
        for i, argument in enumerate(event["args"]):
            print("  [%d] %s" % (i, argument))
    for event in standin.events(events, "file_opened"):
        print("Stream redirected to %s (append: %s)" % (event["file"], event["append"]))
    print("\nLauncher exit code: %s" % result.code)
    if result.code != 0 or not standin.events(events, "main"):
        print(result.describe())
        raise SystemExit(1)


if __name__ == "__main__":
    main()
