#!/usr/bin/env bash
# A system-wide install: the installed program, run by a user who cannot
# write to its bin/ directory, keeps its settings and address book in
# ~/.config/vocalyn/ and leaves bin/ alone.
# It runs as "nobody" in a network namespace of its own, with no D-Bus, so it
# neither binds the host's ports nor announces itself; it is stopped as soon as
# its data directory appears.
# Usage: check-installed-data-dir.sh BUILD_DIR      (exit 77 = skipped: not root)
set -euo pipefail
build=$1
# shellcheck source=tests/packaging/common.sh
source "$(dirname "$0")/common.sh"
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: needs root to run the program as another user in a network namespace"
    exit 77
fi
user=nobody
uid=$(id -u "$user")
gid=$(id -g "$user")

prefix=$(install_into_temporary_prefix "$build")
home="$prefix.home"
pid=""
cleanup() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$prefix" "$home" "$home.log"
}
trap cleanup EXIT
chmod 755 "$prefix"
mkdir -m 700 "$home"
chown "$uid:$gid" "$home"

if setpriv --reuid="$uid" --regid="$gid" --clear-groups -- test -w "$prefix/bin"; then
    fail "$user can write to the installed bin/, so the check proves nothing"
    finish
fi

env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen \
    DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent \
    timeout 60 unshare --net -- \
    setpriv --reuid="$uid" --regid="$gid" --clear-groups -- "$prefix/bin/vocalyn" \
    >"$home.log" 2>&1 &
pid=$!

config="$home/.config/vocalyn"
for _ in $(seq 300); do
    [ -d "$config" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if [ -d "$config" ]; then
    [ "$(stat -c %u "$config")" = "$uid" ] || fail "$config is not owned by $user"
elif kill -0 "$pid" 2>/dev/null; then
    fail "no $config after 30 s"
else
    wait "$pid" && rc=0 || rc=$?
    pid=""
    cat "$home.log" >&2
    fail "the installed program ended (status $rc) before choosing its data directory"
fi
rm -f "$home.log"

left=$(cd "$prefix/bin" && find . -mindepth 1 -printf '%P\n')
[ "$left" = vocalyn ] || fail "bin/ holds more than the program: $(echo "$left" | tr '\n' ' ')"

finish
