#!/bin/bash
# Screenshots of the real program just started, on the two kinds of desktop and at two scales:
#   desktop-x11-100.png  desktop-x11-200.png  desktop-wayland-100.png  desktop-wayland-200.png
# X11 is Xvfb; Wayland is weston's headless backend with its desktop shell. The program is the
# test-mode copy (tests/e2e/vocalyn_peer: the real windows, a test camera, no sound), in a
# network namespace of its own so that no traffic leaves it.
# Usage: tools/shoot-desktops.sh [OUT_DIR]   (default: docs/ of this tree; needs root, a build in
# build/ with the target vocalyn_peer; installs SHOT_PACKAGES of tools/packages.sh when missing)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs}
program=$root/build/tests/e2e/vocalyn_peer
[ -x "$program" ] || { echo "no $program: cmake --build build --target vocalyn_peer" >&2; exit 1; }
# shellcheck source=tools/packages.sh
source "$root/tools/packages.sh"
VOCALYN_NO_DAEMONS=1 "$root/tools/install-deps.sh" "${SHOT_PACKAGES[@]}"
work=$(mktemp -d "${TMPDIR:-/tmp}/vocalyn-desktops.XXXXXX")
chmod 700 "$work"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Starts the program from a copy in $work/$1 with the environment given after it.
run_program() {
    local dir=$work/$1
    shift
    mkdir -p "$dir/home"
    : >"$dir/IPAddress.dat"
    printf '[Settings]\r\nCallerID=Front desk\r\n' >"$dir/Settings.ini"
    # Its commands come on standard input, which stays open (and empty) meanwhile.
    sleep 60 | env -i PATH=/usr/bin:/bin HOME="$dir/home" "$@" unshare -n "$program" "$dir" \
        >"$dir.log" 2>&1 &
    pids+=($!)
}

for scale in 1 2; do
    percent=$((scale * 100))
    display=:$((600 + scale))
    Xvfb "$display" -screen 0 1600x1500x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
    run_program "x11-$scale" DISPLAY="$display" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale
    sleep 4
    import -display "$display" -window root "$out/desktop-x11-$percent.png"

    runtime=$work/runtime-$scale
    mkdir -m 700 "$runtime"
    XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --use-pixman --debug \
        --socket=wayland-shot --width=1600 --height=1500 --idle-time=0 >"$work/weston-$scale.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -S "$runtime/wayland-shot" ] && break; sleep 0.1; done
    run_program "wayland-$scale" XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY=wayland-shot \
        QT_QPA_PLATFORM=wayland QT_SCALE_FACTOR=$scale
    sleep 4
    # The screenshooter writes wayland-screenshot-<time>.png into the current directory.
    (cd "$runtime" && XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=wayland-shot weston-screenshooter)
    mv "$runtime"/wayland-screenshot-*.png "$out/desktop-wayland-$percent.png"
done
ls -l "$out"/desktop-*.png
