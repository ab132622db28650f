// The music's and the effects' volumes as the player chose them (0 to
// 100 %), the one place that holds them, and how they reach Allegro's
// set_volume: the digital volume is the effects', the MIDI volume the
// music's.
#include <allegro.h>

#include <algorithm>

#include "data_handler.h"

namespace {

int music_percent = 100;
int effects_percent = 100;

int to_allegro(int percent) { return percent * 255 / 100; }

// Allegro's software synthesiser plays the tune through the digital mixer,
// so the digital volume scales the tune as well as the effects. There the
// mixer takes the louder of the two, the MIDI volume what the tune needs
// of it, and play() what the effects need (effect_share).
bool tune_through_mixer() { return midi_driver && midi_driver->id == MIDI_DIGMID; }

int mixer_volume() {
    int effects = to_allegro(effects_percent);
    return tune_through_mixer() ? std::max(effects, to_allegro(music_percent)) : effects;
}

}  // namespace

int clamped_volume(int percent) { return std::clamp(percent, 0, 100); }

void set_volumes(int music, int effects) {
    music_percent = clamped_volume(music);
    effects_percent = clamped_volume(effects);
    apply_volumes();
}

int music_volume() { return music_percent; }
int effects_volume() { return effects_percent; }

void apply_volumes() {
    int mixer = mixer_volume(), music = to_allegro(music_percent);
    if (tune_through_mixer()) music = mixer ? music * 255 / mixer : 0;
    set_volume(mixer, music);
}

int effect_share(int volume) {
    int mixer = mixer_volume();
    return mixer ? volume * to_allegro(effects_percent) / mixer : 0;
}
