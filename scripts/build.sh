#!/usr/bin/env bash
# Builds vmboot64.exe and vmboot32.exe with their test tools and assembles dist/:
#   dist/vmboot64.exe, dist/vmboot32.exe   the launchers
#   dist/vmbootc64.exe, dist/vmbootc32.exe the console launchers, for command-line tools
#   dist/vmbootcheck64.exe, ...32.exe      the console tool that explains a launch
#   dist/vmbootbrand, vmbootbrand64.exe,   the branding tool (Linux, 64- and 32-bit Windows)
#     vmbootbrand32.exe
#   dist/tools/                            64-bit test tools (uidriver, spawn, probe, stand-ins)
#   dist/tools32/                          the same tools built for 32-bit Windows
#   dist/standin/64/, dist/standin/32/     the stand-in runtime: jvm/<variant>/jvm.dll,
#                                          splash/<variant>/splashscreen.dll, standin_host.exe
#   dist/sample/                           the sample application (scripts/build_sample.sh)
# Then runs the sample application when scripts/run_sample.sh exists.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${VMBOOT_JOBS:-2}

bash scripts/setup.sh
source scripts/wine_loader.sh

for preset in win64 win32; do
    echo "== build $preset"
    mkdir -p build
    if ! nice -n 10 cmake --preset "$preset" >"build/configure-$preset.log" 2>&1; then
        cat "build/configure-$preset.log"
        echo "build: configuring $preset failed" >&2
        exit 1
    fi
    nice -n 10 cmake --build --preset "$preset" -j "$jobs"
done

# The branding tool for Linux build machines (the Windows builds above make its .exe).
echo "== build linux (vmbootbrand)"
if ! nice -n 10 cmake --preset linux >build/configure-linux.log 2>&1; then
    cat build/configure-linux.log
    echo "build: configuring linux failed" >&2
    exit 1
fi
nice -n 10 cmake --build --preset linux -j "$jobs"

# Copies the .exe, .dll and .jar files that the test tool folders of one build produced.
collect_tools() {
    local tree=$1 target=$2
    mkdir -p "$target"
    local folder
    for folder in "$tree/tests/tools"; do
        [[ -d $folder ]] || continue
        find "$folder" -path '*/CMakeFiles' -prune -o -type f \
            \( -name '*.exe' -o -name '*.dll' -o -name '*.jar' \) -print0 |
            xargs -0 -r cp -f -t "$target"
    done
}

# The stand-in runtime keeps its folders: every variant's library has the same file name.
collect_standin() {
    # Absolute: the copies below run from inside the build tree.
    local tree=$1/tests/standin target=$2
    [[ -d $tree ]] || return 0
    mkdir -p "$target"
    cp -f "$tree/standin_host.exe" "$target/"
    local kind
    for kind in jvm splash; do
        (cd "$tree" && find "$kind" -type f -name '*.dll' -print0 | xargs -0 -r cp -f --parents -t "$target")
    done
}

echo "== assemble dist/"
rm -rf dist
mkdir -p dist
cp build/win64/vmboot64.exe build/win32/vmboot32.exe dist/
# The console launchers, when this tree builds them.
for console in build/win64/vmbootc64.exe build/win32/vmbootc32.exe; do
    if [[ -f $console ]]; then cp "$console" dist/; fi
done
# The diagnostics console tool, when this tree builds it.
for checker in build/win64/vmbootcheck64.exe build/win32/vmbootcheck32.exe; do
    if [[ -f $checker ]]; then cp "$checker" dist/; fi
done
cp build/linux/vmbootbrand build/win64/vmbootbrand64.exe build/win32/vmbootbrand32.exe dist/
collect_tools build/win64 dist/tools
collect_tools build/win32 dist/tools32
collect_standin build/win64 "$root/dist/standin/64"
collect_standin build/win32 "$root/dist/standin/32"
echo "dist: $root/dist"
ls -l dist | sed 1d

# The sample application: assembled into dist/sample, then started when its run script
# exists.
if [[ -f scripts/build_sample.sh ]]; then
    echo "== sample"
    sh scripts/build_sample.sh
fi
if [[ -f scripts/run_sample.sh ]]; then
    echo "== run sample"
    bash scripts/run_sample.sh
fi
