#include "harness.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "data_handler.h"
#include "game.h"
#include "gfx.h"

std::vector<int> sounds_played;

static GFX_DRIVER standin_driver;

void use_standin_screen() {
    standin_driver.w = 640;
    standin_driver.h = 480;
    gfx_driver = &standin_driver;
    if (!screen) screen = create_bitmap(640, 480);
    bDraw = screen;
}

const char* score_file_path() {
    static std::string path;
    path = absolute_path("hi.dat");
    return path.c_str();
}

void remove_score_file() {
    std::string path = score_file_path();
    std::remove(path.c_str());
}

std::string file_bytes(const std::string& path) {
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF) bytes += static_cast<char>(c);
        std::fclose(f);
    }
    return bytes;
}

void release_input() {
    for (int i = 0; i < KEY_MAX; i++) key[i] = 0;
    mouse_b = 0;
    clear_keybuf();
}

void tick(game& g) {
    g.update();
    draw(bDraw, &g);
    gfx_update();
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Headless, "beside the program" means the working folder: make that the
    // program's own folder, so hi.dat and media never land in the source tree.
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        self[length] = 0;
        if (char* slash = std::strrchr(self, '/')) {
            *slash = 0;
            if (chdir(self) != 0) std::perror("chdir");
        }
    }
    // Media come from beside the test program only, whatever is installed.
    if (char* here = getcwd(nullptr, 0)) {
        setenv("TOLLYBROOK_DATA", (std::string(here) + "/media").c_str(), 0);
        std::free(here);
    }
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        std::fprintf(stderr, "cannot start Allegro headless\n");
        return 1;
    }
    set_color_depth(16);
    on_play = [](int index) { sounds_played.push_back(index); };
    use_standin_screen();
    return RUN_ALL_TESTS();
}
