#!/usr/bin/env bash
# Installs everything that building and testing vmboot need on Debian 12 (run as root).
# Idempotent and quick: apt is not touched when every package is already installed.
set -euo pipefail

PACKAGES=(
    cmake ninja-build g++                                    # native build and unit tests
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix      # the two Windows builds
    g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32      # linking the shipped executables
    wine wine64 wine32:i386                                  # running them
    xvfb xauth x11-utils imagemagick                         # a display, window screenshots
    googletest openjdk-17-jdk-headless python3               # test frameworks, jni.h, javac
    clang libclang-rt-14-dev                                 # fuzzing
    locales                                                  # German system for message tests
    wixl osslsigncode                                        # the sample's installer, signing
)
LOCALES=(de_DE.UTF-8 ja_JP.UTF-8)

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q '^install ok installed$'
}

missing=()
for package in "${PACKAGES[@]}"; do
    installed "$package" || missing+=("$package")
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    need_i386=1
else
    need_i386=0
fi

if ((${#missing[@]} > 0 || need_i386)); then
    if [[ $(id -u) -ne 0 ]]; then
        echo "setup: missing packages (${missing[*]}); run scripts/setup.sh as root" >&2
        exit 1
    fi
    if ((need_i386)); then
        dpkg --add-architecture i386
    fi
    if ((${#missing[@]} > 0)); then
        echo "setup: installing ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
fi

for wanted in "${LOCALES[@]}"; do
    # locale -a spells it de_DE.utf8.
    short=$(echo "$wanted" | sed 's/UTF-8$/utf8/')
    if ! locale -a 2>/dev/null | grep -qx "$short"; then
        if [[ $(id -u) -ne 0 ]]; then
            echo "setup: locale $wanted is missing; run scripts/setup.sh as root" >&2
            exit 1
        fi
        echo "setup: generating locale $wanted"
        if grep -q "^# *$wanted UTF-8" /etc/locale.gen; then
            sed -i "s/^# *\($wanted UTF-8\)/\1/" /etc/locale.gen
        elif ! grep -q "^$wanted UTF-8" /etc/locale.gen; then
            echo "$wanted UTF-8" >>/etc/locale.gen
        fi
        locale-gen >/dev/null
    fi
done
# Kernels without 32-bit (IA32) emulation cannot start the 32-bit Wine loader; there 32-bit
# programs run under qemu-i386 (scripts/emulate_i386.sh). Debian 12's own qemu 7.2 hangs in
# Wine's 32-bit loader, so qemu-user comes from bookworm-backports. VMBOOT_EMULATE_I386=1
# asks for the emulated path on any machine, so it installs qemu-user too.
if ! installed qemu-user &&
    { [[ ${VMBOOT_EMULATE_I386:-} == 1 ]] || ! /usr/lib/wine/wine --version >/dev/null 2>&1; }; then
    if [[ $(id -u) -ne 0 ]]; then
        echo "setup: qemu-user is missing for 32-bit programs; run scripts/setup.sh as root" >&2
        exit 1
    fi
    backports=/etc/apt/sources.list.d/vmboot-bookworm-backports.sources
    if ! grep -rqs '^Suites:.*bookworm-backports\|^deb .* bookworm-backports ' \
        /etc/apt/sources.list /etc/apt/sources.list.d/; then
        printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' \
            'Suites: bookworm-backports' 'Components: main' \
            'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$backports"
    fi
    echo "setup: installing qemu-user from bookworm-backports (32-bit programs under emulation)"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # Without its recommendations: qemu-user-binfmt would register qemu system-wide.
    apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null
fi
echo "setup: all build and test dependencies are present"

# The real 64-bit Java runtime of the real-runtime tests, the sample and the benchmark. Not
# fatal: without it those tests report themselves skipped and the sample uses the stand-in.
if ! bash "$(dirname "$0")/real_jre.sh" >/dev/null; then
    echo "setup: no real Java runtime; real-runtime tests will be skipped" >&2
fi
