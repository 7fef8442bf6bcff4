#!/usr/bin/env bash
# The game on hostile screens and machines, one case each on an X server of its own:
#   directcolor  a DirectColor default visual: the picture in its right colours, nothing said
#   small        a 200x150 screen: one line says it is smaller than the picture; the game runs
#   fdlimit      four file descriptors: the reason given is the descriptor limit
#   xlost        the X server killed 0-150 ms into the start, 12 times: every start ends
#   keyburst     20,000 key presses at once, then Escape: the Escape still ends the run
# Arguments: <game-exe> <source-dir> <work-dir> [case...] (all cases by default).
set -uo pipefail
. "$2/tests/e2e/lib/common.sh"
top=$3 pid="" xvfb="" helpers=()
cases=("${@:4}")
[ ${#cases[@]} -gt 0 ] || cases=(directcolor small fdlimit xlost keyburst)
for case in "${cases[@]}"; do
    E2E_SCREEN="" E2E_XVFB_ARGS=""
    [ $case = directcolor ] && E2E_XVFB_ARGS="-cc 5"
    [ $case = small ] && E2E_SCREEN=200x150x24
    e2e_cleanup
    e2e_setup "$1" "$2" "$top/$case"
    case $case in
        directcolor)
            start_game
            wait_for_game
            shot "$work/a.png" || fail "no screenshot"
            purple=$(count_where "$work/a.png" 320x240+160+120 'g == 0 && r > 100 && b > 100')
            ask black 100x60+20+300 0,0,0
            ask yellow 80x12+200+20 255,255,0
            measure "$work/a.png"
            [ "${count[black]}" -eq 6000 ] && [ "${count[yellow]}" -gt 20 ] && [ "$purple" -gt 5000 ] ||
                fail "the colours are wrong"
            [ -s "$work/stderr.txt" ] && fail "the game said: $(cat "$work/stderr.txt")" ;;
        small)
            start_game
            said() { [ -s "$work/stderr.txt" ]; }
            wait_until 20 said && sleep 1 && kill -0 "$pid" || fail "nothing said, or the game ended"
            [ "$(cat "$work/stderr.txt")" = "Game Library: the screen (200x150) is smaller than the 640x480 picture; only part of it is shown" ] ||
                fail "said otherwise" ;;
        fdlimit)
            # The sanitizers' own checks need descriptors: a sanitized game cannot run so.
            grep -q __ubsan_handle "$game" && echo "$case: skipped (sanitized build)" && continue
            # Only the standard streams open, as from a terminal (a test runner leaves more).
            (for fd in /proc/$BASHPID/fd/*; do [ "${fd##*/}" -gt 2 ] && eval "exec ${fd##*/}>&-"; done
             cd "$run" && ulimit -n 4 && exec "$game") 2>"$work/stderr.txt" &
            pid=$!
            wait_for_exit 20
            grep -q "no display can be opened: too few file descriptors are free" "$work/stderr.txt" ||
                fail "another reason given" ;;
        xlost)
            for ms in 000 010 020 030 040 050 060 075 090 105 120 150; do
                [ -n "$xvfb" ] || e2e_setup "$1" "$2" "$top/$case"
                start_game
                sleep 0.$ms
                kill -9 "$xvfb"
                wait "$xvfb" 2>/dev/null
                xvfb=""
                wait_for_exit 10
                grep -q XIO "$work/stderr.txt" && fail "Xlib's own handler ended the run"
            done ;;
        keyburst)
            cc -o "$work/key_burst" "$src/tests/e2e/lib/key_burst.c" -lX11 -l:libXtst.so.6 || fail "no key_burst"
            start_game
            wait_for_game
            focus "$win"
            "$work/key_burst" a 20000 || fail "the keys could not be sent"
            sleep 1
            xdotool key Escape
            wait_for_exit 30
            [ "$code" -eq 0 ] || fail "exit code $code" ;;
    esac
    echo "$case: as it should be"
done
echo "PASS: ${cases[*]}"
