#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing.
# Runs apt-get as root directly, otherwise through sudo; does nothing when
# every package is already there.
set -euo pipefail

missing=()
for package in "$@"; do
    status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null || true)
    [[ "$status" == ii* ]] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
else
    echo "Missing packages and neither root nor sudo: ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# For tests and CI (VOCALYN_NO_DAEMONS=1) no service may start on the real
# interfaces: an mDNS daemon runs only inside test namespaces. A policy-rc.d
# that refuses every start does that for the length of the install.
guard=""
if [ "${VOCALYN_NO_DAEMONS:-0}" = 1 ] && [ ! -e /usr/sbin/policy-rc.d ]; then
    guard=/usr/sbin/policy-rc.d
    printf '#!/bin/sh\nexit 101\n' | "${as_root[@]}" tee "$guard" >/dev/null
    "${as_root[@]}" chmod +x "$guard"
    trap '"${as_root[@]}" rm -f "$guard"' EXIT
fi
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
if [ -n "$guard" ] && command -v systemctl >/dev/null 2>&1 && [ -d /run/systemd/system ]; then
    "${as_root[@]}" systemctl disable --now avahi-daemon.socket avahi-daemon.service 2>/dev/null || true
fi
