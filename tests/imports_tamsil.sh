#!/usr/bin/env bash
# libtamsil.so calls no OpenGL or GLUT (the renderer draws, the particles
# only move), and takes set_liste_voxels from libvorlix.so. Prints "ok".
# Usage: imports_tamsil.sh NM LIBTAMSIL
set -uo pipefail
nm=$1 lib=$2
undefined=$("$nm" -D --undefined-only "$lib" | awk '{ print $NF }') || exit 2
echo "$undefined" | grep -E '^(gl|glut|glX)[A-Z]' && { echo 'calls OpenGL'; exit 1; }
echo "$undefined" | grep -qx 'set_liste_voxels' || { echo 'no set_liste_voxels'; exit 1; }
readelf -d "$lib" | grep -q 'NEEDED.*libvorlix' || { echo 'not linked to libvorlix'; exit 1; }
echo ok
