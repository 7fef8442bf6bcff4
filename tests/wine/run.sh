#!/usr/bin/env bash
# The Windows game under Wine, against the Linux build on the same 16-bit screen: one popup
# window "Game Library" covering the screen; the run log with the capability report for
# the driver Wine offers (3D hardware, so the HAL device); the picture compared region by
# region with the Linux build's; Escape ends it with exit code 0.
# Arguments: <wine-launcher> <wine-prefix> <game.exe> <linux-game> <source-dir> <work-dir>.
set -uo pipefail
[ -x "$4" ] || { echo "FAIL: no Linux build of the game at $4 (build the debug preset)" >&2; exit 1; }
launcher=$1 prefix=$2 exe=$3 linux_game=$(realpath "$4") src=$5 work_dir=$6
. "$src/tests/e2e/lib/common.sh"
. "$src/tests/wine/lib/wine.sh"
. "$src/tests/wine/lib/compare.sh"

# One frame in 101 shows empty bars (the gauges' value 0): take the picture again then.
picture() {
    local try
    for try in 1 2 3 4 5; do
        shot "$1" || fail "no screenshot"
        [ "$(count_rgb "$1" 100x10+0+400 0 255 0)" -gt 0 ] && return 0
    done
}

# The capability report of Wine's display driver, line by line, as the run log prints it
# in text mode (CR LF); its free video memory is whatever Wine computes for this machine.
expected_wine_log() {
    printf '%s\r\n' \
        "$(head -n 1 "$run/info.txt" | tr -d '\r')" \
        "Certified driver found!" \
        "Has 3D acceleration. " \
        "Display memory surfaces have a stride alignment of 8" \
        "Capable of blit operations. " \
        "Capable of depth filling z-buffers with blitter. " \
        "Capable of blitting to or from system memory. " \
        "Capable of clipping with blitting. " \
        "Color key is hardware assisted. " \
        "Shared with GDI. " \
        "Not capable of generating a vertical blank interrupt. " \
        "Device supports color fill" \
        "Can do Src colorkey in hardware" \
        "Can do Dest colorkey in hardware" \
        "3D hardware present!" \
        "D3D device using HAL"
}

