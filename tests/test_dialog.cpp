// The story dialogs and the level cycle they link.
#include <gtest/gtest.h>

#include <algorithm>

#include "game_fixture.h"

class Dialog : public GameTest {
protected:
    void open_scene(int scene, int step = 0) {
        g->mode = mode_dialog;
        g->scene = scene;
        g->scene_step = step;
        g->update();  // shows the step
    }
    // Wins the running battle by dropping meteors ahead of the first granny.
    void win_battle() {
        for (int t = 0; t < 20000 && g->mode == mode_battle; t++) {
            mouse_b = 0;
            if (t % 8 == 0 && !g->grannies.empty()) {
                const granny& target = g->grannies.front();
                int aim_y = std::clamp(static_cast<int>(target.y) - 5, 49, 431);
                float lead = target.vx * (aim_y / 6 + 1);
                mouse_x = std::clamp(static_cast<int>(target.x + lead), 1, firing_right);
                mouse_y = aim_y;
                mouse_b = 1;
            }
            g->update();
        }
        mouse_b = 0;
    }
};

TEST_F(Dialog, ThePreBattleStoryLeadsIntoTheBattle) {
    click(100, 100);  // a slow tile
    press_start();
    EXPECT_EQ(g->mode, mode_dialog);
    // Who speaks at each page, one of its lines, and the key that turns it.
    struct page {
        int speaker, line;
        const char* text;
        int key;
    } const pages[] = {
        {1, 1, "-YES, bring the grannies on! (PRESS Y)", KEY_Y},
        {5, 0, "Save me granny!  :-(", KEY_Q},
        {2, 2, "And YOU (points finger) should start running, you evilo!", KEY_Q},
        {1, 2, " ( press any key and start the battle ) ", KEY_Q},
    };
    for (const page& p : pages) {
        // Each page shows in the tick of the key that turned to it.
        EXPECT_EQ(g->speaker, p.speaker);
        EXPECT_STREQ(g->dialog_lines[p.line], p.text);
        idle(5);  // the key delay
        press(p.key);
    }
    EXPECT_EQ(g->mode, mode_battle);
    EXPECT_EQ(g->scene, scene_intro);
    EXPECT_EQ(g->scene_step, 0);
    EXPECT_EQ(g->grid[1][0], slow_tile);
    EXPECT_TRUE(std::find(sounds_played.begin(), sounds_played.end(), 0) == sounds_played.end());
}

TEST_F(Dialog, NotReadyGoesBackToTheBuildPhaseAsItWas) {
    click(100, 100);
    g->level = 2;
    g->score = 17;
    open_scene(scene_intro);
    answer(KEY_N);
    EXPECT_EQ(g->mode, mode_build);
    EXPECT_EQ(g->grid[1][0], slow_tile);
    EXPECT_EQ(g->stock[0], 1);
    EXPECT_EQ(g->level, 2);
    EXPECT_EQ(g->score, 17);
    // N and Y together: back to building; the step the Y set is overwritten later.
    open_scene(scene_intro);
    key[KEY_Y] = 1;
    press(KEY_N);
    key[KEY_Y] = 0;
    EXPECT_EQ(g->mode, mode_build);
    EXPECT_EQ(g->scene_step, 1);
    idle(5);
    press_start();
    EXPECT_EQ(g->scene_step, 0);
}

TEST_F(Dialog, KeysCountOnlyAfterTheDelayAndAreNotRemembered) {
    open_scene(scene_intro);
    answer(KEY_X);  // not offered: swallowed
    EXPECT_EQ(g->scene_step, 0);
    press(KEY_Y);
    EXPECT_EQ(g->scene_step, 1);
    for (int i = 0; i < 4; i++) press(KEY_Q);  // within the delay: dropped
    EXPECT_EQ(g->scene_step, 1);
    g->update();  // nothing waiting: the dropped presses are gone
    EXPECT_EQ(g->scene_step, 1);
    press(KEY_Q);
    EXPECT_EQ(g->scene_step, 2);
}

