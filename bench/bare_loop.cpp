// A bare Allegro program to measure the game against: keyboard, mouse and a
// 60 Hz timer, and 60 times a second it waits with rest(1) and copies a whole
// 640x480 16-bit back buffer to the window. Runs for SECONDS.
//
//   bare_loop SECONDS
#include <allegro.h>

#include <atomic>
#include <cstdlib>

static std::atomic<int> tick_due{0};
static void allow_tick() { tick_due = 1; }

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 10;
    allegro_init();
    install_keyboard();
    install_mouse();
    install_timer();
    install_int_ex(allow_tick, BPS_TO_TIMER(60));
    set_color_depth(16);
    if (set_gfx_mode(GFX_AUTODETECT_WINDOWED, 640, 480, 0, 0) != 0) return 1;
    BITMAP* back = create_bitmap(640, 480);
    clear_to_color(back, makecol(60, 90, 120));
    for (long frame = 0; frame < seconds * 60; frame++) {
        while (!tick_due) rest(1);
        tick_due = 0;
        acquire_screen();
        blit(back, screen, 0, 0, 0, 0, 640, 480);
        release_screen();
    }
    destroy_bitmap(back);
    return 0;
}
END_OF_MAIN()
