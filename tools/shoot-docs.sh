#!/bin/bash
# Makes every picture of README.md from the current build:
#   main-window.png  a copy just started and idle, its camera in the small panel
#   call.png         the caller's window during a call, the other side's camera filling it
# Two test-mode copies of the program (tests/e2e/vocalyn_peer: the real windows and network, a
# test camera, no sound) run on two test hosts (tools/testnet.sh), each on its own Xvfb screen;
# ImageMagick cuts each window out of its screen.
# Usage: tools/shoot-docs.sh [OUT_DIR]   (default: docs/ of this tree)
# Needs root and a build in build/ with the target vocalyn_peer; installs SHOT_PACKAGES of
# tools/packages.sh when they are missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs}
peer=$root/build/tests/e2e/vocalyn_peer
work=$(mktemp -d "${TMPDIR:-/tmp}/vocalyn-shot.XXXXXX")
prefix=vshot
screen_w=1280
screen_h=1024

[ -x "$peer" ] || { echo "no $peer: cmake --build build --target vocalyn_peer" >&2; exit 1; }
# shellcheck source=tools/packages.sh
source "$root/tools/packages.sh"
VOCALYN_NO_DAEMONS=1 "$root/tools/install-deps.sh" "${SHOT_PACKAGES[@]}"

pids=()
etc_dirs=()
cleanup() {
    exec 3>&- 4>&- 2>/dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    "$root/tools/testnet.sh" down $prefix >/dev/null 2>&1 || true
    for dir in "${etc_dirs[@]}"; do rm -rf "$dir"; done
    rmdir /etc/netns 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$root/tools/testnet.sh" up $prefix >/dev/null

# A copy of the program on test host $1, display :$2, data in $work/$3, under the host name $4;
# commands go to fd $5.
start() {
    local host=$1 display=$2 who=$3 name=$4 fd=$5 dir=$work/$3
    mkdir -p "$dir"
    # Each test host gets a name of its own that resolves to its address, as on a real network,
    # so that the bottom right of each window shows a desktop's name and address. ip netns exec
    # lays the files of /etc/netns/NAMESPACE/ over /etc for the programs it starts.
    local etc=/etc/netns/$prefix-$host
    [ -e "$etc" ] && { echo "$etc exists already; remove it first" >&2; exit 1; }
    mkdir -p "$etc"
    etc_dirs+=("$etc")
    printf '127.0.0.1 localhost\n%s %s\n' "$("$root/tools/testnet.sh" addr "$host")" "$name" \
        >"$etc/hosts"
    printf '[Settings]\r\nRingTime=10\r\nMessage=%s is away\r\nCallerID=%s\r\n' "$who" "$who" \
        >"$dir/Settings.ini"
    : >"$dir/IPAddress.dat"
    Xvfb ":$display" -screen 0 ${screen_w}x${screen_h}x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    mkfifo "$dir.in"
    : >"$dir.out"
    # shellcheck disable=SC2016 # expanded by the inner shell
    DISPLAY=:$display QT_QPA_PLATFORM=xcb ip netns exec "$prefix-$host" unshare --uts -- \
        sh -c 'hostname "$1" && exec "$2" "$3"' sh "$name" "$peer" "$dir" \
        <"$dir.in" >"$dir.out" 2>"$dir.err" &
    pids+=($!)
    eval "exec $fd>\"$dir.in\""
}

# Sends a command to a copy and waits (bounded) for its answer line; prints the answer.
ask() {
    local who=$1 fd=$2 command=$3 lines answer
    lines=$(wc -l <"$work/$who.out")
    echo "$command" >&"$fd"
    for _ in $(seq 300); do
        if [ "$(wc -l <"$work/$who.out")" -gt "$lines" ]; then
            answer=$(sed -n "$((lines + 1))p" "$work/$who.out")
            echo "$answer"
            return 0
        fi
        sleep 0.1
    done
    echo "no answer from $who to: $command" >&2
    cat "$work/$who.err" >&2
    exit 1
}

# Asks until the copy's answer says it is so.
expect() {
    local who=$1 fd=$2 command=$3 answer
    answer=$(ask "$who" "$fd" "$command")
    [ "$answer" = ok ] || { echo "$who: $command: $answer" >&2; exit 1; }
}

# Until a copy's window has shown at least $3 pictures of the other side.
wait_pictures() {
    local who=$1 fd=$2 wanted=$3 shown
    for _ in $(seq 100); do
        shown=$(ask "$who" "$fd" "video state" | tr ' ' '\n' | sed -n 's/^shown=//p')
        [ "${shown:-0}" -ge "$wanted" ] && return 0
        sleep 0.1
    done
    echo "$who shows no pictures of the other side" >&2
    exit 1
}

# The window of display :$1, cut out of the screen into $2: with no window manager the screen is
# black around it, and its grey border is the edge of what is not black.
shoot() {
    import -display ":$1" -window root -trim +repage "$2"
}

start a 91 Alice alice-desktop 3
start b 92 Bob bob-laptop 4
expect Alice 3 "wait 10000 activated=1 listening=1"
expect Bob 4 "wait 10000 activated=1 listening=1"
# The camera's first frames, and the window fully painted.
sleep 1
shoot 91 "$out/main-window.png"

ask Alice 3 "type $("$root/tools/testnet.sh" addr b)" >/dev/null
expect Alice 3 "click call"
expect Bob 4 "wait 10000 ringing=1"
expect Bob 4 "click call"
expect Alice 3 "wait 10000 link=1 video=1 dialog=hidden"
wait_pictures Alice 3 10
shoot 91 "$out/call.png"

ask Alice 3 "click end" >/dev/null
ask Bob 4 "click end" >/dev/null
echo "wrote $out/main-window.png and $out/call.png"
