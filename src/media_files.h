// Every file the game reads from its media folder, in the order it loads
// them, with where each one goes and what stands in for a missing picture.
// The build reads the file names from here too (bench/CMakeLists.txt), so a
// new picture is added in this one place. Keep one entry a line.
#pragma once

enum media_kind { tile_strip, picture, text_font, tune, sound_effect };
enum media_table { spec_tiles, other_tiles, etc_pictures, no_table };

// Slots of bEtc. The explosion is stored backwards, exp3 first: the
// animation counts its frames down (meteor::frame), so the blast grows.
// bEtc 14 and 15 have no file; they hold placeholders.
enum {
    start_picture = 0,
    portrait_you = 1,
    portrait_old_lady = 2,
    dialog_box_picture = 3,
    castle_picture = 4,
    portrait_chuck = 5,
    granny_picture = 6,
    meteor_pictures = 7,  // 3 flames then 4 explosion frames
};

// Slots of bOtTiles; slot 4 has no file and holds a placeholder.
enum { ground_tile = 0, bottom_strip = 1, top_strip = 2, hole_tile = 3 };

struct media_file {
    const char* name;  // in the media folder
    media_kind kind;
    media_table table;  // pictures: the table the file fills
    int slot;           // and the first slot in it
    int placeholder_w;  // a missing picture becomes a rectangle this size
    int placeholder_h;
    int r, g, b;  // in this colour
};

// The strip is cut into the first three palette tiles (slow, up, down).
const media_file media_files[] = {
    {"sliding.bmp", tile_strip, spec_tiles, 0, 192, 64, 255, 0, 0},
    {"repulse.bmp", picture, spec_tiles, 3, 64, 64, 0, 255, 0},
    {"attract.bmp", picture, spec_tiles, 4, 64, 64, 0, 255, 0},
    {"tile.bmp", picture, other_tiles, ground_tile, 32, 32, 0, 255, 255},
    {"tile_low.bmp", picture, other_tiles, bottom_strip, 32, 32, 0, 255, 255},
    {"tile_top.bmp", picture, other_tiles, top_strip, 32, 32, 0, 255, 255},
    {"hole.bmp", picture, other_tiles, hole_tile, 32, 32, 0, 255, 255},
    {"start.bmp", picture, etc_pictures, start_picture, 32, 32, 50, 255, 255},
    {"you.bmp", picture, etc_pictures, portrait_you, 32, 32, 50, 255, 255},
    {"granny.bmp", picture, etc_pictures, portrait_old_lady, 32, 32, 50, 255, 255},
    {"dialog.bmp", picture, etc_pictures, dialog_box_picture, 32, 32, 50, 255, 255},
    {"castle.bmp", picture, etc_pictures, castle_picture, 32, 32, 50, 255, 255},
    {"chuck.bmp", picture, etc_pictures, portrait_chuck, 32, 32, 50, 255, 255},
    {"grannie.bmp", picture, etc_pictures, granny_picture, 32, 32, 50, 255, 255},
    {"flame0.bmp", picture, etc_pictures, meteor_pictures, 32, 32, 50, 255, 255},
    {"flame1.bmp", picture, etc_pictures, meteor_pictures + 1, 32, 32, 50, 255, 255},
    {"flame2.bmp", picture, etc_pictures, meteor_pictures + 2, 32, 32, 50, 255, 255},
    {"exp3.bmp", picture, etc_pictures, meteor_pictures + 3, 32, 32, 50, 255, 255},
    {"exp2.bmp", picture, etc_pictures, meteor_pictures + 4, 32, 32, 50, 255, 255},
    {"exp1.bmp", picture, etc_pictures, meteor_pictures + 5, 32, 32, 50, 255, 255},
    {"exp0.bmp", picture, etc_pictures, meteor_pictures + 6, 32, 32, 50, 255, 255},
    {"puree2.ttf", text_font, no_table, 0, 0, 0, 0, 0, 0},
    {"nbk.mid", tune, no_table, 0, 0, 0, 0, 0, 0},
    {"fire.wav", sound_effect, no_table, 0, 0, 0, 0, 0, 0},
    {"boom.wav", sound_effect, no_table, 1, 0, 0, 0, 0, 0},
    {"win.wav", sound_effect, no_table, 2, 0, 0, 0, 0, 0},
    {"sel.wav", sound_effect, no_table, 3, 0, 0, 0, 0, 0},
};
