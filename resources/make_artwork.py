#!/usr/bin/env python3
"""Draws the configuration tool's images: the six faces of the tracker's
housing for the 3D view, the logos, the About banner, the device tree's
branch icons and the desktop entries' icons. Standard library only; the PNGs
it writes are committed, so a build needs no Python. Run it from anywhere: ./resources/make_artwork.py

Shapes are signed distance functions (negative inside); a pixel takes a
shape's colour with the coverage clamp(0.5 - d), which smooths the edges.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


class Canvas:
    def __init__(self, w, h, colour=(0, 0, 0, 0)):
        self.w, self.h = w, h
        self.px = [list(colour) for _ in range(w * h)]

    def fill(self, sdf, colour, box=None):
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(x0) - 1), max(0, int(y0) - 1)
        x1, y1 = min(self.w, int(x1) + 2), min(self.h, int(y1) + 2)
        r, g, b = colour[:3]
        a = colour[3] / 255 if len(colour) > 3 else 1.0
        for y in range(y0, y1):
            row = y * self.w
            for x in range(x0, x1):
                cover = 0.5 - sdf(x + 0.5, y + 0.5)
                if cover <= 0:
                    continue
                k = min(cover, 1.0) * a
                p = self.px[row + x]
                # "over" compositing onto a possibly transparent pixel
                out_a = k + p[3] / 255 * (1 - k)
                if out_a <= 0:
                    continue
                for i, c in enumerate((r, g, b)):
                    p[i] = round((c * k + p[i] * p[3] / 255 * (1 - k)) / out_a)
                p[3] = round(out_a * 255)

    def save(self, relpath):
        raw = bytearray()
        for y in range(self.h):
            raw.append(0)
            for p in self.px[y * self.w:(y + 1) * self.w]:
                raw.extend(bytes(p))

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        png = b"\x89PNG\r\n\x1a\n"
        png += chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        png += chunk(b"IEND", b"")
        path = os.path.join(HERE, relpath)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(png)


# Signed distance functions with the bounding box that holds their inside.
def rounded_rect(x0, y0, x1, y1, r=0):
    cx, cy, hx, hy = (x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def d(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0), max(qy, 0))
        return outside + min(max(qx, qy), 0) - r

    return d, (x0, y0, x1, y1)


def circle(cx, cy, r):
    return (lambda x, y: math.hypot(x - cx, y - cy) - r), (cx - r, cy - r, cx + r, cy + r)


def ring(cx, cy, r, width):
    return (lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - width / 2), (
        cx - r - width, cy - r - width, cx + r + width, cy + r + width)


def segment(ax, ay, bx, by, width):
    def d(x, y):
        px, py, dx, dy = x - ax, y - ay, bx - ax, by - ay
        t = max(0.0, min(1.0, (px * dx + py * dy) / max(dx * dx + dy * dy, 1e-12)))
        return math.hypot(px - t * dx, py - t * dy) - width / 2

    pad = width
    return d, (min(ax, bx) - pad, min(ay, by) - pad, max(ax, bx) + pad, max(ay, by) + pad)


def polygon(points):
    """Convex polygon, points in either winding order."""
    n = len(points)
    area = sum(points[i][0] * points[(i + 1) % n][1] - points[(i + 1) % n][0] * points[i][1]
               for i in range(n))
    sign = 1 if area > 0 else -1

    def d(x, y):
        worst = -1e9
        for i in range(n):
            (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
            ex, ey = bx - ax, by - ay
            length = math.hypot(ex, ey)
            # distance to the edge's line, positive outside
            worst = max(worst, sign * ((x - ax) * ey - (y - ay) * ex) / length)
        return worst

    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return d, (min(xs), min(ys), max(xs), max(ys))


def draw(canvas, shape, colour):
    sdf, box = shape
    canvas.fill(sdf, colour, box)


# A stroke font for the few letters the artwork needs, on a 4 x 6 grid
# (y down); arcs are polylines.
def _arc(cx, cy, rx, ry, a0, a1, steps=10):
    return [(cx + rx * math.cos(math.radians(a0 + (a1 - a0) * i / steps)),
             cy + ry * math.sin(math.radians(a0 + (a1 - a0) * i / steps))) for i in range(steps + 1)]


LETTERS = {
    "X": [[(0, 0), (4, 6)], [(4, 0), (0, 6)]],
    "Y": [[(0, 0), (2, 3), (4, 0)], [(2, 3), (2, 6)]],
    "Z": [[(0, 0), (4, 0), (0, 6), (4, 6)]],
    "O": [_arc(2, 3, 2, 3, 0, 360, 24)],
    "Q": [_arc(2, 3, 2, 3, 0, 360, 24), [(2.6, 4.2), (4.2, 6.3)]],
    "R": [[(0, 6), (0, 0), (2.8, 0)] + _arc(2.8, 1.5, 1.2, 1.5, -90, 90) + [(0, 3)],
          [(2, 3), (4, 6)]],
    "V": [[(0, 0), (2, 6), (4, 0)]],
    "A": [[(0, 6), (2, 0), (4, 6)], [(0.7, 4), (3.3, 4)]],
    "N": [[(0, 6), (0, 0), (4, 6), (4, 0)]],
    "E": [[(4, 0), (0, 0), (0, 6), (4, 6)], [(0, 3), (3, 3)]],
    "T": [[(0, 0), (4, 0)], [(2, 0), (2, 6)]],
    "C": [_arc(2.2, 3, 2.2, 3, 45, 315, 20)],
    "K": [[(0, 0), (0, 6)], [(4, 0), (0, 3.6)], [(1.3, 2.6), (4, 6)]],
    "I": [[(2, 0), (2, 6)], [(1, 0), (3, 0)], [(1, 6), (3, 6)]],
    "-": [[(0.5, 3), (3.5, 3)]],
    " ": [],
}
# U's arc runs along the bottom, from the left side to the right.
LETTERS["U"] = [[(0, 0)] + _arc(2, 4, 2, 2, 180, 0, 12) + [(4, 0)]]


def text(canvas, s, x, y, size, colour, width=None, advance=1.5):
    """Draws s with its top left at (x, y); size is the letter height."""
    unit = size / 6
    width = width or max(1.5, size / 8)
    for ch in s:
        for stroke in LETTERS[ch]:
            for (ax, ay), (bx, by) in zip(stroke, stroke[1:]):
                draw(canvas, segment(x + ax * unit, y + ay * unit, x + bx * unit, y + by * unit,
                                     width), colour)
        x += (4 + advance) * unit


def text_width(s, size, advance=1.5):
    return len(s) * (4 + advance) * size / 6 - advance * size / 6


def arrow(canvas, ax, ay, bx, by, width, head, colour):
    length = math.hypot(bx - ax, by - ay)
    ux, uy = (bx - ax) / length, (by - ay) / length
    nx, ny = -uy, ux
    base_x, base_y = bx - ux * head, by - uy * head
    draw(canvas, segment(ax, ay, base_x, base_y, width), colour)
    draw(canvas, polygon([(bx, by), (base_x + nx * head * 0.55, base_y + ny * head * 0.55),
                          (base_x - nx * head * 0.55, base_y - ny * head * 0.55)]), colour)


HOUSING = (52, 58, 66)
HOUSING_EDGE = (30, 33, 38)
PANEL = (78, 86, 98)
SEAM = (40, 44, 50)
RED, GREEN, BLUE = (230, 50, 40), (40, 190, 70), (50, 110, 235)
WHITE = (245, 245, 245)


def housing(w, h, inset):
    c = Canvas(w, h, HOUSING_EDGE + (255,))
    draw(c, rounded_rect(3, 3, w - 3, h - 3, 10), HOUSING + (255,))
    draw(c, rounded_rect(inset, inset, w - inset, h - inset, 8), PANEL + (255,))
    return c


def screws(c, points, r=9):
    for x, y in points:
        draw(c, circle(x, y, r), (120, 126, 134))
        draw(c, segment(x - r * 0.6, y, x + r * 0.6, y, 2.5), (60, 64, 70))


def front():
    """The top of the housing (z = Z): X to the right, Y up, Z out of it."""
    c = housing(512, 512, 28)
    screws(c, [(52, 52), (460, 52), (52, 460), (460, 460)])
    ox, oy = 150, 362
    arrow(c, ox, oy, 420, oy, 16, 46, RED + (255,))
    arrow(c, ox, oy, ox, 92, 16, 46, GREEN + (255,))
    draw(c, ring(ox, oy, 26, 8), BLUE + (255,))
    draw(c, circle(ox, oy, 9), BLUE + (255,))
    text(c, "X", 392, 392, 54, RED + (255,), 9)
    text(c, "Y", 186, 86, 54, GREEN + (255,), 9)
    text(c, "Z", 96, 400, 40, BLUE + (255,), 7)
    s = "QUORVANE"
    text(c, s, 256 - text_width(s, 30) / 2 + 60, 196, 30, WHITE + (255,), 4)
    return c


def back():
    """The underside: screws and a label plate."""
    c = housing(512, 512, 28)
    screws(c, [(52, 52), (460, 52), (52, 460), (460, 460)])
    draw(c, rounded_rect(106, 176, 406, 336, 12), (214, 216, 220, 255))
    for i, line in enumerate(["QUORVANE", "TRACKER"]):
        text(c, line, 256 - text_width(line, 34) / 2, 200 + i * 62, 34, (40, 44, 50, 255), 4)
    return c


def side(w, h, seam_vertical):
    """A side wall: housing colour, the seam between lid and base."""
    c = housing(w, h, 14)
    if seam_vertical:
        draw(c, segment(w * 0.62, 10, w * 0.62, h - 10, 4), SEAM + (255,))
    else:
        draw(c, segment(10, h * 0.38, w - 10, h * 0.38, 4), SEAM + (255,))
    return c


def connector_side():
    """The x = 0 wall (s along z, t along y) with the round connector at
    z = 2.88 of 4.2 and y = 4.5 of 9."""
    c = side(256, 512, True)
    cx, cy = 256 * 2.88 / 4.2, 256
    draw(c, circle(cx, cy, 70), (20, 20, 22, 255))
    draw(c, ring(cx, cy, 60, 8), (150, 154, 160, 255))
    draw(c, circle(cx, cy, 34), (40, 42, 46, 255))
    for a in range(0, 360, 72):
        draw(c, circle(cx + 20 * math.cos(math.radians(a)), cy + 20 * math.sin(math.radians(a)),
                       5), (200, 170, 60, 255))
    return c


def logo(size):
    """A ring with an arrow turning around it, on transparent ground."""
    c = Canvas(size, size)
    m = size / 32
    draw(c, circle(16 * m, 16 * m, 15 * m), (36, 78, 150, 255))
    draw(c, ring(16 * m, 16 * m, 9 * m, 3.2 * m), WHITE + (255,))
    draw(c, polygon([(22 * m, 4 * m), (30 * m, 10 * m), (21 * m, 13 * m)]), (36, 78, 150, 255))
    draw(c, polygon([(21 * m, 5 * m), (28.5 * m, 10.5 * m), (20 * m, 12 * m)]), WHITE + (255,))
    draw(c, circle(16 * m, 16 * m, 3 * m), (235, 120, 40, 255))
    return c


def pointer_icon(size):
    """The mouse emulator's icon: a pointer arrow on the logo's disc."""
    c = Canvas(size, size)
    m = size / 32
    draw(c, circle(16 * m, 16 * m, 15 * m), (36, 78, 150, 255))
    draw(c, polygon([(10 * m, 6 * m), (10 * m, 23 * m), (22 * m, 18 * m)]), WHITE + (255,))
    draw(c, segment(15 * m, 18 * m, 19 * m, 26 * m, 3.4 * m), WHITE + (255,))
    draw(c, circle(24 * m, 24 * m, 3 * m), (235, 120, 40, 255))
    return c


def banner():
    """The About dialog's banner, 800 x 281, transparent around the artwork."""
    c = Canvas(800, 281)
    draw(c, rounded_rect(10, 20, 790, 261, 30), (36, 78, 150, 235))
    m = 6.0
    draw(c, ring(130, 140, 9 * m, 3.2 * m), WHITE + (255,))
    draw(c, polygon([(130 + 5 * m, 140 - 11 * m), (130 + 14 * m, 140 - 6 * m),
                     (130 + 4 * m, 140 - 3 * m)]), WHITE + (255,))
    draw(c, circle(130, 140, 3 * m), (235, 120, 40, 255))
    text(c, "QUORVANE", 232, 92, 64, WHITE + (255,), 10)
    text(c, "TRACKER", 240, 198, 30, (200, 215, 240, 255), 4)
    return c


