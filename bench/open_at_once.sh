#!/usr/bin/env bash
# Opening a big LAMMPS dump: two builds of vorlix-view (BEFORE: one that
# reads every frame before the window opens and before a batch's first
# picture; AFTER: this tree) beside MDAnalysis and ASE, on one dump that lmp
# writes here (32 000 atoms a frame, `dump custom id type x y z vx`, about
# 1.3 MB a frame), in one run, each tool in a fresh process in turn:
#   window:     time from the start of vorlix-view until its window's title
#               names frame 1 (polled with xdotool every 20 ms; the window is
#               made and drawn right after the title is set), then the
#               process is ended;
#   --frames:   `--frames 0: --screenshot-dir DIR --size 200x200` over every
#               frame, wall time and CPU time (user and system, every
#               thread); then the two builds' PNGs compared byte for byte;
#   MDAnalysis: Universe(path, format="LAMMPSDUMP") and its first frame, then
#               every frame (`for ts in u.trajectory`);
#   ASE:        ase.io.iread(path, format="lammps-dump-text", index=":"): the
#               first frame it yields, then every frame.
# ROUNDS rounds of the vorlix-view figures (medians), one of the peers.
# Usage: bench/open_at_once.sh [--mb N] [--peers] BEFORE_BUILD AFTER_BUILD [ROUNDS]
#        (apt-get install lammps xdotool python3-mdanalysis python3-ase time imagemagick;
#         git worktree add /tmp/before 3360782 && cmake -S /tmp/before -B /tmp/before/build &&
#         cmake --build /tmp/before/build --target vorlix-view;
#         .ci/with-display bash bench/open_at_once.sh --mb 1100 --peers /tmp/before/build build 3)
# --mb N: size of the dump (default 1100); --peers: also time MDAnalysis and
# ASE. Needs a display ($DISPLAY; .ci/with-display gives one).
set -euo pipefail
mb=1100
peers=
while [ $# -gt 0 ]; do
  case $1 in
  --mb) mb=$2 && shift 2 ;;
  --peers) peers=1 && shift ;;
  *) break ;;
  esac
