// Where things live, beyond what data_handler.h gives the rest of the game:
// the last path built, the program's and the media's folders, and the
// synthesiser's patch set.
#pragma once
#include <string>

#include "data_handler.h"

extern std::string fname;  // the last path built by absolute_path

// The folder holding the running executable, from /proc/self/exe (any
// length, any bytes); empty when it cannot be found.
std::string executable_folder();

// Where the pictures, sounds and font are read from: $TOLLYBROOK_DATA when
// set; else the first folder that exists of media/ beside the executable,
// the install's data folder reached from the executable's folder, and the
// data folder the build was configured with; else media/ beside the
// executable.
std::string media_folder();

// A TiMidity patch index rewritten for Allegro's synthesiser, which looks
// every patch file up beside the index and ignores "dir" lines: each patch
// file becomes an absolute path. Empty when the index lists no patch.
std::string absolute_patch_index(const std::string& timidity_index,
                                 const std::string& index_folder);
