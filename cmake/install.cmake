# What `cmake --install` puts in place, in three components that become the three Debian
# packages of a shared library with a command: `library` (libcorvane1: the library with its
# SONAME), `development` (libcorvane-dev: the header, the link-time name, pkg-config and CMake
# package files) and `tools` (corvane: the command, its man page and completions, the README and
# examples). Every path is relative to the prefix, so a tree installed anywhere works where it lies.
include(CMakePackageConfigHelpers)

set(corvane_packages library libcorvane1 development libcorvane-dev tools corvane)

install(TARGETS corvane EXPORT corvaneTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/include/corvane/corvane.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/corvane
  COMPONENT development)

set(corvane_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/corvane)
install(EXPORT corvaneTargets NAMESPACE corvane:: DESTINATION ${corvane_cmake_dir} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/corvaneConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/corvaneConfig.cmake INSTALL_DESTINATION ${corvane_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/corvaneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/corvaneConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/corvaneConfigVersion.cmake
  DESTINATION ${corvane_cmake_dir} COMPONENT development)

file(RELATIVE_PATH CORVANE_PREFIX_FROM_PKGCONFIG "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" CORVANE_PREFIX_FROM_PKGCONFIG "${CORVANE_PREFIX_FROM_PKGCONFIG}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/corvane.pc.in ${CMAKE_CURRENT_BINARY_DIR}/corvane.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/corvane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)

# Compressed as Debian wants them, reproducibly (no name or time in the gzip header).
find_program(GZIP_EXECUTABLE gzip REQUIRED)
function(corvane_gzip source output)
  add_custom_command(OUTPUT ${output} COMMAND ${GZIP_EXECUTABLE} -9nc ${source} > ${output} DEPENDS ${source}
    VERBATIM)
endfunction()
set(corvane_man_page ${CMAKE_CURRENT_BINARY_DIR}/corvane.1.gz)
set(corvane_changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
corvane_gzip(${PROJECT_SOURCE_DIR}/man/corvane.1 ${corvane_man_page})
corvane_gzip(${CMAKE_CURRENT_LIST_DIR}/debian/changelog ${corvane_changelog})
add_custom_target(corvane_compressed_docs ALL DEPENDS ${corvane_man_page} ${corvane_changelog})

# Each package carries the licence and the changelog in its own doc folder.
list(LENGTH corvane_packages count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR next "${i} + 1")
  list(GET corvane_packages ${i} component)
  list(GET corvane_packages ${next} package)
  if(component STREQUAL tools AND NOT CORVANE_BUILD_TOOLS)
    continue()
  endif()
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${corvane_changelog}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

if(CORVANE_BUILD_TOOLS)
  install(TARGETS corvane_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  install(FILES ${corvane_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
  # Where Debian's bash-completion, zsh and fish look for the completions of packaged commands.
  install(FILES ${PROJECT_SOURCE_DIR}/completion/corvane DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    COMPONENT tools)
  install(FILES ${PROJECT_SOURCE_DIR}/completion/_corvane DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions
    COMPONENT tools)
  install(FILES ${PROJECT_SOURCE_DIR}/completion/corvane.fish
    DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d COMPONENT tools)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/corvane COMPONENT tools)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/c_host ${PROJECT_SOURCE_DIR}/examples/python_host
    ${PROJECT_SOURCE_DIR}/examples/library DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/corvane/examples COMPONENT tools)
endif()
