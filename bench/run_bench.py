#!/usr/bin/env python3
"""Launch benchmark (not a test): prints figures, asserts nothing.

For each bitness (64 and 32, or the one given with --bitness):

1. Launch latency from process start to main entered, measured inside Wine by
   launch_timer.exe (QueryPerformanceCounter before CreateProcessW, until the stand-in
   runtime's log shows main): vmboot64.exe or vmboot32.exe against minimal_host.exe, a JNI
   host of our own built for the same processor that loads the same stand-in jvm.dll,
   creates the VM and calls main, nothing else. The
   application has lib\\*.jar of 200 jars and five runtimes registered in the registry, so the
   launcher does its whole search. Runs are interleaved; medians and their ratio are printed.
2. With the 64-bit build, the same comparison on the real 64-bit Java runtime
   (scripts/real_jre.sh): vmboot64.exe with the runtime as jre64\\ beside it against
   minimal_host.exe loading that runtime's jvm.dll, both running a real Java main that writes
   the line the timer waits for; interleaved, ratio of medians. Skipped, saying why, when no
   real runtime can be had.
3. Class path assembly for 2,000 and 20,000 jars in one folder, timed in process by
   class_path_bench.exe with the launcher's own assembly and listing code; the ratio shows
   whether the cost grows linearly (10x the jars should cost about 10x).
4. The module check of vmbootcheck over 100 MB of jars (copies of the jars of Debian's
   /usr/share/java), budget 2 s: timed in process by module_check_bench.exe (the check's own
   reading code, -O2 as vmbootcheck builds it; wall-clock and processor time), then end to
   end: vmbootcheck.exe on an application whose class path holds them against the same
   application with one small jar (medians of wall-clock time, Wine's process start included).

    python3 bench/run_bench.py [--runs 20] [--repetitions 7] [--bitness 64|32]

Needs dist/ (scripts/build.sh) with both launchers and both stand-in runtimes."""

import argparse
import json
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import harness  # noqa: E402
import standin  # noqa: E402

JDK_INCLUDE = Path("/usr/lib/jvm/java-17-openjdk-amd64/include")
COMPILERS = {64: "x86_64-w64-mingw32-g++", 32: "i686-w64-mingw32-g++"}
FLAGS = ["-std=c++20", "-O2", "-municode", "-static", "-DUNICODE", "-D_UNICODE", "-DNOMINMAX",
         "-I" + str(REPO), "-I" + str(REPO / "hosting" / "jni"), "-I" + str(JDK_INCLUDE)]
MAIN = "com.example.bench.Main"
VERSIONS = ("1.8.0_202", "11.0.22", "17.0.10", "21.0.2", "1.7.0_80")


def build_tools(folder, bitness, names=None):
    """Builds the benchmark's own programs (or only those of `names`) into `folder`."""
    tools = {
        "minimal_host": ["bench/minimal_host.cpp"],
        "launch_timer": ["bench/launch_timer.cpp"],
        "class_path_bench": ["bench/class_path_bench.cpp", "options/class_path.cpp",
                             "core/path_utils.cpp", "options/directory_lister_win32.cpp"],
        "module_check_bench": ["bench/module_check_bench.cpp", "check/module_check.cpp",
                               "check/class_file.cpp", "check/jar_manifest.cpp",
                               "check/jdk_modules.cpp"],
        "sharing_key_bench": ["bench/sharing_key_bench.cpp", "options/jar_key_win32.cpp",
                              "options/class_sharing.cpp", "core/path_utils.cpp",
                              "core/format.cpp"],
    }
    if names is not None:
        tools = {name: tools[name] for name in names}
    folder.mkdir(parents=True, exist_ok=True)
    for name, sources in tools.items():
        subprocess.run([COMPILERS[bitness]] + FLAGS + [str(REPO / s) for s in sources] +
                       ["-o", str(folder / (name + ".exe"))], check=True)
    return {name: folder / (name + ".exe") for name in tools}


def clear_runtimes():
    for view in (64, 32):
        for root in harness.JAVA_REGISTRY_ROOTS:
            harness.run_wine(["reg", "delete", "HKLM\\" + root, "/f", "/reg:%d" % view])


def register_runtimes(root, bitness):
    """Five stand-in runtimes registered under the Java Runtime Environment root of the
    launcher's own view (`reg add` names the view; a plain regedit import may reach the
    other one)."""
    clear_runtimes()
    for version in VERSIONS:
        home = standin.make_runtime(root / ("jre-" + version), bitness)
        key = "HKLM\\Software\\JavaSoft\\Java Runtime Environment\\" + version
        harness.run_wine(["reg", "add", key, "/v", "JavaHome", "/t", "REG_SZ",
                          "/d", harness.win_path(home), "/f", "/reg:%d" % bitness],
                         timeout=60)


