#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each one for a number of seconds (default 10) over
# its seed corpus. Prints executions and findings per target; exits 1 when any target found
# a crash (the reproducer is kept under build/fuzz-artifacts/).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null
work=build/fuzz-corpus
artifacts=build/fuzz-artifacts
mkdir -p "$work" "$artifacts"
failed=0
total_runs=0
for binary in build/fuzz/fuzz/*_fuzz; do
    name=$(basename "$binary")
    corpus="$work/$name"
    mkdir -p "$corpus"
    if [ -d "fuzz/corpus/$name" ]; then cp -n fuzz/corpus/"$name"/* "$corpus"/ 2>/dev/null || true; fi
    log="$artifacts/$name.log"
    status=0
    "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts/$name-" "$corpus" >"$log" 2>&1 || status=$?
    runs=$(grep -oE 'Done [0-9]+ runs' "$log" | grep -oE '[0-9]+' || echo 0)
    total_runs=$((total_runs + runs))
    if [ "$status" -ne 0 ]; then
        failed=$((failed + 1))
        echo "$name: $runs runs, FINDING (see $log)"
        grep -E 'ERROR|SUMMARY' "$log" | head -5 || true
    else
        echo "$name: $runs runs, no findings"
    fi
done
echo "fuzz: $total_runs executions in all, $failed target(s) with findings"
[ "$failed" -eq 0 ]
