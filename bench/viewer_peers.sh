#!/usr/bin/env bash
# vorlix-view's load of binary PLY clouds against CloudCompare's, on the same
# files, in one run: each tool loads each file ROUNDS times in a fresh
# process, the two alternating, and the medians are compared. CloudCompare
# (Debian's cloudcompare, run headless with -SILENT) prints its own time;
# peak RSS comes from GNU time for both.
# Usage: bench/viewer_peers.sh [--out DIR] BUILD_DIR [ROUNDS [N...]]
#        (under a display: .ci/with-display bash bench/viewer_peers.sh build 3 1000000 10000000)
# --out DIR also writes DIR/viewer_load.csv and, with gnuplot, the plot
# DIR/viewer_load.png (bench/viewer_load.gp).
set -euo pipefail
out=
if [ "${1:-}" = --out ]; then
  out=$2
  shift 2
fi
build=$1
rounds=${2:-3}
shift $(($# < 2 ? $# : 2))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000000 10000000)
bench=$build/bench/viewer_load_bench
command -v CloudCompare >/dev/null || { echo "CloudCompare is not installed (apt-get install cloudcompare)"; exit 1; }
[ -x /usr/bin/time ] || { echo "GNU time is not installed (apt-get install time)"; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

[ -z "$out" ] || { mkdir -p "$out" && echo "points,ours_s,peer_s,ours_rss_mib,peer_rss_mib" >"$out/viewer_load.csv"; }
printf '%10s %12s %12s %8s %14s %14s\n' points "ours (s)" "peer (s)" "peer/us" "ours RSS MiB" "peer RSS MiB"
for n in "${sizes[@]}"; do
  "$bench" --write "$n" "$tmp/cloud.ply"
  : >"$tmp/ours" && : >"$tmp/peer"
  for _ in $(seq "$rounds"); do
    "$bench" --measure "$tmp/cloud.ply" | awk '{ print $2, $3 }' >>"$tmp/ours"
    /usr/bin/time -f "rss %M" CloudCompare -SILENT -NO_TIMESTAMP -O "$tmp/cloud.ply" >"$tmp/cc.log" 2>&1
    secs=$(sed -n 's/.*Processed finished in \([0-9.]*\) s.*/\1/p' "$tmp/cc.log")
    rss=$(sed -n 's/^rss \([0-9]*\)$/\1/p' "$tmp/cc.log")
    [ -n "$secs" ] || { echo "CloudCompare printed no time:"; cat "$tmp/cc.log"; exit 1; }
    echo "$secs $(awk -v k="$rss" 'BEGIN { printf "%.1f", k / 1024 }')" >>"$tmp/peer"
  done
  ours=$(cut -d' ' -f1 "$tmp/ours" | median)
  peer=$(cut -d' ' -f1 "$tmp/peer" | median)
  ours_rss=$(cut -d' ' -f2 "$tmp/ours" | median)
  peer_rss=$(cut -d' ' -f2 "$tmp/peer" | median)
  printf '%10d %12.3f %12.3f %8.2f %14.1f %14.1f\n' "$n" "$ours" "$peer" \
    "$(awk -v a="$peer" -v b="$ours" 'BEGIN { print a / b }')" "$ours_rss" "$peer_rss"
  [ -z "$out" ] || echo "$n,$ours,$peer,$ours_rss,$peer_rss" >>"$out/viewer_load.csv"
done
if [ -n "$out" ] && command -v gnuplot >/dev/null; then
  gnuplot -e "dir='$out'" "$(dirname "$0")/viewer_load.gp"
  echo "plot: $out/viewer_load.png"
fi
