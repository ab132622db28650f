// Program shell: start-up, shutdown and the flags the other threads raise.
#pragma once
#include <atomic>
#include <csignal>
#include <string>

// Written by Allegro's timer and window threads, read by the main loop:
// atomics, so the main thread always sees the latest store.
extern std::atomic<int> go_on;                 // a frame-timer tick is pending
extern std::atomic<int> close_button_pressed;  // -1 once the window's close button was clicked
extern std::atomic<int> window_lost_focus;     // 1 when the window lost focus, until taken
// Set by SIGTERM, SIGINT or SIGHUP: the game then ends as Escape ends it.
extern volatile std::sig_atomic_t stop_signal;

// How the player asked to play. -1: not said on the command line.
struct launch_choices {
    int fullscreen = -1;
    int mute = -1;
};

// Reads the command line. Returns -1 to go on and play; otherwise the exit
// status, after printing the help, the version or a usage line.
int parse_command_line(int argc, char** argv, launch_choices& choices);
// Fills what the command line left open from the remembered choices and
// remembers what it said. Allegro must be started.
void settle_choices(launch_choices& choices);
// The remembered-choices file: $XDG_CONFIG_HOME/tollybrook/tollybrook.cfg.
std::string choices_file_path();

int setup(launch_choices choices = {});
void cleanup();
void allow_frame();
void close_button_handler();
// The handlers of SIGTERM, SIGINT and SIGHUP, which only set stop_signal.
void install_stop_signals();

// Waits for the frame timer's next tick, then takes it (sleeping, not spinning).
void wait_for_tick();
