#!/usr/bin/env python3
"""Class data sharing benchmark (not a test): prints figures, asserts nothing.

On the real 64-bit Java runtime (scripts/real_jre.sh), for two programs:

- the sample (dist/sample: a Swing program started with --window, which prints its report
  and shows a dialog), timed from process start until its window is visible; the timer then
  closes the window and the program exits normally;
- a console program of our own (dates, collections, streams, String.format and regular
  expressions), run by vmbootc64.exe and timed until it exits;

each with five commands, interleaved round by round (launch_timer.exe inside Wine):

  (a) java     the runtime's own bin\\java.exe with the options, class path, main class and
               arguments vmbootcheck reports for the application;
  (b) off      vmboot with "Class Data Sharing=No";
  (c) record   vmboot's first start: its application archives are deleted before it, so
               that it records one at its exit;
  (d) shared   vmboot with the archive (c) recorded;
  (e) javacds  java.exe as (a), on a copy of the runtime with its default archive
               (bin\\server\\classes.jsa, as full JDKs and JREs ship it): the fair baseline.

A third program, the console one with 2,000 small jars more on its class path, runs (b) and
(d) only: keying the archive on every jar's content must not make the mapping start slower
than one with sharing off, and sharing_key_bench.exe times that key alone (2,000 central
directories read from the ends of the files) against the mapping start.

(b) runs from its own copy of the application folder, (c) and (d) from another (the
application archive belongs to the executable's path). Before the rounds, one start makes the
base archive (made in the background; waited for up to 180 s) and one more the application
archive; the archives of %LOCALAPPDATA%\\vmboot\\Class Data are listed with their sizes. A
launcher that keeps no archives runs all the same, and the report says "no archive". The
sample's splash screen is left out of its copies: java.exe shows none, and the timer waits
for the program's own window.

    python3 bench/sharing_bench.py [--runs 15]

Needs dist/ (scripts/build.sh) and the real runtime; skipped, saying why, without one."""

import argparse
import re
import shutil
import statistics
import subprocess
import sys
import time
import zipfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import harness  # noqa: E402
import run_bench  # noqa: E402

COMMANDS = (("java", "(a) java.exe"), ("off", "(b) vmboot, sharing off"),
            ("record", "(c) vmboot, first start"), ("shared", "(d) vmboot, archive"),
            ("javacds", "(e) java.exe, default archive"))
MANY_JARS = 2000
BASE_WAIT = 180
# Options of the launcher's own sharing, which the runtime's java.exe must not get.
SHARING_OPTIONS = ("-XX:SharedArchiveFile", "-XX:ArchiveClassesAtExit", "-Xshare")

CONSOLE_MAIN = """package bench;

import java.time.DayOfWeek;
import java.time.Duration;
import java.time.LocalDate;
import java.time.format.DateTimeFormatter;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.TreeMap;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Collectors;

/** The start-up work of a small tool: dates, collections, streams, formatting, patterns. */
public final class Console {
    public static void main(String[] args) {
        DateTimeFormatter format = DateTimeFormatter.ofPattern("EEEE d MMMM uuuu", Locale.ENGLISH);
        Pattern pattern = Pattern.compile("(\\\\w+) (\\\\d+) (\\\\w+) (\\\\d{4})");
        Map<DayOfWeek, List<String>> byDay = new TreeMap<>();
        Map<String, Integer> months = new HashMap<>();
        LocalDate first = LocalDate.of(2024, 1, 1);
        int matched = 0;
        for (int i = 0; i < 500; i++) {
            String text = first.plusDays(i).format(format);
            Matcher matcher = pattern.matcher(text);
            if (matcher.matches()) {
                matched++;
                months.merge(matcher.group(3), 1, Integer::sum);
            }
            byDay.computeIfAbsent(first.plusDays(i).getDayOfWeek(), day -> new ArrayList<>())
                    .add(text);
        }
        String days = byDay.entrySet().stream()
                .map(entry -> String.format("%s=%d", entry.getKey(), entry.getValue().size()))
                .collect(Collectors.joining(", "));
        Duration span = Duration.ofDays(499).plusHours(7);
        System.out.println(String.format("%d of 500 dates matched, %d months; %s; %s",
                matched, months.size(), days, span));
    }
}
"""


