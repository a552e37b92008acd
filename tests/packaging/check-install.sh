#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and checks the layout a
# Linux desktop expects: exactly the listed files, a valid desktop entry and
# AppStream metainfo that agree with each other, every icon at its size.
# Usage: check-install.sh BUILD_DIR SOURCE_DIR PROJECT_VERSION
set -euo pipefail
build=$1 src=$2 version=$3
# shellcheck source=tests/packaging/common.sh
source "$(dirname "$0")/common.sh"
require_tool desktop-file-validate desktop-file-utils
require_tool appstreamcli appstream

prefix=$(install_into_temporary_prefix "$build")
trap 'rm -rf "$prefix"' EXIT

actual=$(cd "$prefix" && find . \( -type f -o -type l \) -printf '%P\n' | LC_ALL=C sort)
if ! diff -u "$expected_files" <(echo "$actual") >&2; then
    fail "installed files differ from $expected_files (- expected, + installed)"
fi

[ -x "$prefix/bin/vocalyn" ] || fail "bin/vocalyn is not executable"

desktop="$prefix/share/applications/vocalyn.desktop"
# Hints count too: one names a missing main category, which hides the entry in most menus.
if ! report=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$report" ]; then
    echo "$report" >&2
    fail "desktop-file-validate"
fi
# The menu starts what Exec names and shows what Icon names: both must be installed.
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
icon_line=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$prefix/bin/${exec_line%% *}" ] || fail "Exec=$exec_line is not an installed program"
[ -e "$prefix/share/icons/hicolor/48x48/apps/$icon_line.png" ] || fail "Icon=$icon_line is not an installed icon"

metainfo="$prefix/share/metainfo/vocalyn.metainfo.xml"
if ! appstreamcli validate --no-net "$metainfo" >&2; then
    fail "appstreamcli validate"
fi
grep -q '<launchable type="desktop-id">vocalyn.desktop</launchable>' "$metainfo" ||
    fail "the metainfo does not launch vocalyn.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
if grep -q '@[A-Z_]*@' "$metainfo"; then
    fail "the metainfo has unconfigured placeholders"
fi

grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" ||
    fail "the metainfo does not declare the licence GPL-3.0-or-later"
grep -q '^License: GPL-3+$' "$prefix/share/doc/vocalyn/copyright" ||
    fail "the copyright file does not declare the licence GPL-3+"
manpage="$prefix/share/man/man1/vocalyn.1.gz"
if ! gzip -t "$manpage" 2>/dev/null || ! zcat "$manpage" | grep -q '^\.TH VOCALYN 1 '; then
    fail "share/man/man1/vocalyn.1.gz is not the manual page of vocalyn(1)"
fi

for dir in "$prefix"/share/icons/hicolor/*/apps; do
    size=$(basename "$(dirname "$dir")")
    got=$(png_size "$dir/vocalyn.png")
    [ "$got" = "$size" ] || fail "icon in $size is ${got:-not a PNG}"
done

cmp -s "$src/assets/ringtone.wav" "$prefix/share/vocalyn/ringtone.wav" ||
    fail "share/vocalyn/ringtone.wav is not the default ring tone"

finish
