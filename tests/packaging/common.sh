# Shared by the packaging test scripts; sourced, not run.
# shellcheck shell=bash

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck disable=SC2034 # used by the scripts that source this file
expected_files="$here/installed-files.txt"
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# A validator that is missing is a failure, not a skip: the check would
# otherwise pass without being made.
require_tool() {
    command -v "$1" >/dev/null 2>&1 || {
        echo "FAIL: $1 is missing; install the Debian package $2" >&2
        exit 1
    }
}

# cmake --install of the build tree into a new temporary prefix, echoed.
# The caller removes it.
install_into_temporary_prefix() {
    local build=$1 prefix log
    prefix=$(mktemp -d "${TMPDIR:-/tmp}/vocalyn-install.XXXXXX")
    log="$prefix.log"
    if ! cmake --install "$build" --prefix "$prefix" >"$log" 2>&1; then
        cat "$log" >&2
        rm -rf "$prefix" "$log"
        echo "FAIL: cmake --install $build" >&2
        exit 1
    fi
    rm -f "$log"
    echo "$prefix"
}

# Width and height from a PNG header, as "WxH"; empty when the file is no PNG.
png_size() {
    local -a b
    read -r -a b < <(od -An -tu1 -w24 -N24 "$1")
    [ "${#b[@]}" -eq 24 ] || return 0
    [ "${b[0]} ${b[1]} ${b[2]} ${b[3]}" = "137 80 78 71" ] || return 0
    echo "$(((b[16] << 24) | (b[17] << 16) | (b[18] << 8) | b[19]))x$(((b[20] << 24) | (b[21] << 16) | (b[22] << 8) | b[23]))"
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
}
