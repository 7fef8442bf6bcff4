#!/usr/bin/env bash
# The input probe (input_probe.cpp) on our platform and, under Wine, on the real one, fed the
# same synthetic input with xdotool in one virtual X server; the two message logs are
# compared line by line after the one normalisation the platforms' mouse-move coalescing
# needs: a run of WM_MOUSEMOVE lines counts as its last line (the position the pointer came
# to). Skips (exit 77) when the Windows build of the probe, Wine, Xvfb or xdotool is missing.
#
#   input.sh PROBE PROBE_EXE SOURCE_DIR WORK_DIR
set -u
probe=$(realpath "$1") probe_exe=$2 src=$3 work=$4
. "$src/tests/conformance/wine.sh"
if [ ! -f "$probe_exe" ]; then
    echo "SKIP: no Windows build of the input probe ($probe_exe): the mingw-w64 cross compiler was not found"
    exit 77
fi
wine_available || exit 77
command -v xdotool >/dev/null || { echo "SKIP: xdotool not found"; exit 77; }
rm -rf "$work"
mkdir -p "$work"
probe_pid=""
stop_all() {
    [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null && wait "$probe_pid" 2>/dev/null
    wine_stop
}

# Waits (bounded) for the probe's window, gives it the keyboard, and points the pointer at
# a spot outside it.
wait_window() {
    local i id=""
    for i in $(seq 1 300); do
        id=$(xdotool search --onlyvisible --name '^input probe$' 2>/dev/null | head -n 1)
        [ -n "$id" ] && break
        kill -0 "$probe_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    [ -n "$id" ] || return 1
    xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
    sleep 0.5
}

# The window is at (100, 80), 320 x 240. Pauses of 0.6 s keep clicks apart (no double click).
drive() {
    local x="xdotool"
    $x mousemove 150 130; sleep 0.2
    $x mousemove 160 140 mousemove 200 180; sleep 0.3
    $x click 1; sleep 0.6
    $x click 3; sleep 0.6
    $x click 2; sleep 0.6
    $x click --repeat 2 --delay 80 1; sleep 0.6
    $x click --repeat 2 --delay 80 3; sleep 0.6
    $x click 4; sleep 0.1
    $x click --repeat 2 --delay 50 5; sleep 0.3
    $x keydown shift click 1 keyup shift; sleep 0.6
    $x keydown ctrl click 3 keyup ctrl; sleep 0.6
    $x mousedown 3; sleep 0.2
    $x click 1; sleep 0.2
    $x mousemove 230 210; sleep 0.2
    $x mouseup 3; sleep 0.6
    $x mousedown 1; sleep 0.2
    $x mousemove 60 50; sleep 0.2
    $x mouseup 1; sleep 0.2
    $x mousemove 200 180; sleep 0.3
    $x type --delay 60 'aZ5!;'; sleep 0.3
    $x key ctrl+b; sleep 0.2
    $x key Return BackSpace Tab space Escape; sleep 0.2
    $x key ctrl+bracketleft ctrl+Return ctrl+BackSpace Left shift+Right; sleep 0.2
    $x mousemove 180 170 mousedown 1; sleep 0.2
    $x keydown x; sleep 0.5
    $x keyup x; sleep 0.2
    $x mouseup 1; sleep 0.3
    $x key F12
}

# Runs one side: COMMAND... writes the log named by its last argument.
run_side() {
    local log=$1
    shift
    "$@" &
    probe_pid=$!
    wait_window || { echo "FAIL: the probe's window did not appear ($*)"; return 1; }
    drive
    local i
    for i in $(seq 1 100); do
        kill -0 "$probe_pid" 2>/dev/null || break
        sleep 0.1
    done
    wait "$probe_pid"
    local code=$?
    probe_pid=""
    [ "$code" -eq 0 ] || { echo "FAIL: the probe ($*) exited with $code"; return 1; }
    [ -s "$log" ] || { echo "FAIL: the probe ($*) wrote no log"; return 1; }
}

# A run of WM_MOUSEMOVE lines becomes its last line (the WM_SETCURSOR a move brings goes
# with it); a key's auto-repeats (key-downs and
# characters with the previous-state bit) count once, as their number follows the clock.
normalise() {
    awk '/^info / { next }
         /^WM_SETCURSOR .* l=0x200[0-9a-f][0-9a-f][0-9a-f][0-9a-f]$/ { next }
         /^WM_MOUSEMOVE / { move = $0; next }
         { if (move != "") print move; move = "" }
         /^WM_(KEYDOWN|CHAR) .* l=0x[4-7][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f]$/ { if (!($0 in repeats)) print; repeats[$0] = 1; next }
         { delete repeats; print }
         END { if (move != "") print move }' "$1"
}

wine_start "$work/wine" || { echo "FAIL: the Wine prefix could not be made"; exit 1; }
trap stop_all EXIT
unset SDL_VIDEODRIVER WAYLAND_DISPLAY
xdotool mousemove 10 10
run_side "$work/ours.txt" "$probe" "$work/ours.txt" || exit 1
xdotool mousemove 10 10
cp "$probe_exe" "$work/input_probe.exe"
cd "$work" || exit 1
run_side "$work/real.txt" "$WINE64" ./input_probe.exe real.txt || exit 1

normalise "$work/ours.txt" >"$work/ours.norm"
normalise "$work/real.txt" >"$work/real.norm"
echo "ours: $(grep '^info' "$work/ours.txt")   real: $(grep '^info' "$work/real.txt")"
if ! diff -u "$work/real.norm" "$work/ours.norm"; then
    echo "FAIL: the message logs differ (- real, + ours)"
    exit 1
fi
echo "PASS: $(wc -l <"$work/ours.norm") message and state lines equal"
