// The game record, its reset, the common frame of every tick, the page
// manager without a display, and the main loop.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "data_handler.h"
#include "game_fixture.h"
#include "gfx.h"

TEST(PageManager, RefusesToStartBeforeSetup) {
    // Only meaningful in a process where gfx_setup has not run, as under ctest.
    if (gfx_mode() != 0) GTEST_SKIP() << "page manager already set up in this process";
    EXPECT_EQ(gfx_start(), -1);
    EXPECT_EQ(gfx_update(), 0);  // not the error state: nothing was attempted
}

TEST(PageManager, FailedStartIsAnErrorStateThatDrawsNothing) {
    BITMAP* before = create_bitmap(8, 8);
    bDraw = before;
    ASSERT_EQ(gfx_setup(GFX_PAGE_BACKBUFFER | GFX_PAGE_NONE, 640, 480, 16), 0);
    EXPECT_EQ(gfx_start(), -1);  // no display driver headless
    EXPECT_EQ(gfx_mode(), 0);
    EXPECT_EQ(bDraw, before);
    EXPECT_EQ(bDbuf, nullptr);
    EXPECT_EQ(gfx_update(), -1);
    EXPECT_EQ(gfx_end(), -1);
    destroy_bitmap(before);
    use_standin_screen();
}

// The renderer repaints what the page manager joined: neighbours become one
// rectangle, far-apart places stay apart, and past 64 the frame is whole
// until it is presented, even when tracking is asked for again.
TEST(PageManager, JoinsChangedPartsAndOverflowsToTheWholeFrame) {
    auto rects = [] {
        int n;
        const gfx_rect* r = gfx_changed_rects(&n);
        return std::vector<gfx_rect>(r, r + n);
    };
    ASSERT_EQ(gfx_setup(GFX_PAGE_NONE, 640, 480, 16), 0);  // presenting does nothing
    gfx_update();
    gfx_track_changes();
    gfx_changed(10, 10, 20, 20);
    gfx_changed(30, 10, 20, 20);    // touching: one
    gfx_changed(600, 440, 20, 20);  // far: apart
    gfx_changed(-5, 470, 10, 50);   // clipped to the frame
    std::vector<gfx_rect> r = rects();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_TRUE(r[0].x == 10 && r[0].y == 10 && r[0].w == 40 && r[0].h == 20);
    EXPECT_TRUE(r[2].x == 0 && r[2].y == 470 && r[2].w == 5 && r[2].h == 10);
    for (int i = 0; i < 70; i++) gfx_changed(9 * i % 640, 7 * i % 480, 1, 1);
    gfx_track_changes();
    r = rects();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_TRUE(r[0].x == 0 && r[0].y == 0 && r[0].w == 640 && r[0].h == 480);
    gfx_update();
    gfx_track_changes();
    EXPECT_TRUE(rects().empty());
}

TEST_F(GameTest, NewGameStartsInTheBuildPhaseOfLevelZero) {
    EXPECT_EQ(g->mode, mode_build);
    EXPECT_EQ(g->level, 0);
    EXPECT_EQ(g->score, 0);
    EXPECT_EQ(g->time_left, 4200);
    EXPECT_EQ(g->battle_time, 4200);
    EXPECT_EQ(g->shield, 666);
    const int full_stock[] = {2, 2, 2, 1, 1};
    for (int s = 0; s < 5; s++) EXPECT_EQ(g->stock[s], full_stock[s]);
    EXPECT_EQ(g->selected, 0);
    EXPECT_EQ(g->speaker, 1);
    EXPECT_EQ(g->repulse_x, -1);
    EXPECT_EQ(g->repulse_y, -1);
    EXPECT_EQ(g->attract_x, -1);
    EXPECT_EQ(g->attract_y, -1);
    for (auto& column : g->grid)
        for (int cell : column) EXPECT_EQ(cell, 0);
    for (auto& line : g->dialog_lines) EXPECT_STREQ(line, " ");
    EXPECT_TRUE(g->grannies.empty());
    EXPECT_TRUE(g->meteors.empty());
}

TEST_F(GameTest, ResetPreparesALevelButKeepsLevelScoreAndTable) {
    g->level = 3;
    g->score = 42;
    g->highscores = {7, 8};
    g->grid[2][3] = up_tile;
    g->stock[1] = 1;
    g->shield = 12;
    g->grannies.push_back(granny());
    g->reset(3);
    EXPECT_EQ(g->time_left, 6000);
    EXPECT_EQ(g->battle_time, 6000);
    EXPECT_EQ(g->level, 3);
    EXPECT_EQ(g->score, 42);
    EXPECT_EQ(g->highscores, (std::vector<int>{7, 8}));
    EXPECT_EQ(g->grid[2][3], 0);
    EXPECT_EQ(g->stock[1], 2);
    EXPECT_EQ(g->shield, 666);
    EXPECT_TRUE(g->grannies.empty());
}

