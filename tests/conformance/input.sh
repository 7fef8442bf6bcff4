#!/usr/bin/env bash
# The input probe (input_probe.cpp) on our platform and, under Wine, on the real one, fed the
# same xdotool input in one virtual X server; the message logs must be equal line for line
# once normalised for what follows the clock: a run of WM_MOUSEMOVE lines counts as its last
# (moves are coalesced; the WM_SETCURSOR a move brings goes with it), and a key's
# auto-repeats count once. Skips (77) without the probe's Windows build, Wine, Xvfb, xdotool.
#
#   input.sh PROBE PROBE_EXE SOURCE_DIR WORK_DIR
set -u
probe=$(realpath "$1") probe_exe=$2 src=$3 work=$4
. "$src/tests/conformance/wine.sh"
[ -f "$probe_exe" ] || { echo "SKIP: no Windows build of the input probe (no mingw-w64)"; exit 77; }
wine_available || exit 77
command -v xdotool >/dev/null || { echo "SKIP: xdotool not found"; exit 77; }
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; wine_stop' EXIT

# The window is at (100, 80), 320 x 240. Pauses of 0.6 s keep clicks from pairing.
drive() {
    local x=xdotool
    $x mousemove 150 130; sleep 0.2
    $x mousemove 160 140 mousemove 200 180; sleep 0.3
    $x click 1; sleep 0.6; $x click 3; sleep 0.6; $x click 2; sleep 0.6
    $x click --repeat 2 --delay 80 1; sleep 0.6; $x click --repeat 2 --delay 80 3; sleep 0.6
    $x click 4; sleep 0.1; $x click --repeat 2 --delay 50 5; sleep 0.3
    $x keydown shift click 1 keyup shift; sleep 0.6; $x keydown ctrl click 3 keyup ctrl; sleep 0.6
    $x mousedown 3; sleep 0.2; $x click 1; sleep 0.2; $x mousemove 230 210; sleep 0.2
    $x mouseup 3; sleep 0.6
    local button
    for button in 1 2; do  # out of the window and back, with the capture (1) and without (2)
        $x mousemove 200 180 mousedown $button; sleep 0.2; $x mousemove 60 50; sleep 0.2
        $x mouseup $button; sleep 0.2; $x mousemove 200 180; sleep 0.3
    done
    $x type --delay 60 'aZ5!;'; sleep 0.3
    $x key ctrl+b; sleep 0.2
    $x key Return BackSpace Tab space Escape; sleep 0.2
    $x key ctrl+bracketleft ctrl+Return ctrl+BackSpace Left shift+Right; sleep 0.2
    $x mousemove 180 170 mousedown 1; sleep 0.2; $x keydown x; sleep 0.5
    $x keyup x; sleep 0.2; $x mouseup 1; sleep 0.3
    $x key F12
}

# run_side LOG COMMAND...: starts the probe, waits (bounded) for its window, focuses it,
# drives it and waits for its end.
run_side() {
    local log=$1 i id=""
    shift
    xdotool mousemove 10 10
    "$@" &
    pid=$!
    for i in $(seq 1 300); do
        id=$(xdotool search --onlyvisible --name '^input probe$' 2>/dev/null | head -n 1)
        [ -n "$id" ] || ! kill -0 "$pid" 2>/dev/null && break
        sleep 0.1
    done
    [ -n "$id" ] || { echo "FAIL: the probe's window did not appear ($*)"; return 1; }
    timeout 5 xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
    sleep 0.5
    drive
    for i in $(seq 1 100); do kill -0 "$pid" 2>/dev/null && sleep 0.1; done
    wait "$pid"
    local code=$?
    pid=""
    [ "$code" -eq 0 ] && [ -s "$log" ] || { echo "FAIL: the probe ($*) exited with $code"; return 1; }
}

normalise() {
    local h=[0-9a-f]
    awk '/^info / { next }
         /^WM_SETCURSOR .* l=0x200'$h$h$h$h'$/ { next }
         /^WM_MOUSEMOVE / { move = $0; next }
         { if (move != "") print move; move = "" }
         /^WM_(KEYDOWN|CHAR) .* l=0x[4-7]'$h$h$h$h$h$h$h'$/ { if (!($0 in seen)) print; seen[$0] = 1; next }
         { delete seen; print }
         END { if (move != "") print move }' "$1"
}

wine_start "$work/wine" || { echo "FAIL: the Wine prefix could not be made"; exit 1; }
unset SDL_VIDEODRIVER WAYLAND_DISPLAY
run_side ours.txt "$probe" ours.txt || exit 1
cp "$probe_exe" input_probe.exe
run_side real.txt "$WINE64" ./input_probe.exe real.txt || exit 1
echo "ours: $(grep '^info' ours.txt)   real: $(grep '^info' real.txt)"
diff -u <(normalise real.txt) <(normalise ours.txt) || { echo "FAIL: the logs differ (- real, + ours)"; exit 1; }
echo "PASS: $(normalise ours.txt | wc -l) message and state lines equal"
