#!/usr/bin/env bash
# Installs the game library from this build into a fresh prefix, builds examples/scene_demo
# against the installed CMake package and runs it headless for a few frames in a folder
# holding only its meshes, with the depth buffer and (to show that the check sees the depth
# buffer's work, not the drawing order) without: see tests/package/scene_picture.sh. Each run
# must end cleanly and write nothing but its logs.
# Arguments: <build-dir> <source-dir> <work-dir> <c++-compiler>
set -euo pipefail
build=$1 src=$2 work=$3 cxx=$4
example="$src/examples/scene_demo"
. "$src/tests/package/scene_picture.sh"
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$example" -B "$work/build" -G Ninja \
    -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$work/build" >/dev/null

for depth in on off; do
    run="$work/run-$depth"
    mkdir -p "$run"
    cp "$example/cube.xxx" "$example/pyramid.xxx" "$run/"
    flags=(--frames 30)
    [ "$depth" = on ] || flags+=(--no-depth)
    out=$(cd "$run" && "$work/build/scene_demo" "${flags[@]}") ||
        { echo "depth buffer $depth: exit code $?; $(cat "$run/out.err" 2>/dev/null)" >&2; exit 1; }
    echo "$out"
    check_scene_picture "$out" "$depth"
    files=$(cd "$run" && ls | sort | tr '\n' ' ')
    [ "$files" = "caps.txt cube.xxx info.txt pyramid.xxx " ] ||
        { echo "depth buffer $depth: the run folder holds: $files" >&2; exit 1; }
done
echo "package scene example: ok"
