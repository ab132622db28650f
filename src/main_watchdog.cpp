// The last word of a stop: once the game has been asked to end (a stop
// signal, the window's close button, or the main loop having returned), the
// orderly shutdown gets a few seconds, and past them the process ends
// without it. A hung sound server, say, blocks Allegro's input thread in
// its sound output, and the sound driver's removal then waits for that
// thread forever. Every entered score was saved when it was entered, so
// leaving early loses nothing.
#include <atomic>
#include <chrono>
#include <thread>

#include "main.h"
#include "platform.h"

std::atomic<int> game_finished{0};

namespace {

const auto shutdown_grace = std::chrono::milliseconds(3000);
const auto look_every = std::chrono::milliseconds(50);

bool asked_to_stop() { return stop_signal != 0 || close_button_pressed != 0 || game_finished != 0; }

void watch_the_stop() {
    using clock = std::chrono::steady_clock;
    clock::time_point asked_at{};
    bool asked = false;
    for (;;) {
        std::this_thread::sleep_for(look_every);
        if (!asked_to_stop()) continue;
        if (!asked) asked_at = clock::now(), asked = true;
        if (clock::now() - asked_at < shutdown_grace) continue;
        platform_leave_now(
            "tollybrook: the shutdown did not finish within 3 s; ending without it\n");
    }
}

}  // namespace

// The thread takes no signal: the stop signals' handler runs elsewhere.
void start_shutdown_watchdog() { platform_start_quiet_thread(watch_the_stop); }
