// The mouse's button changes that come between two ticks, kept in order for
// the ticks to take one at a time: a tap (a touchpad's, a quick finger's)
// presses and lets go before the next tick, and the buttons read once a tick
// would never show it.
#include <allegro.h>

#include <mutex>

#include "game.h"

namespace {

// Far more changes than a hand makes while a tick is held up (a screen
// switch takes under a second); past them the newest stands for the last,
// so that the buttons still end as they are.
const int kept_changes = 64;
std::mutex changes_guard;
mouse_change changes[kept_changes];
int first_change = 0, change_count = 0;

// The window's own hook, which turns the pointer into frame pixels (Windows).
void (*earlier_hook)(int) = nullptr;

const int button_flags = MOUSE_FLAG_LEFT_DOWN | MOUSE_FLAG_LEFT_UP | MOUSE_FLAG_RIGHT_DOWN |
                         MOUSE_FLAG_RIGHT_UP | MOUSE_FLAG_MIDDLE_DOWN | MOUSE_FLAG_MIDDLE_UP;

// Allegro calls this from _handle_mouse_input, on whichever thread its driver
// reports a change (the X input thread, DirectInput's, the tick's own), with
// mouse_x, mouse_y and mouse_b just set.
void keep_change(int flags) {
    if (earlier_hook) earlier_hook(flags);
    if (!(flags & button_flags)) return;
    std::lock_guard<std::mutex> lock(changes_guard);
    const mouse_change now{mouse_b, mouse_x, mouse_y};
    if (change_count == kept_changes)
        changes[(first_change + change_count - 1) % kept_changes] = now;
    else
        changes[(first_change + change_count++) % kept_changes] = now;
}

}  // namespace

bool take_mouse_change(mouse_change* change) {
    static bool hooked = false;
    if (!hooked) {  // chained once, whatever hooks the window adds later
        hooked = true;
        earlier_hook = mouse_callback;
        mouse_callback = keep_change;
    }
    std::lock_guard<std::mutex> lock(changes_guard);
    if (change_count == 0) return false;
    *change = changes[first_change];
    first_change = (first_change + 1) % kept_changes;
    change_count--;
    return true;
}

void read_mouse() {
    if (mouse_needs_poll()) poll_mouse();
}
