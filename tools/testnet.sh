#!/bin/bash
# Test hosts for end-to-end tests: network namespaces joined by one bridge, with addresses from
# 198.18.0.0/15 (the benchmarking range, never routed), so that copies of the program can call
# each other as separate computers without touching any real network.
#
#   tools/testnet.sh up     [PREFIX]   create PREFIX-br (the bridge) and the hosts PREFIX-a,
#                                      PREFIX-b, PREFIX-c at 198.18.0.1, .2 and .3 (/24)
#   tools/testnet.sh down   [PREFIX]   remove them again (also whatever a failed "up" left)
#   tools/testnet.sh check  [PREFIX]   exit 0 when network namespaces can be made here, else
#                                      print why and exit 77 (the ctest code for "skipped")
#   tools/testnet.sh addr   HOST       print the address of host a, b or c
#   tools/testnet.sh status [PREFIX]   list the test hosts and their addresses
#
# Run a program on a host with: ip netns exec PREFIX-a program...
# PREFIX defaults to "vtn"; give each concurrent test run its own. Needs root (CAP_SYS_ADMIN and
# CAP_NET_ADMIN) and iproute2.
set -u

HOSTS=(a b c)

address_of() {
    case "$1" in
    a) echo 198.18.0.1 ;;
    b) echo 198.18.0.2 ;;
    c) echo 198.18.0.3 ;;
    *) echo "unknown host '$1' (a, b or c)" >&2; return 2 ;;
    esac
}

namespaces_of() {
    local prefix=$1 host
    echo "$prefix-br"
    for host in "${HOSTS[@]}"; do echo "$prefix-$host"; done
}

down() {
    local prefix=$1 ns
    # Removing a namespace removes the veth ends inside it, and with them their peers.
    for ns in $(namespaces_of "$prefix"); do
        if ip netns list | awk '{print $1}' | grep -qx -- "$ns"; then
            ip netns pids "$ns" 2>/dev/null | xargs -r kill -TERM 2>/dev/null
            ip netns del "$ns" || echo "could not remove namespace $ns" >&2
        fi
        # Files a test put there for the namespace (hosts, resolv.conf).
        rm -rf "/etc/netns/$ns"
    done
}

up() {
    local prefix=$1 host
    down "$prefix"
    set -e
    ip netns add "$prefix-br"
    ip -n "$prefix-br" link set lo up
    ip -n "$prefix-br" link add br0 type bridge
    ip -n "$prefix-br" link set br0 up
    for host in "${HOSTS[@]}"; do
        local ns="$prefix-$host"
        ip netns add "$ns"
        ip -n "$ns" link set lo up
        # One cable per host: eth0 in the host, port-<host> on the bridge.
        ip -n "$ns" link add eth0 type veth peer name "port-$host" netns "$prefix-br"
        ip -n "$prefix-br" link set "port-$host" master br0
        ip -n "$prefix-br" link set "port-$host" up
        ip -n "$ns" addr add "$(address_of "$host")/24" dev eth0
        ip -n "$ns" link set eth0 up
    done
    set +e
    # Ready once every bridge port forwards and every cable has carrier; a bounded wait.
    local tries ready
    for tries in $(seq 1 50); do
        ready=1
        for host in "${HOSTS[@]}"; do
            ip -n "$prefix-br" -d link show dev "port-$host" | grep -q "state forwarding" || ready=0
            ip -n "$prefix-$host" link show dev eth0 | grep -q "LOWER_UP" || ready=0
        done
        [ "$ready" = 1 ] && return 0
        sleep 0.1
    done
    echo "the test hosts' links did not come up" >&2
    return 1
}

check() {
    local prefix=$1 probe="$1-check$$"
    if ! command -v ip >/dev/null; then
        echo "SKIP: iproute2 ('ip') is not installed" >&2
        return 77
    fi
    if ! ip netns add "$probe" 2>/dev/null; then
        echo "SKIP: network namespaces cannot be created here (needs root with CAP_SYS_ADMIN)" >&2
        return 77
    fi
    if ! ip -n "$probe" link add eth0 type veth peer name eth1 2>/dev/null; then
        ip netns del "$probe"
        echo "SKIP: veth pairs cannot be created here (needs CAP_NET_ADMIN)" >&2
        return 77
    fi
    ip netns del "$probe"
}

status() {
    local prefix=$1 host
    for host in "${HOSTS[@]}"; do
        printf '%s-%s\t%s\t' "$prefix" "$host" "$(address_of "$host")"
        ip -n "$prefix-$host" -4 -brief addr show dev eth0 2>/dev/null || echo "absent"
    done
}

command=${1:-}
prefix=${2:-vtn}
case "$command" in
up) up "$prefix" ;;
down) down "$prefix" ;;
check) check "$prefix" ;;
addr) address_of "${2:-}" ;;
status) status "$prefix" ;;
*)
    awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"
    exit 2
    ;;
esac
