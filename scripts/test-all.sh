#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test through CTest.
#   host   native unit tests                      (label host)
#   asan   the same tests under ASan and UBSan     (label host)
#   win64  Windows tests under wine64              (labels wine, payload, e2e, screens, release)
#   win32  the 32-bit product flavour: its test programs and end-to-end scenarios run in a
#          qemu-system guest with 32-bit Wine, all in one boot (label win32; scripts/guest/; the first run builds the
#          guest image into ~/.cache/cdk-guest, about 5-15 minutes)
#   fuzz   short libFuzzer runs of the portable parsers (label fuzz)
#   bench  the benchmarks: built so that they keep compiling, not run
# A preset that fails to configure or build is reported and its tests are skipped; the other
# presets go on. At the end a summary names every failed build and test run, and the exit
# status is non-zero if there was any.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! bash scripts/setup.sh; then
  echo "=== FAILED: setup (scripts/setup.sh); nothing was built"
  exit 1
fi

# The 32-bit flavour's guest image is built beside the compiles: on a fresh machine that takes
# about 15 minutes, mostly downloads and package installs. When the image is ready this returns
# at once. win32.guestImage runs the same script under the same lock, so it waits for this
# build, or tries again and fails loudly when this one failed.
mkdir -p build
guest_log=build/guest-image.log
bash scripts/guest/build-image.sh >"$guest_log" 2>&1 &
guest_build=$!

jobs=$(nproc 2>/dev/null || echo 2)
presets=(host asan win64 win32 fuzz bench)
failed=()
flaky=()
declare -A built=()

# Configures quietly (the output is kept in build/<preset>/configure.log and shown when the
# configure step fails), then builds.
configure_and_build() {
  local preset=$1
  local log="build/$preset/configure.log"
  echo "=== build: $preset"
  mkdir -p "build/$preset"
  if ! cmake --preset "$preset" >"$log" 2>&1; then
    cat "$log"
    echo "=== configure of $preset FAILED (output above, also in $log)"
    return 1
  fi
  if ! cmake --build --preset "$preset" -j "$jobs"; then
    echo "=== build of $preset FAILED"
    return 1
  fi
}

run_tests() {
  local preset=$1 rerun=${2:-rerun}
  if [ -z "${built[$preset]:-}" ]; then
    echo "=== test: $preset skipped, its build failed"
    return
  fi
  echo "=== test: $preset"
  if ctest --preset "$preset" --output-on-failure; then
    return
  fi
  # A fuzz run that fails has found an input: a second random run that passes proves nothing.
  if [ "$rerun" = once ]; then
    failed+=("tests of $preset")
    return
  fi
  # Tests under Wine share one prefix and its server; a test that failed beside others is run
  # once more alone. One that passes then is named at the end as flaky, not hidden: its first
  # failure stays in the output above.
  echo "=== test: $preset: the failed tests once more, one at a time"
  if ctest --preset "$preset" --rerun-failed --output-on-failure -j1; then
    flaky+=("$preset")
  else
    failed+=("tests of $preset")
  fi
}

for preset in "${presets[@]}"; do
  if configure_and_build "$preset"; then
    built[$preset]=1
  else
    failed+=("build of $preset")
  fi
done

run_tests host
run_tests asan
run_tests win64
# The persistent wineserver of the test prefix is not needed after the run.
WINEPREFIX="$PWD/build/win64/wineprefix" wineserver -k 2>/dev/null || true
if ! wait "$guest_build"; then
  tail -n 20 "$guest_log"
  echo "=== the guest image build FAILED (log: $guest_log); win32.guestImage tries once more"
fi
run_tests win32
run_tests fuzz once
# The 32-bit product program, checked without running it (label release).
if [ -n "${built[win32]:-}" ]; then
  echo "=== test: win32 release checks"
  ctest --test-dir build/win32 -L release --output-on-failure || failed+=("release checks of win32")
fi

if [ "${#flaky[@]}" -ne 0 ]; then
  echo "=== FLAKY: tests that failed once and passed when run again alone, in:"
  printf '  %s\n' "${flaky[@]}"
fi
if [ "${#failed[@]}" -ne 0 ]; then
  echo "=== FAILED:"
  printf '  %s\n' "${failed[@]}"
  echo "=== some builds or tests FAILED"
  exit 1
fi
echo "=== all builds and tests passed"