def make_app(root, bitness):
    app = harness.App(bitness, name="benchapp", folder=root / "app")
    lib = app.folder / "lib"
    lib.mkdir()
    standin.write_jar(lib / "app-main.jar", {MAIN: standin.script(main=[])})
    for i in range(199):
        standin.write_jar(lib / ("library-%03d.jar" % i), {"com.example.lib%d.Part" % i: "x"})
    app.write_ini("[Java Runtime Environment]\nMain Class=%s\n[Class Path]\nClass Path=lib\\*.jar\n"
                  % MAIN)
    return app


REAL_MAIN = """package bench;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;

public final class Main {
    public static void main(String[] args) throws Exception {
        // The line launch_timer waits for, in the file it names.
        Files.write(Paths.get(System.getenv("VMBOOT_STANDIN_LOG")),
                    "{\\"event\\":\\"main\\"}\\n".getBytes(StandardCharsets.US_ASCII));
    }
}
"""


def compare(name, result, runs, hosts=(("minimal", "minimal JNI host"),)):
    """Prints the medians of launch_timer's interleaved runs and the launcher's ratio to
    each host in `hosts` (the command's name in the timer's lines, and how to print it)."""
    times = {command: [] for command in [name] + [host for host, _ in hosts]}
    for line in result.stdout.decode(errors="replace").splitlines():
        parts = line.split()
        if len(parts) == 4 and parts[0] in times and parts[2] != "failed-to-start":
            milliseconds, code = float(parts[2]), int(parts[3])
            if milliseconds >= 0 and code == 0:
                times[parts[0]].append(milliseconds)
    for command, values in times.items():
        if len(values) < runs:
            print("warning: %s reached main in %d of %d runs" % (command, len(values), runs))
    if not all(times.values()):
        print("launch to main: no complete runs to compare")
        return
    for command, label in [(name, name + ".exe")] + list(hosts):
        values = times[command]
        print("launch to main, %s: median %.1f ms over %d runs (min %.1f, max %.1f)"
              % (label, statistics.median(values), len(values), min(values), max(values)))
    launcher = statistics.median(times[name])
    for command, label in hosts:
        host = statistics.median(times[command])
        print("ratio %s / %s: %.2f (difference %.1f ms)"
              % (name, label, launcher / host, launcher - host))


def real_latency(tools, root, runs):
    """Launch to main on the real 64-bit runtime: vmboot64 against the minimal host."""
    jre, why = harness.real_jre()
    if jre is None:
        print("launch to main on the real runtime: skipped, no real Java runtime: %s" % why)
        return
    app = harness.App(64, name="benchapp", folder=root / "app")
    lib = app.folder / "lib"
    harness.compile_java({"bench/Main.java": REAL_MAIN}, root / "build",
                         jar=lib / "app-main.jar")
    for i in range(199):
        standin.write_jar(lib / ("library-%03d.jar" % i), {"com.example.lib%d.Part" % i: "x"})
    harness.link_real_jre(app.folder)
    app.write_ini("[Java Runtime Environment]\nMain Class=bench.Main\n"
                  "[Class Path]\nClass Path=lib\\*.jar\n")
    log = root / "probe.log"
    probe = app.run(env={standin.LOG_ENV: harness.win_path(log)}, timeout=120)
    if probe.code != 0 or not log.is_file():
        print("launch to main on the real runtime: the launcher did not reach main\n"
              + probe.describe())
        return
    jvm = app.folder / "jre64" / "bin" / "server" / "jvm.dll"
    print("runtime %s (jre64\\ beside the launcher); class path of %d jars"
          % (jre, len(list(lib.glob("*.jar")))))
    class_path = ";".join(harness.win_path(p) for p in sorted(lib.glob("*.jar")))
    host_line = '"%s" "%s" "%s" bench/Main' % (harness.win_path(tools["minimal_host"]),
                                               harness.win_path(jvm), class_path)
    # The minimal host finds the runtime's own DLLs through the search path, as a host that
    # sets nothing up would need.
    # The second host creates the VM on a new thread, as the launcher (and java) do: under
    # Wine that alone costs HotSpot tens of milliseconds, which are not the launcher's.
    result = harness.run_wine([tools["launch_timer"], str(runs),
                               harness.win_path(root / "timer.log"),
                               "vmboot64", '"%s"' % app.win_exe, "minimal", host_line,
                               "thread", host_line + " --thread"],
                              env={"WINEPATH": harness.win_path(jre / "bin")},
                              timeout=180 * runs, cwd=str(app.folder))
    compare("vmboot64", result, runs,
            (("minimal", "minimal JNI host"), ("thread", "minimal host, VM on a second thread")))


