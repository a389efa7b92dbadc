#!/usr/bin/env bash
# Installs the Debian packages the build, the demo, the tests and the packages need, if any
# is missing.
set -euo pipefail
packages=(
    cmake make python3 googletest
    g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-x86-64
    wine64 wine
    xvfb xdotool x11-apps x11-utils imagemagick
    gcc libc6-dev libxrandr-dev debootstrap
    fonts-liberation fonts-wine
    nsis zip unzip
)
missing=()
for p in "${packages[@]}"; do
    # a plain test, not a pipe: with pipefail an early grep -q could count a present package missing
    [[ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)" == *"install ok installed"* ]] ||
        missing+=("$p")
done
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
