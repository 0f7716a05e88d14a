#!/usr/bin/env python3
"""Draws the menu icon into packaging/icons/ at the hicolor theme's usual sizes.

The drawing is the program's file icon (app/images/exe.ico), redrawn square at each size
rather than scaled, so small sizes stay sharp. Not part of the build: run it by hand after
changing the drawing in app/images/tools/draw_images.py, and commit its output.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.dont_write_bytecode = True  # leave nothing behind in app/images/tools/
sys.path.insert(0, os.path.join(ROOT, "app", "images", "tools"))

import draw_images  # noqa: E402

SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
LIFT = 2.0  # design units: the 64 x 62 drawing sits low; this centres it in a square


class ShiftedCanvas(draw_images.Canvas):
    def __init__(self, size, lift):
        super().__init__(size, size)
        self.lift = lift

    def fill(self, shape, colour, opacity=1.0):
        super().fill(lambda x, y: shape(x, y + self.lift), colour, opacity)


def main():
    for size in SIZES:
        scale = size / 64
        canvas = ShiftedCanvas(size, LIFT * scale)
        draw_images.parcel(canvas, scale, scale)
        draw_images.magnifier(canvas, 41 * scale, 38 * scale, 10.5 * scale, 3.8 * scale,
                              11.0 * scale)
        with open(os.path.join(HERE, "colvane_%d.png" % size), "wb") as f:
            f.write(draw_images.png(size, size, 6, canvas.rgba_rows()))


if __name__ == "__main__":
    main()
