#!/usr/bin/env bash
# vorlix-view's playback rate against the atom count. For each count, lmp
# writes a 40-frame trajectory (`dump custom id type x y z vx`, atoms placed
# at random at liquid density with pair_style zero, so that they drift);
# vorlix-view plays it in its window at the top speed ('.' five times: 960
# frames per second asked for, then Space), and Mesa counts the frames drawn
# (GALLIUM_HUD=fps, hidden, one figure a second dumped to a file). The window
# redraws only when a new trajectory frame comes in, so that is trajectory
# frames shown per second. The first 2 s of playing are left out.
# Usage: bench/trajectory_fps.sh [--out DIR] [--secs S] BUILD_DIR [ATOMS...]
#        (it needs the keyboard focus, so a display of its own:
#         .ci/with-display --private 1280x1024x24 bash bench/trajectory_fps.sh build)
# --out DIR also writes DIR/trajectory_fps.csv and, with gnuplot, the plot
# DIR/trajectory_fps.png (bench/trajectory_fps.gp).
set -euo pipefail
out=
secs=8
while [ $# -gt 0 ]; do
  case $1 in
    --out) out=$2 && shift 2 ;;
    --secs) secs=$2 && shift 2 ;;
    *) break ;;
  esac
done
build=$1
shift
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000 4000 16000 32000 64000 128000 256000)
view=$build/viewer/vorlix-view
[ -x "$view" ] || { echo "$view is not built (cmake --build $build --target vorlix-view)"; exit 1; }
command -v lmp >/dev/null || { echo "lmp is not installed (apt-get install lammps)"; exit 1; }
command -v xdotool >/dev/null || { echo "xdotool is not installed"; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "no display: run it under .ci/with-display --private 1280x1024x24"; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/support/xdo.sh
. "$here/../tests/support/xdo.sh"
tmp=$(mktemp -d)
demo=
cleanup() {
  [ -z "$demo" ] || kill "$demo" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

cat >"$tmp/in.play" <<'END'
units lj
atom_style atomic
variable edge equal (${n}/0.8442)^(1.0/3.0)
region box block 0 ${edge} 0 ${edge} 0 ${edge}
create_box 2 box
create_atoms 1 random $(floor(v_n/2)) 87287 NULL
create_atoms 2 random $(v_n-floor(v_n/2)) 4541 NULL
mass * 1.0
velocity all create 1.0 87287
pair_style zero 1.0
pair_coeff * *
fix 1 all nve
dump d all custom 5 ${out} id type x y z vx
run 195
END

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

[ -z "$out" ] || { mkdir -p "$out" && echo "atoms,median_fps,lowest_fps,seconds" >"$out/trajectory_fps.csv"; }
printf '%8s %8s %11s %11s %8s\n' atoms frames "median fps" "lowest fps" seconds
for n in "${counts[@]}"; do
  dump=$tmp/play.dump
  (cd "$tmp" && lmp -log none -screen none -var n "$n" -var out "$dump" -in in.play)
  frames=$(grep -c '^ITEM: TIMESTEP' "$dump")
  rm -rf "$tmp/hud" && mkdir "$tmp/hud"
  GALLIUM_HUD=fps GALLIUM_HUD_VISIBLE=false GALLIUM_HUD_PERIOD=1 GALLIUM_HUD_DUMP_DIR="$tmp/hud" \
    "$view" "$dump" --size 640x640 >"$tmp/view.log" 2>&1 &
  demo=$!
  # The title names the frame once the start-up pass is over.
  wait_for "the window" 300 window_shown "vorlix-view: .*frame 1/"
  keys period period period period period space
  sleep $((secs + 2))
  keys Escape
  wait_for "vorlix-view to end" 30 ended
  wait "$demo" || fail "vorlix-view failed: $(cat "$tmp/view.log")"
  demo=
  # One figure a second while frames come; the first two (start-up, speed
  # keys) and the last (cut by Escape) are left out.
  [ -s "$tmp/hud/fps" ] || fail "Mesa wrote no frame count (is this llvmpipe?)"
  sed '1,2d;$d' "$tmp/hud/fps" | awk '{ print $1 }' >"$tmp/rates"
  [ -s "$tmp/rates" ] || fail "too few seconds counted: $(cat "$tmp/hud/fps")"
  med=$(median <"$tmp/rates")
  low=$(sort -g "$tmp/rates" | head -n1)
  counted=$(wc -l <"$tmp/rates")
  printf '%8d %8d %11.0f %11.0f %8d\n' "$n" "$frames" "$med" "$low" "$counted"
  [ -z "$out" ] || echo "$n,$med,$low,$counted" >>"$out/trajectory_fps.csv"
done
if [ -n "$out" ] && command -v gnuplot >/dev/null; then
  gnuplot -e "dir='$out'" "$here/trajectory_fps.gp"
  echo "plot: $out/trajectory_fps.png"
fi
