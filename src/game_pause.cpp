// The pause of the build phase and the battle: P or Pause, the window
// losing focus in a battle, the help card or the options card holds the
// game record where it stands.
#include <allegro.h>

#include <utility>

#include "data_handler.h"
#include "game.h"
#include "main_flags.h"

void pause_control::start(int scancode) {
    paused = true;
    pause_key = scancode;
    hold_tune(true);
}

void pause_control::stop() {
    paused = false;
    help = options = false;
    hold_tune(false);
}

// The card holds the game but not the tune: it is read to music.
void pause_control::open_help() {
    if (!paused) pause_key = 0;
    paused = help = true;
    options = false;
}

// The tune plays under the options card, so that its volume is heard as it
// changes. The click that opened the card is no click on it.
void pause_control::open_options() {
    if (!paused) pause_key = 0;
    paused = options = true;
    help = false;
    button_held = true;
    option_rows = options_card();
    hold_tune(false);
}

void pause_control::close_options() {
    if (options) stop();
}

// Dialogs and the score table read the keyboard themselves: there P is an
// answer like any other key, so only the build phase and the battle pause.
// As in the dialogs, which key was pressed is read from the keys held at the
// press.
bool pause_control::hold(const game& g) {
    const input_snapshot& in = g.input;
    bool lost_focus = window_lost_focus.exchange(0) != 0;
    bool button_was_held = std::exchange(button_held, in.left);
    if (!paused) {
        if (g.mode != mode_build && g.mode != mode_battle) return false;
        bool pause_pressed = in.any_key && (in.keys[KEY_P] || in.keys[KEY_PAUSE]);
        if (!pause_pressed && !(lost_focus && g.mode == mode_battle)) return false;
        start(!pause_pressed ? 0 : in.keys[KEY_P] ? KEY_P : KEY_PAUSE);
        return true;
    }
    // The key that paused repeats while held: it cannot resume until let go.
    if (pause_key && !in.keys[pause_key]) pause_key = 0;
    bool clicked = button_held && !button_was_held;
    if (options && !option_rows.take(in, clicked)) {  // closes as the help card does
        options = false;
        if (clicked)
            awaits_release = true;
        else
            stop();
    }
    if (options) return true;
    if (help && clicked) {  // a click closes the card
        help = false;
        awaits_release = true;
    }
    if (awaits_release) {
        if (!button_held) awaits_release = false, stop();
    } else if (pause_key == 0 && in.any_key) {
        stop();
    }
    return paused;
}
