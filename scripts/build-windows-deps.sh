#!/usr/bin/env bash
# Builds the Windows (i686 mingw-w64) dependencies from Debian's own source
# packages into a prefix inside the build tree, once:
#   curl (Debian's patches applied; Schannel for TLS, nothing else optional),
#   jsoncpp, cpp-httplib's full header (for the tests' servers), GoogleTest
#   from /usr/src/googletest, and the compiler's runtime DLLs beside them;
#   libsodium, libzstd and libdivsufsort as static libraries, so that the
#   plug-ins that use them need no further DLL beside them.
# The sources come through a private apt source list kept in the build tree;
# the machine's apt configuration is not touched.
#   scripts/build-windows-deps.sh <deps-dir>
# The prefix is <deps-dir>/prefix. A stamp records what it was built from, so
# a second run returns at once and a change of this script or the toolchain
# file builds everything again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps=${1:?usage: build-windows-deps.sh <deps-dir>}
mkdir -p "$deps"
deps=$(cd "$deps" && pwd)
prefix=$deps/prefix
toolchain=$root/cmake/toolchains/i686-w64-mingw32.cmake
jobs=$(nproc)

stamp_text=$(cat "$0" "$toolchain" | sha256sum | cut -d' ' -f1)
if [ -f "$prefix/.built" ] && [ "$(cat "$prefix/.built")" = "$stamp_text" ]; then
  echo "build-windows-deps: $prefix is up to date"
  exit 0
fi

log() { echo "build-windows-deps: $*"; }

# -- Sources: a deb-src twin of every Debian entry the machine uses ----------
apt_dir=$deps/apt
src_dir=$deps/src
rm -rf "$apt_dir" "$src_dir"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$src_dir"
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$codename" ] || { echo "build-windows-deps: unknown Debian release" >&2; exit 1; }

# deb822 stanzas (*.sources) and one-line entries (*.list) whose suite belongs
# to this release, turned into source entries. Other vendors' repositories are
# left out: they carry no sources of these packages.
{
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v codename="$codename" '
      function flush() {
        if (stanza != "" && suites ~ ("(^| )" codename "(-[a-z]+)?( |$)")) print stanza "\n"
        stanza = ""; suites = ""
      }
      /^[[:space:]]*$/ { flush(); next }
      /^#/ { next }
      /^Types:/ { stanza = stanza "Types: deb-src\n"; next }
      /^Suites:/ { suites = $0; sub(/^Suites:[[:space:]]*/, "", suites) }
      { stanza = stanza $0 "\n" }
      END { flush() }' "$f"
  done
} >"$apt_dir/debian-src.sources"
{
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v codename="$codename" '
      $1 == "deb" {
        n = 2; if ($2 ~ /^\[/) { while ($n !~ /\]$/) n++; n++ }
        if ($(n + 1) ~ ("^" codename "(-[a-z]+)?$")) { $1 = "deb-src"; print }
      }' "$f"
  done
} >"$apt_dir/debian-src.list"
if ! grep -q . "$apt_dir/debian-src.sources" && ! grep -q . "$apt_dir/debian-src.list"; then
  echo "build-windows-deps: no Debian $codename entry in /etc/apt to take sources from" >&2
  exit 1
fi

apt_private=(
  -o Dir::Etc::SourceList="$apt_dir/debian-src.list"
  -o Dir::Etc::SourceParts="$apt_dir/parts"
  -o Dir::State::Lists="$apt_dir/lists"
  -o Dir::Cache="$apt_dir/cache"
  -o APT::Sandbox::User=root
)
mkdir -p "$apt_dir/parts"
mv "$apt_dir/debian-src.sources" "$apt_dir/parts/"
log "fetching source package lists"
apt-get "${apt_private[@]}" update -qq
# One source package: the version apt chooses, or, when the mirror does not
# hold that one's files (a security update it has not taken yet), the next
# older version the lists name.
fetch_source() {
  local package=$1 version
  log "fetching $package's source"
  if (cd "$src_dir" && apt-get "${apt_private[@]}" source -qq "$package") >>"$deps/apt-source.log" 2>&1; then
    return
  fi
  for version in $(apt-cache "${apt_private[@]}" showsrc "$package" | sed -n 's/^Version: //p' | sort -Vru | tail -n +2); do
    log "fetching $package's source failed; trying version $version"
    if (cd "$src_dir" && apt-get "${apt_private[@]}" source -qq "$package=$version") >>"$deps/apt-source.log" 2>&1; then
      return
    fi
  done
  cat "$deps/apt-source.log" >&2
  echo "build-windows-deps: no version of $package's source could be fetched" >&2
  exit 1
}
: >"$deps/apt-source.log"
for package in curl libjsoncpp cpp-httplib libsodium libzstd libdivsufsort; do
  fetch_source "$package"
done

