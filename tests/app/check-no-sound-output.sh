#!/usr/bin/env bash
# The real program on a desktop whose GStreamer finds no plug-ins, so no audio output and no
# player: it has to start and stay up (the ring tone is then only unavailable), not end at once.
# It runs in a network namespace of its own with no D-Bus, so it neither binds the host's ports
# nor announces itself, from a copy in a temporary directory that takes its data files.
# Usage: check-no-sound-output.sh PROGRAM      (exit 77 = skipped: not root)
set -euo pipefail
program=$1
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: needs root to run the program in a network namespace"
    exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/vocalyn-nosound.XXXXXX")
pid=""
cleanup() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/no-plugins" "$work/home"
cp "$program" "$work/vocalyn"
# A ring tone is set, so the tone's player is asked for at the first call too.
printf '[Settings]\r\nRingTone=%s\r\n' "$work/ring.wav" >"$work/Settings.ini"

env -i PATH=/usr/bin:/bin HOME="$work/home" QT_QPA_PLATFORM=offscreen \
    GST_PLUGIN_PATH="$work/no-plugins" GST_PLUGIN_PATH_1_0="$work/no-plugins" \
    GST_PLUGIN_SYSTEM_PATH="$work/no-plugins" GST_PLUGIN_SYSTEM_PATH_1_0="$work/no-plugins" \
    GST_REGISTRY="$work/registry.bin" GST_REGISTRY_1_0="$work/registry.bin" \
    GST_DEBUG=GST_REGISTRY:4 GST_DEBUG_FILE="$work/gst.log" GST_DEBUG_NO_COLOR=1 \
    DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent \
    timeout 60 unshare --net -- "$work/vocalyn" >"$work/log" 2>&1 &
pid=$!

# Five seconds cover the start-up and its windows many times over.
for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid" && rc=0 || rc=$?
    pid=""
    cat "$work/log" >&2
    echo "FAIL: the program ended (status $rc) at start without GStreamer's plug-ins" >&2
    exit 1
fi
# GStreamer started from the fresh registry of the empty plug-in path, so the check did run
# without plug-ins.
if ! grep -q "reading registry cache: $work/registry.bin" "$work/gst.log" 2>/dev/null; then
    echo "FAIL: GStreamer did not read its registry from $work/registry.bin; the check proves nothing" >&2
    exit 1
fi
echo "the program runs without GStreamer's plug-ins"
