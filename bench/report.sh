#!/usr/bin/env bash
# One benchmark report for both builds (figures only; nothing is asserted):
#   - launch latency of each launcher against a minimal JNI host (bench/run_bench.py), on
#     the stand-in runtime and, for the 64-bit build, on the real runtime (scripts/real_jre.sh)
#   - class path assembly at 2,000 and 20,000 jars (bench/run_bench.py)
#   - registry search and selection at 10 and 1,000 registered runtimes, both builds
#   - the size of each executable and the DLLs it imports
#   - class data sharing on the real runtime (bench/sharing_bench.py): the Swing sample (until
#     its window shows) and a console program (until it exits), each started by the runtime's
#     own java.exe and by vmboot with sharing off, recording its archive, and using it
#     (interleaved medians, ratios, archive sizes)
# Needs dist/ (scripts/build.sh). Uses its own Wine prefix unless VMBOOT_WINEPREFIX is set.
# Options go to both Python benchmarks (--runs N); a first option --sharing-only runs only the
# class data sharing section.
set -uo pipefail
sharing_only=
if [[ ${1:-} == --sharing-only ]]; then
    sharing_only=1
    shift
fi
cd "$(dirname "$0")/.."
root=$(pwd)
source scripts/wine_loader.sh
if [[ -z ${VMBOOT_WINEPREFIX:-} ]]; then
    export VMBOOT_WINEPREFIX=$(mktemp -d /tmp/vmboot-bench-wine.XXXXXX)
    trap 'WINEPREFIX=$VMBOOT_WINEPREFIX wineserver -k >/dev/null 2>&1; rm -rf "$VMBOOT_WINEPREFIX"' EXIT
fi
export WINEPREFIX=$VMBOOT_WINEPREFIX WINEDEBUG=-all
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
    # Let the new prefix's start-up processes finish before anything is timed, and keep one
    # wineserver for all runs.
    wineserver -w
fi
wineserver -p60 >/dev/null 2>&1

sharing() {
    echo "== class data sharing (real runtime)"
    python3 bench/sharing_bench.py "$@"
}
if [[ -n $sharing_only ]]; then
    sharing "$@"
    exit
fi

echo "== executables"
for exe in dist/vmboot64.exe dist/vmboot32.exe; do
    size=$(stat -c %s "$exe")
    imports=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}' | sort | paste -sd' ')
    printf '%-18s %7d bytes (%d KB)  imports: %s\n' "$(basename "$exe")" "$size" $((size / 1024)) "$imports"
done

echo "== registry search and selection (microseconds per search)"
for bits in 64 32; do
    if [[ $bits == 32 && -n ${VMBOOT_NO_WIN32:-} ]]; then
        echo "vmboot32: skipped, $VMBOOT_NO_WIN32"
        continue
    fi
    tools=dist/tools; [[ $bits == 32 ]] && tools=dist/tools32
    wine "$tools/registry_bench.exe" 10 5 >/dev/null  # warm-up: the first run loads Wine's parts
    small=$(wine "$tools/registry_bench.exe" 10 200 | sed -E 's/.*microseconds_per_search=([0-9.]+).*/\1/')
    large=$(wine "$tools/registry_bench.exe" 1000 8 | sed -E 's/.*microseconds_per_search=([0-9.]+).*/\1/')
    ratio=$(python3 -c "print('%.1f' % ($large / $small))")
    printf 'vmboot%s: 10 runtimes %s us, 1000 runtimes %s us, ratio %s (linear growth: at most 100)\n' \
        "$bits" "$small" "$large" "$ratio"
done

if [[ -f bench/run_bench.py ]]; then
    echo "== launch latency and class path assembly"
    python3 bench/run_bench.py "$@"
fi
sharing "$@"
