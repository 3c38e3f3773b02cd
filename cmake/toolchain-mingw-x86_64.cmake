# Cross-compiles the Windows build for x86-64 with mingw-w64. Test executables run through Wine,
# with the 64-bit loader named directly: Debian's "wine" script prefers the 32-bit loader, which
# needs the kernel's 32-bit support even for 64-bit programs.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VMLCMD_MINGW_TARGET x86_64-w64-mingw32)
find_program(VMLCMD_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(VMLCMD_WINE NAMES wine64 wine)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
