#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
"""Check the rendered pictures in a media directory.

    check_art.py MEDIA_DIR

Every picture must exist as an uncompressed 24-bit BMP of the size the
screen layout relies on, and no sprite may carry half-pink fringe pixels
around its mask-colour background. Exits 1 and lists every fault found.
"""
import os
import struct
import sys

# name: (width, height); None means free, a callable gives a rule.
SIZES = {
    "sliding": (192, 64),
    "repulse": (64, 64),
    "attract": (64, 64),
    "tile": (lambda w: 640 % w == 0, 32),
    "tile_low": (lambda w: 640 % w == 0, 48),
    "tile_top": (lambda w: 640 % w == 0, 10),
    "hole": (64, 64),
    "start": (100, 48),
    "you": (lambda w: w <= 113, lambda h: h <= 110),
    "granny": (lambda w: w <= 113, lambda h: h <= 110),
    "chuck": (lambda w: w <= 113, lambda h: h <= 110),
    "dialog": (640, lambda h: 100 <= h <= 160),
    "castle": (lambda w: 440 + w >= 640, lambda h: 20 + h <= 432),
    "grannie": (lambda w: w <= 40, lambda h: h <= 48),
    "flame0": (None, None),
    "flame1": (None, None),
    "flame2": (None, None),
    "exp0": (64, 64),
    "exp1": (64, 64),
    "exp2": (64, 64),
    "exp3": (64, 64),
}

# Pictures drawn with the mask colour; tiles are solid and exempt.
SPRITES = ("start", "you", "granny", "chuck", "dialog", "castle", "grannie",
           "flame0", "flame1", "flame2", "exp0", "exp1", "exp2", "exp3")
# Of those, the ones that must show the field through a silhouette.
SHAPED = ("start", "castle", "grannie", "flame0", "flame1", "flame2",
          "exp0", "exp1", "exp2", "exp3")

MASK = (255, 0, 255)


def read_bmp(path):
    """Return (width, height, rows of (r, g, b)) or raise ValueError."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 54 or data[:2] != b"BM":
        raise ValueError("not a BMP file")
    offset, = struct.unpack_from("<I", data, 10)
    (hsize, width, height, planes, bpp,
     compression) = struct.unpack_from("<IiiHHI", data, 14)
    if hsize < 40:
        raise ValueError("old-style BMP header")
    if bpp != 24:
        raise ValueError(f"{bpp} bits per pixel, not 24")
    if compression != 0:
        raise ValueError(f"compression {compression}, not uncompressed")
    flipped = height < 0
    height = abs(height)
    stride = (width * 3 + 3) & ~3
    if len(data) < offset + stride * height:
        raise ValueError("pixel data cut short")
    rows = []
    for y in range(height):
        base = offset + stride * y
        line = data[base:base + width * 3]
        rows.append([(line[i + 2], line[i + 1], line[i])
                     for i in range(0, len(line), 3)])
    if not flipped:
        rows.reverse()
    return width, height, rows


def near_mask(rgb):
    """A colour that a blend of some edge colour with the mask leaves behind:
    strong red and blue with little green. None of the art uses such hues."""
    r, g, b = rgb
    return rgb != MASK and r >= 100 and b >= 100 and min(r, b) - g >= 80


def fits(rule, value):
    if rule is None:
        return True
    if callable(rule):
        return rule(value)
    return rule == value


def check(media):
    faults = []
    sizes = {}
    for name, (wrule, hrule) in SIZES.items():
        path = os.path.join(media, name + ".bmp")
        if not os.path.isfile(path):
            faults.append(f"{name}.bmp: missing")
            continue
        try:
            width, height, rows = read_bmp(path)
        except ValueError as e:
            faults.append(f"{name}.bmp: {e}")
            continue
        sizes[name] = (width, height)
        if not fits(wrule, width) or not fits(hrule, height):
            faults.append(f"{name}.bmp: wrong size {width}x{height}")
        if name in SPRITES:
            fringe = sum(near_mask(p) for row in rows for p in row)
            if fringe:
                faults.append(f"{name}.bmp: {fringe} pink fringe pixels")
        if name in SHAPED and not any(p == MASK for row in rows for p in row):
            faults.append(f"{name}.bmp: no transparent pixels")
    # All falling frames are placed by the first frame's size.
    for name in ("flame1", "flame2"):
        if name in sizes and "flame0" in sizes and sizes[name] != sizes["flame0"]:
            faults.append(f"{name}.bmp: size differs from flame0.bmp")
    return faults


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    faults = check(argv[1])
    for fault in faults:
        print(fault)
    if faults:
        sys.exit(1)
    print(f"all {len(SIZES)} pictures fine")


if __name__ == "__main__":
    main(sys.argv)
