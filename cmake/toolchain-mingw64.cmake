# Cross-compiling for 64-bit Windows on a Debian machine: mingw-w64 with
# posix threads (the thread model Qt is built with), Qt and libmosquitto as
# ./panel.sh windows builds them from Debian's source into its cache, and
# Wine to run what the build and the tests run. ./panel.sh windows passes
# the folders; a hand-made build finds them in the default cache.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT QALIX_WIN_CACHE)
    if(DEFINED ENV{XDG_CACHE_HOME})
        set(QALIX_WIN_CACHE "$ENV{XDG_CACHE_HOME}/qalix-plus-control")
    else()
        set(QALIX_WIN_CACHE "$ENV{HOME}/.cache/qalix-plus-control")
    endif()
endif()
set(QALIX_WIN_QT "${QALIX_WIN_CACHE}/qt5-win64")
set(QALIX_WIN_MOSQUITTO "${QALIX_WIN_CACHE}/mosquitto-win64")
# The compiler's own DLLs (libstdc++, libgcc, winpthread) that every program needs beside it.
file(GLOB QALIX_WIN_RUNTIME_DIRS LIST_DIRECTORIES true /usr/lib/gcc/x86_64-w64-mingw32/*-posix)
list(APPEND QALIX_WIN_RUNTIME_DIRS /usr/x86_64-w64-mingw32/lib)
# Checks the compiler makes while it is being found see the same folders.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QALIX_WIN_CACHE)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${QALIX_WIN_QT}" "${QALIX_WIN_MOSQUITTO}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} "${QALIX_WIN_MOSQUITTO}/lib/pkgconfig")

# Every program the build or ctest runs goes through Wine, with the DLLs'
# folders on its search path: the build's own, Qt's, libmosquitto's, the compiler's.
string(JOIN : wine_dll_dirs "${CMAKE_BINARY_DIR}" "${QALIX_WIN_QT}/bin" "${QALIX_WIN_MOSQUITTO}/bin"
       ${QALIX_WIN_RUNTIME_DIRS})
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../packaging/windows/wine-run.sh" "${wine_dll_dirs}")
