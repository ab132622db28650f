// Media tables, sound effects and the renderers that paint each frame.
#pragma once
#include <allegro.h>
#include <cstddef>
#include <string>
#include <vector>

#include "alfont.h"
#include "layout.h"
#include "safe_file.h"  // make_folders, for the per-user folders

class game;

extern std::string fname;  // the last path built by absolute_path
extern char tmp[64];       // scratch text for numbers on screen

extern BITMAP* bSpecTiles[5];  // palette / grid tiles, slot order
extern BITMAP* bOtTiles[5];    // ground, bottom strip, top strip, hole
extern BITMAP* bEtc[16];       // button, portraits, box, castle, granny, meteor frames
// The colour for the current colour depth.
inline int colour(rgb c) { return makecol(c.r, c.g, c.b); }

extern ALFONT_FONT* fonts[3];  // entry 0 is the one text font
extern int fh;                 // its height in pixels
extern MIDI* music;
extern SAMPLE* sfx[4];  // the effects, by sound_shot ... sound_click

#include "media_files.h"  // the slots of the tables, and the files that fill them

const int text_font_size = 38;
// The text font is drawn narrowed to this share of its width, so that the
// longest dialog line, the battle labels and the score rows fit their boxes.
const int text_font_width_percent = 60;

// A path beside the executable, e.g. absolute_path("hi.dat"). Names that
// start with "/media/" are looked up in the folder media_folder() picks.
// The text lives in fname until the next request; it is empty (and the
// reason was said on stderr) when the program cannot find its own folder.
char* absolute_path(const char* relative);

// The folder holding the running executable, from /proc/self/exe (any
// length, any bytes); empty when it cannot be found.
std::string executable_folder();

// A per-user folder of the XDG kind: $VARIABLE when it holds an absolute
// path, else $HOME/UNDER_HOME (e.g. "XDG_DATA_HOME", ".local/share"); empty
// when neither is usable.
std::string user_folder(const char* variable, const char* under_home);

// Where the pictures, sounds and font are read from: $TOLLYBROOK_DATA when
// set; else the first folder that exists of media/ beside the executable,
// the install's data folder reached from the executable's folder, and the
// data folder the build was configured with; else media/ beside the
// executable.
std::string media_folder();

// True for an installed copy: one whose media come from the install's data
// folder (reached from its own folder or configured at build time), not
// from media/ beside it nor from $TOLLYBROOK_DATA. An installed copy writes
// nothing beside itself.
bool runs_installed();

// Gives Allegro's MIDI synthesiser the system's patch set, unless the
// player's own Allegro configuration names one. Call before install_sound.
void use_system_midi_patches();
// A TiMidity patch index rewritten for Allegro's synthesiser, which looks
// every patch file up beside the index and ignores "dir" lines: each patch
// file becomes an absolute path. Empty when the index lists no patch.
std::string absolute_patch_index(const std::string& timidity_index,
                                 const std::string& index_folder);

int load_data();
// The sound. open_sound installs Allegro's sound drivers (once); start_tune
// plays the tune from its start, if there is a MIDI driver to play it.
// set_sound_on turns the tune and the effects off or on at once, opening the
// sound card first if the game started muted; hold_tune(true) holds the tune
// while the game is paused, and it plays again when both allow.
void open_sound();
void start_tune();
void set_sound_on(bool on);
bool sound_on();
void hold_tune(bool held);
int unload_data();

// Plays one of the sound effects (sound_shot ... sound_click) once;
// anything else is ignored.
void play(int index);
// Tests listen here to hear which effects the game asked for.
extern void (*on_play)(int index);

// Paints the frame into target. Into the page manager's back buffer it
// repaints only what changed since the frame it drew there last, and tells
// the page manager which parts those are.
void draw(BITMAP* target, game* g);
void draw_dialog(BITMAP* target, game* g);
// The build phase's grid lines and palette panel, drawn whole over the field.
void draw_build_overlay(BITMAP* target, const game* g);
// The "PAUSED" banner, centred on the frame already drawn.
void draw_pause_banner(BITMAP* target);
// "Sound on" or "Sound off", drawn like the pause banner, above it.
void draw_sound_note(BITMAP* target, bool on);
// The help card over the frame: the tiles, how a level goes, the keys.
void draw_help_card(BITMAP* target);
// Frees the help card's picture (it is made again when next shown).
void forget_help_card();
// One short line over the bottom of the frame (the scene's pixels are
// repainted next frame), like the pause banner.
void draw_notice(BITMAP* target, const char* text);
void draw_score(BITMAP* target, const std::vector<int>* scores, int current);

// Forgets the composed scene and the frame kept in the back buffer: call it
// whenever a picture of the media tables is replaced or changed. (Changes in
// the game record are found by draw itself.)
void invalidate_scene();
// Something other than draw painted over the frame in target (a banner drawn
// last, say): the part is presented with this frame and repainted with the next.
void frame_overdrawn(BITMAP* target, int x, int y, int w, int h);

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
