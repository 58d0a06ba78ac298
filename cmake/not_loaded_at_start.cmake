# cmake -DBINARY=<file> -DPATTERN=<regex> -P not_loaded_at_start.cmake: fails when a library whose
# name matches <regex> is among those the loader maps when <file> starts.
execute_process(COMMAND readelf --dynamic ${BINARY} OUTPUT_VARIABLE dynamic RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read the dynamic section of ${BINARY}")
endif()
string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]]*\\]" needed "${dynamic}")
foreach(entry ${needed})
  if(entry MATCHES "\\[(${PATTERN})")
    message(FATAL_ERROR "${BINARY} loads ${CMAKE_MATCH_1}… at start: ${entry}")
  endif()
endforeach()
