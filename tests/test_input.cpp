// The input a tick reads: one sample of the pointer, the buttons and the
// keys, and the keyboard cursor that plays the build phase and the battle
// without a mouse.
#include <gtest/gtest.h>

#include "data_media.h"
#include "game_fixture.h"

namespace {

class Input : public GameTest {
protected:
    void TearDown() override {
        on_play = [](int index) { sounds_played.push_back(index); };
        GameTest::TearDown();
    }
    // A key held for one tick, then let go for one.
    void tap(int scancode) {
        press(scancode);
        g->update();
    }
    // A meteor dropped at (x, y), `steps` ticks later.
    static meteor fallen(int x, int y, int steps) {
        meteor m(x, y);
        for (int i = 0; i < steps; i++) m.update();
        return m;
    }
    void hold(int scancode, int ticks) {
        key[scancode] = 1;
        for (int i = 0; i < ticks; i++) g->update();
        key[scancode] = 0;
    }
};

// The X driver moves the pointer whenever it likes: a tick that has taken
// its sample goes on with that sample, whatever the pointer does meanwhile.
TEST_F(Input, OneTickOnePointerPositionWhateverThePointerDoesMeanwhile) {
    // The click sound plays before the build phase reads where the click was.
    on_play = [](int) { mouse_x = 572, mouse_y = 448; };  // over START
    mouse_x = 96, mouse_y = 112;                          // cell 1,1
    mouse_b = 1;
    g->update();
    mouse_b = 0;
    g->update();
    EXPECT_EQ(g->grid[1][1], slow_tile);
    EXPECT_EQ(g->mode, mode_build) << "START pressed by a pointer that came after the sample";

    on_play = nullptr;
    start_battle();
    g->update();  // the button let go
    // Taken inside the firing region, moved out before the step: the shot
    // starts where it was checked.
    mouse_x = 100, mouse_y = 200, mouse_b = 1;
    g->take_input();
    mouse_x = 600, mouse_y = 470;
    g->step();
    ASSERT_EQ(g->meteors.size(), 1u);
    EXPECT_EQ(g->meteors[0].x, fallen(100, 200, 1).x);
    EXPECT_EQ(g->meteors[0].vy, fallen(100, 200, 1).vy);
    // Taken outside, moved in before the step: no shot.
    mouse_b = 0;
    g->update();
    mouse_b = 1;
    g->take_input();
    mouse_x = 100, mouse_y = 200;
    g->step();
    EXPECT_EQ(g->meteors.size(), 1u) << "a meteor from a point never checked";
}

// The arrows step a frame over the grid, the palette and START; Space acts
// as a click where it stands. In the battle the arrows glide a crosshair.
TEST_F(Input, TheKeyboardAloneLaysAndLiftsTilesPressesStartAndShoots) {
    tap(KEY_RIGHT);
    ASSERT_TRUE(g->cursor.shown);
    EXPECT_EQ(g->cursor.frame.left, 0) << "the first press only shows the frame";
    tap(KEY_SPACE);
    EXPECT_EQ(g->grid[0][0], slow_tile);
    tap(KEY_ENTER);
    EXPECT_EQ(g->grid[0][0], bare_ground) << "a second press lifts it";
    EXPECT_EQ(g->stock[0], stock_at_reset[0]);

    for (int i = 0; i < grid_columns; i++) tap(KEY_RIGHT);
    tap(KEY_RIGHT);  // the panel is the last column
    tap(KEY_DOWN);
    tap(KEY_SPACE);
    EXPECT_EQ(g->selected, 1) << "the palette's second slot";
    tap(KEY_LEFT);
    tap(KEY_SPACE);
    EXPECT_EQ(g->grid[grid_columns - 1][1], up_tile);

    hold(KEY_DOWN, 40);  // held: steps again and again, to the bottom
    g->update();
    tap(KEY_RIGHT);
    EXPECT_EQ(g->cursor.frame.left, start_button.left);
    tap(KEY_SPACE);
    ASSERT_EQ(g->mode, mode_dialog);

    answer(KEY_Y);
    answer(KEY_SPACE);
    answer(KEY_SPACE);
    key[KEY_SPACE] = 1;  // the key that starts the battle, held on
    press(KEY_SPACE);
    key[KEY_SPACE] = 1;
    idle(5);
    key[KEY_SPACE] = 0;
    ASSERT_EQ(g->mode, mode_battle) << g->scene << " " << g->scene_step;
    EXPECT_TRUE(g->meteors.empty()) << "the story's last key shot";

    // From the middle of the field, slow at first, then faster.
    int x0 = g->cursor.x;
    EXPECT_EQ(x0, field_width / 2);
    key[KEY_RIGHT] = 1;
    g->update();
    int first = g->cursor.x - x0;
    idle(30);
    int before = g->cursor.x;
    g->update();
    key[KEY_RIGHT] = 0;
    EXPECT_EQ(first, 1);
    EXPECT_GT(g->cursor.x - before, 4);
    int aim_x = g->cursor.x, aim_y = g->cursor.y;
    tap(KEY_SPACE);
    ASSERT_EQ(g->meteors.size(), 1u);
    EXPECT_EQ(g->meteors[0].x, fallen(aim_x, aim_y, 2).x);

    // The mouse moves while an arrow is held on (as a lost pad's stick
    // stays pushed): the pointer takes over, and the held arrow, which no
    // longer changes, never takes the cursor back.
    key[KEY_LEFT] = 1;
    g->update();
    int held_aim_x = g->cursor.x;
    mouse_x = 50, mouse_y = 300;
    g->update();
    EXPECT_FALSE(g->cursor.shown);
    click(50, 300);
    ASSERT_EQ(g->meteors.size(), 2u);
    EXPECT_EQ(g->meteors[1].x, fallen(50, 300, 2).x);
    idle(10);
    EXPECT_FALSE(g->cursor.shown) << "a direction held on took the cursor back";
    EXPECT_EQ(g->cursor.x, held_aim_x) << "the hidden crosshair glided on";
    key[KEY_LEFT] = 0;
    tap(KEY_UP);
    EXPECT_TRUE(g->cursor.shown) << "a new direction takes it";
}

// A tap (a touchpad's, a quick finger's) presses and lets go between two
// ticks. Each press the mouse driver reported is taken at a tick of its own
// as the press it was, where the pointer was pressed, in order; a held
// button still acts once; a key pressed and let go between ticks counts as
// that key.
TEST_F(Input, EveryPressBetweenTwoTicksIsTakenInItsOwnTickInOrder) {
    idle(1);
    tap_between_ticks(96, 112);  // cell 1,1
    driver_reports(600, 20, 0);  // and the pointer moves on
    g->update();
    EXPECT_EQ(g->grid[1][1], slow_tile) << "a tap let go before the tick";
    idle(1);

    // The second slot, a cell, START: three taps before one tick.
    int slot_x = screen_width - palette_left_from_right + cell_size / 2;
    tap_between_ticks(slot_x, palette_top + slot_pitch + slot_pitch / 2);
    tap_between_ticks(2 * cell_size + 10, field_top + 3 * cell_size + 10);
    tap_between_ticks(start_button.left + 10, start_button.top + 10);
    g->update();
    EXPECT_EQ(g->selected, 1);
    EXPECT_EQ(g->grid[2][3], bare_ground) << "the second tap taken with the first";
    idle(2);
    EXPECT_EQ(g->grid[2][3], up_tile) << "laid with the slot the first tap chose";
    EXPECT_EQ(g->mode, mode_build);
    idle(2);
    EXPECT_EQ(g->mode, mode_dialog) << "the third tap";
    idle(2);
    EXPECT_EQ(g->stock[1], stock_at_reset[1] - 1) << "a tap taken twice";

    // Keys: one pressed and let go between two ticks is still that key.
    simulate_keypress(KEY_N << 8);
    g->update();
    ASSERT_EQ(g->mode, mode_build) << "a quick N is no";
    tap_between_ticks(start_button.left + 10, start_button.top + 10);
    idle(6);
    ASSERT_EQ(g->mode, mode_dialog);
    simulate_keypress(KEY_Y << 8);
    g->update();
    ASSERT_EQ(g->scene_step, 1) << "a quick Y is yes";
    idle(5);
    simulate_keypress(KEY_SPACE << 8);
    g->update();
    EXPECT_EQ(g->scene_step, 2) << "a quick key";
    idle(5);
    answer(KEY_SPACE);
    answer(KEY_SPACE);
    ASSERT_EQ(g->mode, mode_battle);

    tap_between_ticks(100, 200);
    driver_reports(600, 470, 0);  // outside the firing region by the tick
    g->update();
    ASSERT_EQ(g->meteors.size(), 1u) << "a tap in the battle";
    EXPECT_EQ(g->meteors[0].x, fallen(100, 200, 1).x);
    driver_reports(120, 220, 1);  // held over ticks, then let go: one shot
    idle(5);
    driver_reports(120, 220, 0);
    idle(2);
    EXPECT_EQ(g->meteors.size(), 2u);
}

}  // namespace
