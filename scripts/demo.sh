#!/usr/bin/env bash
# The demo: installs what is missing, builds the library, the demo host, the
# sample plug-ins and the reference version center, makes a signing key in
# its scratch directory, publishes the sample product's release folders into
# a catalog and a download tree signed with it, serves both from the version
# center on 127.0.0.1, walks the host through a whole update course trusting
# that key (first run, check, versions, patches, packages, downloads over
# HTTP, each package verified against its signed manifest, and installs
# until the product is current, with the state after every step) and stops
# the server.
#   scripts/demo.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/demo}
releases=$root/examples/host/sample-releases

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DVESKUPDATE_BUILD_TESTS=OFF -DVESKUPDATE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target vesk-host version-center

center_bin=$build/tools/version-center/version-center
work=$(mktemp -d "${TMPDIR:-/tmp}/vesk-demo.XXXXXX")
server_pid=

stop_server() {
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    kill -TERM "$server_pid"
    wait "$server_pid" 2>/dev/null || true
  fi
  server_pid=
}
cleanup() {
  stop_server
  rm -rf "$work"
}
trap cleanup EXIT

bold= plain=
if [ -t 1 ]; then
  bold=$(tput bold 2>/dev/null || true)
  plain=$(tput sgr0 2>/dev/null || true)
fi

# The publisher's step: the catalog they keep by hand (titles, patch
# numbers, the situation) gets every version's package and file check and
# the patches' packages from the release folders; the download tree gets the
# files.
echo
echo "${bold}VeskUpdate demo${plain}: a signing key for the publisher"
mkdir "$work/keys"
"$center_bin" keygen --secret "$work/keys/editor.key" --public "$work/keys/editor.pub"
echo "The hosts trust the public key $work/keys/editor.pub:"
sed 's/^/  /' "$work/keys/editor.pub"

echo
echo "${bold}Publishing${plain} Editor from $(basename "$releases")/, signed"
cp "$root/examples/host/sample-catalog.json" "$work/catalog.json"
"$center_bin" publish --product Editor --releases "$releases" --out "$work/downloads" --catalog "$work/catalog.json" \
  --sign "$work/keys/editor.key"

# Port 0: the server picks a free port and prints the address it serves.
# --files serves the download tree too, and completes the catalog's download
# addresses with the tree's address.
"$center_bin" --listen 127.0.0.1:0 --files "$work/downloads" "$work/catalog.json" \
  >"$work/server.out" 2>"$work/server.log" &
server_pid=$!
center=
for _ in $(seq 100); do
  center=$(sed -n 's/^version-center: serving .* at \(http:[^ ]*\)$/\1/p' "$work/server.out")
  [ -n "$center" ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$center" ]; then
  echo "demo: the version center did not start:" >&2
  cat "$work/server.log" >&2
  exit 1
fi
echo "The version center serves the catalog and its downloads at $center"
echo "The host keeps its state in $work/editor.state"

VESK_HOST=${VESK_HOST:-$build/examples/host/vesk-host} VESK_TRUST=$work/keys/editor.pub \
  "$root/scripts/run-course.sh" "$center" "$work"

stop_server
echo "The version center has stopped. Its request log:"
sed 's/^/  /' "$work/server.log"
