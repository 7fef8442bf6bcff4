#!/usr/bin/env bash
# The real executable in a virtual X server: one borderless "Game Library" window at (0,0)
# covering the screen; the start-up box (while the display layer cannot come up) is shown
# and a key press dismisses it; the run ends with exit code 0 and leaves info.txt.
# Arguments: <game-exe> <source-dir> <work-dir>.
set -uo pipefail
. "$2/tests/e2e/lib/common.sh"
e2e_setup "$@"

start_game
ids=""
has_window() { ids=$(window_named "Game Library"); [ -n "$ids" ] || ! kill -0 "$pid" 2>/dev/null; }
wait_until 20 has_window
[ -n "$ids" ] || fail "no window titled \"Game Library\""
sleep 0.5
ids=$(xdotool search --name '^Game Library$')
[ "$(echo "$ids" | wc -l)" -eq 1 ] || fail "more than one \"Game Library\" window: $ids"
eval "$(xdotool getwindowgeometry --shell "$ids")"
[ "$X" = 0 ] && [ "$Y" = 0 ] || fail "window at ($X,$Y), not (0,0)"
[ "$WIDTH" = 1024 ] && [ "$HEIGHT" = 768 ] || fail "window is ${WIDTH}x$HEIGHT, not 1024x768"
xwininfo -id "$ids" | grep -q 'Border width: 0' || fail "the window has a border"
# Borderless: the window asks the window manager for no decorations (or, with no window
# manager to define that hint, marks itself transient for the root window, as SDL does).
hints=$(xprop -id "$ids" _MOTIF_WM_HINTS WM_TRANSIENT_FOR)
echo "$hints" | grep -Eq '_MOTIF_WM_HINTS.*= 0x2, 0x0, 0x0|WM_TRANSIENT_FOR.*window id' ||
    fail "the window does not ask for no decorations: $hints"
echo "window: $ids at ($X,$Y) ${WIDTH}x$HEIGHT, borderless"

# Either the start-up box (the display layer could not come up), dismissed with a key
# press, or the first pictures, ended with Escape. There is no window manager to give the
# box the keyboard focus (the game window holds it), so the test focuses it, as a window
# manager would.
box=""
box_or_picture() {
    box=$(window_named "Korvel Initialization Error")
    [ -n "$box" ] && return 0
    kill -0 "$pid" 2>/dev/null || return 0
    shot "$work/first.png" && ask lit 640x480+0+0 lit && measure "$work/first.png" &&
        [ "${count[lit]}" -gt 0 ]
}
wait_until 20 box_or_picture || fail "neither the start-up box nor a picture"
if [ -n "$box" ]; then
    focus "$box"
    xdotool key Return
    echo "start-up box shown and dismissed"
else
    grep -q 'Korvel Initialization Error' "$work/stderr.txt" &&
        fail "the start-up box could not be shown"
    kill -0 "$pid" 2>/dev/null || fail "the game ended without its start-up box"
    focus "$ids"
    xdotool key Escape
    echo "no start-up box (the display came up); pressed Escape"
fi
wait_for_exit 20
[ "$code" -eq 0 ] || fail "exit code $code"
[ -f "$run/info.txt" ] || fail "no info.txt"
echo "PASS: exit code 0, info.txt written"
