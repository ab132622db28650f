// The command line and the remembered choices: what the player asked for
// at launch, and what earlier launches asked for.
#include <allegro.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data_handler.h"
#include "main.h"
#include "safe_file.h"

// ---------------------------------------------------------------- command line

static const char usage_line[] =
    "usage: tollybrook [-w|--windowed] [-f|--fullscreen] [--mute|--sound]\n"
    "       tollybrook --help | --version\n";

static void print_help() {
    std::printf("%s\n", usage_line);
    std::printf(
        "Lay tiles, then drop meteors on the grannies marching on your castle.\n\n"
        "  -w, --windowed    play in a 640x480 window (the default)\n"
        "  -f, --fullscreen  play full screen where the system allows it,\n"
        "                    else in the window\n"
        "      --mute        play without sound\n"
        "      --sound       play with sound again after --mute\n"
        "      --help        show this help and exit\n"
        "      --version     show the version and exit\n\n"
        "The screen mode and the sound choice are remembered in\n"
        "$XDG_CONFIG_HOME/tollybrook/tollybrook.cfg; the command line wins.\n"
        "Keys: P or Pause pauses the build phase and the battle, Escape quits.\n");
}

int parse_command_line(int argc, char** argv, launch_choices& choices) {
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "--help")) {
            print_help();
            return 0;
        }
        if (!std::strcmp(arg, "--version")) {
            std::printf("tollybrook %s\n", TOLLYBROOK_VERSION);
            return 0;
        }
        if (!std::strcmp(arg, "-w") || !std::strcmp(arg, "--windowed"))
            choices.fullscreen = 0;
        else if (!std::strcmp(arg, "-f") || !std::strcmp(arg, "--fullscreen"))
            choices.fullscreen = 1;
        else if (!std::strcmp(arg, "--scale") && i + 1 < argc)
            choices.scale = std::atoi(argv[++i]);
        else if (!std::strcmp(arg, "--mute"))
            choices.mute = 1;
        else if (!std::strcmp(arg, "--sound"))
            choices.mute = 0;
        else {
            std::fprintf(stderr, "tollybrook: unknown option '%s'\n%s", arg, usage_line);
            return 2;
        }
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
const off_t choices_size_limit = 64 * 1024;

// Reads the choices file into `text` (nothing when there is none). False,
// with one line on stderr, when something is there that is not a regular
// file of sane size or cannot be read: it is then neither used nor rewritten.
// Opened without waiting, so a named pipe at the path cannot stall the start.
bool read_choices(const std::string& path, std::string* text) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        std::fprintf(stderr, "tollybrook: ignoring the choices file %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return false;
    }
    struct stat st;
    const char* fault = nullptr;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        fault = "not a regular file";
    else if (st.st_size > choices_size_limit)
        fault = "larger than 64 KB";
    char chunk[4096];
    ssize_t n = 0;
    while (!fault && (n = read(fd, chunk, sizeof chunk)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            fault = std::strerror(errno);
            break;
        }
        text->append(chunk, static_cast<size_t>(n));
        if (text->size() > static_cast<size_t>(choices_size_limit)) fault = "larger than 64 KB";
    }
    close(fd);
    if (!fault) return true;
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

// The file is read and written here, never by Allegro's config writer (which
// truncates it in place): Allegro only parses the text, and the file is
// replaced as hi.dat is. Allegro's own allegro.cfg is left alone.
void settle_choices(launch_choices& choices) {
    std::string path = choices_file_path();
    bool said = choices.fullscreen >= 0 || choices.mute >= 0;
    std::string text;
    bool usable = !path.empty() && read_choices(path, &text);
    if (!usable) text.clear();
    push_config_state();
    set_config_data(text.data(), static_cast<int>(text.size()));
    int fullscreen_was = get_config_int("tollybrook", "fullscreen", -1);
    int mute_was = get_config_int("tollybrook", "mute", -1);
    pop_config_state();
    if (choices.fullscreen < 0) choices.fullscreen = fullscreen_was != -1 && fullscreen_was != 0;
    if (choices.mute < 0) choices.mute = mute_was != -1 && mute_was != 0;
    if (!said || !usable || (fullscreen_was == choices.fullscreen && mute_was == choices.mute))
        return;
    text = with_choice(text, "fullscreen", choices.fullscreen);
    text = with_choice(text, "mute", choices.mute);
    make_folders(path.substr(0, path.rfind('/')), 0755);
    if (!replace_file_safely(path, text))
        std::fprintf(stderr, "tollybrook: cannot remember the choices in %s: %s\n", path.c_str(),
                     std::strerror(errno));
}
