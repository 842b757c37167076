# Fails unless the shared library LIBRARY exports exactly the four entry points of an
# in-process server: run as `cmake -DLIBRARY=<file> -P CheckExports.cmake`.

# A Windows library (PE set): the names of its export table, as objdump lists them.
if(PE)
  execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE table RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "objdump could not read ${LIBRARY}")
  endif()
  string(REGEX MATCHALL "[^\n]+" lines "${table}")
  set(exported "")
  foreach(line IN LISTS lines)
    # "\t[   0] DllCanUnloadNow" rows of the name table.
    if(line MATCHES "^\t\\[ *[0-9]+\\] ([A-Za-z_][A-Za-z0-9_@]*)$")
      list(APPEND exported "${CMAKE_MATCH_1}")
    endif()
  endforeach()
else()
  execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "nm could not read ${LIBRARY}")
  endif()
  string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
  set(exported "")
  foreach(line IN LISTS lines)
    # "<address> <type> <name>"; absolute linker symbols (type A) are not code or data of ours.
    if(line MATCHES "^[0-9a-f]+ ([A-Za-z]) (.+)$" AND NOT CMAKE_MATCH_1 STREQUAL "A")
      list(APPEND exported "${CMAKE_MATCH_2}")
    endif()
  endforeach()
endif()
list(SORT exported)
set(expected DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exported: ${exported}\nexpected: ${expected}")
endif()
