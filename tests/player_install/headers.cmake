# Script mode (-DCC= -DCXX= -DINCLUDE= -DGENERATED=): compiles every public
# header (those written and the one the build makes) on its own as C11 and
# as C++20, pedantic, warnings as errors.
file(GLOB headers ${INCLUDE}/vk68/*.h ${GENERATED}/vk68/*.h)
foreach(header ${headers})
  foreach(compiler "${CC};-xc;-std=c11" "${CXX};-xc++;-std=c++20")
    execute_process(
      COMMAND ${compiler} -pedantic -Wall -Wextra -Werror -fsyntax-only -I${INCLUDE} -I${GENERATED}
              ${header}
      RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
      message(SEND_ERROR "${header}:\n${err}")
    endif()
  endforeach()
endforeach()
