#!/usr/bin/env python3
"""Draws the program's built-in button icons and its point cursor as PNG files.

Run from anywhere: python3 resources/make_icons.py
The PNGs are written next to this script and are committed, so the build never
needs Python. Only the standard library is used (zlib + struct for PNG).

Icons are 24 x 24 on a pure white background: the program draws them with
white as transparent, so every pixel meant to stay visible avoids 0xFFFFFF
(near-white 0xFAFAFA stands in for "white paper"). Shapes are rasterised
without anti-aliasing: each pixel is sampled 4 x 4 times and coloured when at
least half of the samples fall inside, which keeps edges crisp on the button.
"""

import math
import os
import struct
import zlib

SIZE = 24
SS = 4  # samples per pixel along each axis

WHITE = (255, 255, 255)
PAPER = (250, 250, 250)       # opaque "white"
INK = (24, 44, 120)           # dark blue for the shapes
BLACK = (16, 16, 16)
RED = (208, 24, 24)
SKY = (140, 190, 240)
HILL = (60, 150, 60)
HILL2 = (30, 110, 40)
SUN = (250, 200, 30)
FRAME = (90, 60, 30)
CHECK = (190, 190, 190)


# ---------------------------------------------------------------- PNG output

def write_png(path, width, height, rows, alpha):
    """rows: list of lists of (r, g, b) or (r, g, b, a) tuples."""
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter type None
        for px in row:
            raw.extend(px[:4] if alpha else px[:3])

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    colour_type = 6 if alpha else 2
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


# ---------------------------------------------------------------- raster

