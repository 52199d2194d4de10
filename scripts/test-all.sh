#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test through CTest.
#   host   native unit tests                      (label host)
#   asan   the same tests under ASan and UBSan     (label host)
#   win64  Windows tests under wine64              (labels wine, payload, e2e)
#   win32  the 32-bit product flavour: built and linked in full, not run (no 32-bit here)
#   fuzz   short libFuzzer runs of the portable parsers (label fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
presets=(host asan win64 win32 fuzz)
status=0

configure_and_build() {
  local preset=$1
  echo "=== build: $preset"
  cmake --preset "$preset" >"build-$preset.configure.log" 2>&1 || {
    cat "build-$preset.configure.log"
    return 1
  }
  rm -f "build-$preset.configure.log"
  cmake --build --preset "$preset" -j "$jobs"
}

run_tests() {
  local preset=$1
  echo "=== test: $preset"
  ctest --preset "$preset" --output-on-failure || status=1
}

for preset in "${presets[@]}"; do
  configure_and_build "$preset"
done

run_tests host
run_tests asan
run_tests win64
# The persistent wineserver of the test prefix is not needed after the run.
WINEPREFIX="$PWD/build/win64/wineprefix" wineserver -k 2>/dev/null || true
run_tests fuzz

if [ "$status" -ne 0 ]; then
  echo "=== some tests FAILED"
else
  echo "=== all tests passed"
fi
exit "$status"
