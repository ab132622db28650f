// The battle step: firing, spawning, moving, explosions, scoring, the end.
#include <gtest/gtest.h>

#include <string>

#include "game_fixture.h"

class Battle : public GameTest {
protected:
    void SetUp() override {
        GameTest::SetUp();
        g->mode = mode_battle;
    }
    // A quiet battle: level 23 brings no grannies at all.
    void no_spawning() { g->level = 23; }
    granny& add_granny(float x, float y, int state = granny_walking) {
        std::srand(1);
        g->grannies.push_back(granny());
        granny& gr = g->grannies.back();
        gr.x = x;
        gr.y = y;
        gr.vx = 0.6f;
        gr.state = state;
        return gr;
    }
    meteor& add_explosion(int x, int y) {
        g->meteors.push_back(meteor(x, y));
        meteor& m = g->meteors.back();
        m.state = meteor_exploding;
        m.timer = 40;
        m.frame_div = 10;
        m.x = static_cast<float>(x);
        m.y = static_cast<float>(y);
        return m;
    }
    bool fires_at(int x, int y) {
        size_t before = g->meteors.size();
        mouse_x = x;
        mouse_y = y;
        mouse_b = 1;
        g->update();
        bool fired = g->meteors.size() > before;
        EXPECT_TRUE(g->mouse_down);
        mouse_b = 0;
        g->update();
        return fired;
    }
};

TEST_F(Battle, FiringRegionBoundsAndTheCostOfAShot) {
    no_spawning();
    EXPECT_TRUE(fires_at(457, 431));
    EXPECT_TRUE(fires_at(1, 49));
    EXPECT_FALSE(fires_at(458, 300));
    EXPECT_FALSE(fires_at(200, 48));
    EXPECT_FALSE(fires_at(0, 200));
    EXPECT_FALSE(fires_at(200, 432));
    EXPECT_EQ(g->score, -2);
    EXPECT_EQ(std::count(sounds_played.begin(), sounds_played.end(), 0), 2);
    // Holding the button fires once.
    mouse_x = 200;
    mouse_y = 200;
    mouse_b = 1;
    idle(5);
    EXPECT_EQ(g->score, -3);
}

TEST_F(Battle, AShotLandsAfterItsFallAndClearsGranniesFor41Ticks) {
    no_spawning();
    mouse_x = 300;
    mouse_y = 300;  // 50 falling steps
    mouse_b = 1;
    g->update();  // the click's tick: first falling step already made
    mouse_b = 0;
    ASSERT_EQ(g->meteors.size(), 1u);
    EXPECT_EQ(g->meteors[0].timer, 49);
    idle(49);
    EXPECT_EQ(g->meteors[0].state, meteor_falling);
    // From tick T + 1 after the click it explodes, and a granny at the
    // castle in reach is removed in each of the 41 ticks.
    for (int n = 1; n <= 41; n++) {
        add_granny(300, 305, granny_at_castle);
        int score = g->score;
        g->update();
        ASSERT_EQ(g->meteors[0].state, meteor_exploding);
        if (n == 1) {
            EXPECT_EQ(sounds_played.back(), 1);
        }
        ASSERT_TRUE(g->grannies.empty()) << "explosion tick " << n;
        ASSERT_EQ(g->score, score + 1);
    }
    EXPECT_EQ(g->meteors.size(), 1u);
    g->update();  // done, and erased in the same tick
    EXPECT_TRUE(g->meteors.empty());
}

TEST_F(Battle, ExplosionReach) {
    no_spawning();
    add_explosion(200, 200);
    add_granny(224.9f, 229.9f,
               granny_at_castle);  // 24.9 right, 24.9 below the point under the centre
    add_granny(225.0f, 205.0f, granny_at_castle);  // 25 right: out of reach
    add_granny(175.1f, 180.1f, granny_at_castle);  // 24.9 left and above
    add_granny(200.0f, 180.0f, granny_at_castle);  // 25 above
    g->update();
    ASSERT_EQ(g->grannies.size(), 2u);
    EXPECT_FLOAT_EQ(g->grannies[0].x, 225.0f);
    EXPECT_FLOAT_EQ(g->grannies[1].y, 180.0f);
    EXPECT_EQ(g->score, 2);
}

