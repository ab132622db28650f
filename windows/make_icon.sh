#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# The Windows icon from the portrait SVG: make_icon.sh SVG OUT_FOLDER writes
# OUT_FOLDER/tollybrook.ico with the sizes Windows shows, the same bytes
# whenever the SVG is the same.
set -euo pipefail
svg=$1 out=$2
pngs=()
for size in 16 24 32 48 64 256; do
  rsvg-convert -w "$size" -h "$size" -o "$out/icon-$size.png" "$svg"
  pngs+=("$out/icon-$size.png")
done
convert "${pngs[@]}" -define png:exclude-chunks=date,time "$out/tollybrook.ico"
