// The help card (F1, and once at the player's very first start) and the
// short banners laid over a finished frame: "PAUSED", the sound note, the
// notice of a failed save. All are drawn after draw() and report what they
// covered, so the frame under them is repainted when they go.
#include <algorithm>

#include "data_render_parts.h"

namespace {

// What each palette tile does, in palette order.
const char* const tile_lines[palette_slots] = {
    "Mud: a granny on it walks at less than half her speed",
    "Up arrows: a granny on it drifts up; off the field, she is gone",
    "Down arrows: a granny on it drifts down; off the field, she is gone",
    "Repulse magnet: in the battle it pushes grannies away",
    "Attract magnet: in the battle it pulls grannies towards it",
};

// How a level goes, and the keys.
const char* const play_lines[] = {
    "Pick a tile on the right, click a cell to lay it, click it again to lift it.",
    "START begins the battle. A click drops a meteor, which costs a point;",
    "each granny gone earns one. Grannies at the castle wear its shield down.",
    "Keys: F1 help, O options, P pause, M sound, F11 full screen, Escape quit. No mouse?",
    "Arrows or a pad move a cursor; Space, Enter, A click; Start pause, Back help, Y options",
};

const char card_title[] = "How to play";
const char card_close[] = "Press any key or click to play";

const int card_margin = 16;  // between the card and the frame's edges
const int card_pad = 14;     // between the card's edge and what it holds
const int tile_shown = 40;   // the tiles' pictures, made smaller
const int tile_row = 44;
const int largest_line_size = 24;  // the text font's size for the card's lines

BITMAP* card = nullptr;  // made once, laid over each frame it shows on

// The largest size up to largest_line_size at which every line fits `width`.
int line_size_fitting(int width) {
    ALFONT_FONT* f = fonts[0];
    for (int size = largest_line_size; size > 10; size--) {
        alfont_set_font_size(f, size);
        int widest = 0;
        for (const char* line : play_lines) widest = std::max(widest, alfont_text_length(f, line));
        for (const char* line : tile_lines)
            widest = std::max(widest, tile_shown + card_pad + alfont_text_length(f, line));
        if (widest <= width) return size;
    }
    return 10;
}

BITMAP* make_card(int w, int h) {
    BITMAP* b = create_bitmap(w, h);
    if (!b) return nullptr;
    ALFONT_FONT* f = fonts[0];
    // The card changes the shared font's size and narrowing, and puts back
    // what it found: the frame's texts are measured at the game's own.
    int size_before = alfont_get_font_height(f), width_before = alfont_get_width_percent(f);
    clear_to_color(b, colour(black));
    rect(b, 0, 0, w - 1, h - 1, colour(text_red));
    rect(b, 2, 2, w - 3, h - 3, colour(text_red));
    int y = card_pad;
    alfont_textout_centre_aa_ex(b, f, card_title, w / 2, y, colour(text_red), -1);
    y += fh + 4;
    // The card's lines in a smaller size of the text font, full width.
    alfont_set_width_percent(f, 100);
    int size = line_size_fitting(w - 2 * card_pad);
    int pitch = alfont_get_font_height(f) + 2;
    for (int i = 0; i < palette_slots; i++) {
        stretch_sprite(b, bSpecTiles[i], card_pad, y, tile_shown, tile_shown);
        alfont_textout_aa_ex(b, f, tile_lines[i], card_pad + tile_shown + card_pad,
                             y + (tile_shown - size) / 2, colour(white), -1);
        y += tile_row;
    }
    y += 6;
    for (const char* line : play_lines) {
        alfont_textout_aa_ex(b, f, line, card_pad, y, colour(white), -1);
        y += pitch;
    }
    alfont_textout_centre_aa_ex(b, f, card_close, w / 2, h - card_pad - size, colour(text_red), -1);
    alfont_set_font_size(f, size_before);
    alfont_set_width_percent(f, width_before);
    return b;
}

// A banner of one line centred on (cx, cy), as the pause shows it.
void draw_banner(BITMAP* target, const char* text, int cx, int cy) {
    int half_w = alfont_text_length(fonts[0], text) / 2 + 24, half_h = fh / 2 + 8;
    rectfill(target, cx - half_w, cy - half_h, cx + half_w, cy + half_h, colour(black));
    rect(target, cx - half_w, cy - half_h, cx + half_w, cy + half_h, colour(text_red));
    alfont_textout_centre_aa_ex(target, fonts[0], text, cx, cy - fh / 2, colour(white), -1);
    frame_overdrawn(target, cx - half_w, cy - half_h, 2 * half_w + 1, 2 * half_h + 1);
}

}  // namespace

void draw_help_card(BITMAP* target) {
    int w = target->w - 2 * card_margin, h = target->h - 2 * card_margin;
    if (!card || card->w != w || card->h != h) {
        forget_help_card();
        card = make_card(w, h);
        if (!card) return;
    }
    blit(card, target, 0, 0, card_margin, card_margin, w, h);
    frame_overdrawn(target, card_margin, card_margin, w, h);
    // The options card is a click away from here too.
    const screen_rect& c = options_control;
    drawing::draw_options_control(target);
    frame_overdrawn(target, c.left, c.top, c.right - c.left + 1, c.bottom - c.top + 1);
}

void forget_help_card() {
    if (card) destroy_bitmap(card);
    card = nullptr;
}

void draw_pause_banner(BITMAP* target) {
    draw_banner(target, "PAUSED", target->w / 2, target->h / 2);
}

// Above the pause banner, so both can show.
void draw_sound_note(BITMAP* target, bool on) {
    draw_banner(target, on ? "Sound on" : "Sound off", target->w / 2, target->h / 4);
}

void draw_notice(BITMAP* target, const char* text) {
    int cx = target->w / 2, bottom = target->h - 6;
    int half_w = alfont_text_length(fonts[0], text) / 2 + 12, top = bottom - fh - 8;
    rectfill(target, cx - half_w, top, cx + half_w, bottom, colour(black));
    rect(target, cx - half_w, top, cx + half_w, bottom, colour(text_red));
    alfont_textout_centre_aa_ex(target, fonts[0], text, cx, top + 4, colour(white), -1);
    frame_overdrawn(target, cx - half_w, top, 2 * half_w + 1, bottom - top + 1);
}
