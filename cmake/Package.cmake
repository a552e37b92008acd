# The Debian package: `cpack -G DEB` in the build directory makes
# vocalyn_<version>-1_<arch>.deb from the install rules.
set(CPACK_PACKAGE_NAME vocalyn)
set(CPACK_PACKAGE_VENDOR "Vocalyn")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "video intercom for the local network")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Vocalyn maintainers <maintainers@vocalyn.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The long text; CPack puts the summary line above it. Lines stay short for apt.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Vocalyn makes video calls between two computers on the same local\n"
    "network, with no server and no account. One side types the other's\n"
    "host name or address and presses the call button; the other side rings\n"
    "and answers. Voice flows both ways (Opus over RTP, with echo\n"
    "cancellation) and each webcam picture is shown on the other side.\n"
    "Computers running Vocalyn find each other through mDNS.\n"
    "\n"
    "It uses UDP ports 6767 (signalling), 8800 (video) and 8500 (voice).")

# The libraries the executable links come from dpkg-shlibdeps, with the
# versions it reads from them. What is loaded at run time is named here: the
# GStreamer plug-ins (RTP, Opus, echo cancellation, ring-tone decoders, a sound
# server or ALSA), Qt's platform plug-ins, the fonts the windows are drawn
# with, and the resolver module for .local names.
set(vocalyn_runtime_depends
    qt6-qpa-plugins
    gstreamer1.0-plugins-base
    gstreamer1.0-plugins-good
    gstreamer1.0-plugins-bad
    gstreamer1.0-plugins-ugly
    gstreamer1.0-libav
    "gstreamer1.0-pulseaudio | gstreamer1.0-alsa"
    libnss-mdns
    fonts-liberation
    fonts-dejavu-core)
find_program(VOCALYN_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VOCALYN_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    # Without dpkg-dev the linked libraries are named by hand, without versions.
    message(STATUS "dpkg-shlibdeps not found (dpkg-dev): the .deb names its libraries without versions")
    list(PREPEND vocalyn_runtime_depends
        libqt6core6 libqt6dbus6 libqt6gui6 libqt6widgets6 libgstreamer1.0-0
        libgstreamer-plugins-base1.0-0 libglib2.0-0 libjpeg62-turbo libv4l-0
        libavahi-client3 libavahi-common3)
endif()
list(JOIN vocalyn_runtime_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# Browsing and announcing on the network need the mDNS daemon; a desktop has it already. On a
# Wayland desktop Qt runs natively only with its Wayland plug-in (without it, through XWayland).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "avahi-daemon, qt6-wayland")

include(CPack)
