// The keys the game adds to the story's and the pause's: F1 the help card,
// O the options card, M the sound, F11 and Alt+Enter fullscreen. They are taken out of the
// keyboard buffer before the rules read it, so the story never sees them as
// "any key" and they never end a pause. F11 and Alt+Enter are counted as
// they go down, each press a switch, in turn; so is Escape, which always
// ends the game.
#include <allegro.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "game.h"
#include "gfx.h"
#include "main.h"
#include "main_flags.h"

namespace {

// F1 and M count when they go down: the buffer repeats a key held down, and
// each repeat must not open the card or switch the sound again.
struct added_key {
    int scancode;
    bool was_down = false;
};
added_key help_key{KEY_F1}, sound_key{KEY_M}, options_key{KEY_O};

bool newly_pressed(added_key& k) { return !k.was_down; }

// F11 and Alt+Enter are counted on Allegro's input thread as they go down,
// not read from the buffer a tick later: a switch holds the tick up (70 to
// 250 ms measured here, up to 800 ms under load), and every press that comes
// meanwhile must count, once. Read between ticks, a quick second press was
// taken for the first one still held, and the rules cleared the buffer of
// those that came during a switch: 2 to 8 of 20 quick switches were lost.
// A held key repeats: it counts again once the player let it go, not after
// the key up Allegro makes when the window loses the focus (as each switch
// does), when the key may still be held.
std::atomic<bool> f11_down{false}, enter_down{false};
// The Enter held went down with Alt: a switch, and no Enter for the rules
// until the player lets it go, even when Alt goes up first.
std::atomic<bool> enter_switches{false};
// An Escape that went down since the main loop last looked: a switch holds
// a tick up for long enough that a quick Escape comes and goes within it.
std::atomic<bool> escape_went_down{false};
std::atomic<int> fullscreen_presses{0};  // counted, not yet taken
std::atomic<int> alt_enters{0};          // Alt+Enter presses since the last take
int switches_queued = 0;                 // taken, one switch a tick

void count_fullscreen_key(int scancode) {
    const bool up = scancode & 0x80;
    const bool from_player = gfx_key_from_player();  // asked of every key
    scancode &= 0x7f;
    if (scancode == KEY_ESC && !up) escape_went_down = true;
    std::atomic<bool>* down = scancode == KEY_F11     ? &f11_down
                              : scancode == KEY_ENTER ? &enter_down
                                                      : nullptr;
    if (!down) return;
    if (up) {
        if (from_player) *down = false;
        if (from_player && scancode == KEY_ENTER) enter_switches = false;
        return;
    }
    if (down->exchange(true)) return;  // a repeat
    if (scancode == KEY_ENTER) {
        enter_switches = (key_shifts & KB_ALT_FLAG) != 0;
        if (!enter_switches) return;
        alt_enters++;
    }
    fullscreen_presses++;
}

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
    if (keyboard_lowlevel_callback != count_fullscreen_key)
        keyboard_lowlevel_callback = count_fullscreen_key;
    switches_queued += fullscreen_presses.exchange(0);
    int alt_enters_to_drop = alt_enters.exchange(0);  // their Alt may be up by now
    added_keys taken;
    std::vector<int> others;
    while (keypressed()) {
        int k = readkey();
        if (k == 0) break;  // no keyboard to read from
        int scancode = k >> 8;
        bool alt_enter = scancode == KEY_ENTER &&
                         ((key_shifts & KB_ALT_FLAG) || enter_switches || alt_enters_to_drop > 0);
        if (scancode == KEY_F1)
            taken.help |= newly_pressed(help_key);
        else if (scancode == KEY_F11)
            ;  // counted as it went down
        else if (alt_enter)
            alt_enters_to_drop = std::max(alt_enters_to_drop - 1, 0);
        else if (scancode == KEY_M && sound_key_counts)
            taken.sound |= newly_pressed(sound_key);
        else if (scancode == KEY_O && sound_key_counts)
            taken.options |= newly_pressed(options_key);
        else
            others.push_back(k);
    }
    for (int k : others) simulate_keypress(k);
    for (added_key* k : {&help_key, &sound_key, &options_key}) k->was_down = key[k->scancode] != 0;
    taken.fullscreen = switches_queued > 0;
    if (taken.fullscreen) switches_queued--;
    return taken;
}

bool enter_held_is_a_switch() { return enter_switches; }

bool take_escape_press() { return escape_went_down.exchange(false); }

void switch_fullscreen() {
    if (gfx_set_fullscreen(!gfx_fullscreen()) == 0) remember_choice("fullscreen", gfx_fullscreen());
    window_lost_focus = 0;
    switch_focus_left = switch_focus_ticks;
}
