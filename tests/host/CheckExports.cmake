# Fails unless the shared library exports exactly the expected names: the factory, the table's
# extensions and every function that the flat C interface's header declares.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/CInterfaceExports.cmake)
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[0-9a-f]+ [TDBRW] [^\n]+" entries "${symbols}")
set(names)
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^[0-9a-f]+ . " "" name "${entry}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
vmlcmd_c_interface_exports(${HEADER} c_names)
set(expected CreateICommand VmlCmdGetLastOutcome VmlCmdGetOsdCaptionEx VmlCmdGetStageText VmlCmdQueryBspVersion
             VmlCmdQueryNapiVersion VmlCmdSetSerialConfirm
             ${c_names})
list(SORT expected)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exports are '${names}', expected '${expected}'")
endif()
list(LENGTH names count)
message(STATUS "${count} exports: ${names}")
