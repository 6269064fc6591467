#!/usr/bin/env bash
# Reads the shared library's dynamic symbol table and fails when it exports
# anything of ours outside namespace kvrUpdate, an implementation class, or
# lacks one of the expected factories.
#   check_exports.sh <library> [factory...]
set -u
lib=$1; shift
symbols=$(nm -D --defined-only "$lib" | awk '{print $3}' | sed 's/@.*//' | sort -u)
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
