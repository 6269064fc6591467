#!/usr/bin/env bash
# Walks a host through the update course of examples/host/course.txt against
# a version center that is already running, printing every answer and the
# recorded state after each step. Ends with a non-zero status when a step
# does not exit as the course says or does not say what it should.
#   scripts/run-course.sh CENTER-ADDRESS WORK-DIR
# Environment:
#   VESK_HOST    the host command (default: build/demo/examples/host/vesk-host);
#                words are split at spaces, so "wine /path/vesk-host.exe" works
#   VESK_COURSE  the course (default: examples/host/course.txt)
#   VESK_TRUST   the publisher's public key file: every vesk-host line runs
#                with --trust VESK_TRUST (the course says what is verified,
#                so it needs one)
#   VESK_HOST_STATE, VESK_HOST_EXECUTOR, VESK_HOST_CHECKER are the host's own
#                (the state defaults to WORK-DIR/editor.state)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -ne 2 ]; then
  echo "usage: run-course.sh CENTER-ADDRESS WORK-DIR" >&2
  exit 2
fi
center=$1
work=$2
read -ra host <<<"${VESK_HOST:-$root/build/demo/examples/host/vesk-host}"
if [ -n "${VESK_TRUST:-}" ]; then
  host+=(--trust "$VESK_TRUST")
fi
course=${VESK_COURSE:-$root/examples/host/course.txt}
export VESK_HOST_STATE=${VESK_HOST_STATE:-$work/editor.state}

bold= plain=
if [ -t 1 ]; then
  bold=$(tput bold 2>/dev/null || true)
  plain=$(tput sgr0 2>/dev/null || true)
fi

number=0
output=
show_state() {
  [ "$number" -gt 0 ] || return 0
  echo "-- state after step $number"
  "${host[@]}" state | tail -n +2
}

run_host() {
  local expected=$1; shift
  echo "\$ vesk-host $*"
  local status
  set +e
  output=$("${host[@]}" "$@" 2>&1)
  status=$?
  set -e
  [ -z "$output" ] || printf '%s\n' "$output" | sed 's/^/  /'
  if [ "$status" -ne "$expected" ]; then
    echo "run-course: step $number: exit status $status, the course says $expected" >&2
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
    says)
      if [[ "$output" != *"$rest"* ]]; then
        echo "run-course: step $number: the host did not say: $rest" >&2
        exit 1
      fi
      ;;
    *) ;; # comments, blank lines, and the state checks of the end-to-end test
  esac
done <"$course"
show_state
echo
echo "${bold}Done${plain}: $number steps; the installed version is now" \
  "$("${host[@]}" state | sed -n 's/^ *installed version *//p')."
