// The pause of the build phase and the battle: P or Pause, or the window
// losing focus in a battle, holds the game record where it stands.
#include <allegro.h>

#include "game.h"
#include "main_flags.h"

void pause_control::start(int scancode) {
    paused = true;
    pause_key = scancode;
    midi_pause();
}

void pause_control::stop() {
    paused = false;
    midi_resume();
}

// Dialogs and the score table read the keyboard themselves: there P is an
// answer like any other key, so only the build phase and the battle pause.
// As in the dialogs, which key was pressed is read from key[] at the press.
bool pause_control::hold(const game& g) {
    bool lost_focus = window_lost_focus.exchange(0) != 0;
    if (!paused) {
        if (g.mode != mode_build && g.mode != mode_battle) return false;
        bool pause_pressed = keypressed() && (key[KEY_P] || key[KEY_PAUSE]);
        if (!pause_pressed && !(lost_focus && g.mode == mode_battle)) return false;
        start(!pause_pressed ? 0 : key[KEY_P] ? KEY_P : KEY_PAUSE);
        clear_keybuf();
        return true;
    }
    // The key that paused repeats while held: it cannot resume until let go.
    if (pause_key && !key[pause_key]) pause_key = 0;
    if (pause_key == 0 && keypressed()) stop();
    clear_keybuf();
    return paused;
}