class Canvas:
    def __init__(self, w=SIZE, h=SIZE, bg=WHITE):
        self.w, self.h = w, h
        self.px = [[bg for _ in range(w)] for _ in range(h)]

    def fill(self, inside, colour, bbox=None):
        """Colours each pixel at least half covered by the region inside(x, y)."""
        x0, y0, x1, y1 = bbox if bbox else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(math.floor(x0)) - 1), max(0, int(math.floor(y0)) - 1)
        x1, y1 = min(self.w, int(math.ceil(x1)) + 1), min(self.h, int(math.ceil(y1)) + 1)
        half = SS * SS / 2
        for j in range(y0, y1):
            for i in range(x0, x1):
                n = 0
                for sj in range(SS):
                    y = j + (sj + 0.5) / SS
                    for si in range(SS):
                        if inside(i + (si + 0.5) / SS, y):
                            n += 1
                if n >= half:
                    self.px[j][i] = colour

    def set(self, i, j, colour):
        if 0 <= i < self.w and 0 <= j < self.h:
            self.px[j][i] = colour

    # --- shapes (coordinates in pixel units; pixel (i, j) covers [i, i+1) x [j, j+1))

    def rect(self, x0, y0, x1, y1, colour):
        self.fill(lambda x, y: x0 <= x < x1 and y0 <= y < y1, colour, (x0, y0, x1, y1))

    def rect_outline(self, x0, y0, x1, y1, t, colour):
        def inside(x, y):
            return (x0 <= x < x1 and y0 <= y < y1 and
                    not (x0 + t <= x < x1 - t and y0 + t <= y < y1 - t))
        self.fill(inside, colour, (x0, y0, x1, y1))

    def oval(self, cx, cy, rx, ry, colour):
        self.fill(lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0,
                  colour, (cx - rx, cy - ry, cx + rx, cy + ry))

    def oval_outline(self, cx, cy, rx, ry, t, colour):
        def inside(x, y):
            outer = ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0
            inner = ((x - cx) / (rx - t)) ** 2 + ((y - cy) / (ry - t)) ** 2 <= 1.0
            return outer and not inner
        self.fill(inside, colour, (cx - rx, cy - ry, cx + rx, cy + ry))

    def round_rect(self, x0, y0, x1, y1, r, colour):
        self.fill(lambda x, y: in_round_rect(x, y, x0, y0, x1, y1, r), colour, (x0, y0, x1, y1))

    def round_rect_outline(self, x0, y0, x1, y1, r, t, colour):
        def inside(x, y):
            return (in_round_rect(x, y, x0, y0, x1, y1, r) and
                    not in_round_rect(x, y, x0 + t, y0 + t, x1 - t, y1 - t, max(0.0, r - t)))
        self.fill(inside, colour, (x0, y0, x1, y1))

    def polyline(self, pts, width, colour):
        half = width / 2.0
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]
        bbox = (min(xs) - half, min(ys) - half, max(xs) + half, max(ys) + half)
        segs = list(zip(pts, pts[1:]))

        def inside(x, y):
            return any(seg_dist2(x, y, a, b) <= half * half for a, b in segs)
        self.fill(inside, colour, bbox)

    def polygon(self, pts, colour):
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]
        self.fill(lambda x, y: in_polygon(x, y, pts), colour, (min(xs), min(ys), max(xs), max(ys)))

    def dot(self, cx, cy, r, colour):
        self.oval(cx, cy, r, r, colour)

    def arrow(self, pts, width, colour, head_colour, head_len=6.5, head_half=4.0):
        """A polyline ending in a filled arrowhead whose tip is the last point.
        The head follows the direction of travel right at the tip, so it reads
        correctly on tight curves too."""
        tip = pts[-1]
        back = point_at_distance_from_end(pts, 1.5)
        # Snapped to the nearest multiple of 45 degrees: at this size only those
        # directions give a clean, symmetric head.
        a = math.atan2(tip[1] - back[1], tip[0] - back[0])
        a = round(a / (math.pi / 4)) * (math.pi / 4)
        dx, dy = math.cos(a), math.sin(a)
        bx, by = tip[0] - dx * head_len, tip[1] - dy * head_len
        head = [tip, (bx - dy * head_half, by + dx * head_half), (bx + dy * head_half, by - dx * head_half)]
        body = trim_end(pts, head_len * 0.6)
        if len(body) >= 2:
            self.polyline(body, width, colour)
        self.polygon(head, head_colour)

    def mirrored(self):
        c = Canvas(self.w, self.h)
        c.px = [list(reversed(row)) for row in self.px]
        return c

    def turned_half(self):
        """Rotated by 180 degrees."""
        c = Canvas(self.w, self.h)
        c.px = [list(reversed(row)) for row in reversed(self.px)]
        return c


def in_round_rect(x, y, x0, y0, x1, y1, r):
    if not (x0 <= x < x1 and y0 <= y < y1):
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def seg_dist2(x, y, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    L = dx * dx + dy * dy
    t = 0.0 if L == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / L))
    px, py = ax + t * dx - x, ay + t * dy - y
    return px * px + py * py


def in_polygon(x, y, pts):
    inside = False
    n = len(pts)
    for k in range(n):
        x1, y1 = pts[k]
        x2, y2 = pts[(k + 1) % n]
        if (y1 > y) != (y2 > y):
            xi = x1 + (y - y1) * (x2 - x1) / (y2 - y1)
            if x < xi:
                inside = not inside
    return inside


def point_at_distance_from_end(pts, d):
    """The point on the polyline lying d along it, measured back from its end."""
    rem = d
    for k in range(len(pts) - 1, 0, -1):
        a, b = pts[k - 1], pts[k]
        L = math.hypot(b[0] - a[0], b[1] - a[1])
        if L >= rem:
            t = rem / L if L else 0.0
            return (b[0] + (a[0] - b[0]) * t, b[1] + (a[1] - b[1]) * t)
        rem -= L
    return pts[0]


def trim_end(pts, d):
    """The polyline with its last d units removed."""
    rem = d
    pts = list(pts)
    while len(pts) >= 2:
        a, b = pts[-2], pts[-1]
        L = math.hypot(b[0] - a[0], b[1] - a[1])
        if L > rem:
            t = rem / L
            pts[-1] = (b[0] + (a[0] - b[0]) * t, b[1] + (a[1] - b[1]) * t)
            return pts
        rem -= L
        pts.pop()
    return pts


