#!/usr/bin/env bash
# The scene example built for Windows as the library's guide says: the Windows build of the
# library installed into a fresh prefix, examples/scene_demo built against it with the
# toolchain file the package holds, then run under Wine for a few frames in a folder holding
# only its meshes, with the depth buffer. Its picture, counted from the back buffer, must show
# the near red cube where the far blue one (drawn later) overlaps it, and all four objects
# elsewhere (tests/package/scene_picture.sh). The run must end cleanly and write nothing but
# its logs.
# Arguments: <wine-launcher> <wine-prefix> <build-dir> <source-dir> <work-dir>.
set -uo pipefail
launcher=$1 prefix=$2 build=$3 src=$4 work_dir=$5
. "$src/tests/e2e/lib/common.sh"
. "$src/tests/wine/lib/wine.sh"
. "$src/tests/package/scene_picture.sh"
example="$src/examples/scene_demo"
package="$work_dir.package"

build_windows_example "$build" "$example" "$package" || exit 1

scenario() {
    wine_setup "$launcher" "$prefix" "$package/build/scene_demo.exe" "$src" "$work_dir"
    rm -f "$run/ship.xxx"
    cp "$example/cube.xxx" "$example/pyramid.xxx" "$run/"
    (cd "$run" && exec "$launcher" "$game" --frames 30) >"$work/stdout.txt" 2>"$work/stderr.txt" &
    pid=$!
    # A fatal error shows an "Error" box that would wait for a click: fail on sight of one.
    ended_or_box() { ! kill -0 "$pid" 2>/dev/null || [ -n "$(window_named "Error")" ]; }
    wait_until 60 ended_or_box
    [ -z "$(window_named "Error")" ] ||
        fail "the example shows an error box; info.txt ends: $(tail -n 3 "$run/info.txt" | tr -d '\r')"
    wait_for_exit 10
    check_wine_exit
    [ "$code" -eq 0 ] || fail "exit code $code; out.err: $(cat "$run/out.err" 2>/dev/null)"
    out=$(tr -d '\r' <"$work/stdout.txt")
    echo "$out"
    check_scene_picture "$out" on || fail "the scene's picture is wrong"
    grep -q "D3D device" "$run/info.txt" || fail "no 3D device in info.txt"
    files=$(cd "$run" && ls | sort | tr '\n' ' ')
    [ "$files" = "caps.txt cube.xxx info.txt pyramid.xxx " ] || fail "the run folder holds: $files"
    echo "PASS: the scene example built for Windows keeps the near cube in front under Wine"
}

run_scenario scenario
