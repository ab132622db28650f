#include "data_handler.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "game.h"

#ifndef TOLLYBROOK_DATA_FROM_BIN
#define TOLLYBROOK_DATA_FROM_BIN "../share/tollybrook"
#endif
#ifndef TOLLYBROOK_DATA_DIR
#define TOLLYBROOK_DATA_DIR "/usr/local/share/tollybrook"
#endif
#ifndef TOLLYBROOK_PATCH_INDEX
#define TOLLYBROOK_PATCH_INDEX "/etc/timidity/freepats.cfg"
#endif

std::string fname;
char tmp[64];

BITMAP* bSpecTiles[5];
BITMAP* bOtTiles[5];
BITMAP* bEtc[16];
ALFONT_FONT* fonts[3];
int fh;
MIDI* music;
SAMPLE* sfx[4];

void (*on_play)(int index) = nullptr;

namespace {

bool is_folder(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The executable's full name. /proc/self/exe keeps every byte and has no
// length limit; Allegro's own call is the fallback where there is no /proc.
std::string executable_file() {
    std::string name(PATH_MAX, '\0');
    for (;;) {
        ssize_t got = readlink("/proc/self/exe", name.data(), name.size());
        if (got < 0) break;
        if (static_cast<size_t>(got) < name.size()) return name.substr(0, got);
        name.resize(name.size() * 2);
    }
    std::string fallback(PATH_MAX, '\0');
    get_executable_name(fallback.data(), static_cast<int>(fallback.size()));
    fallback.resize(std::strlen(fallback.c_str()));
    if (fallback.empty() || fallback[0] != '/') {  // relative: make it whole, or give up
        char* here = getcwd(nullptr, 0);
        if (!here) return "";
        fallback = std::string(here) + "/" + fallback;
        std::free(here);
    }
    return fallback;
}

}  // namespace

std::string executable_folder() {
    // Without a system driver (the headless tools and tests) Allegro has
    // always put the program in the working folder; they rely on that.
    if (system_driver && system_driver->id == SYSTEM_NONE) {
        char* here = getcwd(nullptr, 0);
        std::string folder = here ? here : "";
        std::free(here);
        if (!folder.empty()) return folder;
    }
    std::string exe = executable_file();
    size_t slash = exe.rfind('/');
    if (slash == std::string::npos) {
        static bool said = false;
        if (!said) std::fprintf(stderr, "tollybrook: cannot find the program's own folder\n");
        said = true;
        return "";
    }
    return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string media_folder() {
    const char* chosen = std::getenv("TOLLYBROOK_DATA");
    if (chosen && *chosen) return chosen;
    std::string home = executable_folder();
    if (home.empty()) return "";
    namespace fs = std::filesystem;
    const std::string beside = home + "/media";
    const std::string candidates[] = {
        beside,
        (fs::path(home) / TOLLYBROOK_DATA_FROM_BIN).lexically_normal().string(),
        TOLLYBROOK_DATA_DIR,
    };
    for (const std::string& folder : candidates)
        if (is_folder(folder)) return folder;
    return beside;
}

char* absolute_path(const char* relative) {
    static const char media_prefix[] = "/media/";
    const size_t prefix_length = sizeof media_prefix - 1;
    std::string base;
    if (std::strncmp(relative, media_prefix, prefix_length) == 0) {
        base = media_folder();
        relative += prefix_length;
    } else {
        base = executable_folder();
    }
    while (*relative == '/') relative++;
    // One buffer for every request: copied into, not swapped, so it moves
    // only for a path longer than any before.
    fname.reserve(PATH_MAX);
    std::string path;
    if (!base.empty()) path = std::filesystem::path(base + "/" + relative).lexically_normal().string();
    fname.assign(path.data(), path.size());
    return fname.data();
}

std::string absolute_patch_index(const std::string& timidity_index, const std::string& index_folder) {
    std::istringstream lines(timidity_index);
    std::string line, out, dir = index_folder;
    int patches = 0;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string first, file;
        if (!(words >> first) || first[0] == '#') continue;
        if (first == "dir") {
            words >> dir;
            while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        } else if (first == "bank" || first == "drumset") {
            std::string number;
            words >> number;
            out += first + " " + number + "\n";
        } else if (first.find_first_not_of("0123456789") == std::string::npos && words >> file) {
            if (file[0] != '/') file = dir + "/" + file;
            std::string options;
            std::getline(words, options);
            out += first + " " + file + options + "\n";
            patches++;
        }
    }
    return patches ? out : "";
}

// The rewritten index lives in an anonymous in-memory file that Allegro
// opens through /proc, so nothing is written to disk and no file has to be
// installed. It stays open for the whole run: the synthesiser reads it
// again whenever a tune is loaded.
void use_system_midi_patches() {
    if (get_config_string("sound", "patches", nullptr)) return;
    std::ifstream source(TOLLYBROOK_PATCH_INDEX);
    if (!source) return;
    std::stringstream text;
    text << source.rdbuf();
    std::string folder = std::filesystem::path(TOLLYBROOK_PATCH_INDEX).parent_path().string();
    std::string index = absolute_patch_index(text.str(), folder);
    if (index.empty()) return;
    int fd = memfd_create("tollybrook-patches", 0);
    if (fd < 0) return;
    if (write(fd, index.data(), index.size()) != static_cast<ssize_t>(index.size())) {
        close(fd);
        return;
    }
    std::string config = "[sound]\npatches = /proc/self/fd/" + std::to_string(fd) + "\n";
    override_config_data(config.data(), static_cast<int>(config.size()));
}

// ---------------------------------------------------------------- loading

namespace {

uint32_t little_endian(const unsigned char* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; i--) v = (v << 8) | p[i];
    return v;
}

const char* const bitmap_files[] = {
    "/media/tile.bmp",    "/media/tile_low.bmp", "/media/tile_top.bmp", "/media/hole.bmp",
    "/media/start.bmp",   "/media/you.bmp",      "/media/granny.bmp",   "/media/dialog.bmp",
    "/media/castle.bmp",  "/media/chuck.bmp",    "/media/grannie.bmp",  "/media/flame0.bmp",
    "/media/flame1.bmp",  "/media/flame2.bmp",   "/media/exp3.bmp",     "/media/exp2.bmp",
    "/media/exp1.bmp",    "/media/exp0.bmp",
};
const char* const sample_files[] = {"/media/fire.wav", "/media/boom.wav", "/media/win.wav",
                                    "/media/sel.wav"};

const char* const other_media_files[] = {"/media/sliding.bmp", "/media/repulse.bmp",
                                         "/media/attract.bmp", "/media/puree2.ttf",
                                         "/media/nbk.mid"};

// Placeholders and silence keep the game going, but the player should hear
// once where the files were looked for.
void report_missing_media() {
    int missing = 0, total = 0;
    auto check = [&](const char* name) {
        total++;
        if (access(absolute_path(name), R_OK) != 0) missing++;
    };
    for (const char* name : bitmap_files) check(name);
    for (const char* name : sample_files) check(name);
    for (const char* name : other_media_files) check(name);
    if (missing)
        std::fprintf(stderr, "tollybrook: %d of %d media files missing in %s\n", missing, total,
                     media_folder().c_str());
}

// Used when the game's own font is missing, so there is always text.
const char* const fallback_fonts[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/freefont/FreeSans.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
};

BITMAP* filled_bitmap(int w, int h, int r, int g, int b) {
    BITMAP* bmp = create_bitmap(w, h);
    if (bmp) clear_to_color(bmp, makecol(r, g, b));
    return bmp;
}

void fill_empty(BITMAP** table, int count, int size, int r, int g, int b) {
    for (int i = 0; i < count; i++)
        if (!table[i]) table[i] = filled_bitmap(size, size, r, g, b);
}

// One line on stderr for a media file the game will not use, and what it
// does instead.
void refuse(const char* path, const char* why, const char* instead) {
    std::fprintf(stderr, "tollybrook: %s: %s; %s\n", path, why, instead);
}

// Whether a media file may be opened: it must be there and be a regular
// file (opening a named pipe would wait for a writer forever). Missing files
// are the quiet, ordinary case; anything else there is refused aloud.
bool openable(const char* path, const char* instead) {
    std::error_code error;
    std::filesystem::file_status st = std::filesystem::status(path, error);
    if (!std::filesystem::exists(st)) return false;
    if (std::filesystem::is_regular_file(st)) return true;
    refuse(path, "not a regular file", instead);
    return false;
}

// A media file beside the game through `load`, or nullptr; a file that is
// there but cannot be used is refused aloud.
template <class Media>
Media* load_media(const char* relative, Media* (*load)(const char*), const char* unreadable,
                  const char* instead) {
    const char* path = absolute_path(relative);
    if (!openable(path, instead)) return nullptr;
    Media* m = load(path);
    if (!m) refuse(path, unreadable, instead);
    return m;
}

BITMAP* load_picture(const char* relative) {
    return load_media(relative, load_checked_bitmap, "not a plain uncompressed BMP picture",
                      "using a placeholder");
}

SAMPLE* load_effect(const char* relative) {
    return load_media(relative, load_sample, "not a sound Allegro can read",
                      "that effect stays silent");
}

// The font at its size, or nullptr (with the reason on stderr).
ALFONT_FONT* load_sized_font(const char* path) {
    const char* instead = "trying the next font";
    if (!openable(path, instead)) return nullptr;
    ALFONT_FONT* f = alfont_load_font(path);
    if (!f) {
        refuse(path, "not a font FreeType can scale", instead);
        return nullptr;
    }
    if (alfont_set_font_size(f, text_font_size) != 0) {
        refuse(path, "its glyphs would be far larger than its line height", instead);
        alfont_destroy_font(f);
        return nullptr;
    }
    return f;
}

ALFONT_FONT* load_text_font() {
    ALFONT_FONT* f = load_sized_font(absolute_path("/media/puree2.ttf"));
    for (const char* path : fallback_fonts) {
        if (f) break;
        f = load_sized_font(path);
    }
    return f;
}

uint32_t big_endian(const unsigned char* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; i++) v = (v << 8) | p[i];
    return v;
}

