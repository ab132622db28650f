// The web page's side of the page manager: Allegro's screen is a plain
// frame in memory, handed to the page's <canvas> after each frame through
// putImageData; the page's keys, mouse and visibility come in as Allegro's
// own drivers hand them over, at the start of each tick. The page scales
// the canvas itself (whole-number scale, sharp pixels) and does its own
// fullscreen, so the game's view here is always the frame at scale 1.
#include <allegro.h>
#include <allegro/internal/aintern.h>
#include <emscripten.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gfx_parts.h"

// ---------------------------------------------------------------- the screen

// The page's JavaScript below is laid out by hand.
// clang-format off

// Draws the frame (16-bit pixels, `pitch` bytes a row) into the canvas,
// each pixel through `colours` (65536 RGBA words, as the canvas lays them).
// The ImageData is kept between frames; the canvas stays in memory, where
// putImageData writes it anyway.
EM_JS(void, web_present, (const uint16_t* pixels, int pitch, int w, int h, const uint32_t* colours), {
    const canvas = Module.canvas;
    if (canvas.width != w || canvas.height != h) {
        canvas.width = w;
        canvas.height = h;
        Module.frameImage = null;
    }
    if (!Module.frameImage) {
        Module.frameContext = canvas.getContext('2d', {alpha: false, willReadFrequently: true});
        Module.frameImage = Module.frameContext.createImageData(w, h);
        Module.frameWords = new Uint32Array(Module.frameImage.data.buffer);
    }
    const out = Module.frameWords, table = HEAPU32, source = HEAPU16;
    const tableAt = colours >> 2, rowWords = pitch >> 1;
    for (let y = 0, o = 0; y < h; y++) {
        let at = (pixels >> 1) + y * rowWords;
        for (let x = 0; x < w; x++) out[o++] = table[tableAt + source[at++]];
    }
    Module.frameContext.putImageData(Module.frameImage, 0, 0);
    if (Module.onFrame) Module.onFrame();
});

// Shows or hides the page's own pointer over the canvas (the game's pointer
// is the system's, as the hardware cursor is on the desktop).
EM_JS(void, web_show_pointer, (int shown), {
    Module.canvas.style.cursor = shown ? 'default' : 'none';
});

// clang-format on

namespace {

// Every 16-bit pixel as the canvas's RGBA word, built from Allegro's own
// pixel layout (which is not the desktop's): each channel's top bits kept,
// widened by repeating them, so a pixel reads back as the same 16 bits.
std::vector<uint32_t> colour_table() {
    std::vector<uint32_t> table(65536);
    for (uint32_t v = 0; v < 65536; v++) {
        uint32_t r = (v >> _rgb_r_shift_16) & 31, g = (v >> _rgb_g_shift_16) & 63,
                 b = (v >> _rgb_b_shift_16) & 31;
        r = (r << 3) | (r >> 2);
        g = (g << 2) | (g >> 4);
        b = (b << 3) | (b >> 2);
        table[v] = 0xff000000u | (b << 16) | (g << 8) | r;
    }
    return table;
}

unsigned char* screen_memory = nullptr;

BITMAP* page_init(int w, int h, int, int, int depth) {
    if (depth != 16) return nullptr;
    std::free(screen_memory);
    screen_memory = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(w) * h, 2));
    if (!screen_memory) return nullptr;
    gfx_driver->w = w;
    gfx_driver->h = h;
    gfx_driver->vid_mem = w * h * 2;
    return _make_bitmap(w, h, reinterpret_cast<uintptr_t>(screen_memory), gfx_driver, depth, w * 2);
}

void page_exit(BITMAP*) {
    std::free(screen_memory);
    screen_memory = nullptr;
}

// The pointer is the page's: Allegro treats it as a hardware cursor and
// draws none into the frame.
int page_pointer_sprite(BITMAP*, int, int) { return 0; }
int page_show_pointer(BITMAP*, int, int) {
    web_show_pointer(1);
    return 0;
}
void page_hide_pointer() { web_show_pointer(0); }
void page_move_pointer(int, int) {}

}  // namespace

