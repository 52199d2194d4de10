#!/usr/bin/env bash
# Installs, on a Debian 12 machine, every package that `make test` and `make demo` use.
# Idempotent and quiet: when everything is present it only checks and returns. Without root
# and without sudo it installs nothing: it prints the apt-get command to run and exits 1.
set -euo pipefail

packages=(
  # The build: CMake presets with Ninja, run through make (scripts/test-all.sh, scripts/demo.sh).
  cmake ninja-build make
  # Native g++ (presets host, asan, bench), MinGW-w64 for both Windows flavours.
  g++ g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  # addr2line of the 64-bit flavour: scripts/fault-sweep names the call sites it injects at.
  binutils-mingw-w64-x86-64
  # GoogleTest sources (cmake/CdkTesting.cmake builds them per target), Google Benchmark.
  googletest libbenchmark-dev
  # wine64 runs the Windows tests; wine puts wineserver on PATH (`wineserver -k`).
  wine wine64
  # clang-14 with libFuzzer and the sanitizer runtimes (preset fuzz); llvm-symbolizer.
  clang-14 libclang-rt-14-dev llvm-14
  # End-to-end scenarios: Debian's Python runs them; MSI databases and cabinets for the test
  # payloads; a virtual display, window control and screenshots for the message boxes.
  python3
  msitools wixl gcab
  xvfb xdotool imagemagick
  # Checks of the shipped program: Authenticode signing (bookworm-backports).
  osslsigncode openssl
  # A CJK font, so that Japanese and Chinese message boxes render as text under Xvfb.
  fonts-wqy-zenhei
  # The 32-bit flavour's tests: a qemu-system guest with 32-bit Wine, its image built from
  # Debian packages (scripts/guest/build-image.sh).
  qemu-system-x86 qemu-utils debootstrap
)

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "setup: no dpkg here; this script installs Debian packages. Install these with the" \
    "system's package manager: ${packages[*]}" >&2
  exit 1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=(env DEBIAN_FRONTEND=noninteractive)
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo env DEBIAN_FRONTEND=noninteractive)
else
  {
    echo "setup: missing packages: ${missing[*]}"
    echo "setup: not running as root and sudo is not installed; as root, run:"
    echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
  } >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
