// The flags the shell's other threads and the stop signals raise, and the
// main loop's wait for the next tick: what the game's loops need of the shell.
#pragma once
#include <atomic>
#include <csignal>

// Written by Allegro's timer and window threads, read by the main loop:
// atomics, so the main thread always sees the latest store.
extern std::atomic<int> go_on;                 // a frame-timer tick is pending
extern std::atomic<int> close_button_pressed;  // -1 once the window's close button was clicked
extern std::atomic<int> window_lost_focus;     // 1 when the window lost focus, until taken
// Set by SIGTERM, SIGINT or SIGHUP: the game then ends as Escape ends it.
extern volatile std::sig_atomic_t stop_signal;

void allow_frame();
void close_button_handler();
void focus_lost_handler();
// The handlers of SIGTERM, SIGINT and SIGHUP, which only set stop_signal.
void install_stop_signals();

// Waits for the frame timer's next tick, then takes it (sleeping, not spinning).
void wait_for_tick();
