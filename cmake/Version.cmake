# The public header vk68/version.h, made from the project's version (set once,
# in the top CMakeLists.txt) into the build tree's include folder, which
# every layer, the library's users in the build tree and the installed tree
# see beside include/.
set(VK68_GENERATED_INCLUDE ${PROJECT_BINARY_DIR}/include)
configure_file(${PROJECT_SOURCE_DIR}/cmake/version.h.in ${VK68_GENERATED_INCLUDE}/vk68/version.h
  @ONLY)
