#!/usr/bin/env bash
# Runs every layer of vmboot's tests and prints one closing line, "N passed, N failed" (with
# ", N skipped" added when tests were skipped):
#   native  portable logic built for Linux with AddressSanitizer and UBSan (ctest)
#   win64   64-bit Windows unit and Win32-layer tests under Wine (ctest)
#   win32   the same for the 32-bit build
#   e2e     tests/e2e/test_*.py against the built launchers (Python unittest)
#   real    tests/e2e/test_real_runtime.py and test_parity.py: the 64-bit launcher on a real
#           Java runtime (scripts/real_jre.sh), the second against the runtime's java.exe;
#           without one their tests are counted as skipped, with why
#   fuzz    every libFuzzer target briefly (VMBOOT_FUZZ_SECONDS each, default 5)
# Usage: scripts/test.sh [layer ...]   (default: all layers; scripts/build.sh runs first)
# Counts are ctest tests (one per GoogleTest case, so a failure names the case) and Python
# test methods; a test that skipped counts as skipped, and the summary names it with why.
# Exit status 1 when anything failed.
# VMBOOT_KEEP_PREFIX=1 keeps the run's Wine prefix for inspection.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# One X display for the whole run: Wine's desktop process stays bound to the display it
# started on, so every Windows layer must share it.
if [[ -z ${VMBOOT_UNDER_XVFB:-} ]]; then
    bash scripts/setup.sh || exit 1
    source scripts/wine_loader.sh
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
        env VMBOOT_UNDER_XVFB=1 bash "$0" "$@"
fi

