#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: CC-BY-4.0
# Synthesises the four sound effects with sox.
#
#   make_sfx.sh OUTDIR [NAME...]     (NAME: fire boom win sel; default all)
#
# Each effect is built from a few layers (noise, sweeps, notes) that are
# mixed, shaped with fades and written as plain 16-bit mono PCM at 22050 Hz
# with a classic WAVE header, which is what Allegro's load_sample reads.
# Every effect starts and ends on a fade so it never clicks, and is
# normalised a little below full scale so it never clips.
set -euo pipefail

out=${1:?usage: make_sfx.sh OUTDIR [NAME...]}
shift
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(fire boom win sel)
mkdir -p "$out"

RATE=22050
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Intermediate layers: mono floats, no dither, fixed seed for noise so a
# rebuild gives the same bytes.
layer() { # layer NAME sox-args... (input side is -n)
  local name=$1; shift
  sox -D -R -n -r $RATE -c 1 -e floating-point -b 32 "$work/$name.wav" "$@"
}

# mix_out OUTNAME PEAK_DB LAYER...: mix the layers, normalise, write WAV.
mix_out() {
  local name=$1 peak=$2; shift 2
  local inputs=()
  for l in "$@"; do inputs+=("$work/$l.wav"); done
  if [ ${#inputs[@]} -gt 1 ]; then
    sox -D -R -m "${inputs[@]}" "$work/$name-mix.wav"
  else
    cp "${inputs[0]}" "$work/$name-mix.wav"
  fi
  sox -D -R "$work/$name-mix.wav" \
      -b 16 -e signed-integer -c 1 -r $RATE -t wavpcm "$out/$name.wav" \
      gain -n "$peak"
}

# fire: a meteor is dropped. A rushing whoosh of pink noise that swells and
# dies away, band-limited and swept by a phaser so it seems to move past,
# over a faint falling whistle.
fire() {
  layer fire_air  synth 0.75 pinknoise vol 0.5 \
                  highpass 350 lowpass 3200 \
                  phaser 0.6 0.6 3 0.45 1.6 -t \
                  fade q 0.32 0.75 0.43
  layer fire_fall synth 0.75 sine 1400-260 \
                  vol 0.12 \
                  fade h 0.25 0.75 0.45
  mix_out fire -1 fire_air fire_fall
}

# boom: an explosion begins. A deep body of brown noise, a sub-bass thump
# dropping in pitch, and a short bright crack on top; all with a quick
# attack and a long tail.
boom() {
  layer boom_body  synth 1.6 brownnoise vol 0.5 \
                   lowpass 420 lowpass 420 \
                   overdrive 8 \
                   fade t 0.004 1.6 1.45
  layer boom_thump synth 0.7 sine 95-32 \
                   vol 0.9 \
                   fade t 0.003 0.7 0.62 pad 0 0.9
  layer boom_crack synth 0.18 whitenoise vol 0.35 \
                   highpass 900 \
                   fade t 0.001 0.18 0.16 pad 0 1.42
  mix_out boom -1 boom_body boom_thump boom_crack
  # A short room so it sounds big rather than dry; then trim the tail
  # back to a clean fade.
  sox -D -R "$out/boom.wav" "$work/boom-room.wav" pad 0 0.2 reverb 40 50 60
  sox -D -R "$work/boom-room.wav" \
      -b 16 -e signed-integer -c 1 -r $RATE -t wavpcm "$out/boom.wav" \
      fade t 0 1.8 0.6 gain -n -1
}

# One note of the win jingle: a brassy square/saw pair with a tiny attack
# and a short release, so notes are separated like tongued trumpet notes.
note() { # note NAME FREQ_OR_NOTE SECONDS
  local name=$1 f=$2 d=$3
  layer "$name" synth "$d" square "$f" sawtooth "$f" \
        remix - vol 0.5 lowpass 3000 \
        fade t 0.008 "$d" 0.04
}

# win: a battle is won. A rising fanfare in C: G C E G, a quick E G and a
# held C chord with a little vibrato.
win() {
  note w1 G4 0.11
  note w2 C5 0.11
  note w3 E5 0.11
  note w4 G5 0.22
  note w5 E5 0.10
  note w6 G5 0.10
  layer w7 synth 0.9 square C5 sawtooth E5 square G5 sawtooth C6 \
           remix - vol 0.5 lowpass 3200 \
           tremolo 6 12 \
           fade t 0.008 0.9 0.5
  sox -D -R "$work"/w{1,2,3,4,5,6,7}.wav "$work/win_line.wav"
  # 1.65 s of notes plus a short reverb tail, faded out by 1.95 s.
  sox -D -R "$work/win_line.wav" "$work/win_lead.wav" \
      pad 0 0.3 reverb 30 50 40 fade t 0.005 1.95 0.35
  mix_out win -1 win_lead
}

# sel: a click in the build phase. A short wooden pop: a falling sine blip
# with a breath of noise on its attack.
sel() {
  layer sel_pop   synth 0.07 sine 1500-500 \
                  fade t 0.002 0.07 0.055
  layer sel_tick  synth 0.02 whitenoise \
                  bandpass 3000 1.5q vol 0.4 \
                  fade t 0.001 0.02 0.017 pad 0 0.05
  mix_out sel -1 sel_pop sel_tick
}

for n in "${names[@]}"; do
  case $n in
    fire|boom|win|sel) "$n" ;;
    *) echo "make_sfx.sh: unknown effect '$n'" >&2; exit 2 ;;
  esac
done
