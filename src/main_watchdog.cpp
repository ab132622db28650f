// The last word of a stop: once the game has been asked to end (a stop
// signal, the window's close button, or the main loop having returned), the
// orderly shutdown gets a few seconds, and past them the process ends
// without it. A hung sound server, say, blocks Allegro's input thread in
// its sound output, and the sound driver's removal then waits for that
// thread forever. Every entered score was saved when it was entered, so
// leaving early loses nothing.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <ctime>

#include "main.h"

std::atomic<int> game_finished{0};

namespace {

const long shutdown_grace_ms = 3000;
const long look_every_ms = 50;

bool asked_to_stop() { return stop_signal != 0 || close_button_pressed != 0 || game_finished != 0; }

long now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

void* watch_the_stop(void*) {
    long asked_at = -1;
    for (;;) {
        timespec pause{0, look_every_ms * 1000000};
        nanosleep(&pause, nullptr);
        if (!asked_to_stop()) continue;
        if (asked_at < 0) asked_at = now_ms();
        if (now_ms() - asked_at < shutdown_grace_ms) continue;
        // Only calls that are safe whatever the other threads hold.
        static const char line[] =
            "tollybrook: the shutdown did not finish within 3 s; ending without it\n";
        ssize_t written = write(2, line, sizeof line - 1);
        (void)written;
        _exit(0);
    }
    return nullptr;
}

}  // namespace

void start_shutdown_watchdog() {
    // The thread takes no signal: the stop signals' handler runs elsewhere.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    pthread_create(&thread, &attributes, watch_the_stop, nullptr);
    pthread_attr_destroy(&attributes);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}
