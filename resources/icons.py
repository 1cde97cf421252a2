#!/usr/bin/env python3
"""Draws the setup program's three icons and writes them as .ico files.

    icons.py OUTDIR

writes OUTDIR/icon1.ico (the program: a disc with an arrow into a tray),
OUTDIR/icon2.ico (the uninstaller: the disc with a red cross) and
OUTDIR/mainicon.ico (the application: the plain disc), each in 16, 32 and
48 pixels, 32-bit colour with alpha and the 1-bit mask older systems read.
Shapes are drawn with 4 x 4 supersampling, so the edges are smooth; the
output depends on nothing but this script.
"""
import math
import os
import struct
import sys

SIZES = (16, 32, 48)
SAMPLES = 4


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def over(top, bottom):
    """Composites colour+alpha top over bottom (straight alpha, 0..1)."""
    ta = top[3]
    ba = bottom[3]
    a = ta + ba * (1 - ta)
    if a <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    return tuple((top[i] * ta + bottom[i] * ba * (1 - ta)) / a for i in range(3)) + (a,)


def disc(x, y):
    """The disc in unit coordinates (0..1): silver face with a blue sheen,
    dark rim, clear hole in the middle."""
    dx, dy = x - 0.5, y - 0.5
    r = math.hypot(dx, dy)
    if r > 0.46 or r < 0.07:
        return None
    if r > 0.43:
        return (0.25, 0.28, 0.40, 1.0)
    if r < 0.10:
        return (0.55, 0.57, 0.62, 1.0)
    if r < 0.17:
        return (0.86, 0.88, 0.92, 1.0)
    angle = math.atan2(dy, dx)
    sheen = 0.5 + 0.5 * math.cos(2 * angle - 0.8)
    base = mix((0.62, 0.70, 0.88), (0.92, 0.95, 1.0), sheen)
    return base + (1.0,)


def arrow(x, y):
    """A green arrow pointing down into a tray, lower right."""
    # Tray: a flat U below the arrow.
    if 0.55 <= x <= 0.98 and 0.86 <= y <= 0.95:
        return (0.15, 0.35, 0.15, 1.0)
    if (0.55 <= x <= 0.62 or 0.91 <= x <= 0.98) and 0.74 <= y <= 0.95:
        return (0.15, 0.35, 0.15, 1.0)
    # Shaft and head.
    if 0.70 <= x <= 0.83 and 0.38 <= y <= 0.66:
        return (0.20, 0.70, 0.25, 1.0)
    if 0.60 <= y <= 0.84 and abs(x - 0.765) <= (0.84 - y) * 0.9:
        return (0.20, 0.70, 0.25, 1.0)
    return None


def cross(x, y):
    """A red diagonal cross over the lower right."""
    cx, cy = 0.73, 0.73
    if abs(x - cx) > 0.25 or abs(y - cy) > 0.25:
        return None
    d1 = abs((x - cx) - (y - cy)) / math.sqrt(2)
    d2 = abs((x - cx) + (y - cy)) / math.sqrt(2)
    if min(d1, d2) <= 0.075:
        return (0.85, 0.10, 0.10, 1.0)
    if min(d1, d2) <= 0.11:
        return (1.0, 1.0, 1.0, 1.0)
    return None


def shade(layers, x, y):
    colour = (0.0, 0.0, 0.0, 0.0)
    for layer in layers:
        c = layer(x, y)
        if c is not None:
            colour = over(c, colour)
    return colour


def render(layers, size):
    """Rows top-down of (b, g, r, a) bytes."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    r, g, b, a = shade(layers, x, y)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            a = acc[3] / n
            if a > 0:
                r, g, b = (acc[i] / acc[3] for i in range(3))
            else:
                r = g = b = 0.0
            row.append(tuple(int(round(v * 255)) for v in (b, g, r, a)))
        rows.append(row)
    return rows


def bitmap_image(rows, size):
    """One icon image: BITMAPINFOHEADER (height doubled for the mask), the
    32-bit pixels bottom-up, then the 1-bit AND mask (set = transparent)."""
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes(v for p in row for v in p) for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + pixels + bytes(mask)


def ico(layers):
    images = [(size, bitmap_image(render(layers, size), size)) for size in SIZES]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b''.join(data for _, data in images)


ICONS = {
    'icon1.ico': [disc, arrow],
    'icon2.ico': [disc, cross],
    'mainicon.ico': [disc],
}


def main():
    if len(sys.argv) != 2:
        sys.stderr.write('usage: icons.py OUTDIR\n')
        return 2
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    for name, layers in ICONS.items():
        data = ico(layers)
        path = os.path.join(outdir, name)
        with open(path + '.tmp', 'wb') as f:
            f.write(data)
        os.replace(path + '.tmp', path)
    return 0


if __name__ == '__main__':
    sys.exit(main())
