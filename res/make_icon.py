#!/usr/bin/env python3
"""Writes quillpack.ico: a letter in front of a parcel, at 16 and 32 pixels,
32-bit colour with an AND mask. Run it again after changing the drawing:
    python3 res/make_icon.py res/quillpack.ico
"""

import struct
import sys

PARCEL = (176, 122, 58)      # brown box
PARCEL_EDGE = (110, 72, 30)
TAPE = (226, 196, 120)
LETTER = (250, 250, 246)
LETTER_EDGE = (70, 90, 140)
FOLD = (120, 140, 190)


def draw(size):
    """Rows of (r, g, b, a) from the top, for a size x size icon."""
    s = size / 32.0
    px = [[None] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    # The parcel: box, edge, and a band of tape.
    rect(2, 12, 30, 30, PARCEL_EDGE)
    rect(3, 13, 29, 29, PARCEL)
    rect(14, 13, 18, 29, TAPE)
    # The letter in front, sticking out of the top.
    rect(6, 3, 26, 19, LETTER_EDGE)
    rect(7, 4, 25, 18, LETTER)
    # The flap of the envelope: two diagonals.
    for i in range(int(9 * s)):
        for dx in (0, 1):
            x = int(7 * s) + i + dx
            y = int(4 * s) + int(i * 0.8)
            if x < int(25 * s) and y < size:
                px[y][x] = FOLD
            x = int(25 * s) - 1 - i - dx
            if x >= int(7 * s) and y < size:
                px[y][x] = FOLD
    return [[(c + (255,)) if c else (0, 0, 0, 0) for c in row] for row in px]


def image(size):
    rows = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0,
                         0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def main(path):
    sizes = (32, 16)
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "quillpack.ico")