def local_app_data():
    """The Linux folder of %LOCALAPPDATA% in the run's prefix."""
    completed = harness.run_wine(["cmd", "/c", "echo", "%LOCALAPPDATA%"], timeout=120)
    text = completed.stdout.decode(errors="replace").strip()
    if text[1:3] != ":\\":
        raise harness.HarnessError("no %%LOCALAPPDATA%% under Wine: %r" % text)
    drive = Path(harness.wine()["WINEPREFIX"]) / "dosdevices" / (text[0].lower() + ":")
    return drive.resolve() / text[3:].replace("\\", "/")


class Archives:
    """The per-user folder of class data sharing archives."""

    def __init__(self):
        self.folder = local_app_data() / "vmboot" / "Class Data"
        # The program benched now: its archives are named after its executable.
        self.program = "*"

    def base(self):
        return sorted(self.folder.glob("base.*.jsa"))

    def application(self):
        return sorted(self.folder.glob("app.%s-*.jsa" % self.program))

    def delete_application(self):
        for archive in self.application():
            archive.unlink()

    def describe(self, archives):
        if not archives:
            return "no archive"
        return ", ".join("%s (%s)" % (a.name, size_text(a)) for a in archives)


def size_text(path):
    try:
        return "%.1f MB" % (path.stat().st_size / 1e6)
    except OSError:
        return "gone"


def run_timer(timer, until, commands, folder):
    """Runs each (name, command line) once through launch_timer.exe; returns {name: (ms,
    exit code)}. The timer's output goes to a file: a process the launcher leaves running in
    the background must not hold our pipe open."""
    output = folder / "timer.txt"
    args = ["wine", str(timer), "--until=" + until, "1"]
    for name, line in commands:
        args += [name, line]
    with open(output, "wb") as out:
        subprocess.run(args, env=harness.wine(), cwd=str(folder), stdin=subprocess.DEVNULL,
                       stdout=out, stderr=subprocess.DEVNULL, timeout=600)
    times = {}
    for line in output.read_text(errors="replace").splitlines():
        parts = line.split()
        if len(parts) == 4 and parts[2] != "failed-to-start":
            times[parts[0]] = (float(parts[2]), int(parts[3]))
        elif len(parts) == 4:
            times[parts[0]] = (-1.0, -1)
    return times


class Program:
    """One program of the benchmark: its two application folders and four commands."""

    def __init__(self, root, name, until, launcher, files, ini, target=None, commands=None):
        self.name = name
        self.until = until
        # The largest ratio of (d) to (a) the launcher aims at, if any.
        self.target = target
        self.commands = commands or [name for name, _ in COMMANDS]
        self.folder = root / name
        self.apps = {}
        for copy in ("off", "on"):
            app = harness.App(64, name=name, folder=self.folder / copy)
            shutil.copyfile(launcher, app.exe)
            for relative, source in files.items():
                path = app.folder / relative
                path.parent.mkdir(parents=True, exist_ok=True)
                shutil.copyfile(source, path)
            harness.link_real_jre(app.folder)
            text = ini
            if copy == "off":
                text = text.replace("[Java Runtime Environment]\n",
                                    "[Java Runtime Environment]\nClass Data Sharing=No\n", 1)
            app.write_ini(text)
            self.apps[copy] = app
        self.lines = {"java": self.java_line(), "off": '"%s"' % self.apps["off"].win_exe,
                      "record": '"%s"' % self.apps["on"].win_exe}
        self.lines["shared"] = self.lines["record"]
        self.lines["javacds"] = self.java_line(shipped_jre(root))

    def java_line(self, runtime=None):
        """The runtime's own java.exe with what the launcher would pass the VM."""
        report = self.apps["off"].check()
        options = []
        for option in report["vmOptions"]:
            if option.startswith("-Djava.class.path="):
                options += ["-cp", option[len("-Djava.class.path="):]]
            elif (option.startswith("-") and not option.startswith("-Dsun.java.command=")
                  and not option.startswith(SHARING_OPTIONS)):
                options.append(option)
        java = harness.win_path((runtime or harness.real_jre()[0]) / "bin" / "java.exe")
        return harness.command_line(java, options + [report["mainClass"].replace("/", ".")]
                                    + report["arguments"])

    def start(self, timer, name):
        times = run_timer(timer, self.until, [(name, self.lines[name])], self.folder)
        return times.get(name, (-1.0, -1))


