#!/usr/bin/env bash
# vorlix-view's LAMMPS dump reader against MDAnalysis, ASE and ParaView, on
# one generated dump (32 000 atoms a frame, the text of "dump custom id type
# x y z"), in one run: each round runs every tool once in a fresh process,
# in turn, and the medians over the rounds are compared. `cat FILE
# >/dev/null` is the floor for the index scan. The file is read once before
# the rounds, so every tool reads it from the page cache.
#   ours:       viewer_dump_bench --measure: one index scan, then read_frame
#               on every frame (positions, ids, types parsed).
#   MDAnalysis: Universe(path, format="LAMMPSDUMP") (it scans the whole file
#               for frame offsets there), then `for ts in u.trajectory`,
#               which parses every frame's coordinates.
#   ASE:        ase.io.iread(path, format="lammps-dump-text", index=":"); it
#               parses every frame before it yields the first.
#   ParaView:   pvpython, its LAMMPS dump reader where it has one (UpdatePipeline
#               at every time step); a ParaView without one is reported.
# A peer still reading after CAP seconds is stopped and its rate over the
# frames it read stands for the whole (marked "partial"): MDAnalysis stops
# itself at the cap; ASE, which yields nothing before the end, is then run
# again on the first eighth of the file.
# Usage: bench/trajectory_peers.sh [--out DIR] [--mb N] [--cap S] BUILD_DIR [ROUNDS]
#        (apt-get install python3-mdanalysis python3-ase paraview python3-paraview time;
#         bash bench/trajectory_peers.sh --mb 1100 build 3)
# --mb N: size of the dump (default 1100, i.e. >= 1 GB); --cap S: seconds
# each peer may read a round (default 300); --out DIR writes
# DIR/trajectory_peers.csv. Python is /usr/bin/python3 (Debian's modules).
set -euo pipefail
out=
mb=1100
cap=300
while [ $# -gt 0 ]; do
  case $1 in
  --out) out=$2 && shift 2 ;;
  --mb) mb=$2 && shift 2 ;;
  --cap) cap=$2 && shift 2 ;;
  *) break ;;
  esac
done
[ $# -ge 1 ] || { sed -n 's/^# Usage: //p' "$0"; exit 2; }
build=$1
rounds=${2:-3}
bench=$build/bench/viewer_dump_bench
py=/usr/bin/python3
[ -x "$bench" ] || { echo "$bench is not built (cmake --build $build --target viewer_dump_bench)"; exit 1; }
[ -x /usr/bin/time ] || { echo "GNU time is not installed (apt-get install time)"; exit 1; }
"$py" -c 'import MDAnalysis' 2>/dev/null || { echo "MDAnalysis is not installed (apt-get install python3-mdanalysis)"; exit 1; }
"$py" -c 'import ase.io' 2>/dev/null || { echo "ASE is not installed (apt-get install python3-ase)"; exit 1; }
tmp=$(mktemp -d /tmp/trajectory_peers.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
dump=$tmp/traj.dump

cat >"$tmp/peer_mda.py" <<'EOF'
import sys, time, warnings
warnings.filterwarnings("ignore")
import MDAnalysis as mda
path, cap = sys.argv[1], float(sys.argv[2])
t0 = time.perf_counter()
u = mda.Universe(path, format="LAMMPSDUMP")
n = u.trajectory.n_frames
t1 = time.perf_counter()
k, check, partial = 0, 0.0, 0
for ts in u.trajectory:
    check += float(ts.positions[0, 0])
    k += 1
    if k < n and time.perf_counter() - t1 > cap:
        partial = 1
        break
t2 = time.perf_counter()
print("result", t1 - t0, t2 - t1, k, n, check, partial, mda.__version__)
EOF
cat >"$tmp/peer_ase.py" <<'EOF'
import sys, time
import ase, ase.io
path, partial = sys.argv[1], int(sys.argv[2])  # 1: path is a prefix of the dump
t0 = time.perf_counter()
k, check, first = 0, 0.0, None
for atoms in ase.io.iread(path, format="lammps-dump-text", index=":"):
    if first is None:
        first = time.perf_counter() - t0
    check += float(atoms.positions[0, 0])
    k += 1
print("result", first or 0, time.perf_counter() - t0, k, k, check, partial, ase.__version__)
EOF
cat >"$tmp/peer_pv.py" <<'EOF'
import sys, time
import paraview
import paraview.simple as pvs
path, probe = sys.argv[1], len(sys.argv) > 2
version = getattr(paraview, "__version__", "?")
t0 = time.perf_counter()
reader, why = None, "none found"
try:
    make = getattr(pvs, "LAMMPSDumpReader", None)
    reader = make(FileNames=[path]) if make else pvs.OpenDataFile(path)
except Exception as e:
    why = (str(e).strip().splitlines() or ["error"])[-1].replace(path, "FILE")
if reader is None:
    print("unavailable", version, "has no LAMMPS dump reader:", why)
    sys.exit(0)
if probe:
    print("available", version)
    sys.exit(0)
steps = list(reader.TimestepValues) if reader.TimestepValues else [None]
t1 = time.perf_counter()
k, points = 0, 0
for t in steps:
    reader.UpdatePipeline(t) if t is not None else reader.UpdatePipeline()
    points += reader.GetDataInformation().GetNumberOfPoints()
    k += 1
print("result", t1 - t0, time.perf_counter() - t1, k, len(steps), points, 0, version)
EOF
# A copy of the file up to the first frame that starts past a fraction of it.
cat >"$tmp/prefix.py" <<'EOF'
import sys
src, dst, frac = sys.argv[1], sys.argv[2], float(sys.argv[3])
data = open(src, "rb").read()
cut = data.find(b"ITEM: TIMESTEP", int(len(data) * frac))
open(dst, "wb").write(data[: cut if cut > 0 else len(data)])
EOF

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
now() { date +%s.%N; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
"$bench" --mb "$mb" --write "$dump"
cat "$dump" >/dev/null
bytes=$(stat -c %s "$dump")

# ParaView: probe once; without a LAMMPS dump reader it sits the rounds out.
pv=
pv_note=
if command -v pvpython >/dev/null; then
  line=$(timeout -s KILL 300 pvpython --force-offscreen-rendering "$tmp/peer_pv.py" "$dump" probe 2>/dev/null |
    grep -E '^(available|unavailable)' || true)
  case $line in
  available*) pv=1 ;;
  unavailable*) pv_note="ParaView ${line#unavailable }" ;;
  *) pv_note="ParaView: pvpython stopped or printed nothing within 300 s" ;;
  esac
