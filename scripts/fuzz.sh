#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for a fixed time, FUZZ_JOBS (2) at
# a time. Fails when any target crashes, hangs, leaks, trips a sanitizer or
# breaks its round-trip property; the input that did it is kept in
# <build-dir>/artifacts/.
#   scripts/fuzz.sh [seconds-per-target] [build-dir] [target...]
# Every target starts from its checked-in seeds (fuzz/corpus/<target>) and
# from what earlier runs in the same build directory found
# (<build-dir>/corpus/<target>), so repeated runs go deeper. The last line of
# each target's report gives libFuzzer's execution count and its coverage
# (cov: edges, ft: features).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build=$(realpath -m "${2:-$root/build/fuzz}")
shift $(($# < 2 ? $# : 2))
jobs=${FUZZ_JOBS:-2}

all_targets=(updater local_state version_query situation version_list patch_list update_package file_check delta signed)
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=("${all_targets[@]}")

"$root/scripts/install-deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVESKUPDATE_WERROR=ON -DVESKUPDATE_BUILD_FUZZERS=ON -DVESKUPDATE_SANITIZE=address,undefined \
  -DVESKUPDATE_BUILD_TESTS=OFF -DVESKUPDATE_BUILD_TOOLS=OFF -DVESKUPDATE_BUILD_EXAMPLES=OFF \
  -DVESKUPDATE_BUILD_BENCH=OFF -DVESKUPDATE_INSTALL=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)"

mkdir -p "$build/artifacts" "$build/logs"
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

# Runs one target; its output goes to its log.
run_target() {
  local name=$1
  local fuzzer=$build/fuzz/fuzz_$name
  [ -x "$fuzzer" ] || { echo "fuzz.sh: $fuzzer was not built" >"$build/logs/$name.log"; return 1; }
  mkdir -p "$build/corpus/$name"
  "$fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -dict="$root/fuzz/veskupdate.dict" -artifact_prefix="$build/artifacts/$name-" \
    "$build/corpus/$name" "$root/fuzz/corpus/$name" >"$build/logs/$name.log" 2>&1
}

# One line per target: what libFuzzer reported last, or why it failed.
report() {
  local name=$1 status=$2 log=$build/logs/$1.log
  if [ "$status" -eq 0 ]; then
    local runs coverage
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)
    printf 'fuzz %-15s ok      %s runs, %s\n' "$name" "${runs:-?}" "${coverage:-no coverage figure}"
  else
    printf 'fuzz %-15s FAILED  (exit %s), log %s\n' "$name" "$status" "$log"
    # From the first report of a fault (or the end), and the saved input.
    local first
    first=$(grep -n -m 1 -E 'fuzz property failed|==ERROR|runtime error|ERROR: libFuzzer' "$log" | cut -d: -f1)
    if [ -n "$first" ]; then sed -n "${first},$((first + 30))p" "$log"; else tail -n 30 "$log"; fi | cut -c 1-300
    grep -E '^artifact_prefix=|Test unit written' "$log" || true
  fi
}

echo "== fuzz: ${#targets[@]} targets, ${seconds} s each, $jobs at a time"
declare -A running=()
failed=0
finish_one() {
  local pid status=0
  wait -n -p pid "${!running[@]}" || status=$?
  report "${running[$pid]}" "$status"
  [ "$status" -eq 0 ] || failed=1
  unset "running[$pid]"
}
for name in "${targets[@]}"; do
  while [ "${#running[@]}" -ge "$jobs" ]; do finish_one; done
  run_target "$name" &
  running[$!]=$name
done
while [ "${#running[@]}" -gt 0 ]; do finish_one; done

if [ "$failed" -ne 0 ]; then
  echo "fuzz.sh: a target failed; inputs that failed are in $build/artifacts/" >&2
  exit 1
fi
