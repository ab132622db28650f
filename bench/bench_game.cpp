// What one tick of the game costs: game::update plus drawing the frame into
// the 640x480 16-bit back buffer, headless, for the situations a player
// meets. A battle tick starts from one of two prepared states a step apart,
// taken in turn, so a scenario's grannies and meteors are all there in each
// tick it times and each frame differs from the one before it as much as in
// play: everything that walks or falls has moved. The run ends with a
// verdict per budget and a non-zero exit status if any budget is missed.
//
//   ./bench/tollybrook_bench [--benchmark_filter=battle] [...]
#include <allegro.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "data_handler.h"
#include "game.h"
#include "gfx.h"
#include "headless.h"
#include "laid_stock.h"

namespace {

// Budgets in milliseconds a tick (a tick may take 16.7 ms in all).
const double small_budget_ms = 0.1;  // every scenario up to 200 grannies
const double large_budget_ms = 0.5;  // 1000 grannies
// How much dearer a granny (or meteor) may get as the crowd grows before we
// call the growth worse than linear. On a busy machine the large crowds have
// measured up to 1.4 times the small ones' cost each; work that grows with
// the square of the crowd measures 5 times or more.
const double linear_slack = 2.0;

const int repetitions = 7;
const double seconds_per_repetition = 0.03;  // of median ticks, some 15 times that in wall time

BITMAP* back_buffer;

// Positions and speeds come from a fixed sequence, so every run times the
// same crowd.
unsigned layout_seed;
int layout_random(int lo, int hi) {
    layout_seed = layout_seed * 1103515245u + 12345u;
    return lo + static_cast<int>((layout_seed >> 8) % static_cast<unsigned>(hi - lo + 1));
}

// A battle tick's starting point. Grannies walk in the right-hand part of the
// grid, a few already at the castle; explosions burn in the left-hand
// columns, out of their reach, and nothing lands, finishes or leaves in the
// timed tick, so the populations stay exactly as named.
struct battle_snapshot {
    std::vector<granny> grannies;
    std::vector<meteor> meteors;
};

battle_snapshot make_battle(int granny_count, int meteor_count) {
    battle_snapshot s;
    layout_seed = 12345;  // the same crowd for every number of meteors
    for (int i = 0; i < granny_count; i++) {
        granny gr;
        gr.vx = layout_random(6, 9) / 10.0f;
        if (i % 20 == 19) {  // one in twenty already wears the shield down
            gr.x = 445.5f + layout_random(0, 2);
            gr.state = granny_at_castle;
        } else {
            gr.x = static_cast<float>(layout_random(100, 440));
        }
        gr.y = static_cast<float>(layout_random(70, 420));
        s.grannies.push_back(gr);
    }
    layout_seed = 54321;  // and the same meteors for every crowd
    for (int i = 0; i < meteor_count; i++) {
        if (i % 2 == 0) {  // falling, still a few steps from the ground
            meteor m(layout_random(10, firing_right), layout_random(120, field_bottom - 1));
            for (int steps = layout_random(0, m.timer - 2); steps > 0; steps--) m.update();
            s.meteors.push_back(m);
        } else {  // exploding where it landed
            int x = layout_random(15, 60), y = layout_random(60, 425);
            meteor m(x, y);
            m.state = meteor_exploding;
            m.timer = layout_random(1, 40);
            m.frame_div = 10;
            m.x = static_cast<float>(x);
            m.y = static_cast<float>(y / 6 * 6);
            s.meteors.push_back(m);
        }
    }
    return s;
}

// The game records live to the end of the program on purpose: destroying one
// would write a score table beside the benchmark.
game* new_battle(int level) {
    game* g = new game;
    g->level = level;
    g->reset(level);
    lay_stock(*g);
    aim_laid_magnets(*g);
    g->mode = mode_battle;
    return g;
}

// A batch of ticks, each from the state prepare() sets up outside the clock;
// the result is the batch's median tick in seconds. Whatever else runs on
// the machine, a tick the scheduler interrupts is an outlier in its batch
// and does not move the figure.
const int ticks_per_batch = 15;

double median_tick(const std::function<void()>& prepare, const std::function<void()>& tick) {
    std::array<double, ticks_per_batch> seconds;
    for (double& took : seconds) {
        prepare();
        auto start = std::chrono::steady_clock::now();
        tick();
        auto stop = std::chrono::steady_clock::now();
        took = std::chrono::duration<double>(stop - start).count();
    }
    auto middle = seconds.begin() + ticks_per_batch / 2;
    std::nth_element(seconds.begin(), middle, seconds.end());
    return *middle;
}

void time_ticks(benchmark::State& state, const std::function<void()>& prepare,
                const std::function<void()>& tick) {
    for (int i = 0; i < 20; i++) {  // glyphs and caches warm before timing
        prepare();
        tick();
    }
    for (auto _ : state) state.SetIterationTime(median_tick(prepare, tick));
}

// Presenting ends the frame: the page manager's list of changed parts,
// which the renderer repaints, starts again.
void update_and_draw(game& g) {
    g.update();
    draw(back_buffer, &g);
    gfx_update();
}

void bench_build(benchmark::State& state) {
    static game* g = [] {
        game* built = new game;
        for (int i = 0; i < grid_columns; i++)
            for (int j = 0; j < grid_rows; j++) built->grid[i][j] = 1 + (i + j) % palette_slots;
        built->selected = 2;
        return built;
    }();
    time_ticks(
        state, [] {}, [] { update_and_draw(*g); });
}

// A battle with a given crowd, ready to be ticked again and again from the
// same start. Level 23 spawns nobody, so only the prepared crowd walks.
// The same battle one step on: walkers a step further, meteors a step on.
battle_snapshot step_on(battle_snapshot s) {
    for (granny& gr : s.grannies)
        if (gr.state == 1) gr.x += gr.vx;
    for (meteor& m : s.meteors) m.update();
    return s;
}

struct battle_scenario {
    battle_snapshot start, later;
    mutable bool take_later = false;

