// The player's input, taken once at the start of a tick: the snapshot the
// rules read, the keyboard and pad cursor that stands in for the mouse, and
// the pad.
#include <allegro.h>

#include <algorithm>
#include <cstdlib>

#include "game.h"
#include "platform.h"

static_assert(KEY_MAX <= key_slots, "the snapshot holds every scancode");

namespace {

// The pad's buttons as Linux numbers those of the common pads.
enum { pad_a = 0, pad_b = 1, pad_x = 2, pad_y = 3, pad_back = 6, pad_start = 7 };
// Held on the pad, these count as held keys: the story's answers and Pause.
struct pad_key {
    int button, scancode;
};
const pad_key pad_keys[] = {{pad_a, KEY_Y}, {pad_b, KEY_N}, {pad_x, KEY_M}, {pad_start, KEY_PAUSE}};

bool pad_present = false;
// A pad was there and went away: it is looked for again now and then.
bool pad_lost = false;
int ticks_to_pad_search = 0;
const int pad_search_every_ticks = 60;

void take_up_pad();

// Allegro keeps the last values a pad sent, so a pad unplugged (or its
// wireless link dropped) with its stick pushed would push for ever. One that
// goes away is let go at once, every stick at rest and every button up, and
// taken up again when it comes back. Once a tick, on the game's thread.
void follow_pad() {
    if (pad_present && platform_pad_gone()) {
        remove_joystick();  // Allegro clears every value with it
        pad_present = false;
        pad_lost = true;
        ticks_to_pad_search = 0;
    }
    if (!pad_lost || pad_present || ticks_to_pad_search-- > 0) return;
    ticks_to_pad_search = pad_search_every_ticks;
    take_up_pad();
}

// A bit for each pad button held; 0 without a pad. Read between ticks
// too, on Allegro's timer thread: it only reads.
int pad_buttons() {
    if (!pad_present || poll_joystick() != 0) return 0;
    int held = 0;
    for (int b = 0; b < std::min(joy[0].num_buttons, 31); b++)
        if (joy[0].button[b].b) held |= 1 << b;
    return held;
}

bool pad_held(int buttons, int button) { return (buttons >> button) & 1; }

// Every key pressed since the last tick counts as held in this one, also
// one let go before it: the story reads which key it was, and a quick Y or
// N was otherwise taken for some other key when its release came first.
// True when a key went down.
bool take_pressed_keys(char* keys) {
    bool any = false;
    while (keypressed()) {
        any = true;
        int k = readkey();
        if (k == 0) break;  // no keyboard to read from
        int scancode = k >> 8;
        if (scancode > 0 && scancode < KEY_MAX) keys[scancode] = 1;
    }
    return any;
}

struct direction {
    int x = 0, y = 0;  // -1, 0 or 1 each way
    bool any() const { return x || y; }
};

// Allegro pairs a pad's axes into sticks as they come: the left stick, the
// d-pad (which Linux reports as two more axes), but also a trigger beside
// the other stick. A trigger rests at one end: only the sticks found
// centred at the start move the cursor.
bool stick_centred[MAX_JOYSTICK_STICKS];

void note_centred_sticks() {
    poll_joystick();  // the driver's first reading: where everything rests
    for (int s = 0; s < joy[0].num_sticks && s < MAX_JOYSTICK_STICKS; s++) {
        const JOYSTICK_STICK_INFO& stick = joy[0].stick[s];
        stick_centred[s] = stick.num_axis >= 2 && std::abs(stick.axis[0].pos) < 64 &&
                           std::abs(stick.axis[1].pos) < 64;
    }
}

// The arrow keys, the pad's stick and its d-pad, all read alike.
direction held_direction(const char* keys) {
    direction d;
    d.x = (keys[KEY_RIGHT] ? 1 : 0) - (keys[KEY_LEFT] ? 1 : 0);
    d.y = (keys[KEY_DOWN] ? 1 : 0) - (keys[KEY_UP] ? 1 : 0);
    if (!pad_present) return d;
    for (int s = 0; s < joy[0].num_sticks && s < MAX_JOYSTICK_STICKS; s++) {
        if (!stick_centred[s]) continue;
        const JOYSTICK_STICK_INFO& stick = joy[0].stick[s];
        if (!d.x) d.x = stick.axis[0].d2 - stick.axis[0].d1;
        if (!d.y) d.y = stick.axis[1].d2 - stick.axis[1].d1;
    }
    return d;
}

// ---- the build phase: the frame steps from place to place

// The places the frame stands on: the grid's cells, and right of them a
// column of the palette's slots with START below them.
const int panel_column = grid_columns;
static_assert(palette_slots + 1 == grid_rows, "the panel's column is as tall as the grid");

screen_rect build_place(int column, int row) {
    if (column < panel_column) {
        int left = cell_size * column, top = field_top + cell_size * row;
        return {left, top, left + cell_size - 1, top + cell_size - 1};
    }
    if (row < palette_slots) {
        int left = screen_width - palette_left_from_right, top = palette_top + slot_pitch * row;
        return {left, top, left + cell_size - 1, top + slot_pitch - 1};
    }
    return start_button;
}

// A held direction steps once at once, then again after a short wait and
// every few ticks while it stays held.
const int first_repeat_ticks = 12, repeat_every_ticks = 4;
bool steps_now(int held_ticks) {
    return held_ticks == 0 || (held_ticks >= first_repeat_ticks &&
                               (held_ticks - first_repeat_ticks) % repeat_every_ticks == 0);
}

// ---- the battle: the crosshair glides, slow at first

const float aim_start_speed = 1, aim_top_speed = 8, aim_speed_gain = 0.25f;  // pixels a tick

}  // namespace

