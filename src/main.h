// Program shell: start-up, shutdown and the flags the other threads raise.
#pragma once
#include <atomic>
#include <csignal>

// Written by Allegro's timer and window threads, read by the main loop:
// atomics, so the main thread always sees the latest store.
extern std::atomic<int> go_on;                 // a frame-timer tick is pending
extern std::atomic<int> close_button_pressed;  // -1 once the window's close button was clicked
// Set by SIGTERM, SIGINT or SIGHUP: the game then ends as Escape ends it.
extern volatile std::sig_atomic_t stop_signal;

int setup();
void cleanup();
void allow_frame();
void close_button_handler();
// The handlers of SIGTERM, SIGINT and SIGHUP, which only set stop_signal.
void install_stop_signals();

// Waits for the frame timer's next tick, then takes it (sleeping, not spinning).
void wait_for_tick();
