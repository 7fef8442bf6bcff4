#!/usr/bin/env bash
# Installs the game library from this build into a fresh prefix, builds the example program
# against the installed CMake package and, separately, through pkg-config, and runs it
# headless for a few frames: it must draw a picture and end cleanly.
# Arguments: <build-dir> <source-dir> <work-dir> <c++-compiler>
set -euo pipefail
build=$1 src=$2 work=$3 cxx=$4
rm -rf "$work"
mkdir -p "$work/run-cmake" "$work/run-pkgconfig"
cmake --install "$build" --prefix "$work/prefix" >/dev/null

cmake -S "$src/examples/sprite_demo" -B "$work/build" -G Ninja \
    -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$work/build" >/dev/null

export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig"
# shellcheck disable=SC2046
"$cxx" -o "$work/sprite_demo_pc" "$src/examples/sprite_demo/main.cpp" \
    $(pkg-config --cflags --libs gamelib)

for variant in cmake pkgconfig; do
    if [ "$variant" = cmake ]; then exe="$work/build/sprite_demo"; else exe="$work/sprite_demo_pc"; fi
    out=$(cd "$work/run-$variant" && "$exe" --frames 30)
    echo "$variant: $out"
    lit=$(echo "$out" | sed -n 's/.* \([0-9][0-9]*\) lit pixels/\1/p')
    [ -n "$lit" ] && [ "$lit" -gt 1000 ] || { echo "$variant: no picture" >&2; exit 1; }
    grep -q "D3D device using RGB" "$work/run-$variant/info.txt" || { echo "$variant: no 3D device" >&2; exit 1; }
done
echo "package example: ok"
