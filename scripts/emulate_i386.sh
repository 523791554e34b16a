#!/usr/bin/env bash
# Runs a command in which 32-bit x86 Linux programs run under qemu-i386, for kernels built
# without IA32 emulation:  scripts/emulate_i386.sh COMMAND [ARGUMENTS]
# The command runs in a new user and mount namespace with a binfmt_misc of its own, where
# qemu-i386 is registered for i386 ELF programs; nothing is registered system-wide. Needs
# unshare and Linux 6.7 or later (binfmt_misc per user namespace). The exit status is the
# command's. Inside, the user and group ids are the caller's again, so that Wine finds the
# server directory of its user as outside.
set -euo pipefail
if (($# == 0)); then
    echo "usage: $0 COMMAND [ARGUMENTS]" >&2
    exit 2
fi
qemu=${VMBOOT_QEMU_I386:-/usr/bin/qemu-i386}
# Already inside (a nested call): the registration is there.
if [[ -e /proc/sys/fs/binfmt_misc/vmboot-i386 ]]; then
    exec "$@"
fi
# The magic and mask of i386 executables and shared objects, as qemu's own binfmt set-up has
# them. F opens qemu now, so the registration holds in every mount namespace below; P keeps
# the program's argv[0].
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
rule=":vmboot-i386:M::$magic:$mask:$qemu:FP"
# shellcheck disable=SC2016  # expanded by the inner shell
exec unshare --user --map-root-user --mount --kill-child -- bash -c '
    set -e
    rule=$1 uid=$2 gid=$3
    shift 3
    mount -t binfmt_misc vmboot-binfmt /proc/sys/fs/binfmt_misc
    printf "%s" "$rule" >/proc/sys/fs/binfmt_misc/register
    if ((uid == 0)); then
        exec "$@"
    fi
    exec unshare --user --map-user="$uid" --map-group="$gid" -- "$@"
' emulate_i386 "$rule" "$(id -u)" "$(id -g)" "$@"
