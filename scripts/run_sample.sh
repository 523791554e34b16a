#!/bin/sh
# Runs the sample application (dist/sample, from scripts/build_sample.sh) under Wine with the
# stand-in runtime and prints what the launcher did, as the stand-in's log recorded it.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
[ -f "${VMBOOT_DIST:-$repo/dist}/sample/HelloApp.exe" ] || sh "$repo/scripts/build_sample.sh" >/dev/null
exec python3 "$repo/scripts/run_sample.py" "$@"
