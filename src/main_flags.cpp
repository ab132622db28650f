// The flags Allegro's timer and window threads and the stop signals raise,
// their handlers, and the main loop's wait for the next tick.
#include "main_flags.h"

#include <allegro.h>

#include <csignal>
#include <initializer_list>

std::atomic<int> go_on{0};
std::atomic<int> close_button_pressed{0};
std::atomic<int> window_lost_focus{0};
volatile std::sig_atomic_t stop_signal = 0;

void allow_frame() { go_on = 1; }
END_OF_FUNCTION(allow_frame)

void close_button_handler() { close_button_pressed = -1; }
END_OF_FUNCTION(close_button_handler)

void focus_lost_handler() { window_lost_focus = 1; }
END_OF_FUNCTION(focus_lost_handler)

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
