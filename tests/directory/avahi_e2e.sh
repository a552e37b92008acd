#!/usr/bin/env bash
# Two test hosts in network namespaces, each with its own Avahi daemon: host a announces a copy
# of the program, host b's browser finds it by name, resolves it and adds it to an address
# book; a's announcement survives a restart of its daemon; with b's daemon gone, b's walk ends
# at once with nothing listed.
#   avahi_e2e.sh PROBE TESTNET
set -euo pipefail

probe=$1
testnet=$2
readonly CALLER="Vocalyn E2E Caller"
readonly HOST_A="vocalyn-e2e-a.local"

state=$(mktemp -d /tmp/vocalyn-mdns-e2e.XXXXXX)
rmdir "$state"
publisher=
cleanup() {
    if [ -n "$publisher" ]; then
        kill "$publisher" 2>/dev/null || true
        wait "$publisher" 2>/dev/null || true
    fi
    "$testnet" down "$state"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

fail() {
    echo "FAIL: $*" >&2
    for log in "$state"/*/avahi.log; do
        [ -f "$log" ] && sed "s|^|$log: |" "$log" >&2
    done
    exit 1
}

"$testnet" up "$state" || exit $?
on() { "$testnet" run "$state" "$@"; }

"$testnet" run "$state" a "$probe" publish "$CALLER" 60 >"$state/publisher.log" 2>&1 &
publisher=$!

# Walks from b until a's announcement shows, for a bounded number of walks (2 s each).
find_a() {
    for attempt in 1 2 3 4 5 6; do
        walk=$(on b "$probe" walk) || fail "the walk failed"
        if grep -qxF "Computer Name: $CALLER" <<<"$walk" &&
            grep -qxF "Host Name and Connection Path: \\\\$HOST_A" <<<"$walk"; then
            return 0
        fi
    done
    fail "host b did not find host a's announcement; last walk:"$'\n'"$walk"
}

find_a
grep -qxF "Network Provider: Multicast DNS" <<<"$walk" || fail "no provider line"
echo "walk on b:"
echo "$walk"

# The host name works as a host field would use it: through nss-mdns.
address=$(on b getent ahostsv4 "$HOST_A" | awk 'NR == 1 { print $1 }')
expected=$("$(dirname "$testnet")/testnet.sh" addr a)
[ "$address" = "$expected" ] || fail "$HOST_A resolved to '$address', not $expected"

# The browser window adds it to an address book, with its caller ID as the name.
book=$(on b "$probe" add "$state/book") || fail "adding failed"
grep -qxF "$CALLER <$HOST_A>" <<<"$book" || fail "not added; the book holds:"$'\n'"$book"

# The announcement comes back by itself when a's daemon restarts.
"$testnet" stop-mdns "$state" a
"$testnet" start-mdns "$state" a
find_a
kill -0 "$publisher" || fail "the publisher ended when its daemon went away"

# Without a daemon the walk lists nothing and ends promptly.
"$testnet" stop-mdns "$state" b
start=$(date +%s%N)
walk=$(on b "$probe" walk) || fail "the walk without a daemon failed"
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
[ -z "$walk" ] || fail "a walk without a daemon listed: $walk"
[ "$elapsed_ms" -lt 3000 ] || fail "a walk without a daemon took $elapsed_ms ms"
echo "walk without a daemon: empty after $elapsed_ms ms"
echo "PASS"
