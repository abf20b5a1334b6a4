# Debian package (cpack -G DEB): the library with its soname, the header, the pkg-config file,
# the CMake package, the lumeo tool with its manual page, the font and the copyright file,
# installed under /usr. scripts/package.sh builds it without the tests.
install(FILES ${PROJECT_SOURCE_DIR}/cmake/deb/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/barcode-lumeo)
set(CPACK_PACKAGE_NAME "barcode-lumeo")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "barcode_lumeo")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "barcode generation library with PNG and SVG output, and the lumeo tool")
set(CPACK_PACKAGE_DESCRIPTION
    "barcode_lumeo draws nineteen symbologies (Code 39, Code 128, GS1-128, JAN/UPC, ITF, GS1 DataBar, "
    "the Japan Post customer barcode, QR Code, Data Matrix, PDF417 and more) behind a flat C interface, "
    "as PNG bytes, base64 data URIs or SVG documents. The lumeo tool draws labels from the shell.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "barcode_lumeo maintainers <barcode-lumeo@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION "libs")
# dpkg-shlibdeps turns the libraries the binaries link against into versioned dependencies
# (libsdl2-2.0-0, libsdl2-image-2.0-0, libsdl2-ttf-2.0-0, libpng16-16, libc6, libstdc++6);
# without it the SDL2 runtime packages are named by hand.
find_program(BARCODE_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(BARCODE_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libsdl2-2.0-0, libsdl2-image-2.0-0, libsdl2-ttf-2.0-0, libpng16-16, libc6, libstdc++6, libgcc-s1")
endif()
# A shlibs file, so that packages built against this one depend on it by soname.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
include(CPack)
