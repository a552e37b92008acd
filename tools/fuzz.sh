#!/usr/bin/env bash
# Builds every libFuzzer target with clang (AddressSanitizer and UndefinedBehaviorSanitizer
# included) and runs each one for the given number of seconds, at least 60, on a copy of its
# seed corpus in fuzz/corpus/<name>: no crash, no leak, no input slower than the per-input
# timeout and no more than 512 MiB of memory. VOCALYN_FUZZ_BUILD_DIR moves the build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ((seconds < 60)); then
    seconds=60
fi
build=${VOCALYN_FUZZ_BUILD_DIR:-build-fuzz}
source tools/packages.sh
VOCALYN_NO_DAEMONS=1 tools/install-deps.sh "${BUILD_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVOCALYN_FUZZ=ON -DVOCALYN_TESTS=OFF -DVOCALYN_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target fuzzers

# The largest input a target's real source can hand over, where libFuzzer's default is not it.
max_len_of() {
    case "$1" in
    fuzz_video_datagram) echo -max_len=65507 ;; # one UDP datagram over IPv4
    fuzz_signal) echo -max_len=8192 ;;          # the signalling listener's buffer
    esac
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for fuzzer in "$build"/fuzz/fuzz_*; do
    [[ -f "$fuzzer" && -x "$fuzzer" ]] || continue # not the build's own folders
    name=$(basename "$fuzzer")
    corpus="$work/${name#fuzz_}"
    mkdir -p "$corpus"
    cp -r "fuzz/corpus/${name#fuzz_}/." "$corpus/" 2>/dev/null || true
    echo "== $name for ${seconds}s"
    # A smaller quarantine than AddressSanitizer's 256 MiB, so that the memory limit measures
    # the code under test rather than the sanitizer's bookkeeping.
    ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=64 "$fuzzer" "$corpus" -max_total_time="$seconds" \
        -rss_limit_mb=512 -malloc_limit_mb=512 -timeout=10 $(max_len_of "$name") \
        -print_final_stats=1 2>&1 | tail -n 6
    # libFuzzer exits non-zero on a crash, a leak, a timeout or the memory limit; pipefail
    # carries it here.
done
