// The window the frame is shown in: the scale it opens at, opening it, and
// switching between the window and fullscreen while playing.
#include <algorithm>

#include "gfx.h"
#include "gfx_parts.h"
#include "layout.h"

// The scale the window has out of fullscreen, and what the game sets again
// after each new mode.
static int iWindowScale = 1;
static void (*iAgain)() = nullptr;

void gfx_on_new_mode(void (*again)()) { iAgain = again; }

// Height kept free for the window's title bar and a panel on the desktop.
static const int desktop_margin = 100;

int gfx_window_scale(int requested) {
    int w = 0, h = 0;
    if (get_desktop_resolution(&w, &h) != 0) return std::max(requested, 1);
    int fits = std::max(1, std::min(w / screen_width, (h - desktop_margin) / screen_height));
    return requested > 0 ? std::min(requested, fits) : fits;
}

int gfx_show(int card, int frame_w, int frame_h, int scale, bool fullscreen) {
    gfx_view next;
    next.fullscreen = fullscreen;
    next.scale = std::max(scale, 1);
    int w = frame_w * next.scale, h = frame_h * next.scale;
    if (fullscreen) {
        if (get_desktop_resolution(&w, &h) != 0) return -1;
        // A desktop smaller than the frame shows its middle (the offset is negative).
        next.scale = std::max(1, std::min(w / frame_w, h / frame_h));
        next.x = (w - frame_w * next.scale) / 2;
        next.y = (h - frame_h * next.scale) / 2;
    }
    const int scaled_w = frame_w * next.scale, scaled_h = frame_h * next.scale;
    BITMAP* scaled = nullptr;  // a new scaled buffer, when the one there is will not do
    if (next.scale > 1 && !(bScaled && bScaled->w == scaled_w && bScaled->h == scaled_h)) {
        scaled = create_bitmap(scaled_w, scaled_h);
        if (!scaled) return -1;
    }
    if (set_gfx_mode(card, w, h, 0, 0) != 0) {
        if (scaled) destroy_bitmap(scaled);
        return -1;
    }
    if (scaled || next.scale == 1) {
        if (bScaled) destroy_bitmap(bScaled);
        bScaled = scaled;
    }
    gfx_native_window_ready(frame_w, frame_h, next);
    gfx_send_all_again();
    if (iAgain) iAgain();
    return 0;
}

int gfx_open(bool fullscreen, int scale) {
    const int mode = GFX_PAGE_BACKBUFFER | GFX_PAGE_NONE;
    iWindowScale = std::max(scale, 1);
    gfx_setup(mode, screen_width, screen_height, 16);
    gfx_want_view(iWindowScale, fullscreen);
    if (gfx_start() == 0) return 0;
    if (!fullscreen) return -1;
    gfx_setup(mode, screen_width, screen_height, 16);  // no fullscreen here: the window
    gfx_want_view(iWindowScale, false);
    return gfx_start();
}

int gfx_set_fullscreen(bool on) {
    int mode = gfx_mode();
    if (!screen || !bDbuf || !(mode & GFX_PAGE_BACKBUFFER) ||
        (mode & (GFX_PAGE_TRIPLE | GFX_PAGE_FLIP)))
        return -1;
    if (on == view.fullscreen) return 0;
    const gfx_view was = view;
    show_mouse(nullptr);
    if (!on) gfx_native_leave_fullscreen();
    const bool keyboard_held = gfx_native_hold_keyboard();
    int done = gfx_show(GFX_AUTODETECT_WINDOWED, bDbuf->w, bDbuf->h, iWindowScale, on);
    // The mode went with a failed attempt: the one before again.
    if (done != 0 &&
        gfx_show(GFX_AUTODETECT_WINDOWED, bDbuf->w, bDbuf->h, was.scale, was.fullscreen) != 0)
        gfx_lose_display();
    if (keyboard_held) gfx_native_release_keyboard();
    return done;
}

bool gfx_fullscreen() { return view.fullscreen; }
int gfx_scale() { return view.scale; }

bool gfx_window_scalable() { return true; }
int gfx_window_scale_now() { return iWindowScale; }

int gfx_set_window_scale(int scale) {
    scale = std::max(scale, 1);
    if (view.fullscreen || scale == iWindowScale) {
        iWindowScale = scale;
        return 0;
    }
    int mode = gfx_mode();
    if (!screen || !bDbuf || !(mode & GFX_PAGE_BACKBUFFER) ||
        (mode & (GFX_PAGE_TRIPLE | GFX_PAGE_FLIP)))
        return -1;
    show_mouse(nullptr);
    const bool keyboard_held = gfx_native_hold_keyboard();
    int done = gfx_show(GFX_AUTODETECT_WINDOWED, bDbuf->w, bDbuf->h, scale, false);
    if (done == 0)
        iWindowScale = scale;
    else if (gfx_show(GFX_AUTODETECT_WINDOWED, bDbuf->w, bDbuf->h, iWindowScale, false) != 0)
        gfx_lose_display();
    if (keyboard_held) gfx_native_release_keyboard();
    return done;
}