else
  pv_note="ParaView: pvpython is not installed (apt-get install paraview python3-paraview)"
fi
[ -z "$pv_note" ] || echo "$pv_note"

# Runs a peer's snippet (after the cap in seconds) under GNU time and the
# cap; appends "open_s read_s frames frames_total check partial version
# rss_kib" to $1. Returns 1 when the cap stopped the peer; any other failure
# ends the run with the peer's messages.
run_peer() {
  local log=$1 status=0
  shift
  /usr/bin/time -o "$tmp/rss" -f %M timeout -s KILL "$@" >"$tmp/peer.out" 2>"$tmp/peer.err" || status=$?
  [ "$status" != 124 ] && [ "$status" != 137 ] || return 1
  grep -q '^result' "$tmp/peer.out" || { echo "$*: failed (status $status):"; cat "$tmp/peer.out" "$tmp/peer.err"; exit 1; }
  echo "$(sed -n 's/^result //p' "$tmp/peer.out") $(tail -1 "$tmp/rss")" >>"$log"
}

: >"$tmp/cat" && : >"$tmp/ours" && : >"$tmp/mda" && : >"$tmp/ase" && : >"$tmp/pv"
ase_file=$dump
ase_partial=0
for round in $(seq "$rounds"); do
  t0=$(now)
  cat "$dump" >/dev/null
  echo "$(now) $t0" | awk '{ print $1 - $2 }' >>"$tmp/cat"
  /usr/bin/time -o "$tmp/rss" -f %M "$bench" --measure "$dump" >"$tmp/line"
  echo "$(cat "$tmp/line") $(tail -1 "$tmp/rss")" >>"$tmp/ours"
  run_peer "$tmp/mda" $((3 * cap)) "$py" "$tmp/peer_mda.py" "$dump" "$cap" ||
    { echo "MDAnalysis did not finish round $round within $((3 * cap)) s"; exit 1; }
  if ! run_peer "$tmp/ase" "$cap" "$py" "$tmp/peer_ase.py" "$ase_file" "$ase_partial"; then
    [ "$ase_partial" = 0 ] || { echo "ASE did not read an eighth of the file within $cap s"; exit 1; }
    echo "ASE did not finish within $cap s in round $round: it reads the first eighth of the file from now on"
    ase_partial=1
    ase_file=$tmp/prefix.dump
    "$py" "$tmp/prefix.py" "$dump" "$ase_file" 0.125
    : >"$tmp/ase"
    run_peer "$tmp/ase" "$cap" "$py" "$tmp/peer_ase.py" "$ase_file" "$ase_partial" ||
      { echo "ASE did not read an eighth of the file within $cap s"; exit 1; }
  fi
  [ -z "$pv" ] || run_peer "$tmp/pv" $((3 * cap)) pvpython --force-offscreen-rendering \
    "$tmp/peer_pv.py" "$dump" || { echo "ParaView did not finish round $round within $((3 * cap)) s"; exit 1; }
  echo "round $round of $rounds done"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

