// The options card: the music's and the effects' volumes, the window or
// full screen and the window's scale, picked with the arrows or the pad and
// changed with them or a click on a row's buttons; each change is heard or
// seen at once and remembered.
#include <allegro.h>

#include <algorithm>

#include "data_handler.h"
#include "game.h"
#include "gfx.h"
#include "main.h"

namespace {

const int volume_step = 10;  // % a press moves a volume

// A held direction acts at once, then again after a short wait and every
// few ticks while it stays held.
const int first_repeat_ticks = 15, repeat_every_ticks = 3;
bool acts_now(int held_ticks) {
    return held_ticks == 0 || (held_ticks >= first_repeat_ticks &&
                               (held_ticks - first_repeat_ticks) % repeat_every_ticks == 0);
}

bool inside(const screen_rect& r, int x, int y) {
    return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
}

// A row's button that lowers (-1) or raises (+1) its value.
screen_rect row_button(int row, int way) {
    int left = options_card_box.left + (way < 0 ? options_lower_x : options_raise_x);
    int top = options_first_row_y + options_row_pitch * row;
    return {left, top, left + options_button_width - 1, top + options_row_height - 1};
}

// The value between a row's buttons.
screen_rect row_value(int row) {
    screen_rect lower = row_button(row, -1), raise = row_button(row, 1);
    return {lower.right + 1, lower.top, raise.left - 1, lower.bottom};
}

int stepped_volume(int percent, int way) { return clamped_volume(percent + way * volume_step); }

}  // namespace

int options_card::rows() const { return gfx_window_scalable() ? option_scale + 1 : option_scale; }

options_view options_card::view() const {
    options_view v;
    v.row = row;
    v.music = music_volume();
    v.effects = effects_volume();
    v.fullscreen = gfx_fullscreen();
    v.scale = rows() > option_scale ? gfx_window_scale_now() : 0;
    return v;
}

void options_card::change(int way) {
    switch (row) {
        case option_music: {
            int music = stepped_volume(music_volume(), way);
            set_volumes(music, effects_volume());
            remember_choice("music_volume", music);
            break;
        }
        case option_effects: {
            int effects = stepped_volume(effects_volume(), way);
            set_volumes(music_volume(), effects);
            remember_choice("effects_volume", effects);
            play(sound_click);  // heard at the new volume
            break;
        }
        case option_screen: switch_fullscreen(); break;
        case option_scale: {
            int scale = std::clamp(gfx_window_scale_now() + way, 1, gfx_window_scale(0));
            if (scale != gfx_window_scale_now() && gfx_set_window_scale(scale) == 0)
                remember_choice("scale", scale);
            break;
        }
        default: break;
    }
}

// A click on a row's buttons changes it (on the screen's value too); a click
// beside the card closes it.
bool options_card::click(int x, int y) {
    if (!inside(options_card_box, x, y)) return false;
    for (int r = 0; r < rows(); r++)
        for (int way : {-1, 1})
            if (inside(row_button(r, way), x, y) ||
                (r == option_screen && way > 0 && inside(row_value(r), x, y))) {
                row = r;
                change(way);
            }
    return true;
}

bool options_card::take(const input_snapshot& in, bool clicked) {
    if (clicked) return click(in.x, in.y);
    const char* k = in.keys;
    int lower = k[KEY_MINUS] || k[KEY_MINUS_PAD], raise = k[KEY_EQUALS] || k[KEY_PLUS_PAD];
    int way = in.move_x ? in.move_x : raise - lower;
    // Enter, Space and the pad's A (held as Y) switch the screen on its row.
    bool switch_key = k[KEY_ENTER] || k[KEY_ENTER_PAD] || k[KEY_SPACE] || k[KEY_Y];
    bool card_key = way || in.move_y || switch_key;
    if (in.any_key && !card_key) return false;  // the pad's buttons but Back and Y are keys here
    if (way != held_way || in.move_y != held_move) held_ticks = 0;  // another direction
    held_way = way, held_move = in.move_y;
    if (way || in.move_y) {
        if (acts_now(held_ticks)) {
            if (in.move_y)
                row = std::clamp(row + in.move_y, 0, rows() - 1);
            else
                change(way);
        }
        held_ticks++;
    } else {
        held_ticks = 0;
    }
    if (switch_key && in.any_key && row == option_screen) change(1);
    return true;
}
