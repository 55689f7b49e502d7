# Compiles a resource script into a resource-only PE module with the MinGW
# binutils: the language pack, the program's resource image and test fixtures.
#   pictorium_pe_module(OUTPUT file RC script ARCH i686|x86_64
#                       [INCLUDE_DIRS dir...] [DEPENDS file...])
find_program(PICTORIUM_CPP cpp REQUIRED)

function(pictorium_pe_module)
  cmake_parse_arguments(PE "" "OUTPUT;RC;ARCH" "INCLUDE_DIRS;DEPENDS" ${ARGN})
  find_program(PE_WINDRES_${PE_ARCH} ${PE_ARCH}-w64-mingw32-windres REQUIRED)
  find_program(PE_LD_${PE_ARCH} ${PE_ARCH}-w64-mingw32-ld REQUIRED)
  set(includes)
  foreach(dir IN LISTS PE_INCLUDE_DIRS)
    list(APPEND includes -I ${dir})
  endforeach()
  set(object ${PE_OUTPUT}.o)
  add_custom_command(OUTPUT ${PE_OUTPUT}
    COMMAND ${PE_WINDRES_${PE_ARCH}} --preprocessor=${PICTORIUM_CPP} --preprocessor-arg=-xc
            -c 65001 ${includes} -i ${PE_RC} -o ${object}
    COMMAND ${PE_LD_${PE_ARCH}} -shared -e 0 -o ${PE_OUTPUT} ${object}
    DEPENDS ${PE_RC} ${PE_DEPENDS}
    COMMENT "Building resource module ${PE_OUTPUT}"
    VERBATIM)
endfunction()
