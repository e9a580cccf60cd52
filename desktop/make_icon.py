#!/usr/bin/env python3
"""Draws the program's own icon: a strip of film whose frame shows a filled
oval moving up to the right, with the trail it leaves behind (the object on
its motion, in the colours of the built-in pictures).

Run from anywhere: python3 desktop/make_icon.py
It writes icons/velostrip.svg (the scalable icon) and icons/velostrip_<N>.png
for every size of the hicolor theme that the program installs. The files are
committed, so the build never needs Python; only the standard library is used.

The SVG and the PNGs from 32 px up are drawn from one list of shapes. Below
that the strip's holes and the trail would blur into noise, so 16, 22 and 24
px get shapes of their own, laid on whole pixels: fewer holes, one step of
trail. Edges are anti-aliased: each pixel is sampled 6 x 6 times and covered
in proportion.
"""

import math
import os
import struct
import zlib

INK = (24, 44, 120)       # the built-in pictures' dark blue
LIGHT = (196, 224, 250)   # the frame's light blue, and the strip's holes
SS = 6                    # samples per pixel along each axis
SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def mix(a, b, t):
    return tuple(round(a[k] * (1 - t) + b[k] * t) for k in range(3))


# The trail: the same oval, fainter the further behind.
TRAIL_FAR = mix(LIGHT, INK, 0.3)
TRAIL_NEAR = mix(LIGHT, INK, 0.58)


# ---------------------------------------------------------------- the drawing

def shapes(size):
    """The icon at this size as a list of shapes, in pixels:
    ("rect", x0, y0, x1, y1, corner radius, colour) and
    ("oval", cx, cy, rx, ry, colour), painted in order, and ("note", text),
    which only the SVG shows, as a comment."""
    if size <= 24:
        return small_shapes(size)
    s = size / 256.0
    out = []

    def rect(x0, y0, x1, y1, r, colour):
        out.append(("rect", x0 * s, y0 * s, x1 * s, y1 * s, r * s, colour))

    # The strip, with the frame between its two rows of holes.
    out.append(("note", "A strip of film: the frame between two rows of holes"))
    rect(16, 28, 240, 228, 28, INK)
    rect(30, 70, 226, 186, 8, LIGHT)
    for k in range(5):
        x = 28 + 40 * k + 9
        for y in (40, 198):
            rect(x, y, x + 22, y + 18, 4, LIGHT)
    # The oval, and where it has been.
    out.append(("note", "The oval moving up to the right, and the trail it leaves"))
    for cx, cy, colour in ((74, 150, TRAIL_FAR), (120, 130, TRAIL_NEAR), (172, 108, INK)):
        out.append(("oval", cx * s, cy * s, 40 * s, 29 * s, colour))
    return out


def small_shapes(size):
    """16, 22 and 24 px, on whole pixels."""
    out = []
    # Per size: the strip's first and last row, each band's height, and its
    # holes: their count, width, height and pitch, all in whole pixels.
    top, bottom, band, holes, hole_w, hole_h, pitch = {
        16: (1, 15, 3, 4, 2, 1, 4),
        22: (2, 20, 5, 4, 3, 2, 5),
        24: (2, 22, 5, 4, 4, 2, 6),
    }[size]
    out.append(("rect", 0, top, size, bottom, 2 if size == 16 else 3, INK))
    out.append(("rect", 1, top + band, size - 1, bottom - band, 0, LIGHT))
    first = (size - (pitch * (holes - 1) + hole_w)) // 2
    for k in range(holes):
        x = first + pitch * k
        for y in (top + (band - hole_h) // 2, bottom - band + (band - hole_h + 1) // 2):
            out.append(("rect", x, y, x + hole_w, y + hole_h, 0, LIGHT))
    # The frame's height in pixels; the oval and one step of trail.
    f0, f1 = top + band, bottom - band
    h = f1 - f0
    rx, ry = h * 0.42, h * 0.34
    out.append(("oval", size * 0.34, f0 + h * 0.6, rx, ry, TRAIL_NEAR))
    out.append(("oval", size * 0.64, f0 + h * 0.4, rx, ry, INK))
    return out


# ---------------------------------------------------------------- SVG output

def hexcolour(c):
    return "#%02x%02x%02x" % c


def num(v):
    return ("%.2f" % v).rstrip("0").rstrip(".")


def svg():
    lines = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">',
        "  <title>Velostrip</title>",
    ]
    for shape in shapes(256):
        if shape[0] == "note":
            lines.append("  <!-- %s -->" % shape[1])
        elif shape[0] == "rect":
            _, x0, y0, x1, y1, r, c = shape
            corner = ' rx="%s"' % num(r) if r else ""
            lines.append('  <rect x="%s" y="%s" width="%s" height="%s"%s fill="%s"/>' %
                         (num(x0), num(y0), num(x1 - x0), num(y1 - y0), corner, hexcolour(c)))
        else:
            _, cx, cy, rx, ry, c = shape
            lines.append('  <ellipse cx="%s" cy="%s" rx="%s" ry="%s" fill="%s"/>' %
                         (num(cx), num(cy), num(rx), num(ry), hexcolour(c)))
    lines.append("</svg>")
    return "\n".join(lines) + "\n"


# ---------------------------------------------------------------- PNG output

def in_round_rect(x, y, x0, y0, x1, y1, r):
    if not (x0 <= x < x1 and y0 <= y < y1):
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def raster(size):
    """Premultiplied RGBA floats, painted shape by shape with the coverage
    of each pixel as its opacity."""
    px = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]
    for shape in shapes(size):
        if shape[0] == "note":
            continue
        if shape[0] == "rect":
            _, x0, y0, x1, y1, r, colour = shape
            inside = (lambda x0, y0, x1, y1, r: lambda x, y: in_round_rect(x, y, x0, y0, x1, y1, r))(
                x0, y0, x1, y1, r)
            box = (x0, y0, x1, y1)
        else:
            _, cx, cy, rx, ry, colour = shape
            inside = (lambda cx, cy, rx, ry: lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0)(
                cx, cy, rx, ry)
            box = (cx - rx, cy - ry, cx + rx, cy + ry)
        i0, j0 = max(0, int(math.floor(box[0]))), max(0, int(math.floor(box[1])))
        i1, j1 = min(size, int(math.ceil(box[2]))), min(size, int(math.ceil(box[3])))
        for j in range(j0, j1):
            for i in range(i0, i1):
                n = sum(1 for sj in range(SS) for si in range(SS)
                        if inside(i + (si + 0.5) / SS, j + (sj + 0.5) / SS))
                if n:
                    a = n / (SS * SS)
                    r, g, b, old = px[j][i]
                    px[j][i] = (colour[0] * a + r * (1 - a), colour[1] * a + g * (1 - a),
                                colour[2] * a + b * (1 - a), a + old * (1 - a))
    rows = []
    for row in px:
        out = bytearray()
        for r, g, b, a in row:
            if a <= 0:
                out.extend((0, 0, 0, 0))
            else:
                out.extend((round(r / a), round(g / a), round(b / a), round(a * 255)))
        rows.append(bytes(out))
    return rows


def write_png(path, size, rows):
    raw = b"".join(b"\x00" + row for row in rows)  # filter type None

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "velostrip.svg"), "w") as f:
        f.write(svg())
    for size in SIZES:
        write_png(os.path.join(folder, "velostrip_%d.png" % size), size, raster(size))


if __name__ == "__main__":
    main()
