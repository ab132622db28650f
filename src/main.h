// Program shell: start-up, shutdown, the command line and the remembered
// choices. The flags the other threads raise are in main_flags.h.
#pragma once
#include <string>

#include "main_flags.h"

// How the player asked to play. -1: not said on the command line.
struct launch_choices {
    int fullscreen = -1;
    int mute = -1;
    int scale = -1;            // the window's scale; 0 picks the largest that fits the screen
    int music_volume = -1;     // 0 to 100 %
    int effects_volume = -1;   // 0 to 100 %
    bool first_start = false;  // no choices file yet: the player's very first start
};

// Reads the command line. Returns -1 to go on and play; otherwise the exit
// status, after printing the help, the version or a usage line.
int parse_command_line(int argc, char** argv, launch_choices& choices);
// Fills what the command line left open from the remembered choices and
// remembers what it said (and everything, at the very first start, which
// makes the file). Allegro must be started.
void settle_choices(launch_choices& choices);
// The remembered-choices file: $XDG_CONFIG_HOME/tollybrook/tollybrook.cfg.
std::string choices_file_path();
// The choices file's `text` with `key = value` in its [tollybrook] section,
// replacing the key's line or adding one; every other line kept.
std::string with_choice(const std::string& text, const std::string& key, int value);

// Remembers one choice made while playing (fullscreen, mute, scale, the
// volumes) in the choices file.
void remember_choice(const char* key, int value);

// Starts Allegro, the window and the media; settles `choices` on the way.
int setup(launch_choices& choices);
int setup();
void cleanup();

// Raised by main once the game's loop has returned.
extern std::atomic<int> game_finished;
// A thread that ends the process, status 0 and a line on stderr, when the
// shutdown has not finished 3 s after a stop signal, the close button or
// game_finished.
void start_shutdown_watchdog();
