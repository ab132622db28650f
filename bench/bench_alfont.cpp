// Times one frame's worth of text: twenty size-38 strings (four labels, each
// drawn as outlined text of five calls) into a 640x480 16-bit memory bitmap.
// Usage: bench_alfont [font.ttf] [frames]
#include <allegro.h>
#include <alfont.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    const int frames = argc > 2 ? std::atoi(argv[2]) : 5000;
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0 || alfont_init() != 0) return 1;
    set_color_depth(16);
    ALFONT_FONT* f = alfont_load_font(path);
    if (!f) {
        std::fprintf(stderr, "cannot load %s\n", path);
        return 1;
    }
    alfont_set_font_size(f, 38);
    BITMAP* bmp = create_bitmap(640, 480);
    const char* labels[] = {"Shield Strength:", "666", "Score:", "12345"};
    const int black = makecol(0, 0, 0), red = makecol(190, 0, 0);
    const int off[5][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {0, 0}};

    auto frame = [&] {
        for (int i = 0; i < 4; ++i)
            for (int k = 0; k < 5; ++k)
                alfont_textout_centre_aa_ex(bmp, f, labels[i], 320 + off[k][0],
                                            60 + 60 * i + off[k][1], k < 4 ? black : red, -1);
    };
    clear_to_color(bmp, makecol(90, 160, 90));
    frame();  // fills the glyph cache
    const unsigned long rendered = alfont_glyphs_rendered();

    auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < frames; ++n) frame();
    std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;

    std::printf(
        "%d frames of 20 strings: %.1f us per frame (%.2f us per string),"
        " %lu glyphs rasterised while timing\n",
        frames, took.count() / frames, took.count() / frames / 20,
        alfont_glyphs_rendered() - rendered);
    destroy_bitmap(bmp);
    alfont_destroy_font(f);
    alfont_exit();
    return 0;
}
