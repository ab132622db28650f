// Meteors, grannies and the magnet field.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "game.h"
#include "harness.h"

TEST(Meteor, FallsOnItsSlantToTheClickThenExplodes) {
    sounds_played.clear();
    meteor m(100, 431);
    EXPECT_EQ(m.timer, 71);
    EXPECT_FLOAT_EQ(m.x, 242);
    EXPECT_FLOAT_EQ(m.y, 0);
    EXPECT_EQ(m.state, meteor_falling);
    EXPECT_EQ(m.frame_div, 5);
    for (int n = 0; n < 71; n++) ASSERT_EQ(m.update(), meteor_falling);
    EXPECT_FLOAT_EQ(m.x, 100);
    EXPECT_FLOAT_EQ(m.y, 426);
    EXPECT_TRUE(sounds_played.empty());
    EXPECT_EQ(m.update(), meteor_exploding);  // lands without moving
    EXPECT_EQ(m.timer, 40);
    EXPECT_EQ(m.frame_div, 10);
    EXPECT_FLOAT_EQ(m.x, 100);
    EXPECT_EQ(sounds_played, std::vector<int>{1});
    for (int n = 0; n < 40; n++) ASSERT_EQ(m.update(), meteor_exploding);
    EXPECT_EQ(m.update(), meteor_done);  // 41 ticks of explosion, then done
    EXPECT_EQ(m.update(), meteor_done);
}

TEST(Meteor, ShortFallsAndZeroTimer) {
    meteor near(457, 49);
    EXPECT_EQ(near.timer, 8);
    EXPECT_FLOAT_EQ(near.x, 473);
    for (int n = 0; n < 9; n++) near.update();
    EXPECT_EQ(near.state, meteor_exploding);
    EXPECT_FLOAT_EQ(near.x, 457);
    EXPECT_FLOAT_EQ(near.y, 48);

    meteor top(50, 5);
    EXPECT_EQ(top.timer, 0);
    EXPECT_EQ(top.update(), meteor_exploding);
    EXPECT_FLOAT_EQ(top.x, 50);
    EXPECT_FLOAT_EQ(top.y, 0);
}

TEST(Meteor, AnimationFramesAndAnchors) {
    meteor m(100, 300);
    m.timer = 14;
    EXPECT_EQ(m.frame(), 2);
    int seen[3] = {};
    for (m.timer = 14; m.timer >= 0; m.timer--) seen[m.frame()]++;
    EXPECT_EQ(seen[0], 5);
    EXPECT_EQ(seen[1], 5);
    EXPECT_EQ(seen[2], 5);

    m.state = meteor_exploding;
    m.frame_div = 10;
    const int expected[][2] = {{40, 3}, {39, 6}, {30, 6}, {29, 5}, {20, 5},
                               {19, 4}, {10, 4}, {9, 3},  {0, 3}};
    for (auto e : expected) {
        m.timer = e[0];
        EXPECT_EQ(m.frame(), e[1]) << "timer " << e[0];
    }

    m.x = 100.7f;
    m.y = 60.2f;
    m.state = meteor_falling;
    EXPECT_EQ(m.getX(20, 64), 90);
    EXPECT_EQ(m.getY(30, 64), 30);
    m.state = meteor_exploding;
    EXPECT_EQ(m.getX(20, 64), 68);
    EXPECT_EQ(m.getY(30, 64), 28);
}

TEST(Granny, DrawsHeightThenSpeed) {
    for (unsigned seed = 1; seed < 50; seed++) {
        std::srand(seed);
        int first = std::rand(), second = std::rand();
        std::srand(seed);
        granny g;
        ASSERT_FLOAT_EQ(g.y, 55 + first % 384);
        ASSERT_FLOAT_EQ(g.vx, static_cast<float>((second % 4) / 10.0 + 0.6));
        ASSERT_EQ(g.x, 0);
        ASSERT_EQ(g.vy, 0);
        ASSERT_EQ(g.state, granny_walking);
    }
}

static granny walker(float x, float y, float vx = 0.8f) {
    std::srand(1);
    granny g;
    g.x = x;
    g.y = y;
    g.vx = vx;
    return g;
}

TEST(Granny, GroundTilesChangeTheStep) {
    granny slow = walker(100, 200);
    slow.update(slow_tile, 0, 0);
    EXPECT_NEAR(slow.x, 100.32, 1e-4);
    granny up = walker(100, 200);
    up.update(up_tile, 0, 0);
    EXPECT_NEAR(up.y, 199.35, 1e-4);
    EXPECT_NEAR(up.x, 100.8, 1e-4);
    granny down = walker(100, 200);
    down.update(down_tile, 0, 0);
    EXPECT_NEAR(down.y, 200.65, 1e-4);
    for (int tile : {bare_ground, repulse_tile, attract_tile}) {
        granny plain = walker(100, 200);
        plain.update(tile, 1.5f, -2.0f);  // magnets shift before the step
        EXPECT_NEAR(plain.x, 102.3, 1e-4);
        EXPECT_NEAR(plain.y, 198.0, 1e-4);
    }
}