# Column $2 of file $1, median over the rounds.
col() { awk -v c="$2" '{ print $c }' "$1" | median; }
frames=$(col "$tmp/ours" 3)
[ "$frames" -gt 0 ] || { echo "$dump: no complete frame"; exit 1; }
cat_s=$(col "$tmp/cat" 1)
ours_index=$(col "$tmp/ours" 1)
ours_read=$(col "$tmp/ours" 2)
ours_fps=$(awk -v n="$frames" '{ print n / $2 }' "$tmp/ours" | median)
ours_check=$(col "$tmp/ours" 6)
ours_rss=$(col "$tmp/ours" 7)
mb_per_frame=$(awk -v b="$bytes" -v n="$frames" 'BEGIN { print b / n / 1e6 }')

[ -z "$out" ] || { mkdir -p "$out" && echo "tool,open_s,read_s,frames_read,frames,frames_per_s,mb_per_s,ours_over_peer,peak_rss_mib,partial" >"$out/trajectory_peers.csv"; }
printf 'dump: %.3f GB, %d frames of 32000 atoms, medians of %d rounds, cap %d s\n' \
  "$(awk -v b="$bytes" 'BEGIN { print b / 1e9 }')" "$frames" "$rounds" "$cap"
printf '%-22s %10s %10s %11s %9s %10s %9s %10s %9s\n' tool "open (s)" "open GB/s" "read (s)" frames \
  "frames/s" "MB/s" "ours/peer" "RSS MiB"
row() { # tool open_s read_s frames_read fps rss_kib partial [scan: open reads the whole file]
  local mbs ratio gbs=-
  mbs=$(awk -v f="$5" -v m="$mb_per_frame" 'BEGIN { print f * m }')
  ratio=$(awk -v a="$ours_fps" -v f="$5" 'BEGIN { print a / f }')
  [ "${8:-}" != scan ] || gbs=$(awk -v s="$2" -v b="$bytes" 'BEGIN { printf "%.2f", b / s / 1e9 }')
  printf '%-22s %10.3f %10s %11s %9s %10.2f %9.1f %10.1f %9.1f\n' "$1" "$2" "$gbs" \
    "$(awk -v s="$3" -v p="$7" 'BEGIN { printf "%.2f%s", s, p ? "*" : "" }')" "$4" "$5" "$mbs" \
    "$ratio" "$(awk -v k="$6" 'BEGIN { print k / 1024 }')"
  [ -z "$out" ] || echo "$1,$2,$3,$4,$frames,$5,$mbs,$ratio,$(awk -v k="$6" 'BEGIN { print k / 1024 }'),$7" \
    >>"$out/trajectory_peers.csv"
}
printf '%-22s %10.3f %10.2f %11s\n' "cat (floor)" "$cat_s" "$(awk -v s="$cat_s" -v b="$bytes" \
  'BEGIN { print b / s / 1e9 }')" -
[ -z "$out" ] || echo "cat,$cat_s,,,,,,,," >>"$out/trajectory_peers.csv"
row vorlix-view "$ours_index" "$ours_read" "$frames" "$ours_fps" "$ours_rss" 0 scan
peer() { # name log [scan]
  local fps
  fps=$(awk '{ print $3 / $2 }' "$2" | median)
  row "$1 $(col "$2" 7)" "$(col "$2" 1)" "$(col "$2" 2)" "$(col "$2" 3)" "$fps" "$(col "$2" 8)" \
    "$(col "$2" 6)" "${3:-}"
}
peer MDAnalysis "$tmp/mda" scan
peer ASE "$tmp/ase"
[ -z "$pv" ] || peer ParaView "$tmp/pv" scan
[ -n "$pv" ] || printf '%-22s %s\n' ParaView "n/a: ${pv_note#ParaView }"
echo "open: ours and cat: the index scan; MDAnalysis: Universe creation (its offset scan);"
echo "      ASE: time to the first frame (it parses all frames first, so its read includes it)"
echo "ours/peer: frames per second, ours over the peer's; * a partial read: the rate over the frames read"
# The same coordinates were parsed: the first atom's x summed over the
# frames, for peers that read every frame of the file.
for log in mda ase; do
  awk -v o="$ours_check" -v n="$frames" -v t="$log" '$3 == n && $6 == 0 {
      d = $5 - o; if (d < 0) d = -d
      if (d > 1e-4 * (o < 0 ? -o : o) + 1e-3) { print t ": check " $5 " differs from ours " o; bad = 1 }
    } END { exit bad }' "$tmp/$log"
done
echo "check (first atom's x summed over the frames): ours $ours_check, MDAnalysis $(col "$tmp/mda" 5), ASE $(col "$tmp/ase" 5)"
