// Start-up and shutdown: Allegro, the input and sound drivers, the frame
// timer, the window (and what to do when the display goes away), the media.
#include "main.h"

#include <allegro.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "alfont.h"
#include "data_handler.h"
#include "game.h"
#include "gfx.h"
#include "platform.h"

// Without a display Allegro cannot run the game at all (and its install
// calls crash when it failed to start), so say why and stop right there.
static void give_up(const char* what) {
    const char* display = std::getenv("DISPLAY");
    if (allegro_error[0])
        std::fprintf(stderr, "tollybrook: %s: %s\n", what, allegro_error);
    else
        std::fprintf(stderr, "tollybrook: %s: no usable X display (DISPLAY=%s)\n", what,
                     display ? display : "unset");
    std::exit(1);
}

// ---------------------------------------------------------------- start-up

// Opens the display: fullscreen or the window, at the scale asked for (on
// the command line or remembered) when its window fits the desktop, else the
// largest that fits; says so when it does not. The choice stays remembered
// as asked, for a larger screen.
static int open_display(const launch_choices& choices) {
    const int asked = choices.scale > 0 ? choices.scale : 0, scale = gfx_window_scale(asked);
    int w = 0, h = 0;
    if (get_desktop_resolution(&w, &h) == 0 && (w < screen_width || h < screen_height))
        std::fprintf(stderr,
                     "tollybrook: the %dx%d screen is smaller than the game's %dx%d frame\n", w, h,
                     screen_width, screen_height);
    else if (asked > scale)
        std::fprintf(
            stderr,
            "tollybrook: a window at scale %d does not fit the %dx%d screen; using scale %d\n",
            asked, w, h, scale);
    return gfx_open(choices.fullscreen > 0, scale);
}

// What each new display mode needs set again: the game keeps running when
// the window loses focus, and the battle pauses then.
static void window_settings() {
    set_display_switch_mode(SWITCH_BACKGROUND);
    set_display_switch_callback(SWITCH_OUT, focus_lost_handler);
    set_close_button_callback(close_button_handler);
    set_window_title("Tollybrook");
    enable_hardware_cursor();
    show_mouse(screen);
}

// How late the kernel may wake each thread (timer slack; the figures are in
// docs/performance.md, "Timer slack per thread").
// The game's own thread and the timer thread pace the frames: on time.
const unsigned long wake_up_slack_ns = 50000;
// The input thread: up to 8 ms late delays no key, keeps the sound fed, saves CPU.
const unsigned long input_thread_slack_ns = 8000000;

int setup(launch_choices& choices) {
    platform_set_timer_slack(input_thread_slack_ns);  // install_allegro makes the input thread
    platform_before_allegro();
    if (install_allegro(SYSTEM_AUTODETECT, &errno, atexit) != 0) give_up("cannot start Allegro");
    platform_set_timer_slack(wake_up_slack_ns);  // this thread, and the timer thread made below
    // After Allegro's start, which sets handlers of its own.
    install_stop_signals();
    settle_choices(choices);
    std::srand(std::time(nullptr));
    install_keyboard();
    install_mouse();
    start_pad();
    install_timer();
    set_volumes(choices.music_volume, choices.effects_volume);
    // Muted, the sound card stays closed until M turns the sound on.
    if (choices.mute)
        set_sound_on(false);
    else
        open_sound();
    LOCK_VARIABLE(go_on);
    LOCK_FUNCTION(allow_frame);
    install_int_ex(allow_frame, BPS_TO_TIMER(60));
    platform_watch_display(save_running_game_scores);
    LOCK_VARIABLE(window_lost_focus);
    LOCK_FUNCTION(focus_lost_handler);
    gfx_on_new_mode(window_settings);
    if (open_display(choices) != 0) give_up("cannot open the 640x480 window");
    alfont_init();
    load_data();
    if (!fonts[0]) {
        std::fprintf(stderr, "tollybrook: cannot load the font %s, nor any system font\n",
                     absolute_path("/media/puree2.ttf"));
        std::exit(1);
    }
    return 0;
}

int setup() {
    launch_choices choices;
    return setup(choices);
}

void cleanup() {
    unload_data();
    alfont_exit();
    gfx_end();
}
