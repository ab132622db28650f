// libFuzzer target: the media loaders the game trusts with its files. The
// first byte picks one of the game's media files (and so its kind), the rest
// is the file. A picture goes through the game's header check first and a tune
// through its MIDI check, as in load_data; a font that loads is also drawn
// with, at the game's size when it takes it. Built by stress/fuzz.sh.
#include <allegro.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "alfont.h"
#include "data_media.h"
#include "headless.h"

namespace {

BITMAP* canvas = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!start_headless(false)) std::abort();
    alfont_init();
    canvas = create_bitmap(640, 480);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const media_file& m = media_files[data[0] % std::size(media_files)];
    const char* path = m.name;
    if (!write_bytes(path, std::string(reinterpret_cast<const char*>(data) + 1, size - 1)))
        std::abort();
    switch (m.kind) {
        case tile_strip:
        case picture:
            if (BITMAP* b = load_checked_bitmap(path)) {
                draw_sprite(canvas, b, 10, 10);
                destroy_bitmap(b);
            }
            break;
        case sound_effect: destroy_sample(load_sample(path)); break;
        case tune:
            if (!midi_fault(data + 1, size - 1)) destroy_midi(load_midi(path));
            break;
        case text_font:
            if (ALFONT_FONT* f = alfont_load_font(path)) {
                alfont_set_font_size(f, 38);
                alfont_textout_aa_ex(canvas, f, "Shield Strength: 666 gjpqy", 5, 5, 0, -1);
                alfont_destroy_font(f);
            }
            break;
    }
    return 0;
}
