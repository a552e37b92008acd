#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format makes of it with
# the root .clang-format, or includes a header by a relative path, and names each such file.
# Run by .ci/run.
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
# Every include names its header from the tree's root ("net/DottedAddress.h"); one relative to
# the including file would walk around the layers' include roots (cmake/Layers.cmake).
relative=$(git ls-files -z -- '*.cpp' '*.h' |
    xargs -0 grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*\.\./|\./|[^/"]*")' || true)
if [ -n "$relative" ]; then
    echo "Relative includes (name the header from the tree's root):" >&2
    echo "$relative" >&2
    exit 1
fi
echo "check-format: every C++ file is formatted, every include named from the root"
