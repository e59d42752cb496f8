#!/bin/bash
# Steps per second of an in.melt-like run under plain lmp and inside
# vorlix-view --lammps (headless: a gather into the nodes every --every
# steps, one picture at the end), on 1 and 2 MPI ranks, 4 000 and 32 000
# atoms. Wall time of the whole program each (start, setup and the picture
# included), so short runs favour lmp.
# Usage: bash bench/live_overhead.sh BUILD_DIR [EVERY]   (under an X display)
set -euo pipefail
build=${1:?usage: live_overhead.sh BUILD_DIR [EVERY]}
every=${2:-10}
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
run $2
END
}

seconds() { # COMMAND...
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s.%N)
    echo "$t1 - $t0" | bc -l
}

printf '%-7s %-6s %-6s %12s %12s %9s\n' atoms ranks steps "lmp st/s" "live st/s" "live/lmp"
for size in "10 1000" "20 200"; do
    set -- $size
    script "$1" "$2" >in.melt
    atoms=$((4 * $1 * $1 * $1))
    for np in 1 2; do
        mpi=()
        [ "$np" -gt 1 ] && mpi=(mpirun --oversubscribe -np "$np")
        a=$(seconds "${mpi[@]}" lmp -in in.melt -log none -screen none)
        b=$(seconds "${mpi[@]}" "$exe" --lammps in.melt --steps "$2" --every "$every" \
            --screenshot out.png)
        printf '%-7s %-6s %-6s %12.0f %12.0f %9.2f\n' "$atoms" "$np" "$2" \
            "$(echo "$2 / $a" | bc -l)" "$(echo "$2 / $b" | bc -l)" "$(echo "$a / $b" | bc -l)"
    done
done