namespace {

void take_up_pad() {
    pad_present = install_joystick(JOY_TYPE_AUTODETECT) == 0 && num_joysticks > 0;
    if (!pad_present) return;
    pad_lost = false;
    note_centred_sticks();
    platform_watch_pad();
}

}  // namespace

void start_pad() { take_up_pad(); }

void game::move_cursor(const input_snapshot& in, bool in_play) {
    input_memory& m = memory;
    direction d = held_direction(in.keys);
    bool was_shown = cursor.shown;
    // The input that changed last has the cursor: a direction held on (a
    // key, or a stick a lost pad left pushed) never takes it back from the
    // mouse.
    bool turned = d.x != m.held_x || d.y != m.held_y;
    m.held_x = d.x, m.held_y = d.y;
    if (d.any() && turned && in_play) cursor.shown = true;
    if (mode == mode_battle && m.last_mode != mode_battle) {  // a new battle: aim at the middle
        m.aim_x = field_width / 2;
        m.aim_y = (field_top + field_bottom) / 2;
    }
    m.last_mode = mode;
    if (!d.any() || !in_play || !cursor.shown) {
        m.moving_ticks = 0;
    } else if (mode == mode_build) {
        // The first press only shows the frame where it stood.
        if (was_shown && steps_now(m.moving_ticks)) {
            m.build_column = std::clamp(m.build_column + d.x, 0, panel_column);
            m.build_row = std::clamp(m.build_row + d.y, 0, grid_rows - 1);
        }
        m.moving_ticks++;
    } else {
        float speed = std::min(aim_start_speed + aim_speed_gain * m.moving_ticks, aim_top_speed);
        m.aim_x = std::clamp(m.aim_x + d.x * speed, 1.0f, float(firing_right));
        m.aim_y = std::clamp(m.aim_y + d.y * speed, float(field_top + 1), float(field_bottom - 1));
        m.moving_ticks++;
    }
    if (mode == mode_build) {
        cursor.frame = build_place(m.build_column, m.build_row);
        cursor.x = (cursor.frame.left + cursor.frame.right + 1) / 2;
        cursor.y = (cursor.frame.top + cursor.frame.bottom + 1) / 2;
    } else {
        cursor.x = static_cast<int>(m.aim_x);
        cursor.y = static_cast<int>(m.aim_y);
    }
}

void game::take_input(bool held) {
    input_memory& m = memory;
    input_snapshot in;
    // Each read once: the X driver may change them at any moment. A button
    // change kept since the last tick comes first, one a tick, with the
    // pointer where it stood then: a press let go before this tick is still
    // taken as a press, and the tick after it as the release.
    mouse_change mouse{mouse_b, mouse_x, mouse_y};
    take_mouse_change(&mouse);
    int pointer_x = mouse.x, pointer_y = mouse.y, mouse_now = mouse.buttons;
    in.alt = (key_shifts & KB_ALT_FLAG) != 0;
    for (int k = 0; k < KEY_MAX; k++) in.keys[k] = key[k];
    bool key_went_down = take_pressed_keys(in.keys);
    if (enter_held_is_a_switch()) in.keys[KEY_ENTER] = 0;
    int pad = take_pad_buttons(pad_buttons, follow_pad);  // a tap too, one change a tick
    int pad_went_down = pad & ~m.pad_buttons;
    m.pad_buttons = pad;
    for (const pad_key& p : pad_keys)
        if (pad_held(pad, p.button)) in.keys[p.scancode] = 1;
    in.help = pad_held(pad_went_down, pad_back);
    in.pad_pressed = pad_went_down != 0;
    // Back is the help card's, as F1 is: never "any key". Y is the options
    // card's where O is, in play and in the pause; in the story it goes on.
    bool options_reach = mode == mode_build || mode == mode_battle || held;
    in.options = options_reach && pad_held(pad_went_down, pad_y);
    int not_keys = 1 << pad_back | (options_reach ? 1 << pad_y : 0);
    in.any_key = key_went_down || (pad_went_down & ~not_keys) != 0;
    direction d = held_direction(in.keys);
    in.move_x = d.x, in.move_y = d.y;
    clear_keybuf();

    // The pointer takes over from the cursor when the mouse moves or clicks.
    bool mouse_moved = m.mouse_x >= 0 && (pointer_x != m.mouse_x || pointer_y != m.mouse_y);
    if (mouse_moved || ((mouse_now & 1) && !(m.mouse_b & 1))) cursor.shown = false;
    m.mouse_x = pointer_x, m.mouse_y = pointer_y, m.mouse_b = mouse_now;

    bool click_keys = in.keys[KEY_SPACE] || (in.keys[KEY_ENTER] && !in.alt) || pad_held(pad, pad_a);
    bool in_play = (mode == mode_build || mode == mode_battle) && !held;
    // A click key counts in play only once it was let go there: the key that
    // turned the story's last page or ended the pause is no click.
    if (!in_play)
        m.click_armed = false;
    else if (!click_keys)
        m.click_armed = true;
    bool key_click = click_keys && m.click_armed;
    if (key_click && !m.key_click_held) cursor.shown = true;  // as it goes down, as above
    m.key_click_held = key_click;
    move_cursor(in, in_play);
    bool cursor_rules = cursor.shown && (mode == mode_build || mode == mode_battle);
    in.x = cursor_rules ? cursor.x : pointer_x;
    in.y = cursor_rules ? cursor.y : pointer_y;
    in.left = (mouse_now & 1) || key_click;
    input = in;
}