// Which draw comes next tells whether a tick drew a random number.
static int draws_in_one_tick(game& g, unsigned seed) {
    std::srand(seed);
    g.update();
    int next = std::rand();
    std::srand(seed);
    for (int n = 0; n < 4; n++) {
        if (std::rand() == next) return n;
    }
    return -1;
}

TEST_F(GameTest, ShieldRegeneratesOnlyBelowFullInEveryMode) {
    EXPECT_EQ(draws_in_one_tick(*g, 7), 0);  // full shield: no roll
    for (int mode : {mode_build, mode_dialog}) {
        g->mode = mode;
        g->shield = 600;
        EXPECT_EQ(draws_in_one_tick(*g, 7), 1) << "mode " << mode;
    }
    // The shield grows exactly when the roll is divisible by 66.
    g->mode = mode_build;
    for (unsigned seed = 1; seed < 200; seed++) {
        g->shield = 600;
        std::srand(seed);
        bool lucky = std::rand() % 66 == 0;
        std::srand(seed);
        g->update();
        ASSERT_EQ(g->shield, lucky ? 601 : 600) << "seed " << seed;
    }
}

TEST_F(GameTest, KeyDelayRunsOutAfterFiveTicksInAnyMode) {
    for (int mode : {mode_build, mode_battle, mode_dialog}) {
        g->mode = mode;
        g->scene = scene_won;
        g->scene_step = 3;  // a question no key is pressed for
        g->key_delay = 5;
        idle(4);
        EXPECT_EQ(g->key_delay, 1) << "mode " << mode;
        idle(1);
        EXPECT_EQ(g->key_delay, 0) << "mode " << mode;
        idle(1);
        EXPECT_EQ(g->key_delay, 0) << "mode " << mode;
    }
}

TEST_F(GameTest, EveryTickDropsUnusedKeyPresses) {
    simulate_keypress(KEY_Y << 8);
    ASSERT_TRUE(keypressed());
    g->update();
    EXPECT_FALSE(keypressed());
}

static std::string read_file(const char* path) {
    std::string text;
    if (FILE* f = std::fopen(path, "rb")) {
        char chunk[256];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
        std::fclose(f);
    }
    return text;
}

TEST_F(GameTest, DestroyingTheRecordSavesTheTableEvenWithoutABattle) {
    g.reset();
    std::string saved = read_file(score_file_path());
    ASSERT_EQ(saved.size(), 100u);
    EXPECT_EQ(std::memcmp(saved.data(), "        0\0", 10), 0);
    EXPECT_EQ(std::memcmp(saved.data() + 90, "       90\0", 10), 0);
}

// The main loop, with a thread standing in for the frame timer.
class MainLoop : public ::testing::Test {
protected:
    void SetUp() override {
        remove_score_file();
        release_input();
        quit = 0;
        close_button_pressed = 0;
        alfont_init();
        load_data();
    }
    void TearDown() override {
        unload_data();
        alfont_exit();
        release_input();
        quit = 0;
        close_button_pressed = 0;
        remove_score_file();
    }
    // Runs the loop while the timer ticks; `stop` is raised after a while.
    void run_until(std::atomic<int>& stop_flag, int value) {
        std::atomic<bool> running{true};
        std::thread timer([&] {
            for (int i = 0; running && i < 5000; i++) {
                go_on = 1;
                if (i == 20) stop_flag = value;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        run();
        running = false;
        timer.join();
    }
};

TEST_F(MainLoop, EscapeHeldBeforeTheFirstTickEndsTheProgramAndSavesScores) {
    key[KEY_ESC] = 1;
    run();
    EXPECT_TRUE(exists(score_file_path()));
}

TEST_F(MainLoop, CloseButtonOrTheStoryEndTheLoopBetweenTicks) {
    run_until(close_button_pressed, -1);
    EXPECT_TRUE(exists(score_file_path()));
    close_button_pressed = 0;
    remove_score_file();
    run_until(quit, 1);
    EXPECT_TRUE(exists(score_file_path()));
}

TEST_F(MainLoop, EveryTickRedrawsTheFrameIntoTheDrawingTarget) {
    BITMAP* back = create_bitmap(640, 480);
    clear_to_color(back, makecol(1, 2, 3));
    bDraw = back;
    run_until(close_button_pressed, -1);
    EXPECT_EQ(getpixel(back, 5, 5), makecol(60, 90, 120));
    destroy_bitmap(back);
    use_standin_screen();
}