# ---------------------------------------------------------------- the icons

C = SIZE / 2.0


def filled_oval():
    c = Canvas()
    c.oval(C, C, 11, 7.5, INK)
    return c


def filled_rect():
    c = Canvas()
    c.rect(2, 5, 22, 19, INK)
    return c


def oval_outline():
    c = Canvas()
    c.oval_outline(C, C, 11, 7.5, 2, INK)
    return c


def rect_outline():
    c = Canvas()
    c.rect_outline(2, 5, 22, 19, 2, INK)
    return c


def filled_round_rect():
    c = Canvas()
    c.round_rect(2, 4, 22, 20, 6, INK)
    return c


def round_rect_outline():
    c = Canvas()
    c.round_rect_outline(2, 4, 22, 20, 6, 2, INK)
    return c


def circle_in_square():
    c = Canvas()
    c.rect_outline(2, 2, 22, 22, 2, INK)
    c.oval(C, C, 6.5, 6.5, INK)
    return c


def photo(checkerboard):
    """A framed landscape. With checkerboard, the mat around it is the usual
    transparency pattern; without, it is opaque white paper."""
    c = Canvas()
    x0, y0, x1, y1 = 1, 3, 23, 21
    if checkerboard:
        for j in range(y0, y1):
            for i in range(x0, x1):
                c.set(i, j, CHECK if ((i - x0) // 3 + (j - y0) // 3) % 2 else WHITE)
    else:
        c.rect(x0, y0, x1, y1, PAPER)
    c.rect_outline(x0, y0, x1, y1, 1, FRAME)
    # the photo itself
    px0, py0, px1, py1 = 5, 7, 19, 17
    c.rect(px0, py0, px1, py1, SKY)
    c.dot(15.5, 10, 1.9, SUN)
    c.fill(lambda x, y: px0 <= x < px1 and y < py1 and y >= 15 - 5 * max(0.0, 1 - abs(x - 9) / 5.5),
           HILL2, (px0, py0, px1, py1))
    c.fill(lambda x, y: px0 <= x < px1 and y < py1 and y >= 16.5 - 3 * max(0.0, 1 - abs(x - 15) / 5),
           HILL, (px0, py0, px1, py1))
    c.rect_outline(px0 - 1, py0 - 1, px1 + 1, py1 + 1, 1, BLACK)
    return c


def linear_left_to_right():
    c = Canvas()
    c.rect(1, 1, 3, 3, INK)
    c.rect(4, 4, 6, 6, INK)
    c.arrow([(8, 8), (23, 23)], 2.6, INK, RED, head_len=6.0, head_half=6.0)
    return c


def circle_arrow(clockwise):
    # Screen y grows downward, so increasing angle turns clockwise.
    c = Canvas()
    r = 8.0
    # From the right, down, round to the top; the head points right at the top.
    start, end = math.radians(-20), math.radians(290)
    cy = C + 1
    pts = [(C + r * math.cos(a), cy + r * math.sin(a))
           for a in (start + (end - start) * k / 60 for k in range(61))]
    c.arrow(pts, 2, INK, RED, head_len=6.0, head_half=3.5)
    c.dot(pts[0][0], pts[0][1], 1.6, INK)
    return c if clockwise else c.mirrored()


def spiral(outward, clockwise):
    """Archimedean spiral; the arrowhead sits where the motion ends: the outer
    end for spirals going out, the centre for spirals going in."""
    c = Canvas()
    turns = 1.75
    r_in, r_out = (1.5, 10.5) if outward else (3.0, 10.5)
    n = 160
    pts = []
    for k in range(n + 1):
        t = k / n
        # Going out: angle grows with radius. Going in: the same curve turning the
        # other way, walked from the outside.
        r = r_in + (r_out - r_in) * (t if outward else 1 - t)
        a = 2 * math.pi * turns * t + math.radians(-90 if outward else 180)
        pts.append((C + r * math.cos(a), C + r * math.sin(a)))
    if outward:
        c.arrow(pts, 1.6, INK, RED, head_len=6.0, head_half=3.6)
    else:
        c.dot(pts[0][0], pts[0][1], 1.4, INK)
        c.arrow(pts, 1.6, INK, RED, head_len=5.0, head_half=3.0)
    return c if clockwise else c.mirrored()


def edit_path():
    c = Canvas()
    pts = [(3.5, 19.5), (8.5, 6.5), (14.5, 15.5), (20.5, 4.5)]
    c.polyline(pts, 1.6, INK)
    for (x, y) in pts:
        c.rect(int(x) - 1, int(y) - 1, int(x) + 2, int(y) + 2, RED)
    # a small pencil touching the last handle
    c.polygon([(19.5, 21.5), (15.8, 22.6), (16.9, 18.9)], BLACK)
    c.polygon([(16.9, 18.9), (22.3, 13.5), (23.4, 17.2), (19.5, 21.5)], SUN)
    return c


def random_dice():
    """Two dice, pips as 2 x 2 squares."""
    c = Canvas()
    # back die, showing three
    c.round_rect(0, 0, 14, 14, 2.5, INK)
    for (x, y) in ((10, 2), (6, 6), (2, 10)):
        c.rect(x, y, x + 2, y + 2, PAPER)
    # front die, showing five, with a one-pixel gap around it so the two stay apart
    c.round_rect(8, 8, 24, 24, 3, WHITE)
    c.round_rect(9, 9, 23, 23, 2.5, RED)
    for (x, y) in ((11, 11), (19, 11), (15, 15), (11, 19), (19, 19)):
        c.rect(x, y, x + 2, y + 2, PAPER)
    return c


def cursor():
    """32 x 32 RGBA crosshair: a black cross outlined in white, open in the
    middle so the clicked point stays visible, centred on pixel (15, 15)."""
    w = 32
    clear = (0, 0, 0, 0)
    px = [[clear for _ in range(w)] for _ in range(w)]
    cx = cy = 15
    arm, gap = 10, 3
    black = set()
    for d in range(gap, arm + 1):
        black.update({(cx + d, cy), (cx - d, cy), (cx, cy + d), (cx, cy - d)})
    black.add((cx, cy))
    for (x, y) in black:
        for dy in (-1, 0, 1):
            for dx in (-1, 0, 1):
                if (x + dx, y + dy) not in black:
                    px[y + dy][x + dx] = (255, 255, 255, 255)
    for (x, y) in black:
        px[y][x] = (0, 0, 0, 255)
    return px


ICONS = {
    182: filled_oval,
    184: filled_rect,
    183: oval_outline,
    185: rect_outline,
    169: lambda: photo(checkerboard=False),
    168: lambda: photo(checkerboard=True),
    186: filled_round_rect,
    187: round_rect_outline,
    188: circle_in_square,
    174: linear_left_to_right,
    # Kind 1 walks the same diagonal backwards, from the bottom-right corner
    # up to the top-left one.
    175: lambda: linear_left_to_right().turned_half(),
    176: lambda: circle_arrow(True),
    177: lambda: circle_arrow(False),
    178: lambda: spiral(True, True),
    179: lambda: spiral(True, False),
    180: lambda: spiral(False, True),
    181: lambda: spiral(False, False),
    173: edit_path,
    172: random_dice,
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for number, draw in sorted(ICONS.items()):
        c = draw()
        write_png(os.path.join(here, "pict_%d.png" % number), c.w, c.h, c.px, alpha=False)
    write_png(os.path.join(here, "cursor_168.png"), 32, 32, cursor(), alpha=True)


if __name__ == "__main__":
    main()
