#!/usr/bin/env bash
# Installs what is missing, builds the program and its tests, checks that the product also
# compiles for 32-bit Windows, and runs every test under Wine on a headless X server, then a
# two-minute soak that fails on any growth of the program's counts, then the two-monitor tests
# on two monitors side by side, then the client pass's, the dialogs', the menus' and the
# strip's tests again on a display scaled to 150 %, under Wine 10 (see the last step).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/floors.sh
jobs="$(nproc)"
# A test that fails is run once more before the run fails: real input and timing under Wine
# fail a test now and then (a press dropped, a cache entry made late), about once in 150 tests
# and 3 runs. The failed try is still printed in full, so every flake stays visible.
export ctest_retry="--repeat until-pass:2"
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
cmake -S . -B build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=Release -DSKARVEL_TESTS=OFF >/dev/null
cmake --build build-i686 -j"$jobs" --target skarvel
x86_64-w64-mingw32-strip -o build/skarvel-stripped.exe build/bin/skarvel.exe
tools/testbed.sh --desktop -- bash -c '
    wine build/bin/pass_bench.exe "$(winepath -w build/skarvel-stripped.exe)" >build/bench.log 2>&1
    wine build/bin/draw_bench.exe >>build/bench.log 2>&1
    wine build/bin/switcher_bench.exe --idle 5 >>build/bench.log 2>&1
    cat build/bench.log
    ctest --test-dir build --output-on-failure --timeout 300 $ctest_retry &&
    wine build/bin/skarvel_soak.exe --minutes 2'
tools/testbed.sh --monitors -- \
    ctest --test-dir build --output-on-failure --timeout 300 $ctest_retry -R 'TwoMonitors'
# Client sizes must stay exact on a scaled display, and the program's own windows must be
# drawn at that scale and hit where they are drawn; the tests check the run is at that scale.
# Under Wine 10 (a Debian 13 root, made once outside the clone and kept), which, as Windows
# does, scales DPI-unaware clients and tells the keys' hook of every new foreground: the tests
# that need this skip under Wine 8 and fail here without it (SKARVEL_TEST_WINE10).
# Its taskbar reserves no work area, so the checks that need one stay in the steps above.
SKARVEL_TEST_DPI=144 SKARVEL_TEST_WINE10=1 tools/testbed.sh --wine10 --desktop --dpi 144 -- \
    ctest --test-dir build --output-on-failure --timeout 300 $ctest_retry \
    -R 'ClientPass|Icons\.|ChangeOfScale|Dialogs\.|Tray\.(TheIconOpens|MenuCommands)|Switcher\.(ShowsOneCell|ACellCarried|AHungClient|KeysSwitch|AClickOnACell|WithTheStripOff|APlaceStoredByAnEarlierVersion|AtRestTheShownStrip|AStrip|AListChange|TheMenuHas|WhenItOpens)'

# The packages, and the installer over a running copy and its uninstaller with the real
# program. No menu entries on the host for the shortcut the installer makes.
tools/package.sh
tools/testbed.sh --desktop -- bash -c '
    SKARVEL_INSTALLER="$(winepath -w dist/Skarvel-*-x64-setup.exe 2>/dev/null </dev/null)" \
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d" \
        ctest --test-dir build --output-on-failure --timeout 300 $ctest_retry -L install'
