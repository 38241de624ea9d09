#!/usr/bin/env python3
"""Draws the interface images into resources/images/: the main window's, the preference
panes' toolbar images and the program's icon; and the house banner of the ad panel into
resources/banner.png.

Standard library only; each image is a function of the pixel centre, sampled 4x4 per
pixel for soft edges. Run again after changing a shape: python3 tools/draw_ui_images.py
"""
import math
import os
import struct
import sys
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "images")


def png(path, w, h, shade):
    """shade(x, y) -> (r, g, b, a) floats 0..1 or None (transparent), x/y in pixels."""
    rows = bytearray()
    n = 4
    for y in range(h):
        rows.append(0)
        for x in range(w):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    c = shade(x + (sx + 0.5) / n, y + (sy + 0.5) / n)
                    if c is None:
                        continue
                    r, g, b, a = c
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            a = acc[3] / (n * n)
            if a > 0:
                r, g, b = (acc[i] / acc[3] for i in range(3))
            else:
                r = g = b = 0.0
            rows += bytes(int(round(v * 255)) for v in (r, g, b, a))
    raw = zlib.compress(bytes(rows), 9)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", raw))
        f.write(chunk(b"IEND", b""))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def band(top, bottom, edge, h, cap):
    """A vertical gradient with a rounded end: cap = 'left', 'right' or None."""
    w = 8 if cap else 1
    r = 6.0

    def shade(x, y):
        if cap == "left" and x < r:
            cy = min(max(y, r), h - r)
            if math.hypot(x - r, y - cy) > r:
                return None
            if math.hypot(x - r, y - cy) > r - 1:
                return edge + (1.0,)
        if cap == "right" and x > w - r:
            cy = min(max(y, r), h - r)
            if math.hypot(x - (w - r), y - cy) > r:
                return None
            if math.hypot(x - (w - r), y - cy) > r - 1:
                return edge + (1.0,)
        if y < 1 or y > h - 1:
            return edge + (1.0,)
        return mix(top, bottom, y / h) + (1.0,)

    return w, h, shade


def gloss(h, cap):
    """The display's gloss: white fading out over the upper half, see-through below."""
    w = 8 if cap else 1

    def shade(x, y):
        t = y / h
        if t >= 0.5:
            return None
        return (1.0, 1.0, 1.0, 0.28 * (1 - 2 * t))

    return w, h, shade


def rounded_square(x, y, size, radius):
    """Inside a square of `size` with corners of `radius`."""
    cx = min(max(x, radius), size - radius)
    cy = min(max(y, radius), size - radius)
    return math.hypot(x - cx, y - cy) <= radius


def broadcast(x, y, cx, cy, unit):
    """A mast's dot with three waves on each side; True where it is inked."""
    d = math.hypot(x - cx, y - cy)
    if d < 1.2 * unit:
        return True
    # the waves keep to the left and right, 45 degrees above and below the horizontal
    if abs(y - cy) > abs(x - cx):
        return False
    for r in (2.4, 3.8, 5.2):
        if abs(d - r * unit) < 0.42 * unit:
            return True
    return False


def program_icon(size):
    """The program's icon, the same shapes as the icon theme's (draw_icon.py)."""
    import draw_icon

    def shade(x, y):
        u, v = x / size, y / size
        if not draw_icon.in_square(u, v):
            return None
        return (draw_icon.WHITE if draw_icon.on_stroke(u, v) else draw_icon.ORANGE) + (1.0,)

    return shade


