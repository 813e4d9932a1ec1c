# vk68_embed(<target> <symbol> <file>): compiles the bytes of <file> into
# <target> as `extern const unsigned char <symbol>[]` and
# `extern const unsigned long <symbol>_size`. The file may be generated.
function(vk68_embed target symbol file)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/embed_${symbol}.c)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DIN=${file} -DOUT=${out} -DSYMBOL=${symbol}
            -P ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
    DEPENDS ${file} ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
    COMMENT "Embedding ${symbol}")
  target_sources(${target} PRIVATE ${out})
endfunction()
