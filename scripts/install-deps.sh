#!/usr/bin/env bash
# Installs every system package VeskUpdate needs to build, test, lint, benchmark and
# cross-compile its Windows sources. Safe to run again: apt-get skips what is
# already there. Must run as root (or through sudo).
#   scripts/install-deps.sh [--windows]
# --windows adds what the Windows build and its tests under wine need: the
# mingw-w64 cross compiler, wine with its 32-bit part (which needs the i386
# architecture), dpkg-dev for unpacking Debian's source packages and the
# autotools for those that ship no generated configure script (libsodium).
set -euo pipefail

packages=(
  build-essential g++ cmake pkg-config ninja-build
  libcurl4-openssl-dev libjsoncpp-dev libcpp-httplib-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  locales binutils curl valgrind
  file lintian doxygen
  g++-mingw-w64-i686
  clang libclang-rt-14-dev clang-14 clang-format-14 clang-tidy-14
  nginx
  libsodium-dev minisign libzstd-dev libdivsufsort-dev bsdiff zstd
)
windows=no
[ "${1:-}" = --windows ] && windows=yes
if [ "$windows" = yes ]; then
  packages+=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686 dpkg-dev autoconf automake libtool wine wine32:i386)
fi

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then exec sudo -E "$0" "$@"; fi
  echo "install-deps.sh: must run as root to install packages" >&2
  exit 1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  # wine32 is an i386 package; Debian installs it by adding that architecture.
  if [ "$windows" = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # Another install may hold the package lock for a while; wait for it.
  apt-get -o DPkg::Lock::Timeout=600 update -qq
  apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
fi

# The code-page tests need a single-byte Windows-1252 locale. localedef is
# cheap and idempotent, so run it every time.
if ! locale -a 2>/dev/null | grep -qix 'en_US.cp1252'; then
  localedef -f CP1252 -i en_US en_US.CP1252 || echo "install-deps.sh: could not create en_US.CP1252" >&2
fi
echo "install-deps.sh: all dependencies present"
