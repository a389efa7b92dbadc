#!/usr/bin/env bash
# Makes, once, a Debian 13 root with Wine 10 in it, for tools/testbed.sh --wine10, and prints
# its path. A root is complete only once its marker is written, as the very last step; a root
# without one is half made and is made again. The root lives outside any clone, so every clone
# on the machine shares it.
#   tools/wine10-root.sh [ROOT]   (default $SKARVEL_WINE10_ROOT or /var/cache/skarvel/wine10-root)
# Wine there is 64-bit only, as on the host: every program here is 64-bit, and leaving out
# the i386 architecture saves a third of the time and the space.
set -euo pipefail
root="${1:-${SKARVEL_WINE10_ROOT:-/var/cache/skarvel/wine10-root}}"
marker="$root/.skarvel-wine10-ready"
[ -e "$marker" ] && { echo "$root"; exit 0; }
[ "$(id -u)" = 0 ] || { echo "wine10-root: making the root needs root" >&2; exit 1; }
command -v debootstrap >/dev/null || { echo "wine10-root: debootstrap missing (tools/install-deps.sh)" >&2; exit 1; }
mkdir -p "$(dirname "$root")"
# one maker at a time; a second caller waits and then finds the marker
exec 9>"$root.lock"
flock 9
[ -e "$marker" ] && { echo "$root"; exit 0; }

# the mirror apt already uses on the host
mirror="$(sed -n 's/^URIs: *\(http[^ ]*debian\)\/\?$/\1/p; s/^deb \(http[^ ]*debian\)\/\? .*/\1/p' \
    /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null | head -n1 || true)"
mirror="${mirror:-http://deb.debian.org/debian}"

# Mounts live in a namespace of their own, so none outlives this script whatever happens.
# Nothing of the host is bound in while the root is made, so removing a half-made one is safe.
if mountpoint -q "$root/proc" 2>/dev/null || grep -qs " $root/" /proc/mounts; then
    echo "wine10-root: $root has something mounted in it; not touching it" >&2
    exit 1
fi
rm -rf "$root"
log="$(dirname "$root")/wine10-root.log"
echo "wine10-root: making $root from $mirror (log: $log)" >&2
start=$SECONDS
debootstrap --variant=minbase trixie "$root" "$mirror" >"$log" 2>&1 ||
    { echo "wine10-root: debootstrap failed, see $log" >&2; exit 1; }
unshare --mount --propagation private bash -euo pipefail -c '
    root="$1"
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
        bash -euo pipefail -c "
            apt-get update -qq
            apt-get install -y -qq --no-install-recommends wine wine64 libwine fonts-wine
            apt-get clean"
    # Wine finds its own files through /proc
    chroot "$root" /usr/bin/env WINEDEBUG=-all /usr/bin/wine --version
' _ "$root" >>"$log" 2>&1 || { echo "wine10-root: installing Wine failed, see $log" >&2; exit 1; }
echo "wine10-root: made in $((SECONDS - start)) s" >&2
date -u >"$marker"
echo "$root"
