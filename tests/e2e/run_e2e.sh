#!/bin/bash
# Runs an end-to-end test program between test hosts made for it alone, and removes the hosts
# afterwards whatever happens. Exits 77 (skipped) with the reason when test hosts cannot be
# made here.
#
#   run_e2e.sh TESTNET_SCRIPT PREFIX PROGRAM [ARGUMENTS...]
#
# PROGRAM finds the hosts' namespaces through VOCALYN_NETNS_PREFIX (PREFIX-a, -b, -c).
set -u
testnet=$1
prefix=$2
shift 2

"$testnet" check "$prefix" || exit $?
trap '"$testnet" down "$prefix"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
"$testnet" up "$prefix" || exit 1
# In a sanitizer build the peers must not hold freed memory back (the floods
# measure memory growth) nor report the one-off allocations of Qt and GLib
# at exit; other builds ignore these settings.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=1:detect_leaks=0"
VOCALYN_NETNS_PREFIX=$prefix "$@"
