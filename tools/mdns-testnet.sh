#!/usr/bin/env bash
# mDNS on the test hosts of tools/testnet.sh: each host gets a private D-Bus system bus and an
# Avahi daemon that sees only the host's own cable (eth0), so nothing runs on the machine's real
# interfaces. Each host's programs run in its own mount namespace, where /run is a private tmpfs:
# the daemon's pid file and the socket that nss-mdns asks are the host's own.
#
#   mdns-testnet.sh up STATE [HOST...]   make the test hosts (default a b) with mDNS; STATE is
#                                        a new folder that keeps what `down` needs
#   mdns-testnet.sh run STATE HOST CMD   run CMD on HOST with that host's bus and /run; the
#                                        command takes this script's pid (exec)
#   mdns-testnet.sh stop-mdns STATE HOST stop HOST's Avahi daemon
#   mdns-testnet.sh start-mdns STATE HOST start it again
#   mdns-testnet.sh down STATE           remove everything `up` made; safe to run again
#
# Host a announces itself as vocalyn-e2e-a.local, and so on; the addresses are testnet.sh's.
# `up` exits with 77 when test hosts or daemons cannot be had here.
set -euo pipefail

readonly SKIP=77
readonly WAIT_STEPS=100 # of 0.1 s: how long a daemon may take to come up
TESTNET="$(dirname "$0")/testnet.sh"
readonly TESTNET

die_skip() {
    echo "SKIP: $*" >&2
    exit "$SKIP"
}

# The pid of the process that holds the host's mount namespace.
holder_pid() { cat "$1/$2/holder.pid"; }

# Starts a program on a host in the background, its log in STATE/HOST/NAME.log and its own pid
# in STATE/HOST/NAME.pid.
start_in_host() {
    local state=$1 host=$2 name=$3
    shift 3
    (
        export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$state/$host/bus"
        exec nsenter --target "$(holder_pid "$state" "$host")" --net --mount -- "$@"
    ) </dev/null >"$state/$host/$name.log" 2>&1 &
    echo $! >"$state/$host/$name.pid"
}

wait_for() {
    local what=$1
    shift
    for ((i = 0; i < WAIT_STEPS; i++)); do
        if "$@" >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.1
    done
    echo "mdns-testnet: $what did not come up" >&2
    return 1
}

write_configs() {
    local dir=$1 name=$2
    cat >"$dir/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:path=$dir/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
EOF
    cat >"$dir/avahi.conf" <<EOF
[server]
host-name=$name
use-ipv4=yes
use-ipv6=no
allow-interfaces=eth0
enable-dbus=yes
[wide-area]
enable-wide-area=no
[publish]
publish-workstation=yes
publish-hinfo=no
EOF
}

start_host() {
    local state=$1 host=$2 netns=$3
    local dir=$state/$host
    mkdir -p "$dir"
    write_configs "$dir" "vocalyn-e2e-$host"
    ip netns exec "$netns" unshare --mount --propagation private \
        sh -c 'mount -t tmpfs tmpfs /run && mkdir /run/avahi-daemon && exec sleep 900' \
        </dev/null >/dev/null 2>&1 &
    echo $! >"$dir/holder.pid"
    wait_for "host $host" test -d "/proc/$(holder_pid "$state" "$host")/root/run/avahi-daemon"

    start_in_host "$state" "$host" dbus dbus-daemon --config-file="$dir/bus.conf" --nofork \
        --nopidfile
    wait_for "the D-Bus daemon of host $host" test -S "$dir/bus"

    start_mdns "$state" "$host"
}

start_mdns() {
    local state=$1 host=$2
    start_in_host "$state" "$host" avahi avahi-daemon --no-drop-root --no-chroot --no-rlimits \
        --no-proc-title -f "$state/$host/avahi.conf"
    wait_for "the Avahi daemon of host $host" \
        grep -q "Server startup complete" "$state/$host/avahi.log"
}

up() {
    local state=$1
    shift
    local hosts=("$@")
    [ ${#hosts[@]} -gt 0 ] || hosts=(a b)
    for tool in nsenter unshare dbus-daemon avahi-daemon; do
        command -v "$tool" >/dev/null 2>&1 || die_skip "$tool is not installed"
    done
    [ -x "$TESTNET" ] || die_skip "$TESTNET is missing"
    "$TESTNET" check "vmd$$" || exit $?
    mkdir -p "$state"
    local prefix="vmd$$"
    echo "$prefix" >"$state/prefix"
    printf '%s\n' "${hosts[@]}" >"$state/hosts"
    "$TESTNET" up "$prefix"
    for host in "${hosts[@]}"; do
        start_host "$state" "$host" "$prefix-$host"
    done
}

# Stops the programs whose pid files are given: all asked at once, then killed after 3 s.
stop_pids() {
    local pids=() file
    for file in "$@"; do
        [ -f "$file" ] || continue
        pids+=("$(cat "$file")")
        rm -f "$file"
    done
    [ ${#pids[@]} -gt 0 ] || return 0
    kill "${pids[@]}" 2>/dev/null || true
    local pid alive
    for ((i = 0; i < 30; i++)); do
        alive=
        for pid in "${pids[@]}"; do
            kill -0 "$pid" 2>/dev/null && alive=yes
        done
        [ -n "$alive" ] || return 0
        sleep 0.1
    done
    kill -9 "${pids[@]}" 2>/dev/null || true
}

down() {
    local state=$1
    [ -d "$state" ] || return 0
    if [ -f "$state/hosts" ]; then
        local files=() host
        while read -r host; do
            files+=("$state/$host/avahi.pid" "$state/$host/dbus.pid" "$state/$host/holder.pid")
        done <"$state/hosts"
        stop_pids "${files[@]}"
    fi
    if [ -f "$state/prefix" ]; then
        "$TESTNET" down "$(cat "$state/prefix")"
    fi
    rm -rf "$state"
}

command=${1:-}
case "$command" in
up)
    shift
    up "$@"
    ;;
run)
    state=$2 host=$3
    shift 3
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$state/$host/bus"
    exec nsenter --target "$(holder_pid "$state" "$host")" --net --mount -- "$@"
    ;;
stop-mdns) stop_pids "$2/$3/avahi.pid" ;;
start-mdns) start_mdns "$2" "$3" ;;
down) down "$2" ;;
*)
    echo "usage: $0 up|run|stop-mdns|start-mdns|down STATE [HOST [COMMAND...]]" >&2
    exit 2
    ;;
esac
