"""Shared end-to-end harness: runs the built launcher under Wine and drives its windows.

One Wine prefix serves a whole test run. scripts/test.sh creates a fresh one and passes it in
VMBOOT_WINEPREFIX; a test module run on its own uses a prefix kept per work tree
(/tmp/vmboot-wine-<hash>), created on first use. Without DISPLAY the harness starts its own
Xvfb, so `python3 tests/e2e/test_foundation.py` works from a plain shell.

Main entry points:
    wine()                    the Wine environment of this run (prefix created once)
    dist_dir(), tool_path()   the built launchers and test tools
    App                       a launcher copy in a fresh folder; run(), run_raw(), start(),
                              check() (the dry-run report of vmbootcheck)
    UiDriver                  finds, describes, presses, closes and captures windows
    real_jre(), require_real_jre(), link_real_jre(), compile_java()
                              the real 64-bit runtime and real Java programs for it
    win_path(), reg_import(), reg_query(), clear_java_registry()
    TestCase                  unittest.TestCase with assertions that print the launcher's
                              output and the last dialog on failure
"""

import atexit
import codecs
import hashlib
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]

# Variables that steer Wine itself (the system locale, the display); they go into the Linux
# environment of the Wine process. Every other variable is set inside Windows by spawn.exe,
# exactly as given.
_UNIX_ONLY_PREFIXES = ("LC_", "WINE")
_UNIX_ONLY_NAMES = {"LANG", "LANGUAGE", "DISPLAY", "TZ"}


class HarnessError(RuntimeError):
    """The harness itself could not do what a test asked (not a launcher failure)."""


# ---------------------------------------------------------------------------------------------
# Locations


def repo_root():
    return REPO


def dist_dir():
    """Folder with vmboot64.exe, vmboot32.exe and the test tools (env VMBOOT_DIST overrides)."""
    return Path(os.environ.get("VMBOOT_DIST") or REPO / "dist")


def _use_wine_loader():
    """None when 32-bit Windows programs can run here, else why not. scripts/wine_loader.sh
    decides, once per run: natively, under qemu-i386 where the kernel lacks 32-bit (IA32)
    emulation (EMULATED_I386), or not at all, with the reason; its wrappers for wine and
    wineboot go first on PATH."""
    if "VMBOOT_NO_WIN32" not in os.environ:
        script = REPO / "scripts" / "wine_loader.sh"
        loader = subprocess.run(["bash", "-c", 'source "$1" && env -0', "wine_loader", str(script)],
                                stdin=subprocess.DEVNULL, capture_output=True, check=True)
        sys.stderr.write(loader.stderr.decode(errors="replace"))
        decided = dict(item.split("=", 1) for item in loader.stdout.decode().split("\0")
                       if "=" in item)
        for name in ("PATH", "WINELOADER", "VMBOOT_NO_WIN32", "VMBOOT_I386_EMULATED"):
            if name in decided:
                os.environ[name] = decided[name]
    return os.environ["VMBOOT_NO_WIN32"] or None


NO_WIN32 = _use_wine_loader()
EMULATED_I386 = os.environ.get("VMBOOT_I386_EMULATED") == "1"


def require_bitness(bitness):
    """Skips the calling test (or subtest) when programs of `bitness` cannot run here."""
    if bitness == 32 and NO_WIN32:
        raise unittest.SkipTest("32-bit: " + NO_WIN32)


def launcher_path(bitness=64):
    require_bitness(bitness)
    path = dist_dir() / ("vmboot%d.exe" % bitness)
    if not path.is_file():
        raise HarnessError("%s is missing: run scripts/build.sh first" % path)
    return path


def tool_path(name, bitness=64):
    """A test tool of dist/tools (64-bit) or dist/tools32 (32-bit), e.g. tool_path("spawn").

    `name` may omit ".exe"; DLLs and other files are named in full."""
    require_bitness(bitness)
    folder = dist_dir() / ("tools" if bitness == 64 else "tools32")
    for candidate in (folder / name, folder / (name + ".exe")):
        if candidate.is_file():
            return candidate
    raise HarnessError("test tool %s is missing in %s: run scripts/build.sh" % (name, folder))


def win_path(linux_path):
    """The Windows form (Z:\\...) of a Linux path."""
    return "Z:" + str(Path(linux_path).absolute()).replace("/", "\\")


def linux_path(windows_path):
    """The Linux form of a Z:\\ path (other drives are not mapped)."""
    text = str(windows_path)
    if not text[:2].upper() == "Z:":
        raise HarnessError("not a Z: path: %r" % text)
    return Path(text[2:].replace("\\", "/"))


_temp_root = None
_temp_lock = threading.Lock()


def temp_root():
    """A folder for this test process's files, removed at exit (VMBOOT_KEEP_TEMP=1 keeps it)."""
    global _temp_root
    with _temp_lock:
        if _temp_root is None:
            _temp_root = Path(tempfile.mkdtemp(prefix="vmboot-e2e-"))
            if os.environ.get("VMBOOT_KEEP_TEMP") != "1":
                atexit.register(shutil.rmtree, str(_temp_root), True)
        return _temp_root


