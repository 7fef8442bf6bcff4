# Shared by the Wine end-to-end tests (sourced after tests/e2e/lib/common.sh, not run). The
# Windows game runs under Wine in its own virtual X server, in the prefix the suite set up
# (prefix.sh), with the helpers of the Linux end-to-end tests. Wine is slower to show its
# first picture than the Linux build, so its waits are longer; every wait is bounded.

# The exit code that tells the caller "Wine itself crashed": the launcher died of a signal.
WINE_CRASHED=99

# wine_setup <launcher> <prefix> <game.exe> <source-dir> <work-dir>
wine_setup() {
    launcher=$1
    export WINEPREFIX WINEDEBUG=-all
    WINEPREFIX=$(realpath "$2")  # Wine takes absolute paths only
    shift 2
    E2E_SCREEN=${E2E_SCREEN:-1024x768x16} e2e_setup "$@"
    wineserver=$(dirname "$launcher")/wineserver
    [ -d "$WINEPREFIX" ] || fail "no Wine prefix at $WINEPREFIX"
    trap wine_cleanup EXIT
}

# The game, Xvfb, then the Wine server of the prefix (it outlives the programs it served).
# When CTest kills a test that overran, Wine's own processes (they left the test's process
# tree when they started) end by themselves within seconds of the game and the X server.
wine_cleanup() {
    [ "$BASHPID" = "${e2e_shell:-}" ] || return 0
    e2e_cleanup
    "$wineserver" -k 2>/dev/null
}

# Starts the Windows game as a user does: from the run folder, no arguments.
start_wine_game() {
    (cd "$run" && exec "$launcher" "$game") >"$work/stdout.txt" 2>"$work/stderr.txt" &
    pid=$!
}

# Waits for the Windows game's window and first picture (sets `win`). Wine takes seconds
# where the Linux build takes less than one, more on a busy machine.
wait_for_wine_game() {
    win=""
    has_window() {
        win=$(window_named "Game Library")
        [ -n "$win" ] || ! kill -0 "$pid" 2>/dev/null
    }
    wait_until 120 has_window
    kill -0 "$pid" 2>/dev/null || fail "the game ended before its window appeared"
    [ -n "$win" ] || fail "no window titled \"Game Library\""
    drawn() {
        [ -z "$(window_named "Error")" ] ||
            fail "the game shows its \"Error\" box: $(tr -d '\r' <"$run/out.err" 2>&1)"
        shot "$work/first.png" && ask lit 640x480+0+0 lit && measure "$work/first.png" &&
            [ "${count[lit]}" -gt 0 ]
    }
    wait_until 120 drawn || fail "the window shows no picture"
}

# After wait_for_exit: an exit code above 128 is the launcher killed by a signal, which is
# Wine itself failing (a Windows program's own faults end with their exception code).
check_wine_exit() {
    if [ "$code" -gt 128 ]; then
        echo "Wine itself crashed (launcher exit code $code, signal $((code - 128)))" >&2
        exit $WINE_CRASHED
    fi
}

# Runs a test's scenario (a function) in a subshell; when Wine itself crashed, says so and
# runs it once more. Exits with the scenario's result.
run_scenario() {
    local result
    ("$1")
    result=$?
    if [ "$result" -eq $WINE_CRASHED ]; then
        echo "NOTE: Wine itself crashed, not the game; running the scenario once more" >&2
        ("$1")
        result=$?
        [ "$result" -eq $WINE_CRASHED ] && echo "FAIL: Wine crashed in both attempts" >&2
    fi
    exit "$result"
}

# build_windows_example BUILD EXAMPLE PACKAGE: installs the Windows build in BUILD into
# PACKAGE/prefix, then builds the example program in EXAMPLE against that package alone,
# with the toolchain file it holds, into PACKAGE/build. Says why and returns 1 on failure.
build_windows_example() {
    local build=$1 example=$2 package=$3
    rm -rf "$package"
    mkdir -p "$package"
    cmake --install "$build" --prefix "$package/prefix" >/dev/null ||
        { echo "FAIL: install" >&2; return 1; }
    cmake -S "$example" -B "$package/build" -G Ninja -DCMAKE_PREFIX_PATH="$package/prefix" \
        -DCMAKE_TOOLCHAIN_FILE="$package/prefix/lib/cmake/GameLibrary/mingw-w64.cmake" \
        -DGAME_WINDOWS_ARCH="$(sed -n 's/^GAME_WINDOWS_ARCH:[A-Z]*=//p' "$build/CMakeCache.txt")" \
        >"$package/configure.log" 2>&1 &&
        cmake --build "$package/build" >"$package/build.log" 2>&1 ||
        { echo "FAIL: $(basename "$example") does not build for Windows:" >&2
          tail -n 20 "$package"/*.log >&2; return 1; }
}
