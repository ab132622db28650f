#include "headless.h"

#include <allegro.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "alfont.h"
#include "data_handler.h"
#include "gfx.h"

namespace {
GFX_DRIVER standin_driver;
bool media_loaded = false;
}  // namespace

bool work_in_own_folder(const char* name, bool with_art) {
    namespace fs = std::filesystem;
    std::error_code err;
    fs::path program = fs::read_symlink("/proc/self/exe", err);
    if (err) return false;
    fs::path folder = program.parent_path() / name;
    fs::create_directories(folder / "media", err);
    if (err) return false;
    fs::current_path(folder, err);
    if (err) return false;
    if (!with_art) return true;
    for (fs::path built : {program.parent_path() / "media", program.parent_path().parent_path() / "media"}) {
        if (!fs::is_directory(built, err)) continue;
        for (const auto& entry : fs::directory_iterator(built, err)) {
            std::string ext = entry.path().extension().string();
            if (ext != ".bmp" && ext != ".ttf") continue;
            fs::path link = folder / "media" / entry.path().filename();
            if (!fs::exists(fs::symlink_status(link, err))) fs::create_symlink(entry.path(), link, err);
        }
        break;
    }
    return true;
}

bool start_headless(bool with_media) {
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        std::fprintf(stderr, "cannot start Allegro headless\n");
        return false;
    }
    set_color_depth(16);
    standin_driver.w = 640;
    standin_driver.h = 480;
    gfx_driver = &standin_driver;
    screen = create_bitmap(640, 480);
    bDraw = screen;
    if (!with_media) return true;
    alfont_init();
    load_data();
    media_loaded = true;
    if (!fonts[0]) {
        std::fprintf(stderr, "no text font: neither the game's nor a system one\n");
        return false;
    }
    return true;
}

void stop_headless() {
    if (media_loaded) {
        unload_data();
        alfont_exit();
        media_loaded = false;
    }
}
