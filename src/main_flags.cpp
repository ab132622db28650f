// The flags Allegro's timer and window threads and the stop signals raise,
// their handlers, and the main loop's wait for the next tick.
#include "main_flags.h"

#include <allegro.h>

#include <chrono>
#include <csignal>

#include "platform.h"

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
    platform_catch_stop_requests(note_stop_signal);
}

namespace {

// The wait's wake-ups cost CPU: rest(1) wakes every millisecond. Early in a
// tick the next one is still far, and waking up to 3.5 ms late (the kernel's
// timer slack) joins those wake-ups; the last few milliseconds before the
// tick are waited on time, so the frame starts as soon as its tick comes.
const auto tick_length = std::chrono::microseconds(16667);
const auto waited_on_time = std::chrono::microseconds(5000);
const unsigned long relaxed_slack_ns = 3500000, on_time_slack_ns = 50000;

void set_slack(unsigned long ns) {
    static unsigned long in_force = 0;
    if (ns == in_force) return;
    platform_set_timer_slack(ns);
    in_force = ns;
}

}  // namespace

void wait_for_tick() {
    using clock = std::chrono::steady_clock;
    static clock::time_point last_tick = clock::now();
    while (go_on == 0) {
        bool tick_far = clock::now() - last_tick < tick_length - waited_on_time;
        set_slack(tick_far ? relaxed_slack_ns : on_time_slack_ns);
        rest(1);
    }
    go_on = 0;
    last_tick = clock::now();
}
