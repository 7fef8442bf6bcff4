#!/usr/bin/env bash
# The real executable in a virtual X server: one borderless "Game Library" window at (0,0)
# covering the screen; the start-up box (while the display layer cannot come up) is shown
# and a key press dismisses it; the run ends with exit code 0 and leaves info.txt.
# Arguments: <game-exe> <source-dir> <work-dir>.
set -uo pipefail
game=$1
src=$2
work=$3
. "$src/scripts/lib.sh"

fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/stderr.txt" ] && sed 's/^/  game stderr: /' "$work/stderr.txt" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work" || fail "cannot make $work"
cp -r "$src/assets/." "$work/" 2>/dev/null

n=$(free_display) || fail "no free display number"
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT
export DISPLAY=":$n"
unset WAYLAND_DISPLAY SDL_VIDEODRIVER
# Under the sanitizers: leaks inside system libraries are not the game's.
export LSAN_OPTIONS="suppressions=$src/tests/e2e/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
wait_for_x || fail "Xvfb did not start"

cd "$work" || fail "cannot enter $work"
"$game" 2>"$work/stderr.txt" &
pid=$!

# The window.
ids=""
for _ in $(seq 1 100); do
    ids=$(xdotool search --name '^Game Library$' 2>/dev/null)
    [ -n "$ids" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the game ended before its window appeared"
    sleep 0.1
done
[ -n "$ids" ] || fail "no window titled \"Game Library\""
sleep 0.5
ids=$(xdotool search --name '^Game Library$')
[ "$(echo "$ids" | wc -l)" -eq 1 ] || fail "more than one \"Game Library\" window: $ids"
eval "$(xdotool getwindowgeometry --shell "$ids")"
[ "$X" = 0 ] && [ "$Y" = 0 ] || fail "window at ($X,$Y), not (0,0)"
[ "$WIDTH" = 1024 ] && [ "$HEIGHT" = 768 ] || fail "window is ${WIDTH}x$HEIGHT, not 1024x768"
xwininfo -id "$ids" | grep -q 'Border width: 0' || fail "the window has a border"
# Borderless: the window asks the window manager for no decorations (or, with no window
# manager to define that hint, marks itself transient for the root window, as SDL does).
hints=$(xprop -id "$ids" _MOTIF_WM_HINTS WM_TRANSIENT_FOR)
echo "$hints" | grep -Eq '_MOTIF_WM_HINTS.*= 0x2, 0x0, 0x0|WM_TRANSIENT_FOR.*window id' ||
    fail "the window does not ask for no decorations: $hints"
echo "window: $ids at ($X,$Y) ${WIDTH}x$HEIGHT, borderless"

# The start-up box, dismissed with a key press. There is no window manager to give the new
# box the keyboard focus (the game window holds it), so the test focuses it, as a window
# manager would.
box=""
for _ in $(seq 1 50); do
    box=$(xwininfo -root -tree | grep '"Korvel Initialization Error"' | awk '{print $1}')
    [ -n "$box" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if [ -n "$box" ]; then
    xdotool windowfocus --sync "$box"
    xdotool key Return
    echo "start-up box shown and dismissed"
else
    # The display came up: no box; Escape ends the run.
    grep -q 'Korvel Initialization Error' "$work/stderr.txt" &&
        fail "the start-up box could not be shown"
    kill -0 "$pid" 2>/dev/null || fail "the game ended without its start-up box"
    xdotool windowfocus --sync "$ids"
    xdotool key Escape
    echo "no start-up box (the display came up); pressed Escape"
fi

code=""
for _ in $(seq 1 100); do
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid"
        code=$?
        break
    fi
    sleep 0.1
done
[ -n "$code" ] || fail "the game did not end"
pid=""
[ "$code" -eq 0 ] || fail "exit code $code"
[ -f "$work/info.txt" ] || fail "no info.txt"
echo "PASS: exit code 0, info.txt written"
