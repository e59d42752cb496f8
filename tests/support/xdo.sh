# Sourced by scripts that drive a GLUT program's window with xdotool
# (tests/demo_e2e.sh, .ci/demo-headless). The program's pid is in $demo; the
# window found by window_shown is in $wid. A script may redefine fail after
# sourcing this, to say more.

fail() {
    echo "FAIL: $*"
    exit 1
}

# Polls a condition; everything here may be slow on a busy machine, so the
# deadlines are generous and nothing relies on a fixed sleep being enough.
# Usage: wait_for WHAT SECONDS COMMAND [ARG...]
wait_for() {
    local what=$1 secs=$2
    shift 2
    local deadline=$((SECONDS + secs))
    until "$@"; do
        [ $SECONDS -ge $deadline ] && fail "timed out after ${secs}s waiting for $what"
        sleep 0.1
    done
}

# A process that has exited but not been waited for is a zombie, not running.
running() { [ -e "/proc/$demo" ] && ! grep -q ') Z' "/proc/$demo/stat" 2>/dev/null; }
ended() { ! running; }

# Whether a viewable window's name matches the pattern; sets wid.
# Usage: window_shown NAME_REGEX
window_shown() {
    wid=$(xdotool search --name "$1" 2>/dev/null | head -n1)
    [ -n "$wid" ] && xwininfo -id "$wid" 2>/dev/null | grep -q IsViewable
}

# Gives the window the focus and sends it the keys.
keys() {
    timeout 20 xdotool windowfocus --sync "$wid" || fail "cannot focus the window"
    timeout 20 xdotool key --delay 30 "$@" || fail "cannot send keys $*"
}
