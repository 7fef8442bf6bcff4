#!/usr/bin/env python3
"""Draws the example program's sprite, a cyan ring on magenta (transparent), 40 x 40 pixels,
and writes it as a 24-bit BMP file.

Run from the repository root:  python3 tools/make_example_ring.py
The output, examples/sprite_demo/ring.bmp, is committed.
"""
import struct

SIZE = 40
CYAN = (0, 255, 255)
MAGENTA = (255, 0, 255)


def pixel(x, y):
    # Distance from the centre of the image, in pixels, measured at pixel centres.
    dx = x + 0.5 - SIZE / 2
    dy = y + 0.5 - SIZE / 2
    d2 = dx * dx + dy * dy
    return CYAN if 10 * 10 <= d2 <= 19 * 19 else MAGENTA


def main():
    row_bytes = (SIZE * 3 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up rows
        row = bytearray()
        for x in range(SIZE):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(row_bytes - len(row))
        pixels += row
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open("examples/sprite_demo/ring.bmp", "wb") as f:
        f.write(header + info + pixels)


if __name__ == "__main__":
    main()
