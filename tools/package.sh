#!/usr/bin/env bash
# Installs what is missing, builds the release exe and writes dist/:
#   Skarvel-<version>-x64.zip        the stripped exe, a read-me for players and the licence
#   Skarvel-<version>-x64-setup.exe  the per-user installer (tools/installer/skarvel.nsi)
#   SHA256SUMS                       for both, as `sha256sum -c` reads it
# The version is the CMake project's. Every time stored in the files is the last commit's
# (SOURCE_DATE_EPOCH), so the same commit gives the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)}"
# zip stores local times
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C

cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
# the linker stamps the exe with SOURCE_DATE_EPOCH, but only when it links
rm -f build/bin/skarvel.exe
cmake --build build -j"$(nproc)" --target skarvel >/dev/null

version="$(sed -n 's/^#define SKARVEL_VERSION "\(.*\)"$/\1/p' build/res/skarvel_version.h)"
short="$(sed -n 's/^#define SKARVEL_SHORT_VERSION "\(.*\)"$/\1/p' build/res/skarvel_version.h)"
[ -n "$version" ] && [ -n "$short" ] || { echo "package: no version in build/res" >&2; exit 1; }
name="Skarvel-$short-x64"

stage="$PWD/build/package"
# dist/ holds this version's files only
rm -rf "$stage" dist
mkdir -p "$stage" dist
x86_64-w64-mingw32-strip -o "$stage/skarvel.exe" build/bin/skarvel.exe
# Notepad reads either line end; older editors want CRLF
sed "s/@VERSION@/$short/; s/\$/\r/" tools/installer/README.txt >"$stage/README.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
chmod 644 "$stage"/*
touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*

# -X: no owner ids or extra times; -D: no folder entries; names in a fixed order
(cd "$stage" && printf '%s\n' LICENSE.txt README.txt skarvel.exe | zip -X -D -q -9 "../../dist/$name.zip" -@)
# the installer keeps each file's time, so the touch above makes it repeatable too
makensis -V2 -DVERSION="$short" -DVERSION4="$version" -DSTAGE="$stage" \
    -DICON="$PWD/build/res/skarvel.ico" -DOUTFILE="$PWD/dist/$name-setup.exe" \
    tools/installer/skarvel.nsi

# the exe in the zip carries the version
# (read whole before grep: grep -q would close the pipe early and pipefail count windres' SIGPIPE)
unzip -p "dist/$name.zip" skarvel.exe >"$stage/unzipped.exe"
x86_64-w64-mingw32-windres -i "$stage/unzipped.exe" -O rc >"$stage/unzipped.rc"
grep -q "VALUE \"FileVersion\", \"$version\"" "$stage/unzipped.rc" ||
    { echo "package: the zipped exe does not carry $version" >&2; exit 1; }

# and declares subsystem version 6.0 or later: Windows gives an older one legacy frame metrics
x86_64-w64-mingw32-objdump -p "$stage/unzipped.exe" >"$stage/unzipped.headers"
major="$(sed -n 's/^MajorSubsystemVersion[[:space:]]*//p' "$stage/unzipped.headers")"
[ "${major:-0}" -ge 6 ] ||
    { echo "package: the exe declares subsystem version ${major:-?}, not 6.0 or later" >&2; exit 1; }

(cd dist && sha256sum "$name.zip" "$name-setup.exe" >SHA256SUMS && sha256sum -c --quiet SHA256SUMS)
ls -l "dist/$name.zip" "dist/$name-setup.exe"
cat dist/SHA256SUMS
