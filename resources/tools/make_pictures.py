#!/usr/bin/env python3
"""Draws Tavix's icons and pictures and writes them as PNG files.

Plain Python 3, no extra packages: shapes are signed-distance functions
sampled once per pixel, with one pixel of edge softening for anti-aliasing.
The output is deterministic, so re-running it on an unchanged script leaves
the committed files byte-for-byte identical.

    python3 resources/tools/make_pictures.py [output-root]

output-root defaults to the resources folder; files go to icons/ and
pictures/ below it.
"""

import math
import os
import struct
import sys
import zlib

# Palette: navy and sky blue as in the activity buttons' default colours.
NAVY = (0x1A, 0x2B, 0x6D)
DEEP_NAVY = (0x0E, 0x18, 0x42)
SKY = (0xA6, 0xCA, 0xF0)
PALE_SKY = (0xDD, 0xEB, 0xFA)
WHITE = (0xFF, 0xFF, 0xFF)
RED = (0xC6, 0x28, 0x28)
BAND = (0x12, 0x14, 0x1A)


# --- PNG output -------------------------------------------------------------


def write_png(path, width, height, pixels):
    """pixels: list of rows, each a list of (r, g, b, a) floats in 0..1."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter: none
        for r, g, b, a in row:
            raw += bytes((to_byte(r), to_byte(g), to_byte(b), to_byte(a)))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(png)


def to_byte(v):
    return max(0, min(255, int(round(v * 255))))


# --- Canvas -----------------------------------------------------------------


class Canvas:
    """Premultiplication-free RGBA canvas with source-over compositing."""

    def __init__(self, width, height, fill=(0, 0, 0, 0)):
        self.width = width
        self.height = height
        self.px = [[tuple(fill) for _ in range(width)] for _ in range(height)]

    def blend(self, x, y, rgb, alpha):
        if alpha <= 0:
            return
        r, g, b, a = self.px[y][x]
        sr, sg, sb = (c / 255.0 for c in rgb)
        out_a = alpha + a * (1 - alpha)
        if out_a <= 0:
            return
        k = a * (1 - alpha)
        self.px[y][x] = (
            (sr * alpha + r * k) / out_a,
            (sg * alpha + g * k) / out_a,
            (sb * alpha + b * k) / out_a,
            out_a,
        )

    def shape(self, sdf, rgb, opacity=1.0, box=None):
        """Fills where sdf(x, y) < 0; sdf is in pixels, sampled at pixel centres."""
        x0, y0, x1, y1 = box or (0, 0, self.width, self.height)
        x0, y0 = max(0, int(x0) - 1), max(0, int(y0) - 1)
        x1, y1 = min(self.width, int(x1) + 2), min(self.height, int(y1) + 2)
        for y in range(y0, y1):
            for x in range(x0, x1):
                d = sdf(x + 0.5, y + 0.5)
                cover = min(1.0, max(0.0, 0.5 - d))
                if cover > 0:
                    self.blend(x, y, rgb, cover * opacity)

    def save(self, path):
        write_png(path, self.width, self.height, self.px)


# --- Signed-distance shapes (pixel units) -----------------------------------


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r, w):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - w / 2


def capsule(ax, ay, bx, by, r):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy or 1e-9

    def sdf(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - r

    return sdf


def rounded_box(x0, y0, x1, y1, radius):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius

    def sdf(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0), max(qy, 0))
        return outside + min(max(qx, qy), 0) - radius

    return sdf


def pie(cx, cy, r, start_deg, end_deg):
    """Sector of a disc, angles clockwise from 12 o'clock."""
    disc = circle(cx, cy, r)

    def sdf(x, y):
        d = disc(x, y)
        angle = math.degrees(math.atan2(x - cx, cy - y)) % 360
        if start_deg <= angle <= end_deg:
            return d
        # Outside the angular range: distance to the nearer edge ray.
        best = 1e9
        for deg in (start_deg, end_deg):
            a = math.radians(deg)
            ex, ey = cx + r * math.sin(a), cy - r * math.cos(a)
            best = min(best, capsule(cx, cy, ex, ey, 0)(x, y))
        return max(d, best)

    return sdf


