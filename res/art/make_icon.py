#!/usr/bin/env python3
"""Draws the application icon (a lantern with a warm light) and writes
res/lantern.ico with 16, 32 and 48 pixel images in 32-bit colour."""
import math
import struct
import sys


def pixel(x, y, n):
    """Colour (r, g, b, a) of pixel (x, y) of an n x n image; y runs downwards."""
    u = (x + 0.5) / n
    v = (y + 0.5) / n
    # Ring on top.
    if math.hypot(u - 0.5, v - 0.12) < 0.09 and math.hypot(u - 0.5, v - 0.12) > 0.045:
        return (60, 60, 70, 255)
    # Cap and base.
    if 0.2 <= v < 0.28 and abs(u - 0.5) < 0.28 - (0.28 - v) * 0.8:
        return (50, 55, 70, 255)
    if 0.84 <= v < 0.93 and abs(u - 0.5) < 0.3:
        return (50, 55, 70, 255)
    # Glass body with a glow that fades from the flame.
    if 0.28 <= v < 0.84 and abs(u - 0.5) < 0.24:
        if abs(u - 0.5) > 0.2 or abs(u - 0.5) < 0.02:
            return (70, 75, 90, 255)
        d = math.hypot((u - 0.5) * 1.6, v - 0.58)
        flame = max(0.0, 1.0 - d / 0.34)
        r = int(255 * min(1.0, 0.75 + 0.25 * flame))
        g = int(255 * min(1.0, 0.45 + 0.5 * flame))
        b = int(255 * min(1.0, 0.12 + 0.5 * flame * flame))
        return (r, g, b, 255)
    return (0, 0, 0, 0)


def image(n):
    rows = []
    for y in range(n - 1, -1, -1):  # bottom-up, as bitmaps are stored
        for x in range(n):
            r, g, b, a = pixel(x, y, n)
            rows.append(struct.pack("<BBBB", b, g, r, a))
    xor = b"".join(rows)
    mask_row = ((n + 31) // 32) * 4
    andmask = b""
    for y in range(n - 1, -1, -1):
        bits = 0
        row = bytearray(mask_row)
        for x in range(n):
            if pixel(x, y, n)[3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        andmask += bytes(row)
        del bits
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    return header + xor + andmask


def main(out):
    sizes = [16, 32, 48]
    images = [image(n) for n in sizes]
    data = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "lantern.ico")
