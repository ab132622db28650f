// The media tables: loading every picture, sound, the tune and the font
// once (with placeholders and silence for what is missing or refused),
// releasing them, and playing the sound effects.
#include "data_media.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>
#include <utility>

#include "data_paths.h"
#include "data_render.h"
#include "layout.h"
#include "media_files.h"
#include "platform.h"
#include "safe_file.h"

BITMAP* bSpecTiles[5];
BITMAP* bOtTiles[5];
BITMAP* bEtc[16];
ALFONT_FONT* fonts[3];
int fh;
MIDI* music;
SAMPLE* sfx[4];

void (*on_play)(int index) = nullptr;

namespace {

// The path of a media file, looked up where absolute_path looks.
const char* media_path(const media_file& m) {
    char relative[64];
    std::snprintf(relative, sizeof relative, "/media/%s", m.name);
    return absolute_path(relative);
}

// Placeholders and silence keep the game going, but the player should hear
// once where the files were looked for. Only files that are not there count:
// one that is there but cannot be used is named by its loader, with why.
void report_missing_media() {
    int missing = 0;
    for (const media_file& m : media_files) {
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::u8path(media_path(m)), error)) missing++;
    }
    if (!missing) return;
    std::string folder = media_folder();
    std::fprintf(stderr, "tollybrook: %d of %d media files missing in %s\n", missing,
                 static_cast<int>(std::size(media_files)), folder.c_str());
    if (const char* note = platform_path_length_note(folder))
        std::fprintf(stderr, "tollybrook: %s\n", note);
}

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
    std::filesystem::file_status st = std::filesystem::status(std::filesystem::u8path(path), error);
    if (!std::filesystem::exists(st)) return false;
    if (std::filesystem::is_regular_file(st)) return true;
    refuse(path, "not a regular file", instead);
    return false;
}

// The loaders only say that they failed. When the file cannot even be
// opened (no permission, too many open files), that is the reason to give,
// in the system's words; else `unreadable`, what is wrong with its content.
void refuse_unloaded(const char* path, const char* unreadable, const char* instead) {
    int fd = platform_open_for_reading(path);
    if (fd < 0) {
        refuse(path, std::strerror(errno), instead);
        return;
    }
    close(fd);
    refuse(path, unreadable, instead);
}

// A media file through `load`, or nullptr; a file that is there but cannot
// be used is refused aloud.
template <class Media>
Media* load_media(const char* path, Media* (*load)(const char*), const char* unreadable,
                  const char* instead) {
    if (!openable(path, instead)) return nullptr;
    Media* m = load(path);
    if (!m) refuse_unloaded(path, unreadable, instead);
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

// The font file is read as the game reads its other files and handed to
// FreeType as bytes: FreeType's own opening of a path reaches fewer places
// (on Windows, none whose path passes 260 characters).
const int64_t font_file_at_most = int64_t(64) << 20;

// The font at its size, or nullptr (with the reason on stderr).
ALFONT_FONT* load_sized_font(const char* path) {
    const char* instead = "trying the next font";
    if (!openable(path, instead)) return nullptr;
    std::string bytes;
    int64_t size = 0;
    if (!read_plain_file(path, font_file_at_most, &bytes, &size)) {
        refuse(path, std::strerror(errno), instead);
        return nullptr;
    }
    if (size > font_file_at_most) {
        refuse(path, "far larger than any font", instead);
        return nullptr;
    }
    ALFONT_FONT* f = alfont_load_font_from_memory(bytes.data(), static_cast<long>(bytes.size()));
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

bool text_font_is_fallback = false;

ALFONT_FONT* load_text_font(const media_file& m) {
    ALFONT_FONT* f = load_sized_font(media_path(m));
    text_font_is_fallback = !f;
    // The system's own fonts when the game's is missing, so there is always text.
    for (const std::string& path : platform_fallback_fonts()) {
        if (f) break;
        f = load_sized_font(path.c_str());
    }
    return f;
}

// A system font in place of the game's own is wider at the game's
// narrowing: it is narrowed further, until the score sheet's widest line
// fits the sheet as every line fits in the game's own font.
void fit_fallback_font(ALFONT_FONT* f) {
    const int room = score_sheet.right - score_sheet.left + 1;
    int percent = alfont_get_width_percent(f);
    for (int width; percent > 1 && (width = alfont_text_length(f, score_prompt)) > room;)
        alfont_set_width_percent(
            f, percent = std::max(1, std::min(percent - 1, percent * room / width)));
}

}  // namespace

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
    MIDI* tune = load_midi(path);
    if (!tune) refuse_unloaded(path, "not a tune Allegro can read", "playing no music");
    return tune;
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
    if (text_font_is_fallback && fonts[0]) fit_fallback_font(fonts[0]);
    fh = alfont_get_font_height(fonts[0]);
    start_tune();
    return 0;
}

// ---------------------------------------------------------------- sound on and off

namespace {
bool sound_wanted = true;   // M turns it off and on
bool sound_opened = false;  // the sound drivers were installed
bool tune_held = false;     // the pause holds the tune
}  // namespace

void open_sound() {
    if (sound_opened) return;
    sound_opened = true;
    use_system_midi_patches();
    install_sound(DIGI_AUTODETECT, MIDI_AUTODETECT, nullptr);
    apply_volumes();
}

void start_tune() {
    // Without a MIDI driver there is nothing to play it on (and Allegro's
    // player would start a timer that may not exist).
    if (!music || !midi_driver || midi_driver->id == MIDI_NONE) return;
    play_midi(music, 1);
    if (tune_held || !sound_wanted) midi_pause();
}

// The tune plays while the sound is on and no pause holds it.
static void follow_tune() {
    if (!sound_opened) return;
    if (sound_wanted && !tune_held)
        midi_resume();
    else
        midi_pause();
}

void set_sound_on(bool on) {
    sound_wanted = on;
    if (!on) {
        for (SAMPLE* s : sfx)
            if (s) stop_sample(s);
    } else if (!sound_opened) {  // started muted: the sound card is opened now
        open_sound();
        start_tune();
    }
    follow_tune();
}

bool sound_on() { return sound_wanted; }

void hold_tune(bool held) {
    tune_held = held;
    follow_tune();
}

// Frees everything and empties the tables, so nothing can use a freed handle.
int unload_data() {
    invalidate_scene();
    forget_help_card();
    forget_options_card();
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
    if (static_cast<unsigned>(index) >= sound_count) return;
    if (on_play) on_play(index);
    int volume = effect_share(120);
    if (!sfx[index] || !sound_wanted || volume == 0) return;
    play_sample(sfx[index], volume, 127, 1000, 0);
}
