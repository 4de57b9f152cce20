# The plug-in's dynamic symbol table holds exactly the entry point and the
# nine node callbacks. Run as: cmake -DNM=<nm> -DLIBRARY=<libVelpo.so> -P
execute_process(
  COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE listing
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()

string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(found)
foreach(line IN LISTS lines)
  # "<address> <type> <name>"; keep the name.
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
  list(APPEND found ${name})
endforeach()
list(SORT found)

set(expected
  VelpoExport_BeginEvaluate VelpoExport_EndEvaluate VelpoExport_Evaluate
  VelpoImport_BeginEvaluate VelpoImport_EndEvaluate VelpoImport_Evaluate
  VelpoSetData_BeginEvaluate VelpoSetData_EndEvaluate VelpoSetData_Evaluate
  XSILoadPlugin)
list(SORT expected)

if(NOT found STREQUAL expected)
  message(FATAL_ERROR "exported symbols of ${LIBRARY}:\n  ${found}\nexpected:\n  ${expected}")
endif()
message(STATUS "exports: ${found}")
