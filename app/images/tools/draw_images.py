#!/usr/bin/env python3
"""Draws the window's images into app/images/: a parcel with a magnifier.

Not part of the build: run it by hand after changing a drawing, and commit its output.
Needs nothing beyond the Python standard library.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.dirname(HERE)
SUB = 4  # subsamples per pixel side, for smooth edges


# ----- shapes: each is a function (x, y) -> inside?, in pixel units -----

def polygon(points):
    def inside(x, y):
        hit = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return inside


def ring(cx, cy, outer, inner):
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        return inner <= d <= outer
    return inside


def disc(cx, cy, r):
    return ring(cx, cy, r, -1.0)


def bar(x0, y0, x1, y1, half_width):
    def inside(x, y):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= half_width
    return inside


# ----- canvas -----

class Canvas:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.pixels = [[(0.0, 0.0, 0.0, 0.0)] * width for _ in range(height)]

    def fill(self, shape, colour, opacity=1.0):
        """Paints shape in colour (r, g, b, 0..255) over what is there."""
        r, g, b = (c / 255.0 for c in colour)
        for py in range(self.height):
            for px in range(self.width):
                hits = 0
                for sy in range(SUB):
                    for sx in range(SUB):
                        if shape(px + (sx + 0.5) / SUB, py + (sy + 0.5) / SUB):
                            hits += 1
                if not hits:
                    continue
                a = opacity * hits / (SUB * SUB)
                dr, dg, db, da = self.pixels[py][px]
                out_a = a + da * (1 - a)
                mix = lambda s, d: (s * a + d * da * (1 - a)) / out_a
                self.pixels[py][px] = (mix(r, dr), mix(g, dg), mix(b, db), out_a)

    def rgba_rows(self):
        rows = []
        for line in self.pixels:
            row = bytearray()
            for r, g, b, a in line:
                row += bytes(round(v * 255) for v in (r, g, b, a))
            rows.append(bytes(row))
        return rows

    def grey_alpha_rows(self):
        rows = []
        for line in self.pixels:
            row = bytearray()
            for r, g, b, a in line:
                grey = 0.299 * r + 0.587 * g + 0.114 * b
                row += bytes((round(grey * 255), round(a * 255)))
            rows.append(bytes(row))
        return rows


def png(width, height, colour_type, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + row for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico_with_png(width, height, png_bytes):
    """An icon file with one 32-bit entry, stored as PNG."""
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32,
                        len(png_bytes), 6 + 16)
    return directory + entry + png_bytes


# ----- drawings -----

BOX_TOP = (236, 196, 140)
BOX_LEFT = (205, 150, 85)
BOX_RIGHT = (176, 120, 62)
TAPE = (250, 236, 205)
GLASS_RIM = (40, 70, 120)
GLASS = (190, 225, 250)
HANDLE = (60, 45, 40)


def parcel(canvas, scale_x, scale_y, with_tape=True):
    """A box in three faces, in a 64 x 62 design space scaled to the canvas."""
    def p(points):
        return polygon([(x * scale_x, y * scale_y) for x, y in points])
    canvas.fill(p([(6, 20), (30, 30), (30, 58), (6, 46)]), BOX_LEFT)
    canvas.fill(p([(30, 30), (54, 20), (54, 46), (30, 58)]), BOX_RIGHT)
    canvas.fill(p([(6, 20), (30, 10), (54, 20), (30, 30)]), BOX_TOP)
    if with_tape:
        canvas.fill(p([(16, 16), (20, 14.3), (44, 24.3), (40, 26)]), TAPE)
        canvas.fill(p([(40, 26), (44, 24.3), (44, 50.3), (40, 52)]), TAPE, 0.85)


def magnifier(canvas, cx, cy, radius, thickness, handle_length):
    canvas.fill(disc(cx, cy, radius), GLASS, 0.75)
    canvas.fill(ring(cx, cy, radius + thickness / 2, radius - thickness / 2), GLASS_RIM)
    a = math.radians(45)
    x0 = cx + (radius + thickness / 2) * math.cos(a)
    y0 = cy + (radius + thickness / 2) * math.sin(a)
    x1 = x0 + handle_length * math.cos(a)
    y1 = y0 + handle_length * math.sin(a)
    canvas.fill(bar(x0, y0, x1, y1, thickness * 0.75), HANDLE)


def main():
    # Start button: the magnifier alone, 32 x 32 RGBA.
    button = Canvas(32, 32)
    magnifier(button, 13, 13, 8.5, 3.2, 9.5)
    with open(os.path.join(OUT, "btn.png"), "wb") as f:
        f.write(png(32, 32, 6, button.rgba_rows()))

    # Window icon: parcel and magnifier, 49 x 47 grey with alpha.
    window = Canvas(49, 47)
    parcel(window, 49 / 64, 47 / 62)
    magnifier(window, 31, 29, 8.0, 3.0, 8.5)
    with open(os.path.join(OUT, "exe.png"), "wb") as f:
        f.write(png(49, 47, 4, window.grey_alpha_rows()))

    # File icon: the same in colour, 64 x 62, 32-bit.
    file_icon = Canvas(64, 62)
    parcel(file_icon, 1.0, 1.0)
    magnifier(file_icon, 41, 38, 10.5, 3.8, 11.0)
    with open(os.path.join(OUT, "exe.ico"), "wb") as f:
        f.write(ico_with_png(64, 62, png(64, 62, 6, file_icon.rgba_rows())))


if __name__ == "__main__":
    main()