TEST_F(Battle, GranniesLeavingAndExplodedBothScore) {
    no_spawning();
    add_explosion(100, 100);
    add_granny(100, 100);
    g->grid[3][5] = down_tile;
    add_granny(200, 434);  // steps off the bottom
    add_granny(300, 300);
    g->update();
    ASSERT_EQ(g->grannies.size(), 1u);
    EXPECT_EQ(g->score, 2);
}

TEST_F(Battle, ClockSpawnOddsAndTheWonBattle) {
    // Level 0: a granny comes when the roll matches the level.
    int early = 0, late = 0;
    g->grannies.reserve(1000);
    while (g->time_left > 0) {
        size_t before = g->grannies.size();
        int left = g->time_left;
        g->update();
        if (g->grannies.size() > before) (left - 1 < 1050 ? late : early)++;
        for (auto& gr : g->grannies) gr.state = granny_gone;  // sweep them off
        if (g->mode != mode_battle) break;
    }
    // Chances 1/23 over 3150 ticks and 1/13 over 1049.
    EXPECT_NEAR(early, 3150 / 23, 45);
    EXPECT_NEAR(late, 1049 / 13, 30);
    EXPECT_EQ(g->mode, mode_dialog);
    EXPECT_EQ(g->scene, scene_won);
    EXPECT_STREQ(g->dialog_lines[0], "NOOOOOOOOOOO..... :-(");  // same tick
    EXPECT_EQ(g->speaker, 5);
    EXPECT_EQ(sounds_played.back(), 2);
}

TEST_F(Battle, LastTickOfTheClockSpawnsNothingAndWinsIfEmpty) {
    g->time_left = 1;
    std::srand(3);
    g->update();
    EXPECT_EQ(g->time_left, 0);
    EXPECT_TRUE(g->grannies.empty());
    EXPECT_EQ(g->mode, mode_dialog);
    EXPECT_EQ(g->scene, scene_won);
}

TEST_F(Battle, HighLevelsBringFewerGrannies) {
    g->level = 13;
    g->reset(13);
    g->mode = mode_battle;
    g->time_left = g->battle_time / 4;  // the last quarter
    for (int i = 0; i < 2000; i++) g->update();
    EXPECT_TRUE(g->grannies.empty());

    g->level = 23;
    g->reset(23);
    g->mode = mode_battle;
    while (g->mode == mode_battle) g->update();
    EXPECT_EQ(g->scene, scene_won);  // won as soon as the clock ran out
    EXPECT_EQ(g->time_left, 0);
}

// Columns are counted from x = 0, rows from y = 55, both 64 pixels wide.
TEST_F(Battle, AGrannyTakesTheTileUnderHerFeet) {
    no_spawning();
    g->grid[1][0] = slow_tile;
    add_granny(127.0f, 118.9f);  // column 1, row 0: slowed
    add_granny(128.0f, 118.9f);  // column 2
    add_granny(127.0f, 119.0f);  // row 1
    g->update();
    EXPECT_FLOAT_EQ(g->grannies[0].x, 127.0f + 0.6f / 2.5f);
    EXPECT_FLOAT_EQ(g->grannies[1].x, 128.6f);
    EXPECT_FLOAT_EQ(g->grannies[2].x, 127.6f);
}

// With the shield full a tick rolls first for a new granny, then once for
// each granny at the castle, in their order; walkers do not roll.
TEST_F(Battle, EachGrannyAtTheCastleDrainsTheShieldOnAOneIn30Roll) {
    no_spawning();
    int drains = 0;
    for (unsigned seed = 1; seed <= 600; seed++) {
        g->grannies.clear();
        add_granny(446, 200, granny_at_castle);
        add_granny(100, 200);
        add_granny(447, 300, granny_at_castle);
        g->shield = full_shield;
        std::srand(seed);
        std::rand();  // the spawn roll
        int expected = 0;
        for (int castle_granny = 0; castle_granny < 2; castle_granny++)
            expected += std::rand() % 30 == 0;
        std::srand(seed);
        g->update();
        ASSERT_EQ(g->shield, full_shield - expected) << "seed " << seed;
        drains += expected;
    }
    EXPECT_GT(drains, 20);            // enough drains seen for the check to mean something
    EXPECT_EQ(g->mode, mode_battle);  // the clock is far from up
}

