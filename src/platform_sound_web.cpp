// The web page's sound, as Allegro's sound drivers: the effects go through
// Allegro's own mixer (so its voices, pans and volumes, set_volume's
// included, are the desktop's) and each mixed piece is handed to the page's
// WebAudio a little ahead of time; the tune, played once through freepats
// into a recording when the page was built (web/tune.sh), is started,
// paused and resumed by what Allegro's MIDI player sends its driver.
#include <allegro.h>
#include <allegro/internal/aintern.h>
#include <emscripten.h>

#include <vector>

// ---------------------------------------------------------------- the page
// The page's JavaScript below is laid out by hand.
// clang-format off

// How many frames the page can take now to stay about `ahead_ms` ahead of
// what it plays; 0 while its sound is not running (before the first key
// or click, and in a hidden page).
EM_JS(int, web_sound_room, (int frames, int rate, int ahead_ms), {
    const audio = Module.audio;
    if (!audio || audio.state != 'running') return 0;
    const lead = (Module.soundEnd || 0) - audio.currentTime;
    return lead * 1000 < ahead_ms ? frames : 0;
});

// Queues `frames` stereo frames of signed 16-bit sound at `rate` after
// what is queued.
EM_JS(void, web_sound_play, (const short* pcm, int frames, int rate), {
    const audio = Module.audio;
    const buffer = audio.createBuffer(2, frames, rate);
    const left = buffer.getChannelData(0), right = buffer.getChannelData(1);
    const at = pcm >> 1;
    for (let i = 0; i < frames; i++) {
        left[i] = HEAP16[at + 2 * i] / 32768;
        right[i] = HEAP16[at + 2 * i + 1] / 32768;
    }
    const source = audio.createBufferSource();
    source.buffer = buffer;
    source.connect(audio.destination);
    const start = Math.max(Module.soundEnd || 0, audio.currentTime + 0.01);
    source.start(start);
    Module.soundEnd = start + frames / rate;
});

// The tune plays (from its start when `from_start`) or is silent; `volume`
// is Allegro's MIDI volume, 0 to 255 (web/page.js plays the recording).
// Allegro's -1, its volume before set_volume is ever called, is the full one.
EM_JS(void, web_tune, (int playing, int from_start, int volume), {
    if (Module.tune) Module.tune(playing, from_start, volume < 0 ? 1 : volume / 255);
});

// clang-format on

namespace {

// ---------------------------------------------------------------- the effects

const int mix_frames = 1024;  // 23 ms at the mixer's rate
const int mix_rate = 44100;
const int mix_ahead_ms = 70;
std::vector<short> mixed;

int sound_detect(int) { return TRUE; }

int sound_init(int, int voices) {
    _sound_freq = mix_rate;
    _sound_bits = 16;
    _sound_stereo = TRUE;
    digi_driver->voices = voices;
    mixed.assign(mix_frames * 2, 0);
    return _mixer_init(mix_frames * 2, mix_rate, TRUE, TRUE, &digi_driver->voices);
}

void sound_exit(int) { _mixer_exit(); }
int sound_buffer_size() { return mix_frames; }

// ---------------------------------------------------------------- the tune

bool tune_playing = false, tune_from_start = false;
int midi_status = 0, midi_data[2] = {0, 0}, midi_count = 0;

// The MIDI bytes Allegro's player sends: a note sounding means the tune
// plays; "all sound off" means it was paused or stopped; "reset all
// controllers" comes when it is started again from its beginning.
void tune_byte(int data) {
    if (data & 0x80) {
        midi_status = data;
        midi_count = 0;
        return;
    }
    if (midi_count < 2) midi_data[midi_count++] = data;
    if (midi_count < 2) return;
    midi_count = 0;
    const int kind = midi_status & 0xF0;
    const bool was = tune_playing;
    if (kind == 0x90 && midi_data[1] > 0) tune_playing = true;
    if (kind == 0xB0 && midi_data[0] == 120) tune_playing = false;
    if (kind == 0xB0 && midi_data[0] == 121) tune_from_start = true;
    if (was != tune_playing) {
        web_tune(tune_playing, tune_from_start, _midi_volume);
        tune_from_start = false;
    }
}

int tune_detect(int) { return TRUE; }
int tune_init(int, int) { return 0; }
void tune_exit(int) { web_tune(0, 0, 0); }
int tune_patches(const char*, const char*) { return 0; }

DIGI_DRIVER page_sound = [] {
    DIGI_DRIVER d{};
    d.id = AL_ID('W', 'E', 'B', 'S');
    d.name = d.desc = d.ascii_name = "web page sound";
    d.max_voices = MIXER_MAX_SFX;
    d.def_voices = MIXER_DEF_SFX;
    d.detect = sound_detect;
    d.init = sound_init;
    d.exit = sound_exit;
    d.buffer_size = sound_buffer_size;
    d.init_voice = _mixer_init_voice;
    d.release_voice = _mixer_release_voice;
    d.start_voice = _mixer_start_voice;
    d.stop_voice = _mixer_stop_voice;
    d.loop_voice = _mixer_loop_voice;
    d.get_position = _mixer_get_position;
    d.set_position = _mixer_set_position;
    d.get_volume = _mixer_get_volume;
    d.set_volume = _mixer_set_volume;
    d.ramp_volume = _mixer_ramp_volume;
    d.stop_volume_ramp = _mixer_stop_volume_ramp;
    d.get_frequency = _mixer_get_frequency;
    d.set_frequency = _mixer_set_frequency;
    d.sweep_frequency = _mixer_sweep_frequency;
    d.stop_frequency_sweep = _mixer_stop_frequency_sweep;
    d.get_pan = _mixer_get_pan;
    d.set_pan = _mixer_set_pan;
    d.sweep_pan = _mixer_sweep_pan;
    d.stop_pan_sweep = _mixer_stop_pan_sweep;
    d.set_echo = _mixer_set_echo;
    d.set_tremolo = _mixer_set_tremolo;
    d.set_vibrato = _mixer_set_vibrato;
    return d;
}();

MIDI_DRIVER page_tune = [] {
    MIDI_DRIVER d{};
    d.id = AL_ID('W', 'E', 'B', 'T');
    d.name = d.desc = d.ascii_name = "web page tune";
    d.voices = d.max_voices = d.def_voices = 16;
    d.xmin = d.xmax = -1;
    d.detect = tune_detect;
    d.init = tune_init;
    d.exit = tune_exit;
    d.raw_midi = tune_byte;
    d.load_patches = tune_patches;
    return d;
}();

}  // namespace

_DRIVER_INFO platform_web_sound_drivers[] = {{page_sound.id, &page_sound, TRUE}, {0, nullptr, 0}};
_DRIVER_INFO platform_web_tune_drivers[] = {{page_tune.id, &page_tune, TRUE}, {0, nullptr, 0}};

// Mixes what the page can take now; called as the game waits between ticks.
void platform_web_feed_sound() {
    if (digi_driver != &page_sound) return;
    static int volume_told = -1;
    if (tune_playing && volume_told != _midi_volume) web_tune(1, 0, _midi_volume);
    volume_told = _midi_volume;
    while (web_sound_room(mix_frames, mix_rate, mix_ahead_ms) > 0) {
        _mix_some_samples(reinterpret_cast<uintptr_t>(mixed.data()), 0, TRUE);
        web_sound_play(mixed.data(), mix_frames, mix_rate);
    }
}
