#!/usr/bin/env bash
# The picture the game shows after start-up, region by region: the HUD's five lines in
# yellow on blue at their positions, the lit ship in the middle, the four gauge bars
# counting down, the caption, the crosshair with its red and white arcs, and nothing past
# the 639 x 479 part of the back buffer that reaches the window. On a 24-bit true-colour
# screen; picture_8bit.sh runs it on an 8-bit palettised one.
# Arguments: <game-exe> <source-dir> <work-dir>.
set -uo pipefail
. "$2/tests/e2e/lib/common.sh"
e2e_setup "$@"

start_game
wait_for_game
a="$work/a.png"
# One frame in 101 shows empty bars (the gauges' value 0): take the picture again then.
for try in 1 2 3 4 5; do
    shot "$a" || fail "no screenshot"
    [ "$(count_rgb "$a" 100x10+0+400 0 255 0)" -gt 0 ] && break
done

blue=0,0,255 yellow=255,255,0 red=255,0,0 green=0,255,0 white=255,255,255
# HUD: each line's text cell starts exactly at its position (blue there, no blue just left
# of it or above it) and holds yellow text on blue.
huds=(20,0 200,0 200,20 200,40 500,0)
for pos in "${huds[@]}"; do
    x=${pos%,*} y=${pos#*,}
    ask "corner$pos" "1x1+$x+$y" $blue
    ask "left$pos" "1x10+$((x - 1))+$y" $blue
    [ "$y" -gt 0 ] && ask "above$pos" "100x1+$x+$((y - 1))" $blue
    ask "yellow$pos" "80x12+$x+$y" $yellow
    ask "blue$pos" "80x12+$x+$y" $blue
done
# Gauges: green, red, yellow and blue bars 10 pixels high at y 400, 420, 440 and 460, none
# wider than 100 pixels, nothing below row 469.
bars=($green $red $yellow $blue)
for i in 0 1 2 3; do
    ask "bar$i" "100x10+0+$((400 + 20 * i))" ${bars[$i]}
    ask "beyond$i" "100x10+100+$((400 + 20 * i))" ${bars[$i]}
done
ask underbars 200x9+0+470 lit
# Caption "TESTING": white in its 49 x 11 box at (320, 440), none just around it.
ask caption 49x11+320+440 $white
for g in 20x11+300+440 20x11+369+440 49x3+320+437 49x3+320+451; do
    ask "around$g" "$g" $white
done
# Crosshair at (304, 224), 64 x 64: red arcs top left and bottom right, white ones top
# right and bottom left; no red around the box.
ask redTL 32x32+304+224 $red
ask redBR 32x32+336+256 $red
ask redTR 32x32+336+224 $red
ask redBL 32x32+304+256 $red
ask whiteTR 32x32+336+224 $white
ask whiteBL 32x32+304+256 $white
for g in 104x8+284+216 104x8+284+288 20x64+284+224 20x64+368+224; do
    ask "redout$g" "$g" $red
done
# Only the back buffer's columns 0..638 and rows 0..478 reach the window.
ask right 385x768+639+0 lit
ask below 639x289+0+479 lit
measure "$a"

for pos in "${huds[@]}"; do
    [ "${count[corner$pos]}" -eq 1 ] || fail "HUD line at ($pos): no blue text cell there"
    [ "${count[left$pos]}" -eq 0 ] || fail "HUD line at ($pos) starts further left"
    [ "${count[above$pos]:-0}" -eq 0 ] || fail "HUD line at ($pos) starts higher"
    [ "${count[yellow$pos]}" -gt 20 ] && [ "${count[blue$pos]}" -gt 200 ] ||
        fail "HUD line at ($pos): ${count[yellow$pos]} yellow, ${count[blue$pos]} blue pixels"
done
echo "HUD: five lines in yellow on blue at ${huds[*]}"

ship=$(count_where "$a" 320x240+160+120 'g == 0 && r > 100 && b > 100')
[ "$ship" -gt 5000 ] || fail "the ship: only $ship purple pixels in the middle"
echo "ship: $ship lit purple pixels in the middle"

for i in 0 1 2 3; do
    [ "${count[bar$i]}" -gt 0 ] || fail "gauge $((i + 1)): no (${bars[$i]}) stripes at y $((400 + 20 * i))"
    [ "${count[beyond$i]}" -eq 0 ] || fail "gauge $((i + 1)) is wider than 100 pixels"
done
[ "${count[underbars]}" -eq 0 ] || fail "something drawn below the gauges"
# Counting down: a picture a moment later shows other bar widths.
w1=${count[bar0]}
moved() {
    shot "$work/b.png" || return 1
    ask bar0 100x10+0+400 $green
    measure "$work/b.png"
    w2=${count[bar0]}
    [ "$w2" != "$w1" ]
}
wait_until 5 moved || fail "the gauges do not move ($w1 green pixels in every picture)"
echo "gauges: at y 400..469, $w1 then $w2 green pixels"

[ "${count[caption]}" -gt 40 ] || fail "caption at (320,440): ${count[caption]} white pixels"
for g in 20x11+300+440 20x11+369+440 49x3+320+437 49x3+320+451; do
    [ "${count[around$g]}" -eq 0 ] || fail "the caption is not at (320,440): white at $g"
done
echo "caption: ${count[caption]} white pixels at (320,440)"

[ "${count[redTL]}" -gt 5 ] && [ "${count[redBR]}" -gt 5 ] ||
    fail "crosshair: no red arcs top left and bottom right"
[ "${count[redTR]}" -eq 0 ] && [ "${count[redBL]}" -eq 0 ] ||
    fail "crosshair: red top right or bottom left"
[ "${count[whiteTR]}" -gt 5 ] && [ "${count[whiteBL]}" -gt 5 ] ||
    fail "crosshair: no white arcs top right and bottom left"
for g in 104x8+284+216 104x8+284+288 20x64+284+224 20x64+368+224; do
    [ "${count[redout$g]}" -eq 0 ] || fail "crosshair: red outside its box at (304,224): $g"
done
echo "crosshair: red and white arcs at (304,224)"

[ "${count[right]}" -eq 0 ] && [ "${count[below]}" -eq 0 ] ||
    fail "${count[right]} lit pixels right of column 638, ${count[below]} below row 478"
[ -s "$work/stderr.txt" ] && fail "the game said: $(cat "$work/stderr.txt")"
echo "PASS: the picture's regions are in place on a ${screen_depth:-24}-bit screen; nothing past column 638 or row 478"
