#!/usr/bin/env bash
# A movie of a whole trajectory: vorlix-view against LAMMPS's own renderer,
# on the same dump, in one run. The dump is bench/shear.in's (41 frames,
# 32 800 atoms: a 20^3-cell fcc box between two walls), made once by lmp.
# Each round runs both in a fresh process, in turn, and the medians over the
# rounds are compared, as wall time and as CPU time (user + system, children
# included), the second being the steadier on a shared machine.
#   ours:   vorlix-view shear.dump --frames 0: --movie out.mp4 --size 640x640
#           (overlays on; ffmpeg encodes the movie in the same run)
#   LAMMPS: lmp -in rerun.in: read_data of frame 0 (ids and types), then
#           rerun of every frame with "dump image ... size 640 640" (PNGs;
#           pair zero, so no forces are worth computing)
# (Debian's lmp has no "dump movie": it was built without FFMPEG support.)
# Usage: bench/movie_peers.sh [--out DIR] [--dump FILE] BUILD_DIR [ROUNDS]
#        (.ci/with-display bash bench/movie_peers.sh build 3)
# --out DIR also writes DIR/movie_peers.csv; --dump FILE takes a dump that
# bench/shear.in made before instead of running it. Needs lmp, ffmpeg and
# GNU time.
set -euo pipefail
out=
dump=
while [ $# -gt 0 ]; do
  case $1 in
  --out) out=$2 && shift 2 ;;
  --dump) dump=$(realpath "$2") && shift 2 ;;
  *) break ;;
  esac
done
[ $# -ge 1 ] || { sed -n 's/^# Usage: //p' "$0"; exit 2; }
build=$(cd "$1" && pwd)
rounds=${2:-3}
viewer=$build/viewer/vorlix-view
here=$(cd "$(dirname "$0")" && pwd)
[ -x "$viewer" ] || { echo "$viewer is not built"; exit 1; }
for tool in lmp ffmpeg /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (apt-get install lammps ffmpeg time)"; exit 1; }
done
tmp=$(mktemp -d /tmp/movie_peers.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
if [ -n "$dump" ]; then
  ln -s "$dump" shear.dump
else
  echo "making the dump: lmp -in bench/shear.in (a few minutes)" >&2
  lmp -in "$here/shear.in" -log none >lmp.log 2>&1 || { tail lmp.log; exit 1; }
fi
# Frame 0 as a data file: ids and types, which rerun does not read.
awk 'NR == 4 { n = $1 } NR >= 6 && NR <= 8 { lo[NR - 5] = $1; hi[NR - 5] = $2 }
     NR == 9 { print "frame 0 of shear.dump\n\n" n " atoms\n3 atom types\n"
               print lo[1], hi[1], "xlo xhi\n" lo[2], hi[2], "ylo yhi\n" lo[3], hi[3], "zlo zhi\n"
               print "Atoms # atomic\n" }
     NR > 9 && NR <= 9 + n { print $1, $2, $3, $4, $5 }
     NR > 9 + n { exit }' shear.dump >first.data
rerun() { # $1: the dump line
  cat <<IN
units lj
atom_style atomic
boundary p s p
read_data first.data
mass * 1.0
pair_style zero 0.5
pair_coeff * *
neighbor 0.0 bin
$1
rerun shear.dump dump x y z box yes
IN
}
rerun "dump img all image 1 img/frame.*.png type type size 640 640" >image.in
cat shear.dump >/dev/null

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Runs the command, appending "wall cpu" to the file $1.
timed() {
  local into=$1
  shift
  /usr/bin/time -f "%e %U %S" -o t.txt "$@" >run.log 2>&1 || { tail run.log; exit 1; }
  awk '{ print $1, $2 + $3 }' t.txt >>"$into"
}
: >ours && : >image
for r in $(seq "$rounds"); do
  rm -f out.mp4 && rm -rf img && mkdir img
  timed ours "$viewer" shear.dump --frames 0: --movie out.mp4 --size 640x640
  timed image lmp -in image.in -log none
  [ "$(ls img | wc -l)" = 41 ] || { echo "LAMMPS wrote $(ls img | wc -l) pictures, not 41"; exit 1; }
  [ -s out.mp4 ] || { echo "our movie is missing"; exit 1; }
  echo "round $r: ours $(tail -1 ours), LAMMPS $(tail -1 image) (wall s, CPU s)" >&2
done
row() { # name file
  local wall cpu
  wall=$(awk '{ print $1 }' "$2" | median)
  cpu=$(awk '{ print $2 }' "$2" | median)
  printf '%-36s %10s %10s %12s %12s\n' "$1" "$wall" "$cpu" \
    "$(awk -v a="$wall" -v b="$(awk '{ print $1 }' ours | median)" 'BEGIN { printf "%.2f", a / b }')" \
    "$(awk -v a="$cpu" -v b="$(awk '{ print $2 }' ours | median)" 'BEGIN { printf "%.2f", a / b }')"
}
echo "41 frames, $(sed -n 4p shear.dump) atoms, 640x640, medians of $rounds rounds"
printf '%-36s %10s %10s %12s %12s\n' "" "wall (s)" "CPU (s)" "wall / ours" "CPU / ours"
row "vorlix-view --movie" ours
row "LAMMPS rerun, dump image (PNG)" image
if [ -n "$out" ]; then
  mkdir -p "$out"
  {
    echo "tool,wall_s,cpu_s"
    for t in ours image; do
      echo "$t,$(awk '{ print $1 }' $t | median),$(awk '{ print $2 }' $t | median)"
    done
  } >"$out/movie_peers.csv"
fi
