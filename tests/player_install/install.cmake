# Script mode (-DBUILD= -DSOURCE= -DWORK= -DLIBDIR= -DCC= -DTUNE=):
# installs the build tree into a fresh prefix; the shared library must
# export only what the public headers declare. demo.c is then built
# against the installed tree with pkg-config (shared, and static with
# --static) and, as a C-only CMake project, with find_package (shared and
# static); every program must play TUNE, an SNDH file, with the installed
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
run(nm -D --defined-only ${libdir}/libvk68.so)
string(REGEX MATCHALL "[^\n ]+\n" exported "${out}")
file(GLOB headers ${prefix}/include/vk68/*.h)
set(declared "")
foreach(header ${headers})
  file(READ ${header} text)
  string(APPEND declared "${text}")
endforeach()
foreach(symbol ${exported})
  string(STRIP "${symbol}" symbol)
  if(NOT declared MATCHES "[^A-Za-z0-9_]${symbol}[^A-Za-z0-9_]")
    message(SEND_ERROR "exported but not in the public headers: ${symbol}")
  endif()
endforeach()

set(player ${CMAKE_COMMAND} -E env VK68_HOME=${root} VK68_DATA=${prefix}/share/vk68)
set(pkg_config ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${libdir}/pkgconfig pkg-config)
run(${pkg_config} --cflags --libs vk68)
separate_arguments(flags UNIX_COMMAND "${out}")
run(${CC} -std=c11 -pedantic -Wall -Werror ${SOURCE}/demo.c ${flags} -Wl,-rpath,${libdir}
    -o ${root}/demo_pkgconfig)
run(${player} ${root}/demo_pkgconfig ${TUNE})
# The whole static library in place of -lvk68, with what --static adds.
run(${pkg_config} --static --cflags --libs vk68)
separate_arguments(flags UNIX_COMMAND "${out}")
list(TRANSFORM flags REPLACE "^-lvk68$"
     "-Wl,--whole-archive;${libdir}/libvk68.a;-Wl,--no-whole-archive")
run(${CC} -std=c11 -pedantic -Wall -Werror ${SOURCE}/demo.c ${flags}
    -o ${root}/demo_pkgconfig_static)
run(${player} ${root}/demo_pkgconfig_static ${TUNE})

run(${CMAKE_COMMAND} -S ${SOURCE}/demo -B ${root}/build -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_C_COMPILER=${CC})
run(${CMAKE_COMMAND} --build ${root}/build)
run(${player} ${root}/build/demo_shared ${TUNE})
run(${player} ${root}/build/demo_static ${TUNE})
file(REMOVE_RECURSE ${root})
