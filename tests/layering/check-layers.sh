#!/usr/bin/env bash
# Builds each layer probe and checks its outcome: a "hidden" probe must fail because its
# header is not found, a "visible" one must compile.
# Usage: check-layers.sh BUILD_DIR LAYER|KIND|HEADER|TARGET...
set -uo pipefail
build=$1
shift
failures=0
for probe in "$@"; do
    IFS='|' read -r layer kind header target <<<"$probe"
    output=$(cmake --build "$build" --target "$target" 2>&1)
    status=$?
    if [ "$kind" = visible ]; then
        if [ $status -ne 0 ]; then
            echo "$output" >&2
            echo "FAIL: layer $layer cannot include its own $header" >&2
            failures=$((failures + 1))
        fi
    elif [ $status -eq 0 ]; then
        echo "FAIL: layer $layer includes $header, which it must not see" >&2
        failures=$((failures + 1))
    elif ! grep -q "$header: No such file" <<<"$output"; then
        echo "$output" >&2
        echo "FAIL: layer $layer: the probe of $header failed for another reason" >&2
        failures=$((failures + 1))
    fi
done
[ $failures -eq 0 ] || exit 1
echo "layering: $(($# / 2)) layers checked in both directions"
