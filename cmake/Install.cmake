# Installable package: find_package(VistrelExt) and pkg-config vistrelext.
#
# The installed tree is relocatable: `cmake --install build --prefix P` works
# for any P. The two libraries find each other through an $ORIGIN run path,
# the CMake package computes its prefix from its own location, and the
# pkg-config file from ${pcfiledir}.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The host contract and the library live side by side in the library folder.
set_target_properties(VistrelExt VistrelHost PROPERTIES INSTALL_RPATH "$ORIGIN")
# Installed programs find them from the program folder.
file(RELATIVE_PATH vx_bin_to_lib /p/${CMAKE_INSTALL_BINDIR} /p/${CMAKE_INSTALL_LIBDIR})
foreach(program vistrel vistrel-view)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${vx_bin_to_lib}")
  endif()
endforeach()

install(TARGETS VistrelExt VistrelHost EXPORT VistrelExtTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Public headers: what an embedding viewer includes (module start-up, the
# toolbox, the collision manager with its records, the action, draggers,
# picking aids, the host contract) and what those include in turn. Kernel
# and implementation headers stay private. The consumer test compiles every
# installed header on its own, so a public header that starts including a
# private one fails there.
set(VX_PUBLIC_HEADERS
  module/VistrelExt.h
  platform/Platform.h
  graphops/CGraphOperation.h
  intersection/SoIntersectionDetectionExtAction.h
  collision/CCollisionManager.h
  collision/CollisionRecords.h
  collision/CollisionOrders.h
  mesh/MeshVec.h
  draggers/CuttingPlaneManip.h
  draggers/VistrelHostDraggers.h
  draggers/SoCenterballDragger2.h
  draggers/SoCenterballManip2.h
  draggers/SoCuttingPlaneDragger.h
  draggers/SoDraggerPackKit.h
  draggers/SoPinDraggerPackKit.h
  draggers/SoRotateCylindricalDraggerExt.h
  draggers/SoTabPlaneDraggerExt.h
  draggers/SoTransformExt.h
  draggers/SoTranslate1DraggerExt.h
  picking/PickObjectData.h
  picking/SnappingFilter.h
  picking/SoKRN_PointTracker.h
  picking/SoKRN_SelectManager.h
  picking/SoKRN_Tracker.h)
# The host contract: every header of host/ but the document-building
# helpers, which belong to the tools' static library.
list(APPEND VX_PUBLIC_HEADERS
  host/CTriangleMesh.h
  host/FeatureEdges.h
  host/MeshTools.h
  host/MeshTypes.h
  host/OmbrelTools.h
  host/PICKDATA.h
  host/PathKey.h
  host/SoBrepFaceSet.h
  host/SoRef.h
  host/SoKRN_2dEntityKit.h
  host/SoKRN_BaseKit.h
  host/SoKRN_BodyKit.h
  host/SoKRN_ClipLineKit.h
  host/SoKRN_ComponentKit.h
  host/SoKRN_CurveKit.h
  host/SoKRN_DocElementKit.h
  host/SoKRN_EdgeKit.h
  host/SoKRN_FdtKit.h
  host/SoKRN_FeatureKit.h
  host/SoKRN_GetMatrixAction.h
  host/SoKRN_InfoKit.h
  host/SoKRN_MagneticLineKit.h
  host/SoKRN_MainDoc.h
  host/SoKRN_MeshFaceKit.h
  host/SoKRN_MeshKit.h
  host/SoKRN_ModelDisplay.h
  host/SoKRN_NodeKit.h
  host/SoKRN_PntMarkerKit.h
  host/SoKRN_ShellKit.h
  host/SoKRN_State.h
  host/SoKRN_TextKit.h
  host/SoKRN_UserTransform.h
  host/SoKRN_WeldKit.h
  host/SoKRN_WireSet.h
  host/TpxGeometryAttribute.h
  host/TpxProductData.h
  host/VistrelHost.h)
foreach(header IN LISTS VX_PUBLIC_HEADERS)
  get_filename_component(dir ${header} DIRECTORY)
  install(FILES ${VX_SOURCE_ROOT}/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/VistrelExt/${dir})
endforeach()
# The same list feeds the API reference (./dev docs).
list(JOIN VX_PUBLIC_HEADERS "\n" vx_public_list)
file(WRITE ${CMAKE_BINARY_DIR}/public-headers.txt "${vx_public_list}\n")
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

# pkg-config. Debian ships Coin without a .pc file, so Coin cannot be named
# in Requires (nor Requires.private: pkg-config insists on finding those
# too); its flags are written out instead, taken from Coin's CMake target and
# left out where they name the compiler's own search paths.
file(RELATIVE_PATH vx_pc_to_prefix /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
string(REGEX REPLACE "/$" "" vx_pc_to_prefix "${vx_pc_to_prefix}")
set(vx_coin_cflags "")
set(vx_coin_libs "-lCoin")
get_target_property(vx_coin_includes Coin::Coin INTERFACE_INCLUDE_DIRECTORIES)
foreach(dir IN LISTS vx_coin_includes)
  if(dir AND NOT dir IN_LIST CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES)
    string(APPEND vx_coin_cflags " -I${dir}")
  endif()
endforeach()
get_target_property(vx_coin_configs Coin::Coin IMPORTED_CONFIGURATIONS)
if(vx_coin_configs)
  list(GET vx_coin_configs 0 vx_coin_config)
  get_target_property(vx_coin_location Coin::Coin IMPORTED_LOCATION_${vx_coin_config})
  if(vx_coin_location)
    get_filename_component(vx_coin_libdir ${vx_coin_location} DIRECTORY)
    if(NOT vx_coin_libdir IN_LIST CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES)
      set(vx_coin_libs "-L${vx_coin_libdir} -Wl,-rpath,${vx_coin_libdir} -lCoin")
    endif()
  endif()
endif()
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/vistrelext.pc "prefix=\${pcfiledir}/${vx_pc_to_prefix}
libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}
includedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}/VistrelExt

Name: VistrelExt
Description: Interference checking and scene-graph tools for Coin3D viewers
Version: ${PROJECT_VERSION}
Libs: -L\${libdir} -lVistrelExt -lVistrelHost ${vx_coin_libs} -pthread
Cflags: -I\${includedir}${vx_coin_cflags}
")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vistrelext.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
