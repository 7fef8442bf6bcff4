#!/usr/bin/env bash
# Another client destroys the game's window (xdotool windowclose destroys it outright): the
# game takes it as a way out like a close request, ends with exit code 0 and nothing on
# standard error, its run log complete. Once while frames run, once while the game is
# inactive (another window holds the focus, the game sleeps waiting for messages).
# Arguments: <game-exe> <source-dir> <work-dir>.
set -uo pipefail
. "$2/tests/e2e/lib/common.sh"
e2e_setup "$@"
expected_run_log >"$work/expected_info.txt"

for state in running inactive; do
    start_game
    wait_for_game
    if [ $state = inactive ]; then
        open_other_window
        focus "$win"
        focus "$other"
        sleep 0.5
    fi
    xdotool windowclose "$win" || fail "xdotool could not destroy the window"
    wait_for_exit 15
    [ "$code" -eq 0 ] || fail "$state: exit code $code after the window was destroyed"
    [ -s "$work/stderr.txt" ] && fail "$state: the game said: $(cat "$work/stderr.txt")"
    cmp -s "$run/info.txt" "$work/expected_info.txt" || fail "$state: the run log is incomplete"
    echo "$state: exit code 0 after the window was destroyed"
done
echo "PASS: a destroyed window ends the run like a close request"
