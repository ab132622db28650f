// The alfont text library, drawing DejaVu Sans into memory bitmaps. Allegro
// is already installed (SYSTEM_NONE, 16 bpp) by the test harness.
#include <gtest/gtest.h>

#include <allegro.h>
#include <alfont.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const kFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const int kSize = 38;
// DejaVu Sans has ascender 1901, descender -483 and cap height 1493 font
// units, so at size 38 the baseline is round(38 * 1901 / 2384) = 30 px below
// the top of the line and a capital stands about 24 px tall.
const int kAscent = 30, kCapHeight = 24;

struct Box {
    int l = INT_MAX, t = INT_MAX, r = INT_MIN, b = INT_MIN, count = 0;  // inclusive
};

// Where bmp differs from the colour bg.
Box ink(BITMAP* bmp, int bg) {
    Box k;
    for (int y = 0; y < bmp->h; ++y)
        for (int x = 0; x < bmp->w; ++x)
            if (getpixel(bmp, x, y) != bg) {
                k.l = std::min(k.l, x), k.r = std::max(k.r, x);
                k.t = std::min(k.t, y), k.b = std::max(k.b, y);
                ++k.count;
            }
    return k;
}

bool same_pixels(BITMAP* a, BITMAP* b) {
    for (int y = 0; y < a->h; ++y)
        for (int x = 0; x < a->w; ++x)
            if (getpixel(a, x, y) != getpixel(b, x, y)) return false;
    return true;
}

std::string temp_file(const char* name, const std::string& bytes) {
    std::string path = testing::TempDir() + name;
    FILE* fp = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), fp);
    std::fclose(fp);
    return path;
}

class Alfont : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(alfont_init(), 0);
        font_ = alfont_load_font(kFontPath);
        ASSERT_NE(font_, nullptr) << "needs fonts-dejavu-core";
    }
    static void TearDownTestSuite() {
        alfont_destroy_font(font_);
        alfont_exit();
    }
    void SetUp() override {
        ASSERT_EQ(alfont_set_font_size(font_, kSize), 0);
        white_ = makecol(255, 255, 255), black_ = makecol(0, 0, 0);
        bmp_ = create_bitmap(640, 480);
        clear_to_color(bmp_, white_);
    }
    void TearDown() override { destroy_bitmap(bmp_); }

    static inline ALFONT_FONT* font_ = nullptr;
    BITMAP* bmp_ = nullptr;
    int white_ = 0, black_ = 0;
};

TEST_F(Alfont, LoadingRejectsMissingEmptyAndCorruptFiles) {
    EXPECT_EQ(alfont_load_font(nullptr), nullptr);
    EXPECT_EQ(alfont_load_font("/nonexistent/none.ttf"), nullptr);
    EXPECT_EQ(alfont_load_font(temp_file("alfont_empty.ttf", "").c_str()), nullptr);
    std::string noise;
    for (unsigned i = 0, v = 7; i < 20000; ++i) noise += char((v = v * 1103515245 + 12345) >> 16);
    EXPECT_EQ(alfont_load_font(temp_file("alfont_noise.ttf", noise).c_str()), nullptr);
    EXPECT_EQ(alfont_load_font_from_memory(noise.data(), long(noise.size())), nullptr);
    EXPECT_EQ(alfont_load_font_from_memory(nullptr, 100), nullptr);

    // A real font cut short may load or not, but must never crash to draw.
    std::string whole;
    FILE* in = std::fopen(kFontPath, "rb");
    for (int c, i = 0; i < 60000 && (c = std::fgetc(in)) != EOF; ++i) whole += char(c);
    std::fclose(in);
    if (ALFONT_FONT* f = alfont_load_font(temp_file("alfont_cut.ttf", whole).c_str())) {
        alfont_set_font_size(f, kSize);
        alfont_textout_aa_ex(bmp_, f, "Shield Strength: 666", 10, 10, black_, -1);
        alfont_destroy_font(f);
    }
    // From memory, the font keeps its own copy of the bytes it was given.
    std::string bytes = whole;
    ALFONT_FONT* f = alfont_load_font_from_memory(bytes.data(), long(bytes.size()));
    bytes.assign(bytes.size(), '\0');
    if (f) {
        alfont_set_font_size(f, kSize);
        alfont_textout_aa_ex(bmp_, f, "Shield Strength: 666", 10, 10, black_, -1);
        alfont_destroy_font(f);
    }
}

