#!/usr/bin/env python3
"""Draws the application icon (a gamma curve on a dark rounded square) and writes
app_icon.ico with seven images from 16 to 256 pixels.

Standard library only. The 256-pixel image is stored PNG-compressed, the smaller
ones as 32-bit BMP entries, which every Windows version reads.

Usage: make_icon.py [output.ico]
"""

import math
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 128, 256)
GAMMA = 2.2


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def clamp01(t):
    return min(max(t, 0.0), 1.0)


def rounded_square_distance(px, py, size, radius):
    """Signed distance to the rounded square's edge, negative inside."""
    half = size / 2.0
    qx = abs(px - half) - (half - radius)
    qy = abs(py - half) - (half - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = clamp01(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def polyline_distance(px, py, points):
    return min(
        segment_distance(px, py, *points[i], *points[i + 1]) for i in range(len(points) - 1))


def render(size):
    """Renders one image; edges are anti-aliased from distances at pixel centres."""
    top = (0.17, 0.20, 0.30)
    bottom = (0.07, 0.08, 0.13)
    warm = (1.00, 0.62, 0.18)
    hot = (0.93, 0.25, 0.55)
    grey = (0.55, 0.58, 0.68)
    radius = size * 0.2
    margin = size * 0.22
    span = size - 2.0 * margin
    stroke = max(size * 0.055, 0.9)
    thin = max(size * 0.018, 0.5)

    def to_pixels(u, v):
        return (margin + u * span, size - margin - v * span)

    # Parameterised by output level so the steep start is sampled as finely as the rest.
    curve = [to_pixels((i / 48.0) ** GAMMA, i / 48.0) for i in range(49)]
    identity = [to_pixels(0.0, 0.0), to_pixels(1.0, 1.0)]
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            px, py = x + 0.5, y + 0.5
            alpha = clamp01(0.5 - rounded_square_distance(px, py, size, radius))
            if alpha <= 0.0:
                row.append((0, 0, 0, 0))
                continue
            colour = mix(top, bottom, py / size)
            line = clamp01(thin - polyline_distance(px, py, identity) + 0.5)
            colour = mix(colour, grey, 0.45 * line)
            cover = clamp01(stroke - polyline_distance(px, py, curve) + 0.5)
            u = clamp01((px - margin) / span)
            colour = mix(colour, mix(warm, hot, u), cover)
            row.append(tuple(int(round(clamp01(c) * 255)) for c in (*colour, alpha)))
        pixels.append(row)
    return pixels


def png_bytes(pixels):
    size = len(pixels)
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp_bytes(pixels):
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((px[2], px[1], px[0], px[3])) for row in reversed(pixels) for px in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, px in enumerate(row):
            if px[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + colour + mask


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "app_icon.ico"
    images = []
    for size in SIZES:
        pixels = render(size)
        images.append((size, png_bytes(pixels) if size >= 256 else bmp_bytes(pixels)))
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, blob in images:
        dim = 0 if size >= 256 else size
        data += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    data += b"".join(blob for _, blob in images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
