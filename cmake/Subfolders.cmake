# vk68_add_subfolders(): adds every subfolder of the current folder that has
# a CMakeLists.txt, so each group of tests, benchmarks, fuzz targets or tools
# lives in a folder of its own.
function(vk68_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(child ${children})
    if(EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
