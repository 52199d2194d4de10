#!/usr/bin/env bash
# `make screenshots`: every message box of the launcher, raised by the real cdk-setup.exe under
# Xvfb in English (1033), Japanese (1041) and Chinese (2052), as build/screenshots/<lang>-<id>.png
# (tests/screenshots/screens.py checks each box's title, text and the exit code on the way).
# Then the three pictures that README.md shows are copied into docs/images/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$(nproc 2>/dev/null || echo 2)"
rm -rf build/screenshots
cmake --build --preset win64 --target screenshots

# The README's pictures: one box in each language.
mkdir -p docs/images
cp build/screenshots/1033-2048.png docs/images/box-1033-2048.png
cp build/screenshots/1041-121.png docs/images/box-1041-121.png
cp build/screenshots/2052-3075.png docs/images/box-2052-3075.png
echo "screenshots: $(ls build/screenshots | wc -l) pictures in build/screenshots; README's in docs/images"
