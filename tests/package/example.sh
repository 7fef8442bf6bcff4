#!/usr/bin/env bash
# Installs the game library from this build into a fresh prefix, builds the example program
# against the installed CMake package and, separately, through pkg-config, and runs each
# headless for a few frames in a folder holding only the example's own files (gem.xxx and
# ring.bmp). The last picture must hold every opaque pixel of ring.bmp in its own colour and
# the lit gem; the run must end cleanly and write nothing but its logs.
# Arguments: <build-dir> <source-dir> <work-dir> <c++-compiler>
set -euo pipefail
build=$1 src=$2 work=$3 cxx=$4
example="$src/examples/sprite_demo"
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/prefix" >/dev/null

cmake -S "$example" -B "$work/build" -G Ninja \
    -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$work/build" >/dev/null

export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig"
# shellcheck disable=SC2046
"$cxx" -o "$work/sprite_demo_pc" "$example/main.cpp" $(pkg-config --cflags --libs gamelib)

# The ring's opaque pixels, counted from the bitmap itself (magenta is transparent).
ring_expected=$(convert "$example/ring.bmp" -fill black -opaque magenta -fill white +opaque black \
    -format "%[fx:round(mean*w*h)]" info:)
[ "$ring_expected" -gt 0 ] || { echo "ring.bmp has no opaque pixel" >&2; exit 1; }

for variant in cmake pkgconfig; do
    if [ "$variant" = cmake ]; then exe="$work/build/sprite_demo"; else exe="$work/sprite_demo_pc"; fi
    run="$work/run-$variant"
    mkdir -p "$run"
    cp "$example/gem.xxx" "$example/ring.bmp" "$run/"
    out=$(cd "$run" && "$exe" --frames 30) ||
        { echo "$variant: exit code $?; $(cat "$run/out.err" 2>/dev/null)" >&2; exit 1; }
    echo "$variant: $out"
    ring=$(echo "$out" | sed -n 's/.* \([0-9][0-9]*\) ring pixels.*/\1/p')
    gem=$(echo "$out" | sed -n 's/.* \([0-9][0-9]*\) gem pixels.*/\1/p')
    [ "$ring" = "$ring_expected" ] ||
        { echo "$variant: $ring ring pixels on the screen, $ring_expected in ring.bmp" >&2; exit 1; }
    [ -n "$gem" ] && [ "$gem" -gt 2000 ] || { echo "$variant: no gem drawn" >&2; exit 1; }
    grep -q "D3D device using RGB" "$run/info.txt" || { echo "$variant: no 3D device" >&2; exit 1; }
    files=$(cd "$run" && ls | sort | tr '\n' ' ')
    [ "$files" = "caps.txt gem.xxx info.txt ring.bmp " ] ||
        { echo "$variant: the run folder holds: $files" >&2; exit 1; }
done
echo "package example: ok"
