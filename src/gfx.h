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

// What sending a w x h rectangle to the window costs, counted in pixels
// converted. Allegro converts a rectangle for the window row by row, and in
// the window a row costs about as much again as converting 150 pixels: 20x384
// pixels cost 50 us a frame here, 640x100 pixels 63 us. Scaled, the
// rectangle costs its window pixels and rows: scale x scale times the pixels,
// so fewer rectangles are worth joining.
long gfx_send_cost(int w, int h);

// The page-mode flags really in effect (after gfx_start's fallbacks).
int gfx_mode();

// The window. The game always draws its 640x480 frame into bDbuf; the
// window shows it at a whole-number scale with sharp pixels, and fullscreen
// shows it centred on black at the largest scale the screen holds. Only what
// changed is scaled and sent. The mouse reads in frame pixels at every scale.
// Scaling needs the back buffer alone (no video pages): else the scale is 1.
// The scale a window opens at: `requested` when above 0, else the largest
// whose window fits the desktop with room for a title bar and a panel.
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
// What Allegro forgets at a new mode (the cursor, the title, the display
// switch mode and its callbacks): `again` sets it, called after gfx_open's
// mode and after each switch.
void gfx_on_new_mode(void (*again)());

// Hands the window's pending input events to Allegro now, rather than when
// its input thread next looks (nothing to do where there is no X window).
void gfx_pump_input();