_shipped = None


def shipped_jre(root):
    """A copy of the real runtime with its default archive, made once."""
    global _shipped
    if _shipped is None:
        copy = root / "shipped-jre"
        shutil.copytree(harness.real_jre()[0], copy, symlinks=False)
        harness.run_wine([copy / "bin" / "java.exe", "-Xshare:dump", "-Xlog:cds=off"], timeout=300)
        _shipped = copy
    return _shipped


def prepare(program, timer, archives):
    """Starts the program until the base and its application archive exist (or plainly
    cannot), printing what appeared."""
    print("archives before: base %s; application %s"
          % (archives.describe(archives.base()), archives.describe(archives.application())))
    program.start(timer, "record")
    if not archives.base():
        began = time.time()
        while not archives.base() and time.time() - began < BASE_WAIT:
            if time.time() - began > 30 and not archives.folder.is_dir():
                break
            time.sleep(1)
        print("base archive after %.0f s: %s"
              % (time.time() - began, archives.describe(archives.base())))
    program.start(timer, "record")
    print("after one more start: application %s" % archives.describe(archives.application()))


def bench(program, timer, archives, runs):
    print("== %s (time until %s)" % (program.name, program.until.split(":")[0]))
    line = program.lines["java"]
    # 2,000 jars make a line of 180,000 characters: its start and end say enough.
    print("java command: %s" % (line if len(line) < 600 else line[:300] + " ... " + line[-200:]))
    archives.program = program.name
    prepare(program, timer, archives)
    commands = [(name, label) for name, label in COMMANDS if name in program.commands]
    times = {name: [] for name, _ in commands}
    failures = {name: [] for name, _ in commands}
    recorded = 0
    # One round more than counted: the first one warms the disk cache for every command.
    for round in range(runs + 1):
        for name, _ in commands:
            if name == "record":
                archives.delete_application()
            milliseconds, code = program.start(timer, name)
            if round == 0:
                continue
            if name == "record" and archives.application():
                recorded += 1
            if milliseconds >= 0 and code == 0:
                times[name].append(milliseconds)
            else:
                failures[name].append("%.0f ms, exit %d" % (milliseconds, code))
    for name, label in commands:
        values = times[name]
        if failures[name]:
            print("warning: %s failed %d of %d times (%s)"
                  % (label, len(failures[name]), runs, "; ".join(failures[name][:3])))
        if values:
            print("%-26s median %7.1f ms over %2d runs (min %.1f, max %.1f)"
                  % (label + ":", statistics.median(values), len(values), min(values),
                     max(values)))
    if "record" in program.commands:
        print("(c) recorded an application archive in %d of %d rounds" % (recorded, runs))
    medians = {name: statistics.median(values) for name, values in times.items() if values}
    for top, bottom, target in (("shared", "java", program.target), ("shared", "javacds", 0.80),
                                ("record", "off", 1.10), ("shared", "off", 1.0)):
        if top in medians and bottom in medians:
            print("ratio %s / %s: %.2f%s"
                  % (top, bottom, medians[top] / medians[bottom],
                     " (target at most %.2f)" % target if target else ""))
    print("archives: base %s; application %s"
          % (archives.describe(archives.base()), archives.describe(archives.application())))
    return medians