def banner(x, y):
    """The house banner: a mast's waves over a dusk gradient, a row of level bars below."""
    w, h = 300.0, 250.0
    if broadcast(x, y, w / 2, h * 0.42, 13):
        return (1, 1, 1, 1.0)
    bars = 15
    bar_w = 12.0
    left = (w - bars * bar_w) / 2
    if left <= x < w - left and y > h * 0.78 and y < h * 0.92:
        i = int((x - left) // bar_w)
        level = 0.35 + 0.65 * abs(math.sin(i * 1.7 + 0.4))
        inside = (x - left) % bar_w
        if 2 <= inside <= bar_w - 2 and y > h * 0.92 - level * h * 0.14:
            return (1, 0.82, 0.35, 1.0)
    return mix((0.10, 0.25, 0.62), (0.42, 0.16, 0.50), (x / w + y / h) / 2) + (1.0,)


def pane_images():
    """One 32 x 32 picture per preference pane, and the overview's."""
    size = 32
    ink = (0.25, 0.25, 0.28)

    def general(x, y):
        # a loudspeaker: its box and cone, and a wave
        if 5 <= x <= 10 and 12 <= y <= 20:
            return ink + (1.0,)
        if 10 <= x <= 17 and abs(y - 16) <= (x - 10) * 0.9 + 4:
            return ink + (1.0,)
        d = math.hypot(x - 17, y - 16)
        if x > 19 and abs(d - 8) < 1.2 and abs(y - 16) < 7:
            return (0.16, 0.38, 0.80, 1.0)
        if x > 19 and abs(d - 12.5) < 1.2 and abs(y - 16) < 10:
            return (0.16, 0.38, 0.80, 1.0)
        return None

    def account(x, y):
        # a person: head and shoulders
        if math.hypot(x - 16, y - 10) < 6:
            return (0.85, 0.60, 0.40, 1.0)
        if y > 18 and math.hypot((x - 16) / 1.25, y - 29) < 11 and y < 30:
            return (0.16, 0.38, 0.80, 1.0)
        return None

    def presets(x, y):
        # a row of three preset buttons, the middle one selected
        for i, cx in enumerate((6, 16, 26)):
            if abs(x - cx) <= 4.5 and 10 <= y <= 22:
                edge = abs(x - cx) > 3.5 or y < 11 or y > 21
                if i == 1:
                    return (0.08, 0.2, 0.5, 1.0) if edge else (0.25, 0.5, 0.9, 1.0)
                return (0.45, 0.45, 0.45, 1.0) if edge else (0.92, 0.92, 0.92, 1.0)
        return None

    def colors(x, y):
        # a colour wheel in six parts
        d = math.hypot(x - 16, y - 16)
        if d > 13:
            return None
        if d > 12:
            return (0.3, 0.3, 0.3, 1.0)
        hue = (math.atan2(y - 16, x - 16) / (2 * math.pi)) % 1.0
        r, g, b = colorsys_hsv(int(hue * 6) / 6.0)
        return (r, g, b, 1.0)

    def update(x, y):
        # a circular arrow
        d = math.hypot(x - 16, y - 16)
        a = math.atan2(y - 16, x - 16)
        if 8 < d < 12 and not (-1.9 < a < -1.1):
            return (0.15, 0.55, 0.25, 1.0)
        # the arrow's head at the gap, pointing along the ring
        hx, hy = 16 + 10 * math.cos(-1.9), 16 + 10 * math.sin(-1.9)
        u, v = x - hx, y - hy
        if 0 <= u <= 6 and abs(v) <= (6 - u) * 0.9:
            return (0.15, 0.55, 0.25, 1.0)
        return None

    def show_all(x, y):
        # four small panes
        for cx in (10, 22):
            for cy in (10, 22):
                if abs(x - cx) <= 5 and abs(y - cy) <= 5:
                    return (0.45, 0.45, 0.45, 1.0) if abs(x - cx) > 4 or abs(y - cy) > 4 else (0.9, 0.9, 0.9, 1.0)
        return None

    return {
        "GeneralPrefs": (size, size, general),
        "AccountPrefs": (size, size, account),
        "PresetsPrefs": (size, size, presets),
        "ColorsPrefs": (size, size, colors),
        "UpdatePrefs": (size, size, update),
        "newmsg-normal": (size, size, show_all),
    }


def colorsys_hsv(hue):
    """Full saturation and value at the hue (0..1)."""
    i = int(hue * 6) % 6
    f = hue * 6 - int(hue * 6)
    q, t = 1 - f, f
    return [(1, t, 0), (q, 1, 0), (0, 1, t), (0, q, 1), (t, 0, 1), (1, 0, q)][i]


def main():
    os.makedirs(OUT, exist_ok=True)
    images = {}
    for cap, suffix in (("left", "left"), (None, "center"), ("right", "right")):
        images["preset_%s_normal" % suffix] = band((0.96, 0.96, 0.96), (0.80, 0.80, 0.80), (0.45, 0.45, 0.45), 22, cap)
        images["preset_%s_selected" % suffix] = band((0.45, 0.62, 0.93), (0.12, 0.33, 0.78), (0.08, 0.2, 0.5), 22, cap)
        images["category_back_%s" % suffix] = band((0.88, 0.90, 0.95), (0.70, 0.74, 0.84), (0.55, 0.58, 0.68), 18, cap)
        images["display_overlay_%s" % suffix] = gloss(40, cap)

    def magnifier(x, y):
        d = math.hypot(x - 6.5, y - 6.5)
        if 3.2 < d < 5.0:
            return (0.35, 0.35, 0.35, 1.0)
        # the handle, from the ring towards the bottom right
        t = ((x - 9.5) + (y - 9.5)) / 2
        off = abs((x - 9.5) - (y - 9.5)) / math.sqrt(2)
        if 0 <= t <= 4.5 and off < 1.2:
            return (0.35, 0.35, 0.35, 1.0)
        return None

    images["SearchPopUpNoArrow"] = (16, 16, magnifier)

    def cancel(x, y):
        d = math.hypot(x - 7, y - 7)
        if d > 6.5:
            return None
        u, v = x - 7, y - 7
        if abs(abs(u) - abs(v)) < 1.1 and abs(u) < 3.2:
            return (1, 1, 1, 1.0)
        return (0.55, 0.55, 0.55, 1.0)

    images["SearchCancel"] = (14, 14, cancel)

    def warning(x, y):
        # a triangle with its point up, and an exclamation mark
        if y < 1 or y > 11:
            return None
        half = (y - 1) / 10 * 5.5
        if abs(x - 6) > half:
            return None
        if abs(x - 6) < 0.8 and (3.5 < y < 8 or 9 < y < 10.2):
            return (1, 1, 1, 1.0)
        return (0.5, 0.5, 0.5, 1.0)

    images["SmallGrayWarning"] = (12, 12, warning)

    # The source-list rows: a blue disc (all stations), the magnifier on white (search
    # results), a clock (recently played) and a note (a genre).
    def disc(x, y):
        d = math.hypot(x - 8, y - 8)
        if d > 7:
            return None
        if d < 2.2:
            return (1, 1, 1, 1.0)
        return (0.16, 0.38, 0.80, 1.0)

    images["all_stations"] = (16, 16, disc)

    def search_icon(x, y):
        c = magnifier(x, y)
        if c is not None:
            return (0.15, 0.45, 0.2, 1.0)
        return None

    images["search_results"] = (16, 16, search_icon)

    def clock(x, y):
        d = math.hypot(x - 8, y - 8)
        if d > 7:
            return None
        if d > 5.8:
            return (0.55, 0.30, 0.10, 1.0)
        if (abs(x - 8) < 0.8 and 3.5 < y < 8.5) or (abs(y - 8) < 0.8 and 7.5 < x < 11.5):
            return (0.2, 0.2, 0.2, 1.0)
        return (1, 0.95, 0.85, 1.0)

    images["recently_played"] = (16, 16, clock)

    def note(x, y):
        if math.hypot((x - 6) / 1.3, y - 12) < 2.3:
            return (0.45, 0.2, 0.6, 1.0)
        if 7.2 < x < 8.6 and 2.5 < y < 12:
            return (0.45, 0.2, 0.6, 1.0)
        if 8.6 <= x < 12 and 2.5 < y < 5 - (x - 8.6) * 0.3:
            return (0.45, 0.2, 0.6, 1.0)
        return None

    images["radio_genre"] = (16, 16, note)

    images.update(pane_images())
    images["zymradio"] = (64, 64, program_icon(64))

    for name, (w, h, shade) in sorted(images.items()):
        png(os.path.join(OUT, name + ".png"), w, h, shade)
    png(os.path.join(OUT, "..", "banner.png"), 300, 250, banner)
    return 0


if __name__ == "__main__":
    sys.exit(main())