TEST(Granny, EdgesAndTheCastle) {
    granny top = walker(100, 55.3f);
    EXPECT_EQ(top.update(up_tile, 0, 0), granny_gone);
    granny bottom = walker(100, 434.0f);
    EXPECT_EQ(bottom.update(down_tile, 0, 0), granny_gone);
    granny castle = walker(444.5f, 200);
    EXPECT_EQ(castle.update(bare_ground, 0, 0), granny_at_castle);
    EXPECT_EQ(castle.update(bare_ground, 50, 50), granny_at_castle);  // never moves again
    EXPECT_NEAR(castle.x, 445.3, 1e-4);
    granny both = walker(444.5f, 434.0f);
    EXPECT_EQ(both.update(down_tile, 0, 0), granny_gone);  // gone wins over the castle
    // Exactly on a limit is still inside it.
    granny on_line = walker(444.5f, 200, 0.5f);
    EXPECT_EQ(on_line.update(bare_ground, 0, 0), granny_walking);
    granny at_top = walker(100, 56);
    EXPECT_EQ(at_top.update(bare_ground, 0, -1), granny_walking);
    granny at_bottom = walker(100, 433);
    EXPECT_EQ(at_bottom.update(bare_ground, 0, 1), granny_walking);
    granny gone = walker(100, 200);
    gone.state = granny_gone;
    EXPECT_EQ(gone.update(bare_ground, 5, 5), granny_gone);
    EXPECT_EQ(gone.x, 100);
}

static void expect_four_figures(float got, double want) {
    EXPECT_NEAR(got, want, std::fabs(want) * 5e-4) << "want " << want;
}

TEST(Magnets, ForceTableToFourFigures) {
    // Whole distances only: the feet sit on integer pixels. Multiples of 5
    // lie on a 3-4-5 slant, so the direction is checked too.
    const int distances[] = {5, 10, 16, 32, 64, 100, 200, 400};
    const double repulse[] = {42.88, 11.73, 4.871, 1.333, 0.3645, 0.1582, 0.04329, 0.01184};
    const double attract[] = {0, 3.155, 1.795, 0.7812, 0.3401, 0.1991, 0.08664, 0.03771};
    for (int i = 0; i < 8; i++) {
        int d = distances[i];
        int dx = d % 5 == 0 ? d * 3 / 5 : d, dy = d % 5 == 0 ? d * 4 / 5 : 0;
        float px = 0, py = 0;
        magnet_adjust(-1, -1, 300, 200, 300 + dx, 200 + dy, &px, &py);
        expect_four_figures(std::hypot(px, py), repulse[i]);
        EXPECT_GT(px, 0) << "pushes away, d " << d;
        EXPECT_NEAR(py * dx, px * dy, 1e-3);
        float ax = 0, ay = 0;
        magnet_adjust(300, 200, -1, -1, 300 + dx, 200 + dy, &ax, &ay);
        if (attract[i] == 0) {
            EXPECT_EQ(ax, 0);
            EXPECT_EQ(ay, 0);
        } else {
            expect_four_figures(std::hypot(ax, ay), attract[i]);
            EXPECT_LT(ax, 0) << "pulls closer, d " << d;
        }
    }
}

TEST(Magnets, ExamplesAndDeadZones) {
    float fx = 0, fy = 0;
    magnet_adjust(60, 100, -1, -1, 50, 100, &fx, &fy);
    expect_four_figures(fx, 3.155);
    EXPECT_EQ(fy, 0);
    fx = fy = 0;
    magnet_adjust(-1, -1, 60, 100, 50, 100, &fx, &fy);
    expect_four_figures(fx, -11.73);
    fx = fy = 0;
    magnet_adjust(60, 100, 60, 100, 50, 100, &fx, &fy);  // both: the sum
    expect_four_figures(fx, -11.73 + 3.155);

    for (int d : {0, 3}) {
        fx = fy = 0;
        magnet_adjust(-1, -1, 60, 100, 60 + d, 100, &fx, &fy);
        EXPECT_EQ(fx, 0) << "repulse at " << d;
        EXPECT_FALSE(std::isnan(fx));
    }
    fx = fy = 0;
    magnet_adjust(60, 100, -1, -1, 67, 100, &fx, &fy);
    EXPECT_EQ(fx, 0);
    magnet_adjust(60, 100, -1, -1, 68, 100, &fx, &fy);
    expect_four_figures(-fx, 4.123);

    // Half-given magnets are absent.
    fx = fy = 0;
    magnet_adjust(60, -1, -1, 100, 50, 100, &fx, &fy);
    magnet_adjust(-1, 100, 60, -1, 50, 100, &fx, &fy);
    EXPECT_EQ(fx, 0);
    EXPECT_EQ(fy, 0);
}
