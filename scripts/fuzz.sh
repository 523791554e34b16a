#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each one over its seed corpus, either for a number
# of seconds (default 10) or, with --runs N, until it has executed N inputs. Names after
# that pick targets (all when none are given). Prints executions and findings per target;
# exits 1 when any target found a crash (the reproducer is kept under build/fuzz-artifacts/).
#   scripts/fuzz.sh 60
#   scripts/fuzz.sh --runs 10000000 settings_fuzz paths_fuzz
set -euo pipefail
cd "$(dirname "$0")/.."
limit=(-max_total_time=10)
if [ "${1:-}" = "--runs" ]; then
    limit=(-runs="$2")
    shift 2
elif [ $# -gt 0 ]; then
    limit=(-max_total_time="$1")
    shift
fi
targets=("$@")
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null
work=build/fuzz-corpus
artifacts=build/fuzz-artifacts
mkdir -p "$work" "$artifacts"
failed=0
total_runs=0
for binary in build/fuzz/fuzz/*_fuzz; do
    name=$(basename "$binary")
    if [ ${#targets[@]} -gt 0 ] && [[ " ${targets[*]} " != *" $name "* ]]; then continue; fi
    corpus="$work/$name"
    mkdir -p "$corpus"
    if [ -d "fuzz/corpus/$name" ]; then cp -n fuzz/corpus/"$name"/* "$corpus"/ 2>/dev/null || true; fi
    log="$artifacts/$name.log"
    status=0
    start=$SECONDS
    "$binary" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts/$name-" "$corpus" >"$log" 2>&1 || status=$?
    runs=$(grep -oE 'Done [0-9]+ runs' "$log" | grep -oE '[0-9]+' || echo 0)
    total_runs=$((total_runs + runs))
    if [ "$status" -ne 0 ]; then
        failed=$((failed + 1))
        echo "$name: $runs runs, FINDING (see $log)"
        grep -E 'ERROR|SUMMARY' "$log" | head -5 || true
    else
        echo "$name: $runs runs in $((SECONDS - start)) s, no findings"
    fi
done
echo "fuzz: $total_runs executions in all, $failed target(s) with findings"
[ "$failed" -eq 0 ]
