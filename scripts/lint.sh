#!/usr/bin/env bash
# The fast checks that keep the code uniform, as CI runs them first:
#   1. a clang build of the library, tools, examples and tests, warnings as
#      errors (it also writes the compile database clang-tidy reads);
#   2. clang-tidy (.clang-tidy) over src/, tools/ and examples/, no finding
#      allowed; the Win32 sources are checked for the mingw-w64 target;
#   3. clang-format (.clang-format) over every tracked C++ file;
#   4. commit subjects of at most 72 characters, on the commits that are not
#      ancestors of subject_base (older history stays as it was written).
#
#   scripts/lint.sh [build-dir]      check everything (build dir: build/lint)
#   scripts/lint.sh --format         reformat every tracked C++ file in place
#
# The tools are Debian 12's clang 14: scripts/install-deps.sh installs them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m -- "${1:-$root/build/lint}")
cd "$root"

clang_format=clang-format-14
clang_tidy=clang-tidy-14
jobs=$(nproc)

# Paths (directories or files, relative to the root) that clang-tidy does not
# check yet. Only for work in progress: the list is to stay empty.
tidy_pending=()
# Paths clang-format does not check yet. The list is to stay empty too.
format_pending=()
# The last commit written before subjects were held to their length: it and
# its ancestors are not checked, every later commit is.
subject_base=e75d776f8ef2f2acd065b5248f0de5a184cfb71b
subject_limit=72

# Every tracked C++ source, or with no git checkout, every one on disk.
cpp_files() {
  if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git -C "$root" ls-files -- '*.cpp' '*.h'
  else
    find include src tests tools examples bench fuzz \( -name '*.cpp' -o -name '*.h' \) | sort
  fi
}

# Whether the path (relative to the root) lies in one of the given paths.
is_under() {
  local path=$1 p
  shift
  for p in "$@"; do
    [[ "$path" == "$p" || "$path" == "$p"/* ]] && return 0
  done
  return 1
}

if [ "${1:-}" = --format ]; then
  cpp_files | xargs -d '\n' "$clang_format" -i
  exit 0
fi

"$root/scripts/install-deps.sh"
status=0

echo "-- lint: clang build (warnings as errors)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DVESKUPDATE_WERROR=ON -DVESKUPDATE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$jobs" || status=1

echo "-- lint: clang-tidy"
# The translation units of src/, tools/ and examples/ in the compile database.
mapfile -t units < <(sed -n 's/^ *"file": "\(.*\)",\?$/\1/p' "$build/compile_commands.json" |
                     sed "s|^$root/||" | grep -E '^(src|tools|examples)/' | sort -u)
# The Win32 sources, which no Linux build compiles: clang reads them as the
# mingw-w64 cross compiler would, with its C++ library headers.
win32_units=(src/platform/win32/*.cpp src/boundary/DllMain.cpp src/boundary/TemplateInstances.cpp examples/plugins/win32/*.cpp)
mingw=i686-w64-mingw32-g++-posix
command -v "$mingw" >/dev/null || mingw=i686-w64-mingw32-g++
win32_flags=(--target=i686-w64-mingw32 -std=c++17 -DVESKUPDATE_BUILDING -nostdinc++ -Iinclude -Isrc -Iexamples/plugins)
while read -r dir; do
  case "$dir" in
    */include/c++*) win32_flags+=(-isystem "$dir") ;;
  esac
done < <(echo | "$mingw" -xc++ -E -v - 2>&1 | sed -n '/#include <...> search starts here/,/End of search list/p')

# Findings are reported in the project's own headers only (not in those of
# the dependencies, nor in the test support), and not in pending paths.
headers=()
while read -r header; do
  is_under "$header" "${tidy_pending[@]}" || headers+=("$(printf '%s' "$header" | sed 's/[.+]/\\&/g')")
done < <(cpp_files | grep -E '^(include|src|tools|examples)/.*\.h$')
filter="^$root/($(IFS='|'; echo "${headers[*]}"))\$"

checked=()
for unit in "${units[@]}" "${win32_units[@]}"; do
  is_under "$unit" "${tidy_pending[@]}" || checked+=("$unit")
done

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export root build out filter clang_tidy
export win32_flags_text="${win32_flags[*]}"
tidy_one() {
  local unit=$1 log
  log="$out/$(printf '%s' "$unit" | tr / _).log"
  case "$unit" in
    src/platform/win32/* | src/boundary/DllMain.cpp | src/boundary/TemplateInstances.cpp | examples/plugins/win32/*)
      # shellcheck disable=SC2086  # the flags are words without spaces
      "$clang_tidy" --quiet --header-filter="$filter" "$root/$unit" -- $win32_flags_text >"$log" 2>&1 ;;
    *)
      "$clang_tidy" --quiet --header-filter="$filter" -p "$build" "$root/$unit" >"$log" 2>&1 ;;
  esac || printf '%s\n' "$unit" >"$log.failed"
}
export -f tidy_one
printf '%s\n' "${checked[@]}" | xargs -d '\n' -P "$jobs" -I{} bash -c 'tidy_one "$1"' _ {}
if compgen -G "$out/*.failed" >/dev/null; then
  # A finding in a header shows up once per unit that includes it: print each
  # once, with its notes and the source lines clang-tidy quotes.
  cat "$out"/*.log | grep -v ' warnings\? generated\.$' | awk '
    /^[^ ].*:[0-9]+:[0-9]+: (warning|error): / { keep = !seen[$0]++ }
    keep' >&2
  echo "lint: clang-tidy has findings in: $(sort "$out"/*.failed | xargs)" >&2
  status=1
else
  echo "lint: clang-tidy: ${#checked[@]} units, no findings"
fi
if [ "${#tidy_pending[@]}" -gt 0 ]; then
  echo "lint: clang-tidy does not check yet: ${tidy_pending[*]}"
fi

echo "-- lint: clang-format"
formatted=()
while read -r file; do
  is_under "$file" "${format_pending[@]}" || formatted+=("$file")
done < <(cpp_files)
if [ "${#formatted[@]}" -eq 0 ]; then
  :
elif printf '%s\n' "${formatted[@]}" | xargs -d '\n' "$clang_format" --dry-run --Werror; then
  echo "lint: clang-format: ${#formatted[@]} files as .clang-format lays them out"
else
  echo "lint: clang-format: the files above differ from .clang-format's layout (scripts/lint.sh --format fixes them)" >&2
  status=1
fi
if [ "${#format_pending[@]}" -gt 0 ]; then
  echo "lint: clang-format does not check yet: ${format_pending[*]}"
fi
echo "-- lint: commit subjects"
if ! git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "lint: commit subjects: no git checkout, nothing to check"
elif ! git -C "$root" cat-file -e "$subject_base^{commit}" 2>/dev/null; then
  # A shallow clone lacks the base, and every commit it has would count as new.
  echo "lint: commit subjects: $subject_base is not in this clone (fetch the full history)" >&2
  status=1
else
  long=$(git -C "$root" log --format='%h %s' "$subject_base..HEAD" |
         awk -v limit="$subject_limit" 'length($0) - index($0, " ") > limit')
  if [ -n "$long" ]; then
    printf '%s\n' "$long" >&2
    echo "lint: commit subjects: the commits above have subjects over $subject_limit characters" >&2
    status=1
  else
    echo "lint: commit subjects: $(git -C "$root" rev-list --count "$subject_base..HEAD") new commits, none over $subject_limit characters"
  fi
fi
exit "$status"
