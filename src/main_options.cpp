// The command line and the remembered choices: what the player asked for
// at launch, and what earlier launches asked for.
#include <allegro.h>
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data_handler.h"
#include "main.h"
#include "platform.h"
#include "safe_file.h"

// ---------------------------------------------------------------- command line

static const char usage_line[] =
    "usage: tollybrook [-w|--windowed] [-f|--fullscreen] [--scale N] [--mute|--sound]\n"
    "                  [--music-volume N] [--effects-volume N]\n"
    "       tollybrook -h|--help | --version\n";

// The largest window scale taken: a 640x480 frame at 8 is 5120x3840.
const int largest_scale = 8;

// A folder as the game resolved it, for the help.
static const char* shown(const std::string& path) {
    return path.empty() ? "(none: HOME is not set)" : path.c_str();
}

static void print_help() {
    std::string path = choices_file_path();
    std::string data = user_folder("XDG_DATA_HOME", ".local/share");
    std::printf("%s\n", usage_line);
    std::printf(
        "Lay tiles, then drop meteors on the grannies marching on your castle.\n\n"
        "  -w, --windowed    play in a window (the default)\n"
        "  -f, --fullscreen  play full screen\n"
        "      --scale N     show the 640x480 game N times as large (1 to %d), or\n"
        "                    as large as fits the screen when it does not fit;\n"
        "                    0, the default, picks the largest that fits the screen\n"
        "      --mute        play without sound\n"
        "      --sound       play with sound again after --mute\n"
        "      --music-volume N    the tune's volume, 0 to 100 %% (100, the default)\n"
        "      --effects-volume N  the effects' volume, 0 to 100 %% (100, the default)\n"
        "  -h, --help        show this help and exit\n"
        "      --version     show the version and exit\n\n"
        "Keys: F1 shows how to play, O the options (volumes, screen, window size),\n"
        "P or Pause pauses, M turns the sound off or on, F11 or Alt+Enter switches\n"
        "full screen, Escape quits. Without a mouse the arrows move a cursor and\n"
        "Space or Enter clicks; a gamepad's stick or d-pad moves it, A clicks (and\n"
        "answers Y; B and X answer N and M), Start pauses, Back shows the help card\n"
        "and Y the options.\n\n"
        "The screen, scale, sound and volume choices are remembered in\n  %s\n"
        "(the command line wins). The high scores are kept in hi.dat beside the\n"
        "game when it runs from its own folder, else in\n  %s\n",
        largest_scale, shown(path), shown(data.empty() ? data : data + "/tollybrook/hi.dat"));
}

static int usage_error() {
    std::fputs(usage_line, stderr);
    return 2;
}

// A whole number from 0 to `largest`, else -1.
static int number_from(const char* text, int largest) {
    char* end = nullptr;
    errno = 0;
    long n = std::strtol(text, &end, 10);
    if (errno || end == text || *end || n < 0 || n > largest) return -1;
    return static_cast<int>(n);
}

// The value of an option that takes 0 to `largest`, or -1 after saying why.
static int option_number(const char* option, int largest) {
    int n = number_from(optarg, largest);
    if (n < 0)
        std::fprintf(stderr, "tollybrook: --%s takes a whole number from 0 to %d, not '%s'\n",
                     option, largest, optarg);
    return n;
}

int parse_command_line(int argc, char** argv, launch_choices& choices) {
    enum { opt_mute = 256, opt_sound, opt_scale, opt_version, opt_music, opt_effects };
    static const option long_options[] = {
        {"windowed", no_argument, nullptr, 'w'},
        {"fullscreen", no_argument, nullptr, 'f'},
        {"scale", required_argument, nullptr, opt_scale},
        {"mute", no_argument, nullptr, opt_mute},
        {"sound", no_argument, nullptr, opt_sound},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, opt_version},
        {"music-volume", required_argument, nullptr, opt_music},
        {"effects-volume", required_argument, nullptr, opt_effects},
        {nullptr, 0, nullptr, 0}};
    optind = 0;  // a fresh scan each call (tests parse several command lines)
    int opt;
    while ((opt = getopt_long(argc, argv, "+wfh", long_options, nullptr)) != -1) {
        switch (opt) {
            case 'h': print_help(); return 0;
            case opt_version: std::printf("tollybrook %s\n", TOLLYBROOK_VERSION); return 0;
            case 'w': choices.fullscreen = 0; break;
            case 'f': choices.fullscreen = 1; break;
            case opt_mute: choices.mute = 1; break;
            case opt_sound: choices.mute = 0; break;
            case opt_scale:
                choices.scale = option_number("scale", largest_scale);
                if (choices.scale < 0) return usage_error();
                break;
            case opt_music:
                choices.music_volume = option_number("music-volume", 100);
                if (choices.music_volume < 0) return usage_error();
                break;
            case opt_effects:
                choices.effects_volume = option_number("effects-volume", 100);
                if (choices.effects_volume < 0) return usage_error();
                break;
            default: return usage_error();  // getopt_long said what was wrong
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "tollybrook: unexpected argument '%s'\n", argv[optind]);
        return usage_error();
    }
    return -1;
}

// ---------------------------------------------------------------- remembered choices

