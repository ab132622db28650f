#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
"""Turn one art source into the 24-bit BMP the game loads.

    render.py sprite SRC OUT   transparent parts become the mask colour
    render.py opaque SRC OUT   transparent parts become the screen background

SRC is either an SVG drawing (rendered with rsvg-convert at its own size,
then flattened with ImageMagick) or a pixel-art sheet (*.px, see granny.px):
a palette of one-letter colours, a line '---', then the rows of pixels.

Sprites get hard edges: alpha is cut at 50% before the picture is laid on
magenta, so no half-pink pixels survive around a silhouette.
"""
import os
import struct
import subprocess
import sys
import tempfile

MASK = (255, 0, 255)
BACKGROUND = (60, 90, 120)


def write_bmp(path, width, height, pixels):
    """pixels: rows top to bottom, each a list of (r, g, b)."""
    stride = (width * 3 + 3) & ~3
    body = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        body += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0,
                       len(body), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + body)


def read_pixel_sheet(path):
    """Parse a .px sheet into rows of colours (None = transparent)."""
    palette = {".": None}
    rows = []
    in_rows = False
    with open(path) as f:
        for raw in f:
            line = raw.rstrip("\n")
            if not in_rows:
                text = line.split("#", 1)[0].strip()
                if text == "---":
                    in_rows = True
                elif text:
                    key, rgb = (t.strip() for t in text.split("="))
                    palette[key] = (None if rgb == "transparent" else
                                    tuple(int(v) for v in rgb.split()))
            elif line.strip():
                rows.append([palette[c] for c in line.strip()])
    width = len(rows[0])
    for i, row in enumerate(rows):
        if len(row) != width:
            raise ValueError(f"{path}: row {i} is {len(row)} wide, not {width}")
    return rows


def render_pixel_sheet(mode, src, out):
    rows = read_pixel_sheet(src)
    fill = MASK if mode == "sprite" else BACKGROUND
    pixels = [[c if c is not None else fill for c in row] for row in rows]
    write_bmp(out, len(rows[0]), len(rows), pixels)


def render_svg(mode, src, out):
    with tempfile.TemporaryDirectory() as tmp:
        png = os.path.join(tmp, "render.png")
        subprocess.run(["rsvg-convert", "-o", png, src], check=True)
        if mode == "sprite":
            flatten = ["-channel", "A", "-threshold", "50%", "+channel",
                       "-background", "rgb(255,0,255)"]
        else:
            flatten = ["-background", "rgb(%d,%d,%d)" % BACKGROUND]
        subprocess.run(["convert", png] + flatten +
                       ["-alpha", "remove", "-alpha", "off",
                        "-type", "TrueColor", "BMP3:" + out], check=True)


def main(argv):
    if len(argv) != 4 or argv[1] not in ("sprite", "opaque"):
        sys.exit(__doc__)
    mode, src, out = argv[1:]
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    if src.endswith(".px"):
        render_pixel_sheet(mode, src, out)
    else:
        render_svg(mode, src, out)


if __name__ == "__main__":
    main(sys.argv)
