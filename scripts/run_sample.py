#!/usr/bin/env python3
"""Starts dist/sample/HelloApp.exe under Wine with the stand-in runtime shipped beside it (as
jre64\\) and prints what the launcher did: the runtime it chose, the VM options in order, the
class path, the main class and main's arguments, the redirected streams and the exit code.

Real in this run: the launcher (HelloApp.exe is vmboot64.exe renamed), its configuration
HelloApp.ini, the Java classes compiled by javac and the jars packed by jar. Stand-in: the
Java runtime. Its jvm.dll takes the launcher's JNI calls, reads the class files from the jars
to find main, and logs everything; it does not execute Java bytecode, so the program's own
output (the report HelloApp writes) appears only on a real Java runtime."""

import shutil
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import harness  # noqa: E402
import standin  # noqa: E402

ARGUMENTS = ["--from-command-line", "Gr\u00fc\u00dfe \u65e5\u672c"]


def main():
    sample = harness.dist_dir() / "sample"
    if not (sample / "HelloApp.exe").is_file():
        raise SystemExit("run_sample: %s is missing (scripts/build_sample.sh)" % sample)
    folder = harness.temp_dir("sample-") / "HelloApp"
    shutil.copytree(sample, folder)
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
