#!/usr/bin/env bash
# Checks the dynamic symbol table of a shared library: it must define exactly
# the expected names and, with --no-alloc, import no allocation function.
# Usage: check_exports.sh [--nm NM] [--no-alloc] LIBRARY NAME...
set -euo pipefail

nm=nm
no_alloc=0
while [ $# -gt 0 ]; do
  case "$1" in
    --nm) nm=$2; shift 2 ;;
    --no-alloc) no_alloc=1; shift ;;
    *) break ;;
  esac
done
if [ $# -lt 2 ]; then
  echo "usage: $0 [--nm NM] [--no-alloc] LIBRARY NAME..." >&2
  exit 2
fi
lib=$1
shift
[ -f "$lib" ] || { echo "no such library: $lib" >&2; exit 2; }

expected=$(printf '%s\n' "$@" | LC_ALL=C sort -u)

# Names only, without version suffixes. Symbols the linker itself defines
# are not ours and are left out.
names() { "$nm" -D "$@" "$lib" | awk '{ print $NF }' | sed 's/@.*//'; }
defined=$(names --defined-only | grep -Ev '^(_edata|_end|__bss_start|_init|_fini)$' |
  LC_ALL=C sort -u)

status=0
missing=$(LC_ALL=C comm -23 <(echo "$expected") <(echo "$defined"))
extra=$(LC_ALL=C comm -13 <(echo "$expected") <(echo "$defined"))
for s in $missing; do echo "missing: $s"; status=1; done
for s in $extra; do echo "unexpected: $s"; status=1; done

if [ $no_alloc -eq 1 ]; then
  alloc='^(malloc|calloc|realloc|reallocarray|free|posix_memalign|aligned_alloc|memalign|valloc|pvalloc|strdup|strndup|_Znw.*|_Zna.*|_Zdl.*|_Zda.*)$'
  for s in $(names --undefined-only | grep -E "$alloc" || true); do
    echo "allocation: $s"
    status=1
  done
fi

[ $status -eq 0 ] && echo "ok: $(echo "$expected" | wc -l) exports in $(basename "$lib")"
exit $status
