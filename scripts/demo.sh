#!/usr/bin/env bash
# Builds the 64-bit flavour and runs the demo under wine64, then prints the records it wrote to
# the diagnostic log.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target cdk_demo

prefix="$PWD/build/win64/wineprefix"
scripts/wine-run "$prefix" build/win64/demo/cdk_demo.exe | tr -d '\r'

log=$(find "$prefix/drive_c/users" -path '*/Temp/cusched.log' 2>/dev/null | head -n 1)
if [ -n "$log" ]; then
  echo
  echo "Last records of $log:"
  tail -n 24 "$log" | tr -d '\r'
fi
WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
