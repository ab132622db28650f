// The game's own tick loop on a prepared scene, for tools/cpu_ratio.sh:
//   battle  a battle whose crowd is held at GRANNIES (walkers that reach the
//           castle or leave the field come in again from the left, and a
//           meteor falls every third of a second, as from a busy player),
//   build   the build phase with tiles laid,
//   dialog  a story dialog waiting for a key,
//   score   the score table over the build phase, waiting for Enter.
// It runs for SECONDS and exits, and says how long it took from its start
// to the first frame on the screen and, at the end, how many frames a second
// it kept and the longest time between two frames. Given FRAME, it then saves
// the back buffer there, says "frame saved" and holds the window still for
// thirty seconds, so that a test can compare the window with it (a test that
// grabs and compares screens on a busy machine took more than ten). Built beside
// the benchmarks; players never get it.
//
//   cpu_probe [-s SCALE] battle|build|dialog|score SECONDS [GRANNIES [FRAME.bmp]]
//
// -s shows the frame at SCALE (else at the largest that fits the desktop).
// SIGUSR1 switches between the window and
// fullscreen at the next tick, or while the window is held still, and says
// "fullscreen, scale S" or "window, scale S" once done.
#include <allegro.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "data_handler.h"
#include "game.h"
#include "gfx.h"
#include "laid_stock.h"
#include "main.h"

namespace {

void hold_crowd(game& g, size_t crowd, long tick) {
    g.shield = full_shield;
    g.time_left = g.battle_time;
    for (granny& gr : g.grannies)
        if (gr.state == 2) {
            gr.x = static_cast<float>(1 + std::rand() % 60);
            gr.state = 1;
        }
    while (g.grannies.size() < crowd) {
        granny gr;
        gr.x = static_cast<float>(1 + std::rand() % 400);
        g.grannies.push_back(gr);
    }
    if (tick % 20 == 0) g.meteors.push_back(meteor(10 + std::rand() % 440, 60 + std::rand() % 370));
}

volatile std::sig_atomic_t switch_asked = 0;
void ask_switch(int) { switch_asked = 1; }

void switch_if_asked() {
    if (!switch_asked) return;
    switch_asked = 0;
    if (gfx_set_fullscreen(!gfx_fullscreen()) != 0) std::printf("no switch\n");
    gfx_update();
    std::printf("%s, scale %d\n", gfx_fullscreen() ? "fullscreen" : "window", gfx_scale());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    launch_choices choices;
    if (argc > 2 && !std::strcmp(argv[1], "-s")) {
        choices.scale = std::atoi(argv[2]);
        argc -= 2, argv += 2;
    }
    if (argc < 3) return 2;
    const char* scene = argv[1];
    double seconds = std::atof(argv[2]);
    size_t crowd = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 200;
    auto started = std::chrono::steady_clock::now();
    setup(choices);
    std::signal(SIGUSR1, ask_switch);
    {
        game g;
        lay_stock(g);
        bool battle = std::strcmp(scene, "battle") == 0;
        bool score_table = std::strcmp(scene, "score") == 0;
        const std::vector<int> scores = {412, 380, 377, 250, 199, 120, 90, 64, 12, -40};
        if (battle) {
            hold_crowded_battle(g);
        } else if (std::strcmp(scene, "dialog") == 0) {
            g.mode = mode_dialog;
            g.scene = 0;
            g.scene_step = 2;
        }
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        auto first_frame = end, last_frame = end;
        double longest_gap_ms = 0;
        long tick = 0;
        tick_loop loop(g);
        loop.before_step = [&](game& record) {
            switch_if_asked();
            if (battle) hold_crowd(record, crowd, tick);
        };
        for (; !should_stop() && std::chrono::steady_clock::now() < end; tick++) {
            if (score_table && tick > 0) {  // as the score screen's own loop does
                wait_for_tick();
                switch_if_asked();
                gfx_pump_input();
                read_mouse();
                g.take_input(true);
                draw_score(bDraw, &scores, 199);
                gfx_update();
            } else {
                loop.tick();
            }
            auto now = std::chrono::steady_clock::now();
            if (tick > 0)
                longest_gap_ms =
                    std::max(longest_gap_ms,
                             std::chrono::duration<double, std::milli>(now - last_frame).count());
            last_frame = now;
            if (tick == 0) {
                first_frame = now;
                std::printf(
                    "first frame %.0f ms after start\n",
                    std::chrono::duration<double, std::milli>(first_frame - started).count());
            }
        }
        // The pace actually kept, so that a low CPU figure cannot hide lost frames.
        double ran =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - first_frame).count();
        if (tick > 1)
            std::printf("%.1f frames a second, at most %.1f ms apart\n", (tick - 1) / ran,
                        longest_gap_ms);
        if (argc > 4) {
            save_bitmap(argv[4], bDbuf, nullptr);
            std::printf("frame saved\n");
            std::fflush(stdout);
            for (int i = 0; i < 3000; i++) {
                rest(10);
                switch_if_asked();
            }
        }
    }
    cleanup();
    return 0;
}
END_OF_MAIN()
