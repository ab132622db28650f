// What the page manager asks of the X window after each new mode: the
// _NET_WM_ICON picture task bars read, the window manager's fullscreen
// state, the mouse read in frame pixels while the frame is shown scaled
// or away from the window's corner, the keys the player really pressed and
// the keyboard held through a switch; sending scaled frames straight into
// the window's XImage; and handing the window's pending input to Allegro at
// the start of each tick.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "gfx_parts.h"

#include <X11/Xatom.h>
#include <xalleg.h>
#include <allegro/internal/aintern.h>
#include <allegro/platform/aintunix.h>

// The window icon, the XPM picture Allegro gave the window's WM_HINTS.
extern "C" void* allegro_icon;

namespace {

// Allegro draws into _xwin.window, a child of the window the window manager
// manages, which carries the title, the class and the icon.
Window managed_window() { return _xwin.wm_window ? _xwin.wm_window : _xwin.window; }

// An XPM picture as _NET_WM_ICON wants it: width, height, then a 0xAARRGGBB
// cardinal a pixel, row by row. Empty when the picture does not read.
std::vector<unsigned long> icon_cardinals(const char* const* xpm) {
    int w = 0, h = 0, colours = 0, chars = 0;
    if (!xpm || std::sscanf(xpm[0], "%d %d %d %d", &w, &h, &colours, &chars) != 4 || w <= 0 ||
        h <= 0 || colours <= 0 || chars <= 0)
        return {};
    std::map<std::string, unsigned long> argb;
    for (int i = 1; i <= colours; i++) {
        const char* line = xpm[i];
        const char* value =
            std::strlen(line) > size_t(chars) ? std::strstr(line + chars, " c ") : nullptr;
        if (!value) return {};
        unsigned rgb = 0;
        bool opaque = std::sscanf(value + 3, " #%6x", &rgb) == 1;
        argb[std::string(line, chars)] = opaque ? 0xff000000ul | rgb : 0;
    }
    std::vector<unsigned long> out = {static_cast<unsigned long>(w), static_cast<unsigned long>(h)};
    for (int y = 0; y < h; y++) {
        const char* row = xpm[1 + colours + y];
        if (std::strlen(row) < size_t(w) * chars) return {};
        for (int x = 0; x < w; x++) {
            auto found = argb.find(std::string(row + x * chars, chars));
            out.push_back(found == argb.end() ? 0 : found->second);
        }
    }
    return out;
}

void set_icon() {
    static const std::vector<unsigned long> icon =
        icon_cardinals(static_cast<const char* const*>(allegro_icon));
    if (icon.empty()) return;
    Atom property = XInternAtom(_xwin.display, "_NET_WM_ICON", False);
    XChangeProperty(_xwin.display, managed_window(), property, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(icon.data()),
                    static_cast<int>(icon.size()));
}

// The EWMH request a window sends its window manager to enter or leave fullscreen.
void ask_fullscreen(bool on) {
    XEvent e;
    std::memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = managed_window();
    e.xclient.message_type = XInternAtom(_xwin.display, "_NET_WM_STATE", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = on ? 1 : 0;  // add or remove
    e.xclient.data.l[1] =
        static_cast<long>(XInternAtom(_xwin.display, "_NET_WM_STATE_FULLSCREEN", False));
    e.xclient.data.l[3] = 1;  // asked by the program itself
    XSendEvent(_xwin.display, DefaultRootWindow(_xwin.display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

// Allegro's X mouse driver hears of the pointer's moves as steps in window
// pixels through _xwin_mouse_interrupt. Once the frame is shown scaled the
// game's hook stands in: the driver gets the buttons and the wheel with no
// step, and the position is read from the pointer itself, in frame pixels.
void (*allegro_mouse_hook)(int, int, int, int, int) = nullptr;
int frame_width = 0, frame_height = 0;

// Where the pointer is over the frame; the caller holds Allegro's X lock.
void read_pointer() {
    Window root, child;
    int root_x, root_y, x, y;
    unsigned int buttons;
    if (!XQueryPointer(_xwin.display, _xwin.window, &root, &child, &root_x, &root_y, &x, &y,
                       &buttons))
        return;
    _mouse_x = std::clamp((x - view.x) / view.scale, 0, frame_width - 1);
    _mouse_y = std::clamp((y - view.y) / view.scale, 0, frame_height - 1);
}

// Runs on Allegro's input thread, which holds the X lock while it reads the input.
void mouse_in_frame(int, int, int z, int w, int buttons) {
    allegro_mouse_hook(0, 0, z, w, buttons);
    read_pointer();
    _handle_mouse_input();
}

// Allegro's X keyboard driver hands each key event from the server to
// _xwin_keyboard_callback before it takes the key up or down; the keys it
// takes up itself when the window loses the focus come without one. Until
// the game's hook stands in there (no X window yet) every key is the player's.
void (*allegro_key_hook)(int, int) = nullptr;
std::atomic<bool> key_hooked{false}, key_from_server{false};

void key_event_from_server(int pressed, int keycode) {
    key_from_server = true;
    if (allegro_key_hook) allegro_key_hook(pressed, keycode);
}

// Allegro's own conversion of a 16-bit pixel to the window's 32-bit one (the
// converter its X screen uses), made once for every value.
const uint32_t* colour_table() {
    static std::vector<uint32_t> table;
    static bool made = false;
    if (!made) {
        made = true;
        if (COLORCONV_BLITTER_FUNC* convert = _get_colorconv_blitter(16, 32)) {
            std::vector<uint16_t> every(65536);
            for (size_t i = 0; i < every.size(); i++) every[i] = static_cast<uint16_t>(i);
            table.resize(every.size());
            GRAPHICS_RECT from = {256, 256, 256 * 2, every.data()};
            GRAPHICS_RECT to = {256, 256, 256 * 4, table.data()};
            convert(&from, &to);
            // Not released: the converter's tables are those the X screen
            // itself converts with, and releasing them would pull them from
            // under it.
        }
    }
    return table.empty() ? nullptr : table.data();
}

// The frame as the XImage holds it, at scale 1, so that only the pixels
// that really changed are written, scale x scale times each: in a crowded
// battle the changed rectangles hold many more pixels than the walkers
// moved. Not valid after a new mode or a frame sent some other way.
std::vector<uint16_t> shown;
bool shown_valid = false;

// Rows of the frame into the XImage, each changed pixel a scale x scale
// square; everything when `all`. Pixels are compared four at a time, most
// of a changed rectangle being as it was.
template <int fixed_scale>
void widen_into(XImage* image, const BITMAP* frame, const uint32_t* colours, const gfx_rect& r,
                bool all, int any_scale = 0) {
    const int s = fixed_scale ? fixed_scale : any_scale;
    const size_t pitch = image->bytes_per_line;
    auto put = [&](char* first, int i, uint16_t value) {
        const uint32_t pixel = colours[value];
        for (int k = 0; k < s; k++) {
            uint32_t* to = reinterpret_cast<uint32_t*>(first + k * pitch) + i * s;
            for (int j = 0; j < s; j++) to[j] = pixel;
        }
    };
    for (int row = r.y; row < r.y + r.h; row++) {
        const uint16_t* from = reinterpret_cast<const uint16_t*>(frame->line[row]) + r.x;
        uint16_t* seen = shown.data() + static_cast<size_t>(row) * frame->w + r.x;
        char* first = image->data + static_cast<size_t>(view.y + row * s) * pitch +
                      static_cast<size_t>(view.x + r.x * s) * 4;
        int i = 0;
        for (; i + 4 <= r.w; i += 4) {
            uint64_t now, before;
            std::memcpy(&now, from + i, sizeof now);
            std::memcpy(&before, seen + i, sizeof before);
            if (now == before && !all) continue;
            std::memcpy(seen + i, &now, sizeof now);
            for (int q = i; q < i + 4; q++) put(first, q, from[q]);
        }
        for (; i < r.w; i++)
            if (all || from[i] != seen[i]) {
                seen[i] = from[i];
                put(first, i, from[i]);
            }
    }
}

}  // namespace

bool gfx_native_send_scaled(BITMAP* frame, const gfx_rect* rects, int count) {
    XImage* image = _xwin.ximage;
    // A software cursor would be drawn into Allegro's own copy of the screen,
    // which this path leaves behind.
    bool cursor_ok = !_mouse_screen || (gfx_capabilities & GFX_HW_CURSOR);
    if (!_xwin.display || !image || !cursor_ok || bitmap_color_depth(frame) != 16 ||
        image->bits_per_pixel != 32 || image->byte_order != LSBFirst || _xwin.scroll_x ||
        _xwin.scroll_y || !_xwin.visual || _xwin.visual->red_mask != 0xff0000 ||
        _xwin.visual->green_mask != 0xff00 || _xwin.visual->blue_mask != 0xff ||
        image->width < view.x + frame->w * view.scale ||
        image->height < view.y + frame->h * view.scale) {
        shown_valid = false;
        return false;
    }
    const uint32_t* colours = colour_table();
    if (!colours) return false;
    const size_t pixels = static_cast<size_t>(frame->w) * frame->h;
    if (shown.size() != pixels) {
        shown.assign(pixels, 0);
        shown_valid = false;
    }
    const bool all = !shown_valid;
    XLOCK();
    for (int i = 0; i < count; i++) {
        const gfx_rect& r = rects[i];
        switch (view.scale) {
            case 2: widen_into<2>(image, frame, colours, r, all); break;
            case 3: widen_into<3>(image, frame, colours, r, all); break;
            case 4: widen_into<4>(image, frame, colours, r, all); break;
            default: widen_into<0>(image, frame, colours, r, all, view.scale);
        }
        const int s = view.scale, x = view.x + r.x * s, y = view.y + r.y * s;
#ifdef ALLEGRO_XWINDOWS_WITH_SHM
        if (_xwin.use_shm)
            XShmPutImage(_xwin.display, _xwin.window, _xwin.gc, image, x, y, x, y, r.w * s, r.h * s,
                         False);
        else
#endif
            XPutImage(_xwin.display, _xwin.window, _xwin.gc, image, x, y, x, y, r.w * s, r.h * s);
    }
    XUNLOCK();
    // A whole frame leaves the XImage and the copy alike.
    if (count == 1 && rects[0].x == 0 && rects[0].y == 0 && rects[0].w == frame->w &&
        rects[0].h == frame->h)
        shown_valid = true;
    return true;
}

void gfx_native_window_ready(int frame_w, int frame_h, const gfx_view& next) {
    if (!_xwin.display) {
        view = next;
        return;
    }
    bool through_view = next.scale != 1 || next.x || next.y;
    XLOCK();
    view = next;
    shown_valid = false;  // a new XImage
    frame_width = frame_w;
    frame_height = frame_h;
    if ((through_view || allegro_mouse_hook) && _xwin_mouse_interrupt &&
        _xwin_mouse_interrupt != mouse_in_frame) {
        allegro_mouse_hook = _xwin_mouse_interrupt;
        _xwin_mouse_interrupt = mouse_in_frame;
    }
    if (_xwin_keyboard_callback != key_event_from_server) {
        allegro_key_hook = _xwin_keyboard_callback;
        _xwin_keyboard_callback = key_event_from_server;
        key_hooked = true;
    }
    set_icon();
    if (next.fullscreen) ask_fullscreen(true);
    if (allegro_mouse_hook) read_pointer();
    XFlush(_xwin.display);
    XUNLOCK();
    set_mouse_range(0, 0, frame_w - 1, frame_h - 1);
}

bool gfx_key_from_player() { return key_from_server.exchange(false) || !key_hooked; }

namespace {

// Whether the keyboard's focus is on the game's window, or follows the
// pointer (X's PointerRoot, where no window manager sets it): the key that
// asked for a switch came to the window under it. The caller holds
// Allegro's X lock.
bool has_focus() {
    Window focus;
    int revert;
    XGetInputFocus(_xwin.display, &focus, &revert);
    return focus == _xwin.window || focus == managed_window() || focus == PointerRoot;
}

}  // namespace

bool gfx_native_hold_keyboard() {
    if (!_xwin.display) return false;
    XLOCK();
    bool held =
        has_focus() && XGrabKeyboard(_xwin.display, DefaultRootWindow(_xwin.display), True,
                                     GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
    XUNLOCK();
    return held;
}

void gfx_native_release_keyboard() {
    const auto given_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    for (;;) {
        XLOCK();
        bool back = has_focus();
        XUNLOCK();
        if (back || std::chrono::steady_clock::now() > given_up) break;
        rest(5);
    }
    XLOCK();
    XUngrabKeyboard(_xwin.display, CurrentTime);
    XFlush(_xwin.display);
    XUNLOCK();
}

void gfx_native_leave_fullscreen() {
    if (!_xwin.display) return;
    XLOCK();
    ask_fullscreen(false);
    XFlush(_xwin.display);
    XUNLOCK();
}

// Allegro's input thread reads the X connection about every 10 ms; the game
// hands it what is pending at the start of each tick, so a press waits for
// no thread. The same call that thread makes, under the same lock.
void gfx_pump_input() {
    if (!_xwin.display) return;
    XLOCK();
    _xwin_handle_input();
    XUNLOCK();
}

void gfx_native_flush() {
    if (!_xwin.display) return;
    XLOCK();
    XFlush(_xwin.display);
    XUNLOCK();
}
