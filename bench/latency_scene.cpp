// The game's own tick loop on a scene that takes presses without end, for
// tools/latency.sh:
//   dialog  the story dialog before the battle, where the two "any key" pages
//           (Chuck's plea, the old lady's answer) take turns: every key turns
//           a page,
//   battle  a battle held at GRANNIES walkers (200 if not given) that never
//           reach the castle, so that only the player's clicks drop meteors
//           and the shield stays full.
// The loop is run()'s tick (tick_loop): wait for the tick, take the input,
// update, draw, present. When SECONDS have passed or a stop signal came, it says how many
// frames a second it kept and how far apart it presented them. Built beside the benchmarks; players
// never get it.
//
//   latency_scene [-s SCALE] dialog|battle SECONDS [GRANNIES]
#include <allegro.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "data_handler.h"
#include "frame_pace.h"
#include "game.h"
#include "gfx.h"
#include "laid_stock.h"
#include "main.h"

namespace {

// Walkers turn back to the left edge before the castle, and the fallen are
// replaced, so the crowd and the shield hold whatever the clicks do.
void hold_battle(game& g, size_t crowd) {
    g.shield = full_shield;
    g.time_left = g.battle_time;
    for (granny& gr : g.grannies)
        if (gr.x > castle_line - 60) gr.x = static_cast<float>(1 + std::rand() % 60);
    while (g.grannies.size() < crowd) {
        granny gr;
        gr.x = static_cast<float>(1 + std::rand() % 380);
        g.grannies.push_back(gr);
    }
}

// The key on the old lady's page would start the battle: back to Chuck's.
void hold_dialog(game& g) {
    if (g.mode != mode_dialog || g.scene_step < 1 || g.scene_step > 2) {
        g.mode = mode_dialog;
        g.scene = scene_intro;
        g.scene_step = 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    launch_choices choices;
    if (argc > 2 && !std::strcmp(argv[1], "-s")) {  // the window's scale
        choices.scale = std::atoi(argv[2]);
        argc -= 2, argv += 2;
    }
    if (argc < 3) return 2;
    bool battle = std::strcmp(argv[1], "battle") == 0;
    if (!battle && std::strcmp(argv[1], "dialog") != 0) return 2;
    double seconds = std::atof(argv[2]);
    size_t crowd = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 200;
    setup(choices);
    {
        game g;
        if (battle) {
            hold_crowded_battle(g);
        }
        frame_pace pace(seconds);
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        tick_loop loop(g);
        if (battle)
            loop.before_step = [&](game& record) { hold_battle(record, crowd); };
        else
            loop.after_step = hold_dialog;
        while (!should_stop() && std::chrono::steady_clock::now() < end) {
            loop.tick();
            pace.presented();
        }
        pace.report("game loop");
    }
    cleanup();
    return 0;
}
END_OF_MAIN()
