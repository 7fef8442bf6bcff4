#!/usr/bin/env bash
# The picture inside its window, on both platforms: window_probe.cpp, built for Linux (SDL
# backend) and for Windows (run under Wine), in one virtual X server of 24 bits, with its
# 640 x 480 window at each position of the table. Its picture, a 600 x 400 sprite at (10, 20)
# filled with ColorToPixel(RGB(255, 130, 0)), must show in that colour exactly (a colour both
# a 5-6-5 and a 32-bit back buffer hold) at the window's position plus (10, 20), and nowhere
# else on the screen: with its message box up, once the box is dismissed (all of it back, no
# strip left anywhere), and not at all after the window is hidden (one more picture was
# presented then).
# Arguments: <wine-launcher> <wine-prefix> <window_probe.exe> <linux-window_probe> <source-dir>
#            <work-dir>.
set -uo pipefail
[ -x "$4" ] || { echo "FAIL: no Linux build of the probe at $4 (build the debug preset)" >&2; exit 1; }
launcher=$1 prefix=$2 exe=$3 linux_probe=$(realpath "$4") src=$5 work_dir=$6
. "$src/tests/e2e/lib/common.sh"
. "$src/tests/wine/lib/wine.sh"

cases=(  # side  window x  window y
    "linux 200 100"
    "wine 200 100"
    "linux 373 251"
    "wine 373 251"
)

scenario() {
    E2E_SCREEN=1024x768x24 wine_setup "$launcher" "$prefix" "$exe" "$src" "$work_dir"
    cp "$game" "$run/"
    local side x y total inside
    for c in "${cases[@]}"; do
        read -r side x y <<<"$c"
        local what="$side, window at ($x, $y)" picture="600x400+$((x + 10))+$((y + 20))"
        rm -f "$work/in" && mkfifo "$work/in"
        if [ "$side" = linux ]; then
            (cd "$run" && exec "$linux_probe" "$x" "$y" box) <"$work/in" >"$work/stdout.txt" \
                2>"$work/stderr.txt" &
        else
            (cd "$run" && exec "$launcher" ./"$(basename "$game")" "$x" "$y" box) \
                <"$work/in" >"$work/stdout.txt" 2>"$work/stderr.txt" &
        fi
        pid=$!
        exec 5>"$work/in"
        # Pixels of the colour on the whole screen and inside the picture's rectangle.
        look() {
            shot "$work/screen.png" || fail "$what: no screenshot"
            total=$(count_rgb "$work/screen.png" 1024x768+0+0 255 130 0)
            inside=$(count_rgb "$work/screen.png" "$picture" 255 130 0)
        }
        box=""
        box_up() { box=$(window_named "Probe Box"); [ -n "$box" ] || ! kill -0 "$pid" 2>/dev/null; }
        wait_until 120 box_up && [ -n "$box" ] || fail "$what: no message box"
        sleep 0.5
        look
        [ "$inside" -gt 0 ] && [ "$total" = "$inside" ] ||
            fail "$what, box up: $total pixels of the colour on the screen, $inside in $picture"
        focus "$box"
        xdotool key --window "$box" Return
        whole() { look; [ "$inside" = 240000 ] && [ "$total" = 240000 ]; }
        wait_until 20 whole ||
            fail "$what, box gone: $total pixels of the colour on the screen, $inside of 240000 in $picture"
        hidden() { grep -q shown "$work/stdout.txt"; }
        wait_until 30 hidden || fail "$what: the probe did not hide its window"
        sleep 0.5
        look
        [ "$total" = 0 ] || fail "$what, window hidden: $total pixels of the colour on the screen"
        echo >&5
        exec 5>&-
        wait_for_exit 30
        [ "$side" = wine ] && check_wine_exit
        [ "$code" -eq 0 ] || fail "$what: exit code $code"
        echo "$what: the picture at $picture, nowhere else, after the box and not after the hide"
    done
    echo "PASS: the picture is inside its window on both platforms"
}

run_scenario scenario
