#!/usr/bin/env bash
# The display server goes away under the running game: the game ends at once with exit code
# 1 and one line on standard error, instead of hanging in its shutdown, and its run log is
# complete.
# Arguments: <game-exe> <source-dir> <work-dir>.
set -uo pipefail
. "$2/tests/e2e/lib/common.sh"
e2e_setup "$@"

start_game
wait_for_game
kill "$xvfb"
wait "$xvfb" 2>/dev/null
wait_for_exit 15
[ "$code" -eq 1 ] || fail "exit code $code after the display was lost"
grep -qx 'The connection to the display was lost.' "$work/stderr.txt" ||
    fail "no word of the lost display on standard error"
expected_run_log >"$work/expected_info.txt"
cmp -s "$run/info.txt" "$work/expected_info.txt" || fail "the run log is incomplete"
echo "PASS: the game ends with exit code 1 when its display is lost"
