#!/usr/bin/env bash
# Captures the exception dialog and the missing-runtime dialog in every language of the
# 64-bit build (and in English from the 32-bit build) as PNG files under
# build/screenshots/, for a person to look at. Not a test: it checks nothing.
# Needs the built dialog_probe (scripts/build.sh or the win64/win32 presets), Wine, Xvfb,
# xdotool and ImageMagick's import.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/screenshots
mkdir -p "$out"
export WINEPREFIX=${VMBOOT_WINEPREFIX:-/tmp/vmboot-screenshots-wine} WINEDEBUG=-all
if [[ ! -d $WINEPREFIX ]]; then
    wineboot -i >/dev/null 2>&1
    # Xvfb has no window manager: Wine then draws the captions and frames itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi

probe_for() {
    local bits=$1
    for candidate in "dist/tools${bits/64/}/dialog_probe.exe" "build/win$bits/tests/tools/dialogs/dialog_probe.exe"; do
        if [[ -f $candidate ]]; then
            echo "$candidate"
            return 0
        fi
    done
    return 0
}

capture() {  # probe, dialog, language, caption, output file
    local probe=$1 dialog=$2 lang=$3 caption=$4 file=$5
    wine "$probe" "$dialog" "$lang" >/dev/null 2>&1 &
    local pid=$! window=""
    for _ in $(seq 1 100); do
        window=$(xdotool search --onlyvisible --name "^${caption}\$" 2>/dev/null | head -1 || true)
        [[ -n $window ]] && break
        sleep 0.2
    done
    if [[ -z $window ]]; then
        echo "no window for $dialog $lang" >&2
        kill "$pid" 2>/dev/null || true
        return 1
    fi
    sleep 0.5
    import -window "$window" "$file"
    xdotool key --window "$window" Escape 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    echo "$file"
}

run_all() {
    declare -A exception_caption=([en]="Java Exception" [de]="Java Fehler" [fr]="Exception Java" [nl]="Java Exception")
    declare -A missing_caption=([en]="JRE Not Found" [de]="JRE nicht gefunden" [fr]="JRE non trouvé" [nl]="JRE niet gevonden")
    local probe64 probe32
    probe64=$(probe_for 64)
    probe32=$(probe_for 32)
    if [[ -n $probe64 ]]; then
        for lang in en de fr nl; do
            capture "$probe64" exception "$lang" "${exception_caption[$lang]}" "$out/exception-64-$lang.png"
            capture "$probe64" missing "$lang" "${missing_caption[$lang]}" "$out/missing-runtime-64-$lang.png"
        done
    fi
    if [[ -n $probe32 ]]; then
        capture "$probe32" exception en "Java Exception" "$out/exception-32-en.png"
        capture "$probe32" missing en "JRE Not Found" "$out/missing-runtime-32-en.png"
    fi
}

if [[ -z ${DISPLAY:-} ]]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
run_all
ls -l "$out"
wineserver -k 2>/dev/null || true
