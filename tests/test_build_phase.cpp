// The build phase: click regions, laying, lifting and swapping tiles.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "game_fixture.h"

using BuildPhase = GameTest;

TEST_F(BuildPhase, PaletteRegionBoundsSelectSlots) {
    const int none = -1;
    struct {
        int x, y, selected;
    } cases[] = {
        {544, 64, none}, {544, 65, 0},     {544, 383, 4}, {544, 384, none}, {544, 127, 0},
        {544, 128, 1},   {512, 200, none}, {513, 200, 2}, {575, 300, 3},    {576, 300, none},
    };
    for (auto c : cases) {
        g->selected = none;
        click(c.x, c.y);
        EXPECT_EQ(g->selected, c.selected) << c.x << "," << c.y;
    }
    g->selected = 0;
}

TEST_F(BuildPhase, StartButtonBoundsOpenTheDialogInTheSameTick) {
    struct {
        int x, y;
        bool opens;
    } cases[] = {
        {start_button.left, 440, false},  {start_button.left + 1, 440, true},
        {start_button.right, 440, true},  {start_button.right + 1, 440, false},
        {570, start_button.top, false},   {570, start_button.top + 1, true},
        {570, start_button.bottom, true}, {570, start_button.bottom + 1, false},
    };
    for (auto c : cases) {
        g->mode = mode_build;
        g->mouse_down = false;  // the dialog never saw the last release
        g->scene = scene_lost;
        g->scene_step = 3;
        std::strcpy(g->dialog_lines[0], " ");
        mouse_x = c.x;
        mouse_y = c.y;
        mouse_b = 1;
        g->update();
        EXPECT_EQ(g->mode == mode_dialog, c.opens) << c.x << "," << c.y;
        if (c.opens) {
            EXPECT_EQ(g->scene, scene_intro);
            EXPECT_EQ(g->scene_step, 0);
            EXPECT_STREQ(g->dialog_lines[0], "Are you READY?");
            EXPECT_TRUE(g->mouse_down);  // the dialog leaves the button as it was
        }
        mouse_b = 0;
        g->update();
    }
}

TEST_F(BuildPhase, GridRegionBoundsAndCells) {
    struct {
        int x, y, column, row;
    } lays[] = {
        {1, 49, 0, 0},
        {447, 431, 6, 5},
        {64, 112, 1, 1},
        {63, 111, 0, 0},
    };
    for (auto c : lays) {
        g->reset(0);
        click(c.x, c.y);
        EXPECT_EQ(g->grid[c.column][c.row], slow_tile) << c.x << "," << c.y;
    }
    struct {
        int x, y;
    } misses[] = {{0, 200}, {448, 200}, {200, 48}, {200, 432}};
    for (auto c : misses) {
        g->reset(0);
        click(c.x, c.y);
        EXPECT_EQ(g->stock[0], 2) << c.x << "," << c.y;
    }
}

TEST_F(BuildPhase, EveryNewPressClicksButAHeldButtonActsOnce) {
    mouse_x = 100;
    mouse_y = 100;
    mouse_b = 1;
    idle(10);
    EXPECT_EQ(g->stock[0], 1);
    EXPECT_EQ(sounds_played, std::vector<int>{3});
    mouse_b = 0;
    g->update();
    mouse_b = 1;
    g->update();  // pressed again: lifts the tile it laid
    EXPECT_EQ(g->stock[0], 2);
    EXPECT_EQ(g->grid[1][0], 0);
    mouse_b = 0;
    g->update();
    click(620, 20);  // nowhere: only the click sound
    EXPECT_EQ(sounds_played, (std::vector<int>{3, 3, 3}));
}

TEST_F(BuildPhase, LayingLiftingAndSwappingKeepTheStock) {
    click(10, 60);  // slow tile into (0,0)
    click(10, 60);  // same kind: lifted
    EXPECT_EQ(g->grid[0][0], 0);
    EXPECT_EQ(g->stock[0], 2);

    click(544, 160);  // up tile
    click(10, 60);
    click(10, 130);
    EXPECT_EQ(g->stock[1], 0);
    click(10, 200);  // none left: nothing changes
    EXPECT_EQ(g->grid[0][2], 0);

    // Slot 0 empty: a click on an up tile changes nothing...
    click(544, 70);
    g->stock[0] = 0;
    click(10, 60);
    EXPECT_EQ(g->grid[0][0], up_tile);
    // ...with one slow tile left it swaps, and the up tile goes home.
    g->stock[0] = 1;
    click(10, 60);
    EXPECT_EQ(g->grid[0][0], slow_tile);
    EXPECT_EQ(g->stock[0], 0);
    EXPECT_EQ(g->stock[1], 1);
    // A cell holding the selected kind lifts whatever the stock.
    click(10, 60);
    EXPECT_EQ(g->grid[0][0], 0);
    EXPECT_EQ(g->stock[0], 1);
}

static void expect_stock_invariant(const game& g) {
    const int full[] = {2, 2, 2, 1, 1};
    for (int code = 1; code <= 5; code++) {
        int laid = 0;
        for (auto& column : g.grid)
            for (int cell : column) laid += cell == code;
        ASSERT_EQ(g.stock[code - 1] + laid, full[code - 1]) << "code " << code;
        ASSERT_GE(g.stock[code - 1], 0);
    }
}

TEST_F(BuildPhase, StockInvariantHoldsOverThousandsOfRandomClicks) {
    std::mt19937 rng(12345);
    for (int i = 0; i < 5000; i++) {
        int x = rng() % 640, y = rng() % 480;
        if (x > start_button.left && y > start_button.top) continue;  // the start button
        if (rng() % 3 == 0) {  // aim at the palette a third of the time
            x = 513 + rng() % 63;
            y = 65 + rng() % 319;
        }
        click(x, y);
        ASSERT_EQ(g->mode, mode_build);
        ASSERT_GE(g->selected, 0);
        ASSERT_LE(g->selected, 4);
        expect_stock_invariant(*g);
    }
}

TEST_F(BuildPhase, MagnetsArePlacedFromTheGridWhenTheBattleStarts) {
    g->grid[2][4] = repulse_tile;
    g->grid[0][0] = attract_tile;
    g->stock[3] = g->stock[4] = 0;
    start_battle();
    EXPECT_EQ(g->mode, mode_battle);
    EXPECT_EQ(g->repulse_x, 160);
    EXPECT_EQ(g->repulse_y, 340);
    EXPECT_EQ(g->attract_x, 30);
    EXPECT_EQ(g->attract_y, 86);
    EXPECT_EQ(g->grid[2][4], repulse_tile);  // the tiles stay on the field
}

TEST_F(BuildPhase, AnEmptyGridGivesABattleWithoutMagnets) {
    start_battle();
    EXPECT_EQ(g->mode, mode_battle);
    EXPECT_EQ(g->repulse_x, -1);
    EXPECT_EQ(g->attract_y, -1);
}
