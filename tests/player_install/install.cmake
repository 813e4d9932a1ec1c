# Script mode (-DBUILD= -DSOURCE= -DWORK= -DLIBDIR= -DCC= -DTUNE= -DMODULE=
# -DREADME= -DVERSION=): installs the build tree into a fresh prefix; the
# shared library must export only what the public headers declare, and its
# soname, the pkg-config and CMake packages and the vk68 command must give
# VERSION. demo.c (the player API) is then built against the installed tree
# with pkg-config (shared, and static with --static) and, as a C-only CMake
# project, with find_package (shared and static); every program must play
# TUNE, an SNDH file, with the installed replay resource. The README's C
# example (songs only) is built the same ways and must render MODULE, an
# Amiga module of 0.48 s.
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

string(REGEX MATCH "^[0-9]+" major "${VERSION}")
run(readelf -d ${libdir}/libvk68.so)
if(NOT out MATCHES "Library soname: \\[libvk68\\.so\\.${major}\\]")
  message(SEND_ERROR "soname is not libvk68.so.${major}:\n${out}")
endif()
run(${prefix}/bin/vk68 --version)
if(NOT out STREQUAL "vk68 ${VERSION}\n")
  message(SEND_ERROR "vk68 --version gives ${out}")
endif()

# The README's example: its one ```c block.
file(READ ${README} readme)
string(FIND "${readme}" "```c\n" begin)
string(SUBSTRING "${readme}" ${begin} -1 readme)
string(FIND "${readme}" "\n```\n" end)
math(EXPR end "${end} - 4")  # from after "```c\n" to the last newline
string(SUBSTRING "${readme}" 5 ${end} example)
file(WRITE ${root}/song2raw.c "${example}")
# 0.48 s of 16-bit stereo at 44100 Hz.
math(EXPR raw_size "48 * 441 * 4")
function(render_module program)
  run(${player} ${program} ${MODULE} ${root}/song.raw)
  file(SIZE ${root}/song.raw size)
  if(NOT out STREQUAL "Song test, 0.5 s\n" OR NOT size EQUAL raw_size)
    message(SEND_ERROR "${program}: ${out}${size} bytes, not ${raw_size}")
  endif()
  file(REMOVE ${root}/song.raw)
endfunction()

set(player ${CMAKE_COMMAND} -E env VK68_HOME=${root} VK68_DATA=${prefix}/share/vk68)
set(pkg_config ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${libdir}/pkgconfig pkg-config)
run(${pkg_config} --modversion vk68)
if(NOT out STREQUAL "${VERSION}\n")
  message(SEND_ERROR "pkg-config gives version ${out}")
endif()
run(${pkg_config} --cflags --libs vk68)
separate_arguments(flags UNIX_COMMAND "${out}")
run(${CC} -std=c11 -pedantic -Wall -Werror ${SOURCE}/demo.c ${flags} -Wl,-rpath,${libdir}
    -o ${root}/demo_pkgconfig)
run(${player} ${root}/demo_pkgconfig ${TUNE})
run(${CC} -std=c11 -pedantic -Wall -Werror ${root}/song2raw.c ${flags} -Wl,-rpath,${libdir}
    -o ${root}/song2raw_pkgconfig)
render_module(${root}/song2raw_pkgconfig)
# The whole static library in place of -lvk68, with what --static adds.
run(${pkg_config} --static --cflags --libs vk68)
separate_arguments(flags UNIX_COMMAND "${out}")
list(TRANSFORM flags REPLACE "^-lvk68$"
     "-Wl,--whole-archive;${libdir}/libvk68.a;-Wl,--no-whole-archive")
run(${CC} -std=c11 -pedantic -Wall -Werror ${SOURCE}/demo.c ${flags}
    -o ${root}/demo_pkgconfig_static)
run(${player} ${root}/demo_pkgconfig_static ${TUNE})

run(${CMAKE_COMMAND} -S ${SOURCE}/demo -B ${root}/build -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_C_COMPILER=${CC} -DSONG_EXAMPLE=${root}/song2raw.c -DVERSION=${VERSION})
run(${CMAKE_COMMAND} --build ${root}/build)
run(${player} ${root}/build/demo_shared ${TUNE})
run(${player} ${root}/build/demo_static ${TUNE})
render_module(${root}/build/song2raw_static)
file(REMOVE_RECURSE ${root})
