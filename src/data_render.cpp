// The pieces of the picture: the scenery and laid tiles composed into the
// cached scene, the sprites' runs, the build phase's grid and palette panel,
// the dialog box, the keyboard and pad cursor.
#include <allegro.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "data_render_parts.h"
#include "game.h"
#include "media_files.h"

char tmp[64];

void draw_build_overlay(BITMAP* target, const game* g) {
    int W = target->w, H = target->h;
    int white = colour(grid_line_colour);
    for (int k = 0; k <= grid_columns; k++)
        vline(target, cell_size * k, field_top, H - grid_lines_from_bottom, white);
    for (int k = 0; k <= grid_rows; k++)
        hline(target, 0, field_top + cell_size * k, field_width, white);
    int panel_left = W - panel_left_from_right, panel_bottom = H - panel_bottom_from_bottom;
    rectfill(target, panel_left, panel_top, W, panel_bottom, colour(panel_colour));
    rect(target, panel_left, panel_top, W, panel_bottom, colour(panel_edge_colour));
    int tiles_left = W - palette_left_from_right, tiles_right = W - palette_right_from_right;
    for (int s = 0; s < palette_slots; s++)
        draw_sprite(target, bSpecTiles[s], tiles_left, palette_top + slot_pitch * s);
    for (int s = 0; s < palette_slots; s++) {
        int slot_top = palette_top + slot_pitch * s;
        rectfill(target, W - badge_from.x, slot_top + badge_from.y, W - badge_to.x,
                 slot_top + badge_to.y, colour(badge_colour));
        std::snprintf(tmp, sizeof tmp, "%02d", g->stock[s]);
        textout_ex(target, font, tmp, W - stock_text.x, slot_top + stock_text.y, colour(black), -1);
    }
    draw_sprite(target, bEtc[start_picture], start_button.left, start_button.top);
    rect(target, tiles_left, palette_top, tiles_right, H - palette_frame_from_bottom,
         colour(palette_frame_colour));
    int selected_top = palette_top + slot_pitch * g->selected;
    rect(target, tiles_left, selected_top, tiles_right, selected_top + slot_pitch,
         colour(selection_colour));
}