TEST_F(Alfont, SizeIsTheLineHeightWithBaselineAtTheAscender) {
    EXPECT_EQ(alfont_get_font_height(font_), kSize);
    EXPECT_NE(alfont_set_font_size(font_, 0), 0);
    EXPECT_NE(alfont_set_font_size(font_, -3), 0);
    EXPECT_EQ(alfont_get_font_height(font_), kSize);  // refused sizes keep it
    EXPECT_EQ(alfont_get_font_height(nullptr), 0);
    EXPECT_NE(alfont_set_font_size(nullptr, 20), 0);

    const char* text = "Strength: 666 gjpqy|bdfhklt";
    int len = alfont_text_length(font_, text);
    alfont_textout_aa_ex(bmp_, font_, text, 40, 100, black_, -1);
    Box k = ink(bmp_, white_);
    EXPECT_GE(k.l, 40);
    EXPECT_LT(k.r, 40 + len);
    EXPECT_GT(k.r, 40 + len - 20);  // the ink spans the whole advance
    EXPECT_GE(k.t, 100);
    EXPECT_LT(k.b, 100 + kSize);

    clear_to_color(bmp_, white_);
    alfont_textout_aa_ex(bmp_, font_, "H", 300, 200, black_, -1);
    Box h = ink(bmp_, white_);
    EXPECT_NEAR(h.b, 200 + kAscent - 1, 1);  // stands on the baseline
    EXPECT_NEAR(h.b - h.t + 1, kCapHeight, 1);
}

TEST_F(Alfont, NarrowingScalesWidthNotHeightAndCanBeUndone) {
    const char* text = "Shield Strength: 666";
    int natural = alfont_text_length(font_, text);
    alfont_textout_aa_ex(bmp_, font_, text, 10, 100, black_, -1);
    Box wide = ink(bmp_, white_);
    EXPECT_NE(alfont_set_width_percent(font_, 0), 0);
    EXPECT_NE(alfont_set_width_percent(font_, 101), 0);
    EXPECT_NE(alfont_set_width_percent(nullptr, 50), 0);
    ASSERT_EQ(alfont_set_width_percent(font_, 50), 0);
    const int rounding = int(std::strlen(text)) / 2 + 1;  // up to half a pixel a glyph
    EXPECT_NEAR(alfont_text_length(font_, text), natural / 2, rounding);
    clear_to_color(bmp_, white_);
    alfont_textout_aa_ex(bmp_, font_, text, 10, 100, black_, -1);
    Box narrow = ink(bmp_, white_);
    EXPECT_NEAR(narrow.r - narrow.l, (wide.r - wide.l) / 2, rounding);
    EXPECT_EQ(narrow.t, wide.t);
    EXPECT_EQ(narrow.b, wide.b);
    ASSERT_EQ(alfont_set_width_percent(font_, 100), 0);
    EXPECT_EQ(alfont_text_length(font_, text), natural);  // no glyph kept its old width
}

TEST_F(Alfont, CentredTextIsCentredOnX) {
    BITMAP* left = create_bitmap(640, 480);
    for (const char* s : {"Shield Strength:", "666", "Score:", "HOH"}) {
        int len = alfont_text_length(font_, s);
        ASSERT_GT(len, 0);
        clear_to_color(bmp_, white_);
        clear_to_color(left, white_);
        alfont_textout_centre_aa_ex(bmp_, font_, s, 321, 50, black_, -1);
        alfont_textout_aa_ex(left, font_, s, 321 - len / 2, 50, black_, -1);
        EXPECT_TRUE(same_pixels(bmp_, left)) << s;
    }
    Box k = ink(bmp_, white_);  // "HOH" is symmetric
    EXPECT_NEAR((k.l + k.r) / 2.0, 321, 1);
    destroy_bitmap(left);
}

