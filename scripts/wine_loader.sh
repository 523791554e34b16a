# Sourced by the scripts that run Windows programs; decides how 32-bit Windows programs run:
#   natively      the kernel runs the 32-bit Wine loader; nothing changes.
#   emulated      the kernel lacks 32-bit (IA32) emulation, so the 32-bit loader, and
#                 /usr/bin/wine with it, fails with "Exec format error"; wrappers first on PATH
#                 run wine and wineboot through scripts/emulate_i386.sh (qemu-i386 in a user
#                 namespace of their own). VMBOOT_I386_EMULATED=1 then says so.
#   not at all    no emulation either: the wrappers use the 64-bit loader, and
#                 VMBOOT_NO_WIN32 holds the reason, so that 32-bit tests report themselves
#                 skipped with it instead of failing.
# VMBOOT_EMULATE_I386=1 takes the emulated path on any machine, so that it can be checked
# where 32-bit programs also run natively. VMBOOT_NO_WIN32 is empty when 32-bit programs run.
if [[ -z ${VMBOOT_NO_WIN32+set} ]]; then
    _here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    _reason=""
    if [[ ${VMBOOT_EMULATE_I386:-} != 1 ]] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
        _mode=native
    elif [[ ! -x /usr/lib/wine/wine64 ]]; then
        _mode=native  # no 64-bit Wine: the packages decide, as before
    else
        _mode=none
        if [[ ${VMBOOT_EMULATE_I386:-} == 1 ]]; then
            _cause="32-bit emulation was asked for (VMBOOT_EMULATE_I386=1)" _join=", but"
        else
            _cause="this machine cannot run 32-bit Linux programs (no IA32 emulation in its kernel), so 32-bit Wine cannot start" _join=", and"
        fi
        _kernel=$(uname -r)
        if [[ ! -x ${VMBOOT_QEMU_I386:-/usr/bin/qemu-i386} ]]; then
            _reason="qemu-i386 is missing (scripts/setup.sh installs qemu-user)"
        elif ! command -v unshare >/dev/null; then
            _reason="unshare is missing"
        elif ! printf '%s\n' 6.7 "${_kernel%%-*}" | sort -V -C; then
            _reason="Linux $_kernel is older than 6.7, which has binfmt_misc per user namespace"
        elif ! _why=$(bash "$_here/emulate_i386.sh" /usr/lib/wine/wine --version 2>&1 >/dev/null); then
            _reason="Wine under qemu-i386 in a user namespace failed: ${_why##*$'\n'}"
        else
            _mode=emulated
        fi
    fi
    if [[ $_mode != native ]]; then
        # Rewritten whole and renamed into place: other work trees may run them meanwhile.
        _shim=${VMBOOT_WINE_SHIM:-/tmp/vmboot-wine-$_mode-$(printf '%s' "$_here" | md5sum | cut -c1-10)}
        mkdir -p "$_shim"
        for _name in wine wine-stable wineboot; do
            if [[ $_mode == emulated ]]; then
                printf '#!/bin/sh\nexec bash %q /usr/bin/%s "$@"\n' "$_here/emulate_i386.sh" "$_name"
            elif [[ $_name == wineboot ]]; then
                printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 wineboot "$@"\n'
            else
                printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n'
            fi >"$_shim/$_name.$$"
            chmod +x "$_shim/$_name.$$"
            mv -f "$_shim/$_name.$$" "$_shim/$_name"
        done
        export PATH=$_shim:$PATH
    fi
    if [[ $_mode == emulated ]]; then
        export VMBOOT_I386_EMULATED=1
        echo "wine: $_cause; 32-bit programs run under qemu-i386" >&2
        export VMBOOT_NO_WIN32=
    elif [[ $_mode == none ]]; then
        export WINELOADER=/usr/lib/wine/wine64
        export VMBOOT_NO_WIN32="$_cause$_join $_reason"
        echo "wine: $VMBOOT_NO_WIN32; using the 64-bit loader only" >&2
    else
        export VMBOOT_NO_WIN32=
    fi
    unset _here _cause _join _reason _mode _kernel _why _shim _name
fi