def polar(cx, cy, radius, deg):
    a = math.radians(deg)
    return cx + radius * math.sin(a), cy - radius * math.cos(a)


# --- The stopwatch glyph -----------------------------------------------------


def stopwatch(canvas, ox, oy, size, rim=NAVY, face=SKY, ink=NAVY, detail=True):
    """Draws the stopwatch in the square (ox, oy, size)."""
    s = size
    cx, cy = ox + 0.5 * s, oy + 0.57 * s
    body_r = 0.39 * s
    box = (ox, oy, ox + s, oy + s)

    # Crown: stem and knob above the case, and a side button at 45 degrees.
    canvas.shape(rounded_box(cx - 0.055 * s, oy + 0.08 * s, cx + 0.055 * s, cy - body_r + 0.02 * s,
                             0.01 * s), rim, box=box)
    canvas.shape(rounded_box(cx - 0.13 * s, oy + 0.03 * s, cx + 0.13 * s, oy + 0.11 * s, 0.035 * s),
                 rim, box=box)
    bx0, by0 = polar(cx, cy, body_r - 0.02 * s, 45)
    bx1, by1 = polar(cx, cy, body_r + 0.075 * s, 45)
    canvas.shape(capsule(bx0, by0, bx1, by1, 0.045 * s), rim, box=box)

    # Case and face.
    canvas.shape(circle(cx, cy, body_r), rim, box=box)
    face_r = body_r - max(1.6, 0.075 * s)
    canvas.shape(circle(cx, cy, face_r), face, box=box)
    if detail:
        # Soft light on the upper left of the face.
        canvas.shape(circle(cx - 0.09 * s, cy - 0.1 * s, face_r * 0.55), WHITE, opacity=0.18, box=box)

    # Elapsed time: a translucent sector from 12 to the hand.
    hand_deg = 130
    canvas.shape(pie(cx, cy, face_r * 0.86, 0, hand_deg), ink, opacity=0.22, box=box)

    # Ticks: four at small sizes, twelve (and minutes) when there is room.
    ticks = range(0, 360, 30) if detail else range(0, 360, 90)
    for deg in ticks:
        major = deg % 90 == 0
        inner = face_r * (0.74 if major else 0.82)
        x0, y0 = polar(cx, cy, inner, deg)
        x1, y1 = polar(cx, cy, face_r * 0.93, deg)
        width = (0.028 if major else 0.016) * s
        canvas.shape(capsule(x0, y0, x1, y1, max(0.55, width)), ink, box=box)

    # Hand and hub.
    hx, hy = polar(cx, cy, face_r * 0.8, hand_deg)
    canvas.shape(capsule(cx, cy, hx, hy, max(0.75, 0.028 * s)), ink, box=box)
    canvas.shape(circle(cx, cy, max(1.3, 0.06 * s)), ink, box=box)
    if detail:
        canvas.shape(circle(cx, cy, 0.025 * s), face, box=box)


# --- Lettering for the logo --------------------------------------------------

# Stroke letters on a 4 x 6 grid.
LETTERS = {
    "T": [((0, 0), (4, 0)), ((2, 0), (2, 6))],
    "A": [((0, 6), (2, 0)), ((2, 0), (4, 6)), ((0.8, 3.8), (3.2, 3.8))],
    "V": [((0, 0), (2, 6)), ((2, 6), (4, 0))],
    "I": [((2, 0), (2, 6))],
    "X": [((0, 0), (4, 6)), ((4, 0), (0, 6))],
}


