# What `cmake --install` puts in place: the plug-in library with its SONAME, its C header,
# pkg-config and CMake package files, the command, its man page and bash completion. Every
# path is relative to the prefix, so a tree installed anywhere works where it lies.
include(CMakePackageConfigHelpers)

install(TARGETS corvane EXPORT corvaneTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/corvane/corvane.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/corvane)

set(corvane_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/corvane)
install(EXPORT corvaneTargets NAMESPACE corvane:: DESTINATION ${corvane_cmake_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/corvaneConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/corvaneConfig.cmake INSTALL_DESTINATION ${corvane_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/corvaneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/corvaneConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/corvaneConfigVersion.cmake
  DESTINATION ${corvane_cmake_dir})

file(RELATIVE_PATH CORVANE_PREFIX_FROM_PKGCONFIG "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" CORVANE_PREFIX_FROM_PKGCONFIG "${CORVANE_PREFIX_FROM_PKGCONFIG}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/corvane.pc.in ${CMAKE_CURRENT_BINARY_DIR}/corvane.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/corvane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(CORVANE_BUILD_TOOLS)
  install(TARGETS corvane_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/man/corvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/completion/corvane DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()
