// The soak: a long run of the main loop's tick with random mouse and key
// input through every mode, checking after each tick what must always
// hold, and that memory stays flat.
//
//   soak [ticks [seed]]     (ticks default 1,000,000; seed default the time)
//
// Prints one summary line; exits 1 on any broken rule, 2 if a tick hangs.
#include <allegro.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>

#include "data_handler.h"
#include "game.h"
#include "gfx.h"
#include "headless.h"
#include "main.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define SOAK_UNDER_ASAN 1
#endif

#ifdef SOAK_UNDER_ASAN
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// Heap bytes in use: the sanitizer's allocator keeps its own books.
long heap_in_use() {
#ifdef SOAK_UNDER_ASAN
    return static_cast<long>(__sanitizer_get_current_allocated_bytes());
#else
    return static_cast<long>(mallinfo2().uordblks);
#endif
}

const int stock_at_reset[palette_slots] = {2, 2, 2, 1, 1};

// What must hold after every tick; returns "" or the first rule broken.
std::string broken_rule(const game& g) {
    char why[160];
    if (g.mode < 0 || g.mode > 2) return "mode " + std::to_string(g.mode);
    if (g.scene < 0 || g.scene >= scene_count) return "scene " + std::to_string(g.scene);
    // Outside the dialogs the step may be stale (Y and N together at a
    // play-again question); the start button sets it afresh.
    if (g.mode == mode_dialog && (g.scene_step < 0 || g.scene_step >= scene_length(g.scene)))
        return "scene " + std::to_string(g.scene) + " step " + std::to_string(g.scene_step);
    if (g.selected < 0 || g.selected >= palette_slots)
        return "selected " + std::to_string(g.selected);
    for (int k = 1; k <= palette_slots; k++) {
        int laid = 0;
        for (const auto& column : g.grid)
            for (int cell : column) laid += cell == k;
        if (g.stock[k - 1] + laid != stock_at_reset[k - 1]) {
            std::snprintf(why, sizeof why, "tile %d: %d in stock and %d laid", k, g.stock[k - 1],
                          laid);
            return why;
        }
    }
    for (const auto& column : g.grid)
        for (int cell : column)
            if (cell < 0 || cell > palette_slots) return "grid code " + std::to_string(cell);
    if ((g.repulse_x == -1) != (g.repulse_y == -1) || (g.attract_x == -1) != (g.attract_y == -1))
        return "a magnet with one coordinate";
    if (g.mode == mode_build && (g.repulse_x != -1 || g.attract_x != -1))
        return "a magnet stands in the build phase";
    if (g.key_delay < 0 || g.key_delay > 5) return "key_delay " + std::to_string(g.key_delay);
    if (g.level < 0) return "level " + std::to_string(g.level);
    if (g.battle_time != 600 * g.level + 4200 || g.time_left < 0 || g.time_left > g.battle_time) {
        std::snprintf(why, sizeof why, "clock %d of %d at level %d", g.time_left, g.battle_time,
                      g.level);
        return why;
    }
    if (g.shield > full_shield) return "shield " + std::to_string(g.shield);
    for (const granny& gr : g.grannies)
        if (gr.state < granny_walking || gr.state > granny_at_castle)
            return "a granny in state " + std::to_string(gr.state);
    for (const meteor& m : g.meteors)
        if (m.state < meteor_falling || m.state > meteor_exploding)
            return "a meteor in state " + std::to_string(m.state);
    for (const auto& line : g.dialog_lines)
        if (!std::memchr(line, '\0', sizeof line)) return "a dialog line without its terminator";
    return "";
}

// ---------------------------------------------------------------- input

// How the random player behaves for a stretch of ticks.
enum style { anywhere, builder, marksman, idle, styles };

struct player {
    std::mt19937 rng;
    style now = anywhere;
    int stretch = 0;
    int last_mode = mode_build;

    explicit player(unsigned seed) : rng(seed) {}

    int below(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }
    bool chance(int n) { return below(n) == 0; }

