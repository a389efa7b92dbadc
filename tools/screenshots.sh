#!/usr/bin/env bash
# Regenerates the screenshots the README shows: runs the acceptance day in a Wine virtual
# desktop on a headless X server and converts its pictures into docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target acceptance_tests skarvel qor
shots="$(mktemp -d /tmp/skarvel-shots.XXXXXX)"
trap 'rm -rf "$shots"' EXIT
tools/testbed.sh --desktop -- bash -c \
    'SKARVEL_SHOTS="$(winepath -w "$1")" wine build/bin/acceptance_tests.exe >"$1/run.log" 2>&1 ||
     { cat "$1/run.log"; exit 1; }' _ "$shots"
mkdir -p docs/screenshots
for name in tray-menu switcher configuration version fitted-clients; do
    convert "$shots/$name.bmp" "docs/screenshots/$name.png"
done
echo "screenshots: $PWD/docs/screenshots"
