#!/usr/bin/env bash
# Frames stop while another window holds the keyboard focus and resume when the game gets
# it back: the gauges stand still, then count down again. There is no window manager, so
# the test moves the focus itself, to a small xmessage window away from the picture.
# Arguments: <game-exe> <source-dir> <work-dir>.
set -uo pipefail
. "$2/tests/e2e/lib/common.sh"
e2e_setup "$@"

gauges=100x70+0+400
start_game
wait_for_game
focus "$win"

open_other_window
focus "$other"

# Unfocused: the gauges come to rest (allow for the frames already on their way) and then
# stay still.
rest=""
at_rest() {
    shot "$work/u1.png" && sleep 0.3 && shot "$work/u2.png" &&
        rest=$(region_sum "$work/u1.png" $gauges) &&
        [ "$(region_sum "$work/u2.png" $gauges)" = "$rest" ]
}
wait_until 5 at_rest || fail "the gauges keep moving without the focus"
sleep 0.5
shot "$work/u3.png" || fail "no screenshot"
[ "$(region_sum "$work/u3.png" $gauges)" = "$rest" ] || fail "the gauges moved without the focus"
echo "focus on another window: the gauges stand still"

focus "$win"
moving() { shot "$work/f.png" && [ "$(region_sum "$work/f.png" $gauges)" != "$rest" ]; }
wait_until 5 moving || fail "the gauges did not move again after the focus came back"
echo "PASS: frames stop without the focus and resume with it"
