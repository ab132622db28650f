#include "data_handler.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>
#include <vector>

#include "game.h"
#include "media_files.h"
#include "gfx.h"

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

std::string user_folder(const char* variable, const char* under_home) {
    const char* chosen = std::getenv(variable);
    if (chosen && chosen[0] == '/') return chosen;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/" + under_home;
    return "";
}

bool make_folders(const std::string& path, unsigned mode) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (!part.empty() && mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    return is_folder(path);
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
    if (!base.empty())
        path = std::filesystem::path(base + "/" + relative).lexically_normal().string();
    fname.assign(path.data(), path.size());
    return fname.data();
}

std::string absolute_patch_index(const std::string& timidity_index,
                                 const std::string& index_folder) {
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

// The path of a media file, looked up where absolute_path looks.
const char* media_path(const media_file& m) {
    char relative[64];
    std::snprintf(relative, sizeof relative, "/media/%s", m.name);
    return absolute_path(relative);
}

// Placeholders and silence keep the game going, but the player should hear
// once where the files were looked for.
void report_missing_media() {
    int missing = 0;
    for (const media_file& m : media_files)
        if (access(media_path(m), R_OK) != 0) missing++;
    if (missing)
        std::fprintf(stderr, "tollybrook: %d of %d media files missing in %s\n", missing,
                     static_cast<int>(std::size(media_files)), media_folder().c_str());
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

// Fills the empty slots of a table with the placeholder of its pictures.
void fill_empty(BITMAP** table, int count, const media_file& like) {
    for (int i = 0; i < count; i++)
        if (!table[i])
            table[i] =
                filled_bitmap(like.placeholder_w, like.placeholder_h, like.r, like.g, like.b);
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

// A media file through `load`, or nullptr; a file that is there but cannot
// be used is refused aloud.
template <class Media>
Media* load_media(const char* path, Media* (*load)(const char*), const char* unreadable,
                  const char* instead) {
    if (!openable(path, instead)) return nullptr;
    Media* m = load(path);
    if (!m) refuse(path, unreadable, instead);
    return m;
}

BITMAP* load_picture(const media_file& m) {
    BITMAP* picture = load_media(media_path(m), load_checked_bitmap,
                                 "not a plain uncompressed BMP picture", "using a placeholder");
    return picture ? picture : filled_bitmap(m.placeholder_w, m.placeholder_h, m.r, m.g, m.b);
}

SAMPLE* load_effect(const media_file& m) {
    return load_media(media_path(m), load_sample, "not a sound Allegro can read",
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

ALFONT_FONT* load_text_font(const media_file& m) {
    ALFONT_FONT* f = load_sized_font(media_path(m));
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

namespace {

BITMAP** picture_table(media_table table) {
    switch (table) {
        case spec_tiles: return bSpecTiles;
        case other_tiles: return bOtTiles;
        case etc_pictures: return bEtc;
        default: return nullptr;
    }
}

// The strip holds the first three palette tiles side by side.
void cut_tile_strip(const media_file& m) {
    BITMAP* strip = load_picture(m);
    for (int i = 0; i < 3; i++) {
        bSpecTiles[m.slot + i] = create_bitmap(64, 64);
        blit(strip, bSpecTiles[m.slot + i], 64 * i, 0, 0, 0, 64, 64);
    }
    destroy_bitmap(strip);
}

// Allegro's player trusts the tune's every length and its division, so it
// only gets a tune that passed the check.
MIDI* load_tune(const media_file& m) {
    const char* path = media_path(m);
    if (!openable(path, "playing no music")) return nullptr;
    if (const char* why = midi_file_fault(path)) {
        refuse(path, why, "playing no music");
        return nullptr;
    }
    return load_midi(path);
}

void load_media_file(const media_file& m) {
    switch (m.kind) {
        case tile_strip: cut_tile_strip(m); break;
        case picture: picture_table(m.table)[m.slot] = load_picture(m); break;
        case text_font: fonts[0] = load_text_font(m); break;
        case tune: music = load_tune(m); break;
        case sound_effect: sfx[m.slot] = load_effect(m); break;
    }
}

}  // namespace

int load_data() {
    std::memset(bSpecTiles, 0, sizeof bSpecTiles);
    std::memset(bOtTiles, 0, sizeof bOtTiles);
    std::memset(bEtc, 0, sizeof bEtc);
    std::memset(fonts, 0, sizeof fonts);
    music = nullptr;
    report_missing_media();
    for (const media_file& m : media_files) load_media_file(m);
    // The slots no file fills (bOtTiles 4, bEtc 14 and 15) hold placeholders too.
    fill_empty(bOtTiles, 5, ground_piece(nullptr, 0));
    fill_empty(bEtc, 16, etc_picture(nullptr, 0));

    alfont_set_width_percent(fonts[0], text_font_width_percent);
    fh = alfont_get_font_height(fonts[0]);
    // Without a MIDI driver there is nothing to play it on (and Allegro's
    // player would start a timer that may not exist).
    if (music && midi_driver && midi_driver->id != MIDI_NONE) play_midi(music, 1);
    return 0;
}

// Frees everything and empties the tables, so nothing can use a freed handle.
int unload_data() {
    invalidate_scene();
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
//
// A frame is the scene (background, scenery rows, laid tiles, castle), the
// meteors and grannies over it and the overlay of the mode on top. The scene
// is composed once into a cached layer and copied with blit. The back buffer
// keeps the last frame, so a tick repaints only the parts where something
// moved or a shown value changed, and tells the page manager which parts
// those are. Every repainted part is drawn exactly as a full redraw would
// draw it: the cached scene, then every sprite and overlay touching the
// part, in the same order, clipped to it.

void draw_build_overlay(BITMAP* target, const game* g) {
    int W = target->w, H = target->h;
    int white = makecol(255, 255, 255);
    for (int k = 0; k <= grid_columns; k++)
        vline(target, cell_size * k, field_top, H - grid_lines_from_bottom, white);
    for (int k = 0; k <= grid_rows; k++)
        hline(target, 0, field_top + cell_size * k, field_width, white);
    int panel_left = W - panel_left_from_right, panel_bottom = H - panel_bottom_from_bottom;
    rectfill(target, panel_left, panel_top, W, panel_bottom, makecol(66, 66, 66));
    rect(target, panel_left, panel_top, W, panel_bottom, makecol(30, 30, 30));
    int tiles_left = W - palette_left_from_right, tiles_right = W - palette_right_from_right;
    for (int s = 0; s < palette_slots; s++)
        draw_sprite(target, bSpecTiles[s], tiles_left, palette_top + slot_pitch * s);
    for (int s = 0; s < palette_slots; s++) {
        int slot_top = palette_top + slot_pitch * s;
        rectfill(target, W - badge_from.x, slot_top + badge_from.y, W - badge_to.x,
                 slot_top + badge_to.y, makecol(200, 0, 0));
        std::snprintf(tmp, sizeof tmp, "%02d", g->stock[s]);
        textout_ex(target, font, tmp, W - stock_text.x, slot_top + stock_text.y, makecol(0, 0, 0),
                   -1);
    }
    draw_sprite(target, bEtc[start_picture], start_button.left, start_button.top);
    rect(target, tiles_left, palette_top, tiles_right, H - palette_frame_from_bottom,
         makecol(230, 230, 230));
    int selected_top = palette_top + slot_pitch * g->selected;
    rect(target, tiles_left, selected_top, tiles_right, selected_top + slot_pitch,
         makecol(255, 0, 0));
}

namespace {

struct area {  // a rectangle on the frame
    int x, y, w, h;
};

bool overlap(const area& a, const area& b) {
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

void draw_row(BITMAP* target, BITMAP* picture, int y) {
    int n = target->w / picture->w;
    for (int i = 0; i < n; i++) draw_sprite(target, picture, i * picture->w, y);
}

void draw_scenery(BITMAP* target) {
    BITMAP* bottom = bOtTiles[bottom_strip];
    BITMAP* top = bOtTiles[top_strip];
    BITMAP* ground = bOtTiles[ground_tile];
    draw_row(target, bottom, target->h - bottom->h);
    draw_row(target, top, top_strip_y);
    for (int j = 0; j < ground_rows; j++) draw_row(target, ground, field_top + j * ground->h);
}

void draw_laid_tiles(BITMAP* target, const int (&grid)[grid_columns][grid_rows]) {
    for (int i = 0; i < grid_columns; i++)
        for (int j = 0; j < grid_rows; j++)
            if (grid[i][j] != bare_ground)
                draw_sprite(target, bSpecTiles[grid[i][j] - 1], cell_size * i,
                            field_top + cell_size * j);
}

// Red text with a black outline, its left end at `left` (measured once by
// the caller, not once per pass).
void outlined_text(BITMAP* target, const char* text, int left, int y) {
    int black = makecol(0, 0, 0);
    alfont_textout_aa_ex(target, fonts[0], text, left + 1, y, black, -1);
    alfont_textout_aa_ex(target, fonts[0], text, left - 1, y, black, -1);
    alfont_textout_aa_ex(target, fonts[0], text, left, y + 1, black, -1);
    alfont_textout_aa_ex(target, fonts[0], text, left, y - 1, black, -1);
    alfont_textout_aa_ex(target, fonts[0], text, left, y, makecol(190, 0, 0), -1);
}

// Where a line of text may leave ink: glyphs can reach a little past their
// advance and above or below the line, so the measured box gets a margin.
area text_reach(int left, int y, int width) {
    int margin = fh / 8 + 2;
    return {left - margin, y - margin, width + 2 * margin, fh + 2 * margin};
}

// ---- the cached scene

const int scene_picture_count = 3 + palette_slots + 2 + meteor_frame_count;

// Everything the scene layer and the sprites are made from.
struct scene_source {
    int w = 0, h = 0;
    int grid[grid_columns][grid_rows] = {};
    BITMAP* pictures[scene_picture_count] = {};

    bool operator==(const scene_source& o) const {
        return w == o.w && h == o.h && std::memcmp(grid, o.grid, sizeof grid) == 0 &&
               std::memcmp(pictures, o.pictures, sizeof pictures) == 0;
    }
};

scene_source source_of(const BITMAP* target, const game* g) {
    scene_source s;
    s.w = target->w;
    s.h = target->h;
    std::memcpy(s.grid, g->grid, sizeof s.grid);
    BITMAP** p = s.pictures;
    for (int i = 0; i < 3; i++) *p++ = bOtTiles[i];
    for (int i = 0; i < palette_slots; i++) *p++ = bSpecTiles[i];
    *p++ = bEtc[castle_picture];
    *p++ = bEtc[granny_picture];
    for (int i = 0; i < meteor_frame_count; i++) *p++ = bEtc[meteor_pictures + i];
    return s;
}

// A masked picture as the runs of pixels that are not the mask colour, row
// by row: drawn by copying the runs, it leaves the same pixels as draw_sprite
// without testing each one.
struct span_sprite {
    struct run {
        int x, length;
    };
    BITMAP* picture = nullptr;
    int w = 0, h = 0;
    std::vector<int> row_start;  // h + 1 entries into runs
    std::vector<run> runs;

    void make(BITMAP* from) {
        picture = from;
        w = from->w;
        h = from->h;
        row_start.assign(1, 0);
        runs.clear();
        int mask = bitmap_mask_color(from);
        for (int y = 0; y < h; y++) {
            for (int x = 0; x < w;) {
                if (getpixel(from, x, y) == mask) {
                    x++;
                    continue;
                }
                int start = x;
                while (x < w && getpixel(from, x, y) != mask) x++;
                runs.push_back({start, x - start});
            }
            row_start.push_back(static_cast<int>(runs.size()));
        }
    }

    void draw(BITMAP* target, int x, int y) const {
        if (!is_memory_bitmap(target) || !is_memory_bitmap(picture) ||
            bitmap_color_depth(target) != bitmap_color_depth(picture)) {
            draw_sprite(target, picture, x, y);
            return;
        }
        int l = 0, t = 0, r = target->w, b = target->h;  // r and b exclusive
        if (target->clip) {
            l = std::max(l, target->cl), t = std::max(t, target->ct);
            r = std::min(r, target->cr), b = std::min(b, target->cb);
        }
        int bytes = (bitmap_color_depth(target) + 7) / 8;
        int first = std::max(0, t - y), last = std::min(h, b - y);
        for (int row = first; row < last; row++) {
            unsigned char* to = target->line[y + row];
            const unsigned char* from = picture->line[row];
            for (int i = row_start[row]; i < row_start[row + 1]; i++) {
                int from_x = std::max(runs[i].x, l - x);
                int end_x = std::min(runs[i].x + runs[i].length, r - x);
                if (end_x > from_x)
                    std::memcpy(to + (x + from_x) * bytes, from + from_x * bytes,
                                static_cast<size_t>(end_x - from_x) * bytes);
            }
        }
    }
};

struct scene_cache {
    bool valid = false;
    scene_source source;
    BITMAP* layer = nullptr;  // background, scenery rows, laid tiles, castle
    span_sprite walker;
    span_sprite meteor_frames[meteor_frame_count];
} scene;

void compose_scene(const scene_source& source) {
    if (scene.layer && (scene.layer->w != source.w || scene.layer->h != source.h)) {
        destroy_bitmap(scene.layer);
        scene.layer = nullptr;
    }
    if (!scene.layer) scene.layer = create_bitmap(source.w, source.h);
    clear_to_color(scene.layer, makecol(60, 90, 120));
    draw_scenery(scene.layer);
    draw_laid_tiles(scene.layer, source.grid);
    draw_sprite(scene.layer, bEtc[castle_picture], castle_at.x, castle_at.y);
    // The sprites' runs follow the pictures, not the laid tiles.
    bool new_pictures = !scene.valid || std::memcmp(source.pictures, scene.source.pictures,
                                                    sizeof source.pictures) != 0;
    if (new_pictures) {
        scene.walker.make(bEtc[granny_picture]);
        for (int f = 0; f < meteor_frame_count; f++)
            scene.meteor_frames[f].make(bEtc[meteor_pictures + f]);
    }
    scene.source = source;
    scene.valid = true;
}

// ---- what a frame shows

struct placed {  // a sprite where it stands
    const span_sprite* sprite;
    area at;
    bool operator==(const placed& o) const {
        return sprite == o.sprite && at.x == o.at.x && at.y == o.at.y;
    }
};

struct shown_text {
    char text[64];
    int left, width;
    area reach;
};

struct frame_record {
    int w, h, mode;
    ALFONT_FONT* font;
    int font_height;
    int stock[palette_slots];
    int selected;
    shown_text battle[4];
    int speaker;
    char lines[3][sizeof game::dialog_lines[0]];
    BITMAP* box;
    BITMAP* portrait;
    area dialog_reach;
    std::vector<placed> meteors, grannies;
};

frame_record shown, next_frame;
BITMAP* framed_target = nullptr;  // the bitmap that holds `shown`, untouched since

// A text of the battle overlay, measured only when it differs from the one shown.
void place_battle_text(shown_text& t, const shown_text& before, bool comparable, const char* text,
                       int index) {
    std::snprintf(t.text, sizeof t.text, "%s", text);
    int y = battle_text_places[index].y_from_top + battle_text_places[index].y_per_font_height * fh;
    if (comparable && std::strcmp(t.text, before.text) == 0) {
        t.left = before.left;
        t.width = before.width;
    } else {
        t.width = alfont_text_length(fonts[0], t.text);
        t.left = battle_text_places[index].x - t.width / 2;
    }
    t.reach = text_reach(t.left - 1, y - 1, t.width + 2);
}

bool same_dialog(const frame_record& a, const frame_record& b) {
    return a.speaker == b.speaker && a.box == b.box && a.portrait == b.portrait &&
           std::memcmp(a.lines, b.lines, sizeof a.lines) == 0;
}

area dialog_reach(const frame_record& f) {
    int top = f.h - f.box->h;
    int l = 0, t = top, r = f.box->w, b = f.h;
    auto take = [&](const area& a) {
        l = std::min(l, a.x), t = std::min(t, a.y);
        r = std::max(r, a.x + a.w), b = std::max(b, a.y + a.h);
    };
    take({dialog_portrait.x, top + dialog_portrait.y, f.portrait->w, f.portrait->h});
    for (int i = 0; i < 3; i++)
        take(text_reach(dialog_text.x, top + dialog_text.y + dialog_line_pitch * i,
                        alfont_text_length(fonts[0], f.lines[i])));
    return {l, t, r - l, b - t};
}

void place_sprites(frame_record& f, const game* g) {
    f.meteors.clear();
    BITMAP* fall = bEtc[meteor_pictures];
    BITMAP* blast = bEtc[meteor_pictures + 3];
    for (const meteor& m : g->meteors) {
        const span_sprite& s = scene.meteor_frames[m.frame()];
        f.meteors.push_back({&s, {m.getX(fall->w, blast->w), m.getY(fall->h, blast->h), s.w, s.h}});
    }
    f.grannies.clear();
    const span_sprite* s = &scene.walker;
    for (const granny& gr : g->grannies)
        f.grannies.push_back(
            {s, {static_cast<int>(gr.x) - s->w / 2, static_cast<int>(gr.y) - s->h, s->w, s->h}});
}

// Fills `f` with what this frame shows; `before` is the frame in the target.
void describe_frame(frame_record& f, const frame_record& before, bool comparable,
                    const BITMAP* target, const game* g) {
    f.w = target->w;
    f.h = target->h;
    f.mode = g->mode;
    f.font = fonts[0];
    f.font_height = fh;
    comparable = comparable && before.mode == f.mode && before.font == f.font &&
                 before.font_height == fh && before.w == f.w && before.h == f.h;
    place_sprites(f, g);
    if (f.mode == mode_build) {
        std::memcpy(f.stock, g->stock, sizeof f.stock);
        f.selected = g->selected;
    } else if (f.mode == mode_battle) {
        std::snprintf(tmp, sizeof tmp, "%03d", g->shield);
        place_battle_text(f.battle[0], before.battle[0], comparable, "Shield Strength:", 0);
        place_battle_text(f.battle[1], before.battle[1], comparable, tmp, 1);
        std::snprintf(tmp, sizeof tmp, "%3d", g->score);
        place_battle_text(f.battle[2], before.battle[2], comparable, "Score:", 2);
        place_battle_text(f.battle[3], before.battle[3], comparable, tmp, 3);
    } else if (f.mode == mode_dialog) {
        f.speaker = g->speaker;
        f.box = bEtc[dialog_box_picture];
        f.portrait = bEtc[g->speaker];
        std::memcpy(f.lines, g->dialog_lines, sizeof f.lines);
        f.dialog_reach =
            comparable && same_dialog(f, before) ? before.dialog_reach : dialog_reach(f);
    }
}

// ---- the parts to repaint
//
// Each changed place is marked as a part, and parts are joined while the
// joined part costs less to paint and send than the two apart: every part is
// sent to the window row by row (see gfx_send_cost), and copying it from the
// scene and clipping the sprites to it costs part_cost pixels more. In a
// crowded battle that ends in one part round the whole crowd; a lone walker
// stays a small part of its own.

const long part_cost = 500;
const int max_parts = 128;  // past that, the whole frame is one part

std::vector<area> repaint;  // the parts marked for the next painting
int frame_w = 0, frame_h = 0;

area joined(const area& a, const area& b) {
    int l = std::min(a.x, b.x), t = std::min(a.y, b.y);
    int r = std::max(a.x + a.w, b.x + b.w), d = std::max(a.y + a.h, b.y + b.h);
    return {l, t, r - l, d - t};
}

bool worth_joining(const area& a, const area& b, area& both) {
    both = joined(a, b);
    return gfx_send_cost(both.w, both.h) <=
           gfx_send_cost(a.w, a.h) + gfx_send_cost(b.w, b.h) + part_cost;
}

void size_frame(int w, int h) {
    if (w == frame_w && h == frame_h) return;
    frame_w = w;
    frame_h = h;
    repaint.clear();
    repaint.reserve(max_parts);
}

void mark(area a) {
    int l = std::max(a.x, 0), t = std::max(a.y, 0);
    int r = std::min(a.x + a.w, frame_w), b = std::min(a.y + a.h, frame_h);
    if (l >= r || t >= b) return;
    a = {l, t, r - l, b - t};
    area both;
    for (size_t i = 0; i < repaint.size();) {
        if (!worth_joining(repaint[i], a, both)) {
            i++;
            continue;
        }
        a = both;  // take it in, and look again: the grown part may join others
        repaint[i] = repaint.back();
        repaint.pop_back();
        i = 0;
    }
    if (repaint.size() == max_parts) {
        repaint.clear();
        a = {0, 0, frame_w, frame_h};
    }
    repaint.push_back(a);
}

void mark_changed_sprites(const std::vector<placed>& before, const std::vector<placed>& now) {
    size_t n = std::max(before.size(), now.size());
    for (size_t i = 0; i < n; i++) {
        bool was = i < before.size(), is = i < now.size();
        if (was && is && before[i] == now[i]) continue;
        area both;
        if (was && is && worth_joining(before[i].at, now[i].at, both)) {
            mark(both);
            continue;
        }
        if (was) mark(before[i].at);
        if (is) mark(now[i].at);
    }
}

// Marks what differs between the frame in the target and the next one.
void mark_changes(const frame_record& before, const frame_record& now) {
    if (before.mode != now.mode || before.font != now.font ||
        before.font_height != now.font_height) {
        mark({0, 0, now.w, now.h});
        return;
    }
    mark_changed_sprites(before.meteors, now.meteors);
    mark_changed_sprites(before.grannies, now.grannies);
    if (now.mode == mode_build) {
        if (before.selected != now.selected ||
            std::memcmp(before.stock, now.stock, sizeof now.stock) != 0)
            mark({0, 0, now.w, now.h});
    } else if (now.mode == mode_battle) {
        for (int i = 0; i < 4; i++)
            if (std::strcmp(before.battle[i].text, now.battle[i].text) != 0) {
                mark(before.battle[i].reach);
                mark(now.battle[i].reach);
            }
    } else if (now.mode == mode_dialog) {
        if (!same_dialog(before, now)) {
            mark(before.dialog_reach);
            mark(now.dialog_reach);
        }
    }
}

void draw_overlapping(BITMAP* target, const std::vector<placed>& sprites, const area& part) {
    for (const placed& p : sprites)
        if (overlap(p.at, part)) p.sprite->draw(target, p.at.x, p.at.y);
}

// One part of the frame, drawn as the whole frame would draw it there.
void paint(BITMAP* target, game* g, const frame_record& f, const area& part) {
    blit(scene.layer, target, part.x, part.y, part.x, part.y, part.w, part.h);
    int cl, ct, cr, cb;
    get_clip_rect(target, &cl, &ct, &cr, &cb);
    set_clip_rect(target, part.x, part.y, part.x + part.w - 1, part.y + part.h - 1);
    draw_overlapping(target, f.meteors, part);
    draw_overlapping(target, f.grannies, part);
    switch (f.mode) {
        case mode_build: draw_build_overlay(target, g); break;
        case mode_battle:
            for (int i = 0; i < 4; i++)
                if (overlap(f.battle[i].reach, part))
                    outlined_text(target, f.battle[i].text, f.battle[i].left,
                                  battle_text_places[i].y_from_top +
                                      battle_text_places[i].y_per_font_height * fh);
            break;
        case mode_dialog:
            if (overlap(f.dialog_reach, part)) draw_dialog(target, g);
            break;
        default: break;
    }
    set_clip_rect(target, cl, ct, cr, cb);
}

void forget_score_panel();

}  // namespace

void invalidate_scene() {
    if (scene.layer) destroy_bitmap(scene.layer);
    scene.layer = nullptr;
    scene.valid = false;
    framed_target = nullptr;
    forget_score_panel();
}

void frame_overdrawn(BITMAP* target, int x, int y, int w, int h) {
    if (target == framed_target) mark({x, y, w, h});
    forget_score_panel();
    if (target == bDbuf) gfx_changed(x, y, w, h);
}

void draw(BITMAP* target, game* g) {
    scene_source source = source_of(target, g);
    bool recomposed = !scene.valid || !(source == scene.source);
    if (recomposed) compose_scene(source);
    size_frame(target->w, target->h);
    forget_score_panel();

    // Only the page manager's back buffer is known to keep the last frame.
    bool kept = !recomposed && target == framed_target && target == bDbuf;
    describe_frame(next_frame, shown, kept, target, g);
    if (kept)
        mark_changes(shown, next_frame);
    else
        mark({0, 0, target->w, target->h});
    for (const area& part : repaint) paint(target, g, next_frame, part);
    if (target == bDbuf) {
        gfx_track_changes();
        for (const area& part : repaint) gfx_changed(part.x, part.y, part.w, part.h);
    }
    repaint.clear();
    std::swap(shown, next_frame);
    framed_target = target == bDbuf ? target : nullptr;
}

void draw_dialog(BITMAP* target, game* g) {
    BITMAP* box = bEtc[dialog_box_picture];
    int top = target->h - box->h;
    draw_sprite(target, box, 0, top);
    draw_sprite(target, bEtc[g->speaker], dialog_portrait.x, top + dialog_portrait.y);
    for (int i = 0; i < 3; i++)
        alfont_textout_aa_ex(target, fonts[0], g->dialog_lines[i], dialog_text.x,
                             top + dialog_text.y + dialog_line_pitch * i, makecol(0, 0, 0), -1);
}

void draw_pause_banner(BITMAP* target) {
    const char* text = "PAUSED";
    int cx = target->w / 2, cy = target->h / 2;
    int half_w = alfont_text_length(fonts[0], text) / 2 + 24, half_h = fh / 2 + 8;
    rectfill(target, cx - half_w, cy - half_h, cx + half_w, cy + half_h, makecol(0, 0, 0));
    rect(target, cx - half_w, cy - half_h, cx + half_w, cy + half_h, makecol(190, 0, 0));
    alfont_textout_centre_aa_ex(target, fonts[0], text, cx, cy - fh / 2, makecol(255, 255, 255),
                                -1);
    // Drawn over the frame after draw(): sent now, repainted from the scene next frame.
    frame_overdrawn(target, cx - half_w, cy - half_h, 2 * half_w + 1, 2 * half_h + 1);
}

// ---------------------------------------------------------------- score panel
//
// The score screen draws the same panel frame after frame. Inside its filled
// rectangles every frame paints the same pixels, so those are kept and copied.
// Text that runs out of them blends again over what it left the frame before,
// so there it is drawn again, clipped to the parts outside the rectangles.
// The page manager still sends these frames whole: the screen is modal and
// brief.

namespace {

const int panel_rows = 10;

struct panel_text {
    char text[64];
    int left, y, colour;
    area reach;
};

struct score_panel_cache {
    BITMAP* target = nullptr;  // holds the panel as last drawn, untouched since
    int values[panel_rows];
    int count, current, screen_w, w, h, font_height;
    ALFONT_FONT* font;
    BITMAP* drawn = nullptr;  // the target after the panel's first drawing
    area fills[3];
    area outside[32];  // the target outside the filled rectangles
    int outside_count;
} panel;

void forget_score_panel() { panel.target = nullptr; }

bool same_panel(BITMAP* target, const std::vector<int>* scores, int current) {
    int count = static_cast<int>(std::min<size_t>(scores->size(), panel_rows));
    if (panel.target != target || !panel.drawn || panel.count != count ||
        panel.current != current || panel.screen_w != SCREEN_W || panel.w != target->w ||
        panel.h != target->h || panel.font != fonts[0] || panel.font_height != fh)
        return false;
    return std::equal(scores->begin(), scores->begin() + count, panel.values);
}

// The panel's texts in drawing order: title, prompt, then the rows.
int panel_texts(panel_text (&out)[panel_rows + 2], BITMAP* target, const std::vector<int>* scores,
                int current) {
    int red = makecol(190, 0, 0), black = makecol(0, 0, 0);
    int n = 0;
    auto add = [&](int centre, int y, int colour) {
        panel_text& t = out[n++];
        int width = alfont_text_length(fonts[0], t.text);
        t.left = centre - width / 2;
        t.y = y;
        t.colour = colour;
        t.reach = text_reach(t.left, y, width);
    };
    std::snprintf(out[n].text, sizeof out[n].text, "Scores:");
    add(SCREEN_W / 2, score_title_y, red);
    std::snprintf(out[n].text, sizeof out[n].text, "Press ENTER key to continue...");
    add(SCREEN_W / 2, score_prompt_lines * fh + score_prompt_y, red);
    for (size_t i = 0; i < scores->size() && i < panel_rows; i++) {
        int value = (*scores)[i];
        std::snprintf(out[n].text, sizeof out[n].text, "%2d. Evil Creature:   %4d",
                      static_cast<int>(i + 1), value);
        add(target->w / 2, score_rows_y + static_cast<int>(i) * fh, value == current ? red : black);
    }
    return n;
}

// A filled rectangle as rectfill fills it: corners in any order, both included.
area filled_area(int x1, int y1, int x2, int y2) {
    return {std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1) + 1, std::abs(y2 - y1) + 1};
}

// Splits the target outside the filled rectangles into rectangles: bands of
// rows between the rectangles' edges, and the runs of columns in each band
// that no rectangle covers.
void find_outside(int w, int h) {
    int edges[2 + 2 * std::size(panel.fills)] = {0, h};
    int n = 2;
    for (const area& f : panel.fills) {
        edges[n++] = std::clamp(f.y, 0, h);
        edges[n++] = std::clamp(f.y + f.h, 0, h);
    }
    std::sort(std::begin(edges), std::end(edges));  // every entry is filled
    panel.outside_count = 0;
    for (int e = 0; e + 1 < n; e++) {
        int top = edges[e], bottom = edges[e + 1];
        if (top == bottom) continue;
        area covering[3];
        int c = 0;
        for (const area& f : panel.fills)
            if (f.y <= top && f.y + f.h >= bottom) covering[c++] = f;
        for (int i = 1; i < c; i++)  // left to right
            for (int j = i; j > 0 && covering[j].x < covering[j - 1].x; j--)
                std::swap(covering[j], covering[j - 1]);
        int x = 0;
        for (int i = 0; i <= c; i++) {
            int until = i < c ? std::clamp(covering[i].x, 0, w) : w;
            if (until > x) panel.outside[panel.outside_count++] = {x, top, until - x, bottom - top};
            if (i < c) x = std::max(x, std::min(covering[i].x + covering[i].w, w));
        }
    }
}

void remember_panel(BITMAP* target, const std::vector<int>* scores, int current) {
    if (panel.drawn && (panel.drawn->w != target->w || panel.drawn->h != target->h)) {
        destroy_bitmap(panel.drawn);
        panel.drawn = nullptr;
    }
    if (!panel.drawn) panel.drawn = create_bitmap(target->w, target->h);
    if (!panel.drawn) return;
    blit(target, panel.drawn, 0, 0, 0, 0, target->w, target->h);
    panel.count = static_cast<int>(std::min<size_t>(scores->size(), panel_rows));
    std::copy(scores->begin(), scores->begin() + panel.count, panel.values);
    panel.current = current;
    panel.screen_w = SCREEN_W;
    panel.w = target->w;
    panel.h = target->h;
    panel.font = fonts[0];
    panel.font_height = fh;
    find_outside(target->w, target->h);
    panel.target = target;
}

// The panel drawn again over itself: kept fills, text outside them blended again.
void redraw_panel(BITMAP* target, const panel_text* texts, int count) {
    for (const area& f : panel.fills) blit(panel.drawn, target, f.x, f.y, f.x, f.y, f.w, f.h);
    int cl, ct, cr, cb;
    get_clip_rect(target, &cl, &ct, &cr, &cb);
    for (int o = 0; o < panel.outside_count; o++) {
        const area& part = panel.outside[o];
        set_clip_rect(target, part.x, part.y, part.x + part.w - 1, part.y + part.h - 1);
        for (int i = 0; i < count; i++)
            if (overlap(texts[i].reach, part))
                alfont_textout_aa_ex(target, fonts[0], texts[i].text, texts[i].left, texts[i].y,
                                     texts[i].colour, -1);
    }
    set_clip_rect(target, cl, ct, cr, cb);
}

}  // namespace

// Tells the page manager what a panel drawing changed in its back buffer:
// the whole panel when it is drawn anew; when it is drawn again over itself,
// only text reaching past its rectangles (drawn again there), since the
// rectangles come back exactly as they were.
void report_panel(BITMAP* target, const panel_text* texts, int count, bool anew) {
    if (target != bDbuf) return;
    gfx_track_changes();
    if (anew)
        for (const area& f : panel.fills) gfx_changed(f.x, f.y, f.w, f.h);
    for (int i = 0; i < count; i++) {
        bool outside = anew;
        for (int o = 0; o < panel.outside_count && !outside; o++)
            outside = overlap(texts[i].reach, panel.outside[o]);
        const area& r = texts[i].reach;
        if (outside) gfx_changed(r.x, r.y, r.w, r.h);
    }
}

void draw_score(BITMAP* target, const std::vector<int>* scores, int current) {
    if (target == framed_target) framed_target = nullptr;
    panel_text texts[panel_rows + 2];
    int count = panel_texts(texts, target, scores, current);
    if (same_panel(target, scores, current)) {
        redraw_panel(target, texts, count);
        report_panel(target, texts, count, false);
        return;
    }
    const screen_rect frame = score_frame;
    screen_rect shadow = score_shadow, sheet = score_sheet;
    shadow.bottom += score_panel_lines * fh;
    sheet.bottom += score_panel_lines * fh;
    const screen_rect* fills[3] = {&frame, &shadow, &sheet};
    const int colours[3] = {makecol(90, 90, 90), makecol(0, 0, 0), makecol(190, 190, 190)};
    for (int i = 0; i < 3; i++) {
        const screen_rect& r = *fills[i];
        panel.fills[i] = filled_area(r.left, r.top, r.right, r.bottom);
        rectfill(target, r.left, r.top, r.right, r.bottom, colours[i]);
    }
    for (int i = 0; i < count; i++)
        alfont_textout_aa_ex(target, fonts[0], texts[i].text, texts[i].left, texts[i].y,
                             texts[i].colour, -1);
    remember_panel(target, scores, current);
    report_panel(target, texts, count, true);
}
