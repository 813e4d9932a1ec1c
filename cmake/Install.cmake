# libvk68 for other programs: the engine's layers in one library, shared
# (only the public API exported) and static, with the public headers, the
# vk68 command, our replay routines, a pkg-config file and a CMake package.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(objects "")
foreach(layer base emu68 chips file replay player)
  list(APPEND objects $<TARGET_OBJECTS:vk68_${layer}>)
endforeach()
add_library(vk68_shared SHARED ${objects})
add_library(vk68_static STATIC ${objects})
target_link_libraries(vk68_shared PRIVATE ZLIB::ZLIB)
# What the static library's users must link besides it: zlib, the maths
# library (the YM mixing table) and, for a program linked by a C compiler,
# the C++ runtime (a C++ link brings its own).
target_link_libraries(vk68_static INTERFACE
  ZLIB::ZLIB m $<$<NOT:$<LINK_LANGUAGE:CXX>>:stdc++>)
target_link_options(vk68_shared PRIVATE
  -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/vk68.map)
set_target_properties(vk68_shared PROPERTIES
  OUTPUT_NAME vk68 EXPORT_NAME vk68 VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
  LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/vk68.map)
set_target_properties(vk68_static PROPERTIES OUTPUT_NAME vk68 EXPORT_NAME vk68_static)
foreach(t vk68_shared vk68_static)
  target_include_directories(${t} INTERFACE
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<BUILD_INTERFACE:${VK68_GENERATED_INCLUDE}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endforeach()

install(TARGETS vk68_shared vk68_static EXPORT vk68Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS vk68-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/vk68 ${VK68_GENERATED_INCLUDE}/vk68
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${VK68_REPLAY_BINARIES} DESTINATION ${CMAKE_INSTALL_DATADIR}/vk68/Replay)

# pkg-config: paths relative to the .pc file, so the tree can be moved (or
# installed with --prefix).
set(pcdir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH VK68_PC_PREFIX /prefix/${pcdir} /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/vk68.pc.in vk68.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vk68.pc DESTINATION ${pcdir})

set(cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/vk68)
install(EXPORT vk68Targets NAMESPACE vk68:: DESTINATION ${cmakedir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vk68Config.cmake.in
  vk68Config.cmake INSTALL_DESTINATION ${cmakedir})
write_basic_package_version_file(vk68ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vk68Config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/vk68ConfigVersion.cmake DESTINATION ${cmakedir})
