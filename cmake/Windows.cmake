# The Windows parts of the library (included by Library.cmake when WIN32): the platform layer,
# the module's resources and export list, and a DLL that needs nothing beyond system DLLs.
enable_language(RC)

set(VMLCMD_PLATFORM_SOURCES
    platform/win32/CodePage.cpp
    platform/win32/Memory.cpp
    platform/win32/Module.cpp
    platform/win32/Serial.cpp
    platform/win32/Sockets.cpp
    platform/win32/Texts.cpp
    ui/win32/DialogWindow.cpp
    ui/win32/Dialogs.cpp
    ui/win32/Win32View.cpp)

set(VMLCMD_WINDOWS_RESOURCES ${PROJECT_SOURCE_DIR}/ui/VmlCmd.rc)
# The module alone carries the version resource; the test programs share only the string table.
configure_file(${PROJECT_SOURCE_DIR}/cmake/VmlCmdVersion.rc.in ${PROJECT_BINARY_DIR}/VmlCmdVersion.rc @ONLY)
# The export list: the names of cmake/VmlCmd.def and the functions the flat C interface's header
# declares. On x86 those are __stdcall, so the list names them as the compiler decorates them
# ("vmlcmd_ptz_stop@4"); the module exports them undecorated (--kill-at), and the import
# libraries map the decorated names a caller's compiler emits to the undecorated exports (-k).
include(${PROJECT_SOURCE_DIR}/cmake/CInterfaceExports.cmake)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
  vmlcmd_c_interface_exports(${PROJECT_SOURCE_DIR}/include/VmlCmd/vmlcmd.h vmlcmd_c_exports BYTES)
else()
  vmlcmd_c_interface_exports(${PROJECT_SOURCE_DIR}/include/VmlCmd/vmlcmd.h vmlcmd_c_exports)
endif()
file(READ ${PROJECT_SOURCE_DIR}/cmake/VmlCmd.def vmlcmd_def_text)
list(JOIN vmlcmd_c_exports "\n    " vmlcmd_c_export_lines)
set(VMLCMD_DEF ${PROJECT_BINARY_DIR}/VmlCmd.def)
file(CONFIGURE OUTPUT ${VMLCMD_DEF} CONTENT "${vmlcmd_def_text}    ${vmlcmd_c_export_lines}\n" @ONLY)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/cmake/VmlCmd.def ${PROJECT_SOURCE_DIR}/include/VmlCmd/vmlcmd.h)
set(VMLCMD_WINDOWS_MODULE_SOURCES ${VMLCMD_WINDOWS_RESOURCES} ${PROJECT_BINARY_DIR}/VmlCmdVersion.rc ${VMLCMD_DEF}
                                  cmake/empty.cpp)

# Import libraries for hosts that link VmlCmd.dll instead of loading it, made from the export
# list itself so that they always name what the module exports: VmlCmd.lib for Microsoft's
# linker (llvm-dlltool writes the short import format it reads) and libVmlCmd.dll.a for mingw.
# On x86 both decorate the C names with the leading underscore of the cdecl convention.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
  set(VMLCMD_DLLTOOL_MACHINE i386)
else()
  set(VMLCMD_DLLTOOL_MACHINE i386:x86-64)
endif()
find_program(VMLCMD_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-16 llvm-dlltool-15 llvm-dlltool-14 REQUIRED)
find_program(VMLCMD_MINGW_DLLTOOL NAMES ${VMLCMD_MINGW_TARGET}-dlltool REQUIRED)
set(VMLCMD_IMPORT_DIR ${PROJECT_BINARY_DIR}/lib)
set(VMLCMD_MSVC_IMPORT_LIBRARY ${VMLCMD_IMPORT_DIR}/VmlCmd.lib)
set(VMLCMD_MINGW_IMPORT_LIBRARY ${VMLCMD_IMPORT_DIR}/libVmlCmd.dll.a)
add_custom_command(
  OUTPUT ${VMLCMD_MSVC_IMPORT_LIBRARY} ${VMLCMD_MINGW_IMPORT_LIBRARY}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VMLCMD_IMPORT_DIR}
  COMMAND ${VMLCMD_LLVM_DLLTOOL} -m ${VMLCMD_DLLTOOL_MACHINE} -d ${VMLCMD_DEF} -D VmlCmd.dll -k
          -l ${VMLCMD_MSVC_IMPORT_LIBRARY}
  COMMAND ${VMLCMD_MINGW_DLLTOOL} -m ${VMLCMD_DLLTOOL_MACHINE} -d ${VMLCMD_DEF} -D VmlCmd.dll -k
          -l ${VMLCMD_MINGW_IMPORT_LIBRARY}
  DEPENDS ${VMLCMD_DEF}
  COMMENT "Import libraries VmlCmd.lib and libVmlCmd.dll.a from VmlCmd.def"
  VERBATIM)
