# vk68_m68k_binary(<out-var> <source.s>): assembles a 68000 source file into a
# flat binary loaded at address 0 of its own section (link with -Ttext to move
# it). The path of the binary is stored in <out-var>.
find_program(M68K_AS m68k-linux-gnu-as REQUIRED)
find_program(M68K_LD m68k-linux-gnu-ld REQUIRED)

function(vk68_m68k_binary out_var src)
  cmake_parse_arguments(ARG "" "ORIGIN" "" ${ARGN})
  if(NOT ARG_ORIGIN)
    set(ARG_ORIGIN 0)
  endif()
  get_filename_component(name ${src} NAME_WE)
  set(obj ${CMAKE_CURRENT_BINARY_DIR}/m68k/${name}.o)
  set(bin ${CMAKE_CURRENT_BINARY_DIR}/m68k/${name}.bin)
  get_filename_component(abs ${src} ABSOLUTE)
  add_custom_command(
    OUTPUT ${bin}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/m68k
    COMMAND ${M68K_AS} -m68000 --register-prefix-optional -o ${obj} ${abs}
    COMMAND ${M68K_LD} -Ttext=${ARG_ORIGIN} -e ${ARG_ORIGIN} --oformat binary -o ${bin} ${obj}
    DEPENDS ${abs}
    COMMENT "Assembling ${name}.s")
  set(${out_var} ${bin} PARENT_SCOPE)
endfunction()
