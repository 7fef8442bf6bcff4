# Picture comparison of two screenshots of the game (sourced). Reads pixels through
# ImageMagick as "r g b" lines.

# Prints the pixels of a region (WxH+X+Y) of a picture, one "r g b" line each, row by row.
pixels() {
    convert "$1" -crop "$2" +repage -depth 8 rgb:- | od -An -v -tu1 -w3
}

# compare_ship <linux.png> <wine.png>: the ship's pixels (purple: red and blue, no green)
# between the HUD and the gauges, rows 60 to 399 of the back buffer's 640 columns. Prints
# "bbox_a bbox_b ship_a ship_b outline_diff colour_pixels colour_steps max_step":
# the two bounding boxes (x0,y0,x1,y1), the pixel counts, the pixels that are ship in one
# picture only, the ship pixels in both whose 5-bit red or blue differ, how many of those
# differ by exactly one step, and the largest step.
compare_ship() {
    paste -d' ' <(pixels "$1" 640x340+0+60) <(pixels "$2" 640x340+0+60) | awk '
        function box(x, y, k) {
            if (!(k in x0)) { x0[k] = x; y0[k] = y; x1[k] = x; y1[k] = y; return }
            if (x < x0[k]) x0[k] = x; if (x > x1[k]) x1[k] = x
            if (y < y0[k]) y0[k] = y; if (y > y1[k]) y1[k] = y
        }
        function abs(v) { return v < 0 ? -v : v }
        {
            i = NR - 1; x = i % 640; y = 60 + int(i / 640)
            a = ($2 == 0 && $1 > 0 && $3 > 0); b = ($5 == 0 && $4 > 0 && $6 > 0)
            if (a) { na++; box(x, y, "a") }
            if (b) { nb++; box(x, y, "b") }
            if (a != b) outline++
            if (a && b) {
                d = abs(int($1 / 8) - int($4 / 8)); e = abs(int($3 / 8) - int($6 / 8))
                if (e > d) d = e
                if (d > 0) changed++
                if (d == 1) one++
                if (d > maxd) maxd = d
            }
        }
        END {
            printf "%d,%d,%d,%d %d,%d,%d,%d %d %d %d %d %d %d\n",
                x0["a"], y0["a"], x1["a"], y1["a"], x0["b"], y0["b"], x1["b"], y1["b"],
                na, nb, outline, changed, one, maxd
        }'
}

# compare_bitmap_pixels <a.png> <b.png> <bitmap.bmp> <x> <y>: the pixels the bitmap covers
# (all but its magenta, transparent ones) placed at (x, y): prints how many there are and
# how many differ between the two pictures.
compare_bitmap_pixels() {
    local size
    size=$(identify -format '%wx%h' "$3") || return 1
    paste -d' ' <(pixels "$3" "$size+0+0") <(pixels "$1" "$size+$4+$5") \
        <(pixels "$2" "$size+$4+$5") | awk '
        !($1 == 255 && $2 == 0 && $3 == 255) {
            n++
            if ($4 != $7 || $5 != $8 || $6 != $9) d++
        }
        END { printf "%d %d\n", n, d }'
}