def lettering(canvas, text, cx, top, height, rgb):
    unit = height / 6.0
    advance = {ch: (2.4 if ch == "I" else 5.2) * unit for ch in text}
    total = sum(advance.values()) - 1.2 * unit
    x = cx - total / 2
    pen = max(0.8, 0.45 * unit)
    for ch in text:
        shift = -1.0 * unit if ch == "I" else 0.0
        for (ax, ay), (bx, by) in LETTERS[ch]:
            canvas.shape(capsule(x + shift + ax * unit, top + ay * unit, x + shift + bx * unit,
                                 top + by * unit, pen), rgb,
                         box=(x - unit, top - unit, x + 6 * unit, top + 7 * unit))
        x += advance[ch]


# --- The pictures --------------------------------------------------------------


def main_icon(size):
    c = Canvas(size, size)
    stopwatch(c, 0, 0, size, detail=size >= 64)
    return c


def zorva_on():
    c = Canvas(32, 32)
    c.shape(rounded_box(0, 0, 32, 32, 3), RED)
    stopwatch(c, 0, 0, 32, detail=False)
    return c


def background():
    # 757 x 603 with the dark strip on rows 0..64: the tracking window
    # stretches this picture and sizes its black band to 65/603 of it.
    width, height, strip = 757, 603, 65
    c = Canvas(width, height)
    top, bottom = (0xF6, 0xF9, 0xFD), (0xD9, 0xE6, 0xF4)
    for y in range(height):
        if y < strip:
            rgb = BAND
        else:
            t = (y - strip) / (height - strip - 1)
            rgb = tuple(a + (b - a) * t for a, b in zip(top, bottom))
        row_value = tuple(v / 255.0 for v in rgb) + (1.0,)
        c.px[y] = [row_value] * width
    # A thin sky-blue rule under the strip, then a faint watermark dial.
    for y in (strip, strip + 1):
        c.px[y] = [tuple(v / 255.0 for v in SKY) + (1.0,)] * width
    dial_cx, dial_cy, dial_r = 640, 470, 170
    dial_box = (dial_cx - dial_r - 20, dial_cy - dial_r - 20, width, height)
    c.shape(ring(dial_cx, dial_cy, dial_r, 10), NAVY, opacity=0.06, box=dial_box)
    for deg in range(0, 360, 30):
        x0, y0 = polar(dial_cx, dial_cy, dial_r - 34, deg)
        x1, y1 = polar(dial_cx, dial_cy, dial_r - 14, deg)
        c.shape(capsule(x0, y0, x1, y1, 3), NAVY, opacity=0.06, box=dial_box)
    hx, hy = polar(dial_cx, dial_cy, dial_r - 50, 130)
    c.shape(capsule(dial_cx, dial_cy, hx, hy, 5), NAVY, opacity=0.06, box=dial_box)
    return c


def logo():
    # 81 x 113: a navy card with the stopwatch and the name below it.
    c = Canvas(81, 113)
    c.shape(rounded_box(0, 0, 81, 113, 9), DEEP_NAVY)
    c.shape(rounded_box(2, 2, 79, 111, 7.5), NAVY)
    stopwatch(c, 6, 5, 69, rim=SKY, face=PALE_SKY, ink=NAVY)
    lettering(c, "TAVIX", 40.5, 86, 15, WHITE)
    return c


def header():
    # 81 x 81 for the black title bands: light rim so it reads on black.
    c = Canvas(81, 81)
    stopwatch(c, 2, 2, 77, rim=SKY, face=WHITE, ink=NAVY)
    return c


HICOLOR_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), os.pardir)
    root = os.path.abspath(root)
    outputs = {
        "icons/MAINICON.png": lambda: main_icon(32),
        "icons/MAINICON-256.png": lambda: main_icon(256),
        "icons/ZORVA_ON.png": zorva_on,
        "pictures/background.png": background,
        "pictures/logo.png": logo,
        "pictures/header.png": header,
    }
    # The desktop's icon theme sizes, installed as hicolor/<size>/apps/tavix.png.
    for size in HICOLOR_SIZES:
        outputs["icons/hicolor/%d.png" % size] = lambda size=size: main_icon(size)
    for name, make in outputs.items():
        path = os.path.join(root, name)
        make().save(path)
        print(path)


if __name__ == "__main__":
    main(sys.argv)
