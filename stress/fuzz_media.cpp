// libFuzzer target: the media loaders the game trusts with its files. The
// first byte picks the kind (picture, sample, tune, font), the rest is the
// file. A picture goes through the game's header check first and a tune
// through its MIDI check, as in load_data; a font that loads is also drawn
// with, at the game's size when it takes it. Built by stress/fuzz.sh.
#include <allegro.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "alfont.h"
#include "data_handler.h"
#include "headless.h"

namespace {

const char* const file_names[] = {"fuzz-media.bmp", "fuzz-media.wav", "fuzz-media.mid",
                                  "fuzz-media.ttf"};
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
    int kind = data[0] % 4;
    const char* path = file_names[kind];
    if (!write_bytes(path, std::string(reinterpret_cast<const char*>(data) + 1, size - 1))) std::abort();
    switch (kind) {
        case 0:
            if (BITMAP* b = load_checked_bitmap(path)) {
                draw_sprite(canvas, b, 10, 10);
                destroy_bitmap(b);
            }
            break;
        case 1:
            destroy_sample(load_sample(path));
            break;
        case 2:
            if (!midi_fault(data + 1, size - 1)) destroy_midi(load_midi(path));
            break;
        case 3:
            if (ALFONT_FONT* f = alfont_load_font(path)) {
                alfont_set_font_size(f, 38);
                alfont_textout_aa_ex(canvas, f, "Shield Strength: 666 gjpqy", 5, 5, 0, -1);
                alfont_destroy_font(f);
            }
            break;
    }
    return 0;
}
