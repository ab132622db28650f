// One round of hostile hi.dat: the bytes go into the score file beside the
// program, a game loads them (its constructor) and saves the table again
// (its destructor), and the file it leaves is judged.
#pragma once
#include <string>

// Returns "" when the round went right, otherwise what went wrong.
// Allegro must be running (headless is enough): the file's path comes
// from the executable's.
std::string check_score_round_trip(const std::string& bytes);
