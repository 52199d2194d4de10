#!/usr/bin/env bash
# run-msi-tool.sh PREFIX TOOL [ARGS...]
# Runs a Windows build tool of the payload (msitransform.exe) under wine64 in PREFIX, a Wine
# prefix of the build tree that is created on first use.
#
# Arguments that begin with "/" are Linux paths; the tool gets them as Z: drive paths. Wine's own
# output goes to a log beside the prefix and is shown only when the tool fails. No wineserver is
# kept running: the one Wine starts ends a few seconds after the tool, and it holds only the log,
# never the build's output pipe. Runs are serialized, so that parallel build steps never create
# the prefix twice.
set -euo pipefail

prefix=$1
tool=$2
shift 2

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=d;mshtml=d;winedbg.exe=d"
export WINEARCH=win64
unset DISPLAY

WINE64=${WINE64:-/usr/lib/wine/wine64}
[ -x "$WINE64" ] || WINE64=$(command -v wine64)
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)

args=()
for arg in "$@"; do
  if [[ $arg == /* ]]; then
    arg="Z:${arg//\//\\}"
  fi
  args+=("$arg")
done

mkdir -p "$prefix"
exec 9>"$prefix.lock"
flock 9
log="$prefix.log"
if [ ! -f "$prefix/.cdk-ready" ]; then
  "$WINE64" wineboot -i </dev/null >"$log" 2>&1 9>&- || true
  "$WINESERVER" -w
  touch "$prefix/.cdk-ready"
fi

status=0
"$WINE64" "$tool" "${args[@]}" </dev/null >"$log" 2>&1 9>&- || status=$?
if [ "$status" -ne 0 ]; then
  echo "run-msi-tool: $(basename "$tool") $* failed with exit code $status:" >&2
  cat "$log" >&2
fi
exit "$status"
