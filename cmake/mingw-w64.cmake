# Cross-compiling for Windows with the mingw-w64 toolchain (Debian package mingw-w64).
# GAME_WINDOWS_ARCH picks the target: x86_64 (64-bit, the default) or i686 (32-bit).
set(CMAKE_SYSTEM_NAME Windows)
if(NOT GAME_WINDOWS_ARCH)
  set(GAME_WINDOWS_ARCH x86_64)
endif()
# Compile checks run in their own projects: hand the choice on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES GAME_WINDOWS_ARCH)
set(CMAKE_SYSTEM_PROCESSOR ${GAME_WINDOWS_ARCH})

set(GAME_MINGW_TRIPLE ${GAME_WINDOWS_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${GAME_MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${GAME_MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${GAME_MINGW_TRIPLE}-windres)

# Headers and libraries come from the toolchain's own tree, programs from the host; CMake
# packages also from the prefixes given (CMAKE_PREFIX_PATH), where Windows libraries install.
set(CMAKE_FIND_ROOT_PATH /usr/${GAME_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
