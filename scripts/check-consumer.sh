#!/usr/bin/env bash
# Builds and runs the consumer in tests/consumer/ against VeskUpdate the ways a
# third party takes it, and checks the packaging on the way:
#   1. a build of the library for /usr; installed into a scratch prefix that is
#      then moved, so both package files must be relocatable;
#   2. find_package from the build tree and from the moved prefix; a request
#      for major version 2 fails;
#   3. pkg-config from the moved prefix;
#   4. add_subdirectory with default options: only the library is defined;
#   5. configures without GoogleTest, Google Benchmark or cpp-httplib succeed
#      with the parts that need them turned off;
#   6. cpack -G DEB: the packages' contents and dependencies, lintian errors;
#   7. with --system (as root, on a machine of its own such as CI): the
#      packages installed with dpkg -i, the consumer built against the system
#      install through find_package and pkg-config, the packages removed again.
#   scripts/check-consumer.sh [--system] [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
system=0
if [ "${1:-}" = "--system" ]; then system=1; shift; fi
build=${1:-$root/build/package}
consumer=$root/tests/consumer
work=$(mktemp -d "${TMPDIR:-/tmp}/vesk-consumer.XXXXXX")
installed_packages=()

cleanup() {
  if [ "${#installed_packages[@]}" -gt 0 ]; then
    dpkg --purge "${installed_packages[@]}" >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

step() { echo "== consumer: $*"; }
fail() { echo "check-consumer.sh: $*" >&2; exit 1; }
jobs=$(nproc)

# Configures, builds and runs the consumer: consume <name> <cmake args...>
consume() {
  local name=$1; shift
  cmake -S "$consumer" -B "$work/$name" -G Ninja "$@" >"$work/$name.log" 2>&1 \
    || { cat "$work/$name.log"; fail "$name: the consumer does not configure"; }
  cmake --build "$work/$name" --parallel "$jobs" >>"$work/$name.log" 2>&1 \
    || { cat "$work/$name.log"; fail "$name: the consumer does not build"; }
  "$work/$name/vesk-consumer" || fail "$name: the consumer failed"
}

step "build the library for /usr in $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DVESKUPDATE_BUILD_TESTS=OFF -DVESKUPDATE_BUILD_BENCH=OFF \
  -DVESKUPDATE_BUILD_TOOLS=OFF -DVESKUPDATE_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$build" --parallel "$jobs" >/dev/null
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")

step "find_package from the build tree"
consume build-tree -DVESK_CONSUMER_MODE=package -DVeskUpdate_DIR="$build"

step "install into a scratch prefix and move it"
cmake --install "$build" --prefix "$work/stage" >/dev/null
mv "$work/stage" "$work/moved"
prefix=$work/moved

step "find_package from the moved prefix"
consume package -DVESK_CONSUMER_MODE=package -DCMAKE_PREFIX_PATH="$prefix"
if cmake -S "$consumer" -B "$work/major2" -DVESK_CONSUMER_MODE=package -DVESK_CONSUMER_VERSION=2 \
     -DCMAKE_PREFIX_PATH="$prefix" >"$work/major2.log" 2>&1; then
  fail "find_package(VeskUpdate 2) accepted version 1"
fi
grep -q 'compatible with requested version "2"' "$work/major2.log" \
  || { cat "$work/major2.log"; fail "find_package(VeskUpdate 2) failed for another reason"; }

step "pkg-config from the moved prefix"
# pkg-config gives no run path: the loader is told where the library is.
PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" LD_LIBRARY_PATH="$prefix/$libdir" \
  consume pkg-config -DVESK_CONSUMER_MODE=pkg-config

step "add_subdirectory with default options"
consume subdirectory -DVESK_CONSUMER_MODE=subdirectory -DVESKUPDATE_SOURCE_DIR="$root"

step "configure without GoogleTest and Google Benchmark"
cmake -S "$root" -B "$work/no-gtest" -G Ninja \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >"$work/no-gtest.log" 2>&1 \
  || { cat "$work/no-gtest.log"; fail "the configure without GoogleTest failed"; }
grep -q 'the tests are not built' "$work/no-gtest.log" || fail "no word that the tests are off"
grep -q 'the benchmarks are not built' "$work/no-gtest.log" || fail "no word that the benchmarks are off"
grep -q 'building the library, tools, examples$' "$work/no-gtest.log" \
  || { cat "$work/no-gtest.log"; fail "tests or benchmarks still on"; }

step "configure without cpp-httplib"
# A pkg-config search path that holds jsoncpp and libcurl but not cpp-httplib.
mkdir "$work/pc"
for pc in jsoncpp libcurl; do
  ln -s "$(pkg-config --variable=pcfiledir "$pc")/$pc.pc" "$work/pc/$pc.pc"
done
PKG_CONFIG_LIBDIR=$work/pc cmake -S "$root" -B "$work/no-httplib" -G Ninja \
  -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >"$work/no-httplib.log" 2>&1 \
  || { cat "$work/no-httplib.log"; fail "the configure without cpp-httplib failed"; }
grep -q 'building the library, examples$' "$work/no-httplib.log" \
  || { cat "$work/no-httplib.log"; fail "tests or tools still on without cpp-httplib"; }

step "Debian packages"
(cd "$build" && rm -f ./*.deb && cpack -G DEB >"$work/cpack.log" 2>&1) \
  || { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
runtime_deb=$(echo "$build"/libveskupdate1_*.deb)
dev_deb=$(echo "$build"/libveskupdate-dev_*.deb)
[ -f "$runtime_deb" ] && [ -f "$dev_deb" ] || fail "cpack made no libveskupdate1 and libveskupdate-dev"
expect_in() { # expect_in <deb> <path pattern...>
  local deb=$1; shift
  local listing; listing=$(dpkg-deb -c "$deb")
  for path in "$@"; do
    grep -q " \./$path\( \|$\)" <<<"$listing" || { echo "$listing"; fail "$(basename "$deb") lacks $path"; }
  done
}
expect_in "$runtime_deb" "usr/$libdir/libVeskUpdate.so.1" "usr/$libdir/libVeskUpdate.so.1.0.0" \
  usr/share/doc/libveskupdate1/copyright
expect_in "$dev_deb" usr/include/VeskUpdate.h "usr/$libdir/libVeskUpdate.so" \
  "usr/$libdir/cmake/VeskUpdate/VeskUpdateConfig.cmake" \
  "usr/$libdir/cmake/VeskUpdate/VeskUpdateConfigVersion.cmake" \
  "usr/$libdir/pkgconfig/VeskUpdate.pc" usr/share/doc/libveskupdate-dev/copyright
depends=$(dpkg-deb -f "$runtime_deb" Depends)
for need in libcurl4 libjsoncpp25; do
  grep -q "\b$need\b" <<<"$depends" || fail "libveskupdate1 does not depend on $need: $depends"
done
command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps.sh installs it)"
lintian_status=0
lintian --fail-on error "$runtime_deb" "$dev_deb" >"$work/lintian.log" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$work/lintian.log" || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors"

if [ "$system" -eq 1 ]; then
  step "install the packages and build against the system"
  [ "$(id -u)" -eq 0 ] || fail "--system installs packages: run it as root"
  dpkg -i "$runtime_deb" "$dev_deb" >/dev/null
  installed_packages=(libveskupdate-dev libveskupdate1)
  consume system-package -DVESK_CONSUMER_MODE=package
  grep -qx "VeskUpdate_DIR:PATH=/usr/$libdir/cmake/VeskUpdate" "$work/system-package/CMakeCache.txt" \
    || fail "find_package did not take the system's VeskUpdate"
  consume system-pkg-config -DVESK_CONSUMER_MODE=pkg-config
fi
step "all ways work"