TEST_F(Alfont, BackgroundFillsTheAdvanceBySizeBox) {
    int red = makecol(255, 0, 0), len = alfont_text_length(font_, "Score:");
    alfont_textout_aa_ex(bmp_, font_, "Score:", 60, 70, black_, red);
    Box k = ink(bmp_, white_);
    EXPECT_EQ(k.l, 60);
    EXPECT_EQ(k.t, 70);
    EXPECT_EQ(k.r, 60 + len - 1);
    EXPECT_EQ(k.b, 70 + kSize - 1);
    EXPECT_EQ(k.count, len * kSize);
}

TEST_F(Alfont, AntiAliasingBlendsTheColourInto16Bits) {
    alfont_textout_aa_ex(bmp_, font_, "Shield Strength: 666", 20, 20, black_, -1);
    int cores = 0, edges = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 640; ++x) {
            int c = getpixel(bmp_, x, y);
            cores += c == black_;
            if (c != black_ && c != white_) {
                ++edges;
                ASSERT_NEAR(getr(c), getg(c), 8);  // a grey between the two
                ASSERT_NEAR(getb(c), getg(c), 8);
            }
        }
    EXPECT_GT(cores, 300);
    EXPECT_GT(edges, 100);

    // Red over blue: every pixel is a red/blue mix, never green.
    clear_to_color(bmp_, makecol(0, 0, 255));
    alfont_textout_aa_ex(bmp_, font_, "666 Score:", 20, 20, makecol(255, 0, 0), -1);
    int mixes = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 640; ++x) {
            int c = getpixel(bmp_, x, y);
            ASSERT_LE(getg(c), 4);
            ASSERT_NEAR(getr(c) + getb(c), 255, 16);
            mixes += getr(c) > 30 && getb(c) > 30;
        }
    EXPECT_GT(mixes, 50);
}

TEST_F(Alfont, OtherDepthsMatchTheSixteenBitDrawing) {
    alfont_textout_aa_ex(bmp_, font_, "Score: 666", 30, 30, black_, -1);
    for (int depth : {15, 24, 32}) {
        BITMAP* b = create_bitmap_ex(depth, 640, 480);
        int ink_colour = makecol_depth(depth, 0, 0, 0), cores = 0;
        clear_to_color(b, makecol_depth(depth, 255, 255, 255));
        alfont_textout_aa_ex(b, font_, "Score: 666", 30, 30, ink_colour, -1);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 400; ++x) {
                int c = getpixel(b, x, y);
                ASSERT_NEAR(getg_depth(depth, c), getg(getpixel(bmp_, x, y)), 12) << depth;
                ASSERT_NEAR(getr_depth(depth, c), getb_depth(depth, c), 8) << depth;
                cores += c == ink_colour;
            }
        EXPECT_GT(cores, 200) << depth;
        destroy_bitmap(b);
    }
}

// Text, with and without a background box, across every edge and corner.
void draw_across_edges(BITMAP* target, ALFONT_FONT* f, int colour) {
    const char* s = "Shield Strength: 666";
    int w = target->w, h = target->h;
    for (int backg : {-1, makecol(255, 0, 0)})
        for (int d : {5, 20, 37}) {
            for (int x : {-d * 5, w / 3, w - d * 2})
                for (int y : {-d, h / 2, h - d})
                    alfont_textout_aa_ex(target, f, s, x, y, colour, backg);
            alfont_textout_centre_aa_ex(target, f, s, 0, -d, colour, backg);
            alfont_textout_centre_aa_ex(target, f, s, w, h - d, colour, backg);
        }
}

