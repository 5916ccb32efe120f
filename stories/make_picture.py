#!/usr/bin/env python3
"""Paints the picture that Lantern Hall shows on Glulx (the painting by the
stove) and writes it as a PNG: a brass lantern glowing gold against a dark
blue wall, in a plain wooden frame. Drawn here, pixel by pixel, so that the
repository holds no image made by anyone else.

    make_picture.py OUTPUT.png
"""
import math
import struct
import sys
import zlib

WIDTH, HEIGHT = 96, 96
FRAME = 6
WALL = (22, 30, 64)
WOOD = (110, 72, 38)
BRASS = (181, 140, 52)
DARK_BRASS = (120, 88, 30)
FLAME = (255, 214, 92)


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def pixel(x, y):
    if x < FRAME or y < FRAME or x >= WIDTH - FRAME or y >= HEIGHT - FRAME:
        # A bevel: lighter on the top and left edges.
        return mix(WOOD, (170, 120, 70), 0.4) if x + y < WIDTH else WOOD
    cx, cy = WIDTH / 2, HEIGHT / 2 + 6
    # The glow around the lantern fades out towards the frame.
    glow = max(0.0, 1.0 - math.hypot(x - cx, y - cy) / 40.0)
    colour = mix(WALL, (200, 150, 60), glow * glow * 0.8)
    dx, dy = abs(x - cx), y - cy
    if 18 <= math.hypot(x - cx, y - (cy - 30)) <= 21 and y < cy - 30:
        return DARK_BRASS  # the carrying ring
    if -26 <= dy <= -20 and dx <= 12 - (dy + 26):
        return BRASS  # the cap
    if -20 < dy <= 16 and dx <= 11:
        if dx >= 9 or dy in range(-20, -17) or dy in range(14, 17):
            return BRASS  # the cage
        flame = max(0.0, 1.0 - math.hypot(dx / 6, (dy + 1) / 12))
        return mix((255, 244, 200), FLAME, 1.0 - flame) if flame > 0 else mix(FLAME, BRASS, 0.5)
    if 16 < dy <= 22 and dx <= 14:
        return DARK_BRASS  # the base
    return colour


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png():
    rows = b"".join(b"\0" + bytes(c for x in range(WIDTH) for c in pixel(x, y)) for y in range(HEIGHT))
    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0)  # 8-bit RGB
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9))
            + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as out:
        out.write(png())


if __name__ == "__main__":
    main()
