# The plug-in exports exactly the entry point and the nine node callbacks,
# under their plain C names. Run as one of:
#   cmake -DNM=<nm> -DLIBRARY=<libVelpo.so> -P CheckExports.cmake
#   cmake -DOBJDUMP=<objdump> -DLIBRARY=<Velpo.32.dll> -P CheckExports.cmake
# On Windows a decorated name (_XSILoadPlugin, XSILoadPlugin@4) is not found
# by the host's GetProcAddress, so the names must match exactly; the DLL must
# also load in a host that ships no MinGW runtime, so it may import the SDK
# and system DLLs only.
cmake_minimum_required(VERSION 3.25)

set(expected
  VelpoExport_BeginEvaluate VelpoExport_EndEvaluate VelpoExport_Evaluate
  VelpoImport_BeginEvaluate VelpoImport_EndEvaluate VelpoImport_Evaluate
  VelpoSetData_BeginEvaluate VelpoSetData_EndEvaluate VelpoSetData_Evaluate
  XSILoadPlugin)
list(SORT expected)

if(OBJDUMP)
  set(command ${OBJDUMP} -p ${LIBRARY})
else()
  set(command ${NM} -D --defined-only ${LIBRARY})
endif()
execute_process(COMMAND ${command} OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${command} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")

set(found)
set(imports)
if(OBJDUMP)
  # The export names are the indented "[ n] name" lines after the
  # "[Ordinal/Name Pointer] Table" heading; imports are "DLL Name: x" lines.
  set(inNames FALSE)
  foreach(line IN LISTS lines)
    if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
      set(inNames TRUE)
    elseif(inNames AND line MATCHES "^[ \t]+\\[ *[0-9]+\\] (.+)$")
      list(APPEND found ${CMAKE_MATCH_1})
    elseif(inNames)
      set(inNames FALSE)
    endif()
    if(line MATCHES "DLL Name: (.+)$")
      list(APPEND imports ${CMAKE_MATCH_1})
    endif()
  endforeach()
else()
  foreach(line IN LISTS lines)
    # "<address> <type> <name>"; keep the name.
    string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
    list(APPEND found ${name})
  endforeach()
endif()
list(SORT found)

if(NOT found STREQUAL expected)
  message(FATAL_ERROR "exported symbols of ${LIBRARY}:\n  ${found}\nexpected:\n  ${expected}")
endif()
message(STATUS "exports: ${found}")

if(OBJDUMP)
  if(NOT "sicppsdk.dll" IN_LIST imports)
    message(FATAL_ERROR "${LIBRARY} does not import sicppsdk.dll; imports: ${imports}")
  endif()
  foreach(dll IN LISTS imports)
    string(TOLOWER "${dll}" lower)
    if(lower MATCHES "^lib")
      message(FATAL_ERROR "${LIBRARY} needs the compiler's runtime ${dll}; imports: ${imports}")
    endif()
  endforeach()
  message(STATUS "imports: ${imports}")
endif()
