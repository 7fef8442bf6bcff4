#!/usr/bin/env bash
# The game on hostile screens and machines, one case per line of the table, each on an X
# server of its own:
#   directcolor  a 24-bit DirectColor screen: the picture in its right colours, nothing said
#   small        a 200x150 screen: one line says it is smaller than the picture; the game runs
#   fdlimit      four file descriptors: the reason given is the descriptor limit
#   xlost        the X server killed 0-150 ms into the start, 12 times: every start ends
#   keyburst     20,000 key presses at once, then Escape: the Escape still ends the run
# Arguments: <game-exe> <source-dir> <work-dir> [case...] (all cases by default).
set -uo pipefail
. "$2/tests/e2e/lib/common.sh"
top=$3
pid="" xvfb="" helpers=()
cases=("${@:4}")
[ ${#cases[@]} -gt 0 ] || cases=(directcolor small fdlimit xlost keyburst)

purple() { count_where "$1" 320x240+160+120 'g == 0 && r > 100 && b > 100'; }

for case in "${cases[@]}"; do
    E2E_SCREEN="" E2E_XVFB_ARGS=""
    case $case in
        directcolor) E2E_XVFB_ARGS="-cc 5" ;;
        small) E2E_SCREEN=200x150x24 ;;
    esac
    e2e_cleanup
    e2e_setup "$1" "$2" "$top/$case"
    case $case in
        directcolor)
            start_game
            wait_for_game
            shot "$work/a.png" || fail "no screenshot"
            ask black 100x60+20+300 0,0,0
            ask yellow 80x12+200+20 255,255,0
            measure "$work/a.png"
            [ "${count[black]}" -eq 6000 ] && [ "${count[yellow]}" -gt 20 ] &&
                [ "$(purple "$work/a.png")" -gt 5000 ] || fail "$case: the colours are wrong"
            [ -s "$work/stderr.txt" ] && fail "$case: the game said: $(cat "$work/stderr.txt")"
            ;;
        small)
            start_game
            said() { [ -s "$work/stderr.txt" ]; }
            wait_until 20 said || fail "$case: nothing said"
            sleep 1
            kill -0 "$pid" 2>/dev/null || fail "$case: the game ended"
            [ "$(cat "$work/stderr.txt")" = "Game Library: the screen (200x150) is smaller than the 640x480 picture; only part of it is shown" ] ||
                fail "$case: said otherwise"
            ;;
        fdlimit)
            # Only the standard streams are open, as from a terminal (ctest leaves more).
            (
                for fd in /proc/$BASHPID/fd/*; do
                    [ "${fd##*/}" -gt 2 ] && eval "exec ${fd##*/}>&-"
                done
                cd "$run" && ulimit -n 4 && exec "$game"
            ) 2>"$work/stderr.txt" &
            pid=$!
            wait_for_exit 20
            grep -q "no display can be opened: too few file descriptors are free" "$work/stderr.txt" ||
                fail "$case: another reason given"
            ;;
        xlost)
            for ms in 0 10 20 30 40 50 60 75 90 105 120 150; do
                [ -n "$xvfb" ] || e2e_setup "$1" "$2" "$top/$case"
                start_game
                sleep "0.$(printf %03d $ms)"
                kill -9 "$xvfb"
                wait "$xvfb" 2>/dev/null
                xvfb=""
                wait_for_exit 10
                grep -q XIO "$work/stderr.txt" && fail "$case: Xlib's own handler ended the run"
            done
            ;;
        keyburst)
            ${CC:-cc} -o "$work/key_burst" "$src/tests/e2e/lib/key_burst.c" -lX11 -l:libXtst.so.6 ||
                fail "cannot build key_burst"
            start_game
            wait_for_game
            focus "$win"
            "$work/key_burst" a 20000 || fail "$case: the keys could not be sent"
            sleep 1
            xdotool key Escape
            wait_for_exit 30
            [ "$code" -eq 0 ] || fail "$case: exit code $code"
            ;;
    esac
    echo "$case: as it should be"
done
echo "PASS: ${cases[*]}"
