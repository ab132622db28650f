// The renderer repaints only what changed and the page manager sends only
// that to the screen. Both must leave exactly the frame a plain full redraw
// paints: every frame here is checked byte for byte, in the back buffer and
// on the screen, against the full redraw kept below.
#include <gtest/gtest.h>

#include <allegro.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "alfont.h"
#include "data_media.h"
#include "data_render.h"
#include "data_render_parts.h"
#include "game.h"
#include "gfx.h"
#include "harness.h"
#include "laid_stock.h"

namespace {

// ---- the reference: every layer drawn from nothing, every tick

void row_of(BITMAP* t, BITMAP* p, int y) {
    for (int i = 0; i < t->w / p->w; i++) draw_sprite(t, p, i * p->w, y);
}

void outlined(BITMAP* t, const char* text, int x, int y) {
    const int outline[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};  // black, in this order
    for (const auto& d : outline)
        alfont_textout_centre_aa_ex(t, fonts[0], text, x + d[0], y + d[1], makecol(0, 0, 0), -1);
    alfont_textout_centre_aa_ex(t, fonts[0], text, x, y, makecol(190, 0, 0), -1);
}

void reference_frame(BITMAP* t, const game& g) {
    int H = t->h;
    clear_to_color(t, makecol(60, 90, 120));
    row_of(t, bOtTiles[1], H - bOtTiles[1]->h);
    row_of(t, bOtTiles[2], top_strip_y);
    for (int j = 0; j < ground_rows; j++) row_of(t, bOtTiles[0], field_top + j * bOtTiles[0]->h);
    for (int i = 0; i < grid_columns; i++)
        for (int j = 0; j < grid_rows; j++)
            if (g.grid[i][j])
                draw_sprite(t, bSpecTiles[g.grid[i][j] - 1], cell_size * i,
                            field_top + cell_size * j);
    draw_sprite(t, bEtc[castle_picture], castle_at.x, castle_at.y);
    drawing::draw_options_control(t);  // part of the scenery
    BITMAP *fall = bEtc[meteor_pictures], *blast = bEtc[meteor_pictures + 3];
    for (const meteor& m : g.meteors)
        draw_sprite(t, bEtc[meteor_pictures + m.frame()], m.getX(fall->w, blast->w),
                    m.getY(fall->h, blast->h));
    BITMAP* walker = bEtc[granny_picture];
    for (const granny& gr : g.grannies)
        draw_sprite(t, walker, int(gr.x) - walker->w / 2, int(gr.y) - walker->h);
    if (g.mode == mode_build) {
        draw_build_overlay(t, &g);  // the panel's own look is pinned by the render tests
    } else if (g.mode == mode_battle) {
        char shield[8], score[8];
        std::snprintf(shield, sizeof shield, "%03d", g.shield);
        std::snprintf(score, sizeof score, "%3d", g.score);
        const char* texts[4] = {"Shield Strength:", shield, "Score:", score};
        for (int i = 0; i < 4; i++) {
            const battle_text_place& at = battle_text_places[i];
            outlined(t, texts[i], at.x, at.y_from_top + at.y_per_font_height * fh);
        }
    } else if (g.mode == mode_dialog) {
        draw_dialog(t, const_cast<game*>(&g));
    }
    // The cursor's own look is pinned by the render tests; here, that it lies on top.
    if (g.cursor.shown && (g.mode == mode_build || g.mode == mode_battle))
        drawing::draw_cursor(t, &g);
}

void reference_score(BITMAP* t, const std::vector<int>& scores, int current) {
    int red = makecol(190, 0, 0);
    const screen_rect &f = score_frame, &s = score_shadow, &p = score_sheet;
    int lines = score_panel_lines * fh;
    rectfill(t, f.left, f.top, f.right, f.bottom, makecol(90, 90, 90));
    rectfill(t, s.left, s.top, s.right, lines + s.bottom, makecol(0, 0, 0));
    rectfill(t, p.left, p.top, p.right, lines + p.bottom, makecol(190, 190, 190));
    alfont_textout_centre_aa_ex(t, fonts[0], "Scores:", SCREEN_W / 2, score_title_y, red, -1);
    alfont_textout_centre_aa_ex(t, fonts[0], "Press ENTER key to continue...", SCREEN_W / 2,
                                score_prompt_lines * fh + score_prompt_y, red, -1);
    char text[64];
    for (size_t i = 0; i < scores.size() && i < 10; i++) {
        std::snprintf(text, sizeof text, "%2d. Evil Creature:   %4d", int(i + 1), scores[i]);
        alfont_textout_centre_aa_ex(t, fonts[0], text, t->w / 2, score_rows_y + int(i) * fh,
                                    scores[i] == current ? red : makecol(0, 0, 0), -1);
    }
}

::testing::AssertionResult same_frame(BITMAP* got, BITMAP* want) {
    long differing = 0;
    int first_x = -1, first_y = -1;
    for (int y = 0; y < want->h; y++) {
        if (std::memcmp(got->line[y], want->line[y], size_t(want->w) * 2) == 0) continue;
        for (int x = 0; x < want->w; x++)
            if (getpixel(got, x, y) != getpixel(want, x, y)) {
                if (!differing++) first_x = x, first_y = y;
            }
    }
    if (!differing) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << differing << " pixels differ, the first at (" << first_x << "," << first_y << ")";
}

// The game's own pictures and font when they were built, the placeholders
// otherwise; a back buffer presented by the page manager onto the stand-in
// screen, as in the game.
class FrameEquality : public ::testing::Test {
protected:
    BITMAP* back = nullptr;
    BITMAP* want = nullptr;

