#!/usr/bin/env bash
# Runs a command on an Xvfb server of its own, for tests that need the
# keyboard focus or the whole screen, and removes the server afterwards.
#
# Two Xvfb servers starting at the same moment can settle on the same display
# number, leaving one of them unreachable; so servers start one at a time
# (an flock shared by every caller), and each must answer a client before the
# lock is released. -noreset keeps the server from resetting whenever its
# last client leaves, which drops any client connecting in that moment.
# Usage: private_display.sh WIDTHxHEIGHTxDEPTH COMMAND [ARG...]
set -uo pipefail

screen=$1
shift
tmp=$(mktemp -d)
xvfb=

cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

# Starts one server and waits until it answers; fails if it dies first or
# stays silent for 30 s.
try_start() {
    : >"$tmp/display"
    Xvfb -displayfd 5 -screen 0 "$screen" -nolisten tcp -noreset \
        5>"$tmp/display" 2>"$tmp/xvfb.log" 9>&- &
    xvfb=$!
    local deadline=$((SECONDS + 30))
    until [ -s "$tmp/display" ] && xdpyinfo -display ":$(head -n1 "$tmp/display")" >/dev/null 2>&1; do
        if ! kill -0 "$xvfb" 2>/dev/null || [ $SECONDS -ge $deadline ]; then
            kill "$xvfb" 2>/dev/null
            wait "$xvfb" 2>/dev/null
            xvfb=
            return 1
        fi
        sleep 0.1
    done
    export DISPLAY=":$(head -n1 "$tmp/display")"
}

# The server must not inherit the lock's descriptor, or it would hold the
# lock for its whole life.
started=no
exec 9>"${TMPDIR:-/tmp}/vorlix-private-display.lock"
if flock -w 120 9; then
    for _ in 1 2 3; do
        try_start && started=yes && break
    done
fi
exec 9>&-
if [ $started != yes ]; then
    echo "FAIL: no private Xvfb server could be started"
    cat "$tmp/xvfb.log"
    exit 1
fi

"$@"
