# Cross-compiles the Windows build for x86 with mingw-w64. Test executables run through Wine.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VMLCMD_MINGW_TARGET i686-w64-mingw32)
find_program(VMLCMD_WINE NAMES wine)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
