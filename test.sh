#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with ctest.
# Exits non-zero on any failure. Extra arguments go to ctest (e.g. -L net).
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
VOCALYN_NO_DAEMONS=1 tools/install-deps.sh "${TEST_PACKAGES[@]}"
build=${VOCALYN_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${VOCALYN_BUILD_TYPE:-RelWithDebInfo} \
    ${VOCALYN_CMAKE_ARGS:-} >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@"
