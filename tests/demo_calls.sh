#!/usr/bin/env bash
# Checks the GL calls of the demo's start and first frames, as apitrace dump
# prints them (window-system calls other than the swap removed), against the
# documented order: lights and material, the reshape of the 500x500 window,
# then per frame the demo's clear and identity followed by the library's
# frame, which ends in the swap. The points of consecutive frames must all
# have moved, and stay inside the cube with colours in 0..1.
# Usage: demo_calls.sh CALLS_FILE PARTICLES
set -euo pipefail
calls=$1
particles=$2

identity='{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}'
clear='glClear(mask = GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT)'
expected_start="glLightfv
glLightfv
glLightfv
glLightfv
glMaterialfv
glMaterialfv
glMaterialfv
glMaterialfv
glMaterialf
glEnable(cap = GL_LIGHT0)
glViewport(x = 0, y = 0, width = 500, height = 500)
glMatrixMode(mode = GL_PROJECTION)
glLoadIdentity()
glFrustum(left = -0.04, right = 0.04, bottom = -0.04, top = 0.04, zNear = 0.1, zFar = 30)
glMatrixMode(mode = GL_MODELVIEW)
glLoadIdentity()"
expected_frame="$clear
glLoadIdentity()
glClearColor(red = 0, green = 0, blue = 0, alpha = 0.5)
glClearDepth(depth = 2)
$clear
glDepthFunc(func = GL_LEQUAL)
glHint(target = GL_PERSPECTIVE_CORRECTION_HINT, mode = GL_NICEST)
glLoadIdentity()
glTranslatef(x = 0, y = 0, z = -2.2)
glMultMatrixf(m = $identity)
glScalef(x = 1, y = 1, z = 1)
glBegin(mode = GL_LINES)
vertices 24
glEnd()
glPointSize(size = 1)
glBegin(mode = GL_POINTS)
vertices $particles
glEnd()
glLoadIdentity()
glTranslatef(x = -0.8, y = -0.5, z = -2.5)
glMultMatrixf(m = $identity)
glScalef(x = 1, y = 1, z = 1)
glPushMatrix()
glScalef(x = 0.125, y = 0.125, z = 0.125)
glBegin(mode = GL_LINES)
vertices 10
glEnd()
glPopMatrix()
glXSwapBuffers"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Split into start.txt and frame<N>.txt skeletons (runs of colour and vertex
# calls counted, lights and material by name only) plus points<N>.txt, the
# point calls of each frame.
awk -v dir="$work" -v clear="$clear" '
    function out() { return frame ? dir "/frame" frame ".txt" : dir "/start.txt" }
    function flush() { if (run) { print "vertices " run > out(); run = 0 } }
    !frame && $0 == clear { frame = 1 }
    /^glVertex3f\(/ { run++ }
    /^glColor3f\(|^glVertex3f\(/ { if (points) print > (dir "/points" frame ".txt"); next }
    { flush() }
    /^glBegin\(mode = GL_POINTS\)/ { points = 1 }
    /^glEnd\(/ { points = 0 }
    /^glLightfv\(|^glMaterialfv\(|^glMaterialf\(/ { sub(/\(.*/, "") }
    /^glXSwapBuffers\(/ { print "glXSwapBuffers" > out(); frame++; next }
    { print > out() }
' "$calls"

status=0
if [ "$(cat "$work/start.txt" 2>/dev/null)" != "$expected_start" ]; then
    echo "start-up calls differ (expected, observed):"
    diff <(echo "$expected_start") "$work/start.txt" | head -40
    status=1
fi
for f in 1 2 3; do
    if [ ! -f "$work/frame$f.txt" ]; then
        echo "frame $f missing"
        status=1
        continue
    fi
    if [ "$(cat "$work/frame$f.txt")" != "$expected_frame" ]; then
        echo "frame $f differs (expected, observed):"
        diff <(echo "$expected_frame") "$work/frame$f.txt" | head -40
        status=1
    fi
done
[ $status -eq 0 ] || exit 1

# Points: every one within the cube, colours in 0..1, all moved.
for f in 1 2 3; do
    bad=$(awk -F'[=,)]' '
        /^glVertex3f/ { for (i = 2; i <= 6; i += 2) if ($i < -0.5 || $i > 0.5) n++ }
        /^glColor3f/ { for (i = 2; i <= 6; i += 2) if ($i < 0 || $i > 1) n++ }
        END { print n + 0 }' "$work/points$f.txt")
    [ "$bad" -eq 0 ] || { echo "frame $f: $bad coordinates outside the cube or colours outside 0..1"; status=1; }
done
for f in 1 2; do
    still=$(paste -d'\n' <(grep '^glVertex3f' "$work/points$f.txt") \
        <(grep '^glVertex3f' "$work/points$((f + 1)).txt") | awk 'NR % 2 { a = $0; next } $0 == a { n++ } END { print n + 0 }')
    [ "$still" -eq 0 ] || { echo "frames $f and $((f + 1)): $still of $particles points did not move"; status=1; }
done
exit $status
