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
// One tick of the main loop's work: update, draw, present.
void tick(game& g);

// With the text library started: puts a system face at the game's text
// size (38) in fonts[0] and fh, keeping the game's; fonts[0] is null when
// the face is not installed. restore_game_font() puts the game's back.
void use_system_font();
void restore_game_font();

// Effects the game asked for since the last clear.
extern std::vector<int> sounds_played;
