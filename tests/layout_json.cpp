// Prints the playfield's layout and the granny's movement numbers as JSON,
// for the scripted player, which reads them from the build folder instead of
// keeping its own copy.
#include <cstdio>

#include "layout.h"

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

}  // namespace

int main() {
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
    pair("castle_at", castle_at);
    pair("dialog_portrait", dialog_portrait);
    pair("dialog_text", dialog_text);
    rect("score_frame", score_frame);
    rect("score_sheet", score_sheet);
    number("score_panel_lines", score_panel_lines);
    std::printf("\n}\n");
    return 0;
}
