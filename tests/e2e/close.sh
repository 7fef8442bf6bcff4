#!/usr/bin/env bash
# Closed from outside, as a window manager closes a window (a WM_DELETE_WINDOW request),
# the game ends with exit code 0 and its run log complete. The request comes from a small
# Xlib client built here: xdotool can only destroy or kill, not ask.
# Arguments: <game-exe> <source-dir> <work-dir>.
set -uo pipefail
. "$2/tests/e2e/lib/common.sh"
e2e_setup "$@"

${CC:-cc} -o "$work/close_request" "$src/tests/e2e/lib/close_request.c" -lX11 ||
    fail "cannot build the close-request client"
start_game
wait_for_game
xprop -id "$win" WM_PROTOCOLS | grep -q WM_DELETE_WINDOW ||
    fail "the window does not take close requests: $(xprop -id "$win" WM_PROTOCOLS)"
"$work/close_request" "$win" || fail "the close request could not be sent"
wait_for_exit 30
[ "$code" -eq 0 ] || fail "exit code $code after the close request"
[ -z "$(window_named "Game Library")" ] || fail "the window is still there"
expected_run_log >"$work/expected_info.txt"
cmp -s "$run/info.txt" "$work/expected_info.txt" || fail "the run log is incomplete"
[ ! -e "$run/out.err" ] || fail "an error report was written: $(cat "$run/out.err")"
echo "PASS: a close request ends the run with exit code 0"
