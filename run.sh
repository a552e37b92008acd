#!/usr/bin/env bash
# Installs what is missing, builds a release build and starts Vocalyn.
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
tools/install-deps.sh "${BUILD_PACKAGES[@]}"
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DVOCALYN_TESTS=OFF -DVOCALYN_BENCHMARKS=OFF >/dev/null
cmake --build build-release --target vocalyn
exec build-release/app/vocalyn "$@"
