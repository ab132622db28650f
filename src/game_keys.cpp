// The keys the game adds to the story's and the pause's: F1 the help card,
// M the sound, F11 and Alt+Enter fullscreen. They are taken out of the
// keyboard buffer before the rules read it, so the story never sees them as
// "any key" and they never end a pause.
#include <allegro.h>

#include <vector>

#include "game.h"
#include "gfx.h"
#include "main.h"
#include "main_flags.h"

namespace {

// A key the game adds counts when it goes down: the buffer repeats a key
// held down, and each repeat must not switch the screen or the sound again.
struct added_key {
    int scancode;
    bool was_down = false;
};
added_key help_key{KEY_F1}, sound_key{KEY_M}, fullscreen_key{KEY_F11}, enter_key{KEY_ENTER};

bool newly_pressed(added_key& k) { return !k.was_down; }

// Switching the screen mode takes the focus from the window for a moment
// (the window manager remaps it): a focus loss in the half second after a
// switch is the switch's own and must not pause the battle.
const int switch_focus_ticks = 30;
int switch_focus_left = 0;

}  // namespace

added_keys take_added_keys(bool sound_key_counts) {
    if (switch_focus_left > 0) {
        switch_focus_left--;
        window_lost_focus = 0;
    }
    added_keys taken;
    std::vector<int> others;
    while (keypressed()) {
        int k = readkey();
        if (k == 0) break;  // no keyboard to read from
        int scancode = k >> 8;
        bool alt_enter = scancode == KEY_ENTER && (key_shifts & KB_ALT_FLAG);
        if (scancode == KEY_F1)
            taken.help |= newly_pressed(help_key);
        else if (scancode == KEY_F11)
            taken.fullscreen |= newly_pressed(fullscreen_key);
        else if (alt_enter)
            taken.fullscreen |= newly_pressed(enter_key);
        else if (scancode == KEY_M && sound_key_counts)
            taken.sound |= newly_pressed(sound_key);
        else
            others.push_back(k);
    }
    for (int k : others) simulate_keypress(k);
    for (added_key* k : {&help_key, &sound_key, &fullscreen_key, &enter_key})
        k->was_down = key[k->scancode] != 0;
    return taken;
}

void switch_fullscreen() {
    if (gfx_set_fullscreen(!gfx_fullscreen()) == 0) remember_choice("fullscreen", gfx_fullscreen());
    window_lost_focus = 0;
    switch_focus_left = switch_focus_ticks;
}
