#!/usr/bin/env bash
# Opt-in, not part of ctest: installs the Debian package into a fresh Debian 12
# root made with debootstrap, the way a user would (apt-get install ./vocalyn_*.deb,
# recommended packages included), then checks that the program links, that the
# GStreamer elements it builds its pipelines from are there, and that it starts.
# Needs root and the Debian mirror; takes a few minutes.
#
# Usage: tools/check-deb-install.sh [PACKAGE.deb]
#   Without an argument the package is built with cpack from build-pkg/.
#   VOCALYN_DEB_ROOT=DIR keeps the debootstrap result in DIR (made when missing)
#   and installs into a copy of it, so later runs skip debootstrap and still start fresh.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
    echo "needs root (debootstrap, chroot)" >&2
    exit 1
fi
for tool in debootstrap unshare chroot; do
    command -v "$tool" >/dev/null || {
        echo "missing: $tool (apt-get install debootstrap)" >&2
        exit 1
    }
done

work=$(mktemp -d /tmp/vocalyn-deb-install.XXXXXX)
trap 'rm -rf "$work"' EXIT

deb=${1:-}
if [ -z "$deb" ]; then
    build="build-pkg"
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOCALYN_BENCHMARKS=OFF >/dev/null
    cmake --build "$build" --target vocalyn vocalyn_icons
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >/dev/null
    deb=$(echo "$work"/deb/vocalyn_*.deb)
fi
[ -f "$deb" ] || {
    echo "no package: $deb" >&2
    exit 1
}

# The mirror apt already uses on this machine.
mirror=$(sed -n 's/^URIs:[[:space:]]*\(http[^[:space:]]*debian\)\/*$/\1/p' \
    /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n1)
if [ -z "$mirror" ]; then
    mirror=$(awk '$1 == "deb" && $2 ~ /^http/ && $3 == "bookworm" { print $2; exit }' \
        /etc/apt/sources.list 2>/dev/null || true)
fi
mirror=${mirror:-http://deb.debian.org/debian}

pristine=${VOCALYN_DEB_ROOT:-$work/pristine}
if [ ! -x "$pristine/usr/bin/apt-get" ]; then
    echo "debootstrap bookworm from $mirror into $pristine"
    rm -rf "$pristine"
    timeout 1200 debootstrap --variant=minbase bookworm "$pristine" "$mirror" >"$work/debootstrap.log" 2>&1 || {
        tail -n 20 "$work/debootstrap.log" >&2
        exit 1
    }
fi
root=$work/root
cp -a "$pristine" "$root"
cp "$deb" "$root/tmp/"
deb_in_root=/tmp/$(basename "$deb")

# No service may start inside the root: avahi-daemon, recommended by the
# package, would otherwise announce on the real network.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"

# Runs a command in the root with /proc and /dev, in a mount namespace of its
# own so nothing stays mounted afterwards; OFFLINE=1 also gives it a network
# namespace with nothing in it.
in_root() {
    unshare --mount --propagation private ${OFFLINE:+--net} -- bash -c '
        root=$1; shift
        mount -t proc proc "$root/proc"
        mount --rbind /dev "$root/dev"
        exec chroot "$root" "$@"' _ "$root" "$@"
}

echo "apt-get install ./$(basename "$deb")"
in_root env DEBIAN_FRONTEND=noninteractive timeout 900 \
    sh -c "apt-get update -q && apt-get install -y -q $deb_in_root" >"$work/apt.log" 2>&1 || {
    tail -n 30 "$work/apt.log" >&2
    exit 1
}

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

missing=$(in_root ldd /usr/bin/vocalyn | grep 'not found' || true)
[ -z "$missing" ] || fail "unresolved libraries: $missing"

# The elements of the voice pipelines and the ring-tone player, by plug-in file.
plugins=$(in_root sh -c 'ls -d /usr/lib/*/gstreamer-1.0' | head -n1)
for plugin in opus rtp rtpmanager udp autodetect webrtcdsp audioconvert audioresample \
    volume playback pulseaudio libav; do
    [ -e "$root$plugins/libgst$plugin.so" ] || fail "GStreamer plug-in $plugin is missing ($plugins)"
done

for file in /usr/share/applications/vocalyn.desktop /usr/share/metainfo/vocalyn.metainfo.xml \
    /usr/share/icons/hicolor/48x48/apps/vocalyn.png /usr/share/vocalyn/ringtone.wav; do
    [ -e "$root$file" ] || fail "$file is not installed"
done

# Started as the desktop entry would (Exec=vocalyn, found on PATH), off screen
# and without a network: still running after 10 s means it linked, loaded its
# plug-ins and opened its windows.
rc=0
OFFLINE=1 in_root env -i PATH=/usr/bin:/bin HOME=/root QT_QPA_PLATFORM=offscreen \
    DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent timeout 10 vocalyn >"$work/run.log" 2>&1 || rc=$?
if [ "$rc" -ne 124 ]; then
    cat "$work/run.log" >&2
    fail "vocalyn ended with status $rc within 10 s"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "$(basename "$deb") installs into a fresh Debian 12 and starts"
