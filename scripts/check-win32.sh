#!/usr/bin/env bash
# Compile-only check of the Windows build with the mingw-w64 i686 cross
# compiler: the Win32 platform layer, the entry routine and every other source
# of the library must keep compiling for the original 32-bit target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cxx=${CXX_WIN32:-i686-w64-mingw32-g++-posix}
command -v "$cxx" >/dev/null || cxx=i686-w64-mingw32-g++
shopt -s nullglob
sources=("$root"/src/platform/win32/*.cpp "$root"/src/boundary/*.cpp
         "$root"/src/json/*.cpp "$root"/src/model/*.cpp "$root"/src/updater/*.cpp
         "$root"/src/client/*.cpp "$root"/src/modules/*.cpp)
# Library headers of the dependencies are plain C/C++ declarations; take them
# from the build machine through a private include directory so that no other
# host header leaks in.
inc=$(mktemp -d)
trap 'rm -rf "$inc"' EXIT
ln -s /usr/include/jsoncpp/json "$inc/json"
ln -s /usr/include/x86_64-linux-gnu/curl "$inc/curl"
status=0
for src in "${sources[@]}"; do
  if ! "$cxx" -std=c++17 -fsyntax-only -Wall -Wextra -Werror -DVESKUPDATE_BUILDING -DCURL_STATICLIB \
       -I"$root/include" -I"$root/src" -I"$inc" "$src"; then
    echo "check-win32: $src does not compile for Win32" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "check-win32: ${#sources[@]} sources compile for i686-w64-mingw32"
exit "$status"
