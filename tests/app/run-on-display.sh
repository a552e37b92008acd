#!/usr/bin/env bash
# Runs a test program on a real display server instead of the offscreen platform: a headless
# Wayland compositor (weston, pixman renderer) or an X server in memory (Xvfb). The program's
# standard error must not hold the warnings a platform gives for what it cannot do.
# Usage: run-on-display.sh wayland|x11 PROGRAM [ARGS...]      (exit 77 = skipped)
set -uo pipefail
kind=$1
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/vocalyn-display.XXXXXX")
server=""
cleanup() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null
        wait "$server" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT
chmod 700 "$work"

case "$kind" in
wayland)
    command -v weston >/dev/null || { echo "skipped: weston is not installed"; exit 77; }
    [ -e /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so ] ||
        ls /usr/lib/*/qt6/plugins/platforms/libqwayland* >/dev/null 2>&1 ||
        { echo "skipped: Qt's Wayland plug-in (qt6-wayland) is not installed"; exit 77; }
    export XDG_RUNTIME_DIR=$work
    weston --backend=headless-backend.so --use-pixman --socket=wayland-test --idle-time=0 \
        --width=1280 --height=1024 >"$work/weston.log" 2>&1 &
    server=$!
    for _ in $(seq 1 100); do
        [ -S "$work/wayland-test" ] && break
        sleep 0.05
    done
    [ -S "$work/wayland-test" ] || { cat "$work/weston.log"; echo "weston did not start"; exit 1; }
    env -u DISPLAY WAYLAND_DISPLAY=wayland-test QT_QPA_PLATFORM=wayland "$@" 2>"$work/stderr"
    status=$?
    ;;
x11)
    command -v Xvfb >/dev/null || { echo "skipped: Xvfb is not installed"; exit 77; }
    display=:$((100 + RANDOM % 800))
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    server=$!
    for _ in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X${display#:}" ] && break
        sleep 0.05
    done
    env -u WAYLAND_DISPLAY DISPLAY="$display" QT_QPA_PLATFORM=xcb "$@" 2>"$work/stderr"
    status=$?
    ;;
*)
    echo "usage: run-on-display.sh wayland|x11 PROGRAM [ARGS...]" >&2
    exit 2
    ;;
esac

cat "$work/stderr" >&2
if grep -E "does not support|Failed to create|Could not" "$work/stderr"; then
    echo "the platform warned (above)"
    exit 1
fi
exit "$status"