// Reads a variable-length number of at most four bytes, all inside the track.
const char* read_number(const unsigned char*& p, const unsigned char* end, uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; i++) {
        if (p == end) return "a number runs past the end of its track";
        unsigned char byte = *p++;
        value = (value << 7) | (byte & 0x7F);
        if (!(byte & 0x80)) return nullptr;
    }
    return "a variable-length number is longer than four bytes";
}

// Allegro's player walks a track until its end-of-track event and trusts
// every length on the way, so each event must lie inside the track.
const char* midi_track_fault(const unsigned char* p, const unsigned char* end) {
    unsigned char running = 0;  // status of the last channel event, 0 after any other
    while (p < end) {
        uint32_t delta, length;
        if (const char* why = read_number(p, end, delta)) return why;
        if (p == end) return "an event runs past the end of its track";
        unsigned char status = *p;
        if (status & 0x80)
            p++;
        else if (running)
            status = running;
        else
            return "running status without a channel event before it";
        if (status < 0xF0) {
            running = status;
            int data_bytes = (status >> 4 == 0xC || status >> 4 == 0xD) ? 1 : 2;
            if (end - p < data_bytes) return "an event runs past the end of its track";
            for (int i = 0; i < data_bytes; i++)
                if (p[i] & 0x80) return "a channel event carries a data byte above 127";
            p += data_bytes;
            continue;
        }
        running = 0;
        int meta = -1;
        if (status == 0xFF) {
            if (p == end) return "an event runs past the end of its track";
            meta = *p++;
        } else if (status != 0xF0 && status != 0xF7) {
            return "a status byte that has no place in a file";
        }
        if (const char* why = read_number(p, end, length)) return why;
        if (static_cast<uint32_t>(end - p) < length)
            return "a meta or sysex event runs past the end of its track";
        if (meta == 0x51 && (length != 3 || big_endian(p, 3) == 0))
            return "a tempo change that is not three bytes above zero";
        p += length;
        if (meta == 0x2F) return nullptr;
    }
    return "a track without an end-of-track event";
}

