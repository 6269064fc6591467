# Cross build for 32-bit Windows with mingw-w64 (the posix-thread flavour, so
# that std::thread and std::mutex exist).
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/i686-w64-mingw32.cmake \
#         -DVESKUPDATE_WINDOWS_PREFIX=<prefix holding curl, jsoncpp, ...>
# scripts/build-windows-deps.sh builds that prefix from Debian's sources.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

# try_compile projects read this file again; hand them the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VESKUPDATE_WINDOWS_PREFIX)

# Libraries, headers and packages come only from the mingw-w64 root and the
# dependency prefix, never from the build machine; programs run on the build
# machine.
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
if(VESKUPDATE_WINDOWS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH "${VESKUPDATE_WINDOWS_PREFIX}")
  list(APPEND CMAKE_PREFIX_PATH "${VESKUPDATE_WINDOWS_PREFIX}")
  # pkg-config must read the prefix's .pc files and nothing of the machine.
  set(ENV{PKG_CONFIG_LIBDIR} "${VESKUPDATE_WINDOWS_PREFIX}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
