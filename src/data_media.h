// The media tables and the sound, beyond what data_handler.h gives the rest
// of the game: the loaded pictures, the font's size, the tune and the
// effects, and the checks untrusted files pass before Allegro's loaders.
#pragma once
#include <allegro.h>

#include <cstddef>

#include "data_handler.h"
#include "layout.h"

extern BITMAP* bSpecTiles[5];  // palette / grid tiles, slot order
extern BITMAP* bOtTiles[5];    // ground, bottom strip, top strip, hole
extern BITMAP* bEtc[16];       // button, portraits, box, castle, granny, meteor frames
// The colour for the current colour depth.
inline int colour(rgb c) { return makecol(c.r, c.g, c.b); }

extern int fh;  // the text font's height in pixels
extern MIDI* music;
extern SAMPLE* sfx[4];  // the effects, by sound_shot ... sound_click

const int text_font_size = 38;
// The text font is drawn narrowed to this share of its width, so that the
// longest dialog line, the battle labels and the score rows fit their boxes.
const int text_font_width_percent = 60;

// Plays the tune from its start, if there is a MIDI driver to play it.
void start_tune();

// Tests listen here to hear which effects the game asked for.
extern void (*on_play)(int index);

// ---- the checks (data_checks.cpp)

// load_bitmap, but only for files whose header promises a sane,
// uncompressed BMP: Allegro's loader can be broken by hostile files.
BITMAP* load_checked_bitmap(const char* path);

// Why a MIDI file may not go to Allegro's loader and player, or nullptr when
// it may: the header (format 0 or 1, 1 to 32 tracks, a division in ticks per
// beat above 0), each track inside the file, and each event inside its track
// with short variable-length numbers and running status only after a
// channel event. The text names the first fault found.
const char* midi_fault(const unsigned char* data, size_t size);
// The same for a file; a file over 1 MiB is refused unread, and one that
// cannot be opened gets the system's reason.
const char* midi_file_fault(const char* path);
