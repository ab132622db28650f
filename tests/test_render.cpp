// The renderers: a whole frame (draw), the dialog box (draw_dialog) and the
// score panel (draw_score), drawn into memory bitmaps with pictures of known
// sizes and colours so that every layer can be found by its pixels.
#include <gtest/gtest.h>

#include <allegro.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "alfont.h"
#include "data_media.h"
#include "data_render.h"
#include "game.h"
#include "harness.h"

namespace {

struct Rgb {
    int r, g, b;
    int c() const { return makecol(r, g, b); }
};

// Colours of the test pictures; each survives the trip to 16 bits unmerged.
const Rgb kTile[5] = {{248, 200, 0}, {0, 200, 248}, {200, 0, 248}, {248, 128, 0}, {128, 248, 128}};
const Rgb kGround{0, 160, 0}, kBottom{160, 80, 0}, kTop{0, 0, 160}, kStart{0, 96, 96};
const Rgb kBox{224, 224, 160}, kCastle{120, 0, 120}, kGranny{240, 160, 200};
const Rgb kPortrait[6] = {{}, {16, 64, 16}, {64, 16, 16}, {}, {}, {16, 16, 64}};
const Rgb kFlame[3] = {{255, 255, 0}, {255, 200, 0}, {255, 150, 0}};
const Rgb kBlast[4] = {{0, 255, 0}, {0, 200, 100}, {0, 150, 150}, {0, 100, 200}};
const Rgb kBackground{60, 90, 120}, kWhite{255, 255, 255}, kRed{255, 0, 0};
const Rgb kPanel{66, 66, 66}, kPanelEdge{30, 30, 30}, kPaletteEdge{230, 230, 230},
    kBadge{200, 0, 0};
const Rgb kScoreRed{190, 0, 0}, kBlack{0, 0, 0}, kLightGrey{190, 190, 190}, kDarkGrey{90, 90, 90};

// Pixel checks that name the pixel and what was there when they fail.
::testing::AssertionResult at(BITMAP* b, int x, int y, Rgb want) {
    int got = getpixel(b, x, y);
    if (got == want.c()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << x << "," << y << ") is " << getr(got) << "," << getg(got) << "," << getb(got)
           << ", not " << want.r << "," << want.g << "," << want.b;
}
::testing::AssertionResult not_at(BITMAP* b, int x, int y, Rgb unwanted) {
    if (getpixel(b, x, y) != unwanted.c()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << x << "," << y << ") has " << unwanted.r << ","
                                         << unwanted.g << "," << unwanted.b;
}

// Pixels of the given colour, or (want = false) of any other colour, in a
// rectangle with both corners inside; with their bounding box.
struct Ink {
    int count = 0, l = INT_MAX, t = INT_MAX, r = INT_MIN, b = INT_MIN;
};
Ink find(BITMAP* bmp, int x0, int y0, int x1, int y1, Rgb colour, bool want = true) {
    Ink k;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++)
            if ((getpixel(bmp, x, y) == colour.c()) == want) {
                k.count++;
                k.l = std::min(k.l, x), k.r = std::max(k.r, x);
                k.t = std::min(k.t, y), k.b = std::max(k.b, y);
            }
    return k;
}

struct Probe {
    int x, y;
    Rgb colour;
    bool present = true;  // false: anything but this colour
};
void expect_pixels(BITMAP* b, std::initializer_list<Probe> probes) {
    for (const Probe& p : probes)
        EXPECT_TRUE(p.present ? at(b, p.x, p.y, p.colour) : not_at(b, p.x, p.y, p.colour));
}

bool same_rows(BITMAP* a, BITMAP* b, int y0, int y1) {
    for (int y = y0; y <= y1; y++)
        for (int x = 0; x < a->w; x++)
            if (getpixel(a, x, y) != getpixel(b, x, y)) return false;
    return true;
}

// Puts known pictures and a known font into the media tables for one test,
// and gives everything back afterwards.
class Render : public ::testing::Test {
protected:
    BITMAP *saved_spec[5], *saved_ot[5], *saved_etc[16];
    std::vector<BITMAP*> owned;
    std::unique_ptr<game> g;

    BITMAP* picture(int w, int h, Rgb colour) {
        BITMAP* b = create_bitmap(w, h);
        clear_to_color(b, colour.c());
        owned.push_back(b);
        return b;
    }
    BITMAP* target(int w, int h) { return picture(w, h, kWhite); }

    void SetUp() override {
        remove_score_file();
        ASSERT_EQ(alfont_init(), 0);
        std::memcpy(saved_spec, bSpecTiles, sizeof bSpecTiles);
        std::memcpy(saved_ot, bOtTiles, sizeof bOtTiles);
        std::memcpy(saved_etc, bEtc, sizeof bEtc);
        use_system_font();
        ASSERT_NE(fonts[0], nullptr) << "install fonts-dejavu-core";

        const int mask = makecol(255, 0, 255);
        for (int s = 0; s < 5; s++) {  // a frame of colour around a see-through middle
            bSpecTiles[s] = picture(64, 64, kTile[s]);
            rectfill(bSpecTiles[s], 16, 16, 47, 47, mask);
        }
        bOtTiles[0] = picture(30, 20, {255, 0, 255});  // see-through but for one dot
        putpixel(bOtTiles[0], 5, 5, kGround.c());
        bOtTiles[1] = picture(48, 16, kBottom);
        bOtTiles[2] = picture(64, 10, kTop);
        bOtTiles[3] = bOtTiles[4] = picture(8, 8, kBlack);
        for (BITMAP*& b : bEtc) b = picture(4, 4, kBlack);
        bEtc[0] = picture(30, 20, kStart);
        for (int s : {1, 2, 5}) bEtc[s] = picture(20, 20, kPortrait[s]);
        bEtc[3] = picture(640, 100, kBox);
        bEtc[4] = picture(24, 30, kCastle);
        bEtc[6] = picture(12, 18, kGranny);
        const int flame_size[3][2] = {{10, 20}, {14, 14}, {6, 8}};
        const int blast_size[4][2] = {{40, 30}, {20, 20}, {30, 10}, {16, 16}};
        for (int f = 0; f < 3; f++)
            bEtc[7 + f] = picture(flame_size[f][0], flame_size[f][1], kFlame[f]);
        for (int f = 0; f < 4; f++)
            bEtc[10 + f] = picture(blast_size[f][0], blast_size[f][1], kBlast[f]);

        invalidate_scene();  // the tables now hold other pictures
        g = std::make_unique<game>();
        g->mode = 3;  // no overlay: the playfield layers alone
    }
    void TearDown() override {
        g.reset();
        remove_score_file();
        for (BITMAP* b : owned) destroy_bitmap(b);
        std::memcpy(bSpecTiles, saved_spec, sizeof bSpecTiles);
        std::memcpy(bOtTiles, saved_ot, sizeof bOtTiles);
        std::memcpy(bEtc, saved_etc, sizeof bEtc);
        invalidate_scene();
        restore_game_font();
        alfont_exit();
    }

    // Text as the battle overlay draws it: black outline, red face.
    void outlined(BITMAP* b, const char* text, int x, int y) {
        for (int d : {0, 1, 2, 3})
            alfont_textout_centre_aa_ex(b, fonts[0], text, x + (d == 0) - (d == 1),
                                        y + (d == 2) - (d == 3), kBlack.c(), -1);
        alfont_textout_centre_aa_ex(b, fonts[0], text, x, y, kScoreRed.c(), -1);
    }
};

TEST_F(Render, ScenerySitsWhereItBelongsOnAFreshBackground) {
    BITMAP* t = target(640, 480);
    draw(t, g.get());
    // Top strip at y 38, bottom strip on the bottom edge, whole copies only.
    expect_pixels(t, {{0, 0, kBackground},
                      {639, 300, kBackground},
                      {0, 38, kTop},
                      {639, 47, kTop},
                      {0, 37, kBackground},
                      {0, 464, kBottom},
                      {623, 479, kBottom},
                      {0, 463, kBackground}});
    EXPECT_TRUE(at(t, 624, 470, kBackground)) << "640 / 48 is 13 strips, not 14";
    // Ground: 21 whole columns of 30 and always twelve rows, masked.
    for (int i : {0, 7, 20})
        for (int j : {0, 5, 11})
            EXPECT_TRUE(at(t, 30 * i + 5, 48 + 20 * j + 5, kGround)) << i << "," << j;
    EXPECT_TRUE(at(t, 6, 53, kBackground));
    EXPECT_TRUE(at(t, 635, 53, kBackground)) << "a 22nd ground column";
    EXPECT_TRUE(at(t, 5, 48 + 240 + 5, kBackground)) << "a 13th ground row";
    // Castle at (440, 20), over the top strip.
    expect_pixels(t, {{440, 20, kCastle},
                      {463, 49, kCastle},
                      {450, 40, kCastle},
                      {439, 20, kBackground},
                      {464, 20, kBackground},
                      {440, 50, kBackground}});
}

TEST_F(Render, LaidTilesStandInTheirCellsColumnFirst) {
    g->grid[0][0] = slow_tile;
    g->grid[2][3] = up_tile;
    g->grid[6][5] = attract_tile;
    BITMAP* t = target(640, 480);
    draw(t, g.get());
    expect_pixels(t, {{0, 48, kTile[0]},
                      {128, 240, kTile[1]},
                      {191, 303, kTile[1]},
                      {127, 240, kBackground},
                      {192, 303, kBackground}});
    EXPECT_TRUE(at(t, 160, 272, kBackground)) << "tiles are drawn masked";
    EXPECT_TRUE(not_at(t, 192, 176, kTile[1])) << "grid read as [row][column]";
    EXPECT_TRUE(at(t, 384, 368, kTile[4]));
    EXPECT_TRUE(at(t, 447, 431, kTile[4]));
    EXPECT_EQ(find(t, 0, 0, 639, 479, kTile[2]).count, 0);
    EXPECT_EQ(find(t, 0, 0, 639, 479, kTile[3]).count, 0);
}

TEST_F(Render, MeteorsAndGranniesStandOnTheirAnchorsInLayerOrder) {
    meteor falling(0, 0);  // frame 1, placed by the size of flame frame 0 (10x20)
    falling.state = meteor_falling, falling.timer = 5, falling.frame_div = 5, falling.x = 200.7f,
    falling.y = 300.9f;
    ASSERT_EQ(falling.frame(), 1);
    meteor landing = falling;  // frame 0: its bottom centre on the point
    landing.timer = 0, landing.x = 100, landing.y = 400;
    meteor blast = falling;  // first exploding tick: frame 3, 40x30, centred
    blast.state = meteor_exploding, blast.timer = 40, blast.frame_div = 10, blast.x = 300,
    blast.y = 200;
    meteor later = blast;  // frame 6 is placed by frame 3's size too
    later.timer = 35, later.x = 300, later.y = 100;
    meteor on_castle = later;  // over the castle
    on_castle.x = 452, on_castle.y = 35;
    ASSERT_EQ(later.frame(), 6);
    g->meteors = {falling, landing, blast, later, on_castle};
    granny walker;  // 12x18, bottom centre on its point
    walker.x = 100.9f, walker.y = 250.6f;
    granny over_blast = walker;  // drawn after the meteors, so on top
    over_blast.x = 300, over_blast.y = 210;
    g->grannies = {walker, over_blast};

    BITMAP* t = target(640, 480);
    draw(t, g.get());
    expect_pixels(t, {{195, 280, kFlame[1]},
                      {208, 293, kFlame[1]},
                      {194, 280, kBackground},
                      {195, 279, kBackground},
                      {100, 399, kFlame[0]},
                      {95, 380, kFlame[0]},
                      {100, 400, kBackground},
                      {94, 399, kBackground}});

    expect_pixels(t, {{280, 185, kBlast[0]},
                      {319, 191, kBlast[0]},
                      {279, 185, kBackground},
                      {280, 184, kBackground},
                      {280, 85, kBlast[3]},
                      {295, 100, kBlast[3]},
                      {279, 85, kBackground},
                      {296, 85, kBackground}});
    EXPECT_TRUE(at(t, 440, 20, kBlast[3])) << "meteors cover the castle";

    expect_pixels(t, {{100, 249, kGranny},
                      {94, 232, kGranny},
                      {105, 249, kGranny},
                      {100, 250, kBackground},
                      {100, 231, kBackground},
                      {93, 240, kBackground},
                      {106, 240, kBackground}});
    EXPECT_TRUE(at(t, 300, 209, kGranny)) << "grannies cover explosions";
    EXPECT_TRUE(at(t, 290, 209, kBlast[0]));
}

TEST_F(Render, BuildPhaseShowsGridPanelPaletteCountersAndButton) {
    g->mode = mode_build;
    const int stock[5] = {2, 0, 7, 100, 1};
    std::memcpy(g->stock, stock, sizeof stock);
    g->selected = 2;
    BITMAP* t = target(640, 480);
    draw(t, g.get());
    for (int k = 0; k <= 7; k++)
        for (int y : {48, 240, 432}) EXPECT_TRUE(at(t, 64 * k, y, kWhite)) << "vertical line " << k;
    for (int k = 0; k <= 6; k++)
        for (int x : {0, 200, 448})
            EXPECT_TRUE(at(t, x, 48 + 64 * k, kWhite)) << "horizontal line " << k;
    expect_pixels(t, {{64, 433, kWhite, false},
                      {64, 47, kWhite, false},
                      {449, 112, kWhite, false},
                      {65, 100, kWhite, false}});

    EXPECT_TRUE(at(t, 480, 32, kPanelEdge));
    EXPECT_TRUE(at(t, 480, 416, kPanelEdge));
    EXPECT_TRUE(at(t, 639, 200, kPanel));  // the right edge lies just off the target
    expect_pixels(t, {{490, 200, kPanel},
                      {490, 415, kPanel},
                      {490, 417, kPanel, false},
                      {479, 200, kPanel, false}});
    for (int s = 0; s < 5; s++) {
        EXPECT_TRUE(at(t, 520, 70 + 64 * s, kTile[s])) << "palette slot " << s;
        EXPECT_TRUE(at(t, 544, 96 + 64 * s, kPanel)) << "palette tile drawn masked";
        EXPECT_TRUE(at(t, 591, 86 + 64 * s, kBadge)) << "badge " << s;
        EXPECT_TRUE(at(t, 630, 106 + 64 * s, kBadge));
        EXPECT_TRUE(not_at(t, 631, 107 + 64 * s, kBadge));
        // The count in Allegro's 8x8 font, zero-filled to two digits.
        char text[8];
        std::snprintf(text, sizeof text, "%02d", stock[s]);
        BITMAP* want = picture(40, 8, kBadge);
        textout_ex(want, font, text, 0, 0, kBlack.c(), -1);
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 24; x++)
                ASSERT_EQ(getpixel(t, 606 + x, 95 + 64 * s + y), getpixel(want, x, y))
                    << "counter " << s << " should read " << text;
    }
    expect_pixels(t, {{start_button.left, start_button.top, kStart},
                      {551, 443, kStart},
                      {start_button.left - 1, start_button.top, kStart, false},
                      {576, 100, kPaletteEdge},
                      {540, 384, kPaletteEdge},
                      {512, 100, kPaletteEdge}});
}

TEST_F(Render, TheRedFrameMarksOnlyTheSelectedSlot) {
    g->mode = mode_build;
    BITMAP* t = target(640, 480);
    for (int sel = 0; sel < 5; sel++) {
        g->selected = sel;
        draw(t, g.get());
        int top = 64 + 64 * sel;
        EXPECT_TRUE(at(t, 512, top, kRed)) << sel;
        EXPECT_TRUE(at(t, 576, top + 64, kRed)) << sel;
        EXPECT_TRUE(at(t, 540, top, kRed)) << sel;
        EXPECT_TRUE(at(t, 540, top + 64, kRed)) << sel;
        EXPECT_TRUE(at(t, 512, top + 30, kRed)) << sel;
        EXPECT_EQ(find(t, 480, 32, 639, 416, kRed).count, 4 * 64) << sel << ": one 65x65 frame";
    }
}

TEST_F(Render, PanelAndPaletteFollowTheTargetsEdgesTheRestStays) {
    BITMAP* t = target(800, 600);
    draw(t, g.get());  // no overlay: the ground runs across the whole width
    expect_pixels(t, {{755, 53, kGround},
                      {785, 53, kBackground},
                      {767, 584, kBottom},
                      {770, 590, kBackground},
                      {0, 583, kBackground}});

    g->mode = mode_build;
    g->selected = 1;
    draw(t, g.get());
    expect_pixels(t, {{640, 32, kPanelEdge},
                      {650, 200, kPanel},
                      {639, 200, kBackground},
                      {490, 200, kPanel, false}});
    for (int s = 0; s < 5; s++) {
        EXPECT_TRUE(at(t, 680, 70 + 64 * s, kTile[s])) << s;
        EXPECT_TRUE(at(t, 751, 86 + 64 * s, kBadge)) << s;
    }
    expect_pixels(t, {{672, 128, kRed}, {736, 192, kRed}, {736, 300, kPaletteEdge}});
    // The bottoms of the panel, the palette outline and the grid lines
    // follow the height.
    expect_pixels(t, {{650, 536, kPanelEdge},
                      {650, 535, kPanel},
                      {700, 504, kPaletteEdge},
                      {64, 552, kWhite},
                      {64, 553, kWhite, false}});
    // Castle, start button and the grid stay where they are.
    expect_pixels(t, {{start_button.left, start_button.top, kStart},
                      {castle_at.x, castle_at.y, kCastle},
                      {448, 240, kWhite},
                      {512, 240, kWhite, false}});
    EXPECT_TRUE(not_at(t, 200, 48 + 64 * 7, kWhite)) << "only seven horizontal lines";
}

TEST_F(Render, BattleAddsOnlyTheOutlinedTextsNoGridNorPanel) {
    g->meteors = {meteor(300, 300)};
    BITMAP* plain = target(640, 480);
    draw(plain, g.get());
    g->mode = mode_battle;
    const struct {
        int shield, score;
        const char *shield_text, *score_text;
    } cases[] = {{5, -7, "005", " -7"}, {666, 1234, "666", "1234"}, {-1, 7, "-01", "  7"}};
    for (const auto& c : cases) {
        g->shield = c.shield;
        g->score = c.score;
        BITMAP* t = target(640, 480);
        draw(t, g.get());
        // Between the texts the battle frame is the bare playfield.
        EXPECT_TRUE(same_rows(t, plain, 80, 395)) << "grid, panel or palette in the battle";
        BITMAP* want = target(640, 480);
        blit(plain, want, 0, 0, 0, 0, 640, 480);
        outlined(want, "Shield Strength:", 560, 5);
        outlined(want, c.shield_text, 560, 38);
        outlined(want, "Score:", 560, 400);
        outlined(want, c.score_text, 560, 433);
        EXPECT_TRUE(same_rows(t, want, 0, 479))
            << "shield " << c.shield_text << ", score '" << c.score_text << "'";
    }
}

TEST_F(Render, DialogBoxSitsOnTheBottomEdgeWhateverItsHeight) {
    g->speaker = 5;
    for (int box_h : {100, 57, 32})
        for (int h : {480, 600}) {
            bEtc[3] = picture(640, box_h, kBox);
            BITMAP* t = target(640, h);
            clear_to_color(t, kWhite.c());
            draw_dialog(t, g.get());
            int top = h - box_h;
            SCOPED_TRACE("box " + std::to_string(box_h) + " high, target " + std::to_string(h));
            expect_pixels(t, {{0, top, kBox},
                              {639, h - 1, kBox},
                              {0, top - 1, kWhite},
                              {27, top + 18, kPortrait[5]},
                              {26, top + 18, kBox},
                              {27, top + 17, kBox}});
            EXPECT_TRUE(at(t, 46, std::min(top + 37, h - 1), kPortrait[5]));
            EXPECT_TRUE(at(t, 47, std::min(top + 37, h - 1), kBox));
        }
}

TEST_F(Render, DialogLinesStartAtTheirRowsAndABlankLineShowsNothing) {
    BITMAP* t = target(640, 480);
    g->speaker = 1;
    const int top = 380;
    auto ink_for = [&](const char* a, const char* b, const char* c) {
        std::strcpy(g->dialog_lines[0], a);
        std::strcpy(g->dialog_lines[1], b);
        std::strcpy(g->dialog_lines[2], c);
        draw_dialog(t, g.get());
        return find(t, 50, top, 639, 479, kBox, false);
    };
    Ink none = ink_for(" ", " ", " ");
    EXPECT_EQ(none.count, 0);
    Ink first = ink_for("HHH", " ", " ");  // the same word on each line in turn
    ASSERT_GT(first.count, 0);
    EXPECT_GE(first.l, 140);
    EXPECT_LE(first.l, 145);
    EXPECT_GE(first.t, top + 10);
    EXPECT_LE(first.b, top + 10 + 37);
    EXPECT_GT(find(t, 140, top + 10, 639, top + 47, kBlack).count, 0);
    Ink second = ink_for(" ", "HHH", " ");
    Ink third = ink_for(" ", " ", "HHH");
    EXPECT_EQ(second.t, first.t + 25);
    EXPECT_EQ(third.t, first.t + 50);
    EXPECT_EQ(second.l, first.l);
    EXPECT_EQ(third.l, first.l);

    // In the dialog mode the playfield, grannies included, lies under the box.
    g->mode = mode_dialog;
    granny seen, hidden;
    seen.x = 300, seen.y = 300;
    hidden.x = 300, hidden.y = 460;
    g->grannies = {seen, hidden};
    draw(t, g.get());
    expect_pixels(t, {{300, 299, kGranny}, {300, 459, kBox}, {27, 398, kPortrait[1]}});
}

// The card draws its lines in another size and narrowing of the shared font;
// the frames after it measure their texts in whatever the font had before.
TEST_F(Render, TheHelpCardLeavesTheFontAsItFoundIt) {
    BITMAP* t = target(640, 480);
    ASSERT_EQ(alfont_set_font_size(fonts[0], 30), 0);
    ASSERT_EQ(alfont_set_width_percent(fonts[0], 90), 0);
    forget_help_card();  // made now, in this font
    draw_help_card(t);
    forget_help_card();
    EXPECT_TRUE(at(t, 16, 16, {190, 0, 0}));  // the card's red edge: it was made
    EXPECT_EQ(alfont_get_font_height(fonts[0]), 30);
    EXPECT_EQ(alfont_get_width_percent(fonts[0]), 90);
}

class ScorePanel : public Render {
protected:
    const Rgb kBlue{0, 0, 248};
    std::vector<int> table{90, 80, 70, 60, 50, 40, 35, 30, 20, 10, 0};
    BITMAP* t = nullptr;
    void SetUp() override {
        Render::SetUp();
        t = picture(640, 480, kBlue);
    }
    // Red pixels in the glyph band of row i.
    int red_in_row(int i) { return find(t, 182, 48 + 38 * i, 458, 70 + 38 * i, kScoreRed).count; }
};

TEST_F(ScorePanel, PanelRectanglesAreDrawnOverWhatWasThere) {
    draw_score(t, &table, 35);
    expect_pixels(t, {{0, 0, kBlue},
                      {639, 479, kBlue},
                      {180, 10, kDarkGrey},
                      {181, 50, kDarkGrey},
                      {460, 10, kDarkGrey},
                      {179, 10, kBlue},
                      {180, 51, kBlue},
                      {182, 12, kLightGrey},
                      {458, 470, kLightGrey},
                      {200, 300, kLightGrey}});
    // The black rectangle shows only as a strip right of and under the panel.
    expect_pixels(t, {{459, 400, kBlack},
                      {460, 472, kBlack},
                      {182, 471, kBlack},
                      {300, 472, kBlack},
                      {459, 399, kBlue},
                      {300, 473, kBlue},
                      {461, 420, kBlue}});
    // Title and prompt in red.
    EXPECT_GT(find(t, 182, 12, 458, 40, kScoreRed).count, 0);
    EXPECT_GT(find(t, 182, 436, 458, 460, kScoreRed).count, 0);
}

TEST_F(ScorePanel, OnlyTheCurrentScoresRowIsRedAndTenRowsAtMost) {
    draw_score(t, &table, 35);
    for (int i = 0; i < 10; i++) {
        if (i == 6)
            EXPECT_GT(red_in_row(i), 0);
        else
            EXPECT_EQ(red_in_row(i), 0) << "row " << i;
        EXPECT_GT(find(t, 182, 48 + 38 * i, 458, 70 + 38 * i, kLightGrey, false).count, 0)
            << "row " << i;
    }
    EXPECT_EQ(find(t, 182, 420, 458, 466, kBlack).count, 0) << "an eleventh row";

    draw_score(t, &table, 5);  // below the tenth entry: no row is red
    for (int i = 0; i < 10; i++) EXPECT_EQ(red_in_row(i), 0) << "row " << i;
    draw_score(t, &table, 90);
    EXPECT_GT(red_in_row(0), 0);

    std::vector<int> short_list{7};  // one row only, the rest of the panel empty
    draw_score(t, &short_list, 7);
    EXPECT_GT(red_in_row(0), 0);
    EXPECT_EQ(find(t, 182, 80, 458, 420, kLightGrey, false).count, 0);
}

TEST_F(ScorePanel, RowsReadRankAndValueCentredOnTheTarget) {
    std::vector<int> scores{1234, -12345, 7};
    draw_score(t, &scores, 7);
    BITMAP* want = picture(640, 480, kLightGrey);
    const char* rows[3] = {" 1. Evil Creature:   1234", " 2. Evil Creature:   -12345",
                           " 3. Evil Creature:      7"};
    for (int i = 0; i < 3; i++)
        alfont_textout_centre_aa_ex(want, fonts[0], rows[i], 320, 40 + 38 * i,
                                    (i == 2 ? kScoreRed : kBlack).c(), -1);
    for (int y = 48; y < 40 + 38 * 3; y++)
        for (int x = 182; x <= 458; x++)
            ASSERT_EQ(getpixel(t, x, y), getpixel(want, x, y)) << x << "," << y;

    // On a wider target the rows follow its centre, the title the screen's.
    BITMAP* wide = picture(800, 480, kBlue);
    draw_score(wide, &scores, 7);
    Ink title = find(t, 0, 14, 639, 38, kScoreRed),
        wide_title = find(wide, 0, 14, 799, 38, kScoreRed);
    Ink row = find(t, 0, 50, 639, 70, kBlack), wide_row = find(wide, 0, 50, 799, 70, kBlack);
    ASSERT_GT(wide_row.count, 0);
    EXPECT_EQ(wide_title.l, title.l);
    EXPECT_EQ(wide_title.r, title.r);
    EXPECT_EQ(wide_row.l, row.l + 80);
    EXPECT_EQ(wide_row.r, row.r + 80);
}

}  // namespace
