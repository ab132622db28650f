#include "headless.h"

#include <allegro.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "alfont.h"
#include "data_handler.h"
#include "game.h"
#include "gfx.h"
#include "safe_file.h"

namespace {
GFX_DRIVER standin_driver;
bool media_loaded = false;
}  // namespace

void use_standin_screen() {
    standin_driver.w = 640;
    standin_driver.h = 480;
    gfx_driver = &standin_driver;
    if (!screen) screen = create_bitmap(640, 480);
    bDraw = screen;
}

bool work_in_own_folder(const char* name) {
    namespace fs = std::filesystem;
    std::error_code err;
    fs::path program = fs::read_symlink("/proc/self/exe", err);
    if (err) return false;
    fs::path folder = name ? program.parent_path() / name : program.parent_path();
    fs::create_directories(folder, err);
    if (err) return false;
    fs::current_path(folder, err);
    return !err;
}

bool start_headless(bool with_media, bool with_back_buffer) {
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        std::fprintf(stderr, "cannot start Allegro headless\n");
        return false;
    }
    set_color_depth(16);
    use_standin_screen();
    // Without a keyboard driver readkey() returns nothing: this one reads no
    // keys, so readkey() takes what the tests queue with simulate_keypress.
    static KEYBOARD_DRIVER queued_keys_only = {};
    keyboard_driver = &queued_keys_only;
    if (with_back_buffer) bDbuf = bDraw = create_bitmap(640, 480);
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

bool read_bytes(const std::string& path, std::string* bytes) {
    bytes->clear();
    return read_whole_file(path, bytes);
}

std::string file_bytes(const std::string& path) {
    std::string bytes;
    read_bytes(path, &bytes);
    return bytes;
}

bool write_bytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool whole = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && whole;
}

std::string records(const std::vector<int>& values) {
    std::string out;
    for (int v : values) out += score_record(v);
    return out;
}
