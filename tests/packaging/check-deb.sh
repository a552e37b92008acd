#!/usr/bin/env bash
# Builds the Debian package with CPack and checks what it declares: name,
# version, section, the runtime dependencies a fresh Debian 12 needs, and
# exactly the installed files under /usr, owned by root; and what lintian says of it: no error,
# and only the warnings explained in lintian-accepted.txt.
# Usage: check-deb.sh BUILD_DIR PROJECT_VERSION
set -euo pipefail
build=$1 version=$2
# shellcheck source=tests/packaging/common.sh
source "$(dirname "$0")/common.sh"
require_tool dpkg-deb dpkg
require_tool dpkg-shlibdeps dpkg-dev
require_tool lintian lintian

out=$(mktemp -d "${TMPDIR:-/tmp}/vocalyn-deb.XXXXXX")
trap 'rm -rf "$out"' EXIT
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1; then
    cat "$out/cpack.log" >&2
    echo "FAIL: cpack -G DEB" >&2
    exit 1
fi
shopt -s nullglob
debs=("$out"/vocalyn_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
    cat "$out/cpack.log" >&2
    echo "FAIL: expected one vocalyn_*.deb, got ${#debs[@]}" >&2
    exit 1
fi
deb=${debs[0]}
field() { dpkg-deb -f "$deb" "$1"; }

[ "$(basename "$deb")" = "vocalyn_${version}-1_$(dpkg --print-architecture).deb" ] ||
    fail "file name $(basename "$deb")"
[ "$(field Package)" = vocalyn ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version-1" ] || fail "Version: $(field Version)"
[ "$(field Section)" = net ] || fail "Section: $(field Section)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ "$(field Description | head -n1)" = "video intercom for the local network" ] ||
    fail "Description: $(field Description | head -n1)"
long_text=$(field Description | tail -n +2)
[ -n "$long_text" ] || fail "the Description has no long text"
# CPack adds the summary line itself; set twice it would open the long text too.
[ "$(head -n1 <<<"$long_text" | sed 's/^ //')" != "$(field Description | head -n1)" ] ||
    fail "the long Description repeats the summary"

# Every alternative of every dependency, one name a line, versions dropped.
depends=$(field Depends)
names=$(echo "$depends" | tr ',|' '\n\n' | sed -e 's/(.*)//' -e 's/[[:space:]]//g' | sed '/^$/d')
for needed in libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins \
    libgstreamer1.0-0 gstreamer1.0-plugins-base gstreamer1.0-plugins-good \
    gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly gstreamer1.0-libav \
    gstreamer1.0-pulseaudio gstreamer1.0-alsa \
    libjpeg62-turbo libv4l-0 libavahi-client3 libnss-mdns fonts-liberation libc6; do
    grep -qx -- "$needed" <<<"$names" || fail "Depends lacks $needed"
done
# dpkg-shlibdeps names the linked libraries with the versions they need.
grep -Eq 'libqt6widgets6 \(>= [0-9]' <<<"$depends" || fail "libqt6widgets6 has no version: $depends"
dupes=$(sort <<<"$names" | uniq -d)
[ -z "$dupes" ] || fail "Depends names twice: $dupes"
recommends=$(field Recommends | tr ',' '\n' | sed 's/[[:space:]]//g')
for wanted in avahi-daemon qt6-wayland; do
    grep -qx -- "$wanted" <<<"$recommends" || fail "Recommends: $(field Recommends)"
done

# Contents: files only (directories are implied), as ./usr/<installed path>.
listing=$(dpkg-deb -c "$deb")
files=$(awk '$1 !~ /^d/ { print $6 }' <<<"$listing" | LC_ALL=C sort)
if ! diff -u <(sed 's|^|./usr/|' "$expected_files") <(echo "$files") >&2; then
    fail "packaged files differ from $expected_files (- expected, + packaged)"
fi
owners=$(awk '{ print $2 }' <<<"$listing" | sort -u)
[ "$owners" = root/root ] || fail "owners: $owners"
awk '$6 == "./usr/bin/vocalyn" { exit $1 == "-rwxr-xr-x" ? 0 : 1 }' <<<"$listing" ||
    fail "/usr/bin/vocalyn is not mode 755"
others=$(awk '$1 !~ /^d/ && $6 != "./usr/bin/vocalyn" && $1 != "-rw-r--r--" { print $6 }' <<<"$listing")
[ -z "$others" ] || fail "not mode 644: $others"

# Lintian: errors fail; a warning passes only when lintian-accepted.txt names its tag with why.
accepted=$(sed -e 's/#.*//' -e 's/[[:space:]]//g' -e '/^$/d' "$(dirname "$0")/lintian-accepted.txt")
report=$(lintian --no-cfg --tag-display-limit 0 "$deb" 2>&1) || true
while IFS= read -r line; do
    case "$line" in
    E:*) fail "lintian: $line" ;;
    W:*)
        tag=$(awk '{ print $3 }' <<<"$line")
        grep -qx -- "$tag" <<<"$accepted" || fail "lintian warning not explained: $line"
        ;;
    esac
done <<<"$report"

echo "$(basename "$deb"): Depends: $depends"
echo "lintian: $(grep -c '^[EW]:' <<<"$report" || true) errors and warnings, each accepted or none"
finish
