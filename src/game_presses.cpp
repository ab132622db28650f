// The button changes that come between two ticks, kept in order for the
// ticks to take one at a time: a tap (a touchpad's, a quick finger's)
// presses and lets go before the next tick, and buttons read once a tick
// would never show it. The mouse's changes as Allegro's drivers report them;
// the pad's, which Allegro reads only when asked, read every few
// milliseconds between ticks.
#include <allegro.h>

#include <cstdlib>
#include <mutex>

#include "game.h"

namespace {

// The changes not yet taken, oldest first. Far more than a hand makes while
// a tick is held up (a screen switch takes under a second); past them the
// newest stands for the last, so that the buttons still end as they are.
template <typename change>
class kept_changes {
public:
    void keep(const change& c) {
        if (count == size)
            changes[(first + count - 1) % size] = c;
        else
            changes[(first + count++) % size] = c;
    }
    bool take(change* c) {
        if (count == 0) return false;
        *c = changes[first];
        first = (first + 1) % size;
        count--;
        return true;
    }

private:
    static const int size = 64;
    change changes[size];
    int first = 0, count = 0;
};

// ---- the mouse

std::mutex mouse_guard;
kept_changes<mouse_change> mouse_changes;

// The window's own hook, which turns the pointer into frame pixels (Windows).
void (*earlier_hook)(int) = nullptr;

const int button_flags = MOUSE_FLAG_LEFT_DOWN | MOUSE_FLAG_LEFT_UP | MOUSE_FLAG_RIGHT_DOWN |
                         MOUSE_FLAG_RIGHT_UP | MOUSE_FLAG_MIDDLE_DOWN | MOUSE_FLAG_MIDDLE_UP;

// Allegro calls this from _handle_mouse_input, on whichever thread its driver
// reports a change (the X input thread, DirectInput's, the tick's own), with
// mouse_x, mouse_y and mouse_b just set.
void keep_mouse_change(int flags) {
    if (earlier_hook) earlier_hook(flags);
    if (!(flags & button_flags)) return;
    std::lock_guard<std::mutex> lock(mouse_guard);
    mouse_changes.keep({mouse_b, mouse_x, mouse_y});
}

// ---- the pad

// How often the pad is read between ticks: a quarter of a tick, shorter
// than any tap of a thumb (one shorter still may fall between two reads).
const int pad_read_ms = 4;
std::mutex pad_guard;  // one reader of the pad at a time
kept_changes<int> pad_changes;
int (*read_pad)() = nullptr;
int pad_as_read = 0;

void keep_pad_change() {
    int buttons = read_pad();
    if (buttons == pad_as_read) return;
    pad_as_read = buttons;
    pad_changes.keep(buttons);
}

// On Allegro's timer thread.
void read_pad_between_ticks() {
    std::lock_guard<std::mutex> lock(pad_guard);
    keep_pad_change();
}

void stop_reading_pad() { remove_int(read_pad_between_ticks); }

}  // namespace

bool take_mouse_change(mouse_change* change) {
    static bool hooked = false;
    if (!hooked) {  // chained once, whatever hooks the window adds later
        hooked = true;
        earlier_hook = mouse_callback;
        mouse_callback = keep_mouse_change;
    }
    std::lock_guard<std::mutex> lock(mouse_guard);
    return mouse_changes.take(change);
}

void read_mouse() {
    if (mouse_needs_poll()) poll_mouse();
}

int take_pad_buttons(int (*read)(), void (*look_after)()) {
    static bool reading = false;
    std::unique_lock<std::mutex> lock(pad_guard);
    look_after();
    read_pad = read;
    if (!reading && num_joysticks > 0) {
        reading = true;
        lock.unlock();  // the timer's first call may come at once
        install_int_ex(read_pad_between_ticks, MSEC_TO_TIMER(pad_read_ms));
        std::atexit(stop_reading_pad);  // before Allegro's own exit removes the pad
        lock.lock();
    }
    keep_pad_change();  // what came since the last read
    int buttons = pad_as_read;
    pad_changes.take(&buttons);
    return buttons;
}