TEST_F(Alfont, NothingIsDrawnOutsideTheBitmapEvenWithClippingOff) {
    for (bool clip : {true, false}) {
        clear_to_color(bmp_, white_);
        BITMAP* sub = create_sub_bitmap(bmp_, 200, 150, 180, 90);
        set_clip_state(sub, clip);
        draw_across_edges(sub, font_, black_);
        destroy_bitmap(sub);
        Box k = ink(bmp_, white_);
        EXPECT_EQ(k.l, 200);
        EXPECT_EQ(k.t, 150);
        EXPECT_EQ(k.r, 379);
        EXPECT_EQ(k.b, 239);
    }
}

TEST_F(Alfont, DrawingStaysInsideTheClipRectangle) {
    set_clip_rect(bmp_, 250, 200, 349, 259);  // inclusive corners
    draw_across_edges(bmp_, font_, black_);
    for (int x : {180, 230, 300, 340})
        for (int y : {175, 210, 240})
            alfont_textout_aa_ex(bmp_, font_, "Strength: 666", x, y, black_, -1);
    Box k = ink(bmp_, white_);
    EXPECT_GE(k.l, 250);
    EXPECT_GE(k.t, 200);
    EXPECT_LE(k.r, 349);
    EXPECT_LE(k.b, 259);
    EXPECT_GT(k.count, 500);
}

TEST_F(Alfont, BadInputDrawsNothingAndNeverCrashes) {
    alfont_textout_aa_ex(nullptr, font_, "Score:", 0, 0, black_, -1);
    alfont_textout_aa_ex(bmp_, nullptr, "Score:", 0, 0, black_, black_);
    alfont_textout_centre_aa_ex(bmp_, nullptr, "Score:", 0, 0, black_, -1);
    alfont_textout_aa_ex(bmp_, font_, nullptr, 0, 0, black_, black_);
    alfont_textout_centre_aa_ex(bmp_, font_, "", 300, 0, black_, black_);
    const int far[][2] = {{-5000, 100},       {5000, 100},        {100, -500}, {100, 5000},
                          {INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}, {INT_MAX, 0}};
    for (auto& p : far) {
        alfont_textout_aa_ex(bmp_, font_, "Shield Strength:", p[0], p[1], black_, black_);
        alfont_textout_centre_aa_ex(bmp_, font_, "Shield Strength:", p[0], p[1], black_, black_);
    }
    EXPECT_EQ(ink(bmp_, white_).count, 0);
    EXPECT_EQ(alfont_text_length(nullptr, "x"), 0);
    EXPECT_EQ(alfont_text_length(font_, nullptr), 0);
    alfont_destroy_font(nullptr);

    // Bytes outside printable ASCII take no room and draw nothing.
    BITMAP* plain = create_bitmap(640, 480);
    clear_to_color(plain, white_);
    alfont_textout_aa_ex(plain, font_, "AB", 10, 10, black_, -1);
    alfont_textout_aa_ex(bmp_, font_,
                         "\x80"
                         "A\x01\xff\xe9"
                         "B\t\x7f",
                         10, 10, black_, -1);
    EXPECT_TRUE(same_pixels(bmp_, plain));
    EXPECT_EQ(alfont_text_length(font_, "\xc3\xa9\n\xff"), 0);
    destroy_bitmap(plain);
}

TEST_F(Alfont, RedrawingUsesTheGlyphCache) {
    const char* lines[] = {"Shield Strength:", "666", "Score:"};
    for (const char* s : lines) alfont_textout_aa_ex(bmp_, font_, s, 10, 10, black_, -1);
    unsigned long before = alfont_glyphs_rendered();
    for (const char* s : lines) {
        alfont_textout_aa_ex(bmp_, font_, s, 100, 200, black_, white_);
        alfont_textout_centre_aa_ex(bmp_, font_, s, 320, 300, black_, -1);
    }
    EXPECT_EQ(alfont_glyphs_rendered(), before);

    // A new size renders anew; going back to a used size does not.
    ASSERT_EQ(alfont_set_font_size(font_, 25), 0);
    alfont_textout_aa_ex(bmp_, font_, "666", 10, 10, black_, -1);
    EXPECT_EQ(alfont_glyphs_rendered(), before + 1);
    ASSERT_EQ(alfont_set_font_size(font_, kSize), 0);
    alfont_textout_aa_ex(bmp_, font_, "666", 10, 10, black_, -1);
    EXPECT_EQ(alfont_glyphs_rendered(), before + 1);
}