// The spawn roll is taken after the clock moves: a granny comes when it
// equals the level, out of 23 until the last quarter, out of 13 within it.
TEST_F(Battle, SpawnOddsTurnAtTheLastQuarter) {
    g->reset(2);
    g->level = 2;
    g->mode = mode_battle;
    int quarter = g->battle_time / 4;
    int spawns[2] = {};
    for (int within_last_quarter = 0; within_last_quarter < 2; within_last_quarter++) {
        int odds = within_last_quarter ? 13 : 23;
        for (unsigned seed = 1; seed <= 400; seed++) {
            g->grannies.clear();
            g->score = 0;
            g->time_left = within_last_quarter ? quarter : quarter + 1;
            std::srand(seed);
            bool spawn = std::rand() % odds == g->level;
            std::srand(seed);
            g->update();
            // One may start so low that it is gone at once, scoring its point.
            int came = static_cast<int>(g->grannies.size()) + g->score;
            ASSERT_EQ(came, spawn) << "seed " << seed << ", odds " << odds;
            spawns[within_last_quarter] += spawn;
        }
    }
    EXPECT_GT(spawns[0], 8);
    EXPECT_GT(spawns[1], 16);
}

TEST_F(Battle, ALostBattleOutweighsAWonOne) {
    g->time_left = 1;
    g->shield = 0;
    std::srand(2);
    g->update();
    ASSERT_EQ(g->shield, 0);  // this seed's regeneration roll missed: still empty
    EXPECT_EQ(g->mode, mode_dialog);
    EXPECT_EQ(g->scene, scene_lost);
    EXPECT_EQ(sounds_played.back(), 2);  // the win sound already played
    EXPECT_STREQ(g->dialog_lines[1], "At last you will meet your end!");
    EXPECT_EQ(g->speaker, 2);
}

TEST_F(Battle, GranniesOutsideTheGridAreReportedAndWalkOnBareGround) {
    no_spawning();
    g->repulse_x = 10;
    g->repulse_y = 200;
    add_granny(-70, 200);                    // column -1: outside
    add_granny(-10, 200);                    // column 0: feels the magnet
    add_granny(460, 200, granny_at_castle);  // thrown past the castle: no drain
    testing::internal::CaptureStdout();
    g->update();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "\nERROR -1 2\nERROR 7 2");
    EXPECT_FLOAT_EQ(g->grannies[0].x, -69.4f);
    EXPECT_FLOAT_EQ(g->grannies[0].y, 200);
    EXPECT_LT(g->grannies[1].x, -10);  // pushed away from the magnet
    testing::internal::CaptureStdout();
    for (int i = 0; i < 300; i++) g->update();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(g->shield, 666);
}

// Everything a replay needs to match, tick by tick.
static std::string snapshot(const game& g) {
    std::string s = std::to_string(g.score) + "/" + std::to_string(g.shield) + ":";
    for (const auto& gr : g.grannies)
        s += std::to_string(gr.x) + "," + std::to_string(gr.y) + "," + std::to_string(gr.state) +
             ";";
    return s;
}

static std::vector<std::string> play_battle(game& g, unsigned seed) {
    g.reset(0);
    g.score = 0;
    g.grid[1][2] = slow_tile;
    g.grid[3][1] = up_tile;
    g.grid[4][4] = repulse_tile;
    g.grid[2][3] = attract_tile;
    offset repulse = magnet_point(4, 4, repulse_anchor),
           attract = magnet_point(2, 3, attract_anchor);
    g.repulse_x = repulse.x, g.repulse_y = repulse.y;
    g.attract_x = attract.x, g.attract_y = attract.y;
    g.mode = mode_battle;
    std::srand(seed);
    std::vector<std::string> ticks;
    for (int t = 0; t < 3000 && g.mode == mode_battle; t++) {
        mouse_b = t % 40 == 0 && !g.grannies.empty();
        if (mouse_b) {
            mouse_x = std::max(1, static_cast<int>(g.grannies[0].x) + 30);
            mouse_y = static_cast<int>(g.grannies[0].y);
        }
        g.update();
        ticks.push_back(snapshot(g));
    }
    mouse_b = 0;
    return ticks;
}

TEST_F(Battle, TheSameSeedReplaysTheSameBattle) {
    testing::internal::CaptureStdout();
    auto first = play_battle(*g, 99);
    auto second = play_battle(*g, 99);
    auto other = play_battle(*g, 100);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(first.size(), second.size());
    for (size_t t = 0; t < first.size(); t++) ASSERT_EQ(first[t], second[t]) << "tick " << t;
    EXPECT_NE(first, other);
}
