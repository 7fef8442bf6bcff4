#!/usr/bin/env bash
# The game under a storm of input while it draws: for CHURN_SECONDS (default 12) keys go
# down and up as fast as the server takes them, the focus moves between the game and
# another window, and the screen is read back. Frames, window messages and presentation
# cross between the program's thread and the thread that shows the pictures all the while.
# The game must keep running, end on Escape with exit code 0, and say nothing on standard
# error: a thread-sanitized build reports any race there, and SDL used from a thread that
# does not own it ends the run with a line there.
# Arguments: <game-exe> <source-dir> <work-dir>.
set -uo pipefail
. "$2/tests/e2e/lib/common.sh"
e2e_setup "$@"

start_game
wait_for_game
focus "$win"
open_other_window

seconds=${CHURN_SECONDS:-12}
end=$(($(date +%s) + seconds))
rounds=0
while [ "$(date +%s)" -lt "$end" ]; do
    kill -0 "$pid" 2>/dev/null || fail "the game ended during the storm (round $rounds)"
    focus "$win"
    xdotool key --delay 0 Left Right Up Down Left Left Down space Right Up
    xdotool keydown Left keydown Up keyup Left keyup Up
    focus "$other"
    xdotool key --delay 0 Left Right
    focus "$win"
    shot "$work/storm.png" || fail "no screenshot"
    rounds=$((rounds + 1))
done
echo "$rounds rounds of keys, focus changes and screenshots in $seconds s"

# Still drawing: the gauges move with the focus on the game.
focus "$win"
gauges=100x70+0+400
shot "$work/a.png" || fail "no screenshot"
before=$(region_sum "$work/a.png" $gauges)
moving() { shot "$work/b.png" && [ "$(region_sum "$work/b.png" $gauges)" != "$before" ]; }
wait_until 5 moving || fail "the game stopped drawing after the storm"

xdotool key Escape
wait_for_exit 30
[ "$code" -eq 0 ] || fail "exit code $code after Escape"
[ ! -s "$work/stderr.txt" ] || fail "the game wrote to standard error"
[ ! -e "$run/out.err" ] || fail "an error report was written: $(cat "$run/out.err")"
echo "PASS: the game ran through the storm and ended on Escape with nothing on standard error"
