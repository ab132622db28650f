// Where the parts of the playfield stand on the 640x480 screen, in screen
// pixels, and the colours of the drawing. The rules, the drawing, the tests,
// the benchmarks and the scripted player (through layout.json, written from
// this file by tests/layout_json.cpp) all read them from here; how a granny
// moves is a rule, in game_rules.h.
#pragma once

const int screen_width = 640;
const int screen_height = 480;

const int grid_columns = 7;
const int grid_rows = 6;
const int palette_slots = 5;

// A rectangle by its edges, all included.
struct screen_rect {
    int left, top, right, bottom;
};
struct offset {
    int x, y;
};

// ---- colours of the drawing

struct rgb {
    int r, g, b;
};
constexpr rgb black = {0, 0, 0};
constexpr rgb white = {255, 255, 255};
constexpr rgb sky_colour = {60, 90, 120};   // behind the scenery
constexpr rgb grid_line_colour = white;     // the build phase's grid
constexpr rgb panel_colour = {66, 66, 66};  // the grey panel behind the palette
constexpr rgb panel_edge_colour = {30, 30, 30};
constexpr rgb badge_colour = {200, 0, 0};  // a slot's stock badge
constexpr rgb palette_frame_colour = {230, 230, 230};
constexpr rgb selection_colour = {255, 0, 0};     // the frame round the selected slot
constexpr rgb text_red = {190, 0, 0};             // battle texts, banners, score titles
constexpr rgb score_frame_colour = {90, 90, 90};  // the score panel's title frame
constexpr rgb score_sheet_colour = {190, 190, 190};

// ---- the field

const int cell_size = 64;
const int field_top = 48;                                    // top edge of the grid's first row
const int field_width = grid_columns * cell_size;            // 448
const int field_bottom = field_top + grid_rows * cell_size;  // 432, first row below the grid
// Meteors may land a little right of the grid, on the castle's doorstep.
const int firing_right = 457;
// A granny's feet stand between these rows; rows of the grid under her feet
// are counted from the top one, seven pixels below the top of the field.
const int feet_top = 55;
const int feet_bottom = 434;
const int feet_spawn_rows = 384;  // she comes in at feet_top + rand() % feet_spawn_rows
// A granny whose feet pass this column has reached the castle.
const int castle_line = 445;

// A magnet pulls or pushes from this point of the cell it lies in, measured
// from (cell_size * column, cell_size * row): below the cell's middle.
constexpr offset repulse_anchor = {32, 84};
constexpr offset attract_anchor = {30, 86};
constexpr offset magnet_point(int column, int row, offset anchor) {
    return {cell_size * column + anchor.x, cell_size * row + anchor.y};
}

// ---- the build overlay (x measured from the right edge of the screen)

const int palette_left_from_right = 128;  // the column of palette tiles
const int palette_right_from_right = 64;
const int palette_top = 64;
const int slot_pitch = cell_size;
const int palette_bottom = palette_top + palette_slots * slot_pitch - 1;  // 383
const int palette_frame_from_bottom = 96;  // the frame round the palette tiles
const int grid_lines_from_bottom = 48;     // the grid lines reach down to here
const int panel_left_from_right = 160;     // the grey panel behind the palette
const int panel_top = 32;
const int panel_bottom_from_bottom = 64;
// The red stock badge of a slot, its top-left and bottom-right corners
// measured from the slot's top; the count is written at stock_text.
constexpr offset badge_from = {50, 21}, badge_to = {10, 42}, stock_text = {34, 31};
// The start button's picture stands with its top-left corner at (left, top);
// a click counts inside it, the left and top edges excluded.
constexpr screen_rect start_button = {522, 424, 622, 471};

// ---- the keyboard and pad cursor

constexpr rgb cursor_colour = {255, 220, 0};
const int cursor_frame_width = 3;  // the build phase's frame, drawn inside the framed place
const int crosshair_ring = 9;      // the battle's crosshair: a ring, outlined in black,
const int crosshair_reach = 14;    // and four strokes from the ring's edge out to here

// ---- the options card (O, the pad's Y, or a click on its control)

// The small control in the ground strip, bottom left, that opens the card:
// part of the scenery, under the dialog box in the story.
constexpr screen_rect options_control = {6, 445, 41, 474};
constexpr screen_rect options_card_box = {130, 90, 509, 389};
const int options_first_row_y = 150;  // the top of the first row
const int options_row_pitch = 46;
const int options_row_height = 36;
// In each row, measured from the card's left edge: the label, the two
// buttons that lower and raise the value, the value between them.
const int options_label_x = 22;
const int options_lower_x = 168, options_raise_x = 326, options_button_width = 36;
constexpr rgb options_button_colour = {70, 70, 70};

// ---- scenery and the battle

const int top_strip_y = 38;  // the strip of scenery above the field
const int ground_rows = 12;
constexpr offset castle_at = {440, 20};
// The battle's texts, centred on x, at y = y_from_top + y_per_font_height * fh.
struct battle_text_place {
    int x, y_from_top, y_per_font_height;
};
constexpr battle_text_place battle_text_places[4] = {
    {560, 5, 0},
    {560, 0, 1},
    {560, 400, 0},
    {560, 395, 1}};  // shield label and value, score label and value

// ---- the dialog box, measured from its top-left corner

constexpr offset dialog_portrait = {27, 18};
constexpr offset dialog_text = {140, 10};  // the first line; the others follow
const int dialog_line_pitch = 25;
// The box's picture stands on the frame's bottom edge, this tall: a click on
// one of its lines answers what that line offers.
const int dialog_box_height = 128;

// ---- the score panel

const int score_title_y = 10;
const int score_prompt_lines = 11;  // the prompt stands this many font heights
const int score_prompt_y = 10;      // plus this many pixels down
const int score_rows_y = 40;        // the first row; one font height between rows
constexpr char score_prompt[] = "Press ENTER key to continue...";  // the sheet's widest line
constexpr screen_rect score_frame = {180, 10, 460, 50};
// The two rectangles behind the rows reach score_panel_lines font heights
// plus `bottom` pixels down.
const int score_panel_lines = 12;
constexpr screen_rect score_shadow = {182, 400, 460, 16};
constexpr screen_rect score_sheet = {182, 12, 458, 14};
