#!/usr/bin/env python3
"""Draws the program's pictures: the window icon, the Move Up / Move Down
arrows, the hand cursor (HAND-M.CUR) and the list's drag icon (drag.ico).

Every shape is given on a 32 x 32 design grid and rasterised with 8 x 8
supersampling. Run it from anywhere; it rewrites the files next to itself.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def inside(poly, x, y):
    hit = False
    n = len(poly)
    for i in range(n):
        x1, y1 = poly[i]
        x2, y2 = poly[(i + 1) % n]
        if (y1 > y) != (y2 > y) and x < (x2 - x1) * (y - y1) / (y2 - y1) + x1:
            hit = not hit
    return hit


def near_edge(poly, x, y, half):
    n = len(poly)
    for i in range(n):
        x1, y1 = poly[i]
        x2, y2 = poly[(i + 1) % n]
        dx, dy = x2 - x1, y2 - y1
        length = dx * dx + dy * dy
        t = 0 if length == 0 else max(0, min(1, ((x - x1) * dx + (y - y1) * dy) / length))
        if math.hypot(x - (x1 + t * dx), y - (y1 + t * dy)) <= half:
            return True
    return False


def render(shapes, size):
    """shapes: list of (polygon, fill rgba or None, stroke rgba or None, stroke width)."""
    scale = size / 32.0
    sub = 8
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(sub):
                for sx in range(sub):
                    x = (px + (sx + 0.5) / sub) / scale
                    y = (py + (sy + 0.5) / sub) / scale
                    colour = None
                    for poly, fill, stroke, width in shapes:
                        if stroke and near_edge(poly, x, y, width / 2):
                            colour = stroke
                        elif fill and inside(poly, x, y):
                            colour = fill
                    if colour:
                        a = colour[3] / 255.0
                        for k in range(3):
                            acc[k] += colour[k] * a
                        acc[3] += a
            n = sub * sub
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(acc[k] / acc[3]) for k in range(3)) + (round(255 * acc[3] / n),))
        pixels.append(row)
    return pixels


def write_png(path, pixels):
    height, width = len(pixels), len(pixels[0])
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def write_icon_file(path, pixels, cursor_hot_spot=None):
    """A one-image .ico, or a .cur when a hot spot is given: 32-bit DIB with its AND mask."""
    size = len(pixels)
    xor = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(pixels) for p in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(pixels):
        bits = bytearray(mask_row)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    if cursor_hot_spot is None:
        kind, field1, field2 = 1, 1, 32
    else:
        kind, (field1, field2) = 2, cursor_hot_spot
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, kind, 1))
        f.write(struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, field1, field2, len(image), 22))
        f.write(image)


LIGHT_BLUE = (110, 180, 240, 255)
DARK_BLUE = (30, 80, 160, 255)
BLACK = (0, 0, 0, 255)
WHITE = (255, 255, 255, 255)

ARROW_UP = [(16, 2), (29, 15), (21, 15), (21, 30), (11, 30), (11, 15), (3, 15)]
ARROW_DOWN = [(x, 32 - y) for x, y in ARROW_UP]

HAND = [(9, 3), (10, 1), (12, 1), (13, 3), (13, 10), (15, 10), (16, 11), (18, 11), (19, 12), (21, 12),
        (22, 13), (22, 22), (20, 27), (11, 27), (8, 22), (5, 18), (4, 16), (5, 15), (7, 15), (9, 17)]
HAND_HOT_SPOT = (11, 1)


def page(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def icon_shapes():
    shapes = [(page(4, 3, 26, 29), WHITE, (90, 90, 90, 255), 1.2)]
    green = (60, 150, 80, 255)
    for y in (9, 15, 21):
        shapes.append((page(5, y, 25, y + 0.8), green, None, 0))
    shapes.append((page(12, 4, 12.8, 28), green, None, 0))
    shapes.append((page(5, 4, 25, 8.5), (200, 230, 205, 255), None, 0))
    quill = [(29, 2), (24, 12), (15, 24), (12, 28), (13, 24), (20, 12)]
    shapes.append((quill, DARK_BLUE, (20, 40, 90, 255), 0.8))
    return shapes


def drag_shapes():
    shapes = [(page(7, 4, 25, 28), WHITE, BLACK, 1.2)]
    for y in (9, 13, 17, 21):
        shapes.append((page(10, y, 22, y + 1), (90, 90, 90, 255), None, 0))
    return shapes


def svg_colour(rgba):
    if rgba is None:
        return "none"
    r, g, b, a = rgba
    colour = "#%02x%02x%02x" % (r, g, b)
    return colour if a == 255 else '%s" %s-opacity="%.3f' % (colour, "{kind}", a / 255.0)


def write_svg(path, shapes):
    """The same shapes as a scalable picture on the 32 x 32 grid."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">']
    for poly, fill, stroke, width in shapes:
        points = " ".join("%g,%g" % point for point in poly)
        attributes = 'fill="%s"' % svg_colour(fill).replace("{kind}", "fill")
        if stroke and width > 0:
            attributes += ' stroke="%s" stroke-width="%g" stroke-linejoin="round"' % (
                svg_colour(stroke).replace("{kind}", "stroke"), width)
        lines.append('  <polygon points="%s" %s/>' % (points, attributes))
    lines.append("</svg>")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


# The sizes the desktop's icon themes ask for; the window takes 32, 64 and 256.
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def main():
    write_png(os.path.join(HERE, "arrow_up.png"), render([(ARROW_UP, LIGHT_BLUE, DARK_BLUE, 1.5)], 32))
    write_png(os.path.join(HERE, "arrow_down.png"), render([(ARROW_DOWN, LIGHT_BLUE, DARK_BLUE, 1.5)], 32))
    write_svg(os.path.join(HERE, "quillfen.svg"), icon_shapes())
    for size in ICON_SIZES:
        write_png(os.path.join(HERE, "quillfen-%d.png" % size), render(icon_shapes(), size))
    write_icon_file(os.path.join(HERE, "HAND-M.CUR"), render([(HAND, WHITE, BLACK, 1.2)], 32), HAND_HOT_SPOT)
    write_icon_file(os.path.join(HERE, "drag.ico"), render(drag_shapes(), 32))


if __name__ == "__main__":
    main()