def swing_program(root):
    sample = harness.dist_dir() / "sample"
    if not (sample / "HelloApp.ini").is_file():
        raise SystemExit("sharing_bench: %s is missing (scripts/build_sample.sh)" % sample)
    # The sample's own settings but its splash (see above).
    ini = "".join(line for line in (sample / "HelloApp.ini").read_text(encoding="cp1252")
                  .replace("\r\n", "\n").splitlines(keepends=True)
                  if not line.startswith("Splash Screen="))
    files = {"lib/" + jar.name: jar for jar in (sample / "lib").glob("*.jar")}
    return Program(root, "HelloApp", "window:vmboot sample", harness.launcher_path(64), files,
                   ini, target=0.60)


def console_program(root):
    jar = harness.compile_java({"bench/Console.java": CONSOLE_MAIN}, root / "console-build",
                               jar=root / "console-build" / "console-bench.jar")
    ini = ("[Java Runtime Environment]\nMain Class=bench.Console\n"
           "[Class Path]\nClass Path=lib\\*.jar\n")
    return Program(root, "ConsoleBench", "exit", harness.dist_dir() / "vmbootc64.exe",
                   {"lib/console-bench.jar": jar}, ini, target=0.50)


def many_jars_program(root):
    """The console program with MANY_JARS small jars more, each of one resource."""
    jar = root / "console-build" / "console-bench.jar"
    if not jar.is_file():
        harness.compile_java({"bench/Console.java": CONSOLE_MAIN}, root / "console-build", jar=jar)
    jars = root / "many-jars"
    jars.mkdir()
    for i in range(MANY_JARS):
        with zipfile.ZipFile(jars / ("dep%04d.jar" % i), "w") as archive:
            archive.writestr("dep%04d/r.txt" % i, "resource %d" % i)
    ini = ("[Java Runtime Environment]\nMain Class=bench.Console\n"
           "[Class Path]\nClass Path=lib\\*.jar\n")
    files = {"lib/console-bench.jar": jar}
    files.update({"lib/" + dep.name: dep for dep in jars.glob("*.jar")})
    return Program(root, "ManyJars", "exit", harness.dist_dir() / "vmbootc64.exe", files, ini,
                   commands=["off", "shared"])


def key_cost(root, program, medians):
    """The key's own cost on the many-jars program's class path, against its mapping start."""
    tool = run_bench.build_tools(root / "tools", 64, ["sharing_key_bench"])["sharing_key_bench"]
    result = harness.run_wine([tool, harness.win_path(program.apps["on"].folder / "lib"), "5"],
                              timeout=600)
    line = result.stdout.decode(errors="replace").strip()
    print(line)
    match = re.search(r"content costs (-?[0-9.]+) ms", line)
    if match and "shared" in medians:
        print("key's content cost / (d) mapping start with %d jars: %.1f %% (target at most 5 %%)"
              % (MANY_JARS, 100 * float(match.group(1)) / medians["shared"]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=15)
    # report.sh passes every option to both benchmarks.
    options, _ = parser.parse_known_args()
    jre, why = harness.real_jre()
    if jre is None:
        print("class data sharing: skipped, no real Java runtime: %s" % why)
        return
    root = harness.temp_dir("sharing-")
    timer = run_bench.build_tools(root / "tools", 64, ["launch_timer"])["launch_timer"]
    archives = Archives()
    print("runtime %s; archives in %s; %d rounds" % (jre, archives.folder, options.runs))
    for make in (swing_program, console_program):
        bench(make(root), timer, archives, options.runs)
    program = many_jars_program(root)
    key_cost(root, program, bench(program, timer, archives, options.runs))


if __name__ == "__main__":
    main()
