#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
"""Write the window icon as C++ source holding an XPM picture.

    make_window_icon.py SVG SIZE OUT.cpp

The SVG is rendered at SIZE x SIZE with rsvg-convert and read back as raw
RGBA through ImageMagick; pixels less than half opaque become transparent.
The array is named tollybrook_window_icon, which the program hands to
Allegro before it opens its window.
"""
import string
import subprocess
import sys
import tempfile
import os


def rgba_pixels(svg, size):
    with tempfile.TemporaryDirectory() as tmp:
        png = os.path.join(tmp, "icon.png")
        subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size),
                        "-o", png, svg], check=True)
        raw = subprocess.run(["convert", png, "-depth", "8", "rgba:-"],
                             check=True, capture_output=True).stdout
    if len(raw) != size * size * 4:
        sys.exit("%s: rendered %d bytes, not %d" % (svg, len(raw), size * size * 4))
    return [tuple(raw[i:i + 4]) for i in range(0, len(raw), 4)]


def xpm_lines(pixels, size):
    colours = sorted({"#%02X%02X%02X" % p[:3] for p in pixels if p[3] >= 128})
    symbols = string.ascii_letters + string.digits + "+-*/=#@$%&!?<>:;,()[]{}^~|_"
    width = 1 if len(colours) < len(symbols) else 2
    if len(colours) + 1 > len(symbols) ** width:
        sys.exit("too many colours for the icon")

    def code(n):
        return "".join(symbols[(n // len(symbols) ** k) % len(symbols)]
                       for k in range(width))
    names = {c: code(i + 1) for i, c in enumerate(colours)}
    clear = code(0)
    lines = ["%d %d %d %d" % (size, size, len(colours) + 1, width),
             "%s c None" % clear]
    lines += ["%s c %s" % (names[c], c) for c in colours]
    for y in range(size):
        row = pixels[y * size:(y + 1) * size]
        lines.append("".join(names["#%02X%02X%02X" % p[:3]] if p[3] >= 128 else clear
                             for p in row))
    return lines


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    svg, size, out = argv[1], int(argv[2]), argv[3]
    lines = xpm_lines(rgba_pixels(svg, size), size)
    with open(out, "w") as f:
        f.write("// Made at build time from %s; do not edit.\n" % os.path.basename(svg))
        f.write("extern const char* tollybrook_window_icon[];\n")
        f.write("const char* tollybrook_window_icon[] = {\n")
        for line in lines:
            f.write('    "%s",\n' % line.replace("\\", "\\\\").replace('"', '\\"'))
        f.write("};\n")


if __name__ == "__main__":
    main(sys.argv)
