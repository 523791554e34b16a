# Sourced by the scripts that run Windows programs. Some kernels are built without 32-bit
# (IA32) emulation: the 32-bit Wine loader then fails with "Exec format error", and so does
# /usr/bin/wine, which always starts through it. On such a machine this puts small wrappers
# that use the 64-bit loader first on PATH, and sets VMBOOT_NO_WIN32 to the reason, so that
# 32-bit tests report themselves skipped instead of failing. Changes nothing elsewhere.
if [[ -z ${VMBOOT_NO_WIN32+set} ]]; then
    if [[ -x /usr/lib/wine/wine64 ]] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
        _shim=${VMBOOT_WINE_SHIM:-/tmp/vmboot-wine64-only}
        mkdir -p "$_shim"
        for _name in wine wine-stable; do
            printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
                >"$_shim/$_name"
        done
        printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 wineboot "$@"\n' \
            >"$_shim/wineboot"
        chmod +x "$_shim"/*
        export PATH=$_shim:$PATH WINELOADER=/usr/lib/wine/wine64
        export VMBOOT_NO_WIN32="this machine cannot run 32-bit Linux programs (no IA32 emulation in its kernel), so 32-bit Wine cannot start"
        echo "wine: $VMBOOT_NO_WIN32; using the 64-bit loader only" >&2
        unset _shim _name
    else
        export VMBOOT_NO_WIN32=
    fi
fi
