#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
"""Makes a MIDI file loop cleanly.

    tighten_midi.py IN.mid OUT.mid [BEATS_PER_BAR]

abc2midi leaves a few ticks of silence between a track's last note and its
end-of-track marker. The game loops the tune by starting over when the data
ends, so that silence would be a stutter at every loop. This moves each
end-of-track marker onto the track's last event, then checks that the tune
now ends exactly on a bar line (a bar typed one beat short in the score
would otherwise go unnoticed until it limps at the loop).
"""
import struct
import sys


def read_varlen(data, pos):
    value = 0
    while True:
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return value, pos


def write_varlen(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def track_events(data):
    """Walks one track's bytes. Yields (delta, start, end, status, kind) per
    event: data[start:end] is the event as stored (without its delta),
    status the running status in force, kind the meta type for meta events
    (0x2F is end-of-track) and None otherwise."""
    pos = 0
    status = 0
    while pos < len(data):
        delta, pos = read_varlen(data, pos)
        start = pos
        byte = data[pos]
        kind = None
        if byte == 0xFF:
            kind = data[pos + 1]
            length, pos = read_varlen(data, pos + 2)
            pos += length
        elif byte in (0xF0, 0xF7):
            length, pos = read_varlen(data, pos + 1)
            pos += length
        else:
            if byte & 0x80:
                status = byte
                pos += 1
            elif not status:
                raise ValueError("running status without a status byte")
            pos += 1 if status & 0xF0 in (0xC0, 0xD0) else 2
        yield delta, start, pos, status, kind


def tracks(raw):
    """Yields (chunk type, chunk body) for every chunk after the header."""
    pos = 8 + struct.unpack(">I", raw[4:8])[0]
    while pos < len(raw):
        size = struct.unpack(">I", raw[pos + 4:pos + 8])[0]
        yield raw[pos:pos + 4], raw[pos + 8:pos + 8 + size]
        pos += 8 + size


def tighten_track(data):
    """Returns (new track bytes, length of the track in ticks)."""
    tick = 0
    out = bytearray()
    for delta, start, end, _, kind in track_events(data):
        if kind == 0x2F:
            # The end marker: no delay before it.
            out += write_varlen(0) + data[start:end]
            return bytes(out), tick
        tick += delta
        out += write_varlen(delta) + data[start:end]
    raise ValueError("track has no end-of-track marker")


def tighten(raw, beats_per_bar):
    if raw[:4] != b"MThd":
        raise ValueError("not a MIDI file")
    header_len = struct.unpack(">I", raw[4:8])[0]
    division = struct.unpack(">H", raw[12:14])[0]
    if division & 0x8000:
        raise ValueError("SMPTE time division is not supported")
    out = bytearray(raw[:8 + header_len])
    song_ticks = 0
    for kind, body in tracks(raw):
        if kind == b"MTrk":
            body, ticks = tighten_track(body)
            song_ticks = max(song_ticks, ticks)
        out += kind + struct.pack(">I", len(body)) + body
    bar = beats_per_bar * division
    if song_ticks == 0 or song_ticks % bar:
        raise ValueError("tune is %d ticks long, not a whole number of %d-tick bars"
                         % (song_ticks, bar))
    return bytes(out), song_ticks // bar


def main(argv):
    if len(argv) not in (3, 4):
        sys.stderr.write(__doc__)
        return 2
    beats = int(argv[3]) if len(argv) == 4 else 4
    with open(argv[1], "rb") as f:
        raw = f.read()
    try:
        fixed, bars = tighten(raw, beats)
    except ValueError as err:
        sys.stderr.write("%s: %s\n" % (argv[1], err))
        return 1
    with open(argv[2], "wb") as f:
        f.write(fixed)
    print("%s: %d bars, ends on the bar line" % (argv[2], bars))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