def tree_icon(kind):
    c = Canvas(16, 16)
    grey = (128, 128, 128, 255)
    if kind in ("vline", "branch-more"):
        draw(c, segment(7.5, 0, 7.5, 16, 1), grey)
    if kind == "branch-end":
        draw(c, segment(7.5, 0, 7.5, 8, 1), grey)
    if kind in ("branch-more", "branch-end"):
        draw(c, segment(7.5, 7.5, 16, 7.5, 1), grey)
    if kind in ("plus", "minus"):
        draw(c, rounded_rect(2, 2, 14, 14, 1), grey)
        draw(c, rounded_rect(3, 3, 13, 13, 0), (255, 255, 255, 255))
        draw(c, segment(5, 8, 11, 8, 1.4), (40, 40, 40, 255))
        if kind == "plus":
            draw(c, segment(8, 5, 8, 11, 1.4), (40, 40, 40, 255))
    return c


def main():
    faces = "images/IMUTextures/"
    front().save(faces + "front.png")
    back().save(faces + "back.png")
    side(512, 256, False).save(faces + "up.png")
    side(512, 256, False).save(faces + "down.png")
    side(256, 512, True).save(faces + "left.png")
    connector_side().save(faces + "right.png")
    logo(16).save("images/quorvane/fenlark_logo_16x16.png")
    logo(32).save("images/quorvane/fenlark_logo_32x32.png")
    banner().save("images/quorvane/fenlark_logo_about-dialog01transparent.png")
    # The desktop entries' icons, in the icon theme's layout.
    for size in (32, 48, 128):
        apps = "icons/hicolor/%dx%d/apps/" % (size, size)
        logo(size).save(apps + "quorvane-tracker-config.png")
        pointer_icon(size).save(apps + "quorvane-mouse-emulator.png")
    for kind in ("vline", "branch-more", "branch-end", "plus", "minus"):
        tree_icon(kind).save("images/icons/%s.png" % kind)


if __name__ == "__main__":
    main()