layers=("$@")
if ((${#layers[@]} == 0)); then
    layers=(native win64 win32 e2e real fuzz)
fi
jobs=${VMBOOT_JOBS:-2}
logs=$root/build/test-logs
mkdir -p "$logs"
total_passed=0
total_failed=0
total_skipped=0
report=()
if [[ -n ${VMBOOT_I386_EMULATED:-} ]]; then
    report+=("i386    32-bit programs ran under qemu-i386 (scripts/emulate_i386.sh)")
fi

record() {  # layer passed failed seconds [skipped]
    local skipped=${5:-0}
    total_passed=$((total_passed + $2))
    total_failed=$((total_failed + $3))
    total_skipped=$((total_skipped + skipped))
    local extra=""
    if ((skipped)); then extra=$(printf ', %d skipped' "$skipped"); fi
    report+=("$(printf '%-7s %4d passed, %4d failed%s  (%d s)' "$1" "$2" "$3" "$extra" "$4")")
    printf '== %s: %d passed, %d failed%s (%d s)\n' "$1" "$2" "$3" "$extra" "$4"
}

wants() {
    local layer
    for layer in "${layers[@]}"; do [[ $layer == "$1" ]] && return 0; done
    return 1
}

# One fresh Wine prefix for the whole run; wineserver -k ends every process left in it.
prefix=$(mktemp -d /tmp/vmboot-test-wine.XXXXXX)
export WINEPREFIX=$prefix VMBOOT_WINEPREFIX=$prefix WINEDEBUG=-all
cleanup() {
    wineserver -k >/dev/null 2>&1
    if [[ ${VMBOOT_KEEP_PREFIX:-} != 1 ]]; then rm -rf "$prefix"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

ensure_prefix() {
    [[ -f $prefix/system.reg ]] && return 0
    echo "== creating the Wine prefix $prefix"
    # No Mono/Gecko installers, no crash dialog; background processes get no pipes of ours.
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >"$logs/wineboot.log" 2>&1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        </dev/null >>"$logs/wineboot.log" 2>&1
    wineserver -w
    wineserver -p30 </dev/null >/dev/null 2>&1
}

# Why a GoogleTest case skipped, from its own output in ctest's LastTest.log: the lines after
# "file:line: Skipped" (the GTEST_SKIP message). Of a test that ran twice, the last reason.
skip_reason() {  # LastTest.log test-name
    local reason
    reason=$(awk -v name="$2" '
        { sub(/\r$/, "") }
        $2 == "Test:" && $3 == name { inside = 1; taking = 0; text = ""; next }
        !inside { next }
        /^<end of output>$/ { if (text != "") last = text; inside = 0; next }
        taking && (/^Google Test trace:$/ || /^\[  SKIPPED \]/ || $0 == "") { taking = 0; next }
        taking { text = (text == "" ? $0 : text "; " $0); next }
        /: Skipped$/ { taking = 1 }
        END { print last }' "$1" 2>/dev/null)
    echo "${reason:-no reason given}"
}

# ctest's summary line "NN% tests passed, F tests failed out of T" gives the counts; it counts
# a skipped test as passed, so the tests listed "(Skipped)" under "The following tests did
# not run:" are taken out of the passed and named in the summary with their reasons.
ctest_layer() {  # preset [start time, to count the layer's build as well]
    local preset=$1 start=${2:-$SECONDS} log=$logs/ctest-$1.log
    echo "== $preset: ctest"
    # Under Wine a test program at times cannot be started at all ("ShellExecuteEx failed:
    # Internal error"); such a test runs once more. A real failure fails both times.
    local repeat=()
    [[ $preset == native ]] || repeat=(--repeat until-pass:2)
    ctest --preset "$preset" --timeout 900 "${repeat[@]}" 2>&1 | tee "$log"
    local status=${PIPESTATUS[0]}
    local line
    line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    if [[ -n $line ]]; then
        local failed total name reason
        failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
        total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
        local skipped=()
        mapfile -t skipped < <(awk '
            /^The following tests did not run:/ { listed = 1; next }
            listed && !/^[[:space:]]/ { listed = 0 }
            listed && sub(/ \(Skipped\)$/, "") { sub(/^[[:space:]]*[0-9]+ - /, ""); print }' "$log")
        record "$preset" $((total - failed - ${#skipped[@]})) "$failed" $((SECONDS - start)) \
            "${#skipped[@]}"
        for name in "${skipped[@]}"; do
            reason=$(skip_reason "build/$preset/Testing/Temporary/LastTest.log" "$name")
            echo "$preset: skipped $name: $reason"
            report+=("$(printf '%-7s skipped %s: %s' "$preset" "$name" "$reason")")
        done
    elif ((status == 0)) && grep -q 'No tests were found' "$log"; then
        record "$preset" 0 0 $((SECONDS - start))
    else
        record "$preset" 0 1 $((SECONDS - start))
    fi
}

build_ok=1
if wants win64 || wants win32 || wants e2e; then
    start=$SECONDS
    echo "== build (scripts/build.sh)"
    # The sample's run script needs the prefix and display of this run as well.
    ensure_prefix
    if bash scripts/build.sh; then
        echo "== build: done ($((SECONDS - start)) s)"
        report+=("$(printf '%-7s %-30s (%d s)' build "win64, win32, dist/" $((SECONDS - start)))")
        # The 32-bit launcher has a budget of 400 KB: a library or feature that grows it
        # past that fails here, not in a release.
        size=$(stat -c %s dist/vmboot32.exe)
        echo "vmboot32.exe: $size bytes (budget 409600)"
        if ((size <= 409600)); then record size 1 0 0; else record size 0 1 0; fi
    else
        build_ok=0
        record build 0 1 $((SECONDS - start))
    fi
fi

if wants native; then
    start=$SECONDS
    echo "== native: build with sanitizers"
    if nice -n 10 cmake --preset native >"$logs/configure-native.log" 2>&1 &&
        nice -n 10 cmake --build --preset native -j "$jobs"; then
        ctest_layer native "$start"
    else
        cat "$logs/configure-native.log"
        record native 0 1 $((SECONDS - start))
    fi
fi

for preset in win64 win32; do
    if wants "$preset" && ((build_ok)); then
        if [[ $preset == win32 && -n ${VMBOOT_NO_WIN32:-} ]]; then
            count=$(ctest --preset win32 -N 2>/dev/null | sed -nE 's/^Total Tests: ([0-9]+)/\1/p')
            echo "win32: skipped, $VMBOOT_NO_WIN32"
            record win32 0 0 0 "${count:-1}"
            continue
        fi
        ensure_prefix
        ctest_layer "$preset"
    fi
done

# Runs tests/e2e/run.py with a time bound and records its counts as one layer.
e2e_layer() {  # layer bound start [modules...]
    local layer=$1 bound=$2 start=$3
    shift 3
    local summary=$logs/$layer-summary.json passed failed skipped
    rm -f "$summary"
    timeout --kill-after=30 "$bound" python3 tests/e2e/run.py --summary "$summary" "$@"
    local status=$?
    if [[ -f $summary ]]; then
        read -r passed failed skipped < <(python3 -c \
            'import json,sys; d=json.load(open(sys.argv[1])); print(d["passed"], d["failed"], d["skipped"])' \
            "$summary")
        if ((status == 124 || status == 137)); then
            echo "$layer: stopped after $bound s"
            failed=$((failed + 1))
        fi
        record "$layer" "$passed" "$failed" $((SECONDS - start)) "$skipped"
    else
        record "$layer" 0 1 $((SECONDS - start))
    fi
}

if wants e2e && ((build_ok)); then
    start=$SECONDS
    ensure_prefix
    echo "== e2e: tests/e2e"
    # A bound for the whole layer, far above its usual time, keeps CI's limit safe.
    e2e_layer e2e "${VMBOOT_E2E_TIMEOUT:-3000}" "$start"
fi

if wants real && ((build_ok)); then
    start=$SECONDS
    ensure_prefix
    echo "== real: tests/e2e/test_real_runtime.py and test_parity.py on a real 64-bit Java runtime"
    why=""
    if ! bash scripts/real_jre.sh >"$logs/real-jre.log" 2>&1; then
        why=$(tail -n 1 "$logs/real-jre.log")
    fi
    e2e_layer real "${VMBOOT_REAL_TIMEOUT:-900}" "$start" test_real_runtime test_parity
    if [[ -n $why ]]; then
        echo "real: skipped, no real Java runtime: $why"
        report+=("real    skipped, no real Java runtime: $why")
    fi
fi

if wants fuzz; then
    start=$SECONDS
    echo "== fuzz: each target for ${VMBOOT_FUZZ_SECONDS:-5} s"
    bash scripts/fuzz.sh "${VMBOOT_FUZZ_SECONDS:-5}" 2>&1 | tee "$logs/fuzz.log"
    passed=$(grep -c ': [0-9]* runs.*, no findings$' "$logs/fuzz.log")
    failed=$(grep -c ': [0-9]* runs, FINDING' "$logs/fuzz.log")
    if ((passed + failed == 0)); then failed=1; fi
    record fuzz "$passed" "$failed" $((SECONDS - start))
fi

echo "== summary"
printf '%s\n' "${report[@]}"
if ((total_skipped)); then
    echo "$total_passed passed, $total_failed failed, $total_skipped skipped"
else
    echo "$total_passed passed, $total_failed failed"
fi
((total_failed == 0))