TEST_F(Dialog, AWholeLevelCycleWonThenLost) {
    click(100, 100);
    start_battle();
    ASSERT_EQ(g->mode, mode_battle);
    testing::internal::CaptureStdout();
    win_battle();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(g->mode, mode_dialog);
    ASSERT_EQ(g->scene, scene_won);
    int won_score = g->score;

    answer(KEY_Q);
    EXPECT_STREQ(g->dialog_lines[1], "I killed all the old ladies!");
    answer(KEY_Q);
    EXPECT_EQ(g->dialog_lines[0], "You're score: " + std::to_string(won_score));
    EXPECT_EQ(g->speaker, 1);
    size_t entries = g->highscores.size();
    answer_score_step();
    EXPECT_EQ(g->scene_step, 3);
    EXPECT_LE(g->highscores.size(), entries + 1);
    EXPECT_NE(std::find(g->highscores.begin(), g->highscores.end(), won_score),
              g->highscores.end());
    EXPECT_TRUE(std::is_sorted(g->highscores.rbegin(), g->highscores.rend()));
    answer(KEY_Y);
    EXPECT_EQ(g->mode, mode_build);
    EXPECT_EQ(g->level, 1);
    EXPECT_EQ(g->time_left, 4800);
    EXPECT_EQ(g->score, won_score);
    EXPECT_EQ(g->grid[1][0], 0);

    // Level 1 is lost: the shield is gone.
    start_battle();
    g->shield = -5;
    g->update();
    ASSERT_EQ(g->scene, scene_lost);
    answer(KEY_Q);
    EXPECT_STREQ(g->dialog_lines[0], "( press N ) NOOO, please spare me!");
    answer(KEY_N);
    EXPECT_STREQ(g->dialog_lines[2], " ( SCORE -50 )");
    EXPECT_EQ(g->score, won_score - 50);
    answer(KEY_Q);
    EXPECT_EQ(g->dialog_lines[0], "You're score: " + std::to_string(won_score - 50));
    answer_score_step();
    EXPECT_NE(std::find(g->highscores.begin(), g->highscores.end(), won_score - 50),
              g->highscores.end());
    EXPECT_EQ(g->scene_step, 5);
    answer(KEY_N);  // enough: the farewell
    EXPECT_EQ(g->scene, scene_won);
    EXPECT_EQ(g->scene_step, 4);
    EXPECT_STREQ(g->dialog_lines[0], "I'll keep Chuck locked, don't worry.");
    EXPECT_EQ(quit, 0);
    press(KEY_Q);
    EXPECT_EQ(quit, 1);
    EXPECT_EQ(g->key_delay, 0);  // the farewell sets no delay
}

TEST_F(Dialog, MercyOrPrideAndANewGame) {
    g->score = 10;
    open_scene(scene_lost, 1);
    key[KEY_N] = 1;
    press(KEY_M);  // both held: minus then plus
    key[KEY_N] = 0;
    EXPECT_EQ(g->score, 10);
    EXPECT_EQ(g->scene_step, 3);
    idle(5);
    EXPECT_STREQ(g->dialog_lines[0], "GOOD, thats the spirit!");

    g->score = -7;
    open_scene(scene_lost, 4);
    EXPECT_STREQ(g->dialog_lines[0], "You're score: -7");
    answer_score_step();
    g->level = 3;
    answer(KEY_Y);  // a new game
    EXPECT_EQ(g->mode, mode_build);
    EXPECT_EQ(g->level, 0);
    EXPECT_EQ(g->score, 0);
    EXPECT_EQ(g->time_left, 4200);
}

TEST_F(Dialog, EveryFinishedBattleEntersItsScore) {
    g->highscores.clear();
    for (int battle = 0; battle < 4; battle++) {
        g->score = 100 + battle;
        open_scene(scene_won, 2);
        answer_score_step();
    }
    EXPECT_EQ(g->highscores, (std::vector<int>{103, 102, 101, 100}));
}

// A click on a line that offers an answer gives it; a click elsewhere goes
// on as any key does; nothing is taken in a page's first half second.
TEST_F(Dialog, AClickOnAnAnswerLineAnswersIt) {
    auto line_y = [](int line) {
        return screen_height - dialog_box_height + dialog_text.y + dialog_line_pitch * line + 12;
    };
    click(100, 100);  // a slow tile
    press_start();
    ASSERT_EQ(g->mode, mode_dialog);
    click(300, line_y(2));  // "No, not yet... (PRESS N)", but at once: not taken
    idle(dialog_click_wait);
    EXPECT_EQ(g->mode, mode_dialog);
    click(300, line_y(0));  // the question itself: no answer, swallowed
    EXPECT_EQ(g->scene_step, 0);
    idle(dialog_key_delay);
    click(300, line_y(2));
    EXPECT_EQ(g->mode, mode_build);
    EXPECT_EQ(g->grid[1][0], slow_tile);

    press_start();
    idle(dialog_click_wait);
    click(600, line_y(1));  // "(PRESS Y)", at the line's far end
    EXPECT_EQ(g->scene_step, 1);
    idle(dialog_click_wait);
    click(20, 20);  // "press any key": a click anywhere goes on
    EXPECT_EQ(g->scene_step, 2);

    open_scene(scene_lost, 1);  // "( press N ) ..." over "( press M ) ..."
    g->score = 0;
    idle(dialog_click_wait);
    click(300, line_y(2));
    EXPECT_EQ(g->scene_step, 3);
    EXPECT_EQ(g->score, story_score_change);
}

TEST_F(Dialog, AClickHeldFromTheBattleNeverTurnsThePage) {
    start_battle();
    g->time_left = 1;
    g->grannies.clear();
    mouse_x = 300, mouse_y = 200, mouse_b = 1;
    idle(2 * dialog_click_wait);  // firing on as the battle ends, and held on
    EXPECT_EQ(g->mode, mode_dialog);
    EXPECT_EQ(g->scene, scene_won);
    EXPECT_EQ(g->scene_step, 0);
    mouse_b = 0;
    g->update();
    click(300, 200);
    EXPECT_EQ(g->scene_step, 1);
}
