#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format makes of it with
# the root .clang-format, and names each such file. Run by .ci/run.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh
tools/install-deps.sh "${FORMAT_PACKAGES[@]}"

unformatted=()
while IFS= read -r -d '' file; do
    if ! clang-format-14 --dry-run --Werror "$file" >/dev/null 2>&1; then
        unformatted+=("$file")
    fi
done < <(git ls-files -z -- '*.cpp' '*.h')
if [ ${#unformatted[@]} -ne 0 ]; then
    echo "Not formatted (clang-format-14 -i FILE):" >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    exit 1
fi
echo "check-format: every C++ file is formatted"
