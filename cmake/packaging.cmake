# `cpack -G DEB`: a Debian package of what `cmake --install` puts in place, under /usr.
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "corvane")
set(CPACK_PACKAGE_CONTACT "corvane developers <corvane@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "content identities (fingerprints, SHA-256) of files and photo-library items")
set(CPACK_PACKAGE_DESCRIPTION "corvane fingerprints files by their size and five samples, and \
hashes them whole, through a plug-in library with a plain C boundary that any host can load. \
Holds the corvane command, and the library with its header, pkg-config and CMake package files.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Dependencies from the libraries the binaries link; a shlibs file for our own library, with
# the ldconfig trigger that goes with it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
include(CPack)
