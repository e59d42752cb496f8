#!/bin/bash
# What watching costs a simulation: steps per second of an in.melt-like run
# under plain lmp and under vorlix-view --lammps in a 640x640 window at the
# default chunking (frames drawn as they come), on 1 and 2 MPI ranks, at
# 4 000 and 32 000 atoms. The script itself stamps the wall clock just
# before and just after its run (LAMMPS's `shell date`), so start-up, setup
# of the window and the run's summary are left out of both; the viewer is
# ended once the second stamp is written. Rounds alternate lmp and live;
# medians are printed, the ratio's over the rounds' own ratios.
# Usage: bash bench/live_overhead.sh BUILD_DIR [ROUNDS]   (under an X display)
set -euo pipefail
build=${1:?usage: live_overhead.sh BUILD_DIR [ROUNDS]}
rounds=${2:-3}
exe=$(cd "$build" && pwd)/viewer/vorlix-view
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

script() { # CELLS STEPS
    cat <<END
units lj
atom_style atomic
lattice fcc 0.8442
region box block 0 $1 0 $1 0 $1
create_box 1 box
create_atoms 1 box
mass 1 1.0
velocity all create 3.0 87287 loop geom
pair_style lj/cut 2.5
pair_coeff 1 1 1.0 1.0 2.5
neighbor 0.3 bin
neigh_modify every 20 delay 0 check no
fix 1 all nve
thermo 100
run 0
shell date +%s.%N > t0
run $2
shell date +%s.%N > t1
END
}

# Steps per second between the stamps of one run of COMMAND...; a live
# viewer is stopped once the second stamp is there.
rate() { # STEPS COMMAND...
    local steps=$1
    shift
    rm -f t0 t1
    "$@" >/dev/null 2>&1 &
    local pid=$!
    while [ ! -s t1 ] && kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    [ -s t1 ] || { echo "live_overhead: no end stamp from: $*" >&2; exit 1; }
    echo "$steps / ($(cat t1) - $(cat t0))" | bc -l
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%-7s %-6s %-6s %12s %12s %9s  %s\n' atoms ranks steps "lmp st/s" "live st/s" "live/lmp" \
    "(each round's ratio)"
for size in "10 3000" "20 400"; do
    set -- $size
    script "$1" "$2" >in.melt
    atoms=$((4 * $1 * $1 * $1))
    for np in 1 2; do
        mpi=()
        [ "$np" -gt 1 ] && mpi=(mpirun --oversubscribe -np "$np")
        plain=() live=() ratios=()
        for _ in $(seq "$rounds"); do
            a=$(rate "$2" "${mpi[@]}" lmp -in in.melt -log none -screen none)
            b=$(rate "$2" "${mpi[@]}" "$exe" --lammps in.melt --size 640x640)
            plain+=("$a") live+=("$b") ratios+=("$(echo "$b / $a" | bc -l)")
        done
        # The ratio is the median of each round's, lmp and live side by side.
        printf '%-7s %-6s %-6s %12.0f %12.0f %9.2f  %s\n' "$atoms" "$np" "$2" \
            "$(printf '%s\n' "${plain[@]}" | median)" "$(printf '%s\n' "${live[@]}" | median)" \
            "$(printf '%s\n' "${ratios[@]}" | median)" \
            "$(printf '%.2f ' "${ratios[@]}")"
    done
done
