#!/usr/bin/env bash
# Started in a folder without ship.xxx the run ends through the fatal-error path: out.err
# holds the file error report, the "Error" box shows it until a key dismisses it, and the
# exit code is 0.
# Arguments: <game-exe> <source-dir> <work-dir>.
set -uo pipefail
. "$2/tests/e2e/lib/common.sh"
e2e_setup "$@"
rm -f "$run/ship.xxx"

start_game
box=""
box_up() { box=$(window_named "Error"); [ -n "$box" ] || ! kill -0 "$pid" 2>/dev/null; }
wait_until 30 box_up
[ -n "$box" ] || fail "the game ended without its \"Error\" box"
printf 'File Error File or path not found\nin file object3d at line 182\r\n' >"$work/expected.err"
cmp -s "$run/out.err" "$work/expected.err" ||
    fail "out.err holds: $(od -c "$run/out.err" 2>&1 | head -n 5)"
echo "\"Error\" box up; out.err holds the report"

# No window manager hands the new box the focus: the test does, as one would.
focus "$box"
xdotool key Return
wait_for_exit 30
[ "$code" -eq 0 ] || fail "exit code $code after the fatal error"
[ -z "$(window_named "Error")" ] || fail "the box is still there"
echo "PASS: a key dismissed the box; exit code 0"
