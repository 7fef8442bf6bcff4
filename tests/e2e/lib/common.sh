# Shared by the end-to-end tests (sourced, not run). Each test calls e2e_setup with its own
# arguments (<game-exe> <source-dir> <work-dir>); it gets a fresh run folder holding
# ship.xxx, its own virtual X server on a free display (stopped on exit, with the game and
# any helper windows the test started) and the helpers below. Every wait is bounded.
# E2E_SCREEN sets the screen's size and depth (default 1024x768x24), E2E_XVFB_ARGS more of
# the server's options (e.g. "-cc 5": a DirectColor default visual).

e2e_setup() {
    game=$(realpath "$1")
    src=$(realpath "$2")
    work=$3
    run="$work/run"
    pid=""
    code=""
    helpers=()
    . "$src/scripts/lib.sh"
    rm -rf "$work"
    mkdir -p "$run" || fail "cannot make $run"
    cp "$src/assets/ship.xxx" "$run/" || fail "cannot copy ship.xxx"

    # Xvfb picks a free display number itself and writes it to fd 3: no race with other X
    # servers starting on this machine at the same time. -noreset: by default the server
    # resets when its last client leaves (the readiness probe below), refusing the game's
    # connection if that comes in the middle of the reset.
    # A test may ask for another depth first: screen_depth=8.
    # The server gets SIGTERM when the shell that started it dies, however it dies: a
    # SIGKILL (a CTest timeout) runs no trap.
    setpriv --pdeathsig TERM Xvfb -displayfd 3 -noreset \
        -screen 0 "${E2E_SCREEN:-1024x768x${screen_depth:-24}}" ${E2E_XVFB_ARGS:-} -nolisten tcp \
        3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    e2e_shell=$BASHPID
    trap e2e_cleanup EXIT
    wait_until 10 test -s "$work/display" || fail "Xvfb did not start"
    export DISPLAY=":$(head -n 1 "$work/display")"
    unset WAYLAND_DISPLAY SDL_VIDEODRIVER
    # Under the sanitizers: leaks inside system libraries are not the game's.
    # Their summary is not printed, so a test can ask for a quiet standard error.
    export LSAN_OPTIONS="suppressions=$src/tests/e2e/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
    wait_for_x || fail "Xvfb did not start"
}

e2e_cleanup() {
    local h i
    # Only the shell that set up cleans up (a command substitution can run the trap too).
    # That may be a subshell: the Wine tests run each attempt in one, where $$ is the
    # parent's id.
    [ "$BASHPID" = "${e2e_shell:-}" ] || return 0
    # The game first, while its display still exists (a lost display is a different end).
    if [ -n "$pid" ] && kill "$pid" 2>/dev/null; then
        for i in $(seq 1 30); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null
    fi
    for h in "${helpers[@]}"; do
        kill "$h" 2>/dev/null
    done
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
}

fail() {
    echo "FAIL: $*" >&2
    [ -s "$work/stderr.txt" ] && sed 's/^/  game stderr: /' "$work/stderr.txt" >&2
    exit 1
}

# Starts the game as a user does: from the run folder, no arguments.
start_game() {
    (cd "$run" && exec "$game") 2>"$work/stderr.txt" &
    pid=$!
}

# Polls a command every 0.1 s until it succeeds; gives up after the given seconds of wall
# time (a slow command does not stretch the bound).
wait_until() {
    local seconds=$1 deadline
    shift
    deadline=$(($(date +%s%N) / 1000000 + seconds * 1000))
    while :; do
        "$@" && return 0
        [ $(($(date +%s%N) / 1000000)) -lt $deadline ] || return 1
        sleep 0.1
    done
}

# Prints the id of the one top-level window with the given title, if there is one.
window_named() {
    xwininfo -root -tree 2>/dev/null | grep -F "\"$1\":" | awk 'NR==1{print $1}'
}

