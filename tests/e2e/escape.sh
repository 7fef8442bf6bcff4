#!/usr/bin/env bash
# Escape ends the run in order: exit code 0, the window gone, a complete run log (the
# display driver's capability report and the device chosen), an empty caps.txt and no
# error report.
# Arguments: <game-exe> <source-dir> <work-dir>.
set -uo pipefail
. "$2/tests/e2e/lib/common.sh"
e2e_setup "$@"

start_game
wait_for_game
focus "$win"
xdotool key Escape
wait_for_exit 30
[ "$code" -eq 0 ] || fail "exit code $code after Escape"
[ -z "$(window_named "Game Library")" ] || fail "the window is still there"
expected_run_log >"$work/expected_info.txt"
cmp -s "$run/info.txt" "$work/expected_info.txt" ||
    fail "info.txt differs: $(diff "$work/expected_info.txt" "$run/info.txt")"
[ -f "$run/caps.txt" ] && [ ! -s "$run/caps.txt" ] || fail "caps.txt is missing or not empty"
[ ! -e "$run/out.err" ] || fail "an error report was written: $(cat "$run/out.err")"
echo "PASS: Escape ends with 0; info.txt ends with \"$(tail -n 1 "$run/info.txt")\""
