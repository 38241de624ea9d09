#!/usr/bin/env python3
"""Draws the program's icon, the window's logo (white "ZYM" on orange), for the icon theme:
an SVG and PNGs of the given sizes, from the same shapes.

    python3 tools/draw_icon.py OUT_DIR 16 22 24 32 48 64 128 256
        -> OUT_DIR/scalable/zymradio.svg, OUT_DIR/<n>x<n>/zymradio.png

Standard library only; run by the build for `cmake --install`.
"""
import math
import os
import struct
import sys
import zlib

ORANGE = (0xF0 / 255, 0x8A / 255, 0x24 / 255)
WHITE = (1.0, 1.0, 1.0)
INSET, RADIUS = 0.04, 0.18  # the rounded square, in units of the icon's side
STROKE = 0.085

# The letters as strokes with round ends, in units of the icon's side.
TOP, BOTTOM = 0.35, 0.65
MIDDLE = (TOP + BOTTOM) / 2


def letters():
    width, gap, left = 0.2, 0.06, 0.11
    boxes = [(left + i * (width + gap), left + i * (width + gap) + width) for i in range(3)]
    (z0, z1), (y0, y1), (m0, m1) = boxes
    ym, mm = (y0 + y1) / 2, (m0 + m1) / 2
    return [
        [(z0, TOP), (z1, TOP), (z0, BOTTOM), (z1, BOTTOM)],
        [(y0, TOP), (ym, MIDDLE)],
        [(y1, TOP), (ym, MIDDLE), (ym, BOTTOM)],
        [(m0, BOTTOM), (m0, TOP), (mm, MIDDLE + 0.04), (m1, TOP), (m1, BOTTOM)],
    ]


SEGMENTS = [(a, b) for line in letters() for a, b in zip(line, line[1:])]


def in_square(x, y):
    lo, hi = INSET + RADIUS, 1 - INSET - RADIUS
    cx, cy = min(max(x, lo), hi), min(max(y, lo), hi)
    return (x - cx) ** 2 + (y - cy) ** 2 <= RADIUS ** 2


def on_stroke(x, y):
    half = STROKE / 2
    for (ax, ay), (bx, by) in SEGMENTS:
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        if (x - ax - t * dx) ** 2 + (y - ay - t * dy) ** 2 <= half * half:
            return True
    return False


def png(path, size):
    n = 4 if size <= 64 else 2  # samples per pixel side
    rows = bytearray()
    for py in range(size):
        rows.append(0)
        for px in range(size):
            square = ink = 0
            for sy in range(n):
                for sx in range(n):
                    x, y = (px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size
                    if in_square(x, y):
                        square += 1
                        if on_stroke(x, y):
                            ink += 1
            alpha = square / (n * n)
            t = ink / square if square else 0.0
            rgb = [ORANGE[i] + (WHITE[i] - ORANGE[i]) * t for i in range(3)]
            rows += bytes(int(round(v * 255)) for v in rgb + [alpha])

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(rows), 9)))
        f.write(chunk(b"IEND", b""))


def svg(path):
    side = 256

    def p(v):
        return "%g" % round(v * side, 2)

    paths = " ".join("M" + " L".join("%s %s" % (p(x), p(y)) for x, y in line) for line in letters())
    color = "#%02x%02x%02x" % tuple(int(round(c * 255)) for c in ORANGE)
    with open(path, "w") as f:
        f.write('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">\n'
                % (side, side, side, side))
        f.write('  <rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="%s"/>\n'
                % (p(INSET), p(INSET), p(1 - 2 * INSET), p(1 - 2 * INSET), p(RADIUS), color))
        f.write('  <path d="%s" fill="none" stroke="#ffffff" stroke-width="%s" stroke-linecap="round" '
                'stroke-linejoin="round"/>\n' % (paths, p(STROKE)))
        f.write("</svg>\n")


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: draw_icon.py OUT_DIR SIZE...")
    out = sys.argv[1]
    os.makedirs(os.path.join(out, "scalable"), exist_ok=True)
    svg(os.path.join(out, "scalable", "zymradio.svg"))
    for size in (int(s) for s in sys.argv[2:]):
        folder = os.path.join(out, "%dx%d" % (size, size))
        os.makedirs(folder, exist_ok=True)
        png(os.path.join(folder, "zymradio.png"), size)


if __name__ == "__main__":
    main()
