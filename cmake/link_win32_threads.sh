#!/bin/sh
# Runs a link command of a shipped executable with the win32-thread-model driver of the same
# mingw-w64 compiler (…-g++-posix becomes …-g++-win32). The launchers use no C++ threads, so
# they need no winpthread, which the posix model's unwinder would otherwise pull in. Without
# that driver the command runs as given.
compiler=$1
shift
case $compiler in
    *-posix)
        if command -v "${compiler%-posix}-win32" >/dev/null 2>&1; then
            exec "${compiler%-posix}-win32" "$@"
        fi
        ;;
esac
exec "$compiler" "$@"
