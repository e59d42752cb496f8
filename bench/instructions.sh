#!/usr/bin/env bash
# Instructions per frame, counted by callgrind (the same count on every run,
# whatever else the machine is doing): library frames and bare frames at each
# size after a warm-up, their ratio, the instructions each added voxel costs,
# and the library's own share per voxel. Counted in the drawing thread under
# the frame's calls (the library's work and the driver's up to the swap).
# The driver does some work in lumps (a vertex buffer filled, a new one
# taken) that land in one frame or the next, so small sizes run more frames.
# Usage: instructions.sh VORLIX_BENCH > instructions.txt   (needs a display)
set -euo pipefail
bench=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

inclusive() { # callgrind output file, function name -> instructions
  callgrind_annotate --inclusive=yes "$1" 2>/dev/null |
    awk -v f="$2" 'index($0, f "(") { gsub(",", "", $1); print $1; exit }'
}

printf '%-6s %8s %14s %14s %8s %14s %12s\n' mode N "lib Ir/frame" "bare Ir/frame" ratio \
  "Ir/voxel" "lib own/voxel"
for mode in points cubes; do
  if [ "$mode" = points ]; then
    sizes="10000 100000 200000" per_run=200000
  else
    sizes="1000 10000 20000" per_run=20000
  fi
  prev_n="" prev_ir=""
  for n in $sizes; do
    out=$tmp/$mode.$n
    k=$((per_run / n))
    [ $k -lt 1 ] && k=1
    [ $k -gt 20 ] && k=20
    valgrind --tool=callgrind --toggle-collect='*measured_*' --callgrind-out-file="$out" \
      "$bench" --profile "$mode" "$n" "$k" >"$tmp/log" 2>&1 || { cat "$tmp/log"; exit 1; }
    lib=$(($(inclusive "$out" measured_library_frames) / k))
    bare=$(($(inclusive "$out" measured_bare_frames) / k))
    # The library's own instructions: its voxel functions without the
    # OpenGL calls they make.
    own=$(callgrind_annotate "$out" 2>/dev/null |
      awk '/draw_voxels_points\(|draw_voxels_cubes\(|draw_voxel_cube\(/ { gsub(",", "", $1); s += $1 }
           END { print s + 0 }')
    added=-
    [ -n "$prev_n" ] && added=$(awk -v a="$prev_ir" -v b="$lib" -v m="$prev_n" -v n="$n" \
      'BEGIN { printf "%.1f", (b - a) / (n - m) }')
    printf '%-6s %8d %14d %14d %8.4f %14s %12.1f\n' "$mode" "$n" "$lib" "$bare" \
      "$(awk -v a="$lib" -v b="$bare" 'BEGIN { print a / b }')" "$added" \
      "$(awk -v o="$own" -v n="$n" -v k="$k" 'BEGIN { print o / n / k }')"
    prev_n=$n prev_ir=$lib
  done
done
