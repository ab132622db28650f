// Every word the game draws stays readable: each text lies inside the screen
// and inside the box it belongs to, with the built font and pictures, for
// every dialog line, the battle labels at their widest values and every row
// of the score table.
#include <gtest/gtest.h>

#include <allegro.h>
#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "alfont.h"
#include "data_media.h"
#include "data_render.h"
#include "game_fixture.h"
#include "layout.h"

namespace {

// Scores as wide as the table's four-digit column shows them.
const int kWidestScores[] = {9999, -999};

struct Box {
    int l, t, r, b;  // inclusive
    bool holds(const Box& o) const { return o.l >= l && o.t >= t && o.r <= r && o.b <= b; }
};
std::ostream& operator<<(std::ostream& os, const Box& b) {
    return os << "(" << b.l << "," << b.t << ")-(" << b.r << "," << b.b << ")";
}

// The pixels where two frames differ, or an empty box (l > r).
Box differences(BITMAP* a, BITMAP* b) {
    Box d{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (int y = 0; y < a->h; y++)
        for (int x = 0; x < a->w; x++)
            if (getpixel(a, x, y) != getpixel(b, x, y))
                d = {std::min(d.l, x), std::min(d.t, y), std::max(d.r, x), std::max(d.b, y)};
    return d;
}

class TextFit : public GameTest {
protected:
    BITMAP* with = nullptr;
    BITMAP* without = nullptr;

    void SetUp() override {
        GameTest::SetUp();
        std::string built = built_media_folder();
        std::string beside = absolute_path("/media");
        if (!exists((built + "/puree2.ttf").c_str())) GTEST_SKIP() << "the media were not built";
        if (file_exists(beside.c_str(), FA_ALL, nullptr))
            GTEST_SKIP() << "a media folder is beside the tests";
        ASSERT_EQ(alfont_init(), 0);
        ASSERT_TRUE(load_built_media());
        with = create_bitmap(640, 480);
        without = create_bitmap(640, 480);
    }
    void TearDown() override {
        if (with) {
            destroy_bitmap(with);
            destroy_bitmap(without);
            unload_data();
            alfont_exit();
        }
        GameTest::TearDown();
    }
    // Shows a dialog step without taking a key.
    void show_step(int scene, int step) {
        g->mode = mode_dialog;
        g->scene = scene;
        g->scene_step = step;
        g->key_delay = 2;
        g->update();
    }
};

TEST_F(TextFit, EveryDialogLineLiesOnTheParchment) {
    // The parchment of the dialog box picture, inside its two-pixel rim.
    const int top = 480 - bEtc[dialog_box_picture]->h;
    const Box parchment{135, top + 7, 631, top + 121};
    const int steps[] = {4, 5, 6};
    int lines_seen = 0;
    for (int score : kWidestScores) {
        for (int scene = 0; scene < 3; scene++) {
            for (int step = 0; step < steps[scene]; step++) {
                g->score = score;
                show_step(scene, step);
                for (int i = 0; i < 3; i++) {
                    char kept[128];
                    strcpy(kept, g->dialog_lines[i]);
                    clear_to_color(with, makecol(0, 0, 255));
                    draw_dialog(with, g.get());
                    strcpy(g->dialog_lines[i], " ");
                    clear_to_color(without, makecol(0, 0, 255));
                    draw_dialog(without, g.get());
                    strcpy(g->dialog_lines[i], kept);
                    Box ink = differences(with, without);
                    if (ink.l > ink.r) continue;  // a blank line
                    lines_seen++;
                    EXPECT_TRUE(parchment.holds(ink))
                        << "scene " << scene << " step " << step << ": \"" << kept << "\" covers "
                        << ink << ", the parchment is " << parchment;
                }
            }
        }
    }
    EXPECT_GE(lines_seen, 2 * 30);
}

TEST_F(TextFit, BattleLabelsAtTheirWidestStayOnTheScreen) {
    const Box inside_screen{1, 1, 638, 478};  // touching an edge means cut off
    for (int shield : {666, 0, -9})
        for (int score : kWidestScores) {
            g->shield = shield;
            g->score = score;
            g->mode = mode_battle;
            draw(with, g.get());
            g->mode = -1;  // the same frame without the battle's labels
            draw(without, g.get());
            Box ink = differences(with, without);
            EXPECT_TRUE(inside_screen.holds(ink))
                << "shield " << shield << ", score " << score << ": the labels cover " << ink;
        }
}

// Each value of the options card, at its widest, lies between its row's
// two buttons: what differs between two values is the value's ink.
TEST_F(TextFit, TheOptionsCardsValuesLieBetweenTheirButtons) {
    options_view wide, narrow;
    wide.fullscreen = true, narrow.fullscreen = false;
    wide.music = wide.effects = 100, narrow.music = narrow.effects = 0;
    wide.scale = 8, narrow.scale = 1;
    clear_to_color(with, makecol(0, 0, 255));
    draw_options_card(with, wide);
    clear_to_color(without, makecol(0, 0, 255));
    draw_options_card(without, narrow);
    for (int row : {option_music, option_effects, option_screen, option_scale}) {
        int top = options_first_row_y + options_row_pitch * row;
        int left = options_card_box.left + options_lower_x + options_button_width;
        int right = options_card_box.left + options_raise_x - 1;
        const Box between{left, top, right, top + options_row_height - 1};
        BITMAP* a = create_sub_bitmap(with, 0, top - 6, 640, options_row_height + 12);
        BITMAP* b = create_sub_bitmap(without, 0, top - 6, 640, options_row_height + 12);
        Box ink = differences(a, b);
        destroy_bitmap(a);
        destroy_bitmap(b);
        ink = {ink.l, ink.t + top - 6, ink.r, ink.b + top - 6};
        ASSERT_LE(ink.l, ink.r) << "row " << row << " shows no value";
        EXPECT_TRUE(between.holds(ink)) << "row " << row << ": the value covers " << ink
                                        << ", between the buttons is " << between;
    }
}

TEST_F(TextFit, EveryScoreTableRowStaysOnItsPanel) {
    auto rows_stay_on_the_panel = [&](const char* font) {
        for (int widest : kWidestScores) {
            std::vector<int> table;
            for (int i = 0; i < 10; i++) table.push_back(widest - i);
            clear_to_color(with, makecol(0, 0, 255));
            draw_score(with, &table, widest);
            // Only the panel, its title bar and its dark rim may be painted
            // over: the rows, the title and the prompt stay on them.
            const Box painted[] = {{180, 10, 460, 50}, {182, 12, 460, 12 * fh + 16}};
            for (int y = 0; y < 480; y++)
                for (int x = 0; x < 640; x++) {
                    bool allowed = false;
                    for (const Box& b : painted) allowed |= b.holds({x, y, x, y});
                    if (!allowed) {
                        ASSERT_EQ(getpixel(with, x, y), makecol(0, 0, 255))
                            << "in " << font << " the table with " << widest << " paints (" << x
                            << "," << y << ")";
                    }
                }
        }
    };
    rows_stay_on_the_panel("the game's font");

    // Without the game's font a wider system font stands in, narrowed to fit.
    std::string media = absolute_path("media-without-font");
    ASSERT_EQ(mkdir(media.c_str(), 0755), 0);
    for (const auto& entry : std::filesystem::directory_iterator(built_media_folder()))
        if (entry.path().filename() != "puree2.ttf")
            std::filesystem::create_symlink(entry.path(),
                                            media + "/" + entry.path().filename().string());
    std::string built = std::getenv("TOLLYBROOK_DATA");
    setenv("TOLLYBROOK_DATA", media.c_str(), 1);
    unload_data();
    testing::internal::CaptureStderr();
    load_data();
    testing::internal::GetCapturedStderr();
    setenv("TOLLYBROOK_DATA", built.c_str(), 1);
    std::filesystem::remove_all(media);
    if (fonts[0]) rows_stay_on_the_panel("a system font");
}

}  // namespace