    void SetUp() override {
        remove_score_file();
        release_input();
        alfont_init();
        load_built_media();
        ASSERT_NE(fonts[0], nullptr);
        listener = on_play;
        on_play = nullptr;
        want = create_bitmap(640, 480);
        clear_to_color(screen, 0);
        back = present_through_back_buffer();
    }
    void TearDown() override {
        draw_on_screen_again(back);
        destroy_bitmap(want);
        on_play = listener;
        unload_data();
        alfont_exit();
        release_input();
        remove_score_file();
    }

    // One tick as the main loop runs it, then the back buffer and the screen
    // against the full redraw.
    ::testing::AssertionResult tick_matches(game& g) {
        tick(g);
        return check(g);
    }
    ::testing::AssertionResult check(const game& g) {
        reference_frame(want, g);
        ::testing::AssertionResult drawn = same_frame(back, want);
        if (!drawn) return drawn << " in the back buffer";
        ::testing::AssertionResult shown = same_frame(screen, want);
        if (!shown) return shown << " on the screen";
        return shown;
    }

    void (*listener)(int) = nullptr;
};

unsigned layout_seed;
int layout_random(int lo, int hi) {
    layout_seed = layout_seed * 1103515245u + 12345u;
    return lo + int((layout_seed >> 8) % unsigned(hi - lo + 1));
}

void crowd(game& g, int grannies, int meteors) {
    layout_seed = 99;
    g.grannies.clear();
    for (int i = 0; i < grannies; i++) {
        granny gr;
        gr.vx = layout_random(6, 9) / 10.0f;
        gr.x = float(layout_random(100, 440));
        gr.y = float(layout_random(70, 420));
        g.grannies.push_back(gr);
    }
    g.meteors.clear();
    for (int i = 0; i < meteors; i++)
        g.meteors.push_back(meteor(layout_random(10, 457), layout_random(60, 431)));
}

void lay_tiles(game& g) {
    for (int i = 0; i < grid_columns; i++)
        for (int j = 0; j < grid_rows; j++) g.grid[i][j] = 1 + (i + j) % palette_slots;
    g.grid[0][0] = repulse_tile;
    g.grid[0][5] = attract_tile;
}

TEST_F(FrameEquality, EveryBenchmarkedSituationTickAfterTick) {
    game g;
    lay_tiles(g);
    g.selected = 2;
    for (int t = 0; t < 5; t++) ASSERT_TRUE(tick_matches(g)) << "build phase, tick " << t;

    g.level = 23;  // nobody new comes: only the prepared crowd walks
    g.mode = mode_battle;
    aim_laid_magnets(g);
    for (int grannies : {0, 50, 200, 1000}) {
        crowd(g, grannies, 20);
        for (int t = 0; t < 60; t++)
            ASSERT_TRUE(tick_matches(g)) << grannies << " grannies, tick " << t;
    }

    g.mode = mode_dialog;
    g.scene = 0;
    g.scene_step = 2;
    for (int t = 0; t < 12; t++) {
        if (t == 6) simulate_keypress(KEY_SPACE << 8);  // the next page
        ASSERT_TRUE(tick_matches(g)) << "dialog, tick " << t;
    }
    ASSERT_EQ(g.scene_step, 3);

    // The score screen draws over the frame again and again, then the game's
    // frame comes back whole.
    const std::vector<int> table = {412, 380, 377, 250, 199, 120, 90, 64, 12, -40};
    for (int t = 0; t < 4; t++) {
        draw_score(bDraw, &table, 199);
        gfx_update();
        reference_score(want, table, 199);
        ASSERT_TRUE(same_frame(back, want)) << "score screen, frame " << t;
        ASSERT_TRUE(same_frame(screen, want)) << "score screen on the screen, frame " << t;
    }
    ASSERT_TRUE(tick_matches(g)) << "after the score screen";
}

// A battle as a player fights it: grannies come, walk through the magnets,
// reach the castle, and meteors fall where the mouse clicks.
TEST_F(FrameEquality, ThreeThousandTicksOfABattleWithClicks) {
    srand(2024);
    game g;
    lay_tiles(g);
    g.mode = mode_battle;
    aim_laid_magnets(g);
    layout_seed = 7;
    size_t most_grannies = 0;
    int exploding_ticks = 0;
    for (int t = 0; t < 3000; t++) {
        if (t % 23 == 0) {
            mouse_x = layout_random(1, 460);
            mouse_y = layout_random(49, 431);
        }
        mouse_b = t % 23 < 2;
        ASSERT_TRUE(tick_matches(g)) << "tick " << t;
        most_grannies = std::max(most_grannies, g.grannies.size());
        for (const meteor& m : g.meteors) exploding_ticks += m.state == 2;
    }
    EXPECT_EQ(g.mode, mode_battle);
    EXPECT_GE(most_grannies, 10u);
    EXPECT_GT(exploding_ticks, 1000);
}

// Whatever the frame shows may change between two ticks; the repaint must
// follow every such change, or the frame goes stale.
TEST_F(FrameEquality, EveryShownChangeIsRepainted) {
    game g;
    ASSERT_TRUE(tick_matches(g));
    auto granny_at = [](float x, float y) {
        granny gr;
        gr.x = x, gr.y = y;
        return gr;
    };
    const struct {
        const char* what;
        std::function<void()> change;
    } changes[] = {
        {"a tile laid", [&] { g.grid[3][2] = up_tile; }},
        {"a tile swapped", [&] { g.grid[3][2] = down_tile; }},
        {"another slot selected", [&] { g.selected = 4; }},
        {"a stock count", [&] { g.stock[1] = 7; }},
        {"the cursor shows",
         [&] {
             g.cursor = {true, 96, 112, {64, 112, 127, 175}};
         }},
        {"it steps to START", [&] { g.cursor.frame = start_button; }},
        {"the battle begins", [&] { g.mode = mode_battle; }},
        {"the crosshair glides", [&] { g.cursor.x += 3, g.cursor.y -= 1; }},
        {"into the texts", [&] { g.cursor.x = 560, g.cursor.y = 400; }},
        {"it hides", [&] { g.cursor.shown = false; }},
        {"a granny comes", [&] { g.grannies.push_back(granny_at(100, 200)); }},
        {"she walks a pixel", [&] { g.grannies[0].x += 1; }},
        {"one more behind her", [&] { g.grannies.push_back(granny_at(96, 201)); }},
        {"the first one goes", [&] { g.grannies.erase(g.grannies.begin()); }},
        {"a meteor falls", [&] { g.meteors.push_back(meteor(300, 300)); }},
        {"it burns on", [&] { g.meteors[0].timer -= 5; }},
        {"it explodes", [&] { g.meteors[0].state = 2, g.meteors[0].timer = 40; }},
        {"a meteor through the texts", [&] { g.meteors.push_back(meteor(450, 30)); }},
        {"the shield", [&] { g.shield = 7; }},
        {"the score", [&] { g.score = -1234; }},
        {"a granny under the texts", [&] { g.grannies.push_back(granny_at(470, 60)); }},
        {"the tiles lifted mid-battle", [&] { std::memset(g.grid, 0, sizeof g.grid); }},
        {"a dialog", [&] { g.mode = mode_dialog, std::strcpy(g.dialog_lines[1], "Hello"); }},
        {"its line", [&] { std::strcpy(g.dialog_lines[1], "Hello, and a much longer line"); }},
        {"its speaker", [&] { g.speaker = 5; }},
        {"a reset", [&] { g.reset(3); }},
        {"no overlay", [&] { g.mode = 7; }},
    };
    for (const auto& c : changes) {
        c.change();
        draw(bDraw, &g);  // no update: only the change itself
        gfx_update();
        ASSERT_TRUE(check(g)) << "after " << c.what;
    }

    // A picture replaced in the media tables is shown once the scene is
    // invalidated, and the frame after it is whole again.
    g.mode = mode_battle;
    BITMAP* castle = bEtc[castle_picture];
    BITMAP* repainted = create_bitmap(castle->w, castle->h);
    clear_to_color(repainted, makecol(0, 255, 0));
    bEtc[castle_picture] = repainted;
    invalidate_scene();
    ASSERT_TRUE(tick_matches(g)) << "after the castle was replaced";
    clear_to_color(repainted, makecol(255, 255, 0));  // changed in place
    invalidate_scene();
    ASSERT_TRUE(tick_matches(g)) << "after the castle was repainted";
    bEtc[castle_picture] = castle;
    destroy_bitmap(repainted);
    invalidate_scene();

    // Something drawn over the frame after draw (a banner, say) is presented
    // with it and gone from the next frame.
    ASSERT_TRUE(tick_matches(g));
    rectfill(back, 200, 200, 299, 239, makecol(255, 255, 255));
    frame_overdrawn(back, 200, 200, 100, 40);
    gfx_update();
    EXPECT_EQ(getpixel(screen, 250, 220), makecol(255, 255, 255)) << "the banner was not presented";
    ASSERT_TRUE(tick_matches(g)) << "after a banner";
}

}  // namespace