namespace drawing {

bool overlap(const area& a, const area& b) {
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

void draw_row(BITMAP* target, BITMAP* picture, int y) {
    int n = target->w / picture->w;
    for (int i = 0; i < n; i++) draw_sprite(target, picture, i * picture->w, y);
}

void draw_scenery(BITMAP* target) {
    BITMAP* bottom = bOtTiles[bottom_strip];
    BITMAP* top = bOtTiles[top_strip];
    BITMAP* ground = bOtTiles[ground_tile];
    draw_row(target, bottom, target->h - bottom->h);
    draw_row(target, top, top_strip_y);
    for (int j = 0; j < ground_rows; j++) draw_row(target, ground, field_top + j * ground->h);
}

void draw_laid_tiles(BITMAP* target, const int (&grid)[grid_columns][grid_rows]) {
    for (int i = 0; i < grid_columns; i++)
        for (int j = 0; j < grid_rows; j++)
            if (grid[i][j] != bare_ground)
                draw_sprite(target, bSpecTiles[grid[i][j] - 1], cell_size * i,
                            field_top + cell_size * j);
}

// Red text with a black outline, its left end at `left` (measured once by
// the caller, not once per pass).
void outlined_text(BITMAP* target, const char* text, int left, int y) {
    int outline = colour(black);
    alfont_textout_aa_ex(target, fonts[0], text, left + 1, y, outline, -1);
    alfont_textout_aa_ex(target, fonts[0], text, left - 1, y, outline, -1);
    alfont_textout_aa_ex(target, fonts[0], text, left, y + 1, outline, -1);
    alfont_textout_aa_ex(target, fonts[0], text, left, y - 1, outline, -1);
    alfont_textout_aa_ex(target, fonts[0], text, left, y, colour(text_red), -1);
}

// Where a line of text may leave ink: glyphs can reach a little past their
// advance and above or below the line, so the measured box gets a margin.
area text_reach(int left, int y, int width) {
    int margin = fh / 8 + 2;
    return {left - margin, y - margin, width + 2 * margin, fh + 2 * margin};
}

// ---- the cached scene

scene_source source_of(const BITMAP* target, const game* g) {
    scene_source s;
    s.w = target->w;
    s.h = target->h;
    std::memcpy(s.grid, g->grid, sizeof s.grid);
    BITMAP** p = s.pictures;
    for (int i = 0; i < 3; i++) *p++ = bOtTiles[i];
    for (int i = 0; i < palette_slots; i++) *p++ = bSpecTiles[i];
    *p++ = bEtc[castle_picture];
    *p++ = bEtc[granny_picture];
    for (int i = 0; i < meteor_frame_count; i++) *p++ = bEtc[meteor_pictures + i];
    return s;
}

scene_cache scene;

void compose_scene(const scene_source& source) {
    if (scene.layer && (scene.layer->w != source.w || scene.layer->h != source.h)) {
        destroy_bitmap(scene.layer);
        scene.layer = nullptr;
    }
    if (!scene.layer) scene.layer = create_bitmap(source.w, source.h);
    clear_to_color(scene.layer, colour(sky_colour));
    draw_scenery(scene.layer);
    draw_laid_tiles(scene.layer, source.grid);
    draw_sprite(scene.layer, bEtc[castle_picture], castle_at.x, castle_at.y);
    draw_options_control(scene.layer);
    // The sprites' runs follow the pictures, not the laid tiles.
    bool new_pictures = !scene.valid || std::memcmp(source.pictures, scene.source.pictures,
                                                    sizeof source.pictures) != 0;
    if (new_pictures) {
        scene.walker.make(bEtc[granny_picture]);
        for (int f = 0; f < meteor_frame_count; f++)
            scene.meteor_frames[f].make(bEtc[meteor_pictures + f]);
    }
    scene.source = source;
    scene.valid = true;
}

}  // namespace drawing

void draw_dialog(BITMAP* target, const game* g) {
    BITMAP* box = bEtc[dialog_box_picture];
    int top = target->h - box->h;
    draw_sprite(target, box, 0, top);
    draw_sprite(target, bEtc[g->speaker], dialog_portrait.x, top + dialog_portrait.y);
    for (int i = 0; i < 3; i++)
        alfont_textout_aa_ex(target, fonts[0], g->dialog_lines[i], dialog_text.x,
                             top + dialog_text.y + dialog_line_pitch * i, colour(black), -1);
}

drawing::area drawing::cursor_reach(const game* g) {
    const play_cursor& c = g->cursor;
    if (!c.shown || (g->mode != mode_build && g->mode != mode_battle)) return {0, 0, 0, 0};
    if (g->mode == mode_build)
        return {c.frame.left, c.frame.top, c.frame.right - c.frame.left + 1,
                c.frame.bottom - c.frame.top + 1};
    return {c.x - crosshair_reach, c.y - crosshair_reach, 2 * crosshair_reach + 1,
            2 * crosshair_reach + 1};
}

void drawing::draw_cursor(BITMAP* target, const game* g) {
    const play_cursor& c = g->cursor;
    int ink = colour(cursor_colour), outline = colour(black);
    if (g->mode == mode_build) {
        for (int i = 0; i < cursor_frame_width; i++)
            rect(target, c.frame.left + i, c.frame.top + i, c.frame.right - i, c.frame.bottom - i,
                 ink);
        return;
    }
    circle(target, c.x, c.y, crosshair_ring + 1, outline);
    circle(target, c.x, c.y, crosshair_ring - 1, outline);
    circle(target, c.x, c.y, crosshair_ring, ink);
    int from = crosshair_ring + 2, to = crosshair_reach;
    for (int sign : {-1, 1}) {
        hline(target, c.x + sign * from, c.y, c.x + sign * to, ink);
        vline(target, c.x, c.y + sign * from, c.y + sign * to, ink);
    }
}