add_custom_target(vmlcmd_import_libraries ALL DEPENDS ${VMLCMD_MSVC_IMPORT_LIBRARY} ${VMLCMD_MINGW_IMPORT_LIBRARY})
# What a mingw program gets from the shipped files: the public header and libVmlCmd.dll.a.
add_library(vmlcmd_import INTERFACE)
target_include_directories(vmlcmd_import INTERFACE ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(vmlcmd_import INTERFACE ${VMLCMD_MINGW_IMPORT_LIBRARY})
add_dependencies(vmlcmd_import vmlcmd_import_libraries VmlCmd)

# The C and C++ runtimes go into the DLL, so a host needs only what every Windows has
# (KERNEL32, msvcrt, USER32, WS2_32). -s strips the symbols of the shipped module.
set(VMLCMD_WINDOWS_LIBS -static -static-libgcc -static-libstdc++ -s ws2_32 user32)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
  list(APPEND VMLCMD_WINDOWS_LIBS -Wl,--kill-at)
endif()

# Windows 7 is the oldest system served (InitOnce, WSA_FLAG_NO_HANDLE_INHERIT).
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# Test programs carry their runtime too, so Wine runs them without a DLL search path; the DLL
# and every program land in one folder, where LoadLibrary finds VmlCmd.dll next to its host.
string(APPEND CMAKE_EXE_LINKER_FLAGS " -static -static-libgcc -static-libstdc++")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)

# Asio, Boost (Beast and its Asio, for the gateway), CLI11 and nlohmann-json are header-only and Debian's copies serve the cross build, but
# they sit in /usr/include beside glibc's headers, which the mingw compiler must never see: a
# folder of the build tree holds links to those library folders alone. The simulator, the tool
# and the tests' side of the simulator's control channel include them from there.
set(VMLCMD_HOST_HEADERS ${PROJECT_BINARY_DIR}/host-include)
file(MAKE_DIRECTORY ${VMLCMD_HOST_HEADERS})
foreach(entry asio asio.hpp boost nlohmann CLI)
  if(EXISTS /usr/include/${entry} AND NOT EXISTS ${VMLCMD_HOST_HEADERS}/${entry})
    file(CREATE_LINK /usr/include/${entry} ${VMLCMD_HOST_HEADERS}/${entry} COPY_ON_ERROR SYMBOLIC)
  endif()
endforeach()
if(NOT EXISTS ${VMLCMD_HOST_HEADERS}/nlohmann/json.hpp)
  message(FATAL_ERROR "nlohmann/json.hpp not found in /usr/include (apt-get install nlohmann-json3-dev)")
endif()
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${VMLCMD_HOST_HEADERS})
if(VMLCMD_BUILD_TOOLS)
  foreach(header asio.hpp CLI/CLI.hpp)
    if(NOT EXISTS ${VMLCMD_HOST_HEADERS}/${header})
      message(FATAL_ERROR "${header} not found in /usr/include (apt-get install libasio-dev libcli11-dev)")
    endif()
  endforeach()
  add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
  target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${VMLCMD_HOST_HEADERS})
  set(NAPISIM_ASIO_INCLUDE_DIR ${VMLCMD_HOST_HEADERS} CACHE PATH "Standalone Asio for the simulator" FORCE)
endif()