GFX_DRIVER gfx_web_page = [] {
    GFX_DRIVER d{};
    d.id = AL_ID('W', 'E', 'B', 'P');
    d.name = d.desc = d.ascii_name = "web page canvas";
    d.init = page_init;
    d.exit = page_exit;
    d.set_mouse_sprite = page_pointer_sprite;
    d.show_mouse = page_show_pointer;
    d.hide_mouse = page_hide_pointer;
    d.move_mouse = page_move_pointer;
    d.w = 640;
    d.h = 480;
    d.linear = TRUE;
    d.windowed = TRUE;
    return d;
}();

void gfx_native_window_ready(int, int, const gfx_view& next) { view = next; }
bool gfx_native_send_scaled(BITMAP*, const gfx_rect*, int) { return false; }
void gfx_native_leave_fullscreen() {}
bool gfx_native_hold_keyboard() { return false; }
void gfx_native_release_keyboard() {}
bool gfx_key_from_player() { return true; }

void gfx_native_flush() {
    static const std::vector<uint32_t> colours = colour_table();
    if (!screen || !screen_memory) return;
    web_present(reinterpret_cast<const uint16_t*>(screen_memory), screen->w * 2, screen->w,
                screen->h, colours.data());
}

// ---------------------------------------------------------------- input

// clang-format off
// The page queues its key, mouse and visibility events; the first comes out
// as four numbers: its kind and what goes with it (0 when the queue is
// empty), and stays queued until web_drop_event.
EM_JS(int, web_peek_event, (int* out), {
    const e = Module.inputQueue && Module.inputQueue[0];
    if (!e) return 0;
    HEAP32[(out >> 2) + 1] = e[1] | 0;
    HEAP32[(out >> 2) + 2] = e[2] | 0;
    HEAP32[(out >> 2) + 3] = e[3] | 0;
    return e[0];
});
EM_JS(void, web_drop_event, (), { Module.inputQueue.shift(); });

// The browser's pad (the first one in its "standard" layout, as the Gamepad
// API maps the common pads) as four numbers: the left stick's two axes and
// the d-pad's (-128 to 128 each), then a bit for each button held,
// numbered as Linux numbers those of the common pads (A, B, X, Y, the
// shoulders, Back, Start). All at rest with no pad: a browser shows a pad
// only once one of its buttons is pressed.
EM_JS(void, web_read_pad, (int* out), {
    const pads = navigator.getGamepads ? navigator.getGamepads() : [];
    let pad = null;
    for (const p of pads) if (p && p.connected && p.mapping === 'standard') { pad = p; break; }
    const at = out >> 2;
    for (let i = 0; i < 5; i++) HEAP32[at + i] = 0;
    if (!pad) return;
    const axis = (v) => Math.max(-128, Math.min(128, Math.round((v || 0) * 128)));
    const held = (b) => !!(pad.buttons[b] && pad.buttons[b].pressed);
    HEAP32[at] = axis(pad.axes[0]);
    HEAP32[at + 1] = axis(pad.axes[1]);
    HEAP32[at + 2] = (held(15) ? 128 : 0) - (held(14) ? 128 : 0);
    HEAP32[at + 3] = (held(13) ? 128 : 0) - (held(12) ? 128 : 0);
    // The standard layout's A B X Y, shoulders, Back (8) and Start (9).
    const fromStandard = [0, 1, 2, 3, 4, 5, 8, 9];
    let bits = 0;
    fromStandard.forEach((b, i) => { if (held(b)) bits |= 1 << i; });
    HEAP32[at + 4] = bits;
});

// clang-format on

namespace {

// The kinds of the page's events (web/page.js says the same).
enum page_event { key_down = 1, key_up = 2, mouse = 3, page_hidden = 4, page_shown = 5 };

// The page's keyboard and mouse are Allegro's drivers: they only say they
// are there; the events come through gfx_pump_input.
int page_device_init() { return 0; }
int page_mouse_init() { return 3; }  // buttons
void page_device_exit() {}

KEYBOARD_DRIVER page_keyboard = [] {
    KEYBOARD_DRIVER d{};
    d.id = AL_ID('W', 'E', 'B', 'K');
    d.name = d.desc = d.ascii_name = "web page keys";
    d.init = page_device_init;
    d.exit = page_device_exit;
    return d;
}();
MOUSE_DRIVER page_mouse = [] {
    MOUSE_DRIVER d{};
    d.id = AL_ID('W', 'E', 'B', 'M');
    d.name = d.desc = d.ascii_name = "web page mouse";
    d.init = page_mouse_init;
    d.exit = page_device_exit;
    return d;
}();

}  // namespace

