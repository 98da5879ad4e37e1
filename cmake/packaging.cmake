# `cpack -G DEB`: the install components as Debian packages under /usr, laid out as Debian lays
# out a shared library with a command: libcorvane1 (the library alone, so that hosts depend on it
# and several versions can be installed side by side), libcorvane-dev (for building hosts) and
# corvane (the command, which loads the library at run time). Binaries are stripped, their debug
# symbols split into -dbgsym packages.
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "corvane")
set(CPACK_PACKAGE_CONTACT "corvane developers <corvane@example.invalid>")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL library development)
if(CORVANE_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The debug-info packages strip the binaries themselves, keeping what they strip (CPack's own
# stripping would leave nothing to keep).
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://corvane.invalid/")

set(library_version "${PROJECT_VERSION}")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libcorvane${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_LIBRARY_DESCRIPTION "content identities of files and photo-library items (plug-in library)
corvane fingerprints files by their size and five samples, and hashes them
whole, through a plug-in library with a plain C boundary that any host can
load. This package holds the shared library.")
# A shlibs file for the library, and the trigger that runs ldconfig once for all packages (its
# maintainer scripts are ours, so that CPack adds no ldconfig calls of its own).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_LIST_DIR}/debian/triggers ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libcorvane-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libcorvane${PROJECT_VERSION_MAJOR} (= ${library_version})")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "content identities of files and photo-library items (development files)
corvane fingerprints files by their size and five samples, and hashes them
whole, through a plug-in library with a plain C boundary that any host can
load. This package holds the C header, pkg-config and CMake package files.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME corvane)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
# The command loads the library at run time, so no linker dependency names it.
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libcorvane${PROJECT_VERSION_MAJOR} (= ${library_version})")
# Nor libpq, loaded only for catalogs on a PostgreSQL server.
set(CPACK_DEBIAN_TOOLS_PACKAGE_RECOMMENDS "libpq5")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "content identities of files and photo-library items (command)
corvane fingerprints files by their size and five samples, and hashes them
whole, as sha256sum does; finds duplicates and keeps catalogs of what it
read, so that re-scans and comparisons between machines are cheap.")
include(CPack)
