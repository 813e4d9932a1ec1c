# Script mode (-DBUILD= -DSOURCE= -DWORK= -DLIBDIR= -DCC= -DCXX= -DTUNE=):
# installs the build tree into a fresh prefix, then builds demo.c against
# it with pkg-config (shared library) and with find_package (static
# library); both programs must play TUNE, an SNDH file, with the installed
# replay resource.
string(RANDOM LENGTH 10 id)
set(root ${WORK}/install-${id})
set(prefix ${root}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN}\nexit ${rc}\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})
foreach(f bin/vk68 share/vk68/Replay/sndh_ice.bin include/vk68/vk68.h)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

set(libdir ${prefix}/${LIBDIR})
run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${libdir}/pkgconfig pkg-config --cflags --libs vk68)
separate_arguments(flags UNIX_COMMAND "${out}")
run(${CC} -std=c11 -pedantic -Wall -Werror ${SOURCE}/demo.c ${flags} -Wl,-rpath,${libdir}
    -o ${root}/demo_pkgconfig)
set(player ${CMAKE_COMMAND} -E env VK68_HOME=${root} VK68_DATA=${prefix}/share/vk68)
run(${player} ${root}/demo_pkgconfig ${TUNE})

run(${CMAKE_COMMAND} -S ${SOURCE}/demo -B ${root}/build -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_C_COMPILER=${CC} -DCMAKE_CXX_COMPILER=${CXX})
run(${CMAKE_COMMAND} --build ${root}/build)
run(${player} ${root}/build/demo ${TUNE})
file(REMOVE_RECURSE ${root})
