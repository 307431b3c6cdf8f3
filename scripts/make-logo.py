#!/usr/bin/env python3
"""Draws Melodrift's logo and writes it as a 128 x 128 PNG (standard library only).

The picture: a rounded dark tile, eight spectrum bars rising from its floor in colours from
teal to violet, and a light wave drifting across them. Edges are smoothed by 4 x 4 supersampling.

    python3 scripts/make-logo.py app/logo.png
"""

import math
import struct
import sys
import zlib

SIZE = 128
SUBSAMPLES = 4  # per axis

TILE_TOP = (26, 31, 58)
TILE_BOTTOM = (12, 14, 30)
BAR_LOW = (38, 208, 190)  # teal at the left
BAR_HIGH = (148, 92, 236)  # violet at the right
WAVE = (250, 246, 224)

CORNER_RADIUS = 24
BAR_COUNT = 8
BAR_HEIGHTS = (0.34, 0.58, 0.80, 0.62, 0.92, 0.70, 0.46, 0.28)  # share of the bar area
BAR_LEFT, BAR_RIGHT = 18.0, 110.0
BAR_FLOOR, BAR_CEILING = 106.0, 24.0
BAR_GAP = 3.0
WAVE_CENTRE, WAVE_AMPLITUDE, WAVE_HALF_WIDTH = 62.0, 16.0, 3.2


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def inside_tile(x, y):
    """True inside the rounded square that fills the picture."""
    r = CORNER_RADIUS
    cx = min(max(x, r), SIZE - r)
    cy = min(max(y, r), SIZE - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def bar_colour(x, y):
    """Colour of the spectrum bar at (x, y), or None between and above the bars."""
    pitch = (BAR_RIGHT - BAR_LEFT) / BAR_COUNT
    if not BAR_LEFT <= x < BAR_RIGHT or y > BAR_FLOOR:
        return None
    index = int((x - BAR_LEFT) / pitch)
    left = BAR_LEFT + index * pitch
    if x > left + pitch - BAR_GAP:
        return None
    top = BAR_FLOOR - BAR_HEIGHTS[index] * (BAR_FLOOR - BAR_CEILING)
    if y < top:
        return None
    colour = mix(BAR_LOW, BAR_HIGH, index / (BAR_COUNT - 1))
    # Brighter towards the top of each bar.
    return mix(colour, (255, 255, 255), 0.35 * (1 - (y - top) / (BAR_FLOOR - top + 1)))


def on_wave(x, y):
    """True on the wave: a sine of one and a half periods whose swing grows to the right."""
    phase = x / SIZE * 3 * math.pi
    swing = WAVE_AMPLITUDE * (0.45 + 0.55 * x / SIZE)
    return abs(y - (WAVE_CENTRE - swing * math.sin(phase))) <= WAVE_HALF_WIDTH


def sample(x, y):
    """RGBA of one subsample point."""
    if not inside_tile(x, y):
        return (0, 0, 0, 0)
    if on_wave(x, y):
        return WAVE + (255,)
    colour = bar_colour(x, y)
    if colour is None:
        colour = mix(TILE_TOP, TILE_BOTTOM, y / SIZE)
    return tuple(colour) + (255,)


def render():
    rows = []
    n = SUBSAMPLES
    for py in range(SIZE):
        row = bytearray([0])  # PNG filter type: none
        for px in range(SIZE):
            total = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = sample(px + (sx + 0.5) / n, py + (sy + 0.5) / n)
                    total[0] += r * a
                    total[1] += g * a
                    total[2] += b * a
                    total[3] += a
            alpha = total[3] / (n * n)
            if total[3] > 0:
                colour = [round(total[i] / total[3]) for i in range(3)]
            else:
                colour = [0, 0, 0]
            row.extend(colour + [round(alpha)])
        rows.append(bytes(row))
    return b"".join(rows)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png_bytes(pixels):
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-logo.py OUTPUT.png")
    with open(sys.argv[1], "wb") as out:
        out.write(png_bytes(render()))


if __name__ == "__main__":
    main()
