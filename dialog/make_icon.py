#!/usr/bin/env python3
"""Draws the program's icon (zub.ico, one 32x32 image with alpha): two
overlapping folders, the front one carrying an equals sign. Run it again
after changing the drawing; the .ico is kept in the tree so that builds need
no Python."""
import struct
import sys

SIZE = 32
pixels = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]  # (r, g, b, a), row 0 at the top


def rect(x0, y0, x1, y1, color):
    for y in range(y0, y1):
        for x in range(x0, x1):
            pixels[y][x] = color


def folder(x, y, body, tab, edge):
    rect(x, y, x + 10, y + 4, tab)            # the tab
    rect(x, y + 3, x + 22, y + 19, edge)      # outline
    rect(x + 1, y + 4, x + 21, y + 18, body)  # body


folder(2, 3, (236, 190, 74, 255), (214, 160, 40, 255), (150, 105, 20, 255))     # back: amber
folder(8, 10, (74, 134, 226, 255), (52, 104, 196, 255), (24, 58, 130, 255))     # front: blue
rect(13, 17, 25, 19, (255, 255, 255, 255))  # equals sign
rect(13, 22, 25, 24, (255, 255, 255, 255))

xor = b"".join(struct.pack("<BBBB", b, g, r, a) for row in reversed(pixels) for (r, g, b, a) in row)
and_mask = b"\x00" * (SIZE * SIZE // 8)  # alpha decides; the mask is all opaque
header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
image = header + xor + and_mask
icon = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 22) + image
out = sys.argv[1] if len(sys.argv) > 1 else "zub.ico"
with open(out, "wb") as f:
    f.write(icon)
