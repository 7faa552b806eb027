# Installable package: find_package(VistrelExt) and pkg-config vistrelext.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS VistrelExt VistrelHost EXPORT VistrelExtTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(dir module graphops intersection collision draggers picking mesh host)
  install(DIRECTORY ${VX_SOURCE_ROOT}/${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/VistrelExt/${dir}
    FILES_MATCHING PATTERN "*.h")
endforeach()
install(EXPORT VistrelExtTargets NAMESPACE VistrelExt:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/VistrelExt)

file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/VistrelExtConfig.cmake.in [=[
@PACKAGE_INIT@
include(CMakeFindDependencyMacro)
find_dependency(Coin)
find_dependency(Threads)
include("${CMAKE_CURRENT_LIST_DIR}/VistrelExtTargets.cmake")
]=])
configure_package_config_file(${CMAKE_CURRENT_BINARY_DIR}/VistrelExtConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/VistrelExtConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/VistrelExt)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/VistrelExtConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/VistrelExtConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/VistrelExtConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/VistrelExt)

file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/vistrelext.pc "prefix=${CMAKE_INSTALL_PREFIX}
libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}
includedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}/VistrelExt
Name: VistrelExt
Description: Interference checking and scene-graph tools for Coin3D viewers
Version: ${PROJECT_VERSION}
Requires: Coin
Libs: -L\${libdir} -lVistrelExt -lVistrelHost
Cflags: -I\${includedir}
")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vistrelext.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