# Waits for the game's window and for its first pictures (something not black on it):
# sets `win`.
wait_for_game() {
    win=""
    has_window() {
        win=$(window_named "Game Library")
        [ -n "$win" ] || ! kill -0 "$pid" 2>/dev/null
    }
    wait_until 20 has_window
    kill -0 "$pid" 2>/dev/null || fail "the game ended before its window appeared"
    [ -n "$win" ] || fail "no window titled \"Game Library\""
    drawn() {
        kill -0 "$pid" 2>/dev/null || return 0
        shot "$work/first.png" && ask lit 640x480+0+0 lit && measure "$work/first.png" &&
            [ "${count[lit]}" -gt 0 ]
    }
    wait_until 20 drawn || fail "the window shows no picture"
    kill -0 "$pid" 2>/dev/null || fail "the game ended before it showed a picture"
}

# Saves a screenshot of the whole screen.
shot() {
    import -window root "$1" 2>/dev/null
}

# Number of pixels in the region (WxH+X+Y) of a screenshot whose colour satisfies an awk
# condition on r, g and b (0..255).
count_where() {
    convert "$1" -crop "$2" +repage -depth 8 -format %c histogram:info:- |
        awk -v FS='[ :(),]+' '{ n = $2; r = $3; g = $4; b = $5; if ('"$3"') total += n }
                              END { print total + 0 }'
}

# Number of pixels of exactly the colour r g b in the region.
count_rgb() {
    count_where "$1" "$2" "r == $3 && g == $4 && b == $5"
}

# Checksum of the region's pixels: equal pictures give equal sums.
region_sum() {
    convert "$1" -crop "$2" +repage -depth 8 rgb:- | md5sum | cut -d' ' -f1
}

# Gives the keyboard focus to a window (there is no window manager to do it).
focus() {
    # --sync waits for the focus event, for ever if it never comes: bounded here.
    timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
}

# Opens another application's window beside the game's and waits for it: sets `other`.
open_other_window() {
    xmessage -geometry +700+600 -title "Other Window" "another application" >/dev/null 2>&1 &
    helpers+=($!)
    other=""
    other_up() { other=$(window_named "Other Window"); [ -n "$other" ]; }
    wait_until 10 other_up || fail "the other window did not appear"
}

# Waits for the game to end (bounded): sets `code` to its exit code.
wait_for_exit() {
    local seconds=${1:-20}
    ended() { ! kill -0 "$pid" 2>/dev/null; }
    wait_until "$seconds" ended || fail "the game did not end within $seconds s"
    wait "$pid"
    code=$?
    pid=""
}

# Pixel counts of many regions of one screenshot in one pass. Queue each with
# `ask NAME WxH+X+Y COLOUR`, COLOUR being "r,g,b" (exactly that colour, not black) or
# "lit" (anything not black); `measure FILE` then sets count[NAME] for every queued question.
declare -A count
questions=()
ask() {
    questions+=("$1 $2 $3")
}
measure() {
    local args=() names=() q name geom colour i
    for q in "${questions[@]}"; do
        read -r name geom colour <<<"$q"
        names+=("$name")
        if [ "$colour" = lit ]; then
            args+=('(' mpr:shot -crop "$geom" +repage -fill white +opaque black ')')
        else
            args+=('(' mpr:shot -crop "$geom" +repage -fill black +opaque "rgb($colour)"
                -fill white -opaque "rgb($colour)" ')')
        fi
    done
    local out
    out=($(convert "$1" -write mpr:shot +delete "${args[@]}" \
        -format '%[fx:round(mean*w*h)]\n' info:)) || fail "cannot read $1"
    [ ${#out[@]} -eq ${#names[@]} ] || fail "cannot measure $1"
    for i in "${!names[@]}"; do
        count[${names[$i]}]=${out[$i]}
    done
    questions=()
}

# The run log of a run that came up: the capability report of the emulated display driver
# and the device chosen.
expected_run_log() {
    printf '%s\n' \
        "Free video memory = 0" \
        "Not certified driver!" \
        "Capable of blit operations. " \
        "Capable of blitting to or from system memory. " \
        "Capable of clipping with blitting. " \
        "Shared with GDI. " \
        "Not capable of generating a vertical blank interrupt. " \
        "Device supports color fill" \
        "Can do Src colorkey in hardware" \
        "Can do Dest colorkey in hardware" \
        "No 3D hardware present!" \
        "D3D device using RGB"
}