    void point_at(int x, int y) {
        mouse_x = std::clamp(x, 0, 639);
        mouse_y = std::clamp(y, 0, 479);
    }

    void point_at_start_button() {
        point_at(start_button.left + 1 + below(start_button.right - start_button.left - 1),
                 start_button.top + 1 + below(start_button.bottom - start_button.top));
    }

    void move_mouse(const game& g) {
        switch (now) {
            case anywhere:
                if (chance(3)) point_at(below(640), below(480));
                break;
            case builder: {  // the grid, the palette and the start button
                int where = below(10);
                if (where < 5)
                    point_at(below(field_width) + 1,
                             field_top + 1 + below(field_bottom - field_top - 1));
                else if (where < 8)
                    point_at(screen_width - palette_left_from_right + 1 + below(62),
                             palette_top + 1 + below(palette_bottom - palette_top));
                else if (where < 9)
                    point_at_start_button();
                else
                    point_at(below(640), below(480));
                break;
            }
            case marksman:  // leads a granny: the meteor needs y/6 ticks to land
                if (g.mode == mode_battle && !g.grannies.empty()) {
                    const granny& target = g.grannies[below(static_cast<int>(g.grannies.size()))];
                    int y = static_cast<int>(target.y) - 5;
                    float lead = target.state == granny_walking ? target.vx * (y / 6 + 10) : 0;
                    point_at(std::min(static_cast<int>(target.x + lead), firing_right), y);
                } else if (g.mode == mode_build && chance(20)) {
                    point_at_start_button();
                }
                break;
            default: break;
        }
        mouse_x = std::clamp(mouse_x + below(5) - 2, 0, 639);
        mouse_y = std::clamp(mouse_y + below(5) - 2, 0, 479);
    }

    void press_keys(const game& g) {
        for (int k : {KEY_Y, KEY_N, KEY_M, KEY_ENTER, KEY_SPACE, KEY_A, KEY_ESC}) key[k] = 0;
        // The score screen waits for Enter; now and then Escape closes it instead
        // (held for that one tick only, or the program would end).
        if (g.mode == mode_dialog && opens_score_screen(g.scene, g.scene_step))
            key[chance(8) ? KEY_ESC : KEY_ENTER] = 1;
        if (now == idle || !chance(g.mode == mode_dialog ? 4 : 40)) return;
        static const struct {
            int scancode;
            int ascii;
        } keys[] = {{KEY_Y, 'y'},      {KEY_N, 'n'},     {KEY_M, 'm'},
                    {KEY_ENTER, '\r'}, {KEY_SPACE, ' '}, {KEY_A, 'a'}};
        auto pick = keys[below(sizeof keys / sizeof keys[0])];
        key[pick.scancode] = 1;
        if (chance(3)) key[keys[below(3)].scancode] = 1;  // two at once
        simulate_keypress((pick.scancode << 8) | pick.ascii);
    }

    void next_tick(const game& g) {
        // Half the battles get a steady hand from start to end, so that some
        // are won and the later levels come round too.
        if (g.mode == mode_battle && last_mode != mode_battle && chance(2)) {
            now = marksman;
            stretch = g.battle_time + 200;
        }
        last_mode = g.mode;
        if (--stretch <= 0) {
            now = static_cast<style>(below(styles));
            stretch = 200 + below(4000);
        }
        move_mouse(g);
        if (now != idle && chance(now == marksman ? 2 : 4)) mouse_b ^= 1;
        if (now == idle) mouse_b = 0;
        if (chance(50))
            mouse_b |= 2;  // the right button means nothing
        else
            mouse_b &= 1;
        press_keys(g);
    }
};

// ---------------------------------------------------------------- the run

struct tally {
    long ticks_in_mode[3] = {0, 0, 0};
    long battles_won = 0, battles_lost = 0, score_screens = 0, games = 1;
    int top_level = 0;
    size_t most_grannies = 0, most_meteors = 0;
    long violations = 0;
};

