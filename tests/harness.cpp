#include "harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "alfont.h"
#include "data_media.h"
#include "game.h"
#include "gfx.h"

std::vector<int> sounds_played;

namespace {
ALFONT_FONT* game_font = nullptr;
int game_fh = 0;
std::string built_media;  // the $TOLLYBROOK_DATA the tests were started with
}  // namespace

const char* score_file_path() {
    static std::string path;
    path = absolute_path("hi.dat");
    return path.c_str();
}

void remove_score_file() {
    std::string path = score_file_path();
    std::remove(path.c_str());
}

void release_input() {
    for (int i = 0; i < KEY_MAX; i++) key[i] = 0;
    mouse_b = 0;
    clear_keybuf();
}

void tick(game& g) {
    tick_loop loop(g);
    loop.waits = false;
    loop.tick();
}

void use_system_font() {
    game_font = fonts[0];
    game_fh = fh;
    fonts[0] = alfont_load_font("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    if (fonts[0]) alfont_set_font_size(fonts[0], 38);
    fh = 38;
}

void restore_game_font() {
    if (fonts[0]) alfont_destroy_font(fonts[0]);
    fonts[0] = game_font;
    fh = game_fh;
}

const std::string& built_media_folder() { return built_media; }

bool load_built_media() {
    std::string placeholders = std::getenv("TOLLYBROOK_DATA");
    setenv("TOLLYBROOK_DATA", built_media.c_str(), 1);
    load_data();
    bool with_font = !built_media.empty() && exists(absolute_path("/media/puree2.ttf"));
    setenv("TOLLYBROOK_DATA", placeholders.c_str(), 1);
    return with_font;
}

BITMAP* present_through_back_buffer() {
    BITMAP* back = create_bitmap(640, 480);
    bDbuf = bDraw = back;
    gfx_setup(GFX_PAGE_BACKBUFFER, 640, 480, 16);
    return back;
}

void draw_on_screen_again(BITMAP* back) {
    gfx_setup(GFX_PAGE_NONE, 640, 480, 16);
    bDbuf = nullptr;
    bDraw = screen;
    destroy_bitmap(back);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Headless, "beside the program" means the working folder: make that the
    // program's own folder, so hi.dat and media never land in the source tree.
    if (!work_in_own_folder(nullptr)) std::perror("chdir");
    // The tests draw placeholders, from the empty media folder beside them,
    // except where they ask for the build's media (load_built_media), which
    // the test environment names in $TOLLYBROOK_DATA.
    if (const char* built = std::getenv("TOLLYBROOK_DATA")) built_media = built;
    if (char* here = getcwd(nullptr, 0)) {
        setenv("TOLLYBROOK_DATA", (std::string(here) + "/media").c_str(), 1);
        std::free(here);
    }
    if (!start_headless(false)) return 1;
    on_play = [](int index) { sounds_played.push_back(index); };
    return RUN_ALL_TESTS();
}
