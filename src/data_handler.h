// The presentation as the rest of the game sees it: where its files live,
// the media and the sound, and drawing each frame. What only the
// presentation's own files (and the tests) use is in data_paths.h,
// data_media.h and data_render.h.
#pragma once
#include <allegro.h>

#include <string>
#include <vector>

#include "alfont.h"
#include "media_files.h"  // the slots of the tables and the sounds play() takes

class game;
struct options_view;  // game.h

// ---- where things live (data_paths.cpp)

// A path beside the executable, e.g. absolute_path("hi.dat"). Names that
// start with "/media/" are looked up in the folder media_folder() picks.
// The text lives in fname until the next request; it is empty (and the
// reason was said on stderr) when the program cannot find its own folder.
char* absolute_path(const char* relative);

// True for an installed copy: one whose media come from the install's data
// folder (reached from its own folder or configured at build time), not
// from media/ beside it nor from $TOLLYBROOK_DATA. An installed copy writes
// nothing beside itself.
bool runs_installed();

// ---- the media and the sound (data_media.cpp)

int load_data();
int unload_data();
extern ALFONT_FONT* fonts[3];  // entry 0 is the one text font

// The sound. open_sound installs Allegro's sound drivers (once);
// set_sound_on turns the tune and the effects off or on at once, opening the
// sound card first if the game started muted; hold_tune(true) holds the tune
// while the game is paused, and it plays again when both allow.
void open_sound();
void set_sound_on(bool on);
bool sound_on();
void hold_tune(bool held);

// Plays one of the sound effects (sound_shot ... sound_click) once;
// anything else is ignored.
void play(int index);

// ---- the volumes (data_volume.cpp)

// The music's and the effects' volumes, each 0 to 100 % (100 by default),
// as the player chose them: held here alone and handed to Allegro's
// set_volume (digital: the effects, MIDI: the music), where get_volume reads
// them. M turns the sound off and on and leaves them as they are.
void set_volumes(int music_percent, int effects_percent);
int music_volume();
int effects_volume();
// A percentage brought into 0 to 100.
int clamped_volume(int percent);
// Hands the volumes to Allegro again (installing the sound resets them).
void apply_volumes();
// What an effect played at `volume` (0 to 255) is given, so that it sounds
// at the effects' volume whatever the mixer's.
int effect_share(int volume);

// ---- drawing (data_render*.cpp)

// Paints the frame into target. Into the page manager's back buffer it
// repaints only what changed since the frame it drew there last, and tells
// the page manager which parts those are.
void draw(BITMAP* target, const game* g);
// The "PAUSED" banner, centred on the frame already drawn.
void draw_pause_banner(BITMAP* target);
// "Sound on" or "Sound off", drawn like the pause banner, above it.
void draw_sound_note(BITMAP* target, bool on);
// The help card over the frame: the tiles, how a level goes, the keys.
void draw_help_card(BITMAP* target);
// The options card over the frame, its rows' buttons where layout.h puts them.
void draw_options_card(BITMAP* target, const options_view& shown);
// Frees the card kept from the last frame (its font may go).
void forget_options_card();
// One short line over the bottom of the frame (the scene's pixels are
// repainted next frame), like the pause banner.
void draw_notice(BITMAP* target, const char* text);
void draw_score(BITMAP* target, const std::vector<int>* scores, int current);
