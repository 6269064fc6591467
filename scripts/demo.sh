#!/usr/bin/env bash
# The demo: installs what is missing, builds the library, the demo host and
# the reference version center, starts the version center on 127.0.0.1 with
# the sample catalog, walks the host through a whole update course (first
# run, check, versions, patches, packages, downloads and installs until the
# product is current, with the state after every step) and stops the server.
#   scripts/demo.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/demo}
catalog=$root/examples/host/sample-catalog.json
course=$root/examples/host/course.txt

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DVESKUPDATE_BUILD_TESTS=OFF -DVESKUPDATE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target vesk-host version-center

host_bin=$build/examples/host/vesk-host
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

# The packages' files are the ones in sample-files/, fetched by the executor
# plug-in from their file:// addresses.
files=$root/examples/host/sample-files/
sed "s|http://downloads.example.invalid/|file://${files// /%20}|g" "$catalog" >"$work/catalog.json"

# Port 0: the server picks a free port and prints the address it serves.
"$center_bin" --listen 127.0.0.1:0 "$work/catalog.json" >"$work/server.out" 2>"$work/server.log" &
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

export VESK_HOST_STATE=$work/editor.state
bold= plain=
if [ -t 1 ]; then
  bold=$(tput bold 2>/dev/null || true)
  plain=$(tput sgr0 2>/dev/null || true)
fi

echo
echo "${bold}VeskUpdate demo${plain}: the version center serves $(basename "$catalog") at $center"
echo "The host keeps its state in $VESK_HOST_STATE"

number=0
show_state() {
  [ "$number" -gt 0 ] || return 0
  echo "-- state after step $number"
  "$host_bin" state | tail -n +2
}

run_host() {
  local expected=$1; shift
  echo "\$ vesk-host $*"
  local status
  set +e
  "$host_bin" "$@" 2>&1 | sed 's/^/  /'
  status=${PIPESTATUS[0]}
  set -e
  if [ "$expected" = 0 ] && [ "$status" -ne 0 ]; then
    echo "demo: step $number failed (exit status $status)" >&2
    exit 1
  fi
  if [ "$expected" != 0 ] && [ "$status" -ne "$expected" ]; then
    echo "demo: step $number should have failed with status $expected, got $status" >&2
    exit 1
  fi
  [ "$expected" = 0 ] || echo "  (exit status $status, as intended)"
}

while IFS= read -r line || [ -n "$line" ]; do
  line=${line//\{center\}/$center}
  line=${line//\{dir\}/$work}
  kind=${line%% *}
  rest=${line#* }
  case "$kind" in
    step)
      show_state
      number=$((number + 1))
      echo
      echo "${bold}== Step $number: $rest${plain}"
      ;;
    run)
      read -ra args <<<"$rest"
      run_host 0 "${args[@]}"
      ;;
    fail)
      read -ra args <<<"$rest"
      run_host "${args[0]}" "${args[@]:1}"
      ;;
    *) ;; # comments, blank lines, and the checks the end-to-end test makes
  esac
done <"$course"
show_state

version=$("$host_bin" state | sed -n 's/^ *installed version *//p')
stop_server
echo
echo "${bold}Done${plain}: $number steps; Editor is at $version. The version center has stopped."
echo "Its request log:"
sed 's/^/  /' "$work/server.log"
