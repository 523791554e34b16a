"""Fixtures for the stand-in Java runtime (tests/standin): runtime folders, scripted classes,
jars and the JSON-lines log the stand-in writes.

    rt = standin.make_runtime(app.folder / "jre64", 64, default_stack_size=2 << 20)
    standin.write_class(classes, "com.example.App", standin.script(main=["print-args out", "exit 3"]))
    result = app.run(env={standin.LOG_ENV: str(log)})
    events = standin.read_log(log)

Script actions (one per line under "main" or "secondaryMain"):
    print-args out|err       each argument on its own line (UTF-8, CRLF)
    println out|err TEXT     one line
    exit N                   System.exit(N): exit hook, then the process ends with N
    throw CLASS [MESSAGE]    main ends with that exception pending
    thread MS / daemon MS    start a (non-)daemon Java thread that runs MS milliseconds
    sleep MS
    wait-file PATH           stay until PATH exists
    wait-window TITLE        own a hidden window (class StandinAppWindow) titled TITLE until WM_CLOSE
    wait-quit                stay until the thread receives WM_QUIT (thread id in the log)
    close-splash             post WM_CLOSE to the "SplashScreenWindow" window
    return N                 (secondaryMain int) return N now
    return-arg               (secondaryMain int) return the first argument as a decimal number
                             (-1 when there is none or it is not one)
    mark TEXT                log {"event": "mark", "text": TEXT}
    abort                    the VM aborts (abort hook, exit code 3)
"""

import json
import os
import shutil
import zipfile
from pathlib import Path

LOG_ENV = "VMBOOT_STANDIN_LOG"
JVM_VARIANTS = ("full", "nofind", "nocreate", "nodefault")
SPLASH_VARIANTS = ("full", "noinit", "noloadfile", "nosetjar", "noclose")
VM_KINDS = ("server", "client", "classic", "hotspot", "jrockit")

_REPO = Path(__file__).resolve().parents[2]


def standin_dir(bitness):
    """Folder holding jvm/<variant>/jvm.dll and splash/<variant>/splashscreen.dll.

    VMBOOT_STANDIN_DIR (with {bits} replaced) wins; then <dist>/standin/<bits>; then the
    CMake build folder build/win<bits>/tests/standin."""
    bits = str(bitness)
    override = os.environ.get("VMBOOT_STANDIN_DIR")
    candidates = []
    if override:
        candidates.append(Path(override.replace("{bits}", bits)))
    dist = os.environ.get("VMBOOT_DIST")
    if not dist:
        try:
            import harness  # noqa: PLC0415 - optional: the shared harness knows the dist folder
            dist = str(harness.dist_dir())
        except Exception:  # harness absent or not configured
            dist = str(_REPO / "dist")
    candidates.append(Path(dist) / "standin" / bits)
    candidates.append(_REPO / "build" / f"win{bits}" / "tests" / "standin")
    for folder in candidates:
        if (folder / "jvm" / "full" / "jvm.dll").is_file():
            return folder
    raise FileNotFoundError(
        "stand-in runtime not built for %s-bit (looked in %s)" % (bits, ", ".join(map(str, candidates))))


