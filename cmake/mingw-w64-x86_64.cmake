# Windows x64 cross build with mingw-w64 (Debian: g++-mingw-w64-x86-64-posix).
#   cmake --preset windows      (or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
# Produces kvx.dll with its import library kvx.dll.a, the tests and the sample host as .exe
# files. CTest runs them under Wine through scripts/wine_run.sh, which keeps the Wine prefix
# inside the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KVX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KVX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KVX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KVX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KVX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtime (libstdc++, libgcc, winpthread) is linked statically, so kvx.dll,
# the tests and the sample host need no mingw DLLs beside them and run on any Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine_run.sh)
