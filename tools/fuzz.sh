#!/usr/bin/env bash
# Builds every libFuzzer target with clang and runs each one for the given
# number of seconds (default 30) on a copy of its seed corpus in fuzz/corpus/<name>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
source tools/packages.sh
VOCALYN_NO_DAEMONS=1 tools/install-deps.sh "${BUILD_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVOCALYN_FUZZ=ON -DVOCALYN_TESTS=OFF -DVOCALYN_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz --target fuzzers
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for fuzzer in build-fuzz/fuzz/fuzz_*; do
    name=$(basename "$fuzzer")
    corpus="$work/${name#fuzz_}"
    mkdir -p "$corpus"
    cp -r "fuzz/corpus/${name#fuzz_}/." "$corpus/" 2>/dev/null || true
    echo "== $name for ${seconds}s"
    "$fuzzer" "$corpus" -max_total_time="$seconds" -print_final_stats=1 2>&1 | tail -n 4
    # libFuzzer exits non-zero on a crash or a failed check; pipefail carries it here.
done
