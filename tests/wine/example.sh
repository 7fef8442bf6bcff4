#!/usr/bin/env bash
# The example program built for Windows as its guide says: the Windows build of the library
# installed into a fresh prefix, examples/sprite_demo built against it with the toolchain
# file the package holds (the package alone is enough), then run under Wine for a few
# frames in a folder holding only its own files (gem.xxx, and ring.bmp made top-down). It
# counts its last picture's pixels from the back buffer: every opaque pixel of ring.bmp in
# its own colour, and the lit gem. The run must end cleanly and write nothing but its logs.
# Arguments: <wine-launcher> <wine-prefix> <build-dir> <source-dir> <work-dir>.
set -uo pipefail
launcher=$1 prefix=$2 build=$3 src=$4 work_dir=$5
. "$src/tests/e2e/lib/common.sh"
. "$src/tests/wine/lib/wine.sh"
example="$src/examples/sprite_demo"
package="$work_dir.package"

build_windows_example "$build" "$example" "$package" || exit 1

# The ring's opaque pixels, counted from the bitmap itself (magenta is transparent).
ring_expected=$(convert "$example/ring.bmp" -fill black -opaque magenta -fill white +opaque black \
    -format "%[fx:round(mean*w*h)]" info:)
[ "$ring_expected" -gt 0 ] || { echo "FAIL: ring.bmp has no opaque pixel" >&2; exit 1; }

scenario() {
    wine_setup "$launcher" "$prefix" "$package/build/sprite_demo.exe" "$src" "$work_dir"
    rm -f "$run/ship.xxx"
    cp "$example/gem.xxx" "$run/"
    # The ring as a top-down bitmap (rows first to last, negative height): the platform's own
    # LoadImageA leaves such a file's pixels blank, and the sprite must still draw the ring.
    # Wine's LoadImageA looks for a relative file name beside the program first: the copy
    # there is made top-down too.
    perl -e 'local $/; open(my $in, "<:raw", $ARGV[0]) or die; my $d = <$in>;
        my $off = unpack("V", substr($d, 10, 4));
        my ($w, $h, $planes, $bits) = unpack("l<l<vv", substr($d, 18, 12));
        my $stride = int(($w * $bits + 31) / 32) * 4;
        my @rows = map { substr($d, $off + $_ * $stride, $stride) } 0 .. $h - 1;
        substr($d, 22, 4) = pack("l<", -$h);
        substr($d, $off, $stride * $h) = join("", reverse @rows);
        open(my $out, ">:raw", $ARGV[1]) or die; print $out $d;' \
        "$example/ring.bmp" "$run/ring.bmp" && cp "$run/ring.bmp" "$package/build/ring.bmp" ||
        fail "ring.bmp could not be made top-down"
    (cd "$run" && exec "$launcher" "$game" --frames 30) >"$work/stdout.txt" 2>"$work/stderr.txt" &
    pid=$!
    # A failure shows a box ("Error" from a fatal error, "ERROR" from a sprite) that would
    # wait for a click: fail on sight of one.
    boxes() { window_named "Error"; window_named "ERROR"; }
    ended_or_box() { ! kill -0 "$pid" 2>/dev/null || [ -n "$(boxes)" ]; }
    wait_until 60 ended_or_box
    [ -z "$(boxes)" ] ||
        fail "the example shows an error box; info.txt ends: $(tail -n 3 "$run/info.txt" | tr -d '\r')"
    wait_for_exit 10
    check_wine_exit
    [ "$code" -eq 0 ] || fail "exit code $code; out.err: $(cat "$run/out.err" 2>/dev/null)"
    out=$(tr -d '\r' <"$work/stdout.txt")
    echo "$out"
    ring=$(echo "$out" | sed -n 's/.* \([0-9][0-9]*\) ring pixels.*/\1/p')
    gem=$(echo "$out" | sed -n 's/.* \([0-9][0-9]*\) gem pixels.*/\1/p')
    [ "$ring" = "$ring_expected" ] || fail "${ring:-no} ring pixels counted, $ring_expected in ring.bmp"
    [ -n "$gem" ] && [ "$gem" -gt 2000 ] || fail "no gem drawn (${gem:-no} pixels)"
    grep -q "D3D device" "$run/info.txt" || fail "no 3D device in info.txt"
    files=$(cd "$run" && ls | sort | tr '\n' ' ')
    [ "$files" = "caps.txt gem.xxx info.txt ring.bmp " ] || fail "the run folder holds: $files"
    echo "PASS: the example built for Windows draws its own gem and ring under Wine"
}

run_scenario scenario
