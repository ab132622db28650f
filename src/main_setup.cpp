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

// Opens the display: fullscreen or the window, at the scale asked for or
// the largest that fits the desktop.
static int open_display(const launch_choices& choices) {
    return gfx_open(choices.fullscreen > 0, gfx_window_scale(choices.scale > 0 ? choices.scale : 0));
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

// The game wakes often while it waits: its own rest(1) between tests of the
// frame timer, Allegro's timer thread and Allegro's input thread. The kernel
// may run each wake-up a little late (timer slack) and so join them; a thread
// takes the setting in force when Allegro makes it.
// The game's own thread and the timer thread pace the frames: they keep the
// kernel's usual 50 us. With 2 ms a frame could start up to 3 ms after its
// tick, and one gap in five between frames was over 18 ms (the 99th
// percentile 20.6 ms, against 17.9 ms for a bare Allegro loop); on time, the
// game keeps the bare loop's pace. It costs CPU: the crowded battle went
// from 0.82 to 0.95 of the bare loop's, which wait_for_tick wins back in part
// by relaxing the main thread's slack while the next tick is still far.
const unsigned long wake_up_slack_ns = 50000;
// The input thread reads the X input (Allegro does that about every 10 ms
// whatever the slack) and feeds the sound card, whose buffer Allegro asks to
// be five periods of 1024 frames (about 116 ms at 44.1 kHz). Waking up to 8
// ms late keeps that buffer full and delays no key or click measurably (the
// click in the build phase: 15.6 ms against 15.2 without slack), while no
// slack would cost a third of the bare loop's CPU again in the battle.
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
    install_timer();
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
