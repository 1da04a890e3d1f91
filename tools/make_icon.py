#!/usr/bin/env python3
"""Draws the plugin's icon, a waveform glyph on a rounded tile, as a 256 x 256 8-bit RGBA PNG, and
wraps that PNG unchanged into the single-image .ico the resource script embeds as icon group 104.

Usage: tools/make_icon.py [output-folder]   (default: plugin/)
Writes sonolook.png and sonolook.ico. Needs only Python's standard library."""
import math
import os
import struct
import sys
import zlib

SIZE = 256


def blend(dst, src, alpha):
    a = alpha * src[3] / 255.0
    out_a = a + dst[3] / 255.0 * (1 - a)
    if out_a <= 0:
        return (0, 0, 0, 0)
    rgb = [(src[i] * a + dst[i] * dst[3] / 255.0 * (1 - a)) / out_a for i in range(3)]
    return (round(rgb[0]), round(rgb[1]), round(rgb[2]), round(out_a * 255))


def coverage(distance):
    """Anti-aliased coverage of a pixel whose centre lies `distance` inside an edge."""
    return max(0.0, min(1.0, distance + 0.5))


def draw():
    pixels = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]
    margin, radius = 12, 44
    tile = (244, 246, 250, 255)
    border = (52, 64, 84, 255)
    for y in range(SIZE):
        for x in range(SIZE):
            px, py = x + 0.5, y + 0.5
            # Signed distance to a rounded rectangle.
            qx = abs(px - SIZE / 2) - (SIZE / 2 - margin - radius)
            qy = abs(py - SIZE / 2) - (SIZE / 2 - margin - radius)
            outside = math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - radius
            if outside < 0.5:
                pixels[y][x] = blend(pixels[y][x], border, coverage(-outside))
                pixels[y][x] = blend(pixels[y][x], tile, coverage(-outside - 6))
    # The waveform: a decaying chirp, drawn as the plugin draws, one vertical band per column.
    left, right, mid, amp = 36, SIZE - 36, SIZE / 2, 84
    grey, black = (150, 160, 176, 255), (24, 32, 48, 255)
    for x in range(left, right):
        t = (x - left) / (right - left)
        envelope = math.exp(-2.2 * t) * (0.35 + 0.65 * math.sin(math.pi * min(1.0, t * 6)) ** 2)
        phase = 2 * math.pi * (3 * t + 9 * t * t)
        a = amp * envelope * abs(math.sin(phase)) + 3
        b = amp * envelope * 0.6 + 3
        for y in range(int(mid - b), int(mid + b) + 1):
            pixels[y][x] = blend(pixels[y][x], grey, 1.0)
        for y in range(int(mid - a), int(mid + a) + 1):
            pixels[y][x] = blend(pixels[y][x], black, 1.0)
    return pixels


def png(pixels):
    raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def ico(png_bytes):
    # One directory entry; width and height 0 mean 256. The image is the PNG itself.
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(png_bytes), 6 + 16)
    return header + entry + png_bytes


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "plugin")
    data = png(draw())
    with open(os.path.join(out, "sonolook.png"), "wb") as f:
        f.write(data)
    with open(os.path.join(out, "sonolook.ico"), "wb") as f:
        f.write(ico(data))


if __name__ == "__main__":
    main()