def make_runtime(folder, bitness, vm_dirs=("server",), variant="full", splash=None,
                 default_stack_size=1048576, launcher_helper=True, launcher_helper_failure="exit",
                 create_result=0, unknown_options=(), log=None, java_dll=True,
                 create_wait_file=None, max_heap=0):
    """Assembles a runtime folder: bin\\java.dll, bin\\<kind>\\jvm.dll for each of vm_dirs,
    bin\\splashscreen.dll when splash names a variant, and bin\\standin.cfg.

    variant: "full", "nofind" (no JVM_FindClassFromBootLoader), "nocreate" (no
    JNI_CreateJavaVM), "nodefault" (no JNI_GetDefaultJavaVMInitArgs).
    splash: None or "full", "noinit", "noloadfile", "nosetjar", "noclose".
    default_stack_size: javaStackSize answered by JNI_GetDefaultJavaVMInitArgs.
    launcher_helper: whether sun/launcher/LauncherHelper exists.
    launcher_helper_failure: "exit" (current runtimes: message, then System.exit(1)) or
    "throw" (leave ClassNotFoundException pending).
    create_result: non-zero makes JNI_CreateJavaVM fail with that code (after logging).
    unknown_options: option strings the VM refuses as unrecognised.
    log: log file used when VMBOOT_STANDIN_LOG is not set in the environment.
    create_wait_file: JNI_CreateJavaVM waits until this (Windows) path exists, holding the
    launcher before main.
    max_heap: largest -Xmx in bytes the VM can reserve (0: any); a larger one ends the process
    with 1 after HotSpot's "Could not reserve enough space for ...KB object heap".
    Returns the runtime folder as a Path."""
    if variant not in JVM_VARIANTS:
        raise ValueError("unknown jvm variant %r" % variant)
    if splash is not None and splash not in SPLASH_VARIANTS:
        raise ValueError("unknown splash variant %r" % splash)
    source = standin_dir(bitness)
    root = Path(folder)
    bin_dir = root / "bin"
    bin_dir.mkdir(parents=True, exist_ok=True)
    if java_dll:
        # Any DLL of the right processor serves as the marker; the launcher never calls it.
        shutil.copyfile(source / "splash" / "full" / "splashscreen.dll", bin_dir / "java.dll")
    for kind in vm_dirs:
        (bin_dir / kind).mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source / "jvm" / variant / "jvm.dll", bin_dir / kind / "jvm.dll")
    if splash:
        shutil.copyfile(source / "splash" / splash / "splashscreen.dll", bin_dir / "splashscreen.dll")
    lines = [
        "default_stack_size=%d" % default_stack_size,
        "launcher_helper=%d" % (1 if launcher_helper else 0),
        "launcher_helper_failure=%s" % launcher_helper_failure,
        "create_result=%d" % create_result,
    ]
    lines += ["unknown_option=%s" % o for o in unknown_options]
    if max_heap:
        lines.append("max_heap=%d" % max_heap)
    if log is not None:
        lines.append("log=%s" % log)
    if create_wait_file is not None:
        lines.append("create_wait_file=%s" % create_wait_file)
    (bin_dir / "standin.cfg").write_text("\n".join(lines) + "\n", encoding="utf-8")
    return root


def script(main=(), secondary=None, secondary_form="void", secondary_result=0, has_main=True):
    """Text of a scripted class. main/secondary are lists of action lines; secondary=None
    means no secondaryMain; has_main=False leaves main out."""
    out = ["#!standin"]
    if has_main:
        out.append("main")
        out += ["    " + a for a in main]
    if secondary is not None:
        if secondary_form == "int":
            out.append("secondaryMain int %d" % secondary_result)
        else:
            out.append("secondaryMain void")
        out += ["    " + a for a in secondary]
    return "\n".join(out) + "\n"


def class_entry(name):
    """com.example.App or com/example/App -> com/example/App.class"""
    return name.replace(".", "/") + ".class"


def write_class(class_folder, name, content):
    """Writes a class (script text or real class-file bytes) into a class-path folder."""
    path = Path(class_folder) / class_entry(name)
    path.parent.mkdir(parents=True, exist_ok=True)
    if isinstance(content, str):
        content = content.encode("utf-8")
    path.write_bytes(content)
    return path


def write_jar(jar_path, classes, entries=None, main_class=None):
    """Writes a jar stored without compression (as `jar -0`): classes maps class names to
    script text or bytes; entries adds other files; main_class sets Main-Class."""
    jar_path = Path(jar_path)
    jar_path.parent.mkdir(parents=True, exist_ok=True)
    manifest = "Manifest-Version: 1.0\r\n"
    if main_class:
        manifest += "Main-Class: %s\r\n" % main_class
    with zipfile.ZipFile(jar_path, "w", compression=zipfile.ZIP_STORED) as jar:
        jar.writestr("META-INF/MANIFEST.MF", manifest + "\r\n")
        for name, content in classes.items():
            jar.writestr(class_entry(name), content.encode("utf-8") if isinstance(content, str) else content)
        for name, content in (entries or {}).items():
            jar.writestr(name, content)
    return jar_path


def read_log(path):
    """The stand-in log as a list of dicts, in the order written; [] when absent."""
    path = Path(path)
    if not path.exists():
        return []
    events = []
    for line in path.read_text(encoding="utf-8", errors="surrogateescape").splitlines():
        if line.strip():
            events.append(json.loads(line))
    return events


def events(log, event, **fields):
    """The events of kind `event` whose fields equal the given values."""
    return [e for e in log if e.get("event") == event and all(e.get(k) == v for k, v in fields.items())]


def options(log):
    """The option strings JNI_CreateJavaVM received, in order (the last creation attempt)."""
    starts = [i for i, e in enumerate(log) if e.get("event") == "create"]
    if not starts:
        return []
    return [e["option"] for e in log[starts[-1]:] if e.get("event") == "option"]