const long midi_size_limit = 1 << 20;

}  // namespace

const char* midi_fault(const unsigned char* data, size_t size) {
    if (size < 14 || std::memcmp(data, "MThd", 4) != 0) return "no MIDI header";
    if (big_endian(data + 4, 4) != 6) return "a header that is not six bytes long";
    uint32_t format = big_endian(data + 8, 2);
    uint32_t tracks = big_endian(data + 10, 2);
    uint32_t division = big_endian(data + 12, 2);
    if (format > 1) return "a format other than 0 or 1";
    if (tracks < 1 || tracks > 32) return "a track count outside 1 to 32";
    if (division == 0) return "a time division of 0";
    if (division & 0x8000) return "an SMPTE time division";
    size_t at = 14;
    for (uint32_t t = 0; t < tracks; t++) {
        if (size - at < 8) return "fewer tracks than the header promises";
        if (std::memcmp(data + at, "MTrk", 4) != 0) return "a chunk where a track should be";
        uint32_t length = big_endian(data + at + 4, 4);
        at += 8;
        if (length > size - at) return "a track runs past the end of the file";
        if (const char* why = midi_track_fault(data + at, data + at + length)) return why;
        at += length;
    }
    return nullptr;
}

const char* midi_file_fault(const char* path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return "not a regular file";
    FILE* file = std::fopen(path, "rb");
    if (!file) return "cannot be opened";
    std::vector<unsigned char> bytes(midi_size_limit + 1);
    size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    if (got > static_cast<size_t>(midi_size_limit)) return "larger than a tune can be (1 MiB)";
    return midi_fault(bytes.data(), got);
}