// The page's pad: always there as Allegro's one joystick, at rest until the
// browser shows a pad, so a pad picked up at any time plays. Its sticks are
// the left stick and the d-pad, as Linux gives them.
namespace {

const char* const pad_button_names[] = {"A", "B", "X", "Y", "LB", "RB", "Back", "Start"};
const int pad_button_count = sizeof pad_button_names / sizeof *pad_button_names;

int page_pad_init() {
    num_joysticks = 1;
    JOYSTICK_INFO& pad = joy[0];
    pad.flags = JOYFLAG_DIGITAL | JOYFLAG_ANALOGUE;
    pad.num_sticks = 2;
    for (int s = 0; s < 2; s++) {
        pad.stick[s].flags = JOYFLAG_DIGITAL | JOYFLAG_ANALOGUE | JOYFLAG_SIGNED;
        pad.stick[s].num_axis = 2;
        pad.stick[s].name = s == 0 ? "Stick" : "D-pad";
        pad.stick[s].axis[0].name = "X";
        pad.stick[s].axis[1].name = "Y";
    }
    pad.num_buttons = pad_button_count;
    for (int b = 0; b < pad_button_count; b++) pad.button[b].name = pad_button_names[b];
    return 0;
}

int page_pad_poll() {
    int read[5];
    web_read_pad(read);
    for (int a = 0; a < 4; a++) {
        JOYSTICK_AXIS_INFO& axis = joy[0].stick[a / 2].axis[a % 2];
        axis.pos = read[a];
        axis.d1 = read[a] < -64;  // left or up, as Allegro's own drivers read it
        axis.d2 = read[a] > 64;
    }
    for (int b = 0; b < pad_button_count; b++) joy[0].button[b].b = (read[4] >> b) & 1;
    return 0;
}

JOYSTICK_DRIVER page_pad = [] {
    JOYSTICK_DRIVER d{};
    d.id = AL_ID('W', 'E', 'B', 'J');
    d.name = d.desc = d.ascii_name = "web page pad";
    d.init = page_pad_init;
    d.exit = page_device_exit;
    d.poll = page_pad_poll;
    return d;
}();

}  // namespace

_DRIVER_INFO gfx_web_pads[] = {{page_pad.id, &page_pad, TRUE}, {0, nullptr, 0}};
_DRIVER_INFO gfx_web_keyboards[] = {{page_keyboard.id, &page_keyboard, TRUE}, {0, nullptr, 0}};
_DRIVER_INFO gfx_web_mice[] = {{page_mouse.id, &page_mouse, TRUE}, {0, nullptr, 0}};
_DRIVER_INFO gfx_web_screens[] = {{gfx_web_page.id, &gfx_web_page, TRUE}, {0, nullptr, 0}};

// Each queued event goes to Allegro in turn, as a driver hands it over.
// The game looks at the keys and buttons once a tick, so a tick takes one
// change of each key and button only: a key or a button that changed in
// this tick and changes again waits for the next one, and no press is lost
// however short (a tick later at most for each change after the first).
void gfx_pump_input() {
    int e[4] = {0, 0, 0, 0};
    bool keys_changed[KEY_MAX] = {};
    int buttons_before = _mouse_b, buttons_changed = 0;
    while ((e[0] = web_peek_event(e)) != 0) {
        const bool is_key = (e[0] == key_down || e[0] == key_up) && e[1] > 0 && e[1] < KEY_MAX;
        if (is_key && keys_changed[e[1]]) break;
        if (e[0] == mouse && (buttons_changed & (e[3] ^ _mouse_b))) break;
        web_drop_event();
        if (is_key) keys_changed[e[1]] = true;
        switch (e[0]) {
            case key_down: _handle_key_press(e[2], e[1]); break;
            case key_up: _handle_key_release(e[1]); break;
            case mouse:
                _mouse_x = e[1];
                _mouse_y = e[2];
                _mouse_b = e[3];
                buttons_changed |= e[3] ^ buttons_before;
                _handle_mouse_input();
                break;
            case page_hidden: _switch_out(); break;
            case page_shown: _switch_in(); break;
        }
    }
}
