// Prints, as JSON, for the scripts that drive and check the game (the
// scripted player, the end-to-end tests), which read them from the build
// folder instead of keeping their own copies:
//   layout_json          the playfield's layout, the colours, the numbers of
//                        the rules and the granny's movement, and hi.dat
//                        records as the game writes them (layout.json)
//   layout_json media    every media file and its kind (media.json)
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "game.h"
#include "game_rules.h"
#include "layout.h"
#include "media_files.h"

namespace {

bool first = true;

void key(const char* name) {
    std::printf("%s\n  \"%s\": ", first ? "{" : ",", name);
    first = false;
}
void number(const char* name, double value) {
    key(name);
    std::printf("%.17g", value);
}
void pair(const char* name, offset o) {
    key(name);
    std::printf("[%d, %d]", o.x, o.y);
}
void rect(const char* name, screen_rect r) {
    key(name);
    std::printf("[%d, %d, %d, %d]", r.left, r.top, r.right, r.bottom);
}
void colour(const char* name, rgb c) {
    key(name);
    std::printf("[%d, %d, %d]", c.r, c.g, c.b);
}
void placeholder_colour(const char* name, const media_file& m) { colour(name, {m.r, m.g, m.b}); }

// Records of hi.dat for a few values, each as the game writes it, with
// every byte as \u00XX: the scripts' writers are checked against them.
void score_record_samples() {
    key("score_record_samples");
    const int values[] = {0, 7, -12, 300, 123456789, -99999999};
    std::printf("{");
    for (size_t i = 0; i < std::size(values); i++) {
        std::printf("%s\"%d\": \"", i ? ", " : "", values[i]);
        for (unsigned char c : score_record(values[i])) std::printf("\\u%04x", c);
        std::printf("\"");
    }
    std::printf("}");
}

const char* kind_name(media_kind kind) {
    switch (kind) {
        case tile_strip: return "tile_strip";
        case picture: return "picture";
        case text_font: return "text_font";
        case tune: return "tune";
        case sound_effect: return "sound_effect";
    }
    return "";
}

int print_media() {
    std::printf("[");
    for (size_t i = 0; i < std::size(media_files); i++)
        std::printf("%s\n  {\"name\": \"%s\", \"kind\": \"%s\"}", i ? "," : "", media_files[i].name,
                    kind_name(media_files[i].kind));
    std::printf("\n]\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "media") == 0) return print_media();
    number("screen_width", screen_width);
    number("screen_height", screen_height);
    number("grid_columns", grid_columns);
    number("grid_rows", grid_rows);
    number("palette_slots", palette_slots);
    number("cell_size", cell_size);
    number("field_top", field_top);
    number("field_width", field_width);
    number("field_bottom", field_bottom);
    number("firing_right", firing_right);
    number("feet_top", feet_top);
    number("feet_bottom", feet_bottom);
    number("castle_line", castle_line);
    pair("repulse_anchor", repulse_anchor);
    pair("attract_anchor", attract_anchor);
    number("magnet_power", magnet_power);
    number("repulse_falloff", repulse_falloff);
    number("repulse_divisor", repulse_divisor);
    number("repulse_reach_from", repulse_reach_from);
    number("attract_falloff", attract_falloff);
    number("attract_divisor", attract_divisor);
    number("attract_reach_from", attract_reach_from);
    number("slow_tile_divisor", slow_tile_divisor);
    number("tile_drift", tile_drift);
    number("blast_reach", blast_reach);
    number("blast_drop", blast_drop);
    number("palette_left_from_right", palette_left_from_right);
    number("palette_right_from_right", palette_right_from_right);
    number("palette_top", palette_top);
    number("slot_pitch", slot_pitch);
    number("panel_left_from_right", panel_left_from_right);
    number("panel_top", panel_top);
    number("panel_bottom_from_bottom", panel_bottom_from_bottom);
    rect("start_button", start_button);
    rect("options_card_box", options_card_box);
    pair("castle_at", castle_at);
    pair("dialog_portrait", dialog_portrait);
    pair("dialog_text", dialog_text);
    number("dialog_line_pitch", dialog_line_pitch);
    number("dialog_box_height", dialog_box_height);
    rect("score_frame", score_frame);
    rect("score_sheet", score_sheet);
    number("score_panel_lines", score_panel_lines);
    colour("panel_colour", panel_colour);
    colour("grid_line_colour", grid_line_colour);
    colour("selection_colour", selection_colour);
    colour("cursor_colour", cursor_colour);
    number("crosshair_reach", crosshair_reach);
    colour("score_sheet_colour", score_sheet_colour);
    placeholder_colour("ground_placeholder", ground_piece(nullptr, 0));
    placeholder_colour("palette_placeholder", palette_tile(nullptr, 0));
    placeholder_colour("strip_placeholder", media_files[0]);  // the strip of the first three tiles
    number("full_shield", full_shield);
    number("meteor_step_left", meteor_step_left);
    number("meteor_step_down", meteor_step_down);
    number("meteor_blast_timer", meteor_blast_timer);
    number("score_record_size", score_record_size);
    number("score_table_size", score_table_size);
    score_record_samples();
    std::printf("\n}\n");
    return 0;
}
