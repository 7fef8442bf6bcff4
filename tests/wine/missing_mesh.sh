#!/usr/bin/env bash
# The Windows game under Wine started without ship.xxx: the run ends through the fatal-error
# path; out.err holds the report with the platform's text-mode line ends (its own CR LF
# becomes CR CR LF), the "Error" box shows until it is dismissed, and the exit code is 0.
# Arguments: <wine-launcher> <wine-prefix> <game.exe> <source-dir> <work-dir>.
set -uo pipefail
launcher=$1 prefix=$2 exe=$3 src=$4 work_dir=$5
. "$src/tests/e2e/lib/common.sh"
. "$src/tests/wine/lib/wine.sh"

scenario() {
    wine_setup "$launcher" "$prefix" "$exe" "$src" "$work_dir"
    rm -f "$run/ship.xxx"
    start_wine_game
    box=""
    box_up() { box=$(window_named "Error"); [ -n "$box" ] || ! kill -0 "$pid" 2>/dev/null; }
    wait_until 120 box_up
    [ -n "$box" ] || { wait_for_exit 5; check_wine_exit; fail "the game ended without its \"Error\" box"; }
    printf 'File Error File or path not found\r\nin file object3d at line 182\r\r\n' \
        >"$work/expected.err"
    cmp -s "$run/out.err" "$work/expected.err" ||
        fail "out.err holds: $(od -c "$run/out.err" 2>&1 | head -n 5)"
    echo "\"Error\" box up; out.err holds the report with Windows line ends"

    focus "$box"
    xdotool key Return
    wait_for_exit 60
    check_wine_exit
    [ "$code" -eq 0 ] || fail "exit code $code after the fatal error"
    [ -z "$(window_named "Error")" ] || fail "the box is still there"
    echo "PASS: Return dismissed the box; exit code 0"
}

run_scenario scenario
