#!/usr/bin/env bash
# Checks two screenshots of the 500x500 demo window taken a moment apart:
# voxels show inside the bounding cube, nothing but black lies outside the
# cube's outline apart from the axes gizmo, and the voxels move.
# Usage: demo_frames.sh CONVERT A.png B.png PARTICLES
set -euo pipefail
convert=$1
a=$2
b=$3
particles=$4

# Window geometry of the default view: the cube's front face (z = +0.5, 1.7
# in front of the eye) spans pixels 66..434 on both axes and its back face
# 134..366; any voxel inside the cube lands within the front face's square.
# The gizmo sits around (50, 375) counted from the top, 31 pixels long.
pixels() { "$convert" "$1" -depth 8 txt:- | awk -F'[,:() ]+' 'NR > 1 { print $1, $2, $3, $4, $5 }'; }

paste -d' ' <(pixels "$a") <(pixels "$b") | awk -v particles="$particles" '
    function inside_cube(x, y) { return x >= 63 && x <= 437 && y >= 63 && y <= 437 }
    function gizmo(x, y) { return x >= 30 && x <= 90 && y >= 330 && y <= 390 }
    function interior(x, y) { return x >= 140 && x <= 360 && y >= 140 && y <= 360 }
    {
        lit_a = $3 + $4 + $5 > 0
        lit_b = $8 + $9 + $10 > 0
        if ((lit_a || lit_b) && !inside_cube($1, $2) && !gizmo($1, $2)) outside++
        if (interior($1, $2)) {
            shown += lit_a
            if ($3 != $8 || $4 != $9 || $5 != $10) moved++
        }
        n++
    }
    END {
        want = particles / 20 < 200 ? particles / 20 : 200
        status = 0
        if (n != 250000) { print "expected 500x500 pixels, read " n; status = 1 }
        if (outside > 0) { print outside " lit pixels outside the cube and the gizmo"; status = 1 }
        if (shown < want) { print "only " shown + 0 " lit pixels inside the cube, expected at least " want; status = 1 }
        if (moved < want) { print "only " moved + 0 " pixels inside the cube changed, expected at least " want; status = 1 }
        if (!status) print "inside: " shown " lit, " moved " changed; outside: none"
        exit status
    }'
