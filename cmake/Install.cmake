# Where `cmake --install` puts the program for a Linux desktop: the executable
# (app/CMakeLists.txt) in bin/, and here the desktop entry, the hicolor icons,
# the AppStream metainfo and the default ring tone under share/.
include(GNUInstallDirs)

set(VOCALYN_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# The date of the release named by the project version; change both together.
set(VOCALYN_RELEASE_DATE "2026-12-07")
# Software centres want a screenshot at a public https address; there is none
# yet, and a local path does not validate, so the entry is left out until set.
set(VOCALYN_SCREENSHOT_URL "" CACHE STRING "https address of a screenshot for the AppStream metainfo")

set(VOCALYN_METAINFO_SCREENSHOTS "")
if(VOCALYN_SCREENSHOT_URL)
    string(CONCAT VOCALYN_METAINFO_SCREENSHOTS
        "  <screenshots>\n"
        "    <screenshot type=\"default\">\n"
        "      <caption>A video call</caption>\n"
        "      <image>${VOCALYN_SCREENSHOT_URL}</image>\n"
        "    </screenshot>\n"
        "  </screenshots>\n")
endif()
configure_file(${VOCALYN_PACKAGING_DIR}/vocalyn.metainfo.xml.in
    ${PROJECT_BINARY_DIR}/packaging/vocalyn.metainfo.xml @ONLY)

# The smaller icon sizes are scaled from the 256-pixel icon at build time.
set(VOCALYN_ICON ${PROJECT_SOURCE_DIR}/assets/vocalyn.png)
set(VOCALYN_ICON_SIZES 16 22 24 32 48 64 128)
set(VOCALYN_ICON_DIR ${PROJECT_BINARY_DIR}/packaging/icons)

add_executable(vocalyn_scale_icon ${VOCALYN_PACKAGING_DIR}/ScaleIcon.cpp)
target_link_libraries(vocalyn_scale_icon PRIVATE Qt6::Gui)

set(scaled_icons "")
foreach(size IN LISTS VOCALYN_ICON_SIZES)
    list(APPEND scaled_icons ${VOCALYN_ICON_DIR}/${size}x${size}/vocalyn.png)
endforeach()
add_custom_command(OUTPUT ${scaled_icons}
    COMMAND vocalyn_scale_icon ${VOCALYN_ICON} ${VOCALYN_ICON_DIR} ${VOCALYN_ICON_SIZES}
    DEPENDS vocalyn_scale_icon ${VOCALYN_ICON}
    COMMENT "Scaling the application icon"
    VERBATIM)
add_custom_target(vocalyn_icons ALL DEPENDS ${scaled_icons})

foreach(size IN LISTS VOCALYN_ICON_SIZES)
    install(FILES ${VOCALYN_ICON_DIR}/${size}x${size}/vocalyn.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${VOCALYN_ICON} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)

install(FILES ${VOCALYN_PACKAGING_DIR}/vocalyn.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_BINARY_DIR}/packaging/vocalyn.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# A tone to pick in the settings dialog: until one is chosen, a call rings silently.
install(FILES ${PROJECT_SOURCE_DIR}/assets/ringtone.wav DESTINATION ${CMAKE_INSTALL_DATADIR}/vocalyn)

# The manual page and the Debian documentation files, compressed as Debian wants them
# (gzip -9n: no time stamp, so the package is reproducible).
find_program(VOCALYN_GZIP gzip REQUIRED)
set(VOCALYN_DEBIAN_DIR ${VOCALYN_PACKAGING_DIR}/debian)
set(VOCALYN_MANPAGE_GZ ${PROJECT_BINARY_DIR}/packaging/vocalyn.1.gz)
set(VOCALYN_CHANGELOG_GZ ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz)
add_custom_command(OUTPUT ${VOCALYN_MANPAGE_GZ}
    COMMAND ${VOCALYN_GZIP} -9n -c ${VOCALYN_PACKAGING_DIR}/vocalyn.1 > ${VOCALYN_MANPAGE_GZ}
    DEPENDS ${VOCALYN_PACKAGING_DIR}/vocalyn.1
    VERBATIM)
add_custom_command(OUTPUT ${VOCALYN_CHANGELOG_GZ}
    COMMAND ${VOCALYN_GZIP} -9n -c ${VOCALYN_DEBIAN_DIR}/changelog > ${VOCALYN_CHANGELOG_GZ}
    DEPENDS ${VOCALYN_DEBIAN_DIR}/changelog
    VERBATIM)
add_custom_target(vocalyn_docs ALL DEPENDS ${VOCALYN_MANPAGE_GZ} ${VOCALYN_CHANGELOG_GZ})
install(FILES ${VOCALYN_MANPAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The GPL text itself is not installed: the copyright file points to Debian's common copy.
install(FILES ${VOCALYN_DEBIAN_DIR}/copyright ${VOCALYN_CHANGELOG_GZ}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vocalyn)

include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)
