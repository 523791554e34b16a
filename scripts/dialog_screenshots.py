#!/usr/bin/env python3
"""Captures the uncaught-exception dialog and the missing-runtime dialog in every language
of the 64-bit build, and in English from the 32-bit build, as PNG files in
build/screenshots/ for a person to look at. Not a test: it checks nothing.

Needs dist/ (scripts/build.sh). Uses its own Wine prefix (build/screenshots/wine), in which
Wine draws window frames itself so that the captions show (Xvfb has no window manager).

    python3 scripts/dialog_screenshots.py
"""

import os
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
OUT = ROOT / "build" / "screenshots"
os.environ.setdefault("VMBOOT_WINEPREFIX", str(OUT / "wine"))
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import harness  # noqa: E402

CAPTIONS = {
    "exception": {"en": "Java Exception", "de": "Java Fehler", "fr": "Exception Java",
                  "nl": "Java Exception"},
    "missing": {"en": "JRE Not Found", "de": "JRE nicht gefunden", "fr": "JRE non trouv\u00e9",
                "nl": "JRE niet gevonden"},
}


def capture(bitness, dialog, language):
    probe = harness.tool_path("dialog_probe", bitness)
    process = harness.spawn(harness.command_line(harness.win_path(probe), [dialog, language]),
                            timeout=60)
    ui = harness.UiDriver()
    try:
        ui.wait_dialog(timeout=30, title=CAPTIONS[dialog][language], pid=process)
        path = OUT / ("%s-%d-%s.png" % (dialog, bitness, language))
        ui.screenshot(path)
        print(path)
        if dialog == "missing":
            # The list of the runtimes seen, opened by the Details button.
            ui.press(id=220)
            path = OUT / ("%s-details-%d-%s.png" % (dialog, bitness, language))
            ui.screenshot(path)
            print(path)
    finally:
        ui.key("esc")
        process.wait(30)


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    env = harness.wine()
    subprocess.run(["wine", "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed",
                    "/d", "N", "/f"], env=env, capture_output=True, check=True)
    for language in ("en", "de", "fr", "nl"):
        for dialog in ("exception", "missing"):
            capture(64, dialog, language)
    for dialog in ("exception", "missing"):
        capture(32, dialog, "en")


if __name__ == "__main__":
    main()
