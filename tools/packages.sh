# The Debian packages the program needs, sourced by run.sh and test.sh.
# shellcheck shell=bash
RUNTIME_PACKAGES=(
    libqt6widgets6 libqt6gui6 qt6-qpa-plugins
    fonts-liberation fonts-dejavu-core
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
    gstreamer1.0-plugins-ugly gstreamer1.0-libav
    gstreamer1.0-alsa gstreamer1.0-pulseaudio
    libv4l-0 libjpeg62-turbo
    libavahi-client3 avahi-daemon libnss-mdns
    qt6-wayland
)
BUILD_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
    libv4l-dev libjpeg62-turbo-dev libavahi-client-dev dpkg-dev
    "${RUNTIME_PACKAGES[@]}"
)
TEST_PACKAGES=(
    "${BUILD_PACKAGES[@]}"
    googletest libgtest-dev libgmock-dev libbenchmark-dev libyuv-dev
    iproute2 util-linux dbus dbus-daemon nftables
    pulseaudio pulseaudio-utils
    weston xvfb
    desktop-file-utils appstream lintian
)
# tools/check-format.sh, run by CI, formats with the version the tree is formatted with.
FORMAT_PACKAGES=(clang-format-14)
# Fuzzing needs clang with its libFuzzer runtime.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# Only the call benchmarks need these: sound servers for the call-cost copies, the SIP client
# that anchors the call set-up benchmark, perf for where the time goes, nftables and iproute2 for
# the call-cost bench's lossy and jittery lines.
BENCH_PACKAGES=(pulseaudio pulseaudio-utils baresip-core linux-perf espeak-ng
    nftables iproute2)
# Only tools/name-candidates.sh, which lists names that may break the naming rule, needs these.
NAME_PACKAGES=(universal-ctags python3 git)
# Only tools/shoot-docs.sh, which makes the README's screenshots, needs these.
SHOT_PACKAGES=(xvfb imagemagick iproute2 weston)
