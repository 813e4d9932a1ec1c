# vk68_layer(<name> SOURCES ... [LINKS ...]): one layer of the engine as the
# static library vk68_<name>. A layer links only the layers below it, named
# in LINKS; the layering_check test keeps the includes in the same order.
# Public headers live in include/vk68/ (vk68/version.h is made in the build
# tree), a layer's own headers in src/<name>/.
function(vk68_layer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_library(vk68_${name} STATIC ${ARG_SOURCES})
  target_include_directories(vk68_${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<BUILD_INTERFACE:${VK68_GENERATED_INCLUDE}>
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>)
  target_link_libraries(vk68_${name} PUBLIC ${ARG_LINKS})
  set_target_properties(vk68_${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()
