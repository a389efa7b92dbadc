#!/usr/bin/env bash
# Runs a command under Wine in a throwaway prefix, on a headless X server of its own
# (or on $DISPLAY with --use-display), and tears down only what it started.
#   tools/testbed.sh [--wine10] [--desktop | --monitors] [--use-display] [--dpi N] -- command [args...]
# --desktop: a Wine virtual desktop with a taskbar, so there is a notification area and
# a work area smaller than the 1280x800 screen.
# --monitors: two monitors side by side on one 2304x800 screen, 1280x800 at 0,0 (primary) and
# 1024x768 at 1280,0, with no virtual desktop (Wine shows more than one monitor only without
# one, and only when it reads them through Xinerama rather than XRandR). tools/monitors keeps
# them set; SKARVEL_MONITORS holds the Windows path of its command file, where a layout such
# as 1280x800+0+0 changes them (the file is gone once the change holds).
# --dpi N: the display scale as Wine reads it (LogPixels; 96 is 100 %). It is set before the
# session that runs the command starts: Wine reads it per process, but the DPI it reports for
# another program's windows is the one its session started with. The screen grows with the
# scale (1920x1200 at 144), so it holds as much as 1280x800 does at 96.
# --wine10: Wine 10 from a Debian 13 root (tools/wine10-root.sh makes it once) in place of the
# host's Wine 8; it scales DPI-unaware windows and tells hooks of foreground changes, as Windows
# does. The command runs on the host as before: `wine`, `wineserver` and `winepath` on its PATH
# run the root's, chrooted, in the caller's folder. The root sees the host's /tmp (the prefix,
# the X server's socket) and this clone at their own paths, through mounts private to the run.
set -euo pipefail
desktop=0
monitors=0
use_display=0
dpi=96
wine10=0
args=("$@")
while (($#)); do
    case "$1" in
    --wine10) wine10=1 ;;
    --desktop) desktop=1 ;;
    --monitors) monitors=1 ;;
    --use-display) use_display=1 ;;
    --dpi) dpi="${2:-}"; shift ;;
    --) shift; break ;;
    *) break ;;
    esac
    shift
done

[[ "$dpi" =~ ^[0-9]+$ ]] && ((dpi >= 96 && dpi <= 480)) || { echo "testbed: bad --dpi" >&2; exit 2; }
((desktop && monitors)) && { echo "testbed: --desktop and --monitors exclude each other" >&2; exit 2; }
((use_display && monitors)) && { echo "testbed: --monitors needs a server of its own" >&2; exit 2; }
((wine10 && monitors)) && { echo "testbed: --monitors is made for Wine 8 only" >&2; exit 2; }
wine10_root=""
wine10_mounts=()
wine10_shims=""
if ((wine10)); then
    here="$(cd "$(dirname "$0")" && pwd)"
    wine10_root="$("$here/wine10-root.sh")"
    # Everything mounted for the run lives in a mount namespace of its own: the host never
    # sees the root's view of /tmp, and nothing stays mounted if this script is killed.
    if [ -z "${SKARVEL_TESTBED_NS:-}" ]; then
        SKARVEL_TESTBED_NS=1 exec unshare --mount --propagation private "$here/testbed.sh" "${args[@]}"
    fi
fi
px() { echo $(($1 * dpi / 96)); }
screen="$(px 1280)x$(px 800)"
((monitors)) && screen="$(px 2304)x$(px 800)"
xvfb_pid=""
monitors_pid=""
WINEPREFIX="$(mktemp -d /tmp/skarvel-wine.XXXXXX)"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64

cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    # the last mount first; the root's own files are never removed here
    local i
    for ((i = ${#wine10_mounts[@]} - 1; i >= 0; i--)); do
        umount -R "${wine10_mounts[i]}" 2>/dev/null || umount -lR "${wine10_mounts[i]}" 2>/dev/null || true
    done
    [ -n "$wine10_shims" ] && rm -rf "$wine10_shims"
    [ -n "$monitors_pid" ] && kill "$monitors_pid" 2>/dev/null && wait "$monitors_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if ((wine10)); then
    bind() { # the host's folder at the same path in the root
        mkdir -p "$wine10_root$1"
        mount --rbind "$1" "$wine10_root$1"
        wine10_mounts+=("$wine10_root$1")
    }
    mount -t proc proc "$wine10_root/proc"
    wine10_mounts+=("$wine10_root/proc")
    bind /sys
    bind /dev
    bind /tmp
    clone="$(cd "$here/.." && pwd -P)"
    bind "$clone"
    # a command started from a folder outside the clone finds it in the root too
    case "$(pwd -P)/" in "$clone"/* | /tmp/*) ;; *) bind "$(pwd -P)" ;; esac
    wine10_shims="$(mktemp -d /tmp/skarvel-wine10-bin.XXXXXX)"
    for tool in wine wineserver winepath; do
        # PATH inside is the root's own, so nothing there finds these shims under /tmp
        printf '%s\n' '#!/bin/sh' \
            "exec chroot '$wine10_root' /usr/bin/env PATH=/usr/local/bin:/usr/bin:/bin \\" \
            "    /bin/sh -c 'cd \"\$1\" || exit 126; shift; exec \"\$0\" \"\$@\"' /usr/bin/$tool \"\$PWD\" \"\$@\"" \
            >"$wine10_shims/$tool"
        chmod +x "$wine10_shims/$tool"
    done
    export PATH="$wine10_shims:$PATH"
fi

if ((use_display)) && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    echo "testbed: using display $DISPLAY"
else
    for n in $(seq 91 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 "${screen}x24" -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        export DISPLAY=":$n"
        break
    done
    [ -n "$xvfb_pid" ] || { echo "testbed: no free display number" >&2; exit 1; }
    for _ in $(seq 100); do
        xdotool getdisplaygeometry >/dev/null 2>&1 && break
        kill -0 "$xvfb_pid" 2>/dev/null || { echo "testbed: Xvfb did not start" >&2; exit 1; }
        sleep 0.1
    done
fi

wine wineboot -i </dev/null >/dev/null 2>&1
wineserver -w

reg="$WINEPREFIX/testbed.reg"
{
    printf 'REGEDIT4\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"Arial Narrow"="Liberation Sans Narrow"\r\n\r\n'
    if ((desktop)); then
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="shell"\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"shell"="%s"\r\n\r\n' "$screen"
    fi
    if ((monitors)); then
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"UseXRandR"="N"\r\n\r\n'
    fi
    printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:%08x\r\n\r\n' "$dpi"
} >"$reg"
wine regedit /S "$(winepath -w "$reg")" </dev/null >/dev/null 2>&1
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
cp /usr/share/fonts/truetype/liberation/LiberationSansNarrow-*.ttf \
    "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
wineserver -w

# The session reads the monitors as it starts, so they must hold before it does.
if ((monitors)); then
    gcc -std=c99 -Wall -Wextra -O2 -o "$WINEPREFIX/monitors" \
        "$(dirname "$0")/monitors/monitors.c" -lXrandr -lX11
    SKARVEL_MONITORS="$(winepath -w "$WINEPREFIX/monitors.cmd" 2>/dev/null </dev/null)"
    wineserver -w
    export SKARVEL_MONITORS
    "$WINEPREFIX/monitors" "$WINEPREFIX/monitors.cmd" \
        "$(px 1280)x$(px 800)+0+0,$(px 1024)x$(px 768)+$(px 1280)+0" >"$WINEPREFIX/monitors.log" &
    monitors_pid=$!
    for _ in $(seq 50); do
        grep -qs ready "$WINEPREFIX/monitors.log" && break
        kill -0 "$monitors_pid" 2>/dev/null || { echo "testbed: tools/monitors failed" >&2; exit 1; }
        sleep 0.1
    done
    grep -qs ready "$WINEPREFIX/monitors.log" || { echo "testbed: no monitors" >&2; exit 1; }
fi

# One session with quiet standard streams, so Wine's helpers do not hold the caller's pipes.
wineserver -p
wine wineboot </dev/null >/dev/null 2>&1

set +e
"$@"
status=$?
set -e
exit $status
