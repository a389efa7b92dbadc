#!/usr/bin/env bash
# Builds Skarvel and runs it in a Wine virtual desktop with three stand-in clients: on your
# display if there is one, otherwise on a headless X server. Writes a screenshot either way.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target skarvel qor skarvel_demo
mkdir -p out
shot="$PWD/out/demo.png"
wait_flag=""
display_flag=""
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    wait_flag="--wait"
    display_flag="--use-display"
fi
tools/testbed.sh --desktop $display_flag -- \
    bash -c 'wine build/bin/skarvel_demo.exe "$(winepath -w out/demo.bmp)" '"$wait_flag"' >out/demo.log 2>&1; status=$?; cat out/demo.log; exit $status'
convert out/demo.bmp "$shot" && rm -f out/demo.bmp
echo "screenshot: $shot"
