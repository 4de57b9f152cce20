# The 32-bit velpo.exe is large-address-aware: its PE header carries the flag
# that gives it 4 GB of address space on a 64-bit Windows instead of 2 GB.
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<velpo.exe> -P CheckLargeAddressAware.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p failed on ${PROGRAM}")
endif()
if(NOT listing MATCHES "Characteristics[^\n]*\n([ \t]+[^\n]*\n)*[ \t]+large address aware")
  string(REGEX MATCH "Characteristics[^\n]*\n([ \t]+[^\n]*\n)*" flags "${listing}")
  message(FATAL_ERROR "${PROGRAM} is not large-address-aware:\n${flags}")
endif()
message(STATUS "${PROGRAM} is large-address-aware")
