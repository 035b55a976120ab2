# `make package`: one Debian package with what `make install` installs (library, header, pkg-config
# file, CLI, profiles) under /usr, its dependencies found by dpkg-shlibdeps from what it links.
if(WIN32)
  return()
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brivane)
set(CPACK_PACKAGE_VENDOR Brivane)
set(CPACK_PACKAGE_CONTACT "Brivane developers <brivane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "audio service library: playback, capture, conversion and decoding behind 22 C exports")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}
 Plays media with pause, seek, play window, volume and speed without change of pitch, captures
 while encoding to Windows Media Audio, converts WAV to WMA and any medium to WAV, and decodes
 files to PCM. Includes the brivane command-line host, the pkg-config file and encoder profiles.")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The pkg-config file is written at install time from the prefix, so the package is staged through
# DESTDIR with the real prefix.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The CLI links the library of this same package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
include(CPack)
