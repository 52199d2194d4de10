#!/usr/bin/env bash
# Installs, on a Debian 12 machine, every package that the build and the tests use.
# Idempotent and quiet: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  cmake ninja-build make git python3
  googletest libbenchmark-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64
  msitools wixl gcab python3
  xvfb xdotool imagemagick
  clang-14 libclang-rt-14-dev llvm-14
  clang-format
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
