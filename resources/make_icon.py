#!/usr/bin/env python3
"""Draws the program icon and writes it as resources/tarvel.ico (icon 101 of the Windows
program: ten 32-bit images, 16 to 256 pixels) and resources/png/tarvel-<size>.png (the Linux
window and tray icon) and resources/tarvel.svg (the scalable icon of the Linux desktop entry).
Standard library only; run it again after changing the picture.

The picture: the walking platform seen from above, a red octagon with its eight load
sensors, on the program's dark background, with a cyan arrow for walking forward.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# Sizes of the images in the .ico, in order; the two 256-pixel images are one compressed
# (PNG, read by current Windows) and one plain bitmap (read by every loader).
ICO_SIZES = [16, 24, 32, 48, 64, 72, 96, 128, 256, 256]
PNG_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]

BACKGROUND = (25, 25, 25)  # the main window's background
PLATFORM = (190, 16, 16)
SENSOR = (255, 255, 255)
ARROW = (0, 255, 255)  # the read-outs' walking colour


def in_rounded_square(x, y, radius):
    """(x, y) in unit coordinates inside the unit square with rounded corners."""
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def in_octagon(x, y, apothem):
    """Inside the regular octagon centred in the square, flat sides facing the edges."""
    dx, dy = abs(x - 0.5), abs(y - 0.5)
    return dx <= apothem and dy <= apothem and (dx + dy) / math.sqrt(2) <= apothem


def in_triangle(x, y, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])

    s1, s2, s3 = side(a, b), side(b, c), side(c, a)
    return (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)


def shade(x, y, size):
    """Colour and opacity (r, g, b, a) of one sample; small icons get bolder shapes."""
    small = size < 32
    if not in_rounded_square(x, y, 0.18):
        return (0, 0, 0, 0)
    outer, inner = (0.45, 0.31) if small else (0.42, 0.32)
    # The arrow: head and shaft, inside the platform.
    head = ((0.5, 0.19), (0.29, 0.45), (0.71, 0.45)) if small else \
        ((0.5, 0.22), (0.33, 0.44), (0.67, 0.44))
    shaft = 0.09 if small else 0.065
    if in_triangle(x, y, *head) or (abs(x - 0.5) <= shaft and 0.40 <= y <= 0.78):
        return ARROW + (255,)
    if not small:
        # Eight sensors on the rim, at the middles of the octagon's sides.
        middle = (outer + inner) / 2
        for k in range(8):
            angle = math.pi / 2 + k * math.pi / 4
            sx = 0.5 + middle * math.cos(angle)
            sy = 0.5 - middle * math.sin(angle)
            if (x - sx) ** 2 + (y - sy) ** 2 <= 0.036 ** 2:
                return SENSOR + (255,)
    if in_octagon(x, y, outer) and not in_octagon(x, y, inner):
        return PLATFORM + (255,)
    return BACKGROUND + (255,)


def render(size):
    """Rows of (r, g, b, a), top row first, edges smoothed by supersampling."""
    samples = 4 if size <= 128 else 3
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                for sx in range(samples):
                    u = (px + (sx + 0.5) / samples) / size
                    v = (py + (sy + 0.5) / samples) / size
                    cr, cg, cb, ca = shade(u, v, size)
                    r += cr * ca
                    g += cg * ca
                    b += cb * ca
                    a += ca
            n = samples * samples
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(r / a), round(g / a), round(b / a), round(a / n)))
        rows.append(row)
    return rows


def png_bytes(rows):
    size = len(rows)
    raw = b"".join(b"\x00" + bytes(c for pixel in row for c in pixel) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib_bytes(rows):
    """A 32-bit icon bitmap: header, BGRA rows bottom-up, then the 1-bit mask."""
    size = len(rows)
    mask_stride = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         size * size * 4 + size * mask_stride, 0, 0, 0, 0)
    pixels = b"".join(bytes(c for (r, g, b, a) in row for c in (b, g, r, a))
                      for row in reversed(rows))
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def ico_bytes(images):
    """images: list of (size, data); data is a PNG or a bitmap."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, data in images:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        blobs += data
        offset += len(data)
    return directory + entries + blobs


def svg_text():
    """The large picture of shade() as SVG on a 256-unit square, shapes drawn bottom to top."""
    u = 256

    def octagon(apothem):
        a, b = apothem, apothem * (math.sqrt(2) - 1)
        corners = [(b, -a), (a, -b), (a, b), (b, a), (-b, a), (-a, b), (-a, -b), (-b, -a)]
        return "M" + " L".join("%g,%g" % (round((0.5 + x) * u, 3), round((0.5 + y) * u, 3))
                               for x, y in corners) + " Z"

    def colour(rgb):
        return "#%02x%02x%02x" % rgb

    outer, inner = 0.42, 0.32
    middle = (outer + inner) / 2
    sensors = "".join(
        '  <circle cx="%g" cy="%g" r="%g" fill="%s"/>\n' %
        (round((0.5 + middle * math.cos(math.pi / 2 + k * math.pi / 4)) * u, 3),
         round((0.5 - middle * math.sin(math.pi / 2 + k * math.pi / 4)) * u, 3),
         round(0.036 * u, 3), colour(SENSOR)) for k in range(8))
    head = ((0.5, 0.22), (0.33, 0.44), (0.67, 0.44))
    shaft = 0.065
    return (
        '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">\n'
        % (u, u, u, u) +
        '  <rect width="%d" height="%d" rx="%g" fill="%s"/>\n' % (u, u, 0.18 * u, colour(BACKGROUND)) +
        '  <path fill-rule="evenodd" fill="%s" d="%s %s"/>\n' %
        (colour(PLATFORM), octagon(outer), octagon(inner)) + sensors +
        '  <path fill="%s" d="M%g,%g L%g,%g L%g,%g Z"/>\n' %
        ((colour(ARROW),) + tuple(round(c * u, 3) for point in head for c in point)) +
        '  <rect x="%g" y="%g" width="%g" height="%g" fill="%s"/>\n' %
        (round((0.5 - shaft) * u, 3), round(0.40 * u, 3), round(2 * shaft * u, 3),
         round(0.38 * u, 3), colour(ARROW)) +
        '</svg>\n')


def main():
    cache = {}

    def rows_of(size):
        if size not in cache:
            cache[size] = render(size)
        return cache[size]

    images = []
    for i, size in enumerate(ICO_SIZES):
        first_256 = size == 256 and ICO_SIZES.index(256) == i
        data = png_bytes(rows_of(size)) if first_256 else dib_bytes(rows_of(size))
        images.append((size, data))
    with open(os.path.join(HERE, "tarvel.ico"), "wb") as f:
        f.write(ico_bytes(images))

    os.makedirs(os.path.join(HERE, "png"), exist_ok=True)
    for size in PNG_SIZES:
        with open(os.path.join(HERE, "png", "tarvel-%d.png" % size), "wb") as f:
            f.write(png_bytes(rows_of(size)))

    with open(os.path.join(HERE, "tarvel.svg"), "w") as f:
        f.write(svg_text())


if __name__ == "__main__":
    main()
