# The Debian package: `cpack -G DEB` in a build folder makes tessel_<version>_<arch>.deb from the
# install rules (packaging/CMakeLists.txt). Its dependencies are computed from the libraries the
# programs link (dpkg-shlibdeps), so they follow the system it is built on.

set(CPACK_PACKAGE_NAME tessel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Orlenwick)
set(CPACK_PACKAGE_CONTACT "Orlenwick <tessel@orlenwick.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://tessel.orlenwick.example/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut a picture into slices for web pages")
set(CPACK_PACKAGE_DESCRIPTION
    "Tessel cuts a picture into rectangular slices for web pages. Open an image, lay a grid of
horizontal and vertical split lines over it, and export: every cell becomes an image file of its
own (JPEG, PNG, indexed PNG, WebP, AVIF, BMP or TIFF) and one HTML file holds the table that puts
the slices back together, with an optional link, target frame and ALT text per slice. Grids are
saved to small text files, so a later version of the same picture is cut the same way.
.
The package holds the desktop program tessel and tessel-cli, which does the export and
conversions without a window, for batch work.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
