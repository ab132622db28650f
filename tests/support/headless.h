// Allegro without a display, for the unit tests, the benchmarks and the
// programs that hammer the game: the screen is a 640x480 memory bitmap and
// the caller plays the frame timer.
#pragma once
#include <string>
#include <vector>

// Points screen, bDraw and gfx_driver at the 640x480 memory stand-in (the
// bitmap is made once and kept).
void use_standin_screen();

// Starts Allegro headless at 16 bpp with the stand-in screen. With a back
// buffer the game draws into a bitmap of its own (bDbuf, bDraw) instead of
// straight onto the screen. With media, also starts the text library and
// loads the media tables (whatever is missing becomes a placeholder; the
// font falls back to a system one). Returns false, after saying why on
// stderr, if that is not possible.
bool start_headless(bool with_media, bool with_back_buffer = false);

// Without a system driver Allegro cannot tell where the program lives, so
// "beside the executable" (hi.dat) means the working folder. This enters the
// program's own folder, or with a `name` makes and enters the folder `name`
// beside the program. The media are read from $TOLLYBROOK_DATA, which the
// test environment (ctest, make bench, make soak) points at the build's
// media folder.
bool work_in_own_folder(const char* name);

// Releases what start_headless(true) loaded.
void stop_headless();

// The whole content of a file in `bytes`; false when it cannot be read.
bool read_bytes(const std::string& path, std::string* bytes);
// The whole content of a file; empty when it cannot be read.
std::string file_bytes(const std::string& path);
// Replaces the file's content with `bytes`; false when it cannot be written.
bool write_bytes(const std::string& path, const std::string& bytes);
// A score table as the game writes hi.dat: each value as "%9d" and a zero byte.
std::string records(const std::vector<int>& values);
