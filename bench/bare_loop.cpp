// A bare Allegro program to measure the game against: keyboard, mouse and a
// 60 Hz timer, and 60 times a second it waits with rest(1), polls the mouse,
// turns a square to its other colour on each new press of the left button or
// of a key, and copies the whole 640x480 16-bit back buffer to the window.
// After SECONDS, or at SIGTERM, it says how it kept its pace.
//
//   bare_loop SECONDS
#include <allegro.h>

#include <atomic>
#include <csignal>
#include <cstdlib>

#include "bare_square.h"
#include "frame_pace.h"

static std::atomic<int> tick_due{0};
static void allow_tick() { tick_due = 1; }
static volatile std::sig_atomic_t stop = 0;
static void note_stop(int) { stop = 1; }

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 10;
    allegro_init();
    std::signal(SIGTERM, note_stop);
    install_keyboard();
    install_mouse();
    install_timer();
    install_int_ex(allow_tick, BPS_TO_TIMER(60));
    set_color_depth(16);
    if (set_gfx_mode(GFX_AUTODETECT_WINDOWED, 640, 480, 0, 0) != 0) return 1;
    BITMAP* back = create_bitmap(640, 480);
    clear_to_color(back, makecol(60, 90, 120));
    const int colours[2] = {makecol(230, 200, 40), makecol(40, 160, 80)};
    int colour = 0;
    bool was_down = false;
    frame_pace pace(seconds);
    for (long frame = 0; frame < seconds * 60 && !stop; frame++) {
        while (!tick_due) rest(1);
        tick_due = 0;
        poll_mouse();
        bool down = mouse_b & 1, pressed = (down && !was_down) || keypressed();
        was_down = down;
        clear_keybuf();
        if (pressed || frame == 0) {
            colour = 1 - colour;
            rectfill(back, bare_square_x, bare_square_y, bare_square_x + bare_square_size - 1,
                     bare_square_y + bare_square_size - 1, colours[colour]);
        }
        acquire_screen();
        blit(back, screen, 0, 0, 0, 0, 640, 480);
        release_screen();
        pace.presented();
    }
    pace.report("bare loop");
    destroy_bitmap(back);
    return 0;
}
END_OF_MAIN()
