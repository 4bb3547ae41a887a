# The Debian package (scripts/package.sh): the same install as `cmake --install`, into /usr,
# plus the copyright and changelog files Debian wants in /usr/share/doc/torvanix and the
# lintian overrides.

set(TORVANIX_DEBIAN_CHANGELOG ${CMAKE_BINARY_DIR}/changelog.Debian.gz)
torvanix_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog ${TORVANIX_DEBIAN_CHANGELOG})
add_custom_target(torvanix_debian_changelog ALL DEPENDS ${TORVANIX_DEBIAN_CHANGELOG})
# Read by DebianFiles.cmake when the package is made.
set(CPACK_TORVANIX_DEBIAN_DOCS
    ${PROJECT_SOURCE_DIR}/packaging/copyright ${TORVANIX_DEBIAN_CHANGELOG})
set(CPACK_TORVANIX_LINTIAN_OVERRIDES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebianFiles.cmake)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torvanix)
# The upstream version as the program reports it, then the Debian revision.
set(CPACK_PACKAGE_VERSION ${TORVANIX_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGE_VENDOR Dalvester)
set(CPACK_PACKAGE_CONTACT "Dalvester <torvanix@dalvester.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tilt meter for pictures")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Torvanix tells how far a picture is tilted. Open an image file with it from
the file manager or a terminal, drop one on its window, or paste a picture,
then drag a measuring line along something in the picture that ought to be
level or plumb. The window title gives the axis the line is nearest to and
the signed tilt in degrees, measured in the picture's own pixels whatever the
shape of the window.

Pictures are read by ImageMagick, so every format it reads will do, and camera
raw files through libraw; photos are shown upright as their orientation tag
says. Torvanix never changes, rotates or saves a picture, and uses no network.")
# Qt and the C++ run-time from the program's own links; the converter and the opener of the
# read-me are started as programs, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "imagemagick, libraw-bin, xdg-utils")
# Without it, Qt falls back to XWayland on a Wayland desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# Installed with DESTDIR into /usr, so the install script sees the real prefix.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