std::string choices_file_path() {
    std::string base = user_folder("XDG_CONFIG_HOME", ".config");
    return base.empty() ? "" : base + "/tollybrook/tollybrook.cfg";
}

namespace {

// The choices file holds a few lines: anything larger is not one.
const size_t choices_size_limit = 64 * 1024;

// Reads the choices file into `text` (nothing when there is none). False,
// with one line on stderr, when something is there that is not a regular
// file of sane size or cannot be read: it is then neither used nor rewritten.
// Opened without waiting, so a named pipe at the path cannot stall the start.
bool read_choices(const std::string& path, std::string* text) {
    const char* fault = nullptr;
    switch (platform_read_small_file(path.c_str(), choices_size_limit, text)) {
        case small_file::read:
        case small_file::missing: return true;
        case small_file::not_regular: fault = "not a regular file"; break;
        case small_file::too_large: fault = "larger than 64 KB"; break;
        case small_file::failed: fault = std::strerror(errno); break;
    }
    std::fprintf(stderr, "tollybrook: ignoring the choices file %s: %s\n", path.c_str(), fault);
    return false;
}

std::string trimmed(const std::string& s) {
    size_t first = s.find_first_not_of(" \t\r"), last = s.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : s.substr(first, last - first + 1);
}

}  // namespace

std::string with_choice(const std::string& text, const std::string& key, int value) {
    const std::string line = key + " = " + std::to_string(value) + "\n";
    std::string out, section;
    bool in_ours = false, done = false;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string raw = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        std::string t = trimmed(raw);
        if (!t.empty() && t[0] == '[') {
            if (in_ours && !done) out += line, done = true;  // the section ends: add it there
            in_ours = t == "[tollybrook]";
        } else if (in_ours && !done && t.find('=') != std::string::npos &&
                   trimmed(t.substr(0, t.find('='))) == key) {
            out += line;
            done = true;
            continue;
        }
        out += raw + "\n";
    }
    if (!done) out += in_ours ? line : "[tollybrook]\n" + line;
    return out;
}

// Replaces the choices file with `text`, saying so on stderr when it fails.
static void store_choices(const std::string& path, const std::string& text) {
    make_folders(path.substr(0, path.rfind('/')), 0755);
    if (!replace_file_safely(path, text))
        std::fprintf(stderr, "tollybrook: cannot remember the choices in %s: %s\n", path.c_str(),
                     std::strerror(errno));
}

// The file is read and written here, never by Allegro's config writer (which
// truncates it in place): Allegro only parses the text, and the file is
// replaced as hi.dat is. Allegro's own allegro.cfg is left alone.
void settle_choices(launch_choices& choices) {
    std::string path = choices_file_path();
    bool said = choices.fullscreen >= 0 || choices.mute >= 0 || choices.scale >= 0 ||
                choices.music_volume >= 0 || choices.effects_volume >= 0;
    std::string text;
    bool usable = !path.empty() && read_choices(path, &text);
    if (!usable) text.clear();
    // No file yet (and room for one): the player's very first start.
    choices.first_start = usable && access(path.c_str(), F_OK) != 0 && errno == ENOENT;
    push_config_state();
    set_config_data(text.data(), static_cast<int>(text.size()));
    int fullscreen_was = get_config_int("tollybrook", "fullscreen", -1);
    int mute_was = get_config_int("tollybrook", "mute", -1);
    int scale_was = get_config_int("tollybrook", "scale", -1);
    int music_was = get_config_int("tollybrook", "music_volume", -1);
    int effects_was = get_config_int("tollybrook", "effects_volume", -1);
    pop_config_state();
    if (choices.fullscreen < 0) choices.fullscreen = fullscreen_was != -1 && fullscreen_was != 0;
    if (choices.mute < 0) choices.mute = mute_was != -1 && mute_was != 0;
    bool scale_said = choices.scale >= 0;
    if (!scale_said) choices.scale = scale_was >= 0 && scale_was <= largest_scale ? scale_was : 0;
    bool music_said = choices.music_volume >= 0, effects_said = choices.effects_volume >= 0;
    if (!music_said) choices.music_volume = music_was >= 0 && music_was <= 100 ? music_was : 100;
    if (!effects_said)
        choices.effects_volume = effects_was >= 0 && effects_was <= 100 ? effects_was : 100;
    if (!usable) return;
    bool changed = fullscreen_was != choices.fullscreen || mute_was != choices.mute ||
                   (scale_said && scale_was != choices.scale) ||
                   (music_said && music_was != choices.music_volume) ||
                   (effects_said && effects_was != choices.effects_volume);
    if (!choices.first_start && (!said || !changed)) return;
    text = with_choice(text, "fullscreen", choices.fullscreen);
    text = with_choice(text, "mute", choices.mute);
    if (scale_said) text = with_choice(text, "scale", choices.scale);
    if (music_said) text = with_choice(text, "music_volume", choices.music_volume);
    if (effects_said) text = with_choice(text, "effects_volume", choices.effects_volume);
    store_choices(path, text);
}

void remember_choice(const char* key, int value) {
    std::string path = choices_file_path();
    std::string text;
    if (path.empty() || !read_choices(path, &text)) return;
    store_choices(path, with_choice(text, key, value));
}
