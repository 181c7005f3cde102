# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (the -posix variants, which have
# std::thread and std::mutex through winpthreads). Test programs run under Wine's 64-bit loader.
# TARNWOOD_WIN_PREFIX (given by scripts/build-windows.sh) is where libpng for the target is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${TARNWOOD_WIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
# Passed on to try_compile projects and libpng's own build.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TARNWOOD_WIN_PREFIX)
# zlib linked statically: CMake's FindZLIB would otherwise take the DLL's import library.
set(ZLIB_LIBRARY /usr/x86_64-w64-mingw32/lib/libz.a CACHE FILEPATH "zlib for the target")
set(ZLIB_INCLUDE_DIR /usr/x86_64-w64-mingw32/include CACHE PATH "zlib headers for the target")
