# What both Windows cross builds share; the toolchain files name the target and Wine loader.
set(CMAKE_SYSTEM_NAME Windows)

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

# CTest runs the .exe tests through Wine.
if(VMLCMD_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VMLCMD_WINE})
endif()
