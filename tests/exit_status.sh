#!/usr/bin/env bash
# Runs a command and prints its exit status after its output, then exits 0,
# so that a test can match both with one pattern (a checker that must fail
# with status 1, and not crash).
# Usage: exit_status.sh COMMAND [ARG...]
status=0
"$@" || status=$?
echo "exit=$status"
