#!/usr/bin/env bash
# Every benchmark pair side by side: an operation of the library against its
# floor, the same work done with jsoncpp and libcurl alone (the comment at
# each floor in bench/*.cpp says what it includes). Printed as ratios of
#   wall   the median wall time of repetitions run in one process, the
#          benchmarks of a program interleaved at random;
#   cpu    the median CPU time of the same runs;
#   instr  the instructions callgrind counts in the pair's two Measure_*
#          functions, one iteration each (steady where wall times swing).
#
#   bench/ratios.sh [build-dir] [repetitions]      (defaults: build, 7)
# CALLGRIND=0 skips the instruction counts, which take some minutes; PAIRS=
# a pattern keeps the pairs whose label matches it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
repetitions=${2:-7}
bench=$build/bench

# label | program | measured benchmark | floor benchmark
pairs=(
  "FromString, empty state, 10k patches|bench_local_state|BM_FromString_EmptyState/10000|BM_Floor_Parse/10000"
  "FromString, full state, 10k patches|bench_local_state|BM_FromString_FullState/10000|BM_Floor_Parse/10000"
  "ToString / write only, 1k patches|bench_local_state|BM_ToString/1000|BM_Floor_WriteOnly/1000"
  "ToString / write only, 10k patches|bench_local_state|BM_ToString/10000|BM_Floor_WriteOnly/10000"
  "ToString / write only, 100k patches|bench_local_state|BM_ToString/100000|BM_Floor_WriteOnly/100000"
  "ToString / build and write, 1k patches|bench_local_state|BM_ToString/1000|BM_Floor_BuildAndWrite/1000"
  "ToString / build and write, 10k patches|bench_local_state|BM_ToString/10000|BM_Floor_BuildAndWrite/10000"
  "ToString / build and write, 100k patches|bench_local_state|BM_ToString/100000|BM_Floor_BuildAndWrite/100000"
  "GetPatchs, 1 MB answer, asked again|bench_version_query|BM_GetPatchs|BM_Floor_CurlGetAndParse"
  "GetPatchs, 1 MB answer, new query|bench_version_query|BM_GetPatchs_NewQuery|BM_Floor_CurlGetAndParse"
  "body to patch list, 1 MB answer|bench_version_query|BM_BodyToPatchList|BM_Floor_BodyParse"
)

# The function each benchmark times, by the benchmark's name.
declare -A measure=(
  [BM_FromString_EmptyState]=Measure_FromString
  [BM_FromString_FullState]=Measure_FromString
  [BM_Floor_Parse]=Measure_JsoncppParse
  [BM_ToString]=Measure_ToString
  [BM_Floor_WriteOnly]=Measure_WriteOnly
  [BM_Floor_BuildAndWrite]=Measure_BuildAndWrite
  [BM_GetPatchs]=Measure_GetPatchs
  [BM_GetPatchs_NewQuery]=Measure_GetPatchs
  [BM_Floor_CurlGetAndParse]=Measure_CurlGetAndParse
  [BM_BodyToPatchList]=Measure_BodyToPatchList
  [BM_Floor_BodyParse]=Measure_BodyParse
)

selected=()
for pair in "${pairs[@]}"; do
  [[ -z "${PAIRS:-}" || "${pair%%|*}" == *${PAIRS}* ]] && selected+=("$pair")
done

# One run per program over all its selected benchmarks: name,wall,cpu lines
# of the medians, in milliseconds.
declare -A medians
for program in bench_local_state bench_version_query; do
  names=()
  for pair in "${selected[@]}"; do
    IFS='|' read -r _ prog measured floor <<<"$pair"
    [[ $prog == "$program" ]] && names+=("$measured" "$floor")
  done
  ((${#names[@]})) || continue
  filter="^($(printf '%s\n' "${names[@]}" | sort -u | paste -sd'|'))\$"
  while IFS=, read -r name wall cpu; do
    medians[$name]="$wall $cpu"
  done < <("$bench/$program" --benchmark_filter="$filter" --benchmark_repetitions="$repetitions" \
             --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
             --benchmark_time_unit=ms --benchmark_format=csv 2>/dev/null |
           awk -F, '$1 ~ /_median"$/ { gsub(/"/, "", $1); sub(/_median$/, "", $1); print $1 "," $3 "," $4 }')
done

# Instructions of one iteration of the benchmark, counted in its function.
instructions() {
  local program=$1 benchmark=$2
  valgrind --tool=callgrind --callgrind-out-file=/dev/null --toggle-collect="*${measure[${benchmark%%/*}]}*" \
    "$bench/$program" --benchmark_filter="^${benchmark}\$" --benchmark_min_time=0 2>&1 >/dev/null |
    awk '/Collected :/ { print $NF }'
}

printf '%-42s %16s %8s %8s %8s\n' "pair (measured / floor)" "wall ms (median)" wall cpu instr
for pair in "${selected[@]}"; do
  IFS='|' read -r label program measured floor <<<"$pair"
  read -r wallA cpuA <<<"${medians[$measured]:-0 0}"
  read -r wallB cpuB <<<"${medians[$floor]:-0 0}"
  instr=-
  if [[ ${CALLGRIND:-1} != 0 ]]; then
    a=$(instructions "$program" "$measured")
    b=$(instructions "$program" "$floor")
    instr=$(awk -v a="$a" -v b="$b" 'BEGIN { printf (b > 0 ? "%.3f" : "-"), a / b }')
  fi
  awk -v l="$label" -v wa="$wallA" -v wb="$wallB" -v ca="$cpuA" -v cb="$cpuB" -v i="$instr" \
    'BEGIN { printf "%-42s %7.1f/%-8.1f %8.3f %8.3f %8s\n", l, wa, wb, (wb > 0 ? wa / wb : 0), (cb > 0 ? ca / cb : 0), i }'
done
