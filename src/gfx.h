// Display page manager: opens the display and presents each finished frame.
// Callers draw into bDraw, then call gfx_update().
#pragma once
#include <allegro.h>

// Page-mode flags for gfx_setup.
enum {
    GFX_PAGE_BACKBUFFER = 1,  // draw into a system-memory buffer, copy it out
    GFX_PAGE_TRIPLE = 2,      // three video pages, requested in turn
    GFX_PAGE_FLIP = 4,        // two video pages, flipped
    GFX_PAGE_NONE = 8,        // no effect
    GFX_PAGE_ANY_DRIVER = 16  // let Allegro choose fullscreen or window
};

extern BITMAP* bDraw;      // where the next frame is drawn
extern BITMAP* vPages[3];  // video pages for flipping / triple buffering
extern BITMAP* bDbuf;      // back buffer in system memory

int gfx_setup(int mode, int width, int height, int depth);
int gfx_start();
int gfx_update();
int gfx_end();

// Presenting only what changed. gfx_update copies the whole back buffer
// unless the frame was tracked: a renderer that knows what it changed since
// the last frame calls gfx_track_changes() once and gfx_changed() for each
// rectangle it touched, and with the back buffer alone only those rectangles
// reach the screen. Anything else drawing into a tracked frame reports its
// rectangle with gfx_changed() too. Each gfx_update ends the tracking.
void gfx_track_changes();
void gfx_changed(int x, int y, int w, int h);

// A rectangle of the frame, in frame pixels.
struct gfx_rect {
    int x, y, w, h;
};
// The rectangles reported since gfx_track_changes, as the page manager
// joined them (see gfx.cpp for what joining costs), their count in *count;
// the whole frame when the frame is not tracked. A renderer repaints these:
// what it paints is then what is sent.
const gfx_rect* gfx_changed_rects(int* count);
// Whether `b` is the back buffer, which keeps the last frame drawn into it
// and whose changes the page manager sends.
bool gfx_is_back_buffer(const BITMAP* b);

// The page-mode flags really in effect (after gfx_start's fallbacks).
int gfx_mode();

// The window. The game always draws its 640x480 frame into bDbuf; the
// window shows it at a whole-number scale with sharp pixels, and fullscreen
// shows it centred on black at the largest scale the screen holds (at 1 on
// a screen smaller than the frame: its middle). Only what changed is scaled
// and sent. The mouse reads in frame pixels at every scale.
// Scaling needs the back buffer alone (no video pages): else the scale is 1.
// The scale a window opens at: the largest whose window fits the desktop
// with room for a title bar and a panel, up to `requested` when that is above
// 0; at least 1 (the 640x480 window on a desktop smaller than that), and
// `requested` when the desktop's size is not known.
int gfx_window_scale(int requested);
// Opens the display with the back buffer: fullscreen (the window where that
// cannot be had) or a window at `scale` (see gfx_window_scale). 0 when open.
int gfx_open(bool fullscreen, int scale);
// Switches between the window and fullscreen while playing; the next
// gfx_update sends the whole frame, which bDbuf keeps. 0 when done, -1 when
// the mode could not be had (the display is then as it was).
int gfx_set_fullscreen(bool on);
bool gfx_fullscreen();
int gfx_scale();
// The window's scale (also while fullscreen, for the way back), and changing
// it while playing: at once in the window, on leaving fullscreen otherwise.
// 0 when done, -1 when that window could not be had (it stays as it was).
// Whether there is a window whose scale the player may choose (on the
// desktop; not where the frame lives in a page).
bool gfx_window_scalable();
int gfx_window_scale_now();
int gfx_set_window_scale(int scale);
// Whether the key Allegro has just taken up or down (asked once from a
// keyboard_lowlevel_callback) came from the player: not the keys it takes up
// itself when the window loses the focus (each switch does), which the
// player may still hold.
bool gfx_key_from_player();
// What Allegro forgets at a new mode (the cursor, the title, the display
// switch mode and its callbacks): `again` sets it, called after gfx_open's
// mode and after each switch.
void gfx_on_new_mode(void (*again)());

// Hands the window's pending input events to Allegro now, rather than when
// its input thread next looks (nothing to do where there is no X window).
void gfx_pump_input();
