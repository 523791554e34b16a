#!/usr/bin/env bash
# How ctest runs a Windows test program: tests/run_under_wine.sh WINE PROGRAM [ARGUMENTS].
# Window tests need an X display: the caller's when one is set (scripts/test.sh,
# `xvfb-run -a ctest`), else a private one per case. The case list that ctest reads
# (--gtest_list_tests) loses the carriage returns of Windows line ends.
run=("$@")
# The configured wine may be /usr/bin/wine, which cannot start where the kernel lacks 32-bit
# support; the loader script then provides one that runs it under emulation or uses the
# 64-bit loader.
source "$(dirname "$0")/../scripts/wine_loader.sh" 2>/dev/null
if [[ -n ${VMBOOT_NO_WIN32:-}${VMBOOT_I386_EMULATED:-} && $(basename "${run[0]}") == wine ]]; then
    run[0]=wine
fi
if [[ -n ${DISPLAY:-} ]]; then
    # A server that stays between cases spares each case the start of Wine's services.
    wineserver -p60 </dev/null >/dev/null 2>&1
else
    run=(xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}")
fi
# Wine's services, started by the first program, inherit its output and would hold ctest's
# pipe open until the server ends: the program writes to files, printed once it has ended.
output=$(mktemp) errors=$(mktemp)
trap 'rm -f "$output" "$errors"' EXIT
"${run[@]}" </dev/null >"$output" 2>"$errors"
status=$?
if [[ " $* " == *" --gtest_list_tests "* ]]; then
    tr -d '\r' <"$output"
else
    cat "$output"
fi
cat "$errors" >&2
exit $status