def latency(tools, app, root, runs, bitness):
    log = root / "probe.log"
    probe = app.run(env={standin.LOG_ENV: harness.win_path(log)})
    events = standin.read_log(log)
    if probe.code != 0 or not standin.events(events, "main"):
        raise SystemExit("the launcher did not reach main:\n" + probe.describe())
    create = standin.events(events, "create")[0]
    # Found by name: the launcher's hook options (vfprintf, exit, abort) may come first.
    class_path = next(option for option in standin.options(events)
                      if option.startswith("-Djava.class.path="))[len("-Djava.class.path="):]
    entries = class_path.rstrip(";").split(";")
    print("launcher chose %s; class path of %d jars" % (create["ql_jvm_path"], len(entries)))

    # The minimal host gets the same library and class path the launcher assembled.
    host_line = '"%s" "%s" "%s" %s' % (harness.win_path(tools["minimal_host"]),
                                       create["ql_jvm_path"], class_path,
                                       MAIN.replace(".", "/"))
    launcher_line = '"%s"' % app.win_exe
    timer_log = harness.win_path(root / "timer.log")
    name = "vmboot%d" % bitness
    result = harness.run_wine([tools["launch_timer"], str(runs), timer_log,
                               name, launcher_line, "minimal", host_line],
                              timeout=60 * runs, cwd=str(app.folder))
    compare(name, result, runs)


def class_path_cost(tools, root, repetitions):
    folder = root / "classpath"
    for count in (2000, 20000):
        lib = folder / ("lib%d" % count)
        if lib.is_dir():
            continue
        lib.mkdir(parents=True)
        for i in range(count):
            (lib / ("library-module-%05d.jar" % i)).touch()
    result = harness.run_wine([tools["class_path_bench"], harness.win_path(folder),
                               str(repetitions)], timeout=1800)
    sys.stdout.write(result.stdout.decode(errors="replace"))


MODULE_CHECK_BYTES = 100 * 1024 * 1024


def module_check_cost(tools, root, bitness, runs=5):
    sources = sorted({p.resolve() for p in Path("/usr/share/java").glob("*.jar") if p.is_file()})
    if sum(p.stat().st_size for p in sources) < 1024 * 1024:
        print("module check: skipped, /usr/share/java holds less than 1 MB of jars")
        return
    apps = {}
    for kind in ("small", "large"):
        app = harness.App(bitness, name="checked", folder=root / ("modules-" + kind))
        runtime = standin.make_runtime(app.folder / ("jre64" if bitness == 64 else "jre"), bitness)
        (runtime / "release").write_text('JAVA_VERSION="17.0.17"\nMODULES="java.base '
                                         'java.datatransfer java.xml java.prefs java.desktop '
                                         'java.logging"\n')
        lib = app.folder / "lib"
        lib.mkdir()
        total, copy = 0, 0
        while total < (MODULE_CHECK_BYTES if kind == "large" else 1):
            for source in sources:
                if kind == "large" and total >= MODULE_CHECK_BYTES:
                    break
                target = lib / ("%03d-%s" % (copy, source.name))
                shutil.copyfile(source, target)
                total += target.stat().st_size
                if kind == "small":
                    break
            copy += 1
        app.write_ini("[Java Runtime Environment]\nMain Class=%s\n[Class Path]\n"
                      "Class Path=lib\\*.jar\n" % MAIN)
        apps[kind] = (app, total, len(list(lib.iterdir())))
    for _ in range(3):
        result = harness.run_wine([tools["module_check_bench"],
                                   harness.win_path(apps["large"][0].folder / "lib")], timeout=600)
        sys.stdout.write(result.stdout.decode(errors="replace"))
    tool = harness.dist_dir() / ("vmbootcheck%d.exe" % bitness)
    times = {"small": [], "large": []}
    classes = {}
    for _ in range(runs):
        for kind, (app, _, _) in apps.items():
            start = time.perf_counter()
            result = harness.run_wine([tool, "--json", app.win_exe], timeout=600)
            times[kind].append(time.perf_counter() - start)
            report = json.loads(result.stdout.decode("utf-8"))
            classes[kind] = next(d for d in report["decisions"] if d["what"] == "classes-read")
    small, large = statistics.median(times["small"]), statistics.median(times["large"])
    _, total, jars = apps["large"]
    print("module check end to end, %d MB (%d jars, %s classes): median %.2f s; one small jar: "
          "%.2f s; difference %.2f s" % (total >> 20, jars, classes["large"]["classes"], large,
                                         small, large - small))

def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--repetitions", type=int, default=7)
    parser.add_argument("--bitness", type=int, choices=(64, 32), action="append")
    options = parser.parse_args()
    base = harness.temp_dir("bench-")
    try:
        for bitness in options.bitness or (64, 32):
            print("== %d-bit" % bitness)
            if bitness == 32 and harness.NO_WIN32:
                print("skipped: " + harness.NO_WIN32)
                continue
            root = base / str(bitness)
            tools = build_tools(root, bitness)
            try:
                register_runtimes(root / "runtimes", bitness)
                latency(tools, make_app(root, bitness), root, options.runs, bitness)
            finally:
                clear_runtimes()
            if bitness == 64:
                print("== 64-bit, real runtime")
                real_latency(tools, root / "real", options.runs)
            class_path_cost(tools, base, options.repetitions)
            module_check_cost(tools, root, bitness)
    finally:
        shutil.rmtree(base / "classpath", ignore_errors=True)


if __name__ == "__main__":
    main()
