#!/usr/bin/env bash
# Runs Skarvel for N minutes (default 2) next to churning stand-in clients in a Wine virtual
# desktop and prints its GDI objects, kernel handles, private memory and CPU time once a
# minute; fails when any of them, in the second half of the run, rose above everything before
# it (the warm-up is 30 s, or a tenth of a longer run).
#   tools/soak.sh [MINUTES]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes="${1:-2}"
tools/install-deps.sh
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target skarvel_soak skarvel qor
tools/testbed.sh --desktop -- wine build/bin/skarvel_soak.exe --minutes "$minutes"
