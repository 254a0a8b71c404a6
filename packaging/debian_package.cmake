# The Debian package, made by CPack from the install rules: `cpack -G DEB` in a build folder of
# the "package" preset. The package depends on what the programs link (found by dpkg-shlibdeps)
# and the Qt plugins the window loads; FluidSynth is only recommended because the music loads it
# when it first plays.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ravendock)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quenmarsh)
set(CPACK_PACKAGE_CONTACT "Ravendock maintainers <ravendock@quenmarsh.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "TFTP server (ravendockd) and client (merrowinc)")
set(CPACK_PACKAGE_DESCRIPTION
    "ravendockd is a multi-client TFTP server with a window that lists every transfer, which\n\
also runs headless as a hardened system service for network boot (ravendockd.service).\n\
merrowinc is a TFTP client that sends or fetches one file from its window or a script.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
if(RAVEN_HAVE_QT)
  # Loaded as plugins, so dpkg-shlibdeps cannot see them: the SVG icons and the X11 platform.
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6svg6, qt6-qpa-plugins")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libfluidsynth3")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "timgm6mb-soundfont | fluid-soundfont-gm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst ${CMAKE_CURRENT_SOURCE_DIR}/debian/prerm
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
