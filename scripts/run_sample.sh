#!/bin/sh
# Runs the sample application (dist/sample, from scripts/build_sample.sh) under Wine: on the real
# 64-bit Java runtime when one can be had (printing what the program reported), else on the
# stand-in runtime (printing what the launcher did, as the stand-in's log recorded it).
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
[ -f "${VMBOOT_DIST:-$repo/dist}/sample/HelloApp.exe" ] || sh "$repo/scripts/build_sample.sh" >/dev/null
exec python3 "$repo/scripts/run_sample.py" "$@"