BITMAP* load_checked_bitmap(const char* path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return nullptr;
    FILE* file = std::fopen(path, "rb");
    if (!file) return nullptr;
    unsigned char h[54];
    size_t got = std::fread(h, 1, sizeof h, file);
    std::fseek(file, 0, SEEK_END);
    long file_size = std::ftell(file);
    std::fclose(file);
    if (got != sizeof h || h[0] != 'B' || h[1] != 'M') return nullptr;
    uint32_t data_offset = little_endian(h + 10, 4);
    uint32_t info_size = little_endian(h + 14, 4);
    int32_t width = static_cast<int32_t>(little_endian(h + 18, 4));
    int32_t height = static_cast<int32_t>(little_endian(h + 22, 4));
    uint32_t bits = little_endian(h + 28, 2);
    uint32_t compression = little_endian(h + 30, 4);
    uint32_t colours_used = little_endian(h + 46, 4);
    if (info_size < 40 || info_size > 124 || compression != 0) return nullptr;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return nullptr;
    if (bits <= 8 && colours_used > (1u << bits)) return nullptr;
    // Allegro reads bottom-up files only: a negative height is a top-down one.
    if (width < 1 || width > 4096 || height < 1 || height > 4096) return nullptr;
    int64_t rows = height;
    int64_t stride = ((static_cast<int64_t>(width) * bits + 31) / 32) * 4;
    if (data_offset < 14 + info_size || data_offset + stride * rows > file_size) return nullptr;
    return load_bitmap(path, nullptr);
}

int load_data() {
    std::memset(bSpecTiles, 0, sizeof bSpecTiles);
    std::memset(bOtTiles, 0, sizeof bOtTiles);
    std::memset(bEtc, 0, sizeof bEtc);
    std::memset(fonts, 0, sizeof fonts);
    report_missing_media();

    BITMAP* strip = load_picture("/media/sliding.bmp");
    if (!strip) {
        strip = create_bitmap(192, 64);
        rectfill(strip, 0, 0, 192, 64, makecol(255, 0, 0));
    }
    for (int i = 0; i < 3; i++) {
        bSpecTiles[i] = create_bitmap(64, 64);
        blit(strip, bSpecTiles[i], 64 * i, 0, 0, 0, 64, 64);
    }
    bSpecTiles[3] = load_picture("/media/repulse.bmp");
    bSpecTiles[4] = load_picture("/media/attract.bmp");
    for (int i = 3; i < 5; i++)
        if (!bSpecTiles[i]) bSpecTiles[i] = filled_bitmap(64, 64, 0, 255, 0);

    int file = 0;
    for (int i = 0; i < 4; i++) bOtTiles[i] = load_picture(bitmap_files[file++]);
    for (int i = 0; i < 14; i++) bEtc[i] = load_picture(bitmap_files[file++]);
    fill_empty(bOtTiles, 5, 32, 0, 255, 255);
    fill_empty(bEtc, 16, 32, 50, 255, 255);
    destroy_bitmap(strip);

    fonts[0] = load_text_font();
    alfont_set_width_percent(fonts[0], text_font_width_percent);
    fh = alfont_get_font_height(fonts[0]);

    // Allegro's player trusts the tune's every length and its division, so
    // it only gets a tune that passed the check.
    const char* tune = absolute_path("/media/nbk.mid");
    music = nullptr;
    if (openable(tune, "playing no music")) {
        if (const char* why = midi_file_fault(tune))
            refuse(tune, why, "playing no music");
        else
            music = load_midi(tune);
    }
    // Without a MIDI driver there is nothing to play it on (and Allegro's
    // player would start a timer that may not exist).
    if (music && midi_driver && midi_driver->id != MIDI_NONE) play_midi(music, 1);
    for (int i = 0; i < 4; i++) sfx[i] = load_effect(sample_files[i]);
    return 0;
}

