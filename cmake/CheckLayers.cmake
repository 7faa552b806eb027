# The architecture as a check (ctest: layers.IncludesFollowTheLayers).
#   cmake -DVX_SOURCE_ROOT=<source tree> -P cmake/CheckLayers.cmake
# Reads the #include lines of the library's folders and fails, naming each
# offending line, when
#   - a file includes a header of a layer above its own, or of another folder
#     of the same layer (siblings stay independent), or of tools/tests/bench;
#   - the Coin-free layers (platform/, mesh/) include a Coin header;
#   - the triangle kernels include anything of ours or more of Coin than its
#     value types (Sb*.h);
#   - the path key of the host (host/PathKey) includes another host header,
#     or a host file lies on an include circle with the path helpers
#     (host/OmbrelTools, host/PathKey).
cmake_minimum_required(VERSION 3.20)
# The layers, bottom to top (README, "Architecture"):
set(vx_rank_platform 0)
set(vx_rank_mesh 1)       # with the triangle kernels (intersection/TriangleKernels.*)
set(vx_rank_host 2)
set(vx_rank_graphops 3)
set(vx_rank_intersection 3)
set(vx_rank_collision 4)
set(vx_rank_draggers 5)
set(vx_rank_picking 5)
set(vx_rank_module 6)
set(vx_layers platform mesh host graphops intersection collision draggers picking module)
set(vx_coin_free platform mesh)

if(NOT VX_SOURCE_ROOT)
  message(FATAL_ERROR "usage: cmake -DVX_SOURCE_ROOT=<source tree> -P CheckLayers.cmake")
endif()

set(vx_faults "")
macro(vx_fault text)
  string(APPEND vx_faults "  ${text}\n")
endmacro()

foreach(layer IN LISTS vx_layers)
  # Not a source list: every header and source present, whatever CMake builds.
  file(GLOB files RELATIVE ${VX_SOURCE_ROOT} ${VX_SOURCE_ROOT}/${layer}/*.h ${VX_SOURCE_ROOT}/${layer}/*.cpp)
  foreach(file IN LISTS files)
    get_filename_component(unit ${file} NAME_WE)
    set(rank ${vx_rank_${layer}})
    set(kernel FALSE)
    if(file MATCHES "^intersection/TriangleKernels\\.")
      set(kernel TRUE)
    endif()
    file(STRINGS ${VX_SOURCE_ROOT}/${file} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
      if(line MATCHES "#[ \t]*include[ \t]*\"([A-Za-z_]+)/([^\"]+)\"")
        set(folder ${CMAKE_MATCH_1})
        set(header ${CMAKE_MATCH_1}/${CMAKE_MATCH_2})
        if(kernel)
          if(NOT header STREQUAL "intersection/TriangleKernels.h")
            vx_fault("${file}: the triangle kernels include ${header}")
          endif()
        elseif(NOT DEFINED vx_rank_${folder})
          vx_fault("${file}: includes ${header}, outside the library")
        elseif(NOT folder STREQUAL layer AND NOT vx_rank_${folder} LESS rank)
          vx_fault("${file}: ${layer}/ (layer ${rank}) includes ${header} (layer ${vx_rank_${folder}})")
        endif()
        if(layer STREQUAL "host" AND folder STREQUAL "host")
          get_filename_component(target_unit ${header} NAME_WE)
          if(NOT target_unit STREQUAL unit)
            list(APPEND vx_host_edges_${unit} ${target_unit})
            list(APPEND vx_host_units ${unit})
          endif()
          if(unit STREQUAL "PathKey" AND NOT target_unit STREQUAL "PathKey")
            vx_fault("${file}: the path key includes ${header}; it must stay a leaf of the host")
          endif()
        endif()
      elseif(line MATCHES "#[ \t]*include[ \t]*<Inventor/([^>]+)>")
        set(coin ${CMAKE_MATCH_1})
        if(layer IN_LIST vx_coin_free)
          vx_fault("${file}: ${layer}/ is Coin-free but includes <Inventor/${coin}>")
        elseif(kernel AND NOT coin MATCHES "^Sb[A-Za-z0-9]*\\.h$")
          vx_fault("${file}: the triangle kernels use Coin's value types only, not <Inventor/${coin}>")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

# Include circles through the path helpers: a helper must not be reachable
# from what it includes.
foreach(helper PathKey OmbrelTools)
  set(seen "")
  set(queue ${vx_host_edges_${helper}})
  while(queue)
    list(POP_FRONT queue unit)
    if(unit IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${unit})
    list(APPEND queue ${vx_host_edges_${unit}})
  endwhile()
  if(helper IN_LIST seen)
    vx_fault("host/${helper} lies on an include circle (it reaches itself through host files it includes)")
  endif()
endforeach()

if(vx_faults)
  message(FATAL_ERROR "The includes break the layering:\n${vx_faults}")
endif()
message(STATUS "layers: every include follows the layering")