def temp_dir(prefix="t-"):
    return Path(tempfile.mkdtemp(prefix=prefix, dir=str(temp_root())))


# ---------------------------------------------------------------------------------------------
# The real Java runtime and real Java programs

_real_jre = None


def real_jre():
    """(folder, None) for the real 64-bit Windows runtime of scripts/real_jre.sh (or the one
    VMBOOT_REAL_JRE names), else (None, why). Asked once per test process."""
    global _real_jre
    if _real_jre is None:
        completed = subprocess.run(["bash", str(REPO / "scripts" / "real_jre.sh")],
                                   stdin=subprocess.DEVNULL, capture_output=True, text=True)
        if completed.returncode == 0 and completed.stdout.strip():
            _real_jre = (Path(completed.stdout.strip().splitlines()[-1]), None)
        else:
            why = (completed.stderr.strip().splitlines() or ["real_jre.sh failed"])[-1]
            _real_jre = (None, why)
    return _real_jre


def require_real_jre(test):
    """The real runtime's folder, or skips `test` with one line saying why."""
    folder, why = real_jre()
    if folder is None:
        test.skipTest("no real Java runtime: %s" % why)
    return folder


def link_real_jre(folder, name="jre64"):
    """Makes `folder`/`name` the real runtime (a symbolic link, which Wine follows)."""
    jre = real_jre()[0]
    if jre is None:
        raise HarnessError("no real Java runtime: %s" % real_jre()[1])
    link = Path(folder) / name
    link.symlink_to(jre, target_is_directory=True)
    return link


def compile_java(sources, folder, release=8, jar=None, classpath=None, extra=()):
    """Compiles {relative path: Java source} with the host's javac into `folder`/classes and,
    with `jar` (a path), packs them into that jar. Returns the classes folder or the jar."""
    folder = Path(folder)
    source_root = folder / "src"
    classes = folder / "classes"
    classes.mkdir(parents=True, exist_ok=True)
    files = []
    for relative, text in sources.items():
        path = source_root / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text, encoding="utf-8")
        files.append(str(path))
    command = ["javac", "-encoding", "UTF-8", "-nowarn", "--release", str(release),
               "-d", str(classes)] + list(extra)
    if classpath:
        command += ["-cp", str(classpath)]
    completed = subprocess.run(command + files, capture_output=True, text=True)
    if completed.returncode != 0:
        raise HarnessError("javac failed:\n" + completed.stdout + completed.stderr)
    if jar is None:
        return classes
    jar = Path(jar)
    jar.parent.mkdir(parents=True, exist_ok=True)
    completed = subprocess.run(["jar", "--create", "--file", str(jar), "-C", str(classes), "."],
                               capture_output=True, text=True)
    if completed.returncode != 0:
        raise HarnessError("jar failed:\n" + completed.stdout + completed.stderr)
    return jar


# ---------------------------------------------------------------------------------------------
# Wine and the display

_wine_env = None
_wine_lock = threading.Lock()


def _default_prefix():
    digest = hashlib.sha1(str(REPO).encode()).hexdigest()[:10]
    return "/tmp/vmboot-wine-%s" % digest


def _start_xvfb():
    """Starts a private Xvfb and returns its DISPLAY; stopped when Python exits."""
    read_end, write_end = os.pipe()
    process = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    deadline = time.time() + 20
    while not number.endswith(b"\n") and time.time() < deadline:
        chunk = os.read(read_end, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_end)
    if not number.strip():
        process.kill()
        raise HarnessError("Xvfb did not start")

    def stop():
        process.terminate()
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()
    atexit.register(stop)
    return ":" + number.decode().strip()


def _quiet(command, env, timeout=120, check=True):
    """Runs a Wine helper with no standard handles shared with us: Wine's background
    processes inherit them and would keep our pipes open forever."""
    completed = subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, timeout=timeout)
    if check and completed.returncode != 0:
        raise HarnessError("%s failed (%d): %s" % (" ".join(map(str, command)),
                                                   completed.returncode,
                                                   completed.stdout.decode(errors="replace")))
    return completed


def create_prefix(prefix, env):
    """Creates a Wine prefix ready for the tests: no Mono/Gecko prompts, no crash dialog."""
    env = dict(env, WINEPREFIX=str(prefix), WINEDLLOVERRIDES="mscoree,mshtml=")
    _quiet(["wineboot", "-i"], env, timeout=300)
    # A crash must end the process with its exception code, not wait in a debugger dialog.
    _quiet(["wine", "reg", "add", "HKCU\\Software\\Wine\\WineDbg", "/v", "ShowCrashDialog",
            "/t", "REG_DWORD", "/d", "0", "/f"], env)
    _quiet(["wineserver", "-w"], env, timeout=120)