# GoogleTest for the cross build, compiled from the sources Debian ships (there is no mingw
# package of it). Call before using GTest::gtest / GTest::gtest_main / GTest::gmock; safe to
# call more than once.
set(VMLCMD_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows build")
function(vmlcmd_windows_googletest)
  if(TARGET GTest::gtest)
    return()
  endif()
  if(NOT EXISTS ${VMLCMD_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${VMLCMD_GOOGLETEST_SOURCE} (apt-get install googletest)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${VMLCMD_GOOGLETEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest 1.11 and later name their targets GTest::... themselves.
  foreach(library gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${library})
      add_library(GTest::${library} ALIAS ${library})
    endif()
  endforeach()
endfunction()

if(VMLCMD_BUILD_TESTS)
  # tests/ asks for find_package(GTest): answer it with the targets built here, through a
  # package configuration that only reports them as found.
  vmlcmd_windows_googletest()
  set(VMLCMD_GTEST_CONFIG_DIR ${PROJECT_BINARY_DIR}/vmlcmd-gtest-config)
  file(WRITE ${VMLCMD_GTEST_CONFIG_DIR}/GTestConfig.cmake
       "# Generated by cmake/Windows.cmake: GoogleTest is built from source in this tree.\n"
       "set(GTest_FOUND TRUE)\n")
  set(GTest_DIR ${VMLCMD_GTEST_CONFIG_DIR} CACHE PATH "GoogleTest package configuration" FORCE)
endif()

# The release archive for Windows developers, VmlCmd-<version>-win32.zip or -win64.zip in the
# build folder (target windows_archive; scripts/package.sh builds both): the DLL and the tools
# (stripped; vmlcmd-gateway.exe in the x64 archive when the build has it), both import
# libraries, the export list, the public header, a README, the licence and the operation
# reference.
if(VMLCMD_BUILD_TOOLS)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
    set(VMLCMD_KIT_ARCH win32)
    set(VMLCMD_KIT_ARCH_TEXT "32-bit (x86)")
    set(VMLCMD_KIT_VS_PLATFORM "Win32 (x86)")
    set(VMLCMD_KIT_OTHER_TEXT "64-bit")
  else()
    set(VMLCMD_KIT_ARCH win64)
    set(VMLCMD_KIT_ARCH_TEXT "64-bit (x64)")
    set(VMLCMD_KIT_VS_PLATFORM "x64")
    set(VMLCMD_KIT_OTHER_TEXT "32-bit")
  endif()
  set(VMLCMD_KIT_NAME VmlCmd-${PROJECT_VERSION}-${VMLCMD_KIT_ARCH})
  set(VMLCMD_WINDOWS_ARCHIVE ${PROJECT_BINARY_DIR}/${VMLCMD_KIT_NAME}.zip)
  set(kit_stage ${PROJECT_BINARY_DIR}/kit)
  set(kit_root ${kit_stage}/${VMLCMD_KIT_NAME})
  set(kit_gateway_commands)
  set(kit_gateway_depends)
  if(VMLCMD_WITH_GATEWAY)
    set(kit_gateway_commands COMMAND ${CMAKE_STRIP} -o ${kit_root}/bin/vmlcmd-gateway.exe
                             $<TARGET_FILE:vmlcmd-gateway>)
    set(kit_gateway_depends vmlcmd-gateway)
    set(VMLCMD_KIT_GATEWAY_LINE
        "\n  bin\\vmlcmd-gateway.exe       every device of a fleet over HTTP/JSON, with a web console")
    file(READ ${PROJECT_SOURCE_DIR}/cmake/windows-kit/gateway.txt VMLCMD_KIT_GATEWAY_SECTION)
    string(PREPEND VMLCMD_KIT_GATEWAY_SECTION "\n")
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 ${PROJECT_SOURCE_DIR}/cmake/windows-kit/gateway.txt)
  else()
    set(VMLCMD_KIT_GATEWAY_LINE "")
    set(VMLCMD_KIT_GATEWAY_SECTION "")
    if(VMLCMD_KIT_ARCH STREQUAL "win32")
      set(VMLCMD_KIT_GATEWAY_SECTION "\nThe HTTP gateway, vmlcmd-gateway.exe, is in the 64-bit archive only.\n")
    endif()
  endif()
  # Windows line ends: the README is read with Notepad.
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows-kit/README.txt.in ${PROJECT_BINARY_DIR}/kit-README.txt @ONLY
                 NEWLINE_STYLE CRLF)
  add_custom_command(
    OUTPUT ${VMLCMD_WINDOWS_ARCHIVE}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${kit_stage} ${VMLCMD_WINDOWS_ARCHIVE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${kit_root}/bin ${kit_root}/lib ${kit_root}/include/VmlCmd
            ${kit_root}/docs
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:VmlCmd> ${kit_root}/bin/VmlCmd.dll
    COMMAND ${CMAKE_STRIP} -o ${kit_root}/bin/napi-sim.exe $<TARGET_FILE:napi-sim>
    COMMAND ${CMAKE_STRIP} -o ${kit_root}/bin/vmlctl.exe $<TARGET_FILE:vmlctl>
    ${kit_gateway_commands}
    COMMAND ${CMAKE_COMMAND} -E copy ${VMLCMD_MSVC_IMPORT_LIBRARY} ${VMLCMD_MINGW_IMPORT_LIBRARY} ${VMLCMD_DEF}
            ${kit_root}/lib/
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/include/VmlCmd/ICommand.h
            ${PROJECT_SOURCE_DIR}/include/VmlCmd/vmlcmd.h ${kit_root}/include/VmlCmd/
    COMMAND ${CMAKE_COMMAND} -E make_directory ${kit_root}/bindings/dotnet
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/bindings/dotnet/VmlCmd.cs ${kit_root}/bindings/dotnet/
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_BINARY_DIR}/kit-README.txt ${kit_root}/README.txt
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${kit_root}/LICENSE.txt
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/operations.md ${kit_root}/docs/operations.md
    COMMAND ${CMAKE_COMMAND} -E chdir ${kit_stage} ${CMAKE_COMMAND} -E tar cf ${VMLCMD_WINDOWS_ARCHIVE} --format=zip
            ${VMLCMD_KIT_NAME}
    DEPENDS VmlCmd napi-sim vmlctl ${kit_gateway_depends} ${VMLCMD_MSVC_IMPORT_LIBRARY} ${VMLCMD_MINGW_IMPORT_LIBRARY}
            ${VMLCMD_DEF} ${PROJECT_SOURCE_DIR}/include/VmlCmd/ICommand.h
            ${PROJECT_SOURCE_DIR}/include/VmlCmd/vmlcmd.h ${PROJECT_SOURCE_DIR}/bindings/dotnet/VmlCmd.cs
            ${PROJECT_BINARY_DIR}/kit-README.txt ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/docs/operations.md
    COMMENT "Release archive ${VMLCMD_KIT_NAME}.zip"
    VERBATIM)
  add_custom_target(windows_archive DEPENDS ${VMLCMD_WINDOWS_ARCHIVE})
endif()