// DejaVu Sans with its line cut to 40 font units (of 2048 per em), so every
// glyph is dozens of line heights tall; with `lie`, its head table also
// claims a tiny glyph box.
std::string squashed_font(bool lie) {
    std::string font;
    FILE* in = std::fopen(kFontPath, "rb");
    for (int c; (c = std::fgetc(in)) != EOF;) font += char(c);
    std::fclose(in);
    auto put16 = [&](size_t at, int v) { font[at] = char(v >> 8), font[at + 1] = char(v); };
    auto at32 = [&](size_t at) {
        return (unsigned char)font[at] << 24 | (unsigned char)font[at + 1] << 16 |
               (unsigned char)font[at + 2] << 8 | (unsigned char)font[at + 3];
    };
    int tables = (unsigned char)font[4] << 8 | (unsigned char)font[5];
    for (int i = 0; i < tables; ++i) {
        size_t entry = 12 + 16 * size_t(i), table = at32(entry + 8);
        std::string tag = font.substr(entry, 4);
        if (tag == "hhea") put16(table + 4, 40), put16(table + 6, 0);  // ascender, descender
        if (tag == "head" && lie)
            for (int k = 0; k < 4; ++k) put16(table + 36 + 2 * k, k < 2 ? 0 : 40);
    }
    return font;
}

TEST_F(Alfont, GlyphsFarLargerThanTheLineAreRefusedAndNeverRasterised) {
    // Its own box gives it away: the size is refused and stays at 16.
    ALFONT_FONT* honest =
        alfont_load_font(temp_file("alfont_squashed.ttf", squashed_font(false)).c_str());
    ASSERT_NE(honest, nullptr);
    EXPECT_EQ(alfont_set_font_size(honest, kSize), -1);
    EXPECT_EQ(alfont_get_font_height(honest), 16);

    // A box that lies passes the size, but each glyph is measured before
    // it is rendered; at either size nothing giant is drawn or kept.
    ALFONT_FONT* liar = alfont_load_font(temp_file("alfont_liar.ttf", squashed_font(true)).c_str());
    ASSERT_NE(liar, nullptr);
    EXPECT_EQ(alfont_set_font_size(liar, kSize), 0);
    unsigned long before = alfont_glyphs_rendered();
    for (ALFONT_FONT* f : {honest, liar})
        alfont_textout_aa_ex(bmp_, f, "ShieldStrength:666W@", 0, 0, black_, -1);
    EXPECT_EQ(alfont_glyphs_rendered(), before);
    EXPECT_EQ(ink(bmp_, white_).count, 0);
    alfont_destroy_font(honest);
    alfont_destroy_font(liar);
}

TEST(AlfontLifetime, AFontOutlivingTheLibraryIsStillSafeToUseAndFree) {
    ASSERT_EQ(alfont_init(), 0);
    ALFONT_FONT* f = alfont_load_font(kFontPath);
    ASSERT_NE(f, nullptr);
    BITMAP* b = create_bitmap(200, 40);
    int white = makecol(255, 255, 255);
    clear_to_color(b, white);
    alfont_textout_aa_ex(b, f, "Hi", 0, 0, makecol(0, 0, 0), -1);
    alfont_exit();
    clear_to_color(b, white);
    alfont_textout_aa_ex(b, f, "Hi there", 0, 0, makecol(0, 0, 0), -1);
    EXPECT_GT(ink(b, white).count, 20);
    alfont_destroy_font(f);
    destroy_bitmap(b);
}

}  // namespace
