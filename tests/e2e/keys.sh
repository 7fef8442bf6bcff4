#!/usr/bin/env bash
# The arrow keys turn the view: holding Left about a second changes the ship's picture and
# the HUD's angle line; Space sets the angles back, so the angle line shows the pixels of
# the start-up line "pitch: 000   roll: 000   yaw: 000" again.
# Arguments: <game-exe> <source-dir> <work-dir>.
set -uo pipefail
. "$2/tests/e2e/lib/common.sh"
e2e_setup "$@"

angles=280x16+200+40
ship=320x240+160+120
start_game
wait_for_game
focus "$win"
shot "$work/start.png" || fail "no screenshot"
start_angles=$(region_sum "$work/start.png" $angles)
start_ship=$(region_sum "$work/start.png" $ship)

# Until a key arrives the view stays as it started: the ship's picture does not change.
shot "$work/still.png" || fail "no screenshot"
[ "$(region_sum "$work/still.png" $ship)" = "$start_ship" ] || fail "the ship moves with no key held"
[ "$(region_sum "$work/still.png" $angles)" = "$start_angles" ] || fail "the angles change with no key held"

xdotool keydown Left
sleep 1
xdotool keyup Left
turned() {
    shot "$work/turned.png" &&
        [ "$(region_sum "$work/turned.png" $angles)" != "$start_angles" ] &&
        [ "$(region_sum "$work/turned.png" $ship)" != "$start_ship" ]
}
wait_until 5 turned || fail "holding Left changed neither the angle line nor the ship"
echo "Left held: the angle line and the ship changed"

# Released: the view keeps its angles.
sleep 0.3
shot "$work/kept.png" || fail "no screenshot"
kept=$(region_sum "$work/kept.png" $angles)
[ "$kept" != "$start_angles" ] || fail "the angles went back without Space"
shot "$work/kept2.png" || fail "no screenshot"
[ "$(region_sum "$work/kept2.png" $angles)" = "$kept" ] || fail "the angles change after Left was released"
echo "Left released: the angles stay"

xdotool keydown space
sleep 0.3
xdotool keyup space
reset() {
    shot "$work/reset.png" && [ "$(region_sum "$work/reset.png" $angles)" = "$start_angles" ]
}
wait_until 5 reset || fail "Space did not set the angles back to 000"
[ "$(region_sum "$work/reset.png" $ship)" = "$start_ship" ] || fail "Space did not set the view back"
echo "PASS: Left turns the view; Space sets it back"