// Frees everything and empties the tables, so nothing can use a freed handle.
int unload_data() {
    destroy_midi(music);
    music = nullptr;
    for (SAMPLE*& s : sfx) destroy_sample(std::exchange(s, nullptr));
    for (BITMAP*& b : bSpecTiles) destroy_bitmap(std::exchange(b, nullptr));
    for (BITMAP*& b : bOtTiles) destroy_bitmap(std::exchange(b, nullptr));
    for (BITMAP*& b : bEtc) destroy_bitmap(std::exchange(b, nullptr));
    for (ALFONT_FONT*& f : fonts) alfont_destroy_font(std::exchange(f, nullptr));
    return 0;
}

void play(int index) {
    if (static_cast<unsigned>(index) > 3) return;
    if (on_play) on_play(index);
    if (!sfx[index]) return;
    play_sample(sfx[index], 120, 127, 1000, 0);
}

// ---------------------------------------------------------------- drawing

namespace {

void draw_row(BITMAP* target, BITMAP* picture, int y) {
    int n = target->w / picture->w;
    for (int i = 0; i < n; i++) draw_sprite(target, picture, i * picture->w, y);
}

void draw_scenery(BITMAP* target) {
    BITMAP* bottom = bOtTiles[1];
    BITMAP* top = bOtTiles[2];
    BITMAP* ground = bOtTiles[0];
    draw_row(target, bottom, target->h - bottom->h);
    draw_row(target, top, 38);
    for (int j = 0; j < 12; j++) draw_row(target, ground, 48 + j * ground->h);
}

void draw_laid_tiles(BITMAP* target, const game* g) {
    for (int i = 0; i < grid_columns; i++)
        for (int j = 0; j < grid_rows; j++)
            if (g->grid[i][j] != bare_ground)
                draw_sprite(target, bSpecTiles[g->grid[i][j] - 1], 64 * i, 48 + 64 * j);
}

void draw_meteors(BITMAP* target, const game* g) {
    BITMAP* fall = bEtc[meteor_pictures];
    BITMAP* blast = bEtc[meteor_pictures + 3];
    for (const meteor& m : g->meteors)
        draw_sprite(target, bEtc[meteor_pictures + m.frame()], m.getX(fall->w, blast->w),
                    m.getY(fall->h, blast->h));
}

void draw_grannies(BITMAP* target, const game* g) {
    BITMAP* walker = bEtc[granny_picture];
    for (const granny& gr : g->grannies)
        draw_sprite(target, walker, static_cast<int>(gr.x) - walker->w / 2,
                    static_cast<int>(gr.y) - walker->h);
}

void draw_build_overlay(BITMAP* target, const game* g) {
    int W = target->w, H = target->h;
    int white = makecol(255, 255, 255);
    for (int k = 0; k <= 7; k++) vline(target, 64 * k, 48, H - 48, white);
    for (int k = 0; k <= 6; k++) hline(target, 0, 48 + 64 * k, 448, white);
    rectfill(target, W - 160, 32, W, H - 64, makecol(66, 66, 66));
    rect(target, W - 160, 32, W, H - 64, makecol(30, 30, 30));
    for (int s = 0; s < palette_slots; s++) draw_sprite(target, bSpecTiles[s], W - 128, 64 + 64 * s);
    for (int s = 0; s < palette_slots; s++) {
        rectfill(target, W - 50, 85 + 64 * s, W - 10, 106 + 64 * s, makecol(200, 0, 0));
        std::snprintf(tmp, sizeof tmp, "%02d", g->stock[s]);
        textout_ex(target, font, tmp, W - 34, 95 + 64 * s, makecol(0, 0, 0), -1);
    }
    draw_sprite(target, bEtc[start_picture], 522, 424);
    rect(target, W - 128, 64, W - 64, H - 96, makecol(230, 230, 230));
    rect(target, W - 128, 64 + 64 * g->selected, W - 64, 128 + 64 * g->selected,
         makecol(255, 0, 0));
}

// Red text with a black outline, centred on x.
void outlined_text(BITMAP* target, const char* text, int x, int y) {
    int black = makecol(0, 0, 0);
    alfont_textout_centre_aa_ex(target, fonts[0], text, x + 1, y, black, -1);
    alfont_textout_centre_aa_ex(target, fonts[0], text, x - 1, y, black, -1);
    alfont_textout_centre_aa_ex(target, fonts[0], text, x, y + 1, black, -1);
    alfont_textout_centre_aa_ex(target, fonts[0], text, x, y - 1, black, -1);
    alfont_textout_centre_aa_ex(target, fonts[0], text, x, y, makecol(190, 0, 0), -1);
}

void draw_battle_overlay(BITMAP* target, const game* g) {
    std::snprintf(tmp, sizeof tmp, "%03d", g->shield);
    outlined_text(target, "Shield Strength:", 560, 5);
    outlined_text(target, tmp, 560, fh);
    std::snprintf(tmp, sizeof tmp, "%3d", g->score);
    outlined_text(target, "Score:", 560, 400);
    outlined_text(target, tmp, 560, 395 + fh);
}

}  // namespace

