// What the page manager's files share: how the frame stands on the screen
// (its scale and where its top left corner is), the scaled copy of the back
// buffer that Allegro's blit sends from when the XImage cannot be written
// straight (see gfx_native_send_scaled), and the part each system's window does
// its own way (gfx_x11.cpp on Linux, gfx_windows.cpp, gfx_web.cpp).
#pragma once
#include <allegro.h>

#include "gfx.h"  // gfx_rect

struct gfx_view {
    int scale = 1;            // screen pixels a frame pixel takes, each way
    int x = 0, y = 0;         // the frame's top left corner on the screen
    bool fullscreen = false;  // the screen fills the desktop, black round the frame
};
extern gfx_view view;

// The back buffer at the view's scale (nullptr at scale 1), made with each mode.
extern BITMAP* bScaled;

// The scale a window opens at, asked for before gfx_start, and whether it
// fills the desktop; gfx_start falls back to scale 1 without a back buffer.
void gfx_want_view(int scale, bool fullscreen);

// Sets the mode that shows a frame_w x frame_h frame at `scale` in a window,
// or fullscreen (at the largest scale the desktop holds, centred), and sets
// the view, the scaled buffer, the window's extras (gfx_native_window_ready) and what
// gfx_on_new_mode asked for. 0 when done, -1 when the mode could not be had.
int gfx_show(int card, int frame_w, int frame_h, int scale, bool fullscreen);

// After a new mode: the next gfx_update sends the whole frame and paints
// the bars round it black.
void gfx_send_all_again();
// No mode at all any more: gfx_update and gfx_end do nothing.
void gfx_lose_display();

// After each new mode: the view becomes `next` (the mouse reads through it
// from then on), and the system's window gets what it needs; under X: the
// _NET_WM_ICON picture, the window manager asked for fullscreen or not, and
// the mouse read in frame pixels through the view.
void gfx_native_window_ready(int frame_w, int frame_h, const gfx_view& next);
// Asks the window manager to take the window out of fullscreen.
void gfx_native_leave_fullscreen();
// Each new mode withdraws the window and maps it again, and in between the
// keyboard's focus is no window's: keys pressed or let go then went to the
// desktop. Held (when the window has the focus; true then), the keyboard
// reports to the game throughout; it is let go once the window has the
// focus again, or after 0.3 s.
bool gfx_native_hold_keyboard();
void gfx_native_release_keyboard();
// Sends what Allegro queued for the window at once (with no display, nothing).
void gfx_native_flush();

// Sends rectangles of the 16-bit frame to the window at the view's scale,
// straight into Allegro's XImage: each frame pixel converted once, then
// widened. False, and nothing sent, where that cannot be done here (another
// pixel format, no hardware cursor, no X): Allegro's blit does it then.
bool gfx_native_send_scaled(BITMAP* frame, const gfx_rect* rects, int count);
