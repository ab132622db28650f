// Shared helpers for the headless tests: Allegro runs without a display,
// the screen is a memory bitmap and the tests play the part of the timer.
#pragma once
#include <allegro.h>
#include <string>
#include <vector>

class game;

// Points screen, bDraw and gfx_driver at a 640x480 memory stand-in.
void use_standin_screen();
// Removes hi.dat beside the test program.
void remove_score_file();
// The path of hi.dat beside the test program.
const char* score_file_path();
// The whole content of a file; empty when it cannot be read.
std::string file_bytes(const std::string& path);
// Forgets every key and button, and any press waiting in the buffer.
void release_input();
// One tick of the main loop's work: update, draw, present.
void tick(game& g);

// Effects the game asked for since the last clear.
extern std::vector<int> sounds_played;
