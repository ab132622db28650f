// Every file the game reads from its media folder, in the order it loads
// them, with where each one goes and what stands in for a missing picture.
// The tests count and name them from here, and the scripts read the list
// from media.json in the build folder (written by tests/layout_json.cpp);
// assets/ holds the recipe that makes each file, and a unit test checks that
// the build makes every file listed here. Keep one entry a line.
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
    meteor_frame_count = 7,
};

// Slots of sfx, the effects play() takes.
enum { sound_shot = 0, sound_blast = 1, sound_won = 2, sound_click = 3, sound_count = 4 };

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

// What stands in for a missing picture, the same for every file of a table:
// a rectangle of that table's size in that table's colour.
constexpr media_file palette_tile(const char* name, int slot) {
    return {name, picture, spec_tiles, slot, 64, 64, 0, 255, 0};
}
constexpr media_file ground_piece(const char* name, int slot) {
    return {name, picture, other_tiles, slot, 32, 32, 0, 255, 255};
}
constexpr media_file etc_picture(const char* name, int slot) {
    return {name, picture, etc_pictures, slot, 32, 32, 50, 255, 255};
}
// The meteor's frames fill meteor_pictures onwards in the order listed.
constexpr media_file meteor_frame(const char* name, int frame) {
    return etc_picture(name, meteor_pictures + frame);
}
constexpr media_file not_a_picture(const char* name, media_kind kind, int index = 0) {
    return {name, kind, no_table, index, 0, 0, 0, 0, 0};
}

const media_file media_files[] = {
    // The strip is cut into the first three palette tiles (slow, up, down).
    {"sliding.bmp", tile_strip, spec_tiles, 0, 192, 64, 255, 0, 0},
    palette_tile("repulse.bmp", 3),
    palette_tile("attract.bmp", 4),
    ground_piece("tile.bmp", ground_tile),
    ground_piece("tile_low.bmp", bottom_strip),
    ground_piece("tile_top.bmp", top_strip),
    ground_piece("hole.bmp", hole_tile),
    etc_picture("start.bmp", start_picture),
    etc_picture("you.bmp", portrait_you),
    etc_picture("granny.bmp", portrait_old_lady),
    etc_picture("dialog.bmp", dialog_box_picture),
    etc_picture("castle.bmp", castle_picture),
    etc_picture("chuck.bmp", portrait_chuck),
    etc_picture("grannie.bmp", granny_picture),
    meteor_frame("flame0.bmp", 0),
    meteor_frame("flame1.bmp", 1),
    meteor_frame("flame2.bmp", 2),
    meteor_frame("exp3.bmp", 3),
    meteor_frame("exp2.bmp", 4),
    meteor_frame("exp1.bmp", 5),
    meteor_frame("exp0.bmp", 6),
    not_a_picture("puree2.ttf", text_font),
    not_a_picture("nbk.mid", tune),
    not_a_picture("fire.wav", sound_effect, sound_shot),
    not_a_picture("boom.wav", sound_effect, sound_blast),
    not_a_picture("win.wav", sound_effect, sound_won),
    not_a_picture("sel.wav", sound_effect, sound_click),
};
