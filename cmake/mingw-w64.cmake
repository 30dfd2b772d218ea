# Cross-building the Windows programs on Debian with mingw-w64 (the POSIX
# threads variant of the compiler, which the standard library needs whole).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BOSKA_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BOSKA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BOSKA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${BOSKA_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${BOSKA_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
