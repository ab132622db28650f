#!/usr/bin/env bash
# Checks the built sounds, tune, font and synthesiser set-up without playing
# anything:
#
#   bash tests/e2e/audio_media.sh BUILD_DIR
#
# - each effect is a WAV that Allegro 4's load_sample accepts (plain PCM
#   header, 16-bit mono), is not clipped, and starts and ends quietly;
# - the tune loops cleanly (every track's end marker sits on its last note,
#   on a bar line) and uses only instruments and drums the patch set has;
# - the system's patch index (which the game hands to DIGMID) names files
#   that all exist;
# - puree2.ttf is a font file.
set -uo pipefail

build=${1:?usage: audio_media.sh BUILD_DIR}
build=$(cd "$build" && pwd)
sound_src=$(cd "$(dirname "$0")/../../assets/sound" && pwd)
command -v python3 >/dev/null || { echo "FAIL: python3 is needed"; exit 1; }

python3 - "$build" "$sound_src" <<'EOF'
import os, re, struct, sys

build, sound_src = sys.argv[1], sys.argv[2]
sys.dont_write_bytecode = True   # keep the source tree clean
sys.path.insert(0, sound_src)
import tighten_midi

failures = []
def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)

media = os.path.join(build, "media")

# --- effects -------------------------------------------------------------
def read_wav(path):
    with open(path, "rb") as f:
        raw = f.read()
    if raw[:4] != b"RIFF" or raw[8:12] != b"WAVE":
        raise ValueError("not a RIFF/WAVE file")
    pos, fmt, data = 12, None, None
    while pos + 8 <= len(raw):
        kind, size = raw[pos:pos + 4], struct.unpack("<I", raw[pos + 4:pos + 8])[0]
        body = raw[pos + 8:pos + 8 + size]
        if kind == b"fmt ":
            fmt = (size,) + struct.unpack("<HHIIHH", body[:16])
        elif kind == b"data":
            data = body
        pos += 8 + size + (size & 1)
    if fmt is None or data is None:
        raise ValueError("no fmt or data chunk")
    return fmt, data

for name, longest in (("fire", 1.5), ("boom", 2.5), ("win", 3.0), ("sel", 0.3)):
    path = os.path.join(media, name + ".wav")
    try:
        (fmt_size, tag, channels, rate, _, _, bits), data = read_wav(path)
    except (OSError, ValueError) as err:
        check(False, "%s.wav: %s" % (name, err))
        continue
    # Allegro 4 reads format tag 1 only; an extensible header (tag 0xFFFE)
    # makes load_sample fail and the effect silent.
    check(tag == 1 and fmt_size == 16 and channels == 1 and bits == 16
          and rate in (22050, 44100),
          "%s.wav: plain PCM, %d ch, %d bit, %d Hz, fmt chunk %d bytes"
          % (name, channels, bits, rate, fmt_size))
    samples = struct.unpack("<%dh" % (len(data) // 2), data[: len(data) // 2 * 2])
    seconds = len(samples) / float(rate)
    peak = max(abs(s) for s in samples) if samples else 0
    # The jump from silence into the first sample and out of the last one
    # is what clicks; a fast attack right after it is fine.
    edge = max(abs(samples[0]), abs(samples[-1])) if samples else 0
    check(0.03 <= seconds <= longest, "%s.wav: %.2f s long" % (name, seconds))
    check(8000 < peak < 32767, "%s.wav: peak %d, audible and not clipped" % (name, peak))
    check(edge < 500, "%s.wav: starts and ends faded (edge %d)" % (name, edge))

# --- synthesiser set-up --------------------------------------------------
# The game reads the TiMidity index at run time and makes every patch file
# absolute against the latest "dir" line; the same reading is done here.
patches = os.environ.get("TOLLYBROOK_PATCH_INDEX", "/etc/timidity/freepats.cfg")

tones, drums = set(), set()
if patches:
    try:
        with open(patches) as f:
            lines = f.read().splitlines()
        section, bad, folder = None, [], os.path.dirname(patches)
        for line in lines:
            words = line.split()
            if not words or words[0].startswith("#"):
                continue
            if words[0] == "dir":
                folder = words[1]
            elif words[0] in ("bank", "drumset"):
                section = (words[0], words[1])
            elif words[0].isdigit():
                if not os.path.isfile(os.path.join(folder, words[1])):
                    bad.append(words[1])
                if section == ("bank", "0"):
                    tones.add(int(words[0]))
                elif section == ("drumset", "0"):
                    drums.add(int(words[0]))
        check(tones and drums and not bad,
              "patch index: %d instruments, %d drums, all existing files%s"
              % (len(tones), len(drums), "" if not bad else "; bad: " + ", ".join(bad[:3])))
    except OSError as err:
        check(False, "patch index %s: %s" % (patches, err))

# --- tune ----------------------------------------------------------------
def midi_events(raw):
    """Yields (channel, kind, first data byte) of program changes and note-ons."""
    for chunk, body in tighten_midi.tracks(raw):
        for _, start, end, status, meta in tighten_midi.track_events(body):
            if meta is None and body[start] not in (0xF0, 0xF7):
                data = body[end - (1 if status & 0xF0 in (0xC0, 0xD0) else 2):end]
                kind = status & 0xF0
                if kind == 0xC0 or (kind == 0x90 and data[1] > 0):
                    yield status & 0x0F, kind, data[0]

try:
    with open(os.path.join(media, "nbk.mid"), "rb") as f:
        tune = f.read()
    tightened, bars = tighten_midi.tighten(tune, 4)
    check(tightened == tune,
          "nbk.mid: %d bars, no pause before any end-of-track marker" % bars)
    events = list(midi_events(tune))
    programs = {d for ch, kind, d in events if kind == 0xC0 and ch != 9}
    drum_notes = {d for ch, kind, d in events if kind == 0x90 and ch == 9}
    notes = sum(1 for e in events if e[1] == 0x90)
    check(notes > 200, "nbk.mid: %d notes" % notes)
    if tones:
        check(programs and programs <= tones,
              "nbk.mid: instruments %s all in the patch set" % sorted(programs))
        check(drum_notes <= drums,
              "nbk.mid: drums %s all in the patch set" % sorted(drum_notes))
except (OSError, ValueError, IndexError) as err:
    check(False, "nbk.mid: %s" % err)

# --- font ----------------------------------------------------------------
try:
    with open(os.path.join(media, "puree2.ttf"), "rb") as f:
        magic = f.read(4)
    check(magic in (b"\x00\x01\x00\x00", b"OTTO", b"true"),
          "puree2.ttf: a TrueType/OpenType font")
except OSError as err:
    check(False, "puree2.ttf: %s" % err)

print("FAIL: %d check(s) failed" % len(failures) if failures else "PASS: the sound media are fit to play")
sys.exit(1 if failures else 0)
EOF