    battle_scenario(int granny_count, int meteor_count)
        : start(make_battle(granny_count, meteor_count)), later(step_on(start)) {}

    static game& record() {
        static game* g = new_battle(23);
        return *g;
    }
    void prepare() const {
        game& g = record();
        take_later = !take_later;
        const battle_snapshot& from = take_later ? later : start;
        g.grannies = from.grannies;
        g.meteors = from.meteors;
        g.time_left = g.battle_time;
        g.shield = full_shield;
        g.score = 123;
        g.mode = mode_battle;
    }
    static void tick() { update_and_draw(record()); }
    double median_tick() const {
        return ::median_tick([this] { prepare(); }, tick);
    }
};

void bench_battle(benchmark::State& state, int granny_count, int meteor_count) {
    battle_scenario battle(granny_count, meteor_count);
    time_ticks(
        state, [&] { battle.prepare(); }, battle_scenario::tick);
}

// Growth in a population: a tick with none, few and many of them, timed in
// turn round after round so that whatever else loads the machine weighs on
// all three alike. Returns the extra cost of one, in microseconds, from none
// to few and from few to many.
struct growth {
    double first_us;
    double later_us;
};

growth measure_growth(const battle_scenario (&populations)[3], int few, int many) {
    const int rounds = 41;
    std::vector<double> seconds[3];
    for (auto& s : seconds) s.reserve(rounds);
    for (const auto& p : populations) p.median_tick();  // warm
    for (int round = 0; round < rounds; round++)
        for (int i = 0; i < 3; i++) seconds[i].push_back(populations[i].median_tick());
    double median[3];
    for (int i = 0; i < 3; i++) {
        auto middle = seconds[i].begin() + rounds / 2;
        std::nth_element(seconds[i].begin(), middle, seconds[i].end());
        median[i] = *middle * 1e6;
    }
    return {(median[1] - median[0]) / few, (median[2] - median[1]) / (many - few)};
}

// The old lady's page of the pre-battle dialog: its longest line.
void bench_dialog(benchmark::State& state) {
    static game* g = [] {
        game* talking = new game;
        lay_stock(*talking);
        talking->mode = mode_dialog;
        talking->scene = scene_intro;
        talking->scene_step = 2;
        return talking;
    }();
    time_ticks(
        state, [] {}, [] { update_and_draw(*g); });
}

void bench_score_screen(benchmark::State& state) {
    static const std::vector<int> table = {412, 380, 377, 250, 199, 120, 90, 64, 12, -40};
    time_ticks(
        state, [] {}, [] { draw_score(back_buffer, &table, 199); });
}

// Collects the median of each scenario while the console shows the usual table.
class median_reporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> median_ms;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
            double seconds =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            median_ms[run.run_name.function_name] = seconds * 1000.0;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

std::string battle_name(int grannies, int meteors) {
    return "battle/" + std::to_string(grannies) + "_grannies/" + std::to_string(meteors) +
           "_meteors";
}

struct budget {
    std::string scenario;
    double limit_ms;
};

// Prints one verdict per budget; returns the number missed.
int judge(const std::map<std::string, double>& median_ms, bool check_growth) {
    const budget budgets[] = {
        {"build/full_grid", small_budget_ms},     {battle_name(0, 20), small_budget_ms},
        {battle_name(50, 20), small_budget_ms},   {battle_name(200, 20), small_budget_ms},
        {battle_name(1000, 20), large_budget_ms}, {"dialog/step", small_budget_ms},
        {"score_screen/frame", small_budget_ms},
    };
    int missed = 0;
    std::printf("\nBudgets (median per tick)\n");
    for (const budget& b : budgets) {
        auto found = median_ms.find(b.scenario);
        if (found == median_ms.end()) continue;  // filtered out
        bool ok = found->second <= b.limit_ms;
        missed += !ok;
        std::printf("  %-34s %7.3f ms  <= %.1f ms  %s\n", b.scenario.c_str(), found->second,
                    b.limit_ms, ok ? "ok" : "MISSED");
    }

    // Growth: one more granny (meteor) must cost no more in a large crowd
    // than in a small one.
    auto judge_growth = [&](const char* what, growth g, int few, int many) {
        bool ok = g.later_us <= linear_slack * g.first_us + 0.05;  // 50 ns for timer noise
        missed += !ok;
        std::printf("  %-34s %.3f us each up to %d, %.3f us each from %d to %d (<= %.1fx)  %s\n",
                    what, g.first_us, few, g.later_us, few, many, linear_slack,
                    ok ? "ok" : "MISSED");
    };
    if (check_growth) {
        const battle_scenario crowds[3] = {{0, 20}, {200, 20}, {1000, 20}};
        judge_growth("cost per granny (20 meteors)", measure_growth(crowds, 200, 1000), 200, 1000);
        // Far more meteors than a player keeps in the air, so that the
        // differences stand well above the noise.
        const battle_scenario showers[3] = {{200, 0}, {200, 200}, {200, 1000}};
        judge_growth("cost per meteor (200 grannies)", measure_growth(showers, 200, 1000), 200,
                     1000);
    }

    std::printf(missed ? "\n%d budget(s) MISSED\n" : "\nEvery budget met\n", missed);
    return missed;
}

// Works from the benchmark's own folder, with the media $TOLLYBROOK_DATA
// names (make bench points it at the build's media folder).
void start_with_media() {
    if (!work_in_own_folder(nullptr)) std::perror("tollybrook_bench: chdir");
    if (!start_headless(true, true)) std::exit(1);
    back_buffer = bDbuf;
    bool real_art = exists(absolute_path("/media/tile.bmp"));
    bool real_font = exists(absolute_path("/media/puree2.ttf"));
    std::printf("media: %s, %s\n", real_art ? "the game's art" : "placeholder pictures",
                real_font ? "the game's font" : "a system font");
}

void add(const std::string& name, const std::function<void(benchmark::State&)>& fn) {
    benchmark::RegisterBenchmark(name.c_str(), fn)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->MinTime(seconds_per_repetition)
        ->Repetitions(repetitions)
        ->ReportAggregatesOnly(true);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    start_with_media();

    add("build/full_grid", bench_build);
    for (int grannies : {0, 50, 200, 1000})
        add(battle_name(grannies, 20),
            [grannies](benchmark::State& s) { bench_battle(s, grannies, 20); });
    add("dialog/step", bench_dialog);
    add("score_screen/frame", bench_score_screen);

    median_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    // The growth checks are timed apart from the table; a filtered run skips them.
    std::string filter = benchmark::GetBenchmarkFilter();
    bool check_growth = filter.empty() || filter == "." || filter == "all";
    return judge(reporter.median_ms, check_growth) ? 1 : 0;
}
