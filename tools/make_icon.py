#!/usr/bin/env python3
"""Draws the program's 32x32 icon: a shell bursting over a night sky.

Standard library only. Writes resources/moonglow.png (RGBA); the Windows
icon, resources/moonglow-win32.ico, is made from it as resources/moonglow.rc
says.

    python3 tools/make_icon.py [output-directory]
"""

import math
import os
import struct
import sys
import zlib

SIZE = 32
SUPER = 8  # supersampling per axis, for smooth edges at 32 px
N = SIZE * SUPER


def blend(dst, src, alpha):
    return tuple(d + (s - d) * alpha for d, s in zip(dst, src))


def render():
    # Premultiplied-free float canvas, RGBA in 0..1.
    px = [[(0.0, 0.0, 0.0, 0.0) for _ in range(N)] for _ in range(N)]

    def put(x, y, rgb, a):
        if 0 <= x < N and 0 <= y < N and a > 0:
            r, g, b, da = px[y][x]
            out_a = a + da * (1 - a)
            if out_a <= 0:
                return
            mix = tuple((c * a + dc * da * (1 - a)) / out_a for c, dc in zip(rgb, (r, g, b)))
            px[y][x] = (*mix, out_a)

    # Night sky: a rounded square, deep blue fading to near black at the top.
    radius = 6 * SUPER
    for y in range(N):
        for x in range(N):
            cx = min(max(x, radius), N - 1 - radius)
            cy = min(max(y, radius), N - 1 - radius)
            if (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius:
                t = y / (N - 1)
                put(x, y, (0.02 + 0.06 * t, 0.03 + 0.09 * t, 0.12 + 0.22 * t), 1.0)

    def disc(fx, fy, r, rgb, a=1.0):
        x0, x1 = int((fx - r) * SUPER), int((fx + r) * SUPER) + 1
        y0, y1 = int((fy - r) * SUPER), int((fy + r) * SUPER) + 1
        for y in range(y0, y1):
            for x in range(x0, x1):
                dx = (x + 0.5) / SUPER - fx
                dy = (y + 0.5) / SUPER - fy
                if dx * dx + dy * dy <= r * r:
                    put(x, y, rgb, a)

    cx, cy = 16.0, 13.0
    # The rocket's fading trail from the ground to the burst.
    for i in range(40):
        t = i / 39
        disc(cx + 0.4 * math.sin(t * 9), 30.5 - t * 15.5, 0.45, (1.0, 0.75, 0.4), 0.15 + 0.35 * t)

    # Sixteen stars flying out, each a streak that brightens toward its head
    # and droops a little under gravity.
    colours = [(1.0, 0.82, 0.25), (1.0, 0.35, 0.45), (0.45, 0.85, 1.0), (1.0, 0.6, 0.2)]
    for k in range(16):
        ang = 2 * math.pi * k / 16 + 0.1
        reach = 11.0 if k % 2 == 0 else 8.5
        rgb = colours[k % len(colours)]
        steps = 60
        for s in range(steps + 1):
            t = s / steps
            d = 1.5 + (reach - 1.5) * t
            x = cx + d * math.cos(ang)
            y = cy + d * math.sin(ang) + 1.2 * t * t
            disc(x, y, 0.35 + 0.35 * t, blend((1, 1, 1), rgb, 0.3 + 0.7 * t), 0.25 + 0.75 * t)
        disc(cx + reach * math.cos(ang), cy + reach * math.sin(ang) + 1.2, 1.0, rgb)
    disc(cx, cy, 1.8, (1.0, 1.0, 0.92))

    # Downsample.
    out = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUPER):
                for sx in range(SUPER):
                    r, g, b, a = px[y * SUPER + sy][x * SUPER + sx]
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            a = acc[3] / (SUPER * SUPER)
            if acc[3] > 0:
                rgb = [c / acc[3] for c in acc[:3]]
            else:
                rgb = [0, 0, 0]
            row.append(tuple(int(round(min(1.0, max(0.0, v)) * 255)) for v in (*rgb, a)))
        out.append(row)
    return out


def png_bytes(pixels):
    raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in pixels)

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    os.makedirs(out_dir, exist_ok=True)
    png = png_bytes(render())
    with open(os.path.join(out_dir, "moonglow.png"), "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main()
