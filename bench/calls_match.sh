#!/usr/bin/env bash
# Checks that the benchmark's bare frame issues exactly the calls of one
# vorlix_render frame, in the same order with the same arguments, and draws
# the same picture; otherwise the ratio library/bare compares unlike work.
# Usage: calls_match.sh VORLIX_BENCH points|cubes N
set -euo pipefail
bench=$1 mode=$2 n=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if ! apitrace trace -o "$tmp/pair.trace" "$bench" --pair "$mode" "$n" >"$tmp/run.log" 2>&1; then
  cat "$tmp/run.log"
  echo "the two frames differ on screen, or the run failed"
  exit 1
fi
grep '^pixels' "$tmp/run.log"
apitrace dump --call-nos=no --color=never "$tmp/pair.trace" >"$tmp/dump.txt"

# Markers 7357101..7357104 enclose the library frame (1-2) and the bare
# frame (3-4).
awk -v dir="$tmp" '
  /^glPassThrough\(token = 7357101\)/ { part = "lib"; next }
  /^glPassThrough\(token = 7357103\)/ { part = "bare"; next }
  /^glPassThrough\(token = 73571/ { part = ""; next }
  part != "" { print > (dir "/" part ".txt") }' "$tmp/dump.txt"

# A frame draws 24 vertices of bounding cube, 10 of gizmo, and one vertex per
# point or 24 per cube.
per_voxel=1
[ "$mode" = cubes ] && per_voxel=24
want=$((24 + 10 + per_voxel * n))
got=$(grep -c '^glVertex3f(' "$tmp/lib.txt" || true)
if [ "$got" != "$want" ]; then
  echo "library frame: $got glVertex3f calls, expected $want"
  exit 1
fi
if ! diff -u "$tmp/lib.txt" "$tmp/bare.txt" >"$tmp/diff.txt"; then
  head -n 40 "$tmp/diff.txt"
  echo "the bare frame's calls differ from the library frame's"
  exit 1
fi
echo "ok: $(wc -l <"$tmp/lib.txt") calls, the same in both frames"