void hung(int) {
    const char text[] = "soak: no progress for 30 s (the score screen waiting for a key?)\n";
    ssize_t ignored = write(2, text, sizeof text - 1);
    (void)ignored;
    _exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    long ticks = argc > 1 ? std::atol(argv[1]) : 1000000;
    unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10))
                             : static_cast<unsigned>(std::time(nullptr));
    if (ticks < 1) ticks = 1;

    // The battle reports grannies outside the grid on stdout; keep the
    // report's stdout for the summary and send the rest away.
    std::FILE* report = fdopen(dup(1), "w");
    if (!report || !std::freopen("/dev/null", "w", stdout)) return 1;
    if (!work_in_own_folder("soak-run") || !start_headless(true)) return 1;
    std::signal(SIGALRM, hung);
    std::srand(seed);
    player you(seed);

    // M turns the sound off and on in play, and is remembered: in the run's folder.
    if (char* here = getcwd(nullptr, 0)) {
        setenv("XDG_CONFIG_HOME", here, 1);
        std::free(here);
    }
    auto g = std::make_unique<game>();
    // The loop holds the record it plays: each new game gets a new loop.
    auto new_loop = [&g] {
        auto loop = std::make_unique<tick_loop>(*g);
        loop->waits = false;  // this loop plays the frame timer
        return loop;
    };
    auto loop = new_loop();
    tally t;
    long memory_mark_tick = std::min(100000L, ticks / 10);
    long memory_at_mark = heap_in_use();
    auto started = std::chrono::steady_clock::now();

    for (long i = 0; i < ticks; i++) {
        if (i % 1000 == 0) alarm(30);
        you.next_tick(*g);
        go_on = 1;  // the score screen waits for the frame timer
        int mode_before = g->mode, scene_before = g->scene, step_before = g->scene_step;
        loop->tick();

        t.ticks_in_mode[std::clamp(mode_before, 0, 2)]++;
        if (mode_before == mode_battle && g->mode == mode_dialog)
            (g->scene == scene_won ? t.battles_won : t.battles_lost)++;
        if (mode_before == mode_dialog && opens_score_screen(scene_before, step_before) &&
            g->scene_step == step_before + 1)
            t.score_screens++;
        t.top_level = std::max(t.top_level, g->level);
        t.most_grannies = std::max(t.most_grannies, g->grannies.size());
        t.most_meteors = std::max(t.most_meteors, g->meteors.size());

        std::string why = broken_rule(*g);
        if (!why.empty()) {
            if (t.violations < 10)
                std::fprintf(report, "tick %ld (mode %d scene %d step %d): %s\n", i, g->mode,
                             g->scene, g->scene_step, why.c_str());
            t.violations++;
        }
        if (quit) {  // the farewell ended the game: the next player starts afresh
            loop.reset();
            g.reset();
            quit = 0;
            g = std::make_unique<game>();
            loop = new_loop();
            t.games++;
        }
        if (i + 1 == memory_mark_tick) memory_at_mark = heap_in_use();
    }
    alarm(0);
    long memory_at_end = heap_in_use();
    long growth = memory_at_end - memory_at_mark;
    const long allowed_growth = 1 << 20;
    bool memory_flat = growth <= allowed_growth;
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    std::fprintf(report,
                 "soak: %ld ticks (seed %u) in %.1f s: build %ld, battle %ld, dialog %ld; "
                 "%ld won, %ld lost, %ld score screens, %ld games, top level %d, "
                 "most grannies %zu, most meteors %zu; heap %ld -> %ld bytes (tick %ld to end); "
                 "%ld broken rules%s\n",
                 ticks, seed, seconds, t.ticks_in_mode[0], t.ticks_in_mode[1], t.ticks_in_mode[2],
                 t.battles_won, t.battles_lost, t.score_screens, t.games, t.top_level,
                 t.most_grannies, t.most_meteors, memory_at_mark, memory_at_end, memory_mark_tick,
                 t.violations, memory_flat ? "" : ", MEMORY GREW");
    std::fflush(report);
    g.reset();
    stop_headless();
    return t.violations == 0 && memory_flat ? 0 : 1;
}
