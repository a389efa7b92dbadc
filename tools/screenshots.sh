#!/usr/bin/env bash
# Regenerates the screenshots the README shows: runs the acceptance day in a Wine virtual
# desktop on a headless X server, at 100 and at 150 %, and converts its pictures into
# docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target acceptance_tests skarvel qor
shots="$(mktemp -d /tmp/skarvel-shots.XXXXXX)"
trap 'rm -rf "$shots"' EXIT
mkdir -p docs/screenshots
# at 100 % as <name>.png, and at 150 % (144 DPI, set before the session starts) as <name>-150.png
for dpi in 96 144; do
    suffix=""
    ((dpi == 96)) || suffix="-$((dpi * 100 / 96))"
    rm -f "$shots"/*.bmp
    tools/testbed.sh --desktop --dpi "$dpi" -- bash -c \
        'SKARVEL_SHOTS="$(winepath -w "$1")" wine build/bin/acceptance_tests.exe >"$1/run.log" 2>&1 ||
         { cat "$1/run.log"; exit 1; }' _ "$shots"
    for name in tray-menu switcher switcher-states configuration keys version fitted-clients; do
        convert "$shots/$name.bmp" "docs/screenshots/$name$suffix.png"
    done
done
echo "screenshots: $PWD/docs/screenshots"
