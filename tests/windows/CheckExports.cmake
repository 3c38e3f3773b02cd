# Checks the shipped module with objdump -p: exactly the public exports (the factory, the
# table's extensions and every function of the flat C interface's header, all undecorated, on
# x86 too), and imports from system DLLs only (a runtime DLL such as libstdc++ would be missing
# on a customer's machine).
# Usage: cmake -DOBJDUMP=<objdump> -DMODULE=<VmlCmd.dll> -DHEADER=<vmlcmd.h> -P CheckExports.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/CInterfaceExports.cmake)
execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${MODULE} failed")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(allowed KERNEL32.DLL MSVCRT.DLL WS2_32.DLL USER32.DLL GDI32.DLL ADVAPI32.DLL COMCTL32.DLL COMDLG32.DLL)
set(failures "")
foreach(line IN LISTS imports)
  string(REGEX REPLACE "DLL Name: *" "" name "${line}")
  string(STRIP "${name}" name)
  string(TOUPPER "${name}" upper)
  if(NOT upper IN_LIST allowed)
    string(APPEND failures "imports ${name}\n")
  endif()
endforeach()
if(NOT imports)
  string(APPEND failures "no import table found\n")
endif()

# The export name table lists "[ n] Name" lines after "[Ordinal/Name Pointer] Table".
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
if(start EQUAL -1)
  string(APPEND failures "no export name table\n")
  set(exports "")
else()
  string(SUBSTRING "${dump}" ${start} -1 table)
  string(REGEX MATCHALL "\n[\t ]+\\[ *[0-9]+\\] [A-Za-z_0-9@]+" exports "${table}")
  list(TRANSFORM exports REPLACE "^\n[\t ]+\\[ *[0-9]+\\] " "")
  list(SORT exports)
endif()
vmlcmd_c_interface_exports(${HEADER} c_names)
set(expected CreateICommand VmlCmdGetLastOutcome VmlCmdGetOsdCaptionEx VmlCmdGetStageText VmlCmdQueryBspVersion
             VmlCmdQueryNapiVersion VmlCmdSetSerialConfirm
             ${c_names})
list(SORT expected)
if(NOT exports STREQUAL expected)
  string(APPEND failures "exports '${exports}', expected '${expected}'\n")
endif()

if(failures)
  message(FATAL_ERROR "${MODULE}:\n${failures}")
endif()
list(JOIN imports ", " importText)
list(LENGTH exports count)
message(STATUS "${MODULE}: ${count} exports ${exports}; ${importText}")
