#!/usr/bin/env bash
# Reads the shared library's dynamic symbol table (the export table of a
# Windows DLL) and fails when it exports anything outside namespace kvrUpdate,
# an implementation class or an interface the library keeps to itself, or
# lacks one of the expected factories.
#   check_exports.sh <library> [factory...]
set -u
lib=$1; shift
if objdump -f "$lib" | grep -q 'file format pei-'; then
  symbols=$(objdump -p "$lib" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
            awk 'NR > 1 && NF { print $NF }' | sort -u)
else
  symbols=$(nm -D --defined-only "$lib" | awk '{print $3}' | sed 's/@.*//' | sort -u)
fi
[ -n "$symbols" ] || { echo "no exported symbols read from $lib"; exit 1; }
status=0
while read -r sym; do
  [ -z "$sym" ] && continue
  case "$sym" in
    _ZN9kvrUpdate*|_ZTVN9kvrUpdate*|_ZTIN9kvrUpdate*|_ZTSN9kvrUpdate*|_ZTTN9kvrUpdate*|_ZTCN9kvrUpdate*) ;;
    VESKUPDATE_*) ;;  # the version node of the version script, if any
    *) echo "exported outside namespace kvrUpdate: $(echo "$sym" | c++filt)"; status=1 ;;
  esac
  demangled=$(echo "$sym" | c++filt)
  if [[ "$demangled" =~ kvrUpdate::C[A-Z] ]] && [[ ! "$demangled" =~ kvrUpdate::Create ]]; then
    echo "implementation class exported: $demangled"; status=1
  fi
  if [[ "$demangled" =~ kvrUpdate::I(FileDef|FileDefList|Releaseable|StringInitial)([^A-Za-z]|$) ]]; then
    echo "interface kept inside the library exported: $demangled"; status=1
  fi
done <<< "$symbols"
for factory in "$@"; do
  if ! grep -qx "_ZN9kvrUpdate${#factory}${factory}Ev" <<< "$symbols"; then
    echo "factory not exported: kvrUpdate::${factory}()"; status=1
  fi
done
if [ "$status" -eq 0 ]; then
  echo "exports ok: $(grep -c . <<< "$symbols") symbols, factories: ${*:-none}"
fi
exit "$status"
