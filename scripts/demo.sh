#!/usr/bin/env bash
# The main job: builds the 64-bit launcher with the generated test payload and lets it install
# the kit silently with Wine's own msiexec in a fresh Wine prefix, twice (the second run removes
# the first install before installing again). Arguments are passed to the launcher after "/s":
#   make demo ARGS='INSTALLDIR=C:\Kit /lang=1041'
# (make hands them over in CDK_DEMO_ARGS, so that backslashes reach the launcher unchanged).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
if [ ! -f build/win64/build.ninja ]; then
  log=$(mktemp)
  cmake --preset win64 >"$log" 2>&1 || { cat "$log"; rm -f "$log"; exit 1; }
  rm -f "$log"
fi
cmake --build --preset win64 --target cdk-setup cdk_e2e_runner >/dev/null
exec /usr/bin/python3 scripts/demo.py build/win64 "$@" ${CDK_DEMO_ARGS:+--args "$CDK_DEMO_ARGS"}
