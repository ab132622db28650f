// Shared helpers for the headless tests: Allegro runs without a display,
// the screen is a memory bitmap and the tests play the part of the timer.
#pragma once
#include <allegro.h>
#include <string>
#include <vector>

#include "headless.h"

class game;

// Removes hi.dat beside the test program.
void remove_score_file();
// The path of hi.dat beside the test program.
const char* score_file_path();
// Forgets every key and button, and any press waiting in the buffer.
void release_input();
// One tick of the main loop (tick_loop::tick) without the wait.
void tick(game& g);

// With the text library started: puts a system face at the game's text
// size (38) in fonts[0] and fh, keeping the game's; fonts[0] is null when
// the face is not installed. restore_game_font() puts the game's back.
void use_system_font();
void restore_game_font();

// Loads the media tables from the build's media folder (the $TOLLYBROOK_DATA
// the tests were started with); true when the game's font is there.
bool load_built_media();
// That folder; empty when the tests were started without one.
const std::string& built_media_folder();

// Draws into a new 640x480 back buffer that the page manager presents onto
// the stand-in screen, as in the game, and returns it.
BITMAP* present_through_back_buffer();
// Presenting does nothing again and drawing goes straight to the screen; the
// buffer is freed. The page manager's mode is left non-zero, to show it was
// set up in this process.
void draw_on_screen_again(BITMAP* back);

// Effects the game asked for since the last clear.
extern std::vector<int> sounds_played;
