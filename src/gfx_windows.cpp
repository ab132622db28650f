// The Windows counterpart of gfx_x11.cpp: what the page manager asks of the
// window after each new mode. Allegro's DirectDraw window gets the scaled
// frame through Allegro's blit and presents it itself, so nothing is sent
// straight or flushed here; the mouse is read in frame pixels through the
// view.
#include <algorithm>

#include "gfx_parts.h"

namespace {

int frame_width = 640, frame_height = 480;

// The hook that was there before the view's (the game keeps each button
// change through it): called after, with the pointer in frame pixels.
void (*later_hook)(int) = nullptr;

// Allegro calls this on its input thread just after it set mouse_x and
// mouse_y from the pointer's place in the window (at scale 1 in the
// window's corner the two are the same).
void mouse_in_frame(int flags) {
    mouse_x = std::clamp((mouse_x - view.x) / view.scale, 0, frame_width - 1);
    mouse_y = std::clamp((mouse_y - view.y) / view.scale, 0, frame_height - 1);
    if (later_hook) later_hook(flags);
}
END_OF_FUNCTION(mouse_in_frame)

}  // namespace

void gfx_native_window_ready(int frame_w, int frame_h, const gfx_view& next) {
    frame_width = frame_w;
    frame_height = frame_h;
    view = next;
    static bool hooked = false;
    if (!hooked) {  // chained once, in front of any hook already there
        hooked = true;
        later_hook = mouse_callback;
        mouse_callback = mouse_in_frame;
    }
}

bool gfx_native_send_scaled(BITMAP*, const gfx_rect*, int) { return false; }
void gfx_native_leave_fullscreen() {}
void gfx_native_flush() {}
// Allegro's DirectInput thread takes the keys and the mouse as Windows
// delivers them; there is nothing queued for the game to hand over.
void gfx_pump_input() {}
// Windows keeps the keyboard's focus on the window through a mode change,
// so there is nothing to hold, and every key change is the player's.
bool gfx_native_hold_keyboard() { return false; }
void gfx_native_release_keyboard() {}
bool gfx_key_from_player() { return true; }
