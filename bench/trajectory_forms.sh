#!/usr/bin/env bash
# Reading every frame of one run written four ways, side by side in one run:
# the text of "dump custom id type x y z" (LAMMPS's %g), the same text
# through gzip (gzip -6, as custom/gz writes by default) and zstd (zstd -3,
# custom/zstd's default), and the same frames as a binary dump (DUMPCUSTOM,
# the doubles the text holds). viewer_dump_bench writes the text and the
# binary dump from one generator (32 000 atoms a frame); each round measures
# every form once in a fresh process, in turn (`--measure`: the index scan,
# then read_frame on every frame), and the medians over the rounds are
# reported. Every file is read once before the rounds (page cache).
# Usage: bench/trajectory_forms.sh [--mb N] BUILD_DIR [ROUNDS]
#        (bash bench/trajectory_forms.sh --mb 400 build 3)
# --mb N: size of the text dump (default 400); the other forms hold its frames.
set -euo pipefail
mb=400
while [ $# -gt 0 ]; do
  case $1 in
  --mb) mb=$2 && shift 2 ;;
  *) break ;;
  esac
done
[ $# -ge 1 ] || { sed -n 's/^# Usage: //p' "$0"; exit 2; }
build=$1
rounds=${2:-3}
bench=$build/bench/viewer_dump_bench
[ -x "$bench" ] || { echo "$bench is not built (cmake --build $build --target viewer_dump_bench)"; exit 1; }
command -v zstd >/dev/null || { echo "zstd is not installed (apt-get install zstd)"; exit 1; }
tmp=$(mktemp -d /tmp/trajectory_forms.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
"$bench" --mb "$mb" --write "$tmp/t.dump" >/dev/null
"$bench" --mb "$mb" --write-binary "$tmp/t.bin" >/dev/null
gzip -6 -c "$tmp/t.dump" >"$tmp/t.dump.gz"
zstd -3 -q -c "$tmp/t.dump" >"$tmp/t.dump.zst"
forms="t.dump t.dump.gz t.dump.zst t.bin"
for f in $forms; do cat "$tmp/$f" >/dev/null; done
for r in $(seq "$rounds"); do
  for f in $forms; do
    echo "$f $("$bench" --measure "$tmp/$f")" >>"$tmp/runs"
  done
done
# Per form: the median of index + read over the rounds, and its parts.
echo "| Form | File MB | Frames | Index s | Read every frame s | Total s | Frames/s | File MB/s | Frames/s against text |"
echo "|---|---|---|---|---|---|---|---|---|"
for f in $forms; do
  bytes=$(stat -c %s "$tmp/$f")
  grep "^$f " "$tmp/runs" | awk -v b="$bytes" '{ print $2 + $3, $2, $3, $4, $7 }' | sort -g |
    awk -v n="$rounds" -v b="$bytes" -v f="$f" 'NR == int((n + 1) / 2) {
      printf "%s %.1f %d %.3f %.3f %.3f %.1f %.1f %s\n", f, b / 1e6, $4, $2, $3, $1, $4 / $1, b / 1e6 / $1, $5 }'
done >"$tmp/medians"
text_fps=$(awk '$1 == "t.dump" { print $7 }' "$tmp/medians")
awk -v t="$text_fps" '{ printf "| %s | %s | %s | %s | %s | %s | %s | %s | %.2f |\n", $1, $2, $3, $4, $5, $6, $7, $8, $7 / t }' "$tmp/medians"
# Every form must have given the same frames and the same first-atom sum.
checks=$(awk '{ print $4, $5, $7 }' "$tmp/runs" | sort -u | wc -l)
[ "$checks" = 1 ] || { echo "the forms read different frames:"; cat "$tmp/runs"; exit 1; }
