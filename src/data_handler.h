// Media tables, sound effects and the renderers that paint each frame.
#pragma once
#include <allegro.h>
#include <vector>

#include "alfont.h"

class game;

extern char buf[256];    // the executable's file name, per path request
extern char fname[256];  // the last path built by absolute_path
extern char tmp[64];     // scratch text for numbers on screen

extern BITMAP* bSpecTiles[5];  // palette / grid tiles, slot order
extern BITMAP* bOtTiles[5];    // ground, bottom strip, top strip, hole
extern BITMAP* bEtc[16];       // button, portraits, box, castle, granny, meteor frames
extern ALFONT_FONT* fonts[3];  // entry 0 is the one text font
extern int fh;                 // its height in pixels
extern MIDI* music;
extern SAMPLE* sfx[4];

// Indices into bEtc.
enum {
    start_picture = 0,
    dialog_box_picture = 3,
    castle_picture = 4,
    granny_picture = 6,
    meteor_pictures = 7,  // 3 flames then 4 explosion frames
};

const int text_font_size = 38;

// A path beside the executable, e.g. absolute_path("/media/tile.bmp").
// The text lives in fname until the next request.
char* absolute_path(const char* relative);

int load_data();
int unload_data();

// Plays sound effect 0..3 once; anything else is ignored.
void play(int index);
// Tests listen here to hear which effects the game asked for.
extern void (*on_play)(int index);

// Paints the frame into target. Into the page manager's back buffer it
// repaints only what changed since the frame it drew there last, and tells
// the page manager which parts those are.
void draw(BITMAP* target, game* g);
void draw_dialog(BITMAP* target, game* g);
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
