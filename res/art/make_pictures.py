#!/usr/bin/env python3
"""Draws the notice dialog's banner (res/banner.bmp, 634 x 78) and the splash
picture (res/splash.bmp, 425 x 208): pictures on white, with the product's
lantern and name and the maker's mark.

They use fewer than 256 colours, so they are stored with a colour table and
run-length encoded (BI_RLE8): a few kilobytes each instead of hundreds, for
the same pixels. --format 8 stores them with a colour table, uncompressed;
--format 24 stores every pixel's colour, as the first pictures were.

    make_pictures.py [--format rle8|8|24] [output folder]
                                    (default rle8, the folder above this script)
"""
import argparse
import math
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_icon import pixel as lantern_pixel  # noqa: E402

WHITE = (255, 255, 255)
INK = (45, 50, 66)
WARM = (232, 140, 32)
GREY = (120, 124, 136)

# A 5 x 7 capital alphabet, enough for the names drawn here.
GLYPHS = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "W": ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    " ": ["00000"] * 7,
}


class Picture:
    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.rows = [[WHITE] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = colour

    def text(self, x, y, words, scale, colour):
        """Draws `words` with its top left corner at (x, y); returns the width."""
        at = x
        for ch in words:
            for gy, line in enumerate(GLYPHS[ch]):
                for gx, bit in enumerate(line):
                    if bit == "1":
                        for dy in range(scale):
                            for dx in range(scale):
                                self.put(at + gx * scale + dx, y + gy * scale + dy, colour)
            at += 6 * scale
        return at - x - scale

    def lantern(self, x, y, size):
        """The application icon's lantern, drawn at `size` pixels, blended on white."""
        for py in range(size):
            for px in range(size):
                r, g, b, a = lantern_pixel(px, py, size)
                if a:
                    self.put(x + px, y + py, (r, g, b))

    def maker_mark(self, cx, cy, radius):
        """The maker's mark: a ring with a warm V inside."""
        for y in range(cy - radius, cy + radius + 1):
            for x in range(cx - radius, cx + radius + 1):
                d = math.hypot(x - cx, y - cy)
                if radius - 3 <= d <= radius:
                    self.put(x, y, INK)
                u = (x - cx) / radius
                v = (y - cy) / radius
                # The V: two strokes meeting at the bottom.
                if -0.5 <= v <= 0.55 and abs(abs(u) - (0.55 - v) * 0.55) < 0.12:
                    self.put(x, y, WARM)

    def bmp(self, form="rle8"):
        if form == "24":
            return self.bmp24()
        palette = sorted({colour for row in self.rows for colour in row})
        if len(palette) > 256:
            raise ValueError(f"{len(palette)} colours do not fit a colour table of 256")
        index = {colour: i for i, colour in enumerate(palette)}
        rows = [bytes(index[colour] for colour in row) for row in reversed(self.rows)]  # bottom-up
        if form == "rle8":
            pixels = rle8(rows)
            compression = 1  # BI_RLE8
        else:
            stride = (self.width + 3) & ~3
            pixels = b"".join(row + b"\0" * (stride - len(row)) for row in rows)
            compression = 0  # BI_RGB
        colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
        return self.file(8, compression, len(palette), colours, pixels)

    def bmp24(self):
        stride = (self.width * 3 + 3) & ~3
        pixels = bytearray()
        for row in reversed(self.rows):  # bottom-up, as bitmaps are stored
            line = bytearray()
            for r, g, b in row:
                line += bytes((b, g, r))
            line += b"\0" * (stride - len(line))
            pixels += line
        return self.file(24, 0, 0, b"", bytes(pixels))

    def file(self, bits, compression, used, colours, pixels):
        offset = 14 + 40 + len(colours)
        header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, bits, compression, len(pixels),
                           2835, 2835, used, 0)
        return header + info + colours + pixels


def rle8(rows):
    """Rows of colour indexes, bottom-up, as BI_RLE8 data: runs of one index as
    (count, index); stretches without runs as (0, count, indexes...) padded to
    a whole word; each row ends with (0, 0) and the last with (0, 1)."""
    out = bytearray()
    for number, row in enumerate(rows):
        at = 0
        literal = bytearray()

        def flush():
            if len(literal) >= 3:
                out.extend((0, len(literal)))
                out.extend(literal)
                if len(literal) % 2:
                    out.append(0)
            else:
                for value in literal:
                    out.extend((1, value))
            literal.clear()

        while at < len(row):
            run = 1
            while at + run < len(row) and run < 255 and row[at + run] == row[at]:
                run += 1
            if run >= 3:
                flush()
                out.extend((run, row[at]))
            else:
                literal.extend(row[at:at + run])
                if len(literal) >= 254:
                    flush()
            at += run
        flush()
        out.extend((0, 1) if number == len(rows) - 1 else (0, 0))
    return bytes(out)


def banner():
    p = Picture(634, 78)
    p.lantern(14, 7, 64)
    width = p.text(90, 18, "VANTREL STUDIO", 4, INK)
    p.text(92, 54, "DOWNLOAD", 2, GREY)
    for x in range(90, 90 + width):
        p.put(x, 50, WARM)
    p.maker_mark(596, 39, 26)
    return p


def splash():
    p = Picture(425, 208)
    p.lantern(164, 14, 96)
    words = "VANTREL STUDIO"
    scale = 3
    width = len(words) * 6 * scale - scale
    p.text((425 - width) // 2, 122, words, scale, INK)
    p.text((425 - (8 * 12 - 2)) // 2, 152, "DOWNLOAD", 2, GREY)
    p.maker_mark(392, 178, 20)
    p.text(282, 171, "VANTREL", 2, GREY)
    return p


def main():
    parser = argparse.ArgumentParser(description="Draws the default banner and splash pictures.")
    parser.add_argument("--format", choices=("rle8", "8", "24"), default="rle8")
    parser.add_argument("folder", nargs="?", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    arguments = parser.parse_args()
    for name, picture in (("banner.bmp", banner()), ("splash.bmp", splash())):
        with open(os.path.join(arguments.folder, name), "wb") as f:
            f.write(picture.bmp(arguments.format))


if __name__ == "__main__":
    main()
