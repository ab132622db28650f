#include "main.h"

#include <X11/Xlib.h>
#include <allegro.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "alfont.h"
#include "data_handler.h"
#include "game.h"
#include "gfx.h"

std::atomic<int> go_on{0};
std::atomic<int> close_button_pressed{0};
volatile std::sig_atomic_t stop_signal = 0;

void allow_frame() { go_on = 1; }
END_OF_FUNCTION(allow_frame)

void close_button_handler() { close_button_pressed = -1; }
END_OF_FUNCTION(close_button_handler)

static void note_stop_signal(int) { stop_signal = 1; }

void install_stop_signals() {
    struct sigaction action {};
    action.sa_handler = note_stop_signal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

void wait_for_tick() {
    while (go_on == 0) rest(1);
    go_on = 0;
}

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

// Xlib calls this when the connection to the X server breaks, on whichever
// thread noticed it, and ends the process if it returns. Its own handler
// would run exit() right there while the main thread may still be drawing
// to the screen, which crashes in Allegro's shutdown. Instead the first
// thread here saves the table and leaves at once, past every exit handler
// (they would only talk to the server that is gone); a second one waits
// for that.
static int display_lost(Display*) {
    static std::atomic<bool> leaving{false};
    if (leaving.exchange(true))
        for (;;) pause();
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr, "tollybrook: lost the X display %s; saving the scores and stopping\n",
                 display ? display : "");
    save_running_game_scores();
    std::_Exit(1);
}

int setup() {
    if (install_allegro(SYSTEM_AUTODETECT, &errno, atexit) != 0)
        give_up("cannot start Allegro");
    // After Allegro's start, which sets handlers of its own.
    install_stop_signals();
    std::srand(std::time(nullptr));
    install_keyboard();
    install_mouse();
    install_timer();
    use_system_midi_patches();
    install_sound(DIGI_AUTODETECT, MIDI_AUTODETECT, nullptr);
    LOCK_VARIABLE(go_on);
    LOCK_FUNCTION(allow_frame);
    install_int_ex(allow_frame, BPS_TO_TIMER(60));
    set_close_button_callback(close_button_handler);
    XSetIOErrorHandler(display_lost);
    gfx_setup(GFX_PAGE_BACKBUFFER | GFX_PAGE_NONE, 640, 480, 16);
    if (gfx_start() != 0) give_up("cannot open the 640x480 window");
    set_window_title("Tollybrook");
    enable_hardware_cursor();
    show_mouse(screen);
    alfont_init();
    load_data();
    if (!fonts[0]) {
        std::fprintf(stderr, "tollybrook: cannot load the font %s, nor any system font\n",
                     absolute_path("/media/puree2.ttf"));
        std::exit(1);
    }
    return 0;
}

void cleanup() {
    unload_data();
    alfont_exit();
    gfx_end();
}

#ifndef TOLLYBROOK_NO_MAIN
int main() {
    setup();
    run();
    cleanup();
    return 0;
}
END_OF_MAIN()
#endif
