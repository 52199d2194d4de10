#!/usr/bin/env bash
# run-under-windows-version.sh WINE_RUN PREFIX VERSION PROGRAM [ARGS...]
# Sets the Windows version of a Wine prefix, runs the program there and puts the prefix back to
# Wine's default version, whatever the program's outcome.
set -euo pipefail
wine_run=$1
prefix=$2
version=$3
shift 3

"$wine_run" "$prefix" reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >/dev/null
status=0
"$wine_run" "$prefix" "$@" || status=$?
"$wine_run" "$prefix" reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1 || true
exit "$status"
