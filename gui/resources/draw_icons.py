#!/usr/bin/python3
"""Draws the panel's icons and its fallback picture.

The buttons are #333333 with #EEEEEE text on a black window, so the symbols
are light strokes on a transparent ground; only the connection state carries
colour (green: connected, red: not connected). Every picture is drawn at
eight times its size and scaled down, which gives clean anti-aliased edges.

    /usr/bin/python3 gui/resources/draw_icons.py
"""
import math
import os

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
SCALE = 8
LIGHT = (238, 238, 238, 255)   # #EEEEEE, the panel's text colour
GREEN = (46, 184, 76, 255)
RED = (221, 0, 0, 255)         # #DD0000, the panel's pressed-frame red
YELLOW = (229, 221, 0, 255)    # #e5dd00, the panel's accent
GREY = (85, 85, 85, 255)       # #555555
DARK = (34, 34, 34, 255)


class Canvas:
    """Drawing in the picture's own pixel units on an oversized image."""

    def __init__(self, size):
        self.size = size
        self.image = Image.new("RGBA", (size * SCALE, size * SCALE), (0, 0, 0, 0))
        self.draw = ImageDraw.Draw(self.image)

    def _p(self, points):
        return [(x * SCALE, y * SCALE) for x, y in points]

    def line(self, points, colour, width):
        w = round(width * SCALE)
        self.draw.line(self._p(points), fill=colour, width=w, joint="curve")
        for x, y in (points[0], points[-1]):       # round caps
            self.ellipse(x, y, width / 2, colour)

    def ellipse(self, cx, cy, r, fill=None, outline=None, width=0):
        box = [(cx - r) * SCALE, (cy - r) * SCALE, (cx + r) * SCALE, (cy + r) * SCALE]
        self.draw.ellipse(box, fill=fill, outline=outline, width=round(width * SCALE))

    def arc(self, cx, cy, r, start, end, colour, width):
        box = [(cx - r) * SCALE, (cy - r) * SCALE, (cx + r) * SCALE, (cy + r) * SCALE]
        self.draw.arc(box, start, end, fill=colour, width=round(width * SCALE))

    def rect(self, x0, y0, x1, y1, fill=None, outline=None, width=0, radius=0):
        self.draw.rounded_rectangle([x0 * SCALE, y0 * SCALE, x1 * SCALE, y1 * SCALE],
                                    radius=radius * SCALE, fill=fill, outline=outline,
                                    width=round(width * SCALE))

    def polygon(self, points, fill):
        self.draw.polygon(self._p(points), fill=fill)

    def save(self, name):
        path = os.path.join(HERE, name)
        self.image.resize((self.size, self.size), Image.LANCZOS).save(path, optimize=True)
        print("wrote", path)


def ok():
    c = Canvas(32)
    c.ellipse(16, 16, 14.5, fill=GREEN)
    c.line([(9, 16.5), (14, 21.5), (23, 11)], LIGHT, 3.4)
    c.save("icons/ok.png")


def error():
    c = Canvas(32)
    c.ellipse(16, 16, 14.5, fill=RED)
    c.line([(10.5, 10.5), (21.5, 21.5)], LIGHT, 3.4)
    c.line([(21.5, 10.5), (10.5, 21.5)], LIGHT, 3.4)
    c.save("icons/error.png")


def exit_():
    # The power symbol: an open ring with a bar through its gap.
    c = Canvas(32)
    c.arc(16, 17, 11, -60, 240, LIGHT, 3.2)
    c.line([(16, 3.5), (16, 15)], LIGHT, 3.2)
    c.save("icons/exit.png")


def options():
    # A gear: eight teeth around a ring.
    c = Canvas(32)
    cx = cy = 16
    teeth = 8
    for i in range(teeth):
        a = 2 * math.pi * i / teeth
        half = math.pi / teeth * 0.55
        inner, outer = 10, 14.5
        pts = [(cx + inner * math.cos(a - half * 1.35), cy + inner * math.sin(a - half * 1.35)),
               (cx + outer * math.cos(a - half), cy + outer * math.sin(a - half)),
               (cx + outer * math.cos(a + half), cy + outer * math.sin(a + half)),
               (cx + inner * math.cos(a + half * 1.35), cy + inner * math.sin(a + half * 1.35))]
        c.polygon(pts, LIGHT)
    c.ellipse(cx, cy, 11, fill=LIGHT)
    c.ellipse(cx, cy, 4.5, fill=(0, 0, 0, 0))
    c.save("icons/options.png")


def checkbox(checked):
    c = Canvas(16)
    c.rect(1, 1, 15, 15, fill=(0, 0, 0, 255), outline=LIGHT, width=1.2, radius=2)
    if checked:
        c.line([(4, 8.3), (6.8, 11.2), (12, 4.8)], YELLOW, 2.0)
    c.save("icons/checked.png" if checked else "icons/unchecked.png")


def noicon():
    # A framed picture (mountain and sun) crossed out: the item's own picture
    # is missing, which the operator should see at a glance.
    c = Canvas(100)
    c.rect(2, 2, 98, 98, fill=DARK, outline=GREY, width=2, radius=8)
    c.rect(18, 24, 82, 76, outline=LIGHT, width=4, radius=4)
    c.polygon([(22, 72), (42, 46), (54, 60), (62, 52), (78, 72)], LIGHT)
    c.ellipse(66, 38, 6, fill=LIGHT)
    c.line([(14, 86), (86, 14)], RED, 7)
    c.save("images/noicon.png")


if __name__ == "__main__":
    ok()
    error()
    exit_()
    options()
    checkbox(True)
    checkbox(False)
    noicon()
