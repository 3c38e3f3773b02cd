# Cross-compiles the Windows build for x86_64 with mingw-w64. Test executables run through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(VMLCMD_MINGW_TARGET x86_64-w64-mingw32)
# The posix threading flavour: the win32 one has no std::mutex, which GoogleTest needs. Its
# runtime is linked statically like the rest, so no pthread DLL is needed.
set(CMAKE_C_COMPILER ${VMLCMD_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VMLCMD_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${VMLCMD_MINGW_TARGET}-windres)
set(CMAKE_OBJDUMP ${VMLCMD_MINGW_TARGET}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${VMLCMD_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs the .exe tests through this. The 64-bit loader directly: Debian's "wine" script
# prefers the 32-bit loader, which needs the kernel's 32-bit support even for 64-bit programs.
find_program(VMLCMD_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(VMLCMD_WINE NAMES wine64 wine)
if(VMLCMD_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VMLCMD_WINE})
endif()