done
[ $# -ge 2 ] || { sed -n 's/^# Usage: //p' "$0"; exit 2; }
before=$1/viewer/vorlix-view
after=$2/viewer/vorlix-view
rounds=${3:-3}
py=/usr/bin/python3
for exe in "$before" "$after"; do
  [ -x "$exe" ] || { echo "$exe is not built (cmake --build ... --target vorlix-view)"; exit 1; }
done
command -v lmp >/dev/null || { echo "lmp is not installed (apt-get install lammps)"; exit 1; }
command -v xdotool >/dev/null || { echo "xdotool is not installed (apt-get install xdotool)"; exit 1; }
[ -x /usr/bin/time ] || { echo "GNU time is not installed (apt-get install time)"; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "no display: run under .ci/with-display"; exit 1; }
tmp=$(mktemp -d /tmp/open_at_once.XXXXXX)
viewer_pid=
trap '[ -z "$viewer_pid" ] || kill "$viewer_pid" 2>/dev/null; rm -rf "$tmp"' EXIT
dump=$tmp/big.dump

# 32 000 atoms at 1.3 MB a frame: as many frames as make MB megabytes.
frames=$(((mb * 1000000 + 1295999) / 1296000))
cat >"$tmp/in.big" <<EOF
units lj
atom_style atomic
lattice fcc 0.8442
region box block 0 20 0 20 0 20
create_box 1 box
create_atoms 1 box
mass 1 1.0
pair_style zero 2.5
pair_coeff * *
velocity all create 1.0 87287
fix 1 all nve
thermo 1000
dump d all custom 2 $dump id type x y z vx
run $((2 * (frames - 1)))
EOF
(cd "$tmp" && lmp -in in.big -log none >/dev/null)
cat "$dump" >/dev/null
bytes=$(stat -c %s "$dump")
n=$(grep -c '^ITEM: TIMESTEP' "$dump")

# The same picture from both builds: a build that knows drawing styles is
# asked for the points, without overlays, from the distance (2.6, not 2.05)
# that older builds draw. Its depth test still hides the bounding cube's
# edges behind atoms, so the pictures are compared pixel by pixel.
look() {
  if "$1" --help 2>&1 | grep -q -- --no-overlay; then
    echo "--style points --no-overlay --zoom $(awk 'BEGIN { printf "%.9f", 2.05 / 2.6 }')"
  fi
}
look_before=$(look "$before") && look_after=$(look "$after")

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
now() { date +%s.%N; }
since() { echo "$(now) $1" | awk '{ printf "%.3f\n", $1 - $2 }'; }

# Seconds until EXE's window is titled with frame 1 of the dump.
first_window() {
  local t0
  t0=$(now)
  # shellcheck disable=SC2086 # look holds options
  "$1" "$dump" --size 400x400 $2 >/dev/null 2>&1 &
  viewer_pid=$!
  until xdotool search --name "^vorlix-view: .*: frame 1/$n," >/dev/null 2>&1; do
    kill -0 "$viewer_pid" 2>/dev/null || { echo "$1 ended before its window showed" >&2; exit 1; }
    sleep 0.02
  done
  since "$t0"
  kill "$viewer_pid" && wait "$viewer_pid" 2>/dev/null || true
  viewer_pid=
}

# "wall cpu": seconds for every frame into PNGs in DIR, and the CPU seconds
# (user and system) it took.
every_frame() {
  rm -rf "$2"
  # shellcheck disable=SC2086 # look holds options
  /usr/bin/time -o "$tmp/t" -f '%e %U %S' "$1" "$dump" --frames 0: --screenshot-dir "$2" \
    --size 200x200 $3 >/dev/null 2>"$tmp/err" || { echo "$1 --frames failed:"; cat "$tmp/err"; exit 1; }
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$tmp/t"
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
: >"$tmp/wb" && : >"$tmp/wa" && : >"$tmp/fb" && : >"$tmp/fa"
for round in $(seq "$rounds"); do
  first_window "$before" "$look_before" >>"$tmp/wb"
  first_window "$after" "$look_after" >>"$tmp/wa"
  every_frame "$before" "$tmp/png_before" "$look_before" >>"$tmp/fb"
  every_frame "$after" "$tmp/png_after" "$look_after" >>"$tmp/fa"
  echo "round $round of $rounds done"
done
# "identical most": PNGs byte-identical, and the most pixels any pair differs
# in (ImageMagick's compare); a missing or extra PNG is a failure.
same_pictures() {
  local f identical=0 most=0 ae
  [ "$(ls "$1")" = "$(ls "$2")" ] || { echo "the builds wrote different PNG files" >&2; exit 1; }
  for f in "$1"/*.png; do
    if cmp -s "$f" "$2/${f##*/}"; then
      identical=$((identical + 1))
    else
      ae=$(compare -metric AE "$f" "$2/${f##*/}" null: 2>&1 || true)
      ae=${ae%% *}
      [ "${ae%.*}" -le "$most" ] || most=${ae%.*}
    fi
  done
  echo "$identical $most"
}
command -v compare >/dev/null || { echo "ImageMagick is not installed (apt-get install imagemagick)"; exit 1; }
read -r identical most <<<"$(same_pictures "$tmp/png_before" "$tmp/png_after")"
pngs=$(ls "$tmp/png_after" | wc -l)
# 1% of a 200x200 picture: more than the cube's edges, far less than a frame.
same=yes
[ "$most" -le 400 ] || same=no

cat >"$tmp/peer_mda.py" <<'EOF'
import sys, time, warnings
warnings.filterwarnings("ignore")
import MDAnalysis as mda
t0 = time.perf_counter()
u = mda.Universe(sys.argv[1], format="LAMMPSDUMP")
first = float(u.trajectory[0].positions[0, 0])
t1 = time.perf_counter()
k = 0
for ts in u.trajectory:
    k += 1
print("result", t1 - t0, time.perf_counter() - t0, k, mda.__version__)
EOF
cat >"$tmp/peer_ase.py" <<'EOF'
import sys, time
import ase, ase.io
t0 = time.perf_counter()
first, k = None, 0
for atoms in ase.io.iread(sys.argv[1], format="lammps-dump-text", index=":"):
    if first is None:
        first = time.perf_counter() - t0
    k += 1
print("result", first, time.perf_counter() - t0, k, ase.__version__)
EOF
peer() { # name script: "first_s all_s frames version peak_rss_kib"
  /usr/bin/time -o "$tmp/rss" -f %M "$py" "$2" "$dump" >"$tmp/peer.out" 2>"$tmp/peer.err" ||
    { echo "$1 failed:"; cat "$tmp/peer.err"; exit 1; }
  echo "$(sed -n 's/^result //p' "$tmp/peer.out") $(tail -1 "$tmp/rss")"
}
mda_line= && ase_line=
if [ -n "$peers" ]; then
  mda_line=$(peer MDAnalysis "$tmp/peer_mda.py")
  ase_line=$(peer ASE "$tmp/peer_ase.py")
fi
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

wb=$(median <"$tmp/wb") && wa=$(median <"$tmp/wa")
fb=$(cut -d' ' -f1 "$tmp/fb" | median) && fa=$(cut -d' ' -f1 "$tmp/fa" | median)
cb=$(cut -d' ' -f2 "$tmp/fb" | median) && ca=$(cut -d' ' -f2 "$tmp/fa" | median)
printf 'dump: %.3f GB, %d frames of 32000 atoms; vorlix-view: medians of %d rounds\n' \
  "$(awk -v b="$bytes" 'BEGIN { print b / 1e9 }')" "$n" "$rounds"
printf '%-22s %16s %22s %16s\n' tool "first frame (s)" "every frame (s)" "its CPU (s)"
printf '%-22s %16s %22s %16s\n' "vorlix-view before" "$wb (window)" "$fb (--frames 0:)" "$cb"
printf '%-22s %16s %22s %16s\n' "vorlix-view after" "$wa (window)" "$fa (--frames 0:)" "$ca"
printf 'before / after: first frame %.1f, every frame %.2f (CPU %.2f)\n' \
  "$(awk -v a="$wb" -v b="$wa" 'BEGIN { print a / b }')" "$(awk -v a="$fb" -v b="$fa" 'BEGIN { print a / b }')" \
  "$(awk -v a="$cb" -v b="$ca" 'BEGIN { print a / b }')"
printf 'PNGs: %d, %d byte-identical, the others differ in at most %d of 40000 pixels\n' \
  "$pngs" "$identical" "$most"
if [ -n "$peers" ]; then
  read -r m1 m2 mk mv mr <<<"$mda_line"
  read -r a1 a2 ak av ar <<<"$ase_line"
  printf '%-22s %16.2f %22s   (%d frames, peak RSS %d MiB)\n' "MDAnalysis $mv" "$m1" "$(printf %.2f "$m2") (read)" "$mk" $((mr / 1024))
  printf '%-22s %16.2f %22s   (%d frames, peak RSS %d MiB)\n' "ASE $av" "$a1" "$(printf %.2f "$a2") (read)" "$ak" $((ar / 1024))
fi
[ "$same" = yes ] || { echo "the PNGs differ in more than 400 pixels"; exit 1; }
