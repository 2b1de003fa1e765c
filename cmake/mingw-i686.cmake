# Cross-building the Windows DLLs with Debian's mingw-w64 toolchain.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
# KQXL_MINGW_THREADS: -posix for what needs the C++ threads (GoogleTest); the
# driver's DLLs keep the default, which needs no thread library beside them.
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc${KQXL_MINGW_THREADS})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++${KQXL_MINGW_THREADS})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