void draw(BITMAP* target, game* g) {
    clear_to_color(target, makecol(60, 90, 120));
    draw_scenery(target);
    draw_laid_tiles(target, g);
    draw_sprite(target, bEtc[castle_picture], 440, 20);
    draw_meteors(target, g);
    draw_grannies(target, g);
    switch (g->mode) {
        case mode_build: draw_build_overlay(target, g); break;
        case mode_battle: draw_battle_overlay(target, g); break;
        case mode_dialog: draw_dialog(target, g); break;
        default: break;
    }
}

void draw_dialog(BITMAP* target, game* g) {
    BITMAP* box = bEtc[dialog_box_picture];
    int top = target->h - box->h;
    draw_sprite(target, box, 0, top);
    draw_sprite(target, bEtc[g->speaker], 27, top + 18);
    for (int i = 0; i < 3; i++)
        alfont_textout_aa_ex(target, fonts[0], g->dialog_lines[i], 140, top + 10 + 25 * i,
                             makecol(0, 0, 0), -1);
}

void draw_pause_banner(BITMAP* target) {
    const char* text = "PAUSED";
    int cx = target->w / 2, cy = target->h / 2;
    int half_w = alfont_text_length(fonts[0], text) / 2 + 24, half_h = fh / 2 + 8;
    rectfill(target, cx - half_w, cy - half_h, cx + half_w, cy + half_h, makecol(0, 0, 0));
    rect(target, cx - half_w, cy - half_h, cx + half_w, cy + half_h, makecol(190, 0, 0));
    alfont_textout_centre_aa_ex(target, fonts[0], text, cx, cy - fh / 2, makecol(255, 255, 255), -1);
}

void draw_score(BITMAP* target, const std::vector<int>* scores, int current) {
    int W = SCREEN_W, w = target->w;
    int red = makecol(190, 0, 0);
    rectfill(target, 180, 10, 460, 50, makecol(90, 90, 90));
    rectfill(target, 182, 400, 460, 12 * fh + 16, makecol(0, 0, 0));
    rectfill(target, 182, 12, 458, 12 * fh + 14, makecol(190, 190, 190));
    alfont_textout_centre_aa_ex(target, fonts[0], "Scores:", W / 2, 10, red, -1);
    alfont_textout_centre_aa_ex(target, fonts[0], "Press ENTER key to continue...", W / 2,
                                11 * fh + 10, red, -1);
    for (size_t i = 0; i < scores->size() && i < 10; i++) {
        int value = (*scores)[i];
        std::snprintf(tmp, sizeof tmp, "%2d. Evil Creature:   %4d", static_cast<int>(i + 1), value);
        alfont_textout_centre_aa_ex(target, fonts[0], tmp, w / 2, 40 + static_cast<int>(i) * fh,
                                    value == current ? red : makecol(0, 0, 0), -1);
    }
}
