#!/usr/bin/env bash
# A termination signal ends the game promptly whatever it is doing, with its files written:
# SIGTERM while the fatal "Error" box is up (the box does not hold the run), SIGINT while the
# game is inactive and sleeping for messages. The exit code is 128 + the signal's number.
# Signals the game leaves to the system (SIGHUP, SIGKILL) take the box with the game.
# Arguments: <game-exe> <source-dir> <work-dir>.
set -uo pipefail
. "$2/tests/e2e/lib/common.sh"
e2e_setup "$@"

# A script's background jobs inherit SIGINT ignored (and the game keeps it so): this one
# starts the game with the signal's default disposition, as a terminal's foreground job has.
start_game_interruptible() {
    (cd "$run" && exec env --default-signal=INT "$game") 2>"$work/stderr.txt" &
    pid=$!
}

# Box up: the game has no mesh to read, so start-up ends in the fatal-error path.
mv "$run/ship.xxx" "$work/ship.xxx"
start_game
box=""
box_up() { box=$(window_named "Error"); [ -n "$box" ] || ! kill -0 "$pid" 2>/dev/null; }
wait_until 30 box_up
[ -n "$box" ] || fail "the game ended without its \"Error\" box"
kill -TERM "$pid"
wait_for_exit 3
[ "$code" -eq 143 ] || fail "exit code $code after SIGTERM with the box up"
printf 'File Error File or path not found\nin file object3d at line 182\r\n' >"$work/expected.err"
cmp -s "$run/out.err" "$work/expected.err" || fail "out.err is not the report"
# The server takes the box away when it sees the connection close.
box_gone() { [ -z "$(window_named "Error")" ]; }
wait_until 2 box_gone || fail "the box is still there"
echo "SIGTERM with the \"Error\" box up: exit code 143 at once, out.err written"

# Signals the game does not catch end it with the box up too; the box goes with it.
for sig in HUP KILL; do
    start_game
    wait_until 30 box_up
    [ -n "$box" ] || fail "the game ended without its \"Error\" box"
    kill -$sig "$pid"
    wait_for_exit 3
    wait_until 2 box_gone || fail "the box outlives the game ended by SIG$sig"
done
echo "SIGHUP and SIGKILL with the box up: the box ends with the game"

# Inactive: another window holds the focus, no frames run.
mv "$work/ship.xxx" "$run/ship.xxx"
start_game_interruptible
wait_for_game
open_other_window
focus "$win"
focus "$other"
sleep 0.5
kill -INT "$pid"
wait_for_exit 3
[ "$code" -eq 130 ] || fail "exit code $code after SIGINT while inactive"
expected_run_log >"$work/expected_info.txt"
cmp -s "$run/info.txt" "$work/expected_info.txt" || fail "the run log is incomplete"
echo "PASS: SIGTERM and SIGINT end the run at once (exit codes 143 and 130), files written"
