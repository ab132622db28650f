// The options card laid over a finished frame (the volumes, the screen, the
// window's scale, each row with buttons either side of its value), and the
// small control in the scenery that opens it.
#include <algorithm>
#include <cstdio>

#include "data_render_parts.h"
#include "game.h"

namespace {

const char card_title[] = "Options";
const char card_hint[] = "Arrows, - and + or a click change; O or another key closes";
const char* const row_labels[] = {"Music", "Effects", "Screen", "Window size"};

const int row_text_size = 24;  // the text font's size for the rows
const int hint_largest_size = 20;
const int card_inset = 10;  // the picked row's frame, inside the card's edges
const int volume_bar_height = 4;

// The largest size up to `largest` at which `text` fits `width`.
int size_fitting(ALFONT_FONT* f, const char* text, int width, int largest) {
    for (int size = largest; size > 10; size--) {
        alfont_set_font_size(f, size);
        if (alfont_text_length(f, text) <= width) return size;
    }
    return 10;
}

void draw_button(BITMAP* b, int left, int top, int way) {
    int w = options_button_width, h = options_row_height;
    rectfill(b, left, top, left + w - 1, top + h - 1, colour(options_button_colour));
    rect(b, left, top, left + w - 1, top + h - 1, colour(white));
    int cx = left + w / 2, cy = top + h / 2, reach = w / 4;
    triangle(b, cx + way * reach, cy, cx - way * reach, cy - reach, cx - way * reach, cy + reach,
             colour(white));
}

void draw_row(BITMAP* b, const options_view& v, int row) {
    ALFONT_FONT* f = fonts[0];
    const int card_left = options_card_box.left, card_right = options_card_box.right;
    const int top = options_first_row_y + options_row_pitch * row, h = options_row_height;
    const int text_y = top + (h - alfont_get_font_height(f)) / 2;
    if (row == v.row)
        rect(b, card_left + card_inset, top - 4, card_right - card_inset, top + h + 3,
             colour(cursor_colour));
    alfont_textout_aa_ex(b, f, row_labels[row], card_left + options_label_x, text_y, colour(white),
                         -1);
    const int lower = card_left + options_lower_x, raise = card_left + options_raise_x;
    draw_button(b, lower, top, -1);
    draw_button(b, raise, top, 1);
    char value[32];
    int percent = row == option_music ? v.music : v.effects;
    if (row == option_music || row == option_effects)
        std::snprintf(value, sizeof value, "%d %%", percent);
    else if (row == option_screen)
        std::snprintf(value, sizeof value, "%s", v.fullscreen ? "Full screen" : "Window");
    else
        std::snprintf(value, sizeof value, "%dx", v.scale);
    const int value_left = lower + options_button_width + 2, value_right = raise - 3;
    alfont_textout_centre_aa_ex(b, f, value, (value_left + value_right) / 2, text_y - 2,
                                colour(white), -1);
    if (row == option_music || row == option_effects) {  // the level as a bar under the value
        int bar_top = top + h - volume_bar_height;
        rect(b, value_left, bar_top, value_right, top + h - 1, colour(options_button_colour));
        if (percent > 0)
            rectfill(b, value_left, bar_top,
                     value_left + (value_right - value_left) * percent / 100, top + h - 1,
                     colour(text_red));
    }
}

// The card as last drawn, and what it showed: it is drawn again only when
// that changes, and otherwise laid over each frame as it is.
BITMAP* card = nullptr;
options_view card_shows;

bool same(const options_view& a, const options_view& b) {
    return a.row == b.row && a.music == b.music && a.effects == b.effects &&
           a.fullscreen == b.fullscreen && a.scale == b.scale;
}

// Draws the card into `target` (a frame, or a bitmap of the frame's size).
void paint_card(BITMAP* target, const options_view& shown) {
    const screen_rect& box = options_card_box;
    ALFONT_FONT* f = fonts[0];
    // The card changes the shared font's size and narrowing, and puts back
    // what it found, as the help card does.
    int size_before = alfont_get_font_height(f), width_before = alfont_get_width_percent(f);
    rectfill(target, box.left, box.top, box.right, box.bottom, colour(black));
    rect(target, box.left, box.top, box.right, box.bottom, colour(text_red));
    rect(target, box.left + 2, box.top + 2, box.right - 2, box.bottom - 2, colour(text_red));
    const int cx = (box.left + box.right) / 2;
    alfont_textout_centre_aa_ex(target, f, card_title, cx, box.top + 12, colour(text_red), -1);
    alfont_set_width_percent(f, 100);
    alfont_set_font_size(f, row_text_size);
    int rows = shown.scale > 0 ? option_scale + 1 : option_scale;
    for (int row = 0; row < rows; row++) draw_row(target, shown, row);
    int hint_size =
        size_fitting(f, card_hint, box.right - box.left - 2 * card_inset - 8, hint_largest_size);
    alfont_textout_centre_aa_ex(target, f, card_hint, cx, box.bottom - 14 - hint_size,
                                colour(text_red), -1);
    alfont_set_font_size(f, size_before);
    alfont_set_width_percent(f, width_before);
}

}  // namespace

void draw_options_card(BITMAP* target, const options_view& shown) {
    const screen_rect& box = options_card_box;
    const int w = box.right - box.left + 1, h = box.bottom - box.top + 1;
    bool fresh = !card || card->w != target->w || card->h != target->h;
    if (fresh) {
        forget_options_card();
        card = create_bitmap(target->w, target->h);
        if (!card) return;
    }
    if (fresh || !same(shown, card_shows)) {
        paint_card(card, shown);
        card_shows = shown;
    }
    blit(card, target, box.left, box.top, box.left, box.top, w, h);
    frame_overdrawn(target, box.left, box.top, w, h);
}

void forget_options_card() {
    if (card) destroy_bitmap(card);
    card = nullptr;
}

// Three sliders, the sign of settings, on a small dark plate.
void drawing::draw_options_control(BITMAP* target) {
    const screen_rect& c = options_control;
    rectfill(target, c.left, c.top, c.right, c.bottom, colour(black));
    rect(target, c.left, c.top, c.right, c.bottom, colour(text_red));
    const int knobs[] = {20, 60, 40};  // each knob's place along its slider, in %
    const int slider_left = c.left + 6, slider_right = c.right - 6;
    for (int i = 0; i < 3; i++) {
        int y = c.top + 7 + 8 * i;
        hline(target, slider_left, y, slider_right, colour(white));
        int x = slider_left + (slider_right - slider_left) * knobs[i] / 100;
        rectfill(target, x - 2, y - 2, x + 2, y + 2, colour(cursor_colour));
    }
}