scenario() {
    wine_setup "$launcher" "$prefix" "$exe" "$src" "$work_dir"
    linux_png="$work/linux.png" wine_png="$work/wine.png"

    # The reference: the Linux build's picture on the same screen.
    local windows_game=$game
    game=$linux_game
    start_game
    wait_for_game
    picture "$linux_png"
    focus "$win"
    xdotool key Escape
    wait_for_exit 30
    [ "$code" -eq 0 ] || fail "the Linux build ended with $code"
    rm -f "$run"/*.txt
    game=$windows_game

    start_wine_game
    wait_for_wine_game
    [ "$(xwininfo -root -tree | grep -cF '"Game Library":')" -eq 1 ] ||
        fail "more than one window titled \"Game Library\""
    geometry=$(xwininfo -id "$win" | awk '/Absolute upper-left X/ {x = $NF}
        /Absolute upper-left Y/ {y = $NF} /Width:/ {w = $NF} /Height:/ {h = $NF}
        END {print w "x" h "+" x "+" y}')
    [ "$geometry" = 1024x768+0+0 ] || fail "the window is $geometry, not the whole screen"
    # A popup: no border, and no decorations asked of a window manager (the hint's third
    # number: decorations).
    xwininfo -id "$win" | grep -q 'Border width: 0' || fail "the window has a border"
    hints=$(xprop -id "$win" _MOTIF_WM_HINTS)
    [[ "$hints" =~ =\ 0x[0-9a-f]+,\ 0x[0-9a-f]+,\ 0x0(,|$) ]] ||
        fail "the window asks for decorations: $hints"
    echo "window: one \"Game Library\" at $geometry, no border or decorations ($hints)"

    head -n 1 "$run/info.txt" | grep -qE $'^Free video memory = -?[0-9]+\r$' ||
        fail "info.txt begins: $(head -n 1 "$run/info.txt" | od -c | head -n 2)"
    expected_wine_log >"$work/expected_info.txt"
    cmp -s "$run/info.txt" "$work/expected_info.txt" ||
        fail "info.txt differs: $(diff "$work/expected_info.txt" "$run/info.txt" | tr -d '\r')"
    echo "run log: $(wc -l <"$run/info.txt") CR LF lines, ends \"$(tail -n 1 "$run/info.txt" | tr -d '\r')\""

    picture "$wine_png"
    compare_pictures "$linux_png" "$wine_png"

    focus "$win"
    xdotool key Escape
    wait_for_exit 60
    check_wine_exit
    [ "$code" -eq 0 ] || fail "exit code $code after Escape"
    [ -z "$(window_named "Game Library")" ] || fail "the window is still there"
    [ -f "$run/caps.txt" ] && [ ! -s "$run/caps.txt" ] || fail "caps.txt is missing or not empty"
    [ ! -e "$run/out.err" ] || fail "an error report was written: $(cat "$run/out.err")"
    echo "PASS: Wine's picture matches the Linux build's; Escape ends with 0"
}

compare_pictures() {
    local a=$1 b=$2
    read -r box_a box_b ship_a ship_b outline changed one maxd < <(compare_ship "$a" "$b")
    echo "ship: Linux $ship_a pixels in $box_a, Wine $ship_b in $box_b; $outline differ in" \
        "outline; $changed of the common ones differ in colour ($one by one 5-bit step," \
        "largest $maxd)"
    [ "$ship_a" -gt 5000 ] || fail "the Linux build shows no ship"
    [ "$box_a" = "$box_b" ] || fail "the ship's bounding boxes differ"
    [ $((outline * 1000)) -le $((ship_a * 5)) ] || fail "more than 0.5 % of the outline differs"
    [ "$maxd" -le 1 ] || fail "ship colours differ by more than one 5-bit step"

    read -r n d < <(compare_bitmap_pixels "$a" "$b" "$src/resources/bitmap107.bmp" 304 224)
    [ "$n" -gt 0 ] && [ "$d" -eq 0 ] || fail "crosshair: $d of its $n pixels differ"
    [ "$(region_sum "$a" 49x11+320+440)" = "$(region_sum "$b" 49x11+320+440)" ] ||
        fail "the caption differs"
    echo "crosshair ($n pixels) and caption: identical"

    # Gauges: green, red, yellow and blue bars 10 pixels high at y 400, 420, 440, 460, none
    # wider than 100 pixels, nothing below them.
    local colours=(0,255,0 255,0,0 255,255,0 0,0,255) i
    for i in 0 1 2 3; do
        ask "bar$i" "100x10+0+$((400 + 20 * i))" "${colours[$i]}"
        ask "beyond$i" "100x10+100+$((400 + 20 * i))" "${colours[$i]}"
    done
    ask underbars 200x9+0+470 lit
    # HUD: a blue box at each line's position (none just left of it or above it) with
    # yellow text, as high as the Linux build's box (its first column: background or text).
    local huds=(20,0 200,0 200,20 200,40 500,0) pos x y
    for pos in "${huds[@]}"; do
        x=${pos%,*} y=${pos#*,}
        ask "corner$pos" "1x1+$x+$y" 0,0,255
        ask "left$pos" "1x10+$((x - 1))+$y" 0,0,255
        [ "$y" -gt 0 ] && ask "above$pos" "100x1+$x+$((y - 1))" 0,0,255
        ask "yellow$pos" "80x12+$x+$y" 255,255,0
        ask "height$pos" "1x19+$x+$y" lit
    done
    measure "$b"
    for i in 0 1 2 3; do
        [ "${count[bar$i]}" -gt 0 ] || fail "gauge $((i + 1)): no ${colours[$i]} stripes at y $((400 + 20 * i))"
        [ "${count[beyond$i]}" -eq 0 ] || fail "gauge $((i + 1)) is wider than 100 pixels"
    done
    [ "${count[underbars]}" -eq 0 ] || fail "something drawn below the gauges"
    echo "gauges: four bars in their colours at y 400..469"
    local heights=""
    for pos in "${huds[@]}"; do
        heights+=" ${count[height$pos]}"
        [ "${count[corner$pos]}" -eq 1 ] || fail "HUD line at ($pos): no blue box there"
        [ "${count[left$pos]}" -eq 0 ] || fail "HUD line at ($pos) starts further left"
        [ "${count[above$pos]:-0}" -eq 0 ] || fail "HUD line at ($pos) starts higher"
        [ "${count[yellow$pos]}" -gt 20 ] || fail "HUD line at ($pos): no yellow text"
        ask "height$pos" "1x19+${pos%,*}+${pos#*,}" lit
    done
    measure "$a"
    local linux_heights=""
    for pos in "${huds[@]}"; do
        linux_heights+=" ${count[height$pos]}"
    done
    [ "$heights" = "$linux_heights" ] ||
        fail "HUD boxes' heights at their first column: Wine$heights, Linux$linux_heights"
    echo "HUD: five blue boxes with yellow text at ${huds[*]}, heights$heights as on Linux"
}

run_scenario scenario
