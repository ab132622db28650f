// The web page's side of platform.h: the page is the system. Allegro runs
// with no system driver of its own; the page's screen, keys, mouse, sound
// and a timer that sleeps in the browser are handed to it as its drivers
// before it starts. The game's folder /save is kept in the browser's
// storage for the page (web/pre.js mounts it), the media are in /media.
#include "platform.h"

#include <allegro.h>
#include <allegro/internal/aintern.h>
#include <emscripten.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>

// The drivers the page's screen, input and sound give (gfx_web.cpp,
// platform_sound_web.cpp).
extern _DRIVER_INFO gfx_web_keyboards[], gfx_web_mice[], gfx_web_pads[], gfx_web_screens[];
extern _DRIVER_INFO platform_web_sound_drivers[], platform_web_tune_drivers[];
void platform_web_feed_sound();

namespace {

// ---------------------------------------------------------------- the timer

// Allegro's timer runs on the page's clock: each wait sleeps in the browser
// (Asyncify keeps the game's loops as they are) and then hands Allegro the
// time that passed, and Allegro calls its tick handlers on its own schedule,
// counted from the start, so the ticks keep to 60 a second on average. The
// waits also keep the page's sound fed.
double timer_last_ms = 0;

void hand_over_time() {
    double now = emscripten_get_now();
    long ticks = static_cast<long>((now - timer_last_ms) * TIMERS_PER_SECOND / 1000.0);
    if (ticks <= 0) return;
    timer_last_ms += ticks * 1000.0 / TIMERS_PER_SECOND;
    _handle_timer_tick(static_cast<int>(ticks));
}

int timer_init() {
    timer_last_ms = emscripten_get_now();
    return 0;
}
void timer_exit() {}

void timer_rest(unsigned int ms, void (*callback)()) {
    const double until = emscripten_get_now() + ms;
    do {
        if (callback) callback();
        emscripten_sleep(1);
        hand_over_time();
        platform_web_feed_sound();
    } while (emscripten_get_now() < until);
}

TIMER_DRIVER page_timer = [] {
    TIMER_DRIVER d{};
    d.id = AL_ID('W', 'E', 'B', 'T');
    d.name = d.desc = d.ascii_name = "web page clock";
    d.init = timer_init;
    d.exit = timer_exit;
    d.rest = timer_rest;
    return d;
}();
_DRIVER_INFO page_timers[] = {{page_timer.id, &page_timer, TRUE}, {0, nullptr, 0}};

// ---------------------------------------------------------------- the system

_DRIVER_INFO* screens() { return gfx_web_screens; }
_DRIVER_INFO* keyboards() { return gfx_web_keyboards; }
_DRIVER_INFO* mice() { return gfx_web_mice; }
_DRIVER_INFO* pads() { return gfx_web_pads; }
_DRIVER_INFO* timers() { return page_timers; }
_DRIVER_INFO* sound_drivers() { return platform_web_sound_drivers; }
_DRIVER_INFO* tune_drivers() { return platform_web_tune_drivers; }
// One thread runs in the page: Allegro's locks have nothing to keep apart.
int the_lock = 0;
void* lock_create() { return &the_lock; }
void lock_nothing(void*) {}

// The page hides and shows like a window losing and taking the focus.
int switch_mode(int mode) { return mode == SWITCH_BACKGROUND || mode == SWITCH_NONE ? 0 : -1; }

void (*save_scores)() = nullptr;

}  // namespace

void platform_prepare_process() {
    // The media the page preloaded; the game's own folder is /save.
    setenv("TOLLYBROOK_DATA", "/media", 0);
}

void platform_catch_stop_requests(void (*)(int)) {}
void platform_set_timer_slack(unsigned long) {}

// Allegro's system without a driver becomes the page's: its screen, input,
// timer and sound drivers are the page's.
void platform_before_allegro() {
    for (_DRIVER_INFO* d = _system_driver_list; d->driver; d++)
        if (d->id == SYSTEM_NONE) d->autodetect = TRUE;
    system_none.gfx_drivers = screens;
    system_none.keyboard_drivers = keyboards;
    system_none.mouse_drivers = mice;
    system_none.joystick_drivers = pads;
    system_none.timer_drivers = timers;
    system_none.digi_drivers = sound_drivers;
    system_none.midi_drivers = tune_drivers;
    system_none.set_display_switch_mode = switch_mode;
    system_none.create_mutex = lock_create;
    system_none.destroy_mutex = lock_nothing;
    system_none.lock_mutex = lock_nothing;
    system_none.unlock_mutex = lock_nothing;
}

void platform_watch_display(void (*save)()) { save_scores = save; }

// The page was hidden or is going away: the table is saved now (the tab may
// never come back); each file written goes to the browser's storage.
extern "C" EMSCRIPTEN_KEEPALIVE void platform_web_page_leaving() {
    if (save_scores) save_scores();
}

// No threads in the page: the watchdog has nothing to watch over (the game
// cannot hang in a shutdown the browser would not end).
void platform_start_quiet_thread(void (*)()) {}

void platform_leave_now(const char* line) {
    std::fputs(line, stderr);
    emscripten_force_exit(0);
    std::abort();
}

std::string platform_executable_file() { return "/save/tollybrook"; }
std::string platform_working_folder() { return "/save"; }

int platform_open_for_reading(const char* path) { return open(path, O_RDONLY | O_NONBLOCK); }

// Every per-user file lives in the page's kept folder.
std::string user_folder(const char*, const char* under_home) {
    return std::string("/save/") + under_home;
}

// Nothing in the page is ever out of reach for its path's length.
const char* platform_path_length_note(const std::string&) { return nullptr; }

// The page's pad comes and goes through the browser, which lets a pad that
// went go by itself: its values rest then (gfx_web.cpp).
void platform_watch_pad() {}
bool platform_pad_gone() { return false; }

// No synthesiser plays in the page.
void use_system_midi_patches() {}

// The game's own font is in the page; no other is.
std::vector<std::string> platform_fallback_fonts() { return {}; }