# The upstream versions the library is built and tested against.
find_source() {
  local dir
  dir=$(find "$src_dir" -mindepth 1 -maxdepth 1 -type d -name "$1" | head -n 1)
  [ -n "$dir" ] || { echo "build-windows-deps: no source tree matching $1 in $src_dir" >&2; exit 1; }
  echo "$dir"
}
curl_src=$(find_source 'curl-7.88.1')
jsoncpp_src=$(find_source 'libjsoncpp-1.9.5')
httplib_src=$(find_source 'cpp-httplib-0.11.4*')
sodium_src=$(find_source 'libsodium-1.0.18*')
zstd_src=$(find_source 'libzstd-1.5.4*')
divsufsort_src=$(find_source 'libdivsufsort-2.0.1*')

rm -rf "$prefix" "$deps/build"
mkdir -p "$prefix"
cross=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVESKUPDATE_WINDOWS_PREFIX="$prefix"
       -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix")

build() {
  local name=$1 source=$2; shift 2
  log "building $name"
  if ! { cmake -S "$source" -B "$deps/build/$name" "${cross[@]}" "$@" &&
         cmake --build "$deps/build/$name" --parallel "$jobs" &&
         cmake --install "$deps/build/$name"; } >"$deps/build-$name.log" 2>&1; then
    tail -n 60 "$deps/build-$name.log" >&2
    echo "build-windows-deps: building $name failed; the whole log is $deps/build-$name.log" >&2
    exit 1
  fi
}

build curl "$curl_src" \
  -DBUILD_SHARED_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF \
  -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF -DUSE_LIBIDN2=OFF \
  -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DCURL_USE_LIBPSL=OFF \
  -DENABLE_MANUAL=OFF
build jsoncpp "$jsoncpp_src" \
  -DBUILD_SHARED_LIBS=ON -DBUILD_STATIC_LIBS=OFF -DBUILD_OBJECT_LIBS=OFF \
  -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_EXAMPLE=OFF
build googletest /usr/src/googletest -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_force_shared_crt=ON

# cpp-httplib is one header; on Windows it needs the socket library.
log "installing cpp-httplib's header"
install -m 644 "$httplib_src/httplib.h" "$prefix/include/httplib.h"
httplib_version=$(sed -n 's/^#define CPPHTTPLIB_VERSION "\(.*\)"/\1/p' "$httplib_src/httplib.h")
cat >"$prefix/lib/pkgconfig/cpp-httplib.pc" <<PC
prefix=$prefix
includedir=\${prefix}/include

Name: cpp-httplib
Description: A C++ HTTP/HTTPS server and client library (header only)
Version: $httplib_version
Cflags: -I\${includedir}
Libs: -lws2_32
PC

# libzstd: the library alone (no programs, no reading of the pre-1.0 formats).
build zstd "$zstd_src/build/cmake" \
  -DZSTD_BUILD_SHARED=OFF -DZSTD_BUILD_STATIC=ON -DZSTD_BUILD_PROGRAMS=OFF \
  -DZSTD_BUILD_TESTS=OFF -DZSTD_LEGACY_SUPPORT=OFF
# libdivsufsort with its 64-bit twin, as Debian ships it.
build divsufsort "$divsufsort_src" \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DIVSUFSORT64=ON -DUSE_OPENMP=OFF

# libsodium builds with autotools; Debian's source has no generated configure.
log "building libsodium"
if ! { (cd "$sodium_src" && autoreconf -fi) &&
       mkdir -p "$deps/build/libsodium" &&
       (cd "$deps/build/libsodium" &&
        "$sodium_src/configure" --host=i686-w64-mingw32 --prefix="$prefix" \
          --disable-shared --enable-static --disable-dependency-tracking \
          CC=i686-w64-mingw32-gcc-posix CFLAGS=-O2 &&
        make -j"$jobs" install); } >"$deps/build-libsodium.log" 2>&1; then
  tail -n 60 "$deps/build-libsodium.log" >&2
  echo "build-windows-deps: building libsodium failed; the whole log is $deps/build-libsodium.log" >&2
  exit 1
fi
# A static libsodium's header must not declare its functions as imported from
# a DLL; SODIUM_STATIC says so to every consumer that reads the .pc file.
sed -i 's/^Cflags: .*/& -DSODIUM_STATIC/' "$prefix/lib/pkgconfig/libsodium.pc"
rm -f "$prefix/lib/libsodium.la"

# The compiler's runtime DLLs go beside the dependencies' DLLs, so that one
# directory holds everything a program of the build needs besides its own.
for dll in libstdc++-6.dll libgcc_s_dw2-1.dll libwinpthread-1.dll; do
  file=$(i686-w64-mingw32-g++-posix -print-file-name="$dll")
  [ -f "$file" ] || { echo "build-windows-deps: the compiler has no $dll" >&2; exit 1; }
  install -m 644 "$file" "$prefix/bin/$dll"
done

echo "$stamp_text" >"$prefix/.built"
log "done: $prefix"
