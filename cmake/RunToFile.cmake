# cmake -DOUTPUT=<file> -P RunToFile.cmake -- <program> <arguments...>
# Runs the program and keeps its standard output in OUTPUT; a failed run
# leaves no file behind.
set(command)
set(seen_separator FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 1 ${last})
  if(seen_separator)
    list(APPEND command "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} STREQUAL "--")
    set(seen_separator TRUE)
  endif()
endforeach()
execute_process(COMMAND ${command} OUTPUT_FILE "${OUTPUT}.part" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${OUTPUT}.part")
  message(FATAL_ERROR "${command} failed: ${status}")
endif()
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
