# cmake -P: compiles one #include with the include folders one layer sees.
#   -DCXX=compiler -DINCLUDES=file listing the folders -DHEADER=layer/file.h
#   -DPROBE=scratch source file -DEXPECT=seen|unseen
file(STRINGS ${INCLUDES} dirs)
set(flags)
foreach(d IN LISTS dirs)
  list(APPEND flags -I${d})
endforeach()
file(WRITE ${PROBE} "#include \"${HEADER}\"\n")
execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only ${flags} ${PROBE}
                RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
if(EXPECT STREQUAL "seen" AND NOT rc EQUAL 0)
  message(FATAL_ERROR "${HEADER} should be reachable:\n${err}")
elseif(EXPECT STREQUAL "unseen")
  if(rc EQUAL 0)
    message(FATAL_ERROR "${HEADER} is reachable from a lower layer")
  elseif(NOT err MATCHES "No such file or directory")
    message(FATAL_ERROR "${HEADER} failed for another reason:\n${err}")
  endif()
endif()
message(STATUS "${HEADER}: ${EXPECT} as it should be")
