#!/usr/bin/env bash
# Reproduces every figure of BENCHMARKS.md: builds, then runs each benchmark RUNS times
# (default 3) in a Wine virtual desktop on a headless X server, then a soak for the memory
# figures, and prints the stripped exe's size and imports.
#   tools/bench.sh [--wine10] [RUNS] [IDLE_SECONDS]
# --wine10: under Wine 10 (tools/testbed.sh --wine10), whose hook reports the foreground.
set -euo pipefail
cd "$(dirname "$0")/.."
testbed=(tools/testbed.sh --desktop)
[ "${1:-}" = --wine10 ] && { testbed+=(--wine10); shift; }
runs="${1:-3}"
idle="${2:-30}"
tools/install-deps.sh
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target skarvel qor bare pass_bench draw_bench \
    switcher_bench skarvel_soak
x86_64-w64-mingw32-strip -o build/skarvel-stripped.exe build/bin/skarvel.exe
echo "machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
    "$(free -g | awk '/Mem:/ {print $2}') GiB"
echo "stripped exe: $(stat -c %s build/skarvel-stripped.exe) bytes; imports:" \
    $(x86_64-w64-mingw32-objdump -p build/skarvel-stripped.exe | awk '/DLL Name/ {print $3}')
for run in $(seq "$runs"); do
    echo "== run $run of $runs"
    "${testbed[@]}" -- bash -c '
        wine --version
        wine build/bin/pass_bench.exe "$(winepath -w build/skarvel-stripped.exe)"
        wine build/bin/draw_bench.exe
        wine build/bin/switcher_bench.exe --idle '"$idle"
done
echo "== soak (memory after start and after two minutes of churn)"
"${testbed[@]}" -- wine build/bin/skarvel_soak.exe --minutes 2