def wine():
    """The Wine environment of this run (a dict for subprocess): WINEPREFIX, WINEDEBUG=-all,
    DISPLAY. The prefix is created once, and a wineserver is kept running meanwhile."""
    global _wine_env
    with _wine_lock:
        if _wine_env is not None:
            return dict(_wine_env)
        env = dict(os.environ)
        env["WINEDEBUG"] = "-all"
        if not env.get("DISPLAY"):
            env["DISPLAY"] = _start_xvfb()
            os.environ["DISPLAY"] = env["DISPLAY"]
        prefix = Path(os.environ.get("VMBOOT_WINEPREFIX") or _default_prefix())
        env["WINEPREFIX"] = str(prefix)
        if (EMULATED_I386 and (prefix / "system.reg").is_file()
                and not (prefix / "drive_c/windows/syswow64/kernel32.dll").is_file()):
            # Made while 32-bit programs could not run: its 32-bit part is empty and every
            # 32-bit program would fail to start (c0000135).
            if os.environ.get("VMBOOT_WINEPREFIX"):
                raise HarnessError("the Wine prefix %s has no 32-bit part" % prefix)
            sys.stderr.write("harness: %s has no 32-bit part; made anew\n" % prefix)
            _quiet(["wineserver", "-k"], env, check=False)
            shutil.rmtree(prefix)
        if not (prefix / "system.reg").is_file():
            create_prefix(prefix, env)
        # A persistent server saves Wine's start-up between the many short runs of a test.
        subprocess.run(["wineserver", "-p30"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _wine_env = env
        return dict(env)


def reset_wine():
    """Ends every Windows process of the run's prefix (the registry and files stay) and
    returns the visible windows that were still open, so a module cannot leave dialogs or
    named objects behind for the next one."""
    env = wine()
    try:
        leftovers = UiDriver().list_windows()
    except (HarnessError, subprocess.TimeoutExpired):
        leftovers = []
    _quiet(["wineserver", "-k"], env, check=False)
    _quiet(["wineserver", "-w"], env, check=False)
    subprocess.run(["wineserver", "-p30"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return leftovers


def _unix_env(env):
    """Splits test variables into those for Wine itself and those for Windows."""
    unix, windows = {}, {}
    for name, value in (env or {}).items():
        if name in _UNIX_ONLY_NAMES or name.startswith(_UNIX_ONLY_PREFIXES):
            unix[name] = value
        else:
            windows[name] = value
    return unix, windows


def run_wine(args, env=None, timeout=120, cwd=None):
    """Runs a Windows program through `wine` with plain argv (Wine quotes it its own way);
    returns subprocess.CompletedProcess with bytes output. For exact command lines use App."""
    full_env = wine()
    full_env.update(env or {})
    return subprocess.run(["wine"] + [str(a) for a in args], env=full_env, cwd=cwd,
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)


def linux_pid_of(win_exe):
    """The Linux process that runs a Windows program, or None. Wine names the process by the
    program's Windows path; under qemu-i386 the name stays qemu's and that path is among its
    arguments."""
    wanted = str(win_exe).strip().lower()
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            words = [w.decode(errors="replace").strip().lower()
                     for w in (entry / "cmdline").read_bytes().split(b"\0")]
        except OSError:
            continue
        if words[0] == wanted or (EMULATED_I386 and words[0].endswith("/qemu-i386")
                                  and wanted in words[1:]):
            return int(entry.name)
    return None


# ---------------------------------------------------------------------------------------------
# Registry


def reg_import(text):
    """Imports .reg text with the 64-bit regedit. The 32-bit view is
    HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\...; "[-KEY]" deletes a key."""
    if not text.lstrip().startswith("Windows Registry Editor"):
        text = "Windows Registry Editor Version 5.00\n\n" + text
    path = temp_dir("reg-") / "import.reg"
    path.write_bytes(codecs.BOM_UTF16_LE + text.replace("\r\n", "\n").replace("\n", "\r\n")
                     .encode("utf-16-le"))
    # Plain `wine regedit` starts the 32-bit regedit, which writes the 32-bit view; the 64-bit
    # loader runs the 64-bit one, so the key paths mean what they say.
    loader = shutil.which("wine64") or "/usr/lib/wine/wine64"
    result = subprocess.run([loader, "regedit", "/S", win_path(path)], env=wine(),
                            stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    if result.returncode != 0:
        raise HarnessError("regedit failed: %s" % result.stderr.decode(errors="replace"))


def _parse_reg_string(text):
    out, i = [], 1  # text starts with a double quote
    while i < len(text) and text[i] != '"':
        if text[i] == "\\" and i + 1 < len(text):
            i += 1
        out.append(text[i])
        i += 1
    return "".join(out), text[i + 1:]


def reg_query(key, view=64):
    """The values of one key as a dict (name -> str for REG_SZ, int for REG_DWORD, the .reg
    text otherwise; "" names the default value), or None when the key does not exist.
    `key` may start with HKLM\\ or HKEY_LOCAL_MACHINE\\; view 32 reads the 32-bit view."""
    key = key.replace("HKLM\\", "HKEY_LOCAL_MACHINE\\", 1)
    path = temp_dir("reg-") / "export.reg"
    # reg export writes UTF-16; reg query would print in the OEM code page.
    result = run_wine(["reg", "export", key, win_path(path), "/reg:%d" % view, "/y"],
                      timeout=60)
    if result.returncode != 0 or not path.is_file():
        return None
    data = path.read_bytes()
    text = data.decode("utf-16") if data[:2] == codecs.BOM_UTF16_LE else data.decode("cp1252")
    values, inside = {}, False
    for line in text.replace("\\\r\n  ", "").splitlines():
        if line.startswith("["):
            inside = line.strip()[1:-1].lower() == key.lower()
            continue
        if not inside or "=" not in line:
            continue
        if line.startswith("@="):
            name, rest = "", line[2:]
        else:
            name, rest = _parse_reg_string(line)
            rest = rest[1:]  # the "=" after the name
        if rest.startswith('"'):
            values[name] = _parse_reg_string(rest)[0]
        elif rest.startswith("dword:"):
            values[name] = int(rest[6:], 16)
        else:
            values[name] = rest
    return values


JAVA_REGISTRY_ROOTS = ("Software\\JavaSoft", "Software\\JRockit", "Software\\IBM",
                       # where the OpenJDK vendors' installers register
                       "Software\\Eclipse Adoptium", "Software\\AdoptOpenJDK",
                       "Software\\Eclipse Foundation", "Software\\Microsoft\\JDK",
                       "Software\\Semeru", "Software\\Azul Systems", "Software\\BellSoft",
                       "Software\\SapMachine")


def clear_java_registry():
    """Removes every Java runtime registration (all providers) from both registry views."""
    lines = []
    for root in JAVA_REGISTRY_ROOTS:
        lines.append("[-HKEY_LOCAL_MACHINE\\%s]" % root)
        lines.append("[-HKEY_LOCAL_MACHINE\\%s]" % root.replace("Software\\",
                                                                "Software\\Wow6432Node\\"))
    reg_import("\n".join(lines) + "\n")


def register_ibm_runtime(bitness, folder):
    """Moves the runtime `folder` to a sibling "ibm" and registers it under IBM's own root in
    the view a `bitness` launcher reads (the root whose runtimes keep the VM thread parked);
    returns the new folder. clear_java_registry removes the key."""
    moved = Path(folder).rename(Path(folder).parent / "ibm")
    clear_java_registry()
    reg_import('[HKEY_LOCAL_MACHINE\\Software\\%sIBM\\Java2 Runtime Environment\\1.8]\n'
               '"JavaHome"="%s"\n' % ("" if bitness == 64 else "Wow6432Node\\",
                                       win_path(moved).replace("\\", "\\\\")))
    return moved


# ---------------------------------------------------------------------------------------------
# Running programs with an exact command line


def quote_argument(argument):
    """Quotes one argument for the C runtime's rules, which the launcher and java.exe split
    by: quotes around blanks, a backslash before each quote and doubled backslashes before
    a quote."""
    argument = str(argument)
    if argument and not any(c in argument for c in ' \t"'):
        return argument
    quoted, backslashes = '"', 0
    for c in argument:
        if c == "\\":
            backslashes += 1
            continue
        quoted += "\\" * (backslashes * 2 + 1) + c if c == '"' else "\\" * backslashes + c
        backslashes = 0
    return quoted + "\\" * (backslashes * 2) + '"'


def command_line(program, args=()):
    """A normal command line: the quoted program path, then the quoted arguments."""
    return " ".join(['"%s"' % program] + [quote_argument(a) for a in args])


class Result:
    """What one run left: the signed 32-bit exit code (255 from Linux would be -1 here) and
    the text the program wrote to its standard handles."""

    def __init__(self, code, stdout_bytes, stderr_bytes, timed_out=False, command_line=None):
        self.code = code
        self.stdout_bytes = stdout_bytes
        self.stderr_bytes = stderr_bytes
        self.stdout = stdout_bytes.decode("utf-8", errors="replace")
        self.stderr = stderr_bytes.decode("utf-8", errors="replace")
        self.timed_out = timed_out
        self.command_line = command_line

    def __repr__(self):
        return "Result(code=%r, timed_out=%r)" % (self.code, self.timed_out)

    def describe(self):
        return ("command line: %s\nexit code: %s%s\n--- stdout ---\n%s\n--- stderr ---\n%s"
                % (self.command_line, self.code, " (timed out)" if self.timed_out else "",
                   self.stdout.rstrip(), self.stderr.rstrip()))


def _hex(text):
    return str(text).encode("utf-8").hex()


class Process:
    """A program started with App.start() or spawn(); wait() gives its Result."""

    def __init__(self, popen, folder, command_line):
        self._popen = popen
        self._folder = folder
        self.command_line = command_line
        self._result = None
        self._killed = False

    @property
    def pid(self):
        """The Windows process id (waits up to 30 s for the start)."""
        path = self._folder / "pid.txt"
        deadline = time.time() + 30
        while time.time() < deadline:
            if path.is_file():
                text = path.read_text().strip()
                if text:
                    return int(text)
            if self._popen.poll() is not None and not path.is_file():
                raise HarnessError("the program did not start:\n%s" % self._spawn_error())
            time.sleep(0.05)
        raise HarnessError("no process id after 30 s")

    @property
    def started(self):
        """True once the Windows process was created."""
        return (self._folder / "pid.txt").is_file()

    def _spawn_error(self):
        return (self._folder / "stderr.txt").read_text(errors="replace")

    def poll(self):
        """True while the program runs."""
        return self._popen.poll() is None

    running = poll

    def wait(self, timeout=60):
        """Waits for the end and returns the Result; raises HarnessError on timeout after
        killing the program (the Result is then kept with timed_out set)."""
        if self._result is not None:
            return self._result
        try:
            self._popen.wait(timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            self._result = self._collect(timed_out=True)
            return self._result
        self._result = self._collect()
        return self._result

    def kill(self):
        """Ends the Windows program and its spawner. The spawner is given a moment to record
        the exit code the termination left before it is killed itself."""
        self._killed = True
        try:
            pid = int((self._folder / "pid.txt").read_text().strip())
            subprocess.run(["wine", str(tool_path("uidriver")), "kill", "--pid", str(pid)],
                           env=wine(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
        except (OSError, ValueError, subprocess.TimeoutExpired):
            pass
        try:
            self._popen.wait(10)
        except subprocess.TimeoutExpired:
            pass
        try:
            os.killpg(self._popen.pid, signal.SIGKILL)
        except OSError:
            pass
        self._popen.wait(30)

    def _collect(self, timed_out=False):
        stdout = (self._folder / "stdout.txt").read_bytes()
        stderr = (self._folder / "stderr.txt").read_bytes()
        status = ""
        result_path = self._folder / "result.txt"
        if result_path.is_file():
            status = result_path.read_text(errors="replace").strip()
        if status.startswith("exit "):
            code = int(status[5:])
        elif status == "timeout" or timed_out:
            code, timed_out = None, True
        elif self._killed:
            # Killed on purpose before the spawner could record an exit code.
            code = None
        else:
            raise HarnessError("spawn.exe failed (%s, wine exit status %s): %s%s\n"
                               "command line: %s"
                               % (status or "no result", self._popen.returncode,
                                  stdout.decode(errors="replace"),
                                  stderr.decode(errors="replace"), self.command_line))
        return Result(code, stdout, stderr, timed_out, self.command_line)


def _run_to_end(start, timeout):
    """Starts and waits. When Wine failed before the program even started (no process id
    was ever written), the start is repeated once, with a note on stderr: the program has
    not run, so nothing of the test is repeated twice."""
    for attempt in (1, 2):
        process = start()
        try:
            return process.wait(timeout + 60)
        except HarnessError as error:
            if attempt == 2 or process.started:
                raise
            sys.stderr.write("harness: Wine did not start the program, retrying: %s\n" % error)
    raise AssertionError("unreachable")


def spawn(command_line, env=None, cwd=None, timeout=None, application=None, limited=False):
    """Starts a Windows program with exactly `command_line` (through spawn.exe) and returns a
    Process. `env` adds variables (value None removes one); LC_*, LANG and WINE* go to Wine.
    `cwd` is a Linux or Windows path; `timeout` in seconds ends the program when exceeded.
    `limited` starts it with a standard user's (not elevated) token; Wine's is elevated."""
    folder = temp_dir("run-")
    (folder / "cmdline.txt").write_bytes(command_line.encode("utf-8"))
    args = ["wine", str(tool_path("spawn")),
            "--cmdline-file", _hex(win_path(folder / "cmdline.txt")),
            "--result", _hex(win_path(folder / "result.txt")),
            "--pid", _hex(win_path(folder / "pid.txt"))]
    unix, windows = _unix_env(env)
    for name, value in windows.items():
        args += ["--env", _hex(name if value is None else "%s=%s" % (name, value))]
    if cwd is not None:
        cwd = str(cwd)
        args += ["--cwd", _hex(cwd if cwd[1:2] == ":" else win_path(cwd))]
    if application is not None:
        args += ["--app", _hex(application)]
    if timeout is not None:
        args += ["--timeout", str(int(timeout * 1000))]
    if limited:
        args.append("--limited")
    full_env = wine()
    full_env.update({k: v for k, v in unix.items() if v is not None})
    # Returns once the program exists. A spawner that ended without a word (no process id,
    # no result) never ran: Wine failed to start it, so it is started once more.
    for attempt in range(2):
        with open(folder / "stdout.txt", "wb") as out, open(folder / "stderr.txt", "wb") as err:
            # Output goes to files: Wine's background processes would hold pipes open.
            popen = subprocess.Popen(args, env=full_env, cwd=str(folder),
                                     stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                     start_new_session=True)
        deadline = time.time() + 60
        while (time.time() < deadline and popen.poll() is None
               and not (folder / "pid.txt").is_file()):
            time.sleep(0.02)
        ended_without_pid = popen.poll() is not None and not (folder / "pid.txt").is_file()
        # Wine at times fails a process creation with ERROR_INTERNAL_ERROR before the
        # program exists; the program has not run, so starting it again repeats nothing.
        never_ran = ended_without_pid and (
            not (folder / "result.txt").is_file()
            or b"error 1359 CreateProcessW failed" in (folder / "stderr.txt").read_bytes())
        if not never_ran:
            break
        sys.stderr.write("harness: Wine did not start spawn.exe (exit %s): %s; once more\n"
                         % (popen.returncode, (folder / "stderr.txt").read_text(errors="replace")))
    return Process(popen, folder, command_line)


# ---------------------------------------------------------------------------------------------
# The launcher under test


class App:
    """A copy of the launcher (vmboot64.exe or vmboot32.exe) named `name`.exe in a fresh
    folder (or in `folder`, created when missing)."""

    def __init__(self, bitness=64, name="app", folder=None):
        self.bitness = bitness
        self.name = name
        self.folder = Path(folder) if folder is not None else temp_dir("app-")
        self.folder.mkdir(parents=True, exist_ok=True)
        self.exe = self.folder / (name + ".exe")
        shutil.copyfile(launcher_path(bitness), self.exe)
        self.ini = self.folder / (name + ".ini")
        self.last_result = None

    @property
    def win_exe(self):
        return win_path(self.exe)

    @property
    def win_folder(self):
        return win_path(self.folder)

    def write_ini(self, text, encoding="cp1252", name=None):
        """Writes `name` (default <app>.ini) beside the executable with Windows line ends.
        `encoding` "utf-16" writes a byte-order mark; bytes are written as they are."""
        path = self.folder / (name or self.ini.name)
        if isinstance(text, bytes):
            path.write_bytes(text)
        else:
            path.write_bytes(text.replace("\r\n", "\n").replace("\n", "\r\n").encode(encoding))
        return path

    def command_line(self, args=()):
        return command_line(self.win_exe, args)

    def start(self, args=(), env=None, cwd=None, timeout=None, limited=False):
        """Starts the launcher with a normal quoted command line; see spawn()."""
        return spawn(self.command_line(args), env=env, cwd=self._cwd(cwd), timeout=timeout,
                     limited=limited)

    def start_raw(self, command_line, env=None, cwd=None, timeout=None, application=True):
        """Starts the launcher with `command_line` passed verbatim (include the program).

        The launcher is named to CreateProcessW as the application (application=True), so
        Wine does not rewrite an unquoted program path with spaces; pass a path to start
        another program, or None to let the system search the command line's first item."""
        if application is True:
            application = self.win_exe
        return spawn(command_line, env=env, cwd=self._cwd(cwd), timeout=timeout,
                     application=application)

    def run(self, args=(), env=None, timeout=60, cwd=None):
        """Runs the launcher to its end and returns Result(code, stdout, stderr). A launcher
        still running after `timeout` seconds is killed (Result.timed_out, code None)."""
        self.last_result = _run_to_end(lambda: self.start(args, env=env, cwd=cwd,
                                                          timeout=timeout), timeout)
        return self.last_result

    def run_raw(self, command_line, env=None, timeout=60, cwd=None):
        """Like run() with a verbatim command line: unquoted paths with spaces, "" items,
        unbalanced quotes, any Unicode text."""
        self.last_result = _run_to_end(lambda: self.start_raw(command_line, env=env, cwd=cwd,
                                                              timeout=timeout), timeout)
        return self.last_result

    def check(self, args=(), env=None, cwd=None, timeout=60):
        """Runs vmbootcheck<bitness>.exe --json on this launcher (a dry run of the launcher's
        own configuration, discovery and option code) and returns its report as a dict."""
        checker = dist_dir() / ("vmbootcheck%d.exe" % self.bitness)
        if not checker.is_file():
            raise HarnessError("%s is missing: run scripts/build.sh" % checker)
        line = command_line(win_path(checker), ["--json", self.win_exe] + list(args))
        result = spawn(line, env=env, cwd=self._cwd(cwd), timeout=timeout,
                       application=win_path(checker)).wait(timeout + 60)
        try:
            return json.loads(result.stdout)
        except json.JSONDecodeError:
            raise HarnessError("vmbootcheck printed no JSON\n" + result.describe()) from None

    def _cwd(self, cwd):
        # Started from Explorer, a program's current directory is its own folder.
        return self.folder if cwd is None else cwd


# ---------------------------------------------------------------------------------------------
# Windows of the programs under test


class UiTimeout(AssertionError):
    """No matching window appeared in time; carries the visible windows at that moment."""

    def __init__(self, message, windows):
        super().__init__(message)
        self.windows = windows


class ProcessEnded(AssertionError):
    """The watched process ended before a matching window appeared."""

    def __init__(self, message, exit_code):
        super().__init__(message)
        self.exit_code = exit_code


def _describe_dialog(data):
    controls = data.get("controls", [])
    data["texts"] = [c["text"] for c in controls if c["text"]]
    data["buttons"] = [c["text"].replace("&", "") for c in controls
                       if c["class"].lower() == "button" and c["text"]]
    data["message"] = "\n".join(c["text"] for c in controls
                                if c["class"].lower() == "static" and c["text"])
    owner = data.get("owner") or {}
    data["owner_class"] = owner.get("class")
    data["owner_title"] = owner.get("caption")
    return data


class UiDriver:
    """Wraps uidriver.exe (64-bit; window handles are global, so it drives both builds).

    wait_dialog() returns a dict: hwnd, caption, class, pid, style, exstyle, class_style,
    rect {left, top, right, bottom, width, height}, owner {hwnd, class, caption, pid} or None, controls [{class, id, text,
    hwnd, visible, enabled, style, rect}], icon ("error", "warning", "information",
    "question", "unknown" or None), and for convenience texts, buttons, message (the static
    texts), owner_class, owner_title. Later calls act on the last dialog unless given hwnd."""

    def __init__(self):
        self.exe = tool_path("uidriver")
        self.current = None
        self.history = []

    def _call(self, *args, timeout=60):
        # The driver always prints a line; none at all means Wine did not start it, which
        # is no verdict on the program under test: one more try, then the harness fails.
        for attempt in range(2):
            result = self._run(args, timeout)
            if result.stdout.strip() or result.returncode == 0:
                break
            sys.stderr.write("harness: uidriver %s printed nothing (exit %d): %s\n" % (
                args[0], result.returncode, result.stderr.decode(errors="replace")))
        text = result.stdout.decode("utf-8", errors="replace").strip()
        if not text and result.returncode != 0:
            raise HarnessError("uidriver %s printed nothing and ended with %d: %s" % (
                args[0], result.returncode, result.stderr.decode(errors="replace")))
        try:
            data = json.loads(text.splitlines()[-1]) if text else {}
        except json.JSONDecodeError:
            raise HarnessError("uidriver printed no JSON (%d): %s %s" % (
                result.returncode, text, result.stderr.decode(errors="replace")))
        return result.returncode, data

    def _run(self, args, timeout):
        # Output goes to a file: a Wine helper started meanwhile (the desktop process, while
        # a real VM runs) would hold a pipe open until the program under test ends.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run(["wine", str(self.exe)] + [str(a) for a in args],
                                    env=wine(), stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=err, timeout=timeout + 30)
            out.seek(0)
            err.seek(0)
            result.stdout, result.stderr = out.read(), err.read()
        return result

    def _hwnd(self, hwnd):
        hwnd = hwnd if hwnd is not None else (self.current or {}).get("hwnd")
        if hwnd is None:
            raise HarnessError("no window: call wait_dialog() first or pass hwnd")
        return hwnd

    def wait_dialog(self, timeout=30, title=None, pid=None, window_class="#32770",
                    any_class=False):
        """Waits for a visible top-level window (a dialog, class "#32770", unless
        window_class/any_class say otherwise), optionally with exactly this title or of this
        Windows process id (an int, or a Process). Raises UiTimeout, or ProcessEnded when
        the process ends first."""
        if isinstance(pid, Process):
            pid = pid.pid
        args = ["wait", "--timeout", int(timeout * 1000)]
        if title is not None:
            args += ["--title", _hex(title)]
        if any_class:
            args.append("--any-class")
        elif window_class != "#32770":
            args += ["--class", _hex(window_class)]
        if pid is not None:
            args += ["--pid", pid]
        code, data = self._call(*args, timeout=timeout)
        if code == 1:
            raise UiTimeout("no window%s%s appeared within %s s; visible windows:\n%s"
                            % (" titled %r" % title if title is not None else "",
                               " of process %s" % pid if pid is not None else "", timeout,
                               json.dumps(data.get("windows"), indent=1, ensure_ascii=False)),
                            data.get("windows"))
        if code == 2:
            raise ProcessEnded("process %s ended with %s before showing a window"
                               % (pid, data.get("exit_code")), data.get("exit_code"))
        if code != 0:
            raise HarnessError("uidriver wait failed: %s" % data)
        self.current = _describe_dialog(data)
        self.history.append(self.current)
        return self.current

    def info(self, hwnd=None):
        code, data = self._call("info", "--hwnd", self._hwnd(hwnd))
        if code != 0:
            raise HarnessError("uidriver info failed: %s" % data)
        return _describe_dialog(data)

    def foreground(self):
        """The foreground window (as list_windows describes one), or None."""
        data = self._act("foreground")
        return data if data.get("hwnd") else None

    def hold_mutex(self, name, ms):
        """Holds the named mutex (owned by the user, as the launcher makes its own) for `ms`
        milliseconds from another process; returns once it is held. The returned Popen ends
        when the hold does."""
        out = tempfile.TemporaryFile()
        holder = subprocess.Popen(["wine", str(self.exe), "hold-mutex", "--name", _hex(name),
                                   "--ms", str(ms)], env=wine(), stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=subprocess.DEVNULL)
        deadline = time.time() + 60
        with out:
            while time.time() < deadline:
                out.seek(0)
                text = out.read().decode(errors="replace")
                if "held" in text:
                    return holder
                if "error" in text or holder.poll() is not None:
                    break
                time.sleep(0.1)
        holder.kill()
        holder.wait(30)
        raise HarnessError("uidriver hold-mutex did not take %r: %s" % (name, text))

    def list_windows(self, pid=None):
        args = ["list"] + (["--pid", pid] if pid is not None else [])
        return self._call(*args)[1]

    def _act(self, *args):
        code, data = self._call(*args)
        if code != 0:
            raise HarnessError("uidriver %s failed: %s" % (args[0], data))
        return data

    def press(self, button_text=None, id=None, hwnd=None):
        """Clicks (BM_CLICK) the button with this text ("&" ignored) or control id."""
        args = ["press", "--hwnd", self._hwnd(hwnd)]
        if button_text is not None:
            args += ["--text", _hex(button_text)]
        elif id is not None:
            args += ["--id", id]
        else:
            raise HarnessError("press() needs button_text or id")
        return self._act(*args)

    def key(self, name, hwnd=None):
        """Sends "enter", "esc", "space" or "tab" to the focused control of the window."""
        return self._act("key", "--hwnd", self._hwnd(hwnd), "--key", name)

    def close(self, hwnd=None):
        """Posts WM_CLOSE."""
        return self._act("close", "--hwnd", self._hwnd(hwnd))

    def resize(self, width, height, hwnd=None):
        return self._act("resize", "--hwnd", self._hwnd(hwnd), "--width", width,
                         "--height", height)

    def move(self, x, y, hwnd=None):
        return self._act("move", "--hwnd", self._hwnd(hwnd), "--x", x, "--y", y)

    def wait_gone(self, hwnd=None, timeout=30):
        """Waits until the window is destroyed or hidden; False on timeout."""
        code, _ = self._call("wait-gone", "--hwnd", self._hwnd(hwnd),
                             "--timeout", int(timeout * 1000), timeout=timeout)
        return code == 0

    def kill(self, pid):
        return self._act("kill", "--pid", pid.pid if isinstance(pid, Process) else pid)

    def screenshot(self, path, hwnd=None, whole_screen=False):
        """Captures the X display (what a user sees) to PNG/BMP/... by extension, cropped to
        the window (the last dialog by default) unless whole_screen."""
        path = Path(path)
        env = wine()
        command = ["import", "-window", "root"]
        if not whole_screen:
            rect = self.info(self._hwnd(hwnd))["rect"]
            command += ["-crop", "%dx%d+%d+%d" % (rect["width"], rect["height"],
                                                 max(rect["left"], 0), max(rect["top"], 0)),
                        "+repage"]
        subprocess.run(command + [str(path)], env=env, check=True, stdin=subprocess.DEVNULL,
                       capture_output=True, timeout=60)
        return path


# ---------------------------------------------------------------------------------------------
# Test case support


class TestCase(unittest.TestCase):
    """Adds assertions whose failure message shows the launcher's output and the dialog."""

    maxDiff = None

    def context(self, result=None, dialog=None):
        parts = []
        if result is not None:
            parts.append(result.describe())
        if dialog is not None:
            parts.append("--- dialog ---\n" + json.dumps(dialog, indent=1, ensure_ascii=False))
        return "\n".join(parts)

    def assertExitCode(self, result, expected, dialog=None):
        self.assertFalse(result.timed_out, "launcher timed out\n" + self.context(result, dialog))
        self.assertEqual(result.code, expected, self.context(result, dialog))

    def assertDialog(self, dialog, message=None, icon=None, buttons=None, caption=None,
                     result=None):
        """Checks the text of a dialog's static controls, its icon, buttons and caption."""
        info = self.context(result, dialog)
        if message is not None:
            self.assertEqual(dialog["message"], message, info)
        if icon is not None:
            self.assertEqual(dialog["icon"], icon, info)
        if buttons is not None:
            self.assertEqual(dialog["buttons"], list(buttons), info)
        if caption is not None:
            self.assertEqual(dialog["caption"], caption, info)

    def run_with_dialog(self, app_or_process, args=(), env=None, press="OK", timeout=60,
                        raw=None, cwd=None):
        """Starts the launcher, waits for its dialog (of that process), presses `press`
        (None leaves it open for the caller: the process is then returned instead of the
        result) and returns (result, dialog). A launcher that ends without a dialog fails
        the test with its output."""
        if isinstance(app_or_process, Process):
            process = app_or_process
        elif raw is not None:
            process = app_or_process.start_raw(raw, env=env, cwd=cwd, timeout=timeout)
        else:
            process = app_or_process.start(args, env=env, cwd=cwd, timeout=timeout)
        ui = UiDriver()
        problem = None
        try:
            dialog = ui.wait_dialog(timeout=timeout, pid=process)
        except ProcessEnded:
            problem = "the launcher ended without showing a dialog"
        except UiTimeout as error:
            problem = str(error)
            process.kill()
        if problem is not None:
            # Failing outside the except clause keeps the report to the point.
            self.fail(problem + "\n" + self.context(process.wait(timeout)))
        if press is None:
            return process, dialog
        try:
            ui.press(press)
        except HarnessError as error:
            # Say what happened to the window: gone with its process, or replaced.
            now = ui.list_windows(pid=dialog["pid"]) if process.running() else "(process ended)"
            self.fail("pressing %r failed: %s\nwindows of the process now: %s\n%s"
                      % (press, error, json.dumps(now, ensure_ascii=False),
                         self.context(process.wait(timeout), dialog)))
        result = process.wait(timeout)
        return result, dialog


def main():
    """`python3 tests/e2e/test_x.py` runs that module's tests verbosely."""
    unittest.main(verbosity=2)
