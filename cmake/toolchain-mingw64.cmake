# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix thread
# model: std::thread and std::mutex work), e.g.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
# Needs g++-mingw-w64-x86-64-posix (tools/install-deps --windows).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# Windows 10 and later; also keeps CMake from guessing the version.
if(NOT CMAKE_SYSTEM_VERSION)
  set(CMAKE_SYSTEM_VERSION 10)
endif()

set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)
set(CMAKE_AR ${MINGW_TRIPLET}-ar CACHE FILEPATH "archiver")
set(CMAKE_RANLIB ${MINGW_TRIPLET}-ranlib CACHE FILEPATH "ranlib")

# Headers and libraries come from the mingw-w64 sysroot and from the folders
# named in CMAKE_FIND_ROOT_PATH or CMAKE_PREFIX_PATH (such as the connector
# prefix made by tools/build-win-deps), never from the Linux system; programs
# (code generators and the like) are the build machine's own.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs built this way run under Wine: add
# -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/lib/wine/wine64 (Debian keeps wine64 off
# PATH), with a WINEPREFIX of the build's own.
