// Allegro without a display, for the programs that hammer the game: the
// screen is a 640x480 memory bitmap and the caller plays the frame timer.
#pragma once

// Starts Allegro headless at 16 bpp with the stand-in screen. With media,
// also starts the text library and loads the media tables (whatever is
// missing becomes a placeholder; the font falls back to a system one).
// Returns false, after saying why on stderr, if that is not possible.
bool start_headless(bool with_media);

// Without a system driver Allegro cannot tell where the program lives, so
// "beside the executable" (hi.dat, media/) means the working folder. This
// makes and enters the folder `name` beside the program; with art, its
// media/ gets links to the pictures and the font of the build's media
// folder (when there is one), but not to the tune or the samples: with no
// timer or sound driver, Allegro cannot start a tune headless.
bool work_in_own_folder(const char* name, bool with_art);

// Releases what start_headless(true) loaded.
void stop_headless();
