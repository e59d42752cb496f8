#!/usr/bin/env bash
# Drives the kelvora demo end to end with xdotool, and checks
# what a user sees: the window, the keys, the exit status, the GL call order
# of the first frames, and moving voxels inside the cube.
# CTest runs each case on an X server of its own (.ci/with-display --private),
# so that no other test's window can take the keyboard focus.
# Usage: demo_e2e.sh KELVORA PARTICLES CASE
#   CASE: window | other_keys | full_screen | resized_down | call_order | frames
set -uo pipefail
# shellcheck source=support/xdo.sh
source "$(dirname "$0")/support/xdo.sh"

kelvora=$1
particles=$2
case=$3
tmp=$(mktemp -d)
demo=

cleanup() {
    [ -n "$demo" ] && kill "$demo" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    if [ -s "$tmp/out" ]; then
        echo "the demo printed:"
        head -c 2000 "$tmp/out"
    fi
    exit 1
}

# Runs the demo, under the given wrapper command if any.
start_demo() {
    "$@" "$kelvora" >"$tmp/out" 2>&1 &
    demo=$!
    wait_for "the demo's window" 60 window_or_end
    running || fail "the demo ended on its own"
}
window_or_end() { window_shown '^kelvora$' || ended; }

size() { xwininfo -id "$wid" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'; }
size_is() { [ "$(size)" = "$1" ]; }
expect_size() {
    local deadline=$((SECONDS + 20))
    until size_is "$1"; do
        [ $SECONDS -ge $deadline ] && fail "window is $(size), expected $1"
        sleep 0.1
    done
}

# Escape must end the demo with status 0, having printed nothing.
quit() {
    keys Escape
    wait_for "the demo to end after Escape" 30 ended
    wait "$demo"
    local status=$?
    demo=
    [ $status -eq 0 ] || fail "exit status $status after Escape, expected 0"
    [ -s "$tmp/out" ] && fail "the demo printed: $(head -c 400 "$tmp/out")"
    return 0
}

# The keys that do nothing must leave the demo running at its size.
still_the_same() {
    sleep 1
    running || fail "the demo ended after: $2"
    size_is "$1" || fail "window is $(size) after: $2, expected $1"
}

screen=$(xdotool getdisplaygeometry | tr ' ' x)
case $case in
window)
    start_demo
    expect_size 500x500
    pos=$(xwininfo -id "$wid" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF } END { print x "," y }')
    [ "$pos" = "0,0" ] || fail "window at $pos, expected 0,0"
    quit
    ;;
other_keys)
    start_demo
    expect_size 500x500
    keys a q z Q m 0 5 9 space Return Tab BackSpace Delete
    still_the_same 500x500 "letters, digits and other ordinary keys"
    keys Left Right F1 F5 F12 Page_Up Page_Down Home End Insert
    still_the_same 500x500 "arrows left and right, function and page keys"
    quit
    ;;
full_screen)
    start_demo
    expect_size 500x500
    keys Up
    expect_size "$screen"
    keys Up
    still_the_same "$screen" "a second Up"
    keys Down
    expect_size 500x500
    quit
    ;;
resized_down)
    start_demo
    expect_size 500x500
    timeout 20 xdotool windowsize "$wid" 320 240 || fail "cannot resize the window"
    expect_size 320x240
    keys Down
    expect_size 500x500
    quit
    ;;
call_order)
    # The first frames under apitrace: start-up order, reshape before the
    # first frame, then the per-frame order; later the reshapes of Up and
    # Down. The trace grows by megabytes per second, so the run is short.
    start_demo apitrace trace -o "$tmp/demo.trace"
    expect_size 500x500
    sleep 1
    keys Up
    expect_size "$screen"
    sleep 0.5
    keys Down
    expect_size 500x500
    sleep 0.5
    keys Escape
    wait_for "the traced demo to end" 60 ended
    wait "$demo"
    status=$?
    demo=
    [ $status -eq 0 ] || fail "exit status $status under apitrace"
    grep -v '^apitrace: ' "$tmp/out" | grep -q . && fail "the demo printed: $(grep -v '^apitrace: ' "$tmp/out" | head -c 400)"

    # Only GL calls of ours: window-system calls (context binding) and what
    # apitrace itself reconstructs are left out; the swap stays as the frame
    # boundary. The first three frames are enough.
    apitrace dump --call-nos=no --color=never "$tmp/demo.trace" 2>/dev/null |
        awk '/^glX/ && !/^glXSwapBuffers/ { next } /\/\/ fake$/ || /^glFlush\(/ || /^$/ || /^\/\// { next }
             { print } /^glXSwapBuffers/ && ++frames == 3 { exit }' >"$tmp/calls"
    bash "$(dirname "$0")/demo_calls.sh" "$tmp/calls" "$particles" || fail "call order (above)"

    # Each size change reaches the library's reshape: 500x500, the screen,
    # 500x500 again.
    got=$(apitrace dump --call-nos=no --color=never --grep='^glViewport$' "$tmp/demo.trace" 2>/dev/null |
        grep -v '// fake' | sed -n 's/.*width = \([0-9]*\), height = \([0-9]*\).*/\1x\2/p' | uniq | tr '\n' ' ')
    [ "$got" = "500x500 $screen 500x500 " ] || fail "viewports '$got', expected '500x500 $screen 500x500 '"
    ;;
frames)
    # Two screenshots a moment apart: coloured voxels inside the cube's
    # outline, nothing coloured outside it but the gizmo, and they move.
    start_demo
    expect_size 500x500
    sleep 1
    timeout 30 import -window "$wid" "$tmp/a.png" || fail "screenshot"
    sleep 0.5
    timeout 30 import -window "$wid" "$tmp/b.png" || fail "screenshot"
    running || fail "the demo ended"
    magick=/usr/bin/convert
    [ -x $magick ] || magick=convert
    bash "$(dirname "$0")/demo_frames.sh" "$magick" "$tmp/a.png" "$tmp/b.png" "$particles" || fail "frames (above)"
    quit
    ;;
*)
    fail "unknown case $case"
    ;;
esac
echo "ok: $case"
