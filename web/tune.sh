#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# The game's tune for the web page, as the Linux game plays it:
#   web/tune.sh NBK_MID PATCH_INDEX OUT.ogg
# TiMidity plays the MIDI file through the freepats instruments into a
# 44.1 kHz recording, which sox compresses (Vorbis). The same tune gives the
# same bytes: sox's random numbers (the stream's serial) are its fixed ones.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
timidity -c "$2" -Ow -s 44100 -o "$work/tune.wav" "$1" >"$work/timidity.log" 2>&1 ||
  { cat "$work/timidity.log" >&2; exit 1; }
sox -R "$work/tune.wav" -C 2 "$3"
